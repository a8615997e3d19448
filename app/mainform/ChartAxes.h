// Fits the chart's axes to the points its series hold.
#pragma once

#include <QLineSeries>
#include <QValueAxis>

#include <span>

void fitAxesToSeries(std::span<QLineSeries *const> series, QValueAxis &x, QValueAxis &y);
