#include "export/ReplacingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int creationAttempts = 16;

std::filesystem::path nativePath(const QString &path)
{
    return std::filesystem::path(path.toStdU16String());
}

std::optional<QString> flushToDisk(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return reason;
    }
    ::close(fd);
    return std::nullopt;
}

} // namespace

ReplacingFile::ReplacingFile(QString target) : target_(std::move(target)) {}

ReplacingFile::~ReplacingFile()
{
    if (!committed_ && !temporary_.isEmpty())
        QFile::remove(temporary_);
}

std::optional<QString> ReplacingFile::create()
{
    const QFileInfo target(target_);
    QString reason;
    for (int attempt = 0; attempt < creationAttempts; ++attempt) {
        const QString candidate = target.absoluteDir().filePath(
            QStringLiteral(".%1.%2.part")
                .arg(target.fileName(), QString::number(QRandomGenerator::global()->generate(), 36)));
        // NewOnly: never take over a file that already has the name. A new
        // file gets the permissions the user's umask gives new files.
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            temporary_ = candidate;
            return std::nullopt;
        }
        reason = file.errorString();
        if (!QFileInfo::exists(candidate))
            break;
    }
    return reason;
}

std::optional<QString> ReplacingFile::commit()
{
    if (QFileInfo::exists(target_))
        QFile::setPermissions(temporary_, QFile::permissions(target_));
    if (auto failure = flushToDisk(temporary_))
        return failure;
    std::error_code error;
    std::filesystem::rename(nativePath(temporary_), nativePath(target_), error);
    if (error)
        return QString::fromLocal8Bit(error.message().c_str());
    committed_ = true;
    return std::nullopt;
}
