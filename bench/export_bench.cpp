// Times the export of a day of measurements: 432,000 rows (one per 0,2 s)
// of ten balances, composed as the file's text and written to disk.
//
//   export_bench [rows]
#include "recording/MeasurementTable.h"
#include "export/ResultExport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 432000;
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

    QTemporaryDir folder;
    QElapsedTimer timer;
    timer.start();
    const QByteArray text = composeExportText(table);
    const qint64 composedMs = timer.elapsed();
    const auto failure = writeExportFile(folder.filePath(QStringLiteral("day.xls")), text);
    const qint64 totalMs = timer.elapsed();
    if (failure) {
        std::fprintf(stderr, "export_bench: %s\n", qPrintable(*failure));
        return 1;
    }
    std::printf("export of %d rows x %d balances (%.1f MB): composed in %lld ms, written in %lld ms, "
                "%lld ms in all\n",
                rows, balances, double(text.size()) / 1e6, composedMs, totalMs - composedMs, totalMs);
    return 0;
}
