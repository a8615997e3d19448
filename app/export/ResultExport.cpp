#include "export/ResultExport.h"

#include <QSaveFile>

std::optional<QString> writeExportFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // Only a file that was written whole replaces the old one; QSaveFile
    // removes its temporary file when it is not committed. Unbuffered, so
    // that a short write (a full disk) shows at once: a buffered write that
    // fails only while committing can go unnoticed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() ||
        !file.commit())
        return file.errorString();
    return std::nullopt;
}
