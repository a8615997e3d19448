// Mass change and drift of a run's balances against values worked out by
// hand: a first reading that is unstable, a balance missing from a row, a
// unit changed mid-run and a reference the operator picks.
#include "recording/RunTrends.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr int64_t startMs = 1'796'780'751'123;
constexpr int64_t tenMinutes = 600'000;
constexpr int32_t grams = 200, milligrams = 204;

struct Cell {
    int32_t raw;
    int32_t divisor;
    int32_t unitCode;
    bool stable;
};
const std::optional<Cell> missing;

RecordedRow row(int k, std::optional<Cell> first, std::optional<Cell> second)
{
    RecordedRow recorded;
    recorded.number = k + 1;
    recorded.utcMs = startMs + k * tenMinutes;
    for (const auto &[balance, cell] : {std::pair{1, first}, std::pair{2, second}})
        if (cell)
            recorded.readings.push_back({balance, cell->raw, cell->divisor, cell->unitCode, -1, cell->stable, 0, 0});
    return recorded;
}

// Expected values of one balance at one row; NaN for "empty".
struct Expect {
    double change, percent, drift, driftPercent;
};
constexpr double none = std::numeric_limits<double>::quiet_NaN();

void expectValues(const MassTrendValues &values, Expect e, const char *where)
{
    auto check = [&](const std::optional<double> &got, double want, const char *what) {
        if (std::isnan(want))
            EXPECT_FALSE(got) << where << ' ' << what << " = " << got.value_or(0);
        else if (!got)
            ADD_FAILURE() << where << ' ' << what << " is empty, not " << want;
        else
            EXPECT_NEAR(*got, want, 1e-9) << where << ' ' << what;
    };
    check(values.change, e.change, "change");
    check(values.changePercent, e.percent, "change %");
    check(values.driftPerHour, e.drift, "drift");
    check(values.driftPercentPerHour, e.driftPercent, "drift %");
}

TEST(RunTrends, ChangeAndDriftWorkedOutByHand)
{
    RunTrends trends(ConstantMassCriterion{}, {1, 2});
    struct Step {
        RecordedRow row;
        Expect first, second;
        const char *where;
    };
    const Step steps[] = {
        // Balance 1 settles first: its reference is its first stable reading.
        {row(0, Cell{10000, 1000, grams, false}, Cell{5000, 1000, grams, true}), {none, none, none, none},
         {0, 0, none, none}, "row 1"},
        // Balance 2: 10 mg in 10 min, -0,06 g/h, -1,2 %/h of 5 g.
        {row(1, Cell{10000, 1000, grams, true}, Cell{4990, 1000, grams, true}), {0, 0, none, none},
         {-0.01, -0.2, -0.06, -1.2}, "row 2"},
        // Balance 2 missing: nothing to compare, its drift stays.
        {row(2, Cell{9900, 1000, grams, true}, missing), {-0.1, -1, -0.6, -6}, {none, none, -0.06, -1.2}, "row 3"},
        // An unstable reading has its change but stays out of the drift;
        // balance 2 now weighs in mg: its first stable reading in mg is the
        // new reference, and its window starts afresh.
        {row(3, Cell{9800, 1000, grams, false}, Cell{49800, 10, milligrams, true}), {-0.2, -2, -0.6, -6},
         {0, 0, none, none}, "row 4"},
        // Balance 1 at 10 min 10, 20 min 9,9, 40 min 9,75: a least-squares
        // slope of -3,45/7 g/h.
        {row(4, Cell{9750, 1000, grams, true}, Cell{49700, 10, milligrams, true}),
         {-0.25, -2.5, -3.45 / 7, -34.5 / 7}, {-10, -10.0 / 49.8, -60, -6000.0 / 4980}, "row 5"},
    };
    for (const Step &step : steps) {
        const std::vector<MassTrendValues> &values = trends.add(step.row);
        ASSERT_EQ(values.size(), 2u);
        expectValues(values[0], step.first, step.where);
        expectValues(values[1], step.second, step.where);
    }

    // The operator takes row 3 as the reference: balance 1 read 9,9 g there,
    // balance 2 nothing, so it keeps its own. Row 2 in grams is not taken
    // by the balance now weighing in mg.
    EXPECT_EQ(trends.pickReference(steps[2].row), 1);
    EXPECT_EQ(trends.pickReference(steps[1].row), 1);
    EXPECT_EQ(trends.pickReference(steps[2].row), 1);
    const std::vector<MassTrendValues> &values =
        trends.add(row(5, Cell{9702, 1000, grams, true}, Cell{49650, 10, milligrams, true}));
    EXPECT_NEAR(*values[0].change, -0.198, 1e-9);
    EXPECT_NEAR(*values[0].changePercent, -2.0, 1e-9);
    EXPECT_NEAR(*values[1].change, -15, 1e-9);
    EXPECT_NEAR(*trends.trend(0).changeOf({9.9, grams, false}).change, 0, 1e-12);
    EXPECT_FALSE(trends.trend(1).changeOf({9.9, grams, true}).change);
}

TEST(RunTrends, APickedReferenceCountsFromThenOnAndWaitsForItsUnit)
{
    // One balance: 20 g, 19 g, then the operator's pick, then rows in order.
    struct Step {
        std::optional<Cell> picked; // the row the operator takes before this one
        bool taken;
        Cell reading;
        double change, percent; // NaN for empty
        bool windowRestarted;   // the drift has a single reading to go on
    };
    const Step steps[] = {
        {std::nullopt, false, {19000, 1000, grams, true}, -1, -5, false},
        // 19,5 g unstable is refused; 18 g taken: 17,1 g is -0,9 g, -5 %.
        {Cell{19500, 1000, grams, false}, false, {17100, 1000, grams, true}, -2.9, -14.5, false},
        {Cell{18000, 1000, grams, true}, true, {17100, 1000, grams, true}, -0.9, -5, false},
        // In mg the first stable reading starts afresh ...
        {std::nullopt, false, {170000, 10, milligrams, true}, 0, 0, true},
        // ... a pick in grams waits for the grams ...
        {Cell{16000, 1000, grams, true}, false, {169000, 10, milligrams, true}, -100, -10000.0 / 17000, false},
        // ... and counts again once the balance weighs in grams.
        {std::nullopt, false, {16800, 1000, grams, true}, 0.8, 5, true},
    };
    RunTrends trends(ConstantMassCriterion{}, {1});
    trends.add(row(0, Cell{20000, 1000, grams, true}, missing));
    int k = 1;
    for (const Step &step : steps) {
        if (step.picked) {
            EXPECT_EQ(trends.pickReference(row(k, step.picked, missing)), step.taken ? 1 : 0) << k;
        }
        const MassTrendValues values = trends.add(row(k, step.reading, missing))[0];
        const std::string where = "row " + std::to_string(k);
        expectValues(values, {step.change, step.percent, values.driftPerHour.value_or(none),
                              values.driftPercentPerHour.value_or(none)},
                     where.c_str());
        EXPECT_EQ(!values.driftPerHour, step.windowRestarted) << where;
        ++k;
    }
}

TEST(RunTrends, ZeroReferenceAndDivisorGiveNoPercentages)
{
    RunTrends trends(ConstantMassCriterion{}, {3});
    RecordedRow tare = row(0, Cell{0, 100, grams, true}, missing);
    tare.readings[0].balance = 3;
    trends.add(tare);
    RecordedRow loaded = row(1, Cell{250, 100, grams, true}, missing);
    loaded.readings[0].balance = 3;
    const MassTrendValues values = trends.add(loaded)[0];
    EXPECT_NEAR(*values.change, 2.5, 1e-12);
    EXPECT_FALSE(values.changePercent);
    EXPECT_NEAR(*values.driftPerHour, 15, 1e-9);
    EXPECT_FALSE(values.driftPercentPerHour);
    loaded.readings[0].divisor = 0;
    EXPECT_FALSE(trends.add(loaded)[0].change);
}

} // namespace
