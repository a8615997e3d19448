// Why a serial device cannot be used, found by trying it.
#include "ports/PortProbe.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace pondus::ports {
namespace {

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct FileDescriptor {
    const int fd;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool isNumber(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QString groupName(gid_t gid)
{
    group entry{};
    group *found = nullptr;
    std::string buffer(16384, '\0');
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

bool processHolds(const std::string &pid, dev_t device)
{
    const std::string fdDir = "/proc/" + pid + "/fd";
    const DirHandle fds(::opendir(fdDir.c_str()));
    if (!fds)
        return false; // gone, or not ours to look at
    while (const dirent *fd = ::readdir(fds.get())) {
        struct stat opened{};
        if (isNumber(fd->d_name) && ::stat((fdDir + '/' + fd->d_name).c_str(), &opened) == 0 &&
            S_ISCHR(opened.st_mode) && opened.st_rdev == device)
            return true;
    }
    return false;
}

// The process whose flock() holds the device node, from /proc/locks, where
// a lock reads "1: FLOCK  ADVISORY  WRITE 26918 00:19:3 0 EOF" (the node's
// file system as hex major:minor, then its inode).
std::string lockingProcess(const struct stat &node)
{
    char place[64];
    std::snprintf(place, sizeof place, "%02x:%02x:%llu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long long>(node.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, access, pid, where;
        // Waiters are listed as "1: -> FLOCK ..." and are skipped by the kind.
        if (fields >> number >> kind >> advisory >> access >> pid >> where && kind == "FLOCK" && where == place)
            return pid;
    }
    return {};
}

QString processName(const std::string &pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(QString::fromStdString(pid)));
    const QString name =
        comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
    return QStringLiteral("%1 (PID %2)").arg(name, QString::fromStdString(pid));
}

// The device held by another process, named: the one with its lock first
// (others, such as a simulator keeping its own end open, may have it open
// too), else any that has it open; noted when only this process has it.
PortProbe held(const struct stat &node)
{
    PortProbe probe{.outcome = PortProbe::Outcome::Held};
    const std::string self = std::to_string(::getpid());
    if (const std::string locker = lockingProcess(node); !locker.empty() && locker != self) {
        probe.holder = processName(locker);
        return probe;
    }
    const DirHandle processes(::opendir("/proc"));
    if (!processes)
        return probe;
    bool selfHolds = false;
    while (const dirent *process = ::readdir(processes.get())) {
        if (!isNumber(process->d_name) || !processHolds(process->d_name, node.st_rdev))
            continue;
        if (process->d_name == self) {
            selfHolds = true;
            continue;
        }
        probe.holder = processName(process->d_name);
        return probe;
    }
    probe.heldByThisProcess = selfHolds;
    return probe;
}

} // namespace

PortProbe probePort(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat device{};
    if (::stat(file.constData(), &device) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {.outcome = PortProbe::Outcome::Missing};
        return {.outcome = PortProbe::Outcome::Failed, .error = errno};
    }
    if (!S_ISCHR(device.st_mode))
        return {.outcome = PortProbe::Outcome::NotSerial};

    const FileDescriptor fd{::open(file.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (fd.fd < 0) {
        switch (errno) {
        case EACCES:
        case EPERM:
            return {.outcome = PortProbe::Outcome::NotPermitted, .group = groupName(device.st_gid)};
        case EBUSY: // opened exclusively (TIOCEXCL) by another program
            return held(device);
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return {.outcome = PortProbe::Outcome::Missing};
        default:
            return {.outcome = PortProbe::Outcome::Failed, .error = errno};
        }
    }
    if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return held(device);
        // A device without locks can still be tried as a terminal.
    }
    termios settings{};
    if (::tcgetattr(fd.fd, &settings) != 0)
        return errno == ENOTTY || errno == EINVAL ? PortProbe{.outcome = PortProbe::Outcome::NotSerial}
                                                  : PortProbe{.outcome = PortProbe::Outcome::Failed, .error = errno};
    return {.outcome = PortProbe::Outcome::Usable};
}

} // namespace pondus::ports
