#include "recording/ValueFormat.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

constexpr int significantDigits = 15;
constexpr double smallestPlainWeight = 1e-5;

// The long time format of most locales ends in a time zone ("HH:mm:ss t");
// the table shows the wall clock only.
QString withoutTimeZone(QString format)
{
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    return format.replace(zone, QString()).trimmed();
}

} // namespace

ValueFormat::ValueFormat(QLocale locale)
    : locale_(std::move(locale)),
      timeFormat_(withoutTimeZone(locale_.timeFormat(QLocale::LongFormat))),
      dateFormat_(locale_.dateFormat(QLocale::ShortFormat))
{
    locale_.setNumberOptions(locale_.numberOptions() | QLocale::OmitGroupSeparator);
}

double ValueFormat::weightValue(int32_t rawValue, int32_t divisor)
{
    return static_cast<double>(rawValue) / static_cast<double>(divisor);
}

QString ValueFormat::weight(int32_t rawValue, int32_t divisor) const
{
    const double value = weightValue(rawValue, divisor);
    // A general format writes 0,000047 in full, down to a hundred-thousandth;
    // the C library's form would already switch to 4,7E-05 below 0,0001.
    const double magnitude = std::abs(value);
    if (magnitude >= smallestPlainWeight && magnitude < 1e-4) {
        const int decimals = significantDigits - 1 - int(std::floor(std::log10(magnitude)));
        QString text = locale_.toString(value, 'f', decimals);
        while (text.endsWith(locale_.zeroDigit()))
            text.chop(1);
        return text;
    }
    return locale_.toString(value, 'g', significantDigits);
}

std::optional<double> ValueFormat::number(const QString &text) const
{
    bool ok = false;
    const double value = locale_.toDouble(text.trimmed(), &ok);
    // "inf" and "nan" parse, but no weight or chart point is made of them.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString ValueFormat::time(const QDateTime &moment) const
{
    return locale_.toString(moment.time(), timeFormat_);
}

QString ValueFormat::date(const QDateTime &moment) const
{
    return locale_.toString(moment.date(), dateFormat_);
}

QString ValueFormat::signedChange(double value, int digits) const
{
    QLocale locale = locale_;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const double magnitude = std::abs(value);
    QString text;
    if (value != 0 && (magnitude >= std::pow(10.0, digits) || magnitude < 1e-4))
        text = locale.toString(value, 'f', std::clamp(digits - 1 - int(std::floor(std::log10(magnitude))), 0, 9));
    else
        text = locale.toString(value, 'g', digits);
    return value > 0 ? QLatin1Char('+') + text : text;
}
