// The samples of the session's current run: it feeds each committed row to
// the run's trends and names the balances that reach constant mass, for the
// session to tell its observers.
#pragma once

#include "recording/RunTrends.h"
#include "recording/SessionObserver.h"

#include <optional>
#include <vector>

class SampleWatch {
public:
    // The criterion of the runs that start from now on.
    void setCriterion(const ConstantMassCriterion &criterion) { criterion_ = criterion; }

    // A run starts: each balance's sample from its first stable reading.
    void start(const RunSettings &settings);
    // The values of the row (see RunTrends::add) and, in `reached`, the
    // balances that reached constant mass at it.
    const std::vector<MassTrendValues> &add(const RecordedRow &row, std::vector<ConstantMassEvent> &reached);

    // The current run's trends, or the last run's; nothing before the first.
    const RunTrends *trends() const { return trends_ ? &*trends_ : nullptr; }
    // The operator takes a row as the reference (see RunTrends::pickReference).
    int pickReference(const RecordedRow &row) { return trends_ ? trends_->pickReference(row) : 0; }
    // Every balance of the run has reached constant mass.
    bool allReached() const { return trends_ && trends_->allReached(); }

private:
    ConstantMassCriterion criterion_;
    RunSettings settings_;
    std::optional<RunTrends> trends_;
};
