// The real program against the simulated line, killed with SIGKILL mid-run
// at several moments, then started again to restore: the grid comes back
// as it stood at the kill, nothing lost, nothing doubled.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// A simulator of three balances answering at once, behind a link in dir.
class Simulator {
public:
    explicit Simulator(const QString &link)
    {
        process_.start(QStringLiteral(BALANCE_SIMULATOR),
                       {QStringLiteral("--balances"), QStringLiteral("3"), QStringLiteral("--link"), link});
        process_.waitForStarted(5000);
        QDeadlineTimer deadline(10000);
        while (!process_.canReadLine() && !deadline.hasExpired())
            process_.waitForReadyRead(int(deadline.remainingTime()));
    }
    ~Simulator()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
    }
    bool ready() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

void writeSettings(const QString &dir)
{
    QFile ini(QDir(dir).filePath(QStringLiteral("PONDUS.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[MainForm]\r\nGetInfPeriod=0,2\r\nCOM=COM1\r\nFCLB(0)=1\r\nFCLB(1)=1\r\nFCLB(2)=1\r\n");
    for (int item = 3; item < 10; ++item)
        ini.write(QStringLiteral("FCLB(%1)=0\r\n").arg(item).toLatin1());
    ini.write("SizeOfMassive=5\r\n[Journal]\r\nPath=" + QDir(dir).filePath(QStringLiteral("journal.sqlite")).toUtf8() +
              "\r\n");
}

QProcess *startProgram(const QString &dir, const QStringList &arguments, QObject *owner,
                       const QString &program = QStringLiteral(PONDUS_AUTORUN))
{
    auto *process = new QProcess(owner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TRUTINA_COM1"), QDir(dir).filePath(QStringLiteral("com1")));
    // Never the user's data folder, whatever the settings say.
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(dir);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(program, arguments);
    return process;
}

// Lines of standard output until count of them came or the program ended.
QStringList readLines(QProcess &program, int count)
{
    QStringList lines;
    QDeadlineTimer deadline(30000);
    while (lines.size() < count && !deadline.hasExpired()) {
        while (program.canReadLine() && lines.size() < count)
            lines << QString::fromUtf8(program.readLine()).chopped(1);
        if (lines.size() < count && !program.waitForReadyRead(int(deadline.remainingTime())) &&
            program.state() != QProcess::Running)
            break;
    }
    return lines;
}

// Whether the process holds the file open.
bool holdsOpen(qint64 pid, const QString &file)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System))
        if (fd.symLinkTarget() == file)
            return true;
    return false;
}

} // namespace

class CrashRecoveryTest : public QObject {
    Q_OBJECT
private slots:
    void killedMidRunThenRestored_data()
    {
        QTest::addColumn<int>("rowsBeforeKill");
        QTest::addColumn<int>("extraDelayMs");
        QTest::addColumn<bool>("insidePollStep");
        QTest::newRow("inside the poll step of row 6") << 6 << 0 << true;
        QTest::newRow("just after row 4 was shown") << 4 << 0 << false;
        QTest::newRow("between polls after row 9") << 9 << 90 << false;
    }

    void killedMidRunThenRestored()
    {
        QFETCH(int, rowsBeforeKill);
        QFETCH(int, extraDelayMs);
        QFETCH(bool, insidePollStep);
        QTemporaryDir dir;
        writeSettings(dir.path());
        Simulator simulator(QDir(dir.path()).filePath(QStringLiteral("com1")));
        QVERIFY(simulator.ready());

        QStringList arguments{QStringLiteral("--seconds"), QStringLiteral("120"), QStringLiteral("--print-rows")};
        if (insidePollStep)
            arguments << QStringLiteral("--kill-in-poll-step") << QString::number(rowsBeforeKill);
        QProcess *run = startProgram(dir.path(), arguments, this);
        // Three caption rows come with the first row.
        QStringList shown = readLines(*run, 3 + rowsBeforeKill);
        QCOMPARE(shown.size(), 3 + rowsBeforeKill);
        if (extraDelayMs > 0)
            QTest::qWait(extraDelayMs);
        if (!insidePollStep)
            ::kill(pid_t(run->processId()), SIGKILL);
        QVERIFY(run->waitForFinished(20000));
        QCOMPARE(run->exitStatus(), QProcess::CrashExit);
        // What reached standard output before the end is what the grid showed.
        shown << QString::fromUtf8(run->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);

        QProcess *restore = startProgram(dir.path(), {QStringLiteral("--restore-only")}, this);
        QVERIFY(restore->waitForFinished(30000));
        QCOMPARE(restore->exitCode(), 0);
        const QStringList restored =
            QString::fromUtf8(restore->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);

        // A kill after the journal wrote a row but before it was printed
        // leaves the grid one row ahead of what was printed.
        QVERIFY2(restored.size() == shown.size() || (!insidePollStep && restored.size() == shown.size() + 1),
                 qPrintable(QStringLiteral("%1 shown, %2 restored").arg(shown.size()).arg(restored.size())));
        QCOMPARE(restored.mid(0, shown.size()), shown);
        for (int row = 3; row < restored.size(); ++row)
            QCOMPARE(restored[row].section(QLatin1Char('\t'), 0, 0), QString::number(row - 2));
        QCOMPARE(restored[0].section(QLatin1Char('\t'), 3, 3), QStringLiteral("Весы №1"));
    }

    // SIGTERM while the window asks whether to restore a table ends the
    // program; the table stays on offer for the next start.
    void aQuitDuringTheRestoreQuestionLeavesTheTableOnOffer()
    {
        QTemporaryDir dir;
        writeSettings(dir.path());
        Simulator simulator(QDir(dir.path()).filePath(QStringLiteral("com1")));
        QVERIFY(simulator.ready());
        QProcess *run = startProgram(dir.path(), {QStringLiteral("--seconds"), QStringLiteral("120"),
                                                  QStringLiteral("--print-rows")}, this);
        QCOMPARE(readLines(*run, 3 + 2).size(), 3 + 2);
        ::kill(pid_t(run->processId()), SIGKILL);
        QVERIFY(run->waitForFinished(20000));

        QProcess *window = startProgram(dir.path(), {}, this, QStringLiteral(PONDUS_PROGRAM));
        const QString journal = QDir(dir.path()).filePath(QStringLiteral("journal.sqlite"));
        // The journal opens after the signals are taken over.
        QVERIFY(QTest::qWaitFor([&] { return holdsOpen(window->processId(), journal); }, 20000));
        QDeadlineTimer deadline(15000);
        while (window->state() != QProcess::NotRunning && !deadline.hasExpired()) {
            ::kill(pid_t(window->processId()), SIGTERM);
            window->waitForFinished(200);
        }
        QCOMPARE(window->state(), QProcess::NotRunning);
        QCOMPARE(window->exitStatus(), QProcess::NormalExit);
        QCOMPARE(window->exitCode(), 0);

        QProcess *restore = startProgram(dir.path(), {QStringLiteral("--restore-only")}, this);
        QVERIFY(restore->waitForFinished(30000));
        QVERIFY(QString::fromUtf8(restore->readAllStandardOutput()).count(QLatin1Char('\n')) >= 3 + 2);
    }
};

QTEST_GUILESS_MAIN(CrashRecoveryTest)
#include "tst_crashrecovery.moc"
