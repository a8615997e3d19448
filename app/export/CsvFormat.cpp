#include "export/CsvFormat.h"

#include "export/LocalOffsets.h"
#include "recording/BalanceTexts.h"
#include "recording/MeasurementTable.h"

#include <QSaveFile>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr qsizetype flushBytes = 1 << 20;
constexpr char byteOrderMark[] = "\xEF\xBB\xBF";

class CsvLines {
public:
    void field(const QByteArray &text)
    {
        separate();
        if (text.contains(',') || text.contains('"') || text.contains('\r') || text.contains('\n')) {
            QByteArray quoted = text;
            quoted.replace('"', "\"\"");
            bytes_ += '"' + quoted + '"';
        } else {
            bytes_ += text;
        }
    }
    void field(const QString &text) { field(text.toUtf8()); }
    // A field known to need no quotes: numbers and times.
    void plainField(const char *text, size_t length)
    {
        separate();
        bytes_.append(text, qsizetype(length));
    }
    void endLine()
    {
        bytes_ += "\r\n";
        lineStarted_ = false;
    }
    QByteArray &bytes() { return bytes_; }

private:
    void separate()
    {
        if (lineStarted_)
            bytes_ += ',';
        lineStarted_ = true;
    }
    QByteArray bytes_;
    bool lineStarted_ = false;
};

// rawValue / divisor in exact decimal digits, as many after the point as
// the divisor has zeros.
void weightField(CsvLines &lines, int32_t rawValue, int32_t divisor)
{
    std::array<char, 48> text{};
    int length = 0;
    if (const std::optional<int> places = decimalPlaces(divisor)) {
        const long long magnitude = std::llabs(static_cast<long long>(rawValue));
        const char *sign = rawValue < 0 ? "-" : "";
        if (*places == 0)
            length = std::snprintf(text.data(), text.size(), "%s%lld", sign, magnitude);
        else
            length = std::snprintf(text.data(), text.size(), "%s%lld.%0*lld", sign, magnitude / divisor, *places,
                                   magnitude % divisor);
    } else {
        length = std::snprintf(text.data(), text.size(), "%.15g", ValueFormat::weightValue(rawValue, divisor));
    }
    lines.plainField(text.data(), size_t(length));
}

// 2026-03-14T09:26:53.789+03:00: the local wall clock and its offset.
void timeField(CsvLines &lines, qint64 utcMs, LocalOffsets &offsets)
{
    const int offsetSeconds = offsets.secondsAt(utcMs);
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(utcMs + qint64(offsetSeconds) * 1000, Qt::UTC);
    const QDate date = moment.date();
    const QTime time = moment.time();
    const int offsetMinutes = offsetSeconds / 60;
    const int offset = std::abs(offsetMinutes);
    std::array<char, 48> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", date.year(),
                      date.month(), date.day(), time.hour(), time.minute(), time.second(), time.msec(),
                      offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    lines.plainField(text.data(), size_t(length));
}

void captionLine(CsvLines &lines, const ExportedRun &run)
{
    const MeasurementTable &table = run.table;
    lines.field(QStringLiteral("№"));
    lines.field(QStringLiteral("Время"));
    for (int slot = 0; slot < run.balanceColumns(); ++slot) {
        const int column = MeasurementColumns::valueColumn(slot);
        QStringList parts;
        for (int row = 0; row < MeasurementColumns::captionRows; ++row) {
            if (const QString text = table.cellText(row, column).trimmed(); !text.isEmpty())
                parts.append(text);
        }
        lines.field(parts.join(u' '));
        lines.field(QStringLiteral("%1 ед.").arg(table.cellText(0, column)).trimmed());
    }
    lines.endLine();
}

void measurementLine(CsvLines &lines, const ExportedRun &run, int row, const MeasurementCell &recorded,
                     const std::array<QByteArray, 8> &unitTexts, LocalOffsets &offsets)
{
    const MeasurementTable &table = run.table;
    if (const auto typed = table.operatorText(row, 0))
        lines.field(*typed);
    else
        lines.field(QByteArray::number(recorded.number));
    // The one time field stands for the time and date cells; what the
    // operator typed into either is kept as the two texts.
    if (table.operatorText(row, 1) || table.operatorText(row, 2))
        lines.field(table.cellText(row, 2) + u' ' + table.cellText(row, 1));
    else
        timeField(lines, recorded.stampMs, offsets);
    for (int slot = 0; slot < run.balanceColumns(); ++slot) {
        const int valueColumn = MeasurementColumns::valueColumn(slot);
        const std::optional<MeasurementCell> cell = table.measurementCell(row, valueColumn);
        const RecordedReading *reading = cell && cell->reading ? &*cell->reading : nullptr;
        if (const auto typed = table.operatorText(row, valueColumn))
            lines.field(*typed);
        else if (reading)
            weightField(lines, reading->rawValue, reading->divisor);
        else
            lines.field(QByteArray());
        if (const auto typed = table.operatorText(row, valueColumn + 1))
            lines.field(*typed);
        else if (reading && reading->unit >= 0 && size_t(reading->unit) < unitTexts.size())
            lines.field(unitTexts[size_t(reading->unit)]);
        else
            lines.field(QByteArray());
    }
    lines.endLine();
}

} // namespace

std::optional<QString> CsvFormat::write(const ExportedRun &run, const QString &path) const
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
    std::array<QByteArray, 8> unitTexts;
    for (size_t unit = 0; unit < unitTexts.size(); ++unit)
        unitTexts[unit] = unitTextOf(int8_t(unit)).toUtf8();

    LocalOffsets offsets;
    CsvLines lines;
    lines.bytes() += byteOrderMark;
    captionLine(lines, run);
    for (int row = MeasurementColumns::captionRows; row < run.rows; ++row) {
        // Only measurements: the empty row below the captions is no data.
        if (const std::optional<MeasurementCell> recorded = run.table.measurementCell(row, 0))
            measurementLine(lines, run, row, *recorded, unitTexts, offsets);
        if (lines.bytes().size() >= flushBytes && !flush(lines.bytes()))
            return file.errorString();
    }
    if (!flush(lines.bytes()) || !file.commit())
        return file.errorString();
    return std::nullopt;
}
