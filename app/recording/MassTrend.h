// One balance's sample through a run: its reference mass, the change from
// it at each row, the drift over the criterion's window and whether, and
// since when, it has reached constant mass.
#pragma once

#include "recording/ConstantMassCriterion.h"
#include "recording/MassChange.h"
#include "recording/TrailingWindow.h"

#include <cstdint>
#include <optional>

// A balance's reading in a recorded row, as the trend needs it.
struct TrendReading {
    double value = 0;     // in the balance's unit
    int32_t unitCode = 0; // the library's unit code as read
    bool stable = false;
};

class MassTrend {
public:
    explicit MassTrend(const ConstantMassCriterion &criterion);

    // The balance's reading of the next row, nothing when the row holds
    // none. The first stable reading is the reference, and so is the first
    // stable one in another unit (the operator's reference instead when it
    // was read in that unit): the window then starts afresh. Only stable
    // readings enter the window, and only a stable reading at a row can meet
    // the criterion, once the window holds a reading at least its length old.
    MassTrendValues add(int64_t utcMs, const std::optional<TrendReading> &reading);

    // The operator's reference: a stable reading of an earlier row, taken at
    // once when it is in the unit of the current reference, else kept for
    // when the balance weighs in its unit again. False, with nothing changed,
    // for an unstable reading or one that is no number; false too, but kept,
    // for one in another unit.
    bool pickReference(const TrendReading &reading);

    // The change of any reading from the current reference, as add gives it.
    MassTrendValues changeOf(const TrendReading &reading) const;

    const std::optional<TrendReading> &reference() const { return reference_; }
    std::optional<int64_t> reachedAtMs() const { return reachedAtMs_; }

private:
    std::optional<double> percentOfReference(std::optional<double> value) const;

    ConstantMassCriterion criterion_;
    std::optional<TrendReading> reference_;
    std::optional<TrendReading> picked_;
    TrailingWindow window_;
    std::optional<int64_t> reachedAtMs_;
};
