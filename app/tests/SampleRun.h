// A small recorded run with fixed times, as the export tests use it: three
// balances with different divisors and units, a negative and an unstable
// reading, and cells the operator edited.
#pragma once

#include "export/ExportFormat.h"
#include "mainform/TableSnapshot.h"
#include "mainform/MeasurementTable.h"

#include <QDateTime>

#include <memory>
#include <vector>

inline std::unique_ptr<MeasurementTable> makeSampleRun(int measurements = 6)
{
    auto table = std::make_unique<MeasurementTable>(ValueFormat{QLocale(QLocale::Russian, QLocale::Russia)});
    table->setColumns(MeasurementColumns::columnsFor(3));
    table->setHeaderCell(1, 0, QStringLiteral("№"));
    table->setHeaderCell(1, 1, QStringLiteral("Время"));
    table->setHeaderCell(1, 2, QStringLiteral("Дата"));
    const int balances[] = {1, 2, 4};
    const char *models[] = {"ВЛ-120", "ВЛ-220", "Неизвестна"};
    for (int slot = 0; slot < 3; ++slot) {
        const int column = MeasurementColumns::valueColumn(slot);
        table->setHeaderCell(0, column, QStringLiteral("Весы №%1").arg(balances[slot]));
        table->setHeaderCell(1, column, QString::fromUtf8(models[slot]));
        table->setHeaderCell(2, column, QString::number(1000 + 7 * balances[slot]));
    }
    const QDateTime start(QDate(2026, 3, 14), QTime(9, 26, 53, 589));
    for (int n = 1; n <= measurements; ++n) {
        const std::vector<RecordedReading> readings = {
            {125 * n, 1000, 0, true},                                                // g, three decimals
            {-7 * n, 10, int8_t(n % 2 == 0 ? 5 : RecordedReading::noUnit), n % 2 == 0}, // kg, unstable at odd n
            {40 + n, 1, 3, true},                                                    // pieces
        };
        table->appendMeasurement(n, start.addMSecs(200LL * n), readings);
    }
    if (measurements >= 4) {
        table->setData(table->index(5, 3), QStringLiteral("12,5 исправлено"), Qt::EditRole);
        table->setData(table->index(6, 6), QStringLiteral("шт, \"проверено\""), Qt::EditRole);
    }
    return table;
}

// The sample run as an export takes it: port COM2, a period of 0,2 s, the
// balances 1, 2 and 4.
inline RunSnapshot sampleExport(const MeasurementTable &table)
{
    RunSettings settings;
    settings.port = "COM2";
    settings.periodMs = 200;
    settings.measurementBound = 100;
    settings.balances = {1, 2, 4};
    RunSnapshot run = snapshotOfTable(table, table.rowCount(), settings);
    run.startedUtcMs = table.measurementCell(MeasurementColumns::captionRows, 0)->stampMs;
    run.stoppedUtcMs = run.startedUtcMs + 1000;
    return run;
}
