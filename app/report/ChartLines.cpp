// Thinning the chart's lines column by column.
#include "report/ChartLines.h"

#include <algorithm>

namespace pondus::report {

ChartLines::ChartLines(size_t lines, int64_t fromMs, int64_t toMs, int columns)
    : columns_(lines, std::vector<Column>(size_t(std::max(columns, 1)))), fromMs_(fromMs), toMs_(std::max(toMs, fromMs))
{
}

void ChartLines::add(size_t line, int64_t utcMs, double value)
{
    if (line >= columns_.size())
        return;
    std::vector<Column> &columns = columns_[line];
    const int64_t span = std::max<int64_t>(toMs_ - fromMs_, 1);
    const int64_t at = std::clamp<int64_t>(utcMs - fromMs_, 0, span);
    Column &column = columns[std::min(size_t(at * int64_t(columns.size()) / span), columns.size() - 1)];
    const ChartPoint point{utcMs, value};
    if (!column.used) {
        column = {point, point, true};
        return;
    }
    if (value < column.low.value)
        column.low = point;
    if (value > column.high.value)
        column.high = point;
}

std::vector<ChartPoint> ChartLines::points(size_t line) const
{
    std::vector<ChartPoint> points;
    for (const Column &column : columns_.at(line)) {
        if (!column.used)
            continue;
        const bool lowFirst = column.low.utcMs <= column.high.utcMs;
        points.push_back(lowFirst ? column.low : column.high);
        if (column.low.utcMs != column.high.utcMs || column.low.value != column.high.value)
            points.push_back(lowFirst ? column.high : column.low);
    }
    return points;
}

} // namespace pondus::report
