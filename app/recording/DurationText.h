// Times as an operator writes them on a command line or in a settings file:
// "90" or "90s" seconds, "15m" minutes, "8h" hours, a comma or a point.
#pragma once

#include <QString>

#include <chrono>
#include <optional>

// Nothing when the text is not a positive time of at most 10^9 seconds.
std::optional<std::chrono::milliseconds> parseDuration(QString text);

// The shortest text parseDuration reads back as the same time: whole hours
// as "8h", whole minutes as "15m", else seconds ("90s", "1,5s" with the
// decimal comma).
QString durationText(std::chrono::milliseconds duration);
