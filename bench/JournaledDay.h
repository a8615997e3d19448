// The run and rows the journal and restore benchmarks write: ten balances
// of a few hundred grams in milligrams, drifting, a row every 0,2 s.
#pragma once

#include "recording/RecordedRow.h"

#include <cstdint>

// The run: every 0,2 s on COM1, ten balances, a chart of 1000 points.
inline RunSettings benchRunSettings()
{
    RunSettings settings;
    settings.port = "COM1";
    settings.periodMs = 200;
    settings.measurementBound = 1000;
    settings.balances = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    return settings;
}

inline RecordedRow benchRowOf(int32_t n)
{
    RecordedRow row;
    row.number = n;
    row.utcMs = 1'700'000'000'000 + int64_t(n) * 200;
    row.utcOffsetSeconds = 10800;
    for (int slot = 0; slot < 10; ++slot) {
        BalanceReading reading;
        reading.balance = slot + 1;
        // Weights of a few hundred grams in milligrams, drifting.
        reading.rawValue = 100000 * (slot + 1) + (n * 37 + slot * 11) % 5000 - 2500;
        reading.divisor = 1000;
        reading.unitCode = 200;
        reading.stable = n % 3 != 0;
        reading.shownUnit = reading.stable ? 0 : -1;
        reading.modelCode = 300 + slot;
        reading.ident = 10000 + slot;
        row.readings.push_back(reading);
    }
    return row;
}
