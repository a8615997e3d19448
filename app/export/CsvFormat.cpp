#include "export/CsvFormat.h"

#include "export/CsvText.h"

#include <QSaveFile>

namespace {
constexpr qsizetype flushBytes = 1 << 20;
} // namespace

std::optional<QString> CsvFormat::write(const RunSnapshot &run, const QString &path) const
{
    // QSaveFile writes beside the target and renames at commit; uncommitted,
    // its temporary file is removed. Unbuffered, so that a short write
    // (a full disk) shows at the write that failed.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    const auto flush = [&](QByteArray &bytes) {
        const bool written = file.write(bytes) == bytes.size();
        bytes.clear();
        return written;
    };
    CsvText text{ValueFormat()};
    QByteArray bytes = CsvText::byteOrderMark;
    text.appendHeader(run, bytes);
    for (size_t index = 0; index < run.rowCount(); ++index) {
        text.appendRow(run, index, bytes);
        if (bytes.size() >= flushBytes && !flush(bytes))
            return file.errorString();
    }
    if (!flush(bytes) || !file.commit())
        return file.errorString();
    return std::nullopt;
}
