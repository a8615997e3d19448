// Why a serial device cannot be used, found by trying it.
#include "ports/PortProbe.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace pondus::ports {
namespace {

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool isNumber(const char *name)
{
    if (!*name)
        return false;
    for (; *name; ++name)
        if (*name < '0' || *name > '9')
            return false;
    return true;
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

// Names another process that has the device open; notes when only this
// process has it.
void findHolder(dev_t device, PortProbe &probe)
{
    const DirHandle processes(::opendir("/proc"));
    if (!processes)
        return;
    const std::string self = std::to_string(::getpid());
    bool selfHolds = false;
    while (const dirent *process = ::readdir(processes.get())) {
        if (!isNumber(process->d_name) || !processHolds(process->d_name, device))
            continue;
        if (process->d_name == self) {
            selfHolds = true;
            continue;
        }
        QFile comm(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(process->d_name)));
        const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                                            : QString();
        probe.holder = QStringLiteral("%1 (PID %2)").arg(name, QString::fromLatin1(process->d_name));
        return;
    }
    probe.heldByThisProcess = selfHolds;
}

PortProbe result(PortProbe::Outcome outcome)
{
    PortProbe probe;
    probe.outcome = outcome;
    return probe;
}

PortProbe failed(int error)
{
    PortProbe probe = result(PortProbe::Outcome::Failed);
    probe.error = error;
    return probe;
}

PortProbe notPermitted(gid_t group)
{
    PortProbe probe = result(PortProbe::Outcome::NotPermitted);
    probe.group = groupName(group);
    return probe;
}

PortProbe held(dev_t device)
{
    PortProbe probe = result(PortProbe::Outcome::Held);
    findHolder(device, probe);
    return probe;
}

} // namespace

PortProbe probePort(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat device{};
    if (::stat(file.constData(), &device) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return result(PortProbe::Outcome::Missing);
        return failed(errno);
    }
    if (!S_ISCHR(device.st_mode))
        return result(PortProbe::Outcome::NotSerial);

    const FileDescriptor fd(::open(file.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        switch (errno) {
        case EACCES:
        case EPERM:
            return notPermitted(device.st_gid);
        case EBUSY: // opened exclusively (TIOCEXCL) by another program
            return held(device.st_rdev);
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return result(PortProbe::Outcome::Missing);
        default:
            return failed(errno);
        }
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return held(device.st_rdev);
        // A device without locks can still be tried as a terminal.
    }
    termios settings{};
    if (::tcgetattr(fd.get(), &settings) != 0)
        return errno == ENOTTY || errno == EINVAL ? result(PortProbe::Outcome::NotSerial) : failed(errno);
    return result(PortProbe::Outcome::Usable);
}

} // namespace pondus::ports
