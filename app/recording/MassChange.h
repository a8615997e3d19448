// What a recorded row adds to a balance's reading: its change from the
// sample's reference, the drift and the constant-mass mark. Plain C++, so
// that the journal and the publisher hear of it without Qt.
#pragma once

#include <optional>

// Empty where there is nothing to compare: no reference yet, a reading in
// another unit, a zero reference for the percentages, fewer than two
// readings in the window for the drift.
struct MassTrendValues {
    std::optional<double> change;              // in the balance's unit
    std::optional<double> changePercent;       // of the reference
    std::optional<double> driftPerHour;        // in the balance's unit
    std::optional<double> driftPercentPerHour; // of the reference
    bool constant = false;   // the criterion holds at this row
    bool reachedNow = false; // ... for the first time in the run
};

