// Recovery: a table the journal kept, put back in the grid and the chart as
// it was shown, ready to be saved or continued by the next run.
#include "mainform/Serialer.h"

#include "mainform/ChartAxes.h"
#include "recording/MeasurementColumns.h"
#include "recording/ValueFormat.h"

#include <QTableView>

#include <algorithm>

void TMainForm::restoreRow(const RecordedRow &row)
{
    if (table_->measurementRows() == 0)
        writeTitleRow();
    std::vector<RecordedReading> cells;
    cells.reserve(row.readings.size());
    RecordingHistory &history = session_.history();
    history.lastValues.clear();
    for (const BalanceReading &reading : row.readings) {
        cells.push_back({reading.rawValue, reading.divisor, reading.shownUnit, reading.stable});
        history.lastValues.push_back(ValueFormat::weightValue(reading.rawValue, reading.divisor));
        if (reading.shownUnit >= 0)
            history.lastUnit = reading.shownUnit;
    }
    table_->appendMeasurement(row.number, QDateTime::fromMSecsSinceEpoch(row.utcMs), cells);
    history.measurementNo = row.number;
}

void TMainForm::restoreCaptions(const RecordedRow &lastRow, int32_t measurementBound)
{
    const std::vector<BalanceCaption> captions = balanceCaptionsOf(lastRow);
    writeHeaders(captions);
    session_.setCaptionsShown(captions);
    const int32_t newest = lastRow.number;
    const int32_t first = std::max(1, newest - measurementBound + 1);
    for (size_t slot = 0; slot < captions.size(); ++slot)
        ui_.Series[size_t(captions[slot].balance - 1)]->replace(
            chartWindow(MeasurementColumns::valueColumn(int(slot)), first, newest));
    fitAxesToSeries(ui_.Series, *ui_.AxisX, *ui_.AxisY);
    ui_.StrGrid1->scrollToBottom();
}

void TMainForm::restoreEdit(int row, int column, const QString &text)
{
    table_->putText(row, column, text);
}
