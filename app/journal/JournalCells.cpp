// Edited cells keyed by what they hold: the grid's column arithmetic is
// MeasurementColumns', the keys are the journal's own.
#include "journal/JournalCells.h"

#include "journal/JsonText.h"
#include "recording/MeasurementColumns.h"

#include <algorithm>
#include <array>

namespace pondus::journal {

namespace {

constexpr std::array<std::string_view, 3> leadingColumns = {"number", "time", "date"};

// The key of a grid column for a run polling these balances, in their order.
void keyColumn(int32_t gridColumn, const std::vector<int32_t> &balances, CellKey &key)
{
    const auto slot = MeasurementColumns::slotOf(gridColumn);
    if (!slot) {
        key.column = gridColumn >= 0 ? leadingColumns[size_t(gridColumn)] : "";
        return;
    }
    key.column = MeasurementColumns::isUnitColumn(gridColumn) ? "unit" : "value";
    key.balance = size_t(*slot) < balances.size() ? balances[size_t(*slot)] : 0;
}

// The event detail of an edit; the restore reads it back with SQL.
std::string cellEditJson(const CellEdit &edit)
{
    const CellKey &cell = edit.cell;
    std::string json = "{";
    if (cell.gridRow >= 0)
        json += "\"grid_row\":" + std::to_string(cell.gridRow) + ",\"grid_column\":" + std::to_string(cell.gridColumn);
    else {
        json += "\"run\":" + std::to_string(cell.run) + ",";
        json += cell.seq > 0 ? "\"seq\":" + std::to_string(cell.seq) : "\"caption\":" + std::to_string(cell.captionRow);
        json += ",\"column\":" + jsonQuoted(cell.column);
        if (cell.balance != 0)
            json += ",\"balance\":" + std::to_string(cell.balance);
    }
    return json + ",\"old\":" + jsonQuoted(edit.oldText) + ",\"new\":" + jsonQuoted(edit.newText) +
           jsonTextField("reason", edit.reason) + "}";
}

} // namespace

void RestoredGrid::addRun(int64_t run, std::vector<int32_t> balances)
{
    balances_[run] = std::move(balances);
}

void RestoredGrid::addRow(int64_t run, int64_t seq)
{
    const auto row = int32_t(rows_.size());
    rows_.emplace(std::pair{run, seq}, MeasurementColumns::captionRows + row);
}

std::optional<std::pair<int32_t, int32_t>> RestoredGrid::place(const CellKey &key) const
{
    if (key.gridRow >= 0)
        return std::pair{key.gridRow, key.gridColumn};
    int32_t row = key.captionRow;
    if (key.seq > 0) {
        const auto found = rows_.find({key.run, key.seq});
        if (found == rows_.end())
            return std::nullopt;
        row = found->second;
    }
    const auto leading = std::find(leadingColumns.begin(), leadingColumns.end(), key.column);
    if (leading != leadingColumns.end())
        return std::pair{row, int32_t(leading - leadingColumns.begin())};
    const auto run = balances_.find(key.run);
    if (run == balances_.end())
        return std::nullopt;
    const auto slot = std::find(run->second.begin(), run->second.end(), key.balance);
    if (slot == run->second.end())
        return std::nullopt;
    const int index = int(slot - run->second.begin());
    return std::pair{row, key.column == "unit" ? MeasurementColumns::unitColumn(index)
                                                : MeasurementColumns::valueColumn(index)};
}

void Journal::cellEdited(const CellEdit &edit)
{
    event("cell_edit", cellEditJson(edit));
}

void Journal::referenceRowPicked(const CellKey &row)
{
    event("reference_row", row.gridRow >= 0 ? "{\"grid_row\":" + std::to_string(row.gridRow) + "}"
                                            : "{\"run\":" + std::to_string(row.run) +
                                                  ",\"seq\":" + std::to_string(row.seq) + "}");
}

CellKey Journal::cellAt(int32_t gridRow, int32_t gridColumn)
{
    const CellKey key{.column = {}, .gridRow = gridRow, .gridColumn = gridColumn};
    if (!db_ || sheet_ == 0)
        return key;
    const bool caption = gridRow < MeasurementColumns::captionRows;
    Statement query(db_.get(), caption ? "SELECT id, 0, balances FROM run WHERE sheet = ?1 ORDER BY id DESC LIMIT 1"
                                       : "SELECT m.run, m.seq, r.balances FROM measurement AS m JOIN run AS r "
                                         "ON r.id = m.run WHERE r.sheet = ?1 ORDER BY m.run, m.seq LIMIT 1 OFFSET ?2");
    query.bind(1, sheet_);
    if (!caption)
        query.bind(2, int64_t(gridRow - MeasurementColumns::captionRows));
    if (query.step() != SQLITE_ROW)
        return key;
    CellKey held{.run = query.integer(0), .seq = query.integer(1), .captionRow = caption ? gridRow : -1, .column = {}};
    keyColumn(gridColumn, jsonNumbersOf(query.text(2)), held);
    return held;
}

} // namespace pondus::journal
