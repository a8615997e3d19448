#include "balance_sim/weight_profile.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "balance_sim/random.h"

namespace pondus::sim {

namespace {

std::int32_t clampRaw(double raw)
{
    return static_cast<std::int32_t>(std::clamp(std::round(raw), double(kRawMin), double(kRawMax)));
}

}  // namespace

WeightProfile WeightProfile::shaped(Shape shape, const Reading& start, std::chrono::milliseconds period)
{
    if (period.count() <= 0) {
        throw std::invalid_argument("the period must be positive");
    }
    WeightProfile profile;
    profile.shape_ = shape;
    profile.start_ = start;
    profile.period_ = period;
    return profile;
}

WeightProfile WeightProfile::constant(const Reading& start)
{
    WeightProfile profile;
    profile.start_ = start;
    return profile;
}

WeightProfile WeightProfile::ramp(const Reading& start, double perSecond)
{
    WeightProfile profile = shaped(Shape::Ramp, start, std::chrono::milliseconds{1000});
    profile.slope_ = perSecond;
    return profile;
}

WeightProfile WeightProfile::steps(const Reading& start, std::int32_t step, std::chrono::milliseconds period)
{
    WeightProfile profile = shaped(Shape::Steps, start, period);
    profile.slope_ = step;
    return profile;
}

WeightProfile WeightProfile::noise(const Reading& start, std::int32_t amplitude, std::chrono::milliseconds period,
                                   std::uint64_t seed)
{
    WeightProfile profile = shaped(Shape::Noise, start, period);
    profile.slope_ = std::abs(double(amplitude));
    profile.seed_ = seed;
    return profile;
}

WeightProfile WeightProfile::approach(const Reading& start, std::int32_t target, std::chrono::milliseconds timeConstant,
                                     std::int32_t noise, std::chrono::milliseconds noisePeriod, std::uint64_t seed)
{
    if (timeConstant.count() <= 0) {
        throw std::invalid_argument("the time constant must be positive");
    }
    WeightProfile profile = shaped(Shape::Approach, start, noisePeriod);
    profile.target_ = target;
    profile.timeConstant_ = timeConstant;
    profile.slope_ = std::abs(double(noise));
    profile.seed_ = seed;
    return profile;
}

WeightProfile WeightProfile::loads(Loads loads)
{
    if (loads.values.empty()) {
        throw std::invalid_argument("a load cycle needs at least one load");
    }
    if (loads.hold.count() <= 0) {
        throw std::invalid_argument("each load must be held for a positive time");
    }
    if (loads.settle.count() < 0 || loads.settle > loads.hold) {
        throw std::invalid_argument("the settling time must lie between 0 and the hold time");
    }
    WeightProfile profile;
    profile.shape_ = Shape::Loads;
    profile.loads_ = std::move(loads);
    return profile;
}

Reading WeightProfile::at(std::chrono::nanoseconds sinceStart) const
{
    sinceStart = std::max(sinceStart, std::chrono::nanoseconds::zero());
    Reading reading = start_;
    switch (shape_) {
    case Shape::Constant:
        break;
    case Shape::Ramp:
        reading.raw = clampRaw(start_.raw + slope_ * std::chrono::duration<double>(sinceStart).count());
        break;
    case Shape::Steps:
        reading.raw = clampRaw(start_.raw + slope_ * double(sinceStart / period_));
        break;
    case Shape::Noise:
        reading.raw = clampRaw(start_.raw + noiseAt(sinceStart));
        break;
    case Shape::Approach: {
        const double decay = std::exp(-double(sinceStart.count()) / double(timeConstant_.count()));
        reading.raw = clampRaw(target_ + (start_.raw - target_) * decay + noiseAt(sinceStart));
        break;
    }
    case Shape::Loads:
        return cycleAt(sinceStart);
    }
    return reading;
}

double WeightProfile::noiseAt(std::chrono::nanoseconds sinceStart) const
{
    if (slope_ == 0) {
        return 0;
    }
    Random draw(seed_ ^ mix64(static_cast<std::uint64_t>(sinceStart / period_)));
    return std::round((draw.uniform() * 2.0 - 1.0) * slope_);
}

Reading WeightProfile::cycleAt(std::chrono::nanoseconds sinceStart) const
{
    const auto hold = std::chrono::duration_cast<std::chrono::nanoseconds>(loads_.hold);
    const auto settle = std::chrono::duration_cast<std::chrono::nanoseconds>(loads_.settle);
    const auto step = static_cast<std::size_t>(sinceStart / hold);
    const auto within = sinceStart % hold;
    const std::size_t n = loads_.values.size();
    const double target = loads_.values[step % n];

    if (step == 0 || within >= settle) {
        return Reading::fromValue(target, loads_.decimals, loads_.unit, true);
    }
    const double previous = loads_.values[(step - 1) % n];
    const double fraction = double(within.count()) / double(settle.count());
    return Reading::fromValue(previous + (target - previous) * fraction, loads_.decimals, loads_.unit, false);
}

}  // namespace pondus::sim
