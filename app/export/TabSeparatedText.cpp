#include "export/TabSeparatedText.h"

#include "recording/BalanceTexts.h"
#include "recording/MeasurementColumns.h"

#include <QDateTime>
#include <QStringEncoder>

namespace {

// A TAB or line break typed into a cell would split the field or the row
// and shift everything after it.
QString oneField(const std::string &text)
{
    QString cell = QString::fromStdString(text);
    for (QChar &c : cell)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return cell;
}

void endLine(QString &line, QByteArray &out)
{
    line += u"\r\n";
    QStringEncoder encode(QStringConverter::System);
    out += encode(line);
}

} // namespace

void TabSeparatedText::appendCaptions(const RunSnapshot &run, QByteArray &out) const
{
    const int columns = run.gridColumns();
    QString line;
    for (int row = 0; row < MeasurementColumns::captionRows; ++row) {
        line.clear();
        for (int column = 0; column < columns; ++column) {
            line += oneField(run.captionCell(row, column));
            line += u'\t';
        }
        endLine(line, out);
    }
}

void TabSeparatedText::appendRow(const RunSnapshot &run, size_t index, QByteArray &out) const
{
    const bool recorded = index < run.rowCount();
    const RunSnapshot::Row row = recorded ? run.row(index) : RunSnapshot::Row{};
    // The wall clock of the row's moment, as the grid shows it.
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(row.localMs(), Qt::UTC);
    QString line;
    for (int column = 0; column < run.gridColumns(); ++column) {
        if (const std::string *typed = run.edit(index, column)) {
            line += oneField(*typed);
        } else if (!recorded) {
            // The one empty row of a table without rows holds only what was typed.
        } else if (column == MeasurementColumns::numberColumn) {
            line += QString::number(row.number);
        } else if (column == MeasurementColumns::timeColumn) {
            line += values_.time(local);
        } else if (column == MeasurementColumns::dateColumn) {
            line += values_.date(local);
        } else if (const size_t slot = size_t(*MeasurementColumns::slotOf(column)); slot < row.readings.size()) {
            const SnapshotReading &reading = row.readings[slot];
            if (!MeasurementColumns::isUnitColumn(column))
                line += values_.weight(reading.rawValue, reading.divisor);
            else if (reading.unit != SnapshotReading::noUnit)
                line += unitTextOf(reading.unit);
        }
        line += u'\t';
    }
    endLine(line, out);
}

QByteArray TabSeparatedText::table(const RunSnapshot &run) const
{
    QByteArray out;
    appendCaptions(run, out);
    for (size_t index = 0; index < std::max<size_t>(run.rowCount(), 1); ++index)
        appendRow(run, index, out);
    return out;
}
