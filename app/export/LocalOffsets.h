// The local clock's offset from UTC for a long series of moments in time
// order, as the exports need it for every row. Asking the system costs a
// look at the zone file each time; offsets change only at quarter hours, so
// the last quarter hour's answer is kept.
#pragma once

#include <QDateTime>

#include <limits>

class LocalOffsets {
public:
    int secondsAt(qint64 utcMs)
    {
        const qint64 quarter = utcMs >= 0 ? utcMs / quarterHourMs : (utcMs - quarterHourMs + 1) / quarterHourMs;
        if (quarter != quarter_) {
            quarter_ = quarter;
            offset_ = QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc();
        }
        return offset_;
    }
    // The local wall clock of a moment, in ms since 1970-01-01 00:00 local.
    qint64 localMs(qint64 utcMs) { return utcMs + qint64(secondsAt(utcMs)) * 1000; }

private:
    static constexpr qint64 quarterHourMs = 15 * 60 * 1000;
    qint64 quarter_ = std::numeric_limits<qint64>::min();
    int offset_ = 0;
};
