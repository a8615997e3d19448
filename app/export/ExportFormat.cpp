#include "export/ExportFormat.h"

#include "export/CsvFormat.h"
#include "export/TabSeparatedFormat.h"
#include "export/XlsxFormat.h"
#include "recording/MeasurementTable.h"

#include <QFileInfo>

#include <algorithm>
#include <array>

int ExportedRun::measurements() const
{
    return std::clamp(rows - MeasurementColumns::captionRows, 0, table.measurementRows());
}

int ExportedRun::balanceColumns() const
{
    return MeasurementColumns::slotOf(table.columnCount()).value_or(0);
}

int ExportedRun::balanceOfSlot(int slot) const
{
    if (slot >= 0 && size_t(slot) < settings.balances.size())
        return settings.balances[size_t(slot)];
    return slot + 1;
}

QColor ExportedRun::colourOfSlot(int slot) const
{
    const int j = balanceOfSlot(slot);
    if (j >= 1 && size_t(j) <= seriesColours.size())
        return seriesColours[size_t(j - 1)];
    return QColor(Qt::black);
}

QString ExportFormat::filter() const
{
    return QStringLiteral("%1 (*.%2)").arg(name(), suffix());
}

std::optional<int> decimalPlaces(int32_t divisor)
{
    int places = 0;
    for (int64_t power = 1; power <= divisor; power *= 10, ++places) {
        if (power == divisor)
            return places;
    }
    return std::nullopt;
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
