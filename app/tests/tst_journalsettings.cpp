// The section [Journal] of PONDUS.ini: the journal's file and how long it
// keeps finished tables, with defaults for what is missing or unreadable.
#include "settings/JournalSettings.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class JournalSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void defaultsWithoutTheSection()
    {
        QTemporaryDir dir;
        const JournalSettings settings = JournalSettings::read(dir.filePath(QStringLiteral("PONDUS.ini")));
        QCOMPARE(settings.keepDays, 90);
        QVERIFY(!settings.askReasons);
        QCOMPARE(settings.path,
                 QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/journal.sqlite"));
    }

    void keysOverrideTheDefaults_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("keepDays");
        // Auditing is on only with Enabled=1.
        QTest::addColumn<QByteArray>("enabled");
        QTest::addColumn<bool>("askReasons");
        QTest::newRow("both") << QByteArray("Path=/data/лаб/j.sqlite\nKeepDays=365\n")
                              << QStringLiteral("/data/лаб/j.sqlite") << 365 << QByteArray("Enabled= 1 \n") << true;
        QTest::newRow("days not a number") << QByteArray("Path= j.sqlite \nKeepDays=много\n")
                                           << QStringLiteral("j.sqlite") << 90 << QByteArray("Enabled=0\n") << false;
        QTest::newRow("days not positive") << QByteArray("Path=j.sqlite\nKeepDays=0\n") << QStringLiteral("j.sqlite")
                                           << 90 << QByteArray("Enabled=yes\n") << false;
        QTest::newRow("no Enabled") << QByteArray("Path=j.sqlite\nKeepDays=7\n") << QStringLiteral("j.sqlite") << 7
                                    << QByteArray() << false;
    }

    void keysOverrideTheDefaults()
    {
        QFETCH(QByteArray, section);
        QFETCH(QString, path);
        QFETCH(int, keepDays);
        QFETCH(QByteArray, enabled);
        QFETCH(bool, askReasons);
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("PONDUS.ini"));
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[MainForm]\nPeriod=1\n[Audit]\nOperator= Иванова А. \n" + enabled + "[Journal]\n" + section);
        file.close();
        const JournalSettings settings = JournalSettings::read(ini);
        QCOMPARE(settings.path, path);
        QCOMPARE(settings.keepDays, keepDays);
        QCOMPARE(settings.askReasons, askReasons);
        QCOMPARE(settings.operatorName, QStringLiteral("Иванова А."));
    }
};

QTEST_GUILESS_MAIN(JournalSettingsTest)
#include "tst_journalsettings.moc"
