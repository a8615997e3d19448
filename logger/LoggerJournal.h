// Keeps a pondus-log run in a measurement journal of the window's schema, so
// that its rows are on disk in one place with the window's and can be
// published from there.
#pragma once

#include "LoggerRun.h"

#include "journal/Journal.h"

#include <string>

namespace pondus::logger {

class LoggerJournal {
public:
    // Attaches to the run's sinks; attach it before anything that reads the
    // journal back. A journal that cannot be written is reported once on
    // standard error and the run records on without it.
    LoggerJournal(LoggerRun &run, const std::string &path, std::string rowFile);
    ~LoggerJournal();
    LoggerJournal(const LoggerJournal &) = delete;
    LoggerJournal &operator=(const LoggerJournal &) = delete;

private:
    pondus::journal::Journal journal_;
    const std::string rowFile_;
};

} // namespace pondus::logger
