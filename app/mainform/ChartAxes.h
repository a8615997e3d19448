// The chart's axes: fitted to the points its series hold, unless the
// operator has zoomed in, and back to their first ranges when it empties.
#pragma once

#include <QLineSeries>
#include <QValueAxis>

#include <span>

// Fits the axes on round numbers around every point, with labels that need
// no exponent. Leaves them alone while the chart is zoomed.
void fitAxesToSeries(std::span<QLineSeries *const> series, QValueAxis &x, QValueAxis &y);
// The ranges of the empty chart: measurements 0 to 4, weights 0 to 1.
void showEmptyAxes(QValueAxis &x, QValueAxis &y);
