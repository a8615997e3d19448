// The report's Russian texts: times in the run's local clock, weights with a
// decimal comma, and the lines for an edit, a link loss and an export.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pondus::report {

// "2026-12-11 09:15:02" on the clock of the given offset from UTC.
QString localTime(int64_t utcMs, int32_t utcOffsetSeconds);
// "UTC+03:00".
QString offsetText(int32_t utcOffsetSeconds);
// A number with a decimal comma and the given places.
QString decimal(double value, int places);

struct CellEditText {
    int64_t seq = 0;     // 0 for a caption row
    int32_t captionRow = -1;
    std::string_view column; // "number", "time", "date", "value", "unit"
    int32_t balance = 0;
    std::string_view oldText, newText, reason;
};
QString cellEditText(const CellEditText &edit);

QString linkLossText(int64_t lostUtcMs, std::optional<int64_t> regainedUtcMs, int32_t utcOffsetSeconds);
QString exportText(int64_t utcMs, int32_t utcOffsetSeconds, std::string_view file, std::string_view format,
                   int64_t rows, std::string_view sha256);

} // namespace pondus::report
