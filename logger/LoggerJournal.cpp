#include "LoggerJournal.h"

#include <cstdio>

namespace pondus::logger {

LoggerJournal::LoggerJournal(LoggerRun &run, const std::string &path, std::string rowFile)
    : journal_(path,
               [](const std::string &file, const std::string &reason) {
                   std::fprintf(stderr, "pondus-log: journal off: %s: %s\n", file.c_str(), reason.c_str());
               }),
      rowFile_(std::move(rowFile))
{
    if (journal_.open())
        journal_.programStarted();
    run.addRunStartedSink([this](const RunSettings &settings, int64_t) { journal_.runStarted(settings); });
    run.addRowSink([this](const RecordedRow &row) { journal_.recordRow(row); });
    run.addScanFailureSink([this](size_t slot, const BalanceCaption &kept, const BalanceCaption &read) {
        journal_.scanFailed({slot, read.balance, kept.modelCode, kept.ident, read.modelCode, read.ident});
    });
    run.addRunStoppedSink([this](const RunSettings &, int64_t) {
        journal_.runStopped();
        // Every row is already in the row file: the table is not waiting
        // for the window's recovery question.
        journal_.exported(rowFile_, journal_.sheetRows());
    });
}

LoggerJournal::~LoggerJournal()
{
    journal_.programExited();
}

} // namespace pondus::logger
