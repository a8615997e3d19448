#include "dashboard/ChartDecimation.h"

#include <algorithm>
#include <array>

ChartDecimation::ChartDecimation(int64_t fromMs, int64_t toMs, int columns)
    : fromMs_(fromMs), spanMs_(std::max<int64_t>(toMs - fromMs + 1, 1)), columns_(std::max(columns, 1))
{
}

void ChartDecimation::add(size_t series, ChartPoint point)
{
    if (series >= open_.size()) {
        open_.resize(series + 1);
        kept_.resize(series + 1);
    }
    const int64_t index = std::clamp<int64_t>((point.utcMs - fromMs_) * columns_ / spanMs_, 0, columns_ - 1);
    Column &column = open_[series];
    if (column.index != index) {
        flush(series);
        column = {index, point, point, point, point};
        return;
    }
    if (point.value < column.low.value)
        column.low = point;
    if (point.value > column.high.value)
        column.high = point;
    column.last = point;
}

void ChartDecimation::flush(size_t series)
{
    Column &column = open_[series];
    if (column.index < 0)
        return;
    // The four in the order they came: low and high may fall either way.
    std::array<ChartPoint, 4> points{column.first, column.low, column.high, column.last};
    std::stable_sort(points.begin() + 1, points.begin() + 3,
                     [](const ChartPoint &a, const ChartPoint &b) { return a.utcMs < b.utcMs; });
    std::vector<ChartPoint> &kept = kept_[series];
    for (const ChartPoint &point : points)
        if (kept.empty() || kept.back().utcMs != point.utcMs || kept.back().value != point.value)
            kept.push_back(point);
    column.index = -1;
}

std::vector<std::vector<ChartPoint>> ChartDecimation::finish()
{
    for (size_t series = 0; series < open_.size(); ++series)
        flush(series);
    return std::move(kept_);
}
