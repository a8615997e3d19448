#include "mainform/TableSnapshot.h"

#include "export/LocalOffsets.h"
#include "recording/BalanceColours.h"
#include "mainform/MeasurementTable.h"

#include <algorithm>

RunSnapshot snapshotOfTable(const MeasurementTable &table, int rows, const RunSettings &settings)
{
    RunSnapshot run;
    run.settings = settings;
    run.titled = table.cellText(MeasurementColumns::titleRow, MeasurementColumns::numberColumn) == u"№";
    const int balanceColumns = MeasurementColumns::slotOf(table.columnCount()).value_or(0);
    for (int slot = 0; slot < balanceColumns; ++slot) {
        const int column = MeasurementColumns::valueColumn(slot);
        ColumnCaption &caption = run.balances.emplace_back();
        caption.balance = size_t(slot) < settings.balances.size() ? settings.balances[size_t(slot)] : slot + 1;
        caption.name = table.cellText(MeasurementColumns::captionRow, column).toStdString();
        caption.model = table.cellText(MeasurementColumns::modelRow, column).toStdString();
        caption.ident = table.cellText(MeasurementColumns::identRow, column).toStdString();
        if (caption.balance >= 1 && size_t(caption.balance) <= balanceColours.size())
            caption.colour = balanceColours[size_t(caption.balance - 1)];
    }

    const int measurements = std::clamp(rows - MeasurementColumns::captionRows, 0, table.measurementRows());
    run.reserveRows(size_t(measurements), size_t(balanceColumns));
    LocalOffsets offsets;
    std::vector<SnapshotReading> readings;
    for (int index = 0; index < measurements; ++index) {
        const int row = MeasurementColumns::captionRows + index;
        readings.clear();
        std::optional<MeasurementCell> cell;
        for (int slot = 0; slot < balanceColumns; ++slot) {
            cell = table.measurementCell(row, MeasurementColumns::valueColumn(slot));
            if (!cell->reading)
                break;
            const RecordedReading &reading = *cell->reading;
            readings.push_back({reading.rawValue, reading.divisor, reading.unit, reading.stable});
        }
        if (!cell)
            cell = table.measurementCell(row, MeasurementColumns::numberColumn);
        run.appendRow(cell->number, cell->stampMs, offsets.secondsAt(cell->stampMs), readings);
    }
    if (const std::optional<int> picked = table.referenceRow();
        picked && *picked - MeasurementColumns::captionRows < measurements)
        run.referenceRow = size_t(*picked - MeasurementColumns::captionRows);
    // What the operator typed in the rows written, and in the one empty row
    // of a table without measurements.
    const int lastRow = std::min(rows, table.rowCount()) - 1;
    for (const MeasurementTable::EditedCell &edit : table.editedCells()) {
        if (edit.row >= MeasurementColumns::captionRows && edit.row <= lastRow)
            run.setEdit(size_t(edit.row - MeasurementColumns::captionRows), edit.column, edit.text.toStdString());
    }
    return run;
}
