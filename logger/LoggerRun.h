// One recording run of pondus-log: drives a recording session at the run's
// period until the count, the duration, constant mass of every sample or
// a stop signal ends it, and says
// why it ended. What the run records goes to the session's observers (the
// journal, the publisher, the row file and the screen).
#pragma once

#include "ExitCodes.h"
#include "LoggerOptions.h"
#include "recording/RecordingSession.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <signal.h>

namespace pondus::logger {

class LoggerRun {
public:
    using PollSink = std::function<void(const trutina::Block &, int64_t rows, std::chrono::milliseconds elapsed)>;

    // The diagnosis looks, while the line does not come on line, for why.
    LoggerRun(RecordingSession &session, LoggerOptions options, pondus::ports::LinkDiagnosis diagnosis);

    void addPollSink(PollSink sink) { pollSinks_.push_back(std::move(sink)); }

    // Runs until done; stopSignals must be blocked in every thread, they
    // are taken with sigtimedwait. An observer's exception passes through,
    // after the observers were told that the run stopped.
    ExitCode run(const sigset_t &stopSignals);
    // Why the run ended, for exit codes other than done.
    const std::string &reason() const { return reason_; }
    int64_t rowsRecorded() const { return session_.history().measurementNo; }

private:
    RecordingSession &session_;
    LoggerOptions options_;
    pondus::ports::LinkDiagnosis diagnosis_;
    std::string reason_;
    std::vector<PollSink> pollSinks_;
};

} // namespace pondus::logger
