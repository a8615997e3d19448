// What the window's handlers share about the run it drives, beyond what the
// recording session keeps.
#pragma once

#include "recording/MeasurementRecorder.h"

#include <QString>

#include <array>
#include <cstdint>

struct RunState {
    // Positions the window offers for a run.
    static constexpr int balances = RecordingHistory::balances;

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
};
