// Start-up and shutdown of the main window: defaults, the settings file
// PONDUS.ini and what survives a rewrite of it.
#include "FakeReadingSource.h"
#include "FormFixture.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QSystemTrayIcon>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString cannotOpen = QStringLiteral("Файл не удаётся открыть!");

// A start directory prepared by hand, for what FormFixture cannot write:
// links, FIFOs, modes.
class StartDir {
public:
    StartDir() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~StartDir() { QDir::setCurrent(previous_); }
    QString path(const char *name) const { return QDir(dir_.path()).filePath(QString::fromLatin1(name)); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeTo(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Runs a window in the current directory to its end, collecting what it
// told the operator. The start must look as without a settings file.
void runWindowExpectingDefaults(ReadingSource &link, QStringList &messages)
{
    TMainForm form(link);
    form.setMessageSink([&](const QString &text) { messages.append(text); });
    QTRY_COMPARE_WITH_TIMEOUT(messages, QStringList{cannotOpen}, 10000);
    QCOMPARE(form.findChild<QLineEdit *>("SizeEdit")->text(), QStringLiteral("20"));
    QCOMPARE(form.findChild<QListWidget *>("FileCheckListBox")->item(1)->checkState(), Qt::Unchecked);
}

const QStringList writeOrder = {
    "GetInfPeriod", "COM",     "MDLabelEnabled", "MaxDifWeight", "FCLB(0)", "FCLB(1)",
    "FCLB(2)",      "FCLB(3)", "FCLB(4)",        "FCLB(5)",      "FCLB(6)", "FCLB(7)",
    "FCLB(8)",      "FCLB(9)", "SizeOfMassive",  "MaxDifWeightEnabled"};

// The keys of section MainForm in file order, with their values.
QList<QPair<QString, QString>> mainFormEntries(const QByteArray &file)
{
    QList<QPair<QString, QString>> entries;
    bool inSection = false;
    for (QString line : QString::fromUtf8(file).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inSection = line == QLatin1String("[MainForm]");
        else if (inSection && line.contains(QLatin1Char('=')))
            entries.append({line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1)});
    }
    return entries;
}

QString valueOf(const QByteArray &file, const QString &key)
{
    for (const auto &[name, value] : mainFormEntries(file))
        if (name == key)
            return value;
    return QStringLiteral("<missing>");
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private:
    FakeReadingSource link;

    static QString comboText(FormFixture &f, const char *name) { return f.control<QComboBox>(name)->currentText(); }

private slots:
    void firstStartUsesTheLayoutAndWritesAllKeys()
    {
        FormFixture f(link);
        QCOMPARE(f.form().settingsPath(), f.settingsFile());
        QVERIFY(!QFile::exists(f.settingsFile()));
        QVERIFY(f.checked(0));
        for (int item = 1; item < 10; ++item)
            QVERIFY(!f.checked(item));
        QCOMPARE(f.control<QLineEdit>("SizeEdit")->text(), QStringLiteral("20"));
        QCOMPARE(f.control<QLineEdit>("MaxDif")->text(), QStringLiteral("10"));
        QVERIFY(!f.control<QLineEdit>("MaxDif")->isEnabled());
        QVERIFY(!f.control<QLabel>("MDLabel")->isEnabled());
        QCOMPARE(comboText(f, "ComboBox1"), QStringLiteral("1"));
        QCOMPARE(comboText(f, "ComCB"), QStringLiteral("COM1"));
        QVERIFY(f.control<QPushButton>("StopButton")->isHidden());
        QVERIFY(!f.control<QPushButton>("ReadButton")->isEnabled());
        QVERIFY(!f.control<QTimer>("Timer2")->isActive());
        QCOMPARE(f.control<QTimer>("Timer2")->interval(), 200);
        QVERIFY(qAbs(f.control<QDateTimeEdit>("DateTimePicker1")->dateTime().secsTo(QDateTime::currentDateTime())) < 60);
        QVERIFY(!f.form().windowIcon().isNull());
        auto *tray = f.form().findChild<QSystemTrayIcon *>();
        QVERIFY(tray);
        QCOMPARE(tray->toolTip(), QStringLiteral("PONDUS"));
        QVERIFY(tray->contextMenu()->actions().contains(f.control<QAction>("N2")));
        QCOMPARE(f.control<QAction>("N2")->text(), QStringLiteral("Закрыть"));
        // A double click on the icon brings the window back; a single one does not.
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!f.form().isVisible());
        emit tray->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(f.form().isVisible());

        f.close();
        const auto entries = mainFormEntries(f.readFile());
        QStringList keys;
        for (const auto &entry : entries)
            keys.append(entry.first);
        QCOMPARE(keys, writeOrder);
        QCOMPARE(valueOf(f.readFile(), "FCLB(0)"), QStringLiteral("1"));
        QCOMPARE(valueOf(f.readFile(), "FCLB(1)"), QStringLiteral("0"));
        QCOMPARE(valueOf(f.readFile(), "MaxDifWeightEnabled"), QStringLiteral("0"));
        QCOMPARE(valueOf(f.readFile(), "SizeOfMassive"), QStringLiteral("20"));
        QVERIFY(f.messages.isEmpty());
    }

    void emptySectionGivesTheKeyDefaults()
    {
        FormFixture f(link, QByteArray("[MainForm]\n"));
        for (int item = 0; item < 10; ++item)
            QVERIFY(f.checked(item));
        QCOMPARE(f.control<QLineEdit>("SizeEdit")->text(), QStringLiteral("100"));
        QCOMPARE(comboText(f, "ComboBox1"), QStringLiteral("1"));
        QCOMPARE(comboText(f, "ComCB"), QStringLiteral("COM1"));
        QCOMPARE(f.control<QLineEdit>("MaxDif")->text(), QStringLiteral("10"));
        QVERIFY(!f.control<QLineEdit>("MaxDif")->isEnabled());
    }

    void storedValuesAreAppliedAsTheyStand()
    {
        FormFixture f(link,
                      QStringLiteral("[MainForm]\r\nGetInfPeriod=при новом весе\r\nCOM=COM12\r\n"
                                     "MaxDifWeight=25\r\nMDLabelEnabled=0\r\nMaxDifWeightEnabled=1\r\n"
                                     "FCLB(2)=0\r\nFCLB(3)=abc\r\nFCLB(4)=7\r\nSizeOfMassive=5000\r\n")
                          .toUtf8());
        QCOMPARE(comboText(f, "ComboBox1"), QStringLiteral("при новом весе"));
        QCOMPARE(f.control<QComboBox>("ComboBox1")->currentIndex(), 9);
        QCOMPARE(comboText(f, "ComCB"), QStringLiteral("COM12"));
        QCOMPARE(f.control<QLineEdit>("SizeEdit")->text(), QStringLiteral("5000"));
        QVERIFY(!f.checked(2));
        QVERIFY(f.checked(3)); // not a number: the default
        QVERIFY(f.checked(4)); // any non-zero number
        auto *maxDif = f.control<QLineEdit>("MaxDif");
        QCOMPARE(maxDif->text(), QStringLiteral("25"));
        QVERIFY(maxDif->isEnabled());
        QCOMPARE(maxDif->palette().color(QPalette::Text), QColor(Qt::black));
        QCOMPARE(maxDif->palette().color(QPalette::Base), f.form().palette().color(QPalette::Base));
        QVERIFY(!f.control<QLabel>("MDLabel")->isEnabled());
    }

    void rewriteKeepsTheRestOfTheFile()
    {
        FormFixture f(link,
                      QStringLiteral("; written by hand\r\n[Printer]\r\nPaper=A4\r\n\r\n[MainForm]\r\n"
                                     "; port of the line\r\nCOM=COM2\r\nSizeOfMassive=50\r\nExtra=keep me\r\n")
                          .toUtf8());
        f.control<QLineEdit>("SizeEdit")->setText(QStringLiteral("70"));
        f.close();
        const QByteArray file = f.readFile();
        QVERIFY(file.contains("; written by hand"));
        QVERIFY(file.contains("[Printer]"));
        QVERIFY(file.contains("Paper=A4"));
        QVERIFY(file.contains("; port of the line"));
        QCOMPARE(valueOf(file, "Extra"), QStringLiteral("keep me"));
        QCOMPARE(valueOf(file, "COM"), QStringLiteral("COM2"));
        QCOMPARE(valueOf(file, "SizeOfMassive"), QStringLiteral("70"));
        // Existing keys keep their place, new ones follow in write order.
        const auto entries = mainFormEntries(file);
        QCOMPARE(entries.at(0).first, QStringLiteral("COM"));
        QCOMPARE(entries.at(1).first, QStringLiteral("SizeOfMassive"));
        QCOMPARE(entries.at(2).first, QStringLiteral("Extra"));
        QCOMPARE(entries.at(3).first, QStringLiteral("GetInfPeriod"));
        QCOMPARE(entries.size(), 17);
    }

    void windowsFileIsReadAsWindows1251()
    {
        QStringEncoder windows1251("Windows-1251");
        const QByteArray bytes = windows1251(QStringLiteral("[MainForm]\r\nGetInfPeriod=при новом весе\r\n"));
        QVERIFY(!windows1251.hasError());
        FormFixture f(link, bytes);
        QCOMPARE(comboText(f, "ComboBox1"), QStringLiteral("при новом весе"));
        f.close();
        QCOMPARE(valueOf(f.readFile(), "GetInfPeriod"), QStringLiteral("при новом весе"));
    }

    void settingsStayInTheStartDirectory()
    {
        QTemporaryDir elsewhere;
        FormFixture f(link);
        QDir::setCurrent(elsewhere.path());
        f.close();
        QVERIFY(QFile::exists(f.settingsFile()));
        QVERIFY(!QFile::exists(QDir(elsewhere.path()).filePath("PONDUS.ini")));
    }

    void whatIsNoSettingsFileIsNeitherReadNorReplaced_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray noise(4096, '\0');
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        QTest::newRow("random bytes") << noise;
        QTest::newRow("plain text") << QByteArray("Sample 17: 12.345 g\nSample 18: 12.351 g\n");
        QStringEncoder utf16(QStringEncoder::Utf16LE);
        QTest::newRow("UTF-16") << QByteArray(utf16(QStringLiteral("[MainForm]\r\nSizeOfMassive=70\r\n")));
        QByteArray huge("[MainForm]\n");
        huge.append(QByteArray(1024 * 1024, ';'));
        QTest::newRow("over a megabyte") << huge;
    }
    void whatIsNoSettingsFileIsNeitherReadNorReplaced()
    {
        QFETCH(QByteArray, content);
        StartDir start;
        writeTo(start.path("PONDUS.ini"), content);
        QStringList messages;
        runWindowExpectingDefaults(link, messages);
        QCOMPARE(messages, QStringList{cannotOpen}); // once: the exit says nothing more
        QCOMPARE(contentOf(start.path("PONDUS.ini")), content);
    }

    void fifoAndDevicesAreNotReadAndStayWhatTheyAre()
    {
        {
            StartDir start;
            QCOMPARE(::mkfifo(QFile::encodeName(start.path("PONDUS.ini")).constData(), 0600), 0);
            {
            QStringList messages;
            runWindowExpectingDefaults(link, messages);
        }
            QVERIFY(QFileInfo(start.path("PONDUS.ini")).exists() && !QFileInfo(start.path("PONDUS.ini")).isFile());
        }
        {
            StartDir start;
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), start.path("PONDUS.ini")));
            {
            QStringList messages;
            runWindowExpectingDefaults(link, messages);
        }
            QCOMPARE(QFileInfo(start.path("PONDUS.ini")).symLinkTarget(), QStringLiteral("/dev/zero"));
        }
    }

    void aLinkIsFollowedOnlyToSettings()
    {
        StartDir start;
        const QByteArray notes("Sample 17: 12.345 g\n");
        writeTo(start.path("notes.txt"), notes);
        QVERIFY(QFile::link(start.path("notes.txt"), start.path("PONDUS.ini")));
        {
            QStringList messages;
            runWindowExpectingDefaults(link, messages);
        }
        QCOMPARE(contentOf(start.path("notes.txt")), notes);
        QVERIFY(QFileInfo(start.path("PONDUS.ini")).isSymLink());

        // A link nowhere would create the file it names.
        QVERIFY(QFile::remove(start.path("PONDUS.ini")));
        QVERIFY(QFile::link(start.path("created.ini"), start.path("PONDUS.ini")));
        {
            QStringList messages;
            runWindowExpectingDefaults(link, messages);
        }
        QVERIFY(!QFile::exists(start.path("created.ini")));

        // A link to settings is read, and its target rewritten in place.
        QVERIFY(QFile::remove(start.path("PONDUS.ini")));
        writeTo(start.path("shared.ini"), "[MainForm]\r\nSizeOfMassive=70\r\n");
        QVERIFY(QFile::link(start.path("shared.ini"), start.path("PONDUS.ini")));
        {
            QStringList messages;
            TMainForm form(link);
            form.setMessageSink([&](const QString &text) { messages.append(text); });
            QCOMPARE(form.findChild<QLineEdit *>("SizeEdit")->text(), QStringLiteral("70"));
            form.findChild<QLineEdit *>("SizeEdit")->setText(QStringLiteral("80"));
            QCoreApplication::processEvents();
            QVERIFY(messages.isEmpty());
        }
        QVERIFY(QFileInfo(start.path("PONDUS.ini")).isSymLink());
        QCOMPARE(valueOf(contentOf(start.path("shared.ini")), "SizeOfMassive"), QStringLiteral("80"));
    }

    void theFirstOfRepeatedKeysCounts()
    {
        FormFixture f(link, QByteArray("[MainForm]\nSizeOfMassive=30\nCOM=COM3\nSizeOfMassive=40\n"));
        QCOMPARE(f.control<QLineEdit>("SizeEdit")->text(), QStringLiteral("30"));
        f.close();
        const auto entries = mainFormEntries(f.readFile());
        QCOMPARE(std::count_if(entries.begin(), entries.end(),
                               [](const auto &entry) { return entry.first == QStringLiteral("SizeOfMassive"); }),
                 1);
        QCOMPARE(valueOf(f.readFile(), "SizeOfMassive"), QStringLiteral("30"));
        QCOMPARE(entries.at(0).first, QStringLiteral("SizeOfMassive"));
    }

    void aRewriteKeepsModeAndOwner()
    {
        FormFixture f(link, QByteArray("[MainForm]\nSizeOfMassive=30\n"));
        const QByteArray path = QFile::encodeName(f.settingsFile());
        QCOMPARE(::chmod(path.constData(), 0440), 0);
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
        f.control<QLineEdit>("SizeEdit")->setText(QStringLiteral("50"));
        f.close();
        QCOMPARE(valueOf(f.readFile(), "SizeOfMassive"), QStringLiteral("50"));
        struct stat after {};
        QCOMPARE(::stat(path.constData(), &after), 0);
        QCOMPARE(after.st_mode & 07777, 0440u);
        if (root)
            QCOMPARE(after.st_uid, 65534u);
    }

    void uncreatableFileIsReportedAndNothingSaved()
    {
        auto dir = std::make_unique<QTemporaryDir>();
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir->path());
        QStringList messages;
        {
            TMainForm form(link);
            form.setMessageSink([&](const QString &text) { messages.append(text); });
            dir.reset(); // the start directory is gone
        }
        QDir::setCurrent(previous);
        QCOMPARE(messages, QStringList{QStringLiteral("Файл не удаётся открыть!")});
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
