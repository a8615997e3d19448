#include "balance_sim/weight_profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <stdexcept>

namespace pondus::sim {
namespace {

using std::chrono::milliseconds;

TEST(WeightProfile, DefaultIsAnEmptyStablePan)
{
    const Reading reading = WeightProfile{}.at(milliseconds{12345});
    EXPECT_EQ(reading.raw, 0);
    EXPECT_TRUE(reading.stable);
}

TEST(WeightProfile, ConstantNeverChanges)
{
    const Reading fixed{-1234, 3, Unit::Kilogram, false};
    const auto profile = WeightProfile::constant(fixed);
    EXPECT_EQ(profile.at(milliseconds{0}), fixed);
    EXPECT_EQ(profile.at(milliseconds{999999}), fixed);
}

WeightProfile threeLoads()
{
    return WeightProfile::loads({{10.0, 20.0, 40.0}, 1, Unit::Gram, milliseconds{1000}, milliseconds{200}});
}

TEST(WeightProfile, FirstLoadIsSettledFromTheStart)
{
    const Reading reading = threeLoads().at(milliseconds{0});
    EXPECT_EQ(reading.raw, 100);
    EXPECT_EQ(reading.decimals, 1);
    EXPECT_TRUE(reading.stable);
}

TEST(WeightProfile, NextLoadSettlesThenHolds)
{
    const auto profile = threeLoads();
    const Reading settling = profile.at(milliseconds{1100});
    EXPECT_FALSE(settling.stable);
    EXPECT_EQ(settling.raw, 150);  // halfway from 10 to 20

    const Reading held = profile.at(milliseconds{1200});
    EXPECT_TRUE(held.stable);
    EXPECT_EQ(held.raw, 200);
    EXPECT_EQ(profile.at(milliseconds{1999}), held);
}

TEST(WeightProfile, CyclesBackToTheFirstLoad)
{
    const auto profile = threeLoads();
    const Reading settling = profile.at(milliseconds{3100});
    EXPECT_FALSE(settling.stable);
    EXPECT_EQ(settling.raw, 250);  // halfway from 40 back to 10
    EXPECT_EQ(profile.at(milliseconds{3500}).raw, 100);
    EXPECT_EQ(profile.at(milliseconds{4500}).raw, 200);
}

TEST(WeightProfile, NoSettlingMeansEveryReadingIsStable)
{
    const auto profile =
        WeightProfile::loads({{1.0, 2.0}, 0, Unit::Gram, milliseconds{100}, milliseconds{0}});
    EXPECT_TRUE(profile.at(milliseconds{100}).stable);
    EXPECT_EQ(profile.at(milliseconds{100}).raw, 2);
}

TEST(WeightProfile, RampGrowsSteadilyAndStopsAtTheRangeEnd)
{
    const auto ramp = WeightProfile::ramp(Reading{100, 1, Unit::Gram, false}, -40.0);
    EXPECT_EQ(ramp.at(milliseconds{0}).raw, 100);
    EXPECT_EQ(ramp.at(milliseconds{500}).raw, 80);
    EXPECT_EQ(ramp.at(milliseconds{10000}).raw, -300);
    EXPECT_FALSE(ramp.at(milliseconds{500}).stable);
    EXPECT_EQ(ramp.at(milliseconds{500}).decimals, 1);
    EXPECT_EQ(WeightProfile::ramp(Reading{kRawMax - 1, 0, Unit::Gram, true}, 1000.0).at(milliseconds{5000}).raw,
              kRawMax);
}

TEST(WeightProfile, StepsComeEachPeriod)
{
    const auto steps = WeightProfile::steps(Reading{-5, 0, Unit::Gram, true}, 3, milliseconds{200});
    EXPECT_EQ(steps.at(milliseconds{199}).raw, -5);
    EXPECT_EQ(steps.at(milliseconds{200}).raw, -2);
    EXPECT_EQ(steps.at(milliseconds{1000}).raw, 10);
}

TEST(WeightProfile, NoiseStaysInItsBandAndRepeatsForTheSameSeed)
{
    const Reading centre{1000, 0, Unit::Gram, true};
    const auto noise = WeightProfile::noise(centre, 20, milliseconds{10}, 42);
    const auto same = WeightProfile::noise(centre, 20, milliseconds{10}, 42);
    const auto other = WeightProfile::noise(centre, 20, milliseconds{10}, 43);
    int differences = 0;
    std::set<std::int32_t> seen;
    for (int t = 0; t < 2000; t += 10) {
        const auto raw = noise.at(milliseconds{t}).raw;
        EXPECT_GE(raw, 980);
        EXPECT_LE(raw, 1020);
        EXPECT_EQ(raw, same.at(milliseconds{t}).raw);
        EXPECT_EQ(raw, noise.at(milliseconds{t + 5}).raw);  // held within its period
        differences += raw != other.at(milliseconds{t}).raw ? 1 : 0;
        seen.insert(raw);
    }
    EXPECT_GT(differences, 100);
    EXPECT_GT(seen.size(), 20u);
}

TEST(WeightProfile, ApproachFollowsItsExponentialBothWays)
{
    // raw = target + (start - target) * exp(-t / tau), tau = 2 s.
    struct Case {
        std::int32_t start, target;
        int ms;
        std::int32_t raw;
    };
    for (const Case& c : {Case{10000, 9000, 0, 10000}, Case{10000, 9000, 2000, 9368}, Case{10000, 9000, 10000, 9007},
                          Case{10000, 9000, 100000, 9000}, Case{500, 800, 2000, 690}, Case{500, 800, -5, 500}}) {
        const auto profile =
            WeightProfile::approach(Reading{c.start, 3, Unit::Milligram, true}, c.target, milliseconds{2000});
        const Reading reading = profile.at(milliseconds{c.ms});
        EXPECT_EQ(reading.raw, c.raw) << c.start << " -> " << c.target << " at " << c.ms;
        EXPECT_EQ(reading.unit, Unit::Milligram);
        EXPECT_TRUE(reading.stable);
    }
}

TEST(WeightProfile, ApproachNoiseStaysInItsBandAroundTheCurve)
{
    const Reading start{10000, 0, Unit::Gram, true};
    const auto clean = WeightProfile::approach(start, 9000, milliseconds{5000});
    const auto noisy = WeightProfile::approach(start, 9000, milliseconds{5000}, 3, milliseconds{100}, 9);
    std::set<std::int32_t> offsets;
    for (int t = 0; t < 20000; t += 100) {
        const auto offset = noisy.at(milliseconds{t}).raw - clean.at(milliseconds{t}).raw;
        EXPECT_LE(std::abs(offset), 4);  // the noise and one rounding
        offsets.insert(offset);
    }
    EXPECT_GE(offsets.size(), 5u);
}

TEST(WeightProfile, RejectsImpossibleCycles)
{
    using Loads = WeightProfile::Loads;
    EXPECT_THROW(WeightProfile::loads(Loads{{}, 2, Unit::Gram, milliseconds{100}, milliseconds{10}}),
                 std::invalid_argument);
    EXPECT_THROW(WeightProfile::loads(Loads{{1.0}, 2, Unit::Gram, milliseconds{0}, milliseconds{0}}),
                 std::invalid_argument);
    EXPECT_THROW(WeightProfile::loads(Loads{{1.0}, 2, Unit::Gram, milliseconds{100}, milliseconds{101}}),
                 std::invalid_argument);
    EXPECT_THROW(WeightProfile::loads(Loads{{1.0}, 2, Unit::Gram, milliseconds{100}, milliseconds{-1}}),
                 std::invalid_argument);
    EXPECT_THROW(WeightProfile::steps(Reading{}, 1, milliseconds{0}), std::invalid_argument);
    EXPECT_THROW(WeightProfile::noise(Reading{}, 1, milliseconds{-1}, 1), std::invalid_argument);
    EXPECT_THROW(WeightProfile::approach(Reading{}, 1, milliseconds{0}), std::invalid_argument);
    EXPECT_THROW(WeightProfile::approach(Reading{}, 1, milliseconds{1}, 1, milliseconds{0}), std::invalid_argument);
}

}  // namespace
}  // namespace pondus::sim
