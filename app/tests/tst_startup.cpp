// Binding the scale link library at start-up, and ending the program by a
// signal the way "Закрыть" does.
#include "mainform/HelpViewer.h"
#include "recording/LinkLibrary.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// True once the process has installed its own handler for the signal.
bool catches(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void autorunHelpNeedsNoDisplay()
    {
        QProcess autorun;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        autorun.setProcessEnvironment(environment);
        autorun.start(QStringLiteral(PONDUS_AUTORUN), {QStringLiteral("--help")});
        QVERIFY(autorun.waitForFinished(20000));
        QCOMPARE(autorun.exitStatus(), QProcess::NormalExit);
        QCOMPARE(autorun.exitCode(), 0);
        QVERIFY(autorun.readAllStandardOutput().contains("--seconds"));
    }

    void helpIsLookedForFolderByFolder()
    {
        QTemporaryDir current;
        QTemporaryDir program;
        const QStringList folders{current.path(), program.path()};
        QCOMPARE(findHelpFile(folders), QString());
        QFile beside(QDir(program.path()).filePath(QStringLiteral("ReadMe.txt")));
        QVERIFY(beside.open(QIODevice::WriteOnly));
        QCOMPARE(findHelpFile(folders), beside.fileName());
        QFile here(QDir(current.path()).filePath(QStringLiteral("ReadMe.txt")));
        QVERIFY(here.open(QIODevice::WriteOnly));
        QCOMPARE(findHelpFile(folders), here.fileName());
        QCOMPARE(helpFolders().value(0), QDir::currentPath());
        QVERIFY(helpFolders().contains(QCoreApplication::applicationDirPath()));
    }

    void missingLibraryIsTolerated()
    {
        QTemporaryDir empty;
        LinkLibrary link(empty.path());
        QVERIFY(!link.loaded());
        QVERIFY(!link.hasSetComPort());
        QVERIFY(!link.hasFreshData());
        trutina::Block block;
        link.freshData(block); // does nothing rather than crash
        QCOMPARE(block.linkState(), 0);
    }

    void libraryWithoutTheExportsIsTolerated()
    {
        // Any shared library that lacks the two functions.
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QStringLiteral(PONDUS_FOREIGN_LIBRARY), QDir(dir.path()).filePath("libtrutina.so")));
        LinkLibrary link(dir.path());
        QVERIFY(link.loaded());
        QVERIFY(!link.hasSetComPort());
        QVERIFY(!link.hasFreshData());
    }

    void installedFolderComesAfterTheProgramsOwn()
    {
        // The stand-in without exports marks which copy was loaded.
        QTemporaryDir programDir, installedDir;
        QVERIFY(QFile::copy(QStringLiteral(PONDUS_FOREIGN_LIBRARY), QDir(installedDir.path()).filePath("libtrutina.so")));
        LinkLibrary installed(programDir.path(), installedDir.path());
        QVERIFY(installed.loaded());
        QVERIFY(!installed.hasFreshData());

        QVERIFY(QFile::copy(QStringLiteral(PONDUS_REAL_LIBRARY), QDir(programDir.path()).filePath("libtrutina.so")));
        LinkLibrary own(programDir.path(), installedDir.path());
        QVERIFY(own.hasFreshData() && own.hasSetComPort());
    }

    void helpAndVersionNeedNoDisplay()
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PONDUS_PROGRAM), {QStringLiteral("--help")});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(program.readAllStandardOutput().startsWith("Usage: pondus"));
        program.start(QStringLiteral(PONDUS_PROGRAM), {QStringLiteral("--version")});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.readAllStandardOutput(), QByteArray("pondus " PONDUS_VERSION "\n"));
    }

    void signalClosesTheProgramAndSavesSettings_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void signalClosesTheProgramAndSavesSettings()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        QProcess program;
        program.setWorkingDirectory(dir.path());
        program.start(QStringLiteral(PONDUS_PROGRAM), {});
        QVERIFY(program.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(catches(program.processId(), signal), 10000);

        ::kill(pid_t(program.processId()), signal);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QFile settings(QDir(dir.path()).filePath("PONDUS.ini"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray text = settings.readAll();
        QVERIFY(text.contains("[MainForm]"));
        QVERIFY(text.contains("FCLB(0)=1"));
        QVERIFY(text.contains("SizeOfMassive=20"));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
