// Thins a run's weights to what a chart of a given width can show: per
// pixel column and balance, the first, lowest, highest and last point, so
// that the drawn line looks exactly as with every point, spikes included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ChartPoint {
    int64_t utcMs = 0;
    double value = 0;
};

class ChartDecimation {
public:
    // Points are taken between fromMs and toMs (both included) on a chart
    // `columns` pixels wide.
    ChartDecimation(int64_t fromMs, int64_t toMs, int columns);

    // The next point of a series, in the order of the run.
    void add(size_t series, ChartPoint point);
    // Every series' kept points, in the order they were added.
    std::vector<std::vector<ChartPoint>> finish();

private:
    struct Column {
        int64_t index = -1;
        ChartPoint first, low, high, last;
    };
    void flush(size_t series);

    const int64_t fromMs_;
    const int64_t spanMs_;
    const int columns_;
    std::vector<Column> open_;
    std::vector<std::vector<ChartPoint>> kept_;
};
