// The layout of the measurement grid, kept in one place: three caption rows
// above one row per measurement, and after "№", "Время" and "Дата" a value
// and a unit column for every polled balance, in the run's order.
#pragma once

#include <cstdint>
#include <optional>

struct MeasurementColumns {
    // Caption rows: balance caption, model designation, identification number.
    static constexpr int captionRow = 0;
    static constexpr int modelRow = 1;
    static constexpr int identRow = 2;
    static constexpr int captionRows = 3;
    // Row 1 of the first three columns also holds their titles.
    static constexpr int titleRow = modelRow;
    static constexpr int numberColumn = 0;
    static constexpr int timeColumn = 1;
    static constexpr int dateColumn = 2;
    static constexpr int firstValueColumn = 3;
    static constexpr int columnsPerBalance = 2;

    // Value and unit column of the balance in place `slot` (0, 1, ...) of the run.
    static constexpr int valueColumn(int slot) { return firstValueColumn + columnsPerBalance * slot; }
    static constexpr int unitColumn(int slot) { return valueColumn(slot) + 1; }
    // Columns the grid needs for `balances` polled balances.
    static constexpr int columnsFor(int balances) { return valueColumn(balances); }
    // The place of the balance a value or unit column belongs to.
    static constexpr std::optional<int> slotOf(int column)
    {
        if (column < firstValueColumn)
            return std::nullopt;
        return (column - firstValueColumn) / columnsPerBalance;
    }
    static constexpr bool isUnitColumn(int column)
    {
        return column >= firstValueColumn && (column - firstValueColumn) % columnsPerBalance == 1;
    }
    // Grid row of measurement number n (1, 2, ...) and back.
    static constexpr int rowOf(int32_t number) { return captionRows + number - 1; }
    static constexpr int32_t numberAt(int row) { return row - captionRows + 1; }
};
