// Usage: trend_bench [hours], 36 unless given.
//
// What the samples' trends add to a poll step: ten balances drying, a row
// every 0,2 s, the constant-mass criterion over a day. The first day fills
// the windows; the hours after it measure each row's mass changes, drifts
// and criterion while the oldest readings leave the windows, and the
// memory the full windows hold.
#include "JournaledDay.h"
#include "ProcessUsage.h"
#include "recording/RunTrends.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Ten samples losing mass steadily, each at its own rate: the worst case for
// the spread's queues, one of which then holds every reading of the window.
RecordedRow dryingRowOf(int32_t n)
{
    RecordedRow row = benchRowOf(n);
    for (size_t slot = 0; slot < row.readings.size(); ++slot) {
        row.readings[slot].rawValue = 100000 * int32_t(slot + 1) - n / int32_t(slot + 2);
        row.readings[slot].stable = true;
    }
    return row;
}

} // namespace

int main(int argc, char **argv)
{
    const double hours = argc > 1 ? std::atof(argv[1]) : 36;
    const int rows = int(hours * 3600 * 5);
    const int dayRows = 24 * 3600 * 5;
    ConstantMassCriterion criterion = *parseConstantMassCriterion(QStringLiteral("0,1%/24h"));
    const long residentBefore = residentBytes();
    RunTrends trends(criterion, benchRunSettings().balances);
    std::vector<double> stepUs;
    stepUs.reserve(size_t(std::max(rows - dayRows, 0)));
    double checksum = 0;
    long residentFull = 0;
    for (int n = 1; n <= rows; ++n) {
        const RecordedRow row = dryingRowOf(n);
        const auto start = Clock::now();
        const std::vector<MassTrendValues> &values = trends.add(row);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        checksum += values[9].driftPerHour.value_or(0);
        if (n == dayRows)
            residentFull = residentBytes();
        if (n > dayRows)
            stepUs.push_back(us);
    }
    if (stepUs.empty()) {
        std::fprintf(stderr, "trend_bench: give more than 24 hours\n");
        return 2;
    }
    std::sort(stepUs.begin(), stepUs.end());
    std::printf("rows of ten balances, a day in each window, then %zu rows sliding (checksum %.3f)\n", stepUs.size(),
                checksum);
    std::printf("trends of one row: median %.2f us, 99th percentile %.2f us, worst %.1f us (target: median <= 100 us)\n",
                stepUs[stepUs.size() / 2], stepUs[stepUs.size() * 99 / 100], stepUs.back());
    std::printf("memory of ten full day-long windows: %.1f MB, %.1f bytes per balance and reading\n",
                double(residentFull - residentBefore) / 1e6,
                double(residentFull - residentBefore) / (10.0 * dayRows));
    return 0;
}
