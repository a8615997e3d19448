// The trailing window's slope and spread against a plain recomputation, and
// its exactness over a day of readings with real timestamps.
#include "recording/TrailingWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using std::chrono::milliseconds;

constexpr int64_t someDay = 1'796'780'751'123; // ms since 1970, December 2026

struct Point {
    int64_t t;
    double v;
};

TEST(TrailingWindow, HandComputedSlopeAndSpread)
{
    // Hours 0, 1, 2 at 10; 9; 8,5: mean hour 1, mean value 9,1667; the
    // products sum to -1,5 over squares of 2, a slope of -0,75 per hour.
    TrailingWindow window(milliseconds(3 * 3'600'000));
    EXPECT_FALSE(window.slopePerHour());
    for (const Point p : {Point{0, 10.0}, Point{3'600'000, 9.0}, Point{7'200'000, 8.5}})
        window.add(someDay + p.t, p.v);
    ASSERT_TRUE(window.slopePerHour());
    EXPECT_NEAR(*window.slopePerHour(), -0.75, 1e-12);
    EXPECT_DOUBLE_EQ(window.spread(), 1.5);
    EXPECT_FALSE(window.full());
    window.add(someDay + 10'800'000, 8.5);
    EXPECT_TRUE(window.full());
    // Two readings at one time give no slope; a clock set back counts as now.
    TrailingWindow still(milliseconds(1000));
    still.add(someDay, 1.0);
    still.add(someDay - 5000, 2.0);
    EXPECT_FALSE(still.slopePerHour());
    EXPECT_DOUBLE_EQ(still.spread(), 1.0);
}

TEST(TrailingWindow, KeepsTheNewestReadingBeforeItsStartAsItsStart)
{
    TrailingWindow window(milliseconds(60'000));
    struct Step {
        int64_t t;
        double v;
        size_t size;
        bool full;
        double spread;
    };
    for (const Step &s : {Step{0, 5, 1, false, 0}, Step{30'000, 4, 2, false, 1}, Step{59'999, 3, 3, false, 2},
                          Step{60'000, 3, 4, true, 2}, Step{90'000, 3, 4, true, 1}, Step{150'000, 3, 2, true, 0}})
        {
        window.add(someDay + s.t, s.v);
        EXPECT_EQ(window.size(), s.size) << s.t;
        EXPECT_EQ(window.full(), s.full) << s.t;
        EXPECT_DOUBLE_EQ(window.spread(), s.spread) << s.t;
    }
}

TEST(TrailingWindow, AgreesWithARecomputationAsReadingsComeAndGo)
{
    std::mt19937_64 random(21);
    std::uniform_int_distribution<int> step(1, 4000);
    std::uniform_int_distribution<int> micrograms(-50'000, 50'000);
    TrailingWindow window(milliseconds(20'000));
    std::vector<Point> all;
    int64_t t = someDay;
    for (int i = 0; i < 3000; ++i) {
        t += step(random);
        const double v = 850.0 + micrograms(random) / 1e6;
        window.add(t, v);
        all.push_back({t, v});
        // What the window should hold: from the newest reading at least 20 s
        // old on.
        auto first = all.begin();
        while (first + 1 != all.end() && (first + 1)->t <= t - 20'000)
            ++first;
        const std::vector<Point> kept(first, all.end());
        ASSERT_EQ(window.size(), kept.size());
        const auto [low, high] =
            std::minmax_element(kept.begin(), kept.end(), [](Point a, Point b) { return a.v < b.v; });
        ASSERT_NEAR(window.spread(), high->v - low->v, 1e-9);
        if (kept.size() < 2)
            continue;
        double meanT = 0, meanV = 0;
        for (const Point p : kept) {
            meanT += double(p.t - someDay) / kept.size();
            meanV += p.v / kept.size();
        }
        double products = 0, squares = 0;
        for (const Point p : kept) {
            products += (double(p.t - someDay) - meanT) * (p.v - meanV);
            squares += (double(p.t - someDay) - meanT) * (double(p.t - someDay) - meanT);
        }
        ASSERT_NEAR(*window.slopePerHour(), products / squares * 3'600'000, 1e-6) << i;
    }
}

TEST(TrailingWindow, StaysExactOverTwoDaysOfReadingsInADayLongWindow)
{
    // 12,5 g losing 0,36 g an hour, a reading every 0,2 s: exactly 20 µg a
    // reading. After a day the oldest readings leave one by one; sums that
    // drifted with each removal would show here.
    TrailingWindow window(milliseconds(86'400'000));
    for (int64_t k = 0; k <= 864'000; ++k)
        window.add(someDay + 200 * k, 12.5 - 0.00002 * double(k));
    EXPECT_EQ(window.size(), 432'001u);
    EXPECT_NEAR(*window.slopePerHour(), -0.36, 1e-12);
    EXPECT_NEAR(window.spread(), 8.64, 1e-9);
}

} // namespace
