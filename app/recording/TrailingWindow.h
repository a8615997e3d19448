// The stable readings of one balance over a trailing window of time, with
// what is asked of them at every row: their least-squares slope and their
// spread (largest minus smallest), kept up to date as readings come and go,
// so a day of readings is never scanned again.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

class TrailingWindow {
public:
    explicit TrailingWindow(std::chrono::milliseconds span);

    // A reading at utcMs. A time before the newest reading counts as the
    // newest (the wall clock was set back). Readings that lie more than
    // `span` before this one leave, all but the newest of them, which stays
    // as the window's start.
    void add(int64_t utcMs, double value);
    void clear();

    // The oldest reading lies at least `span` before the newest: the window
    // covers its whole length.
    bool full() const;
    std::size_t size() const { return points_.size(); }

    // Change per hour of the least-squares line; nothing with fewer than two
    // readings or all of them at the same time.
    std::optional<double> slopePerHour() const;
    // Largest minus smallest value; 0 when empty.
    double spread() const;

private:
    // Times in ms after origin_ and values in millionths of the unit, exact,
    // so sums taken away again leave nothing behind.
    struct Point {
        int64_t t;
        int64_t v;
    };
    using Wide = __int128;

    void dropFront();
    const Point &at(uint64_t index) const { return points_[size_t(index - firstIndex_)]; }

    int64_t span_;
    int64_t origin_ = 0;
    std::deque<Point> points_;
    uint64_t firstIndex_ = 0; // the index of points_.front() since the last clear
    // Indices of the readings that may yet be the largest (values falling
    // from front to back) and the smallest (values rising).
    std::deque<uint64_t> highs_;
    std::deque<uint64_t> lows_;
    Wide sumT_ = 0, sumV_ = 0, sumTT_ = 0, sumTV_ = 0;
};
