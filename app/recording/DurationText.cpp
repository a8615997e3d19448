// Parsing and writing times with an s, m or h suffix.
#include "recording/DurationText.h"

#include <QLocale>

#include <cmath>

std::optional<std::chrono::milliseconds> parseDuration(QString text)
{
    text = text.trimmed();
    double scale = 1;
    for (const auto &[suffix, seconds] : {std::pair{'h', 3600}, std::pair{'m', 60}, std::pair{'s', 1}})
        if (text.endsWith(QLatin1Char(suffix))) {
            scale = seconds;
            text.chop(1);
            break;
        }
    bool ok = false;
    const double number = QLocale::c().toDouble(text.replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    if (!ok || !std::isfinite(number) || number <= 0 || number * scale > 1e9)
        return std::nullopt;
    const auto ms = std::llround(number * scale * 1000);
    if (ms <= 0)
        return std::nullopt;
    return std::chrono::milliseconds(ms);
}

QString durationText(std::chrono::milliseconds duration)
{
    const long long ms = duration.count();
    if (ms % 3'600'000 == 0)
        return QString::number(ms / 3'600'000) + QLatin1Char('h');
    if (ms % 60'000 == 0)
        return QString::number(ms / 60'000) + QLatin1Char('m');
    return QString::number(double(ms) / 1000, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(',')) +
           QLatin1Char('s');
}
