// What the port and period selectors mean for a run: the port handed to the
// scale link library and how often the readings are polled.
#pragma once

#include "recording/RecordedRow.h"

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

inline const QString autoPortText = QStringLiteral("AUTO");

struct PortChoice {
    int32_t port = 0; // 1..4 for COM1..COM4, 0 for the automatic search
    QString label;    // the port as shown after "Порт:"
    bool automatic() const { return port == 0; }
};

// The port that the selector's text names: its last character is the digit
// and its fourth must be a digit 1..4 too, so "COM12" is COM2. Any text that
// names no port this way asks for the automatic search.
PortChoice choosePort(const QString &text);

struct PeriodChoice {
    enum class Mode { Timed, Manual, OnNewWeight };
    Mode mode = Mode::Timed;
    int intervalMs = 0; // Timed only
};

inline const QString manualPeriodText = QStringLiteral("вручную");
inline const QString onNewWeightPeriodText = QStringLiteral("при новом весе");

// The period selector's text: one of the two modes, or a number of seconds
// in the locale's decimal format. Nothing when it is neither, or when the
// seconds give no usable timer interval (less than a millisecond or beyond
// what a timer takes).
std::optional<PeriodChoice> choosePeriod(const QString &text, QLocale locale);

// How a run records, as the settings of a workbook and a report name it:
// "периодически", "при новом весе" or "вручную".
QString recordingModeText(RecordingMode mode);

// The link label's text for a link state of the library: "Устанавливается",
// "Инициализация" or "OnLine"; empty for any other value.
QString linkStateText(int32_t state);
