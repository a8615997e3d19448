// Start-up and shutdown of the main window: defaults, the settings file
// PONDUS.ini and what survives a rewrite of it.
#include "FakeReadingSource.h"
#include "FormFixture.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QSystemTrayIcon>
#include <QMenu>
#include <QTimer>
#include <QtTest>

namespace {

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
