// Why a port fails, each reason made for real on this machine: a missing
// path, a regular file, a device the user may not open (a child process
// that dropped root), a pseudo-terminal held by another process.
#include "PseudoTerminal.h"
#include "ports/LinkDiagnosis.h"
#include "ports/PortProbe.h"

#include <trutina.h>

#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace pondus::ports;

namespace {

// Runs probe-and-text in a child process that gave up root for the user
// "nobody"; returns "outcome|group|text" as the child saw it.
QByteArray probeAsNobody(const QString &path)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const PortProbe probe = probePort(path);
        const QByteArray report = QByteArray::number(int(probe.outcome)) + '|' + probe.group.toUtf8() + '|' +
                                  probeReason(path, probe, {}).toUtf8();
        [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], report.constData(), size_t(report.size()));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray report;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, got);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return report;
}

// Another program that holds the terminal open, under its lock unless told
// otherwise, until the test lets it go.
class Holder {
public:
    explicit Holder(const QString &path, const char *name = "balance-logger", bool lock = true)
    {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            ::prctl(PR_SET_NAME, name);
            const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
            const char ok = fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
            [[maybe_unused]] const ssize_t written = ::write(ready[1], &ok, 1);
            char ignored;
            [[maybe_unused]] const ssize_t got = ::read(release[0], &ignored, 1); // until the test closes it
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd_ = release[1];
        char ok = 'n';
        locked_ = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~Holder()
    {
        ::close(releaseFd_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    bool locked() const { return locked_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
    bool locked_ = false;
};

} // namespace

class PortReasonsTest : public QObject {
    Q_OBJECT

private slots:
    void missingPathNamesTheDevicesThatArePresent()
    {
        const QString path = QStringLiteral("/dev/serial/by-id/usb-Absent_Adapter-if00-port0");
        const PortProbe probe = probePort(path);
        QCOMPARE(probe.outcome, PortProbe::Outcome::Missing);
        QCOMPARE(probeReason(path, probe, {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB1")}),
                 QStringLiteral("Устройство /dev/serial/by-id/usb-Absent_Adapter-if00-port0 не найдено. "
                                "Последовательные порты в системе: /dev/ttyS0, /dev/ttyUSB1."));
        QVERIFY(probeReason(path, probe, {}).endsWith(QStringLiteral("Последовательных портов в системе нет.")));
    }

    void regularFileAndNonTerminalAreNoSerialPorts()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("ttyUSB0"));
        QFile plain(file);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const PortProbe probe = probePort(file);
        QCOMPARE(probe.outcome, PortProbe::Outcome::NotSerial);
        QCOMPARE(probeReason(file, probe, {}), file + QStringLiteral(" не последовательный порт."));
        // A character device that is no terminal.
        QCOMPARE(probePort(QStringLiteral("/dev/null")).outcome, PortProbe::Outcome::NotSerial);
        QCOMPARE(probePort(dir.path()).outcome, PortProbe::Outcome::NotSerial);
    }

    void deviceOfAGroupTheUserIsNotInIsRefusedWithTheGroupNamed()
    {
        PseudoTerminal terminal;
        QVERIFY(!terminal.path().isEmpty());
        const group *dialout = ::getgrnam("dialout");
        if (!dialout)
            QSKIP("no group dialout on this system");
        const QByteArray device = terminal.path().toLocal8Bit();
        QCOMPARE(::chown(device.constData(), 0, dialout->gr_gid), 0);
        QCOMPARE(::chmod(device.constData(), 0660), 0);

        const QList<QByteArray> seen = probeAsNobody(terminal.path()).split('|');
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].toInt(), int(PortProbe::Outcome::NotPermitted));
        QCOMPARE(seen[1], QByteArray("dialout"));
        const QString text = QString::fromUtf8(seen[2]);
        QVERIFY2(text.startsWith(QStringLiteral("Нет доступа к %1: устройство принадлежит группе dialout.")
                                     .arg(terminal.path())),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("«sudo usermod -aG dialout $USER»")));
        QVERIFY(text.contains(QStringLiteral("выйдите из системы и войдите снова")));
    }

    void terminalLockedByAnotherProcessNamesIt()
    {
        PseudoTerminal terminal;
        QVERIFY(!terminal.path().isEmpty());
        Holder holder(terminal.path());
        QVERIFY(holder.locked());

        const PortProbe probe = probePort(terminal.path());
        QCOMPARE(probe.outcome, PortProbe::Outcome::Held);
        QCOMPARE(probe.holder, QStringLiteral("balance-logger (PID %1)").arg(holder.pid()));
        QVERIFY(!probe.heldByThisProcess);
        QCOMPARE(probeReason(terminal.path(), probe, {}),
                 QStringLiteral("Порт %1 занят другой программой: balance-logger (PID %2).")
                     .arg(terminal.path())
                     .arg(holder.pid()));
    }

    void theProcessWithTheLockIsNamedRatherThanOneThatMerelyHasItOpen()
    {
        PseudoTerminal terminal;
        // Started first, so it comes first in /proc: a simulator keeping
        // its own end of the line open.
        Holder bystander(terminal.path(), "balance-sim", false);
        QVERIFY(bystander.locked());
        Holder holder(terminal.path());
        QVERIFY(holder.locked());

        const PortProbe probe = probePort(terminal.path());
        QCOMPARE(probe.outcome, PortProbe::Outcome::Held);
        QCOMPARE(probe.holder, QStringLiteral("balance-logger (PID %1)").arg(holder.pid()));
    }

    void terminalOpenedExclusivelyIsHeldEvenWhereTheHolderIsHidden()
    {
        PseudoTerminal terminal;
        const QByteArray device = terminal.path().toLocal8Bit();
        QCOMPARE(::chmod(device.constData(), 0666), 0);
        const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
        // Root may open it anyway; another user is refused (EBUSY) and does
        // not see which process of root's holds it.
        const QList<QByteArray> seen = probeAsNobody(terminal.path()).split('|');
        ::close(fd);
        QCOMPARE(seen.value(0).toInt(), int(PortProbe::Outcome::Held));
        QCOMPARE(QString::fromUtf8(seen.value(2)), QStringLiteral("Порт %1 занят другой программой.").arg(terminal.path()));
    }

    void freeTerminalIsUsableAndOurOwnLockIsNoStranger()
    {
        PseudoTerminal terminal;
        QCOMPARE(probePort(terminal.path()).outcome, PortProbe::Outcome::Usable);
        QCOMPARE(probeReason(terminal.path(), probePort(terminal.path()), {}),
                 QStringLiteral("Порт %1 открывается, но весы не отвечают: проверьте кабель и питание весов.")
                     .arg(terminal.path()));

        // As when the library of this very program has the port.
        const int fd = ::open(terminal.path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const PortProbe probe = probePort(terminal.path());
        ::close(fd);
        QCOMPARE(probe.outcome, PortProbe::Outcome::Held);
        QVERIFY(probe.heldByThisProcess);
        QVERIFY(probe.holder.isEmpty());
    }

    void diagnosisWaitsForTheLineThenExplainsAndClearsOnLine()
    {
        const QString absent = QStringLiteral("/nonexistent/ttyUSB0");
        int listings = 0;
        LinkDiagnosis diagnosis({{1, absent}}, [&] {
            ++listings;
            return QStringList{QStringLiteral("/dev/ttyS0")};
        });
        QVERIFY(diagnosis.look(0, TRUTINA_LINK_SETTING_UP, 1).isEmpty());
        QVERIFY(diagnosis.look(LinkDiagnosis::firstLookMs - 1, TRUTINA_LINK_SETTING_UP, 1).isEmpty());
        const QString reason = diagnosis.look(LinkDiagnosis::firstLookMs, TRUTINA_LINK_SETTING_UP, 1);
        QCOMPARE(reason, QStringLiteral("Устройство /nonexistent/ttyUSB0 не найдено. "
                                        "Последовательные порты в системе: /dev/ttyS0."));
        QCOMPARE(listings, 1);
        // Kept between looks, not tried again at once.
        QCOMPARE(diagnosis.look(LinkDiagnosis::firstLookMs + 10, TRUTINA_LINK_SETTING_UP, 1), reason);
        QCOMPARE(listings, 1);
        QVERIFY(diagnosis.look(LinkDiagnosis::firstLookMs + 20, TRUTINA_LINK_ONLINE, 1).isEmpty());
    }

    void diagnosisDuringLineSetupBlamesTheLineNotTheDevice()
    {
        LinkDiagnosis diagnosis({{2, QStringLiteral("/nonexistent/ttyUSB0")}}, [] { return QStringList(); });
        QCOMPARE(diagnosis.look(LinkDiagnosis::firstLookMs, TRUTINA_LINK_INITIALISING, 2),
                 noAnswerReason(QStringLiteral("/nonexistent/ttyUSB0")));
    }

    void searchOfAllPortsGivesOneLinePerPort()
    {
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("file")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        PseudoTerminal terminal;
        LinkDiagnosis diagnosis({{1, QStringLiteral("/nonexistent/a")},
                                 {2, plain.fileName()},
                                 {3, terminal.path()},
                                 {4, QStringLiteral("/nonexistent/b")}},
                                [] { return QStringList(); });
        const QStringList lines = diagnosis.look(LinkDiagnosis::firstLookMs, TRUTINA_LINK_SETTING_UP, 4).split('\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].startsWith(QStringLiteral("COM1: Устройство /nonexistent/a не найдено.")));
        QCOMPARE(lines[1], QStringLiteral("COM2: ") + plain.fileName() + QStringLiteral(" не последовательный порт."));
        QCOMPARE(lines[2], QStringLiteral("COM3: ") + noAnswerReason(terminal.path()));
        QVERIFY(lines[3].startsWith(QStringLiteral("COM4: Устройство /nonexistent/b")));
    }
};

QTEST_GUILESS_MAIN(PortReasonsTest)
#include "tst_portreasons.moc"
