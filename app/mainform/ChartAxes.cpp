#include "mainform/ChartAxes.h"

#include <QChart>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int wantedTicks = 5;
// Decimals enough for the smallest division a balance shows (0,000001 g is
// beyond any); labels never switch to an exponent.
constexpr int mostLabelDecimals = 7;

struct Span {
    double low;
    double high;
};

// A range on round numbers (1, 2 or 5 times a power of ten per tick) that
// holds [low, high]. Round bounds also change less often than the data, so
// most measurements leave the axes, and the series drawn on them, alone.
std::pair<Span, int> roundRange(double low, double high, double minStep)
{
    if (high - low < 1e-9) {
        const double pad = std::max(std::abs(high) * 0.05, 1.0);
        low -= pad;
        high += pad;
    }
    const double rough = (high - low) / (wantedTicks - 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    const double fraction = rough / magnitude;
    const double step =
        std::max(minStep, (fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10) * magnitude);
    const Span span{std::floor(low / step) * step, std::ceil(high / step) * step};
    return {span, int(std::lround((span.high - span.low) / step)) + 1};
}

void setAxis(QValueAxis &axis, double low, double high, double minStep)
{
    const auto [span, ticks] = roundRange(low, high, minStep);
    axis.setRange(span.low, span.high);
    axis.setTickCount(ticks);
    // As many decimals as the step between two ticks has.
    const double step = (span.high - span.low) / std::max(ticks - 1, 1);
    const int decimals = std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, mostLabelDecimals);
    axis.setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

} // namespace

void fitAxesToSeries(std::span<QLineSeries *const> series, QValueAxis &x, QValueAxis &y)
{
    // The operator's zoom stays until the operator zooms out.
    if (!series.empty() && series.front()->chart() && series.front()->chart()->isZoomed())
        return;
    double minX = std::numeric_limits<double>::infinity();
    double maxX = -minX;
    double minY = minX;
    double maxY = -minX;
    for (const QLineSeries *line : series) {
        for (const QPointF &point : line->points()) {
            minX = std::min(minX, point.x());
            maxX = std::max(maxX, point.x());
            minY = std::min(minY, point.y());
            maxY = std::max(maxY, point.y());
        }
    }
    if (minX > maxX)
        return;
    // Measurement numbers are whole, so are the ticks between them.
    setAxis(x, minX, maxX, 1);
    setAxis(y, minY, maxY, 0);
}

void showEmptyAxes(QValueAxis &x, QValueAxis &y)
{
    x.setLabelFormat(QStringLiteral("%.0f"));
    x.setRange(0, 4);
    x.setTickCount(5);
    y.setLabelFormat(QStringLiteral("%.1f"));
    y.setRange(0, 1);
    y.setTickCount(3);
}
