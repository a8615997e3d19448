// One recording run of pondus-log: polls the library at the run's period,
// lets the recorder decide, hands every recorded row to the row sinks (the
// file, the screen, and whoever else attaches) and says why it ended.
#pragma once

#include "ExitCodes.h"
#include "LoggerOptions.h"
#include "recording/MeasurementRecorder.h"

#include <TrutinaClient.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <signal.h>

namespace pondus::logger {

class LoggerRun {
public:
    // Called before the poll that recorded the row returns.
    using RowSink = std::function<void(const RecordedRow &)>;
    // Told when the run starts (the line came on line and its balances are
    // fixed) and when it stops, with its settings and the wall-clock time in
    // ms since the Unix epoch.
    using RunSink = std::function<void(const RunSettings &, int64_t utcMs)>;
    using PollSink = std::function<void(const trutina::Block &, int64_t rows, std::chrono::milliseconds elapsed)>;
    // Told once when a balance's scan replies failed during the run: its
    // captions are kept (before) over what was read (after) and the run goes on.
    using ScanFailureSink = std::function<void(size_t slot, const BalanceCaption &kept, const BalanceCaption &read)>;

    LoggerRun(const trutina::Library &library, LoggerOptions options);

    void addRowSink(RowSink sink) { rowSinks_.push_back(std::move(sink)); }
    void addRunStartedSink(RunSink sink) { startedSinks_.push_back(std::move(sink)); }
    void addRunStoppedSink(RunSink sink) { stoppedSinks_.push_back(std::move(sink)); }
    void addPollSink(PollSink sink) { pollSinks_.push_back(std::move(sink)); }
    void addScanFailureSink(ScanFailureSink sink) { scanFailureSinks_.push_back(std::move(sink)); }

    // Runs until done; stopSignals must be blocked in every thread, they
    // are taken with sigtimedwait. A sink's exception passes through, after
    // the stopped sinks were told.
    ExitCode run(const sigset_t &stopSignals);
    // Why the run ended, for exit codes other than done.
    const std::string &reason() const { return reason_; }
    const RunSettings &settings() const { return options_.run; }
    int64_t rowsRecorded() const { return history_.measurementNo; }
    // The COM port (1..4) the library has the line on, 0 while it has none.
    int32_t linkPort() const { return linkPort_; }

private:
    bool startWhenOnLine(const trutina::Block &block);
    // The row of the decision under the captions kept, or nothing.
    std::optional<RecordedRow> keepCaptions(const PollDecision &decision);
    void stop();

    const trutina::Library &library_;
    LoggerOptions options_;
    RecordingHistory history_;
    // The captions the rows are recorded under, and those read at the last poll.
    std::vector<BalanceCaption> captionsKept_;
    std::vector<BalanceCaption> captionsRead_;
    bool started_ = false;
    int32_t linkPort_ = 0;
    std::string reason_;
    std::vector<RowSink> rowSinks_;
    std::vector<RunSink> startedSinks_;
    std::vector<RunSink> stoppedSinks_;
    std::vector<PollSink> pollSinks_;
    std::vector<ScanFailureSink> scanFailureSinks_;
};

} // namespace pondus::logger
