// The state of a measurement run that the window's handlers share.
#pragma once

#include "recording/BalanceTexts.h"
#include "recording/MeasurementRecorder.h"
#include "recording/RecordedRow.h"

#include <QString>

#include <array>
#include <cstdint>

// What the recorder remembers (rows recorded, reading counts, the last unit)
// and what the window adds to it.
struct RunState : RecordingHistory {
    // The settings of the current or last run as taken at "Начать", and its
    // wall-clock start and stop in ms since the Unix epoch (0: not yet).
    RunSettings run;
    int64_t runStartedUtcMs = 0;
    int64_t runStoppedUtcMs = 0;
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

    bool running() const { return runStartedUtcMs != 0 && runStoppedUtcMs == 0; }
    QString unitText() const { return lastUnit < 0 ? QString() : unitTextOf(lastUnit); }
};
