// Matching a row's readings to the run's balances and keeping one trend each.
#include "recording/RunTrends.h"

#include <algorithm>

RunTrends::RunTrends(const ConstantMassCriterion &criterion, std::vector<int32_t> balances)
    : balances_(std::move(balances)), trends_(balances_.size(), MassTrend(criterion)), values_(balances_.size())
{
}

std::optional<TrendReading> RunTrends::readingOf(const RecordedRow &row, size_t slot) const
{
    // Rows hold the run's balances in column order; a shorter row is matched
    // by position.
    if (slot < row.readings.size() && row.readings[slot].balance == balances_[slot])
        return trendReading(row.readings[slot]);
    const auto found = std::ranges::find(row.readings, balances_[slot], &BalanceReading::balance);
    return found == row.readings.end() ? std::nullopt : trendReading(*found);
}

std::optional<TrendReading> RunTrends::trendReading(const BalanceReading &reading)
{
    if (reading.divisor <= 0)
        return std::nullopt;
    return TrendReading{double(reading.rawValue) / double(reading.divisor), reading.unitCode, reading.stable};
}

const std::vector<MassTrendValues> &RunTrends::add(const RecordedRow &row)
{
    for (size_t slot = 0; slot < trends_.size(); ++slot)
        values_[slot] = trends_[slot].add(row.utcMs, readingOf(row, slot));
    return values_;
}

int RunTrends::pickReference(const RecordedRow &row)
{
    int taken = 0;
    for (size_t slot = 0; slot < trends_.size(); ++slot) {
        const std::optional<TrendReading> value = readingOf(row, slot);
        if (value && trends_[slot].pickReference(*value))
            ++taken;
    }
    return taken;
}

bool RunTrends::allReached() const
{
    return !trends_.empty() &&
           std::all_of(trends_.begin(), trends_.end(), [](const MassTrend &trend) { return trend.reachedAtMs(); });
}
