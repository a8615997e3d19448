// The samples of a run, balance by balance: fed the recorded rows in order,
// it gives each row's mass changes, drifts and constant-mass marks, and says
// when every balance of the run has reached constant mass.
#pragma once

#include "recording/MassTrend.h"
#include "recording/RecordedRow.h"

#include <cstdint>
#include <optional>
#include <vector>

class RunTrends {
public:
    // `balances`: the run's positions in column order.
    RunTrends(const ConstantMassCriterion &criterion, std::vector<int32_t> balances);

    // The values of the row's readings, slot by slot in column order. A
    // balance of the run the row holds no reading of counts as missing.
    const std::vector<MassTrendValues> &add(const RecordedRow &row);

    // The operator takes an earlier row as every balance's reference (see
    // MassTrend::pickReference). The number of balances that took it.
    int pickReference(const RecordedRow &row);

    // Every balance of the run has reached constant mass at some row.
    bool allReached() const;

    const std::vector<int32_t> &balances() const { return balances_; }
    const MassTrend &trend(size_t slot) const { return trends_[slot]; }

    // A reading of a row as the trends take it; nothing for a divisor that
    // gives no number.
    static std::optional<TrendReading> trendReading(const BalanceReading &reading);

private:
    // The row's reading of the balance in `slot`, as the trends take it.
    std::optional<TrendReading> readingOf(const RecordedRow &row, size_t slot) const;

    std::vector<int32_t> balances_;
    std::vector<MassTrend> trends_;
    std::vector<MassTrendValues> values_;
};
