// The state of a measurement run that the window's handlers share.
#pragma once

#include "recording/BalanceTexts.h"
#include "recording/MeasurementTable.h"

#include <QString>

#include <array>
#include <cstdint>

struct RunState {
    static constexpr int balances = 10;

    // Row of the table that the next measurement fills; always measurementNo + 3.
    int32_t gridRow = MeasurementTable::headerRows;
    // Measurements recorded; the chart's X value.
    int32_t measurementNo = 0;
    // readingCount of balance j at its last recorded measurement, at [j - 1].
    // Kept for the life of the program, across runs and clears.
    std::array<int32_t, balances> lastRecordedCount{};
    // Length of the chart window, 1..1000.
    int32_t measurementBound = 20;
    // The run records only on a new stable weight.
    bool onNewWeight = false;
    // The run polls only on "Взвесить", without Timer2.
    bool manualMode = false;
    // The check marks of the balance list at the last "Прервать"; what "Нет"
    // to the clear question puts back.
    std::array<bool, balances> savedSelection{};
    // The clear question: its answer ("Да") and whether it has been closed.
    bool askAnswer = false;
    bool askClosed = false;
    // Time and date of the latest poll.
    QString timeText;
    QString dateText;
    // The unit decoded last, one for all balances: a reading with an unknown
    // unit code carries the previous unit on.
    int8_t lastUnit = RecordedReading::noUnit;

    QString unitText() const { return lastUnit == RecordedReading::noUnit ? QString() : unitTextOf(lastUnit); }
};
