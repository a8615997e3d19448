// What a simulated balance weighs over time.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "balance_sim/protocol.h"

namespace pondus::sim {

class WeightProfile {
public:
    // Loads put on the pan one after another, in a cycle. Each load stays for
    // `hold`; during the first `settle` of it the reading moves from the
    // previous load towards the new one and is reported unstable, afterwards
    // it is the load itself, stable. The very first load is on the pan from
    // the start, already settled.
    struct Loads {
        std::vector<double> values;
        int decimals = 2;
        Unit unit = Unit::Gram;
        std::chrono::milliseconds hold{4000};
        std::chrono::milliseconds settle{800};
    };

    // An empty pan: 0 g, stable.
    WeightProfile() = default;

    // The other shapes start from `start` and keep its unit, decimals and
    // stable flag; raw values are clamped to the signed 24-bit range.
    static WeightProfile constant(const Reading& start);
    // start.raw + perSecond scale divisions for every second.
    static WeightProfile ramp(const Reading& start, double perSecond);
    // start.raw + step divisions after every period.
    static WeightProfile steps(const Reading& start, std::int32_t step, std::chrono::milliseconds period);
    // start.raw plus a value drawn from -amplitude..amplitude, new every period.
    static WeightProfile noise(const Reading& start, std::int32_t amplitude, std::chrono::milliseconds period,
                               std::uint64_t seed);
    // A sample drying or taking up moisture: from start.raw towards `target`
    // divisions along target + (start - target) * exp(-t / timeConstant),
    // plus a value drawn from -noise..noise, new every noisePeriod.
    static WeightProfile approach(const Reading& start, std::int32_t target, std::chrono::milliseconds timeConstant,
                                  std::int32_t noise = 0, std::chrono::milliseconds noisePeriod = std::chrono::seconds{1},
                                  std::uint64_t seed = 1);
    // Throws std::invalid_argument for no values, a hold that is not positive,
    // or a settle that is negative or longer than the hold.
    static WeightProfile loads(Loads loads);

    // The reading at the given time since the line was started.
    Reading at(std::chrono::nanoseconds sinceStart) const;

private:
    enum class Shape : std::uint8_t { Constant, Ramp, Steps, Noise, Approach, Loads };

    Reading cycleAt(std::chrono::nanoseconds sinceStart) const;
    // -slope_..slope_ drawn afresh each period from the seed and the
    // period's index, so that any time maps to the same value whatever was
    // asked before.
    double noiseAt(std::chrono::nanoseconds sinceStart) const;
    static WeightProfile shaped(Shape shape, const Reading& start, std::chrono::milliseconds period);

    Shape shape_ = Shape::Constant;
    Reading start_{};
    double slope_ = 0;  // ramp: divisions per second; steps: divisions per step; noise, approach: noise amplitude
    double target_ = 0;  // approach: the asymptote in divisions
    std::chrono::nanoseconds timeConstant_{1};
    std::chrono::nanoseconds period_{1};
    std::uint64_t seed_ = 0;
    Loads loads_{};
};

}  // namespace pondus::sim
