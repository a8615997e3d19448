#include "RowFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pondus::logger {
namespace {

std::runtime_error systemError(const std::string &path, int error = errno)
{
    return std::runtime_error(path + ": " + std::strerror(error));
}

std::runtime_error notARegularFile(const std::string &path, mode_t mode)
{
    const char *kind = S_ISFIFO(mode)   ? "a FIFO"
                       : S_ISCHR(mode)  ? "a character device (a serial line or a terminal?)"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                       : S_ISDIR(mode)  ? "a folder"
                                        : "not a regular file";
    return std::runtime_error(path + ": is " + std::string(kind) +
                              "; rows are recorded only to a regular file");
}

// Opened without waiting: a FIFO or a device would otherwise hold the open
// until a reader or a carrier appears, with the stop signals unheard.
int openForAppending(const std::string &path, int extraFlags)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extraFlags,
                  0644);
}

} // namespace

RowFile::RowFile(std::string path, RowText text) : path_(std::move(path)), text_(std::move(text))
{
    // Made exclusively first, so that an existing file is known as such.
    fd_ = openForAppending(path_, O_EXCL);
    created_ = fd_ >= 0;
    if (fd_ < 0 && errno == EEXIST)
        fd_ = openForAppending(path_, 0);
    if (fd_ < 0) {
        const int error = errno;
        // A FIFO without a reader refuses a non-blocking open as ENXIO.
        struct stat status {};
        if (::stat(path_.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            throw notARegularFile(path_, status.st_mode);
        throw systemError(path_, error);
    }
    struct stat status {};
    const bool known = ::fstat(fd_, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        const std::runtime_error error = known ? notARegularFile(path_, status.st_mode) : systemError(path_);
        ::close(fd_);
        fd_ = -1;
        throw error;
    }
    ::fcntl(fd_, F_SETFL, O_APPEND);
    startsFile_ = status.st_size == 0;
}

RowFile::~RowFile()
{
    if (fd_ < 0)
        return;
    ::close(fd_);
    if (created_ && !captionsWritten_)
        ::unlink(path_.c_str());
}

void RowFile::append(const RecordedRow &row)
{
    std::string bytes;
    if (!captionsWritten_)
        bytes = text_.captions(row, startsFile_);
    bytes += text_.row(row) + text_.lineEnd();
    write(bytes);
    captionsWritten_ = true;
}

void RowFile::write(const std::string &bytes)
{
    // Where the row starts: what the file is cut back to should it fail.
    struct stat status {};
    if (::fstat(fd_, &status) != 0)
        throw systemError(path_);
    end_ = status.st_size;
    // One call for the whole row, so that a reader never sees part of one.
    ssize_t n;
    do
        n = ::write(fd_, bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n >= 0 && size_t(n) < bytes.size()) {
        // A short write is a full disk or a size limit: the rest, tried
        // once, names the reason.
        const ssize_t rest = ::write(fd_, bytes.data() + n, bytes.size() - size_t(n));
        n = rest < 0 ? rest : n + rest;
        if (n >= 0 && size_t(n) < bytes.size())
            errno = ENOSPC;
    }
    if (n < 0 || size_t(n) < bytes.size())
        throw cutBack(errno);
    // A row is on the disk before the next poll: a power cut loses none.
    if (::fdatasync(fd_) != 0 && errno != EINVAL)
        throw systemError(path_);
}

std::runtime_error RowFile::cutBack(int error)
{
    // The file ends with the last whole row again: a part of a row would be
    // taken for one by whoever reads the file.
    std::string message = path_ + ": " + std::strerror(error);
    if (::ftruncate(fd_, end_) != 0)
        message += std::string("; the part of the row written could not be cut off: ") + std::strerror(errno);
    return std::runtime_error(message);
}

} // namespace pondus::logger
