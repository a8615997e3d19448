#include "RowFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace pondus::logger {
namespace {

std::runtime_error systemError(const std::string &path)
{
    return std::runtime_error(path + ": " + std::strerror(errno));
}

} // namespace

RowFile::RowFile(std::string path, RowText text) : path_(std::move(path)), text_(std::move(text))
{
    // Made exclusively first, so that an existing file is known as such.
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
    created_ = fd_ >= 0;
    if (fd_ < 0 && errno == EEXIST)
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw systemError(path_);
    startsFile_ = ::lseek(fd_, 0, SEEK_END) == 0;
}

RowFile::~RowFile()
{
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
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            throw systemError(path_);
        }
        written += size_t(n);
    }
    // A row is on the disk before the next poll: a power cut loses none.
    if (::fdatasync(fd_) != 0 && errno != EINVAL)
        throw systemError(path_);
}

} // namespace pondus::logger
