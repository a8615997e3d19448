#include "export/RunSnapshot.h"

#include "recording/BalanceColours.h"
#include "recording/CodeNames.h"
#include "recording/MeasurementColumns.h"

#include <algorithm>
#include <array>

int RunSnapshot::gridColumns() const
{
    return MeasurementColumns::columnsFor(int(balances.size()));
}

const std::string &RunSnapshot::captionCell(int captionRow, int column) const
{
    static const std::string none;
    static const std::array<std::string, 3> titles = {"№", "Время", "Дата"};
    if (column < 0)
        return none;
    if (column < MeasurementColumns::firstValueColumn)
        return titled && captionRow == MeasurementColumns::titleRow ? titles[size_t(column)] : none;
    const std::optional<int> slot = MeasurementColumns::slotOf(column);
    if (!slot || size_t(*slot) >= balances.size() || MeasurementColumns::isUnitColumn(column))
        return none;
    const ColumnCaption &caption = balances[size_t(*slot)];
    // In the order of the caption rows: the caption, the model, the ident.
    const std::string *const rows[MeasurementColumns::captionRows] = {&caption.name, &caption.model, &caption.ident};
    return captionRow >= 0 && captionRow < MeasurementColumns::captionRows ? *rows[captionRow] : none;
}

void RunSnapshot::appendRow(int32_t number, int64_t utcMs, int32_t utcOffsetSeconds,
                            std::span<const SnapshotReading> readings)
{
    const size_t kept = std::min(readings.size(), balances.size());
    rows_.push_back({utcMs, number, utcOffsetSeconds, uint32_t(readings_.size()), uint32_t(kept)});
    readings_.insert(readings_.end(), readings.begin(), readings.begin() + std::ptrdiff_t(kept));
}

void RunSnapshot::appendRow(const RecordedRow &row)
{
    if (balances.empty())
        balances = captionsOf(row);
    // No allocation per row: a day of rows is appended one by one.
    const size_t first = readings_.size();
    const size_t kept = std::min(row.readings.size(), balances.size());
    for (size_t slot = 0; slot < kept; ++slot) {
        const BalanceReading &reading = row.readings[slot];
        readings_.push_back({reading.rawValue, reading.divisor, reading.shownUnit, reading.stable});
    }
    rows_.push_back({row.utcMs, row.number, row.utcOffsetSeconds, uint32_t(first), uint32_t(kept)});
}

void RunSnapshot::clearRows()
{
    rows_.clear();
    readings_.clear();
    edits_.clear();
}

void RunSnapshot::reserveRows(size_t rows, size_t readingsPerRow)
{
    rows_.reserve(rows);
    readings_.reserve(rows * readingsPerRow);
}

RunSnapshot::Row RunSnapshot::row(size_t index) const
{
    const StoredRow &stored = rows_[index];
    return {stored.number, stored.utcMs, stored.utcOffsetSeconds,
            std::span<const SnapshotReading>(readings_).subspan(stored.firstReading, stored.readingCount)};
}

const SnapshotReading *RunSnapshot::pickedReading(size_t slot) const
{
    if (!referenceRow || *referenceRow >= rows_.size())
        return nullptr;
    const Row picked = row(*referenceRow);
    return slot < picked.readings.size() && picked.readings[slot].stable ? &picked.readings[slot] : nullptr;
}

void RunSnapshot::setEdit(size_t index, int column, std::string text)
{
    edits_[cellKey(index, column)] = std::move(text);
}

const std::string *RunSnapshot::edit(size_t index, int column) const
{
    if (edits_.empty())
        return nullptr;
    const auto found = edits_.find(cellKey(index, column));
    return found == edits_.end() ? nullptr : &found->second;
}

std::vector<ColumnCaption> captionsOf(const RecordedRow &row)
{
    std::vector<ColumnCaption> captions;
    for (const BalanceReading &reading : row.readings) {
        ColumnCaption &caption = captions.emplace_back();
        caption.balance = reading.balance;
        caption.name = "Весы №" + std::to_string(reading.balance);
        caption.model = modelName(reading.modelCode);
        caption.ident = std::to_string(reading.ident);
        if (reading.balance >= 1 && size_t(reading.balance) <= balanceColours.size())
            caption.colour = balanceColours[size_t(reading.balance - 1)];
    }
    return captions;
}
