// How numbers, times and dates appear in the measurement table: in the
// system's regional formats, so that the operator's spreadsheet reads them.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

class ValueFormat {
public:
    explicit ValueFormat(QLocale locale = QLocale::system());

    // rawValue / divisor in general format, at most 15 significant digits,
    // the locale's decimal separator and no group separators; plain notation
    // down to 0,00001, an exponent only below.
    QString weight(int32_t rawValue, int32_t divisor) const;
    // The number that weight(rawValue, divisor) reads back as, without the
    // round trip through text: raw and divisor are exact in a double and the
    // text has enough digits, so both give the correctly rounded quotient.
    static double weightValue(int32_t rawValue, int32_t divisor);

    // A change with its sign ("+0,52", "-2900", "-0,0000352"): `digits`
    // significant digits, the locale's decimal separator, no group
    // separators and never an exponent.
    QString signedChange(double value, int digits) const;

    // A cell text read back as a finite number; nothing when it is not one.
    std::optional<double> number(const QString &text) const;

    // Long time format without the time zone; short date format.
    QString time(const QDateTime &moment) const;
    QString date(const QDateTime &moment) const;

private:
    QLocale locale_;
    QString timeFormat_;
    QString dateFormat_;
};
