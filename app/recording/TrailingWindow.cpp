// Exact running sums for the slope; monotonic queues for the spread.
#include "recording/TrailingWindow.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double unitsPerValue = 1e6;
constexpr double msPerHour = 3'600'000.0;

} // namespace

TrailingWindow::TrailingWindow(std::chrono::milliseconds span) : span_(std::max<int64_t>(span.count(), 0)) {}

void TrailingWindow::clear()
{
    points_.clear();
    highs_.clear();
    lows_.clear();
    firstIndex_ = 0;
    sumT_ = sumV_ = sumTT_ = sumTV_ = 0;
}

void TrailingWindow::add(int64_t utcMs, double value)
{
    // Times are kept from the first reading on, so the sums stay small and
    // the least squares need no large timestamps cancelled against each other.
    if (points_.empty())
        origin_ = utcMs;
    const int64_t t = std::max(utcMs - origin_, points_.empty() ? int64_t(0) : points_.back().t);
    const Point point{t, std::llround(value * unitsPerValue)};
    const uint64_t index = firstIndex_ + points_.size();
    points_.push_back(point);
    sumT_ += point.t;
    sumV_ += point.v;
    sumTT_ += Wide(point.t) * point.t;
    sumTV_ += Wide(point.t) * point.v;
    while (!highs_.empty() && at(highs_.back()).v <= point.v)
        highs_.pop_back();
    highs_.push_back(index);
    while (!lows_.empty() && at(lows_.back()).v >= point.v)
        lows_.pop_back();
    lows_.push_back(index);
    while (points_.size() >= 2 && points_[1].t <= t - span_)
        dropFront();
}

void TrailingWindow::dropFront()
{
    const Point &point = points_.front();
    sumT_ -= point.t;
    sumV_ -= point.v;
    sumTT_ -= Wide(point.t) * point.t;
    sumTV_ -= Wide(point.t) * point.v;
    if (highs_.front() == firstIndex_)
        highs_.pop_front();
    if (lows_.front() == firstIndex_)
        lows_.pop_front();
    points_.pop_front();
    ++firstIndex_;
}

bool TrailingWindow::full() const
{
    return !points_.empty() && points_.back().t - points_.front().t >= span_;
}

std::optional<double> TrailingWindow::slopePerHour() const
{
    const Wide n = Wide(points_.size());
    const Wide spreadOfTimes = n * sumTT_ - sumT_ * sumT_;
    if (n < 2 || spreadOfTimes == 0)
        return std::nullopt;
    const Wide covariance = n * sumTV_ - sumT_ * sumV_;
    return double(static_cast<long double>(covariance) / static_cast<long double>(spreadOfTimes)) * msPerHour /
           unitsPerValue;
}

double TrailingWindow::spread() const
{
    if (points_.empty())
        return 0;
    return double(at(highs_.front()).v - at(lows_.front()).v) / unitsPerValue;
}
