#include "LoggerRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace pondus::logger {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

PollStamp wallClock()
{
    const auto now = std::chrono::system_clock::now();
    const int64_t ms = std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return {ms, int32_t(local.tm_gmtoff)};
}

timespec timespecOf(Clock::duration wait)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(wait, Clock::duration::zero()));
    return {time_t(ns.count() / 1'000'000'000), long(ns.count() % 1'000'000'000)};
}

} // namespace

LoggerRun::LoggerRun(const trutina::Library &library, LoggerOptions options)
    : library_(library), options_(std::move(options))
{
}

bool LoggerRun::startWhenOnLine(const trutina::Block &block)
{
    if (started_ || !block.online() || block.balanceCount() <= 0)
        return started_;
    if (options_.run.balances.empty())
        for (int32_t j = 1; j <= std::min(block.balanceCount(), RecordingHistory::balances); ++j)
            options_.run.balances.push_back(j);
    started_ = true;
    const int64_t now = wallClock().utcMs;
    for (const RunSink &sink : startedSinks_)
        sink(options_.run, now);
    return true;
}

std::optional<RecordedRow> LoggerRun::keepCaptions(const PollDecision &decision)
{
    // A failed scan keeps the captions; a replaced balance is recorded under
    // its own, and the journal tells of the replacement from the rows.
    const IdentityReview review = reviewIdentities(captionsKept_, captionsRead_, decision.captions);
    for (const size_t slot : review.newlyFailedSlots)
        for (const ScanFailureSink &sink : scanFailureSinks_)
            sink(slot, captionsKept_[slot], decision.captions[slot]);
    captionsKept_ = review.captions;
    captionsRead_ = decision.captions;
    if (!decision.row)
        return std::nullopt;
    RecordedRow row = *decision.row;
    applyCaptions(row, captionsKept_);
    return row;
}

void LoggerRun::stop()
{
    if (!started_)
        return;
    started_ = false;
    const int64_t now = wallClock().utcMs;
    for (const RunSink &sink : stoppedSinks_)
        sink(options_.run, now);
}

ExitCode LoggerRun::run(const sigset_t &stopSignals)
{
    struct StopOnExit {
        LoggerRun &run;
        ~StopOnExit() { run.stop(); }
    } stopOnExit{*this};

    const milliseconds period(options_.run.periodMs);
    const Clock::time_point start = Clock::now();
    Clock::time_point lastOnLine = start;
    Clock::time_point next = start;
    library_.setComPort(options_.portNumber);
    trutina::Block block;
    for (;;) {
        const timespec wait = timespecOf(next - Clock::now());
        if (::sigtimedwait(&stopSignals, nullptr, &wait) > 0)
            return done;
        if (errno == EINTR && Clock::now() < next)
            continue;
        const Clock::time_point now = Clock::now();
        // Ticks on a fixed grid; a poll that came late does not bring the
        // missed ones in a burst.
        next += period;
        if (next <= now)
            next = now + period;

        library_.freshData(block);
        linkPort_ = block.currentPort();
        if (block.online())
            lastOnLine = now;
        else if (options_.linkTimeout.count() > 0 && now - lastOnLine > options_.linkTimeout) {
            char text[128];
            std::snprintf(text, sizeof text, "the line has been off line for longer than %.1f s (link: %s)",
                          double(options_.linkTimeout.count()) / 1000.0, trutina::linkStateName(block.linkState()));
            reason_ = text;
            return linkLost;
        }
        const auto elapsed = std::chrono::duration_cast<milliseconds>(now - start);
        if (startWhenOnLine(block)) {
            const PollDecision decision = MeasurementRecorder::poll(block, options_.run, history_, wallClock());
            if (decision.balanceCountNotice) {
                reason_ = "Подключено " + std::to_string(*decision.balanceCountNotice) + " весов. (balance " +
                          std::to_string(decision.balancesBeyondLine.front()) + " is not on the line)";
                return balanceMissing;
            }
            if (const std::optional<RecordedRow> row = keepCaptions(decision))
                for (const RowSink &sink : rowSinks_)
                    sink(*row);
        }
        for (const PollSink &sink : pollSinks_)
            sink(block, history_.measurementNo, elapsed);
        if (options_.count > 0 && history_.measurementNo >= options_.count)
            return done;
        if (options_.duration.count() > 0 && elapsed >= options_.duration)
            return done;
    }
}

} // namespace pondus::logger
