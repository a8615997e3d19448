// Usage: report_bench [rows], 432000 unless given (a day at one row per 0,2 s).
//
// Measures the run report of a day of ten balances: the journal is written
// first, then the report's reading (one pass over the rows, the chain's
// walk) and its PDF are timed together, as pondus-log --report does them.
#include "JournaledDay.h"
#include "journal/Journal.h"
#include "report/RunReportFile.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char **argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 432000;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    std::string folder = (std::filesystem::temp_directory_path() / "report-bench-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        return 1;
    const std::string journalPath = folder + "/journal.sqlite";
    {
        pondus::journal::Journal journal(journalPath, {});
        journal.programStarted();
        journal.runStarted(benchRunSettings());
        for (int n = 1; n <= rows; ++n)
            journal.recordRow(benchRowOf(n));
        journal.runStopped();
    }
    const auto start = std::chrono::steady_clock::now();
    const pondus::report::ReportWritten written =
        pondus::report::writeRunReport(journalPath, "last", folder + "/report.pdf", false);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!written.written) {
        std::fprintf(stderr, "report failed: %s\n", written.error.c_str());
        return 1;
    }
    std::printf("report of %d rows of ten balances: %.2f s, %.0f kB\n", rows, seconds,
                double(std::filesystem::file_size(folder + "/report.pdf")) / 1000);
    std::filesystem::remove_all(folder);
    return 0;
}
