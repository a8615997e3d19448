// Times the export of a day of measurements, 432,000 rows (one per 0,2 s)
// of ten balances: the snapshot the window takes of its grid, then every
// file format written from it, and the memory each needs above the table
// and the snapshot.
//
//   export_bench [rows [suffix]]   (a suffix such as xlsx times that format alone)
#include "ProcessUsage.h"
#include "export/ExportFormat.h"
#include "mainform/TableSnapshot.h"
#include "mainform/MeasurementTable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 432000;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    constexpr int balances = 10;

    MeasurementTable table(ValueFormat{QLocale(QLocale::Russian, QLocale::Russia)});
    table.setColumns(MeasurementColumns::columnsFor(balances));
    for (int j = 1; j <= balances; ++j)
        table.setHeaderCell(MeasurementColumns::captionRow, MeasurementColumns::valueColumn(j - 1),
                            QStringLiteral("Весы №%1").arg(j));
    std::vector<RecordedReading> readings(balances);
    QDateTime stamp = QDateTime::currentDateTime();
    for (int n = 1; n <= rows; ++n) {
        for (int j = 0; j < balances; ++j)
            readings[size_t(j)] = {100000 * (j + 1) + (n * 37 + j) % 5000, 1000, int8_t(n % 3 ? 0 : -1)};
        table.appendMeasurement(n, stamp.addMSecs(200LL * n), readings);
    }
    RunSettings settings;
    settings.port = "COM1";
    settings.periodMs = 200;
    for (int j = 1; j <= balances; ++j)
        settings.balances.push_back(j);
    // What the window does before it writes: the snapshot of its grid.
    resetPeakResident();
    const long tableOnly = residentBytes();
    QElapsedTimer snapshotTimer;
    snapshotTimer.start();
    const double snapshotCpu = cpuSeconds();
    const RunSnapshot run = snapshotOfTable(table, table.rowCount(), settings);
    std::printf("  %-22s %7lld ms (%6.2f s CPU)                  %6.1f MB memory above the table\n",
                "snapshot of the table", snapshotTimer.elapsed(), cpuSeconds() - snapshotCpu,
                double(peakResidentBytes() - tableOnly) / 1e6);

    QTemporaryDir folder;
    std::printf("export of %d rows x %d balances\n", rows, balances);
    for (const ExportFormat *format : exportFormats()) {
        if (!only.isEmpty() && format->suffix() != only)
            continue;
        const QString path = folder.filePath(QStringLiteral("day.") + format->suffix());
        resetPeakResident();
        const long before = residentBytes();
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = cpuSeconds();
        const auto failure = format->write(run, path);
        const qint64 ms = timer.elapsed();
        const double cpu = cpuSeconds() - cpuBefore;
        const long above = peakResidentBytes() - before;
        if (failure) {
            std::fprintf(stderr, "export_bench: %s: %s\n", qPrintable(format->filter()), qPrintable(*failure));
            return 1;
        }
        std::printf("  %-22s %7lld ms (%6.2f s CPU)  %6.1f MB file  %6.1f MB memory above the table\n",
                    qPrintable(format->filter()), ms, cpu, double(QFileInfo(path).size()) / 1e6, double(above) / 1e6);
        QFile::remove(path);
    }
    return 0;
}
