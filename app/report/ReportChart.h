// The run's chart on the report's page: each balance's weight over the run's
// time, drawn with QPainter from the thinned lines.
#pragma once

#include <QRectF>

class QPainter;

namespace pondus::report {

struct RunReport;

// Axes, grid, lines and legend inside area.
void drawChart(QPainter &painter, const QRectF &area, const RunReport &report);

} // namespace pondus::report
