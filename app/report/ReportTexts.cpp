// The report's texts.
#include "report/ReportTexts.h"

#include "recording/BalanceTexts.h"

#include <QDateTime>

#include <cmath>
#include <cstdlib>

namespace pondus::report {

namespace {

QString qtext(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString quoted(std::string_view text)
{
    return QStringLiteral("«%1»").arg(qtext(text));
}

QString columnName(std::string_view column, int32_t balance)
{
    if (column == "number")
        return QStringLiteral("«№»");
    if (column == "time")
        return QStringLiteral("«Время»");
    if (column == "date")
        return QStringLiteral("«Дата»");
    const QString what = column == "unit" ? QStringLiteral("единица") : QStringLiteral("значение");
    return QStringLiteral("%1, %2").arg(balanceCaption(balance), what);
}

} // namespace

QString localTime(int64_t utcMs, int32_t utcOffsetSeconds)
{
    // The wall clock of that moment, shown as it was, whatever the zone now.
    return QDateTime::fromMSecsSinceEpoch(utcMs + int64_t(utcOffsetSeconds) * 1000, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString offsetText(int32_t utcOffsetSeconds)
{
    const int minutes = std::abs(utcOffsetSeconds) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(utcOffsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString decimal(double value, int places)
{
    // -0,000 reads as a change that was not there.
    const double shown = std::abs(value) < 0.5 * std::pow(10.0, -places) ? 0.0 : value;
    return QString::number(shown, 'f', places).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString cellEditText(const CellEditText &edit)
{
    const QString where = edit.seq > 0 ? QStringLiteral("строка %1").arg(edit.seq)
                                       : QStringLiteral("заголовок, строка %1").arg(edit.captionRow + 1);
    const QString reason = edit.reason.empty() ? QStringLiteral("причина не указана")
                                               : QStringLiteral("причина: %1").arg(qtext(edit.reason));
    return QStringLiteral("%1, %2: %3 → %4; %5")
        .arg(where, columnName(edit.column, edit.balance), quoted(edit.oldText), quoted(edit.newText), reason);
}

QString linkLossText(int64_t lostUtcMs, std::optional<int64_t> regainedUtcMs, int32_t utcOffsetSeconds)
{
    const QString lost = QStringLiteral("связь потеряна %1").arg(localTime(lostUtcMs, utcOffsetSeconds));
    if (!regainedUtcMs)
        return lost + QStringLiteral(", не восстановлена до конца серии");
    return lost + QStringLiteral(", восстановлена %1 (через %2 с)")
                      .arg(localTime(*regainedUtcMs, utcOffsetSeconds),
                           decimal(double(*regainedUtcMs - lostUtcMs) / 1000.0, 1));
}

QString exportText(int64_t utcMs, int32_t utcOffsetSeconds, std::string_view file, std::string_view format,
                   int64_t rows, std::string_view sha256)
{
    return QStringLiteral("%1: %2 (%3), строк: %4, SHA-256 %5")
        .arg(localTime(utcMs, utcOffsetSeconds), qtext(file), qtext(format))
        .arg(rows)
        .arg(sha256.empty() ? QStringLiteral("—") : qtext(sha256));
}

} // namespace pondus::report
