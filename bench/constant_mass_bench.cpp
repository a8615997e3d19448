// Usage: constant_mass_bench
//
// How soon constant mass is told on the simulator's drying curves: for each
// curve, period and criterion, the moment the curve itself meets the
// criterion (worked out from its formula), the first row whose window of
// readings meets it (found by scanning the window again at every row, the
// slow way the trends avoid), and the row at which the trends say
// "постоянная масса". Target: told within one period of the row the
// readings first meet it. The readings are the curve rounded to the
// balance's last digit, which moves the moment they meet it from the
// curve's own by up to the time the curve's change takes to move by a
// digit: (digit / limit) · time constant; the told row is checked to lie
// within that and a period of the curve's moment.
#include "recording/RunTrends.h"

#include "balance_sim/weight_profile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <optional>

namespace {

using namespace std::chrono_literals;
namespace sim = pondus::sim;

struct Curve {
    const char *name;
    double startGrams;
    double targetGrams;
    std::chrono::minutes timeConstant;
    int decimals;
};

struct Reading {
    int64_t ms;
    double grams;
};

// The first row whose readings over the criterion's window, the window's
// whole length covered, change by no more than the limit: every reading
// from the newest one at or before the window's start on.
std::optional<int> firstRowMeeting(const std::deque<Reading> &readings, std::chrono::milliseconds window, double allowed)
{
    for (size_t k = 0; k < readings.size(); ++k) {
        const int64_t from = readings[k].ms - window.count();
        if (readings.front().ms > from)
            continue;
        size_t first = k;
        while (first > 0 && readings[first].ms > from)
            --first;
        double low = readings[k].grams, high = low;
        for (size_t n = first; n <= k; ++n)
            low = std::min(low, readings[n].grams), high = std::max(high, readings[n].grams);
        if (high - low <= allowed * (1 + 1e-12) + 1e-12)
            return int(k);
    }
    return std::nullopt;
}

} // namespace

int main()
{
    const Curve curves[] = {
        {"12,5 g towards 11,35 g, 40 min", 12.5, 11.35, 40min, 5},
        {"50 g towards 48 g, 90 min", 50, 48, 90min, 3},
        {"0,85 g towards 0,79 g, 20 min", 0.85, 0.79, 20min, 5},
    };
    const std::chrono::milliseconds periods[] = {60s, 10s, 1s};
    const char *const criteria[] = {"0,1%/60m", "0,01%/30m"};
    int late = 0;
    int off = 0;
    std::printf("%-32s %-10s %7s  %12s %10s %12s %12s  %-13s %s\n", "curve", "criterion", "period", "curve meets",
                "a digit", "rows meet", "told", "told - rows", "told - curve");
    for (const Curve &curve : curves) {
        const double scale = std::pow(10.0, curve.decimals);
        const sim::WeightProfile profile = sim::WeightProfile::approach(
            sim::Reading{int32_t(std::lround(curve.startGrams * scale)), curve.decimals, sim::Unit::Gram, true},
            int32_t(std::lround(curve.targetGrams * scale)), curve.timeConstant);
        for (const char *text : criteria) {
            const ConstantMassCriterion criterion = *parseConstantMassCriterion(QString::fromUtf8(text));
            const double allowed = *criterion.allowedChange(curve.startGrams, 0);
            // The curve's change over the window ending at t is
            // (start - target) e^(-t/T) (e^(W/T) - 1): it meets the limit at
            const double tau = std::chrono::duration<double>(curve.timeConstant).count();
            const double w = std::chrono::duration<double>(criterion.window).count();
            const double meetsSeconds =
                std::max(w, tau * std::log((curve.startGrams - curve.targetGrams) * std::expm1(w / tau) / allowed));
            for (const std::chrono::milliseconds period : periods) {
                RunTrends trends(criterion, {1});
                std::deque<Reading> readings;
                std::optional<int> told;
                const int rows = int((meetsSeconds + 3 * w) * 1000 / double(period.count()));
                for (int k = 0; k <= rows && !told; ++k) {
                    const sim::Reading reading = profile.at(k * period);
                    RecordedRow row;
                    row.utcMs = k * period.count();
                    row.readings.push_back({1, reading.raw, int32_t(std::lround(scale)), 200, 0, true, 0, 0});
                    readings.push_back({row.utcMs, reading.raw / scale});
                    if (trends.add(row)[0].reachedNow)
                        told = k;
                }
                const std::optional<int> meet = firstRowMeeting(readings, criterion.window, allowed);
                const double seconds = double(period.count()) / 1000;
                const double toldSeconds = told ? *told * seconds : NAN;
                const double digitSeconds = tau / scale / allowed;
                const int behindRows = told && meet ? *told - *meet : 1 << 30;
                if (behindRows < 0 || behindRows > 1)
                    ++late;
                if (!(std::abs(toldSeconds - meetsSeconds) <= seconds + digitSeconds))
                    ++off;
                std::printf("%-32s %-10s %6.1fs  %10.1f s %8.1f s %10.1f s %10.1f s  %+d periods    %+.1f s\n",
                            curve.name, text, seconds, meetsSeconds, digitSeconds, meet ? *meet * seconds : NAN,
                            toldSeconds, behindRows, toldSeconds - meetsSeconds);
            }
        }
    }
    std::printf("told within one period of the row the readings first meet the criterion: %s (target); "
                "within a period and a digit's time of the curve's moment: %s\n",
                late == 0 ? "every time" : "NOT every time", off == 0 ? "every time" : "NOT every time");
    return late == 0 && off == 0 ? 0 : 1;
}
