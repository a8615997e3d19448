// One file stack: the rows a run records give the same CSV and
// tab-separated bytes whether the window saves them or pondus-log writes
// them row by row, and a row file started empty is read back as the
// window's export is.
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "RowFile.h"

#include <QComboBox>
#include <QtTest>

class SharedRowTextTest : public QObject, private SessionObserver {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;
    QList<RecordedRow> rows;

    FormFixture &f() { return *fixture; }
    void rowCommitted(const CommittedRow &row) override { rows.append(row.row); }

    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QByteArray savedByTheWindow(const QString &path)
    {
        f().form().setSaveFileChooser([path] { return path; });
        f().click("ApplyButton1");
        return readAll(path);
    }
    QByteArray writtenByTheLogger(const QString &path, pondus::logger::FileFormat format)
    {
        {
            pondus::logger::RowFile file(path.toStdString(), pondus::logger::RowText(format, ValueFormat()));
            for (const RecordedRow &row : rows)
                file.append(row);
        }
        return readAll(path);
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        link.setLink(TRUTINA_LINK_ONLINE, 4);
        link.setIdentity(1, 301, 500001);
        link.setIdentity(2, 100, 7);
        link.setIdentity(4, 999, 0); // a model without a designation
        fixture = std::make_unique<FormFixture>(link);
        rows.clear();
        f().form().session().addObserver(*this);
    }
    void cleanup() { fixture.reset(); }

    void theSameRowsGiveTheSameBytesFromEitherProgram()
    {
        f().check({0, 1, 3});
        MainFormLayout::showText(f().control<QComboBox>("ComboBox1"), QStringLiteral("0,2"));
        f().click("WeightButton");
        QVERIFY(f().form().session().running());
        // Readings of every kind a row holds: three, one and no decimals, a
        // negative weight, an unstable reading without a unit, a whole
        // hundred-thousandth, a divisor that is no power of ten.
        struct Reading {
            int32_t raw;
            int32_t divisor;
            bool stable;
            int32_t unitCode;
        };
        const Reading table[][3] = {
            {{125, 1000, true, 200}, {-70, 10, false, 205}, {41, 1, true, 203}},
            {{-123456, 1000, true, 200}, {0, 10, true, 205}, {7, 250, true, 203}},
            {{1, 100000, true, 204}, {2147483647, 1000, true, 205}, {-2147483647, 1, false, 203}},
        };
        for (const auto &line : table) {
            const int positions[] = {1, 2, 4};
            for (int slot = 0; slot < 3; ++slot)
                link.deliver(positions[slot], line[slot].raw, line[slot].divisor, line[slot].stable,
                             line[slot].unitCode);
            link.deliver(3, 1); // on the line, not recorded: a row waits for every balance
            f().form().Timer2Timer();
        }
        f().click("StopButton");
        QCOMPARE(rows.size(), 3);

        QTemporaryDir folder;
        using pondus::logger::FileFormat;
        const struct {
            const char *suffix;
            FileFormat format;
        } formats[] = {{"xls", FileFormat::Tsv}, {"csv", FileFormat::Csv}};
        for (const auto &[suffix, format] : formats) {
            const QByteArray window = savedByTheWindow(folder.filePath(QStringLiteral("window.") + suffix));
            const QByteArray logger = writtenByTheLogger(folder.filePath(QStringLiteral("logger.") + suffix), format);
            QVERIFY2(window.count("\r\n") >= 4, suffix);
            QCOMPARE(logger, window);
        }
    }
};

QTEST_MAIN(SharedRowTextTest)
#include "tst_sharedrowtext.moc"
