// The constant-mass criterion: how it is written, what limit it gives, and
// when it fires on the simulator's drying curves, noisy flat lines and
// unstable or missing readings.
#include "recording/ConstantMassCriterion.h"
#include "recording/DurationText.h"
#include "recording/RunTrends.h"

#include "balance_sim/weight_profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using namespace std::chrono_literals;
using Limit = ConstantMassCriterion::Limit;
namespace sim = pondus::sim;

TEST(ConstantMassCriterion, ReadsWhatAnOperatorWrites)
{
    struct Case {
        const char *text;
        Limit kind;
        double limit;
        int8_t unit;
        std::chrono::milliseconds window;
    };
    for (const Case &c : {Case{"0,1%/60m", Limit::PercentOfReference, 0.1, -1, 60min},
                          Case{"0,005g/30m", Limit::InUnit, 0.005, 0, 30min},
                          Case{" 2 mg / 90s ", Limit::InUnit, 2, 4, 90s},
                          Case{"0.5%/1,5h", Limit::PercentOfReference, 0.5, -1, 90min},
                          Case{"1ct/8h", Limit::InUnit, 1, 1, 8h}, Case{"3pc/120", Limit::InUnit, 3, 3, 2min}}) {
        const auto criterion = parseConstantMassCriterion(QString::fromUtf8(c.text));
        ASSERT_TRUE(criterion) << c.text;
        EXPECT_EQ(criterion->limitKind, c.kind) << c.text;
        EXPECT_DOUBLE_EQ(criterion->limit, c.limit) << c.text;
        EXPECT_EQ(criterion->unitIndex, c.unit) << c.text;
        EXPECT_EQ(criterion->window, c.window) << c.text;
        EXPECT_EQ(parseConstantMassCriterion(constantMassCriterionText(*criterion)), criterion) << c.text;
    }
    EXPECT_EQ(constantMassCriterionText(ConstantMassCriterion{}), QStringLiteral("0,1%/1h"));
    for (const char *text : {"", "0,1%", "%/60m", "0%/60m", "-1%/60m", "0,1lb/60m", "0,1%/60x", "0,1%/0m",
                             "0,1%/-5m", "1,2,3%/60m", "0,1 % g/60m", "0,1%/60m/2", "abc"})
        EXPECT_FALSE(parseConstantMassCriterion(QString::fromUtf8(text))) << text;
}

TEST(ConstantMassCriterion, WindowsAreWrittenAsForARunsDuration)
{
    EXPECT_EQ(parseDuration(QStringLiteral("1,5s")), 1500ms);
    EXPECT_EQ(durationText(1500ms), QStringLiteral("1,5s"));
    EXPECT_EQ(durationText(90s), QStringLiteral("90s"));
    EXPECT_EQ(durationText(180min), QStringLiteral("3h"));
    EXPECT_FALSE(parseDuration(QStringLiteral("0,0001s")));
    EXPECT_FALSE(parseDuration(QStringLiteral("300000h")));
}

TEST(ConstantMassCriterion, LimitInTheBalancesUnit)
{
    const auto criterion = [](const char *text) { return *parseConstantMassCriterion(QString::fromUtf8(text)); };
    struct Case {
        const char *criterion;
        double reference;
        std::optional<int8_t> unit;
        std::optional<double> allowed;
    };
    for (const Case &c : {Case{"0,1%/1h", 12.5, 0, 0.0125}, Case{"0,1%/1h", -850, 4, 0.85},
                          Case{"0,1%/1h", 0, 0, std::nullopt}, Case{"0,005g/1h", 850, 4, 5.0},
                          Case{"5mg/1h", 1, 5, 0.000005}, Case{"1ct/1h", 10, 0, 0.2},
                          Case{"0,005g/1h", 10, 3, std::nullopt}, Case{"0,005g/1h", 10, std::nullopt, std::nullopt},
                          Case{"2pc/1h", 100, 3, 2.0}, Case{"2pc/1h", 100, 0, std::nullopt}}) {
        const std::optional<double> allowed = criterion(c.criterion).allowedChange(c.reference, c.unit);
        ASSERT_EQ(allowed.has_value(), c.allowed.has_value()) << c.criterion << ' ' << c.reference;
        EXPECT_NEAR(allowed.value_or(0), c.allowed.value_or(0), 1e-12) << c.criterion << ' ' << c.reference;
    }
}

// A balance read every `period` for `hours` from a simulated weight profile;
// `cell` may turn a reading unstable (false) or take it away (nothing).
struct Run {
    sim::WeightProfile weight;
    std::chrono::milliseconds period = 60s;
    double hours = 8;
    std::function<std::optional<bool>(int row)> cell = [](int) { return true; };
};

constexpr int64_t startMs = 1'796'780'751'123;

BalanceReading readingAt(const sim::WeightProfile &weight, std::chrono::milliseconds since, bool stable)
{
    const sim::Reading reading = weight.at(since);
    const auto divisor = static_cast<int32_t>(std::lround(std::pow(10.0, reading.decimals)));
    return {1, reading.raw, divisor, 200 + int32_t(reading.unit), -1, stable, 0, 0};
}

// The row at which the balance first meets the criterion, -1 for never.
int firstConstantRow(const char *criterion, const Run &run)
{
    RunTrends trends(*parseConstantMassCriterion(QString::fromUtf8(criterion)), {1});
    for (int k = 0; k * run.period.count() <= run.hours * 3'600'000; ++k) {
        RecordedRow row;
        row.utcMs = startMs + k * run.period.count();
        if (const std::optional<bool> stable = run.cell(k))
            row.readings.push_back(readingAt(run.weight, k * run.period, *stable));
        const MassTrendValues values = trends.add(row)[0];
        if (values.reachedNow)
            return k;
        EXPECT_FALSE(values.constant) << "constant at row " << k << " before it was reached";
    }
    return -1;
}

// 12,5 g drying towards 11,35 g with a time constant of 40 min, read to
// 0,01 mg: over the 60 min before time t it loses 1,15 g · e^(-t/40)
// (e^1,5 - 1), which is 0,0125 g (0,1 % of 12,5 g) at 230,77 min.
const sim::WeightProfile drying =
    sim::WeightProfile::approach(sim::Reading{1'250'000, 5, sim::Unit::Gram, true}, 1'135'000, 40min);
constexpr int dryingRow = 231;

TEST(ConstantMass, FiresOnADryingCurveWithinOnePeriod)
{
    EXPECT_NEAR(firstConstantRow("0,1%/60m", {drying}), dryingRow, 1);
    // In grams: 0,0125 g over the last hour is the same moment.
    EXPECT_NEAR(firstConstantRow("0,0125g/60m", {drying}), dryingRow, 1);
    EXPECT_NEAR(firstConstantRow("12,5mg/60m", {drying}), dryingRow, 1);
    // Read every 5 s, within 5 s of the moment (the readings' last digit
    // alone moves it by about 2 s).
    const int fastRow = firstConstantRow("0,1%/60m", {drying, 5s, 4.5});
    EXPECT_NEAR(fastRow * 5, 230.77224 * 60, 5);
}

TEST(ConstantMass, UnstableOrMissingReadingsNeverMakeABalanceConstant)
{
    EXPECT_EQ(firstConstantRow("0,1%/60m", {drying, 60s, 8, [](int) { return false; }}), -1);
    // Unstable from two rows before the moment to two after, or missing:
    // the first stable reading after them fires.
    EXPECT_EQ(firstConstantRow("0,1%/60m", {drying, 60s, 8,
                                            [](int k) { return std::abs(k - dryingRow) > 2; }}),
              dryingRow + 3);
    EXPECT_EQ(firstConstantRow("0,1%/60m", {drying, 60s, 8,
                                            [](int k) {
                                                return std::abs(k - dryingRow) > 2 ? std::optional(true)
                                                                                   : std::nullopt;
                                            }}),
              dryingRow + 3);
}

TEST(ConstantMass, ANoisyFlatLineFiresOnlyWhenItsNoiseStaysWithinTheLimit)
{
    // 50 g: 0,1 % is 50 mg. Noise of ±50 mg, drawn every 30 s, spreads more
    // than that within any hour; noise of ±20 mg never does, and then the
    // balance is judged as soon as the run is one window long.
    const sim::Reading flat{50'000, 3, sim::Unit::Gram, true};
    EXPECT_EQ(firstConstantRow("0,1%/60m", {sim::WeightProfile::noise(flat, 50, 30s, 7), 30s, 24}), -1);
    EXPECT_EQ(firstConstantRow("0,1%/60m", {sim::WeightProfile::noise(flat, 20, 30s, 7), 30s, 24}), 120);
    EXPECT_EQ(firstConstantRow("0,05g/20m", {sim::WeightProfile::noise(flat, 30, 10s, 3), 10s, 24}), -1);
}

TEST(ConstantMass, AUnitChangeStartsTheBalanceAfresh)
{
    ConstantMassCriterion criterion = *parseConstantMassCriterion(QStringLiteral("0,1%/60m"));
    RunTrends trends(criterion, {1, 2});
    auto rowAt = [](int minute, int32_t unitCode, int32_t raw) {
        RecordedRow row;
        row.utcMs = startMs + minute * 60'000;
        row.readings = {{1, raw, 1000, unitCode, -1, true, 0, 0}, {2, 800'000 - 1000 * minute, 1000, 200, -1, true, 0, 0}};
        return row;
    };
    std::optional<int> reached, lost, reachedAgain;
    for (int minute = 0; minute <= 200; ++minute) {
        const bool milligrams = minute >= 90;
        const MassTrendValues values = trends.add(rowAt(minute, milligrams ? 204 : 200,
                                                        milligrams ? 12'000'000 : 12'000))[0];
        if (values.reachedNow)
            (reached ? reachedAgain : reached) = minute;
        if (reached && !lost && !trends.trend(0).reachedAtMs())
            lost = minute;
        EXPECT_FALSE(trends.allReached()) << minute; // balance 2 keeps losing 1 g a minute
    }
    EXPECT_EQ(reached, 60);
    EXPECT_EQ(lost, 90);
    EXPECT_EQ(reachedAgain, 150);
    EXPECT_EQ(*trends.trend(0).reachedAtMs(), startMs + 150 * 60'000);
}

} // namespace
