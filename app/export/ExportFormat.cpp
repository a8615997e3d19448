#include "export/ExportFormat.h"

#include "export/CsvFormat.h"
#include "export/TabSeparatedFormat.h"
#include "export/XlsxFormat.h"

#include <QFileInfo>

#include <array>

QString ExportFormat::filter() const
{
    return QStringLiteral("%1 (*.%2)").arg(name(), suffix());
}

std::span<const ExportFormat *const> exportFormats()
{
    static const TabSeparatedFormat tabSeparated;
    static const XlsxFormat workbook;
    static const CsvFormat csv;
    static const std::array<const ExportFormat *, 3> formats = {&tabSeparated, &workbook, &csv};
    return formats;
}

const ExportFormat &formatForFile(const QString &path, const QString &chosenFilter)
{
    const auto formats = exportFormats();
    const QString suffix = QFileInfo(path).suffix();
    for (const ExportFormat *format : formats) {
        if (suffix.compare(format->suffix(), Qt::CaseInsensitive) == 0)
            return *format;
    }
    for (const ExportFormat *format : formats) {
        if (format->filter() == chosenFilter)
            return *format;
    }
    return *formats.front();
}
