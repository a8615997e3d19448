// The reference, change, drift and constant-mass rule of one balance.
#include "recording/MassTrend.h"

#include "recording/CodeNames.h"

#include <cmath>

namespace {

// The window's values are exact millionths; a limit such as 0,1 % of
// 12,5 g is not exact in binary and may fall a rounding error short of a
// spread that equals it.
bool withinLimit(double spread, double allowed)
{
    return spread <= allowed * (1 + 1e-12) + 1e-12;
}

} // namespace

MassTrend::MassTrend(const ConstantMassCriterion &criterion) : criterion_(criterion), window_(criterion.window) {}

MassTrendValues MassTrend::add(int64_t utcMs, const std::optional<TrendReading> &reading)
{
    const bool stable = reading && reading->stable && std::isfinite(reading->value);
    if (stable) {
        if (!reference_ || reference_->unitCode != reading->unitCode) {
            reference_ = picked_ && picked_->unitCode == reading->unitCode ? *picked_ : *reading;
            window_.clear();
            reachedAtMs_.reset();
        }
        window_.add(utcMs, reading->value);
    }
    MassTrendValues values = reading ? changeOf(*reading) : MassTrendValues{};
    if (!reference_)
        return values;
    values.driftPerHour = window_.slopePerHour();
    values.driftPercentPerHour = percentOfReference(values.driftPerHour);
    if (stable && window_.full()) {
        const std::optional<double> allowed = criterion_.allowedChange(reference_->value, unitIndex(reference_->unitCode));
        values.constant = allowed && withinLimit(window_.spread(), *allowed);
    }
    if (values.constant && !reachedAtMs_) {
        reachedAtMs_ = utcMs;
        values.reachedNow = true;
    }
    return values;
}

bool MassTrend::pickReference(const TrendReading &reading)
{
    if (!reading.stable || !std::isfinite(reading.value))
        return false;
    picked_ = reading;
    if (reference_ && reference_->unitCode != reading.unitCode)
        return false;
    reference_ = reading;
    return true;
}

MassTrendValues MassTrend::changeOf(const TrendReading &reading) const
{
    MassTrendValues values;
    if (reference_ && reading.unitCode == reference_->unitCode && std::isfinite(reading.value)) {
        values.change = reading.value - reference_->value;
        values.changePercent = percentOfReference(values.change);
    }
    return values;
}

std::optional<double> MassTrend::percentOfReference(std::optional<double> value) const
{
    if (!value || !reference_ || reference_->value == 0)
        return std::nullopt;
    return *value / reference_->value * 100.0;
}
