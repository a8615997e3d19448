// The run's chart thinned to the page: of all the readings that fall into
// one column of the drawn chart only the lowest and the highest are kept,
// in the order they came, so that a day of rows draws as fast as a minute
// and looks the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pondus::report {

struct ChartPoint {
    int64_t utcMs = 0;
    double value = 0;
};

class ChartLines {
public:
    ChartLines() = default;
    // Lines over [fromMs, toMs] drawn across the given number of columns.
    ChartLines(size_t lines, int64_t fromMs, int64_t toMs, int columns);

    void add(size_t line, int64_t utcMs, double value);
    // The kept points of a line, in time order.
    std::vector<ChartPoint> points(size_t line) const;
    size_t lineCount() const { return columns_.size(); }
    int64_t fromMs() const { return fromMs_; }
    int64_t toMs() const { return toMs_; }

private:
    struct Column {
        ChartPoint low, high;
        bool used = false;
    };
    std::vector<std::vector<Column>> columns_;
    int64_t fromMs_ = 0;
    int64_t toMs_ = 0;
};

} // namespace pondus::report
