#include "recording/RunChoices.h"

#include <trutina.h>

#include <cmath>
#include <limits>

namespace {

std::optional<int> portDigit(QChar character)
{
    if (character < QLatin1Char('1') || character > QLatin1Char('4'))
        return std::nullopt;
    return character.unicode() - '0';
}

} // namespace

PortChoice choosePort(const QString &text)
{
    const PortChoice automatic{0, autoPortText};
    // The list's own entries are "COM1".."COM4" and "AUTO"; other texts
    // come only from a hand-edited settings file.
    if (text.size() < 4 || !portDigit(text.at(3)))
        return automatic;
    const std::optional<int> digit = portDigit(text.back());
    if (!digit)
        return automatic;
    return {*digit, QStringLiteral("COM%1").arg(*digit)};
}

std::optional<PeriodChoice> choosePeriod(const QString &text, QLocale locale)
{
    if (text == manualPeriodText)
        return PeriodChoice{PeriodChoice::Mode::Manual, 0};
    if (text == onNewWeightPeriodText)
        return PeriodChoice{PeriodChoice::Mode::OnNewWeight, 0};
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool isNumber = false;
    double seconds = locale.toDouble(text, &isNumber);
    if (!isNumber) {
        // The list offers "0,2" .. "0,8" whatever the system's decimal
        // separator; a comma or a point is taken as one in any locale.
        QLocale plain = QLocale::c();
        plain.setNumberOptions(QLocale::RejectGroupSeparator);
        seconds = plain.toDouble(QString(text).replace(QLatin1Char(','), QLatin1Char('.')), &isNumber);
    }
    if (!isNumber || !std::isfinite(seconds))
        return std::nullopt;
    // A decimal text such as 4,35 lands a hair below its whole milliseconds
    // in binary; the hair is not a millisecond less.
    const double ms = std::trunc(seconds * 1000.0 + 1e-6);
    if (ms < 1 || ms > std::numeric_limits<int>::max())
        return std::nullopt;
    return PeriodChoice{PeriodChoice::Mode::Timed, int(ms)};
}

QString recordingModeText(RecordingMode mode)
{
    return mode == RecordingMode::OnNewWeight ? onNewWeightPeriodText
           : mode == RecordingMode::Manual    ? manualPeriodText
                                              : QStringLiteral("периодически");
}

QString linkStateText(int32_t state)
{
    return state == TRUTINA_LINK_SETTING_UP    ? QStringLiteral("Устанавливается")
           : state == TRUTINA_LINK_INITIALISING ? QStringLiteral("Инициализация")
           : state == TRUTINA_LINK_ONLINE       ? QStringLiteral("OnLine")
                                                : QString();
}
