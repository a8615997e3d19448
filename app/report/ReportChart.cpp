// Drawing the chart: a value axis over every balance's range, a time axis in
// the run's local clock, a line per balance in its colour, and the legend.
#include "report/ReportChart.h"

#include "recording/BalanceColours.h"
#include "recording/BalanceTexts.h"
#include "report/ReportTexts.h"
#include "report/RunReport.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace pondus::report {

namespace {

constexpr int gridLines = 5;

QColor colourOf(int32_t balance)
{
    const uint32_t rgb = balanceColours[size_t(std::max(balance - 1, 0)) % balanceColours.size()];
    return QColor::fromRgb(QRgb(rgb));
}

// The places the axis labels need to tell their steps apart.
int labelPlaces(double step)
{
    return step <= 0 ? 0 : std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

// A step of 1, 2 or 5 times a power of ten that covers span in at most
// gridLines steps.
double roundStep(double span)
{
    const double raw = span / gridLines;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (factor * power >= raw * (1 - 1e-9))
            return factor * power;
    return 10 * power;
}

} // namespace

void drawChart(QPainter &painter, const QRectF &area, const RunReport &report)
{
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (const BalanceFigures &figures : report.balances)
        if (figures.count > 0) {
            low = std::min(low, figures.min);
            high = std::max(high, figures.max);
        }
    if (low > high)
        low = high = 0;
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    const double step = roundStep(high - low);
    low = std::floor(low / step + 1e-9) * step;
    high = std::max(std::ceil(high / step - 1e-9) * step, low + step);
    const int steps = int(std::lround((high - low) / step));
    const QFontMetricsF metrics(painter.font());
    const double lineHeight = metrics.height();
    const int places = labelPlaces(step);
    double labelWidth = 0;
    for (int k = 0; k <= steps; ++k)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(decimal(low + k * step, places)));
    const double legendRows = std::ceil(double(report.balances.size()) / 2.0);
    const QRectF plot(area.left() + labelWidth + lineHeight * 0.5, area.top() + lineHeight * 0.5,
                      area.width() - labelWidth - lineHeight, area.height() - lineHeight * (2.5 + legendRows));

    painter.save();
    painter.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 1));
    for (int k = 0; k <= std::max(steps, gridLines); ++k) {
        if (k <= steps) {
            const double y = plot.bottom() - plot.height() * k / steps;
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        if (k <= gridLines) {
            const double x = plot.left() + plot.width() * k / gridLines;
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        }
    }
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    const int64_t fromMs = report.chart.fromMs();
    const int64_t spanMs = std::max<int64_t>(report.chart.toMs() - fromMs, 1);
    for (int k = 0; k <= steps; ++k) {
        const double y = plot.bottom() - plot.height() * k / steps;
        painter.drawText(QRectF(area.left(), y - lineHeight / 2, labelWidth, lineHeight), Qt::AlignRight,
                         decimal(low + k * step, places));
    }
    for (int k = 0; k <= gridLines; ++k) {
        const QString time = localTime(fromMs + spanMs * k / gridLines, report.utcOffsetSeconds).mid(11);
        const double x = plot.left() + plot.width() * k / gridLines;
        const double width = metrics.horizontalAdvance(time);
        const double left = std::clamp(x - width / 2, plot.left(), plot.right() - width);
        painter.drawText(QPointF(left, plot.bottom() + lineHeight), time);
    }

    painter.setClipRect(plot);
    for (size_t line = 0; line < report.chart.lineCount() && line < report.balances.size(); ++line) {
        QPolygonF polyline;
        for (const ChartPoint &point : report.chart.points(line))
            polyline << QPointF(plot.left() + plot.width() * double(point.utcMs - fromMs) / double(spanMs),
                                plot.bottom() - plot.height() * (point.value - low) / (high - low));
        painter.setPen(QPen(colourOf(report.balances[line].balance), lineHeight / 8));
        painter.drawPolyline(polyline);
    }
    painter.setClipping(false);
    painter.setPen(Qt::black);

    const double legendTop = plot.bottom() + lineHeight * 1.5;
    for (size_t line = 0; line < report.balances.size(); ++line) {
        const BalanceFigures &figures = report.balances[line];
        const double x = area.left() + (line % 2 == 0 ? 0 : area.width() / 2);
        const double y = legendTop + lineHeight * double(line / 2);
        painter.fillRect(QRectF(x, y + lineHeight * 0.35, lineHeight * 1.5, lineHeight * 0.3), colourOf(figures.balance));
        QString name = balanceCaption(figures.balance);
        if (const std::string &sample = report.settings.sampleAt(figures.balance); !sample.empty())
            name += QStringLiteral(" — ") + QString::fromStdString(sample);
        if (figures.unit >= 0)
            name += QStringLiteral(", ") + unitTextOf(figures.unit);
        painter.drawText(QPointF(x + lineHeight * 2, y + lineHeight * 0.8), name);
    }
    painter.restore();
}

} // namespace pondus::report
