#include "RowText.h"

#include "recording/BalanceTexts.h"

#include <QDateTime>
#include <QStringList>

#include <cstdio>

namespace pondus::logger {
namespace {

// Every cell followed by a TAB, as the window's saved table has it.
std::string tabbed(const QStringList &cells)
{
    QString line;
    for (const QString &cell : cells)
        line += cell + u'\t';
    return line.toStdString();
}

QDateTime localTime(const RecordedRow &row)
{
    return QDateTime::fromMSecsSinceEpoch(row.utcMs, Qt::OffsetFromUTC, row.utcOffsetSeconds);
}

std::string csvNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

} // namespace

RowText::RowText(FileFormat format, ValueFormat values) : format_(format), values_(std::move(values)) {}

std::string RowText::captions(const RecordedRow &row) const
{
    if (format_ == FileFormat::Csv) {
        std::string line = "number,time";
        for (const BalanceReading &reading : row.readings) {
            const std::string j = std::to_string(reading.balance);
            line += ",weight_" + j + ",unit_" + j + ",stable_" + j;
        }
        return line + lineEnd();
    }
    QStringList names{QString(), QString(), QString()};
    QStringList models{QStringLiteral("№"), QStringLiteral("Время"), QStringLiteral("Дата")};
    QStringList idents{QString(), QString(), QString()};
    for (const BalanceReading &reading : row.readings) {
        names << QStringLiteral("Весы №%1").arg(reading.balance) << QString();
        models << modelDesignation(reading.modelCode) << QString();
        idents << QString::number(reading.ident) << QString();
    }
    return tabbed(names) + lineEnd() + tabbed(models) + lineEnd() + tabbed(idents) + lineEnd();
}

std::string RowText::row(const RecordedRow &row) const
{
    const QDateTime time = localTime(row);
    if (format_ == FileFormat::Csv) {
        std::string line = std::to_string(row.number) + "," +
                           time.toString(Qt::ISODateWithMs).toStdString();
        for (const BalanceReading &reading : row.readings) {
            line += "," + csvNumber(ValueFormat::weightValue(reading.rawValue, reading.divisor)) + ",";
            if (reading.shownUnit >= 0)
                line += unitTextOf(reading.shownUnit).toStdString();
            line += reading.stable ? ",1" : ",0";
        }
        return line;
    }
    QStringList cells{QString::number(row.number), values_.time(time), values_.date(time)};
    for (const BalanceReading &reading : row.readings)
        cells << values_.weight(reading.rawValue, reading.divisor)
              << (reading.shownUnit >= 0 ? unitTextOf(reading.shownUnit) : QString());
    return tabbed(cells);
}

} // namespace pondus::logger
