// Writing and reading the head file's two checked lines.
#include "journal/HeadFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace pondus::journal {

namespace {

// "links " 20 digits " head " 64 hex " check " 16 hex "\n".
constexpr size_t lineLength = 6 + 20 + 6 + 64 + 7 + 16 + 1;
constexpr size_t checkedPart = 6 + 20 + 6 + 64;

std::string checkOf(std::string_view part)
{
    return hexOf(chainDigest(Digest{}, part)).substr(0, 16);
}

std::string lineOf(int64_t links, const Digest &head)
{
    char part[checkedPart + 1] = {};
    std::snprintf(part, sizeof part, "links %020" PRId64 " head %s", links, hexOf(head).c_str());
    return std::string(part) + " check " + checkOf(part) + "\n";
}

std::string systemReason(int error = errno)
{
    return std::strerror(error);
}

// The whole buffer or the system's reason; a short write without an error
// is a full disk.
std::optional<std::string> writeAll(int fd, const std::string &text, off_t offset)
{
    const ssize_t written = ::pwrite(fd, text.data(), text.size(), offset);
    if (written == ssize_t(text.size()))
        return std::nullopt;
    return systemReason(written < 0 ? errno : ENOSPC);
}

std::optional<ChainHead> parsed(const std::string &line)
{
    if (line.size() + 1 != lineLength || line.compare(0, 6, "links ") != 0 ||
        line.compare(checkedPart, 7, " check ") != 0 || checkOf(std::string_view(line).substr(0, checkedPart)) !=
                                                             std::string_view(line).substr(checkedPart + 7))
        return std::nullopt;
    return ChainHead{std::strtoll(line.c_str() + 6, nullptr, 10), line.substr(6 + 20 + 6, 64)};
}

} // namespace

std::string headFilePath(const std::string &journalPath)
{
    return journalPath + ".head";
}

HeadFile::~HeadFile()
{
    close();
}

void HeadFile::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::optional<std::string> HeadFile::open(const std::string &path, int64_t links, const Digest &head)
{
    close();
    path_ = path;
    const std::string line = lineOf(links, head);
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return systemReason();
    auto failure = writeAll(fd, line + line, 0);
    if (!failure && ::rename(temporary.c_str(), path.c_str()) != 0)
        failure = systemReason();
    if (failure) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return failure;
    }
    fd_ = fd;
    return std::nullopt;
}

std::optional<std::string> HeadFile::write(int64_t links, const Digest &head)
{
    if (fd_ < 0)
        return path_.empty() ? std::optional<std::string>("not opened") : open(path_, links, head);
    return writeAll(fd_, lineOf(links, head), off_t(links % 2) * off_t(lineLength));
}

HeadFileRead readHeadFile(const std::string &path)
{
    HeadFileRead read;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char bytes[2 * lineLength + 1] = {};
    const ssize_t length = fd < 0 ? -1 : ::read(fd, bytes, sizeof bytes);
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (length < 0) {
        read.missing = error == ENOENT;
        read.problem = systemReason(error);
        return read;
    }
    std::istringstream in(std::string(bytes, size_t(length)));
    for (std::string line; std::getline(in, line);)
        if (const auto head = parsed(line); head && (!read.head || head->links > read.head->links))
            read.head = head;
    if (!read.head)
        read.problem = "not a head file (no line \"links N head HASH check C\" whose check matches)";
    return read;
}

} // namespace pondus::journal
