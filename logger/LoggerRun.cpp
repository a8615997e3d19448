#include "LoggerRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace pondus::logger {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

timespec timespecOf(Clock::duration wait)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::max(wait, Clock::duration::zero()));
    return {time_t(ns.count() / 1'000'000'000), long(ns.count() % 1'000'000'000)};
}

} // namespace

LoggerRun::LoggerRun(RecordingSession &session, LoggerOptions options, pondus::ports::LinkDiagnosis diagnosis)
    : session_(session), options_(std::move(options)), diagnosis_(std::move(diagnosis))
{
}

ExitCode LoggerRun::run(const sigset_t &stopSignals)
{
    struct StopOnExit {
        RecordingSession &session;
        ~StopOnExit() { session.stop(); }
    } stopOnExit{session_};

    const milliseconds period(options_.run.periodMs);
    const Clock::time_point start = Clock::now();
    Clock::time_point lastOnLine = start;
    Clock::time_point next = start;
    // Every balance when none was chosen; a replaced balance is recorded
    // on under its own captions, which the journal notes.
    session_.samples().setCriterion(options_.constantMass);
    session_.start(options_.run, options_.portNumber, std::move(diagnosis_),
                   {.everyBalanceWhenNone = true, .stopWhenReplaced = false});
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

        const SessionPoll poll = session_.poll(RecordingSession::wallClock());
        const trutina::Block &block = session_.block();
        if (block.online())
            lastOnLine = now;
        else if (options_.linkTimeout.count() > 0 && now - lastOnLine > options_.linkTimeout) {
            char text[128];
            std::snprintf(text, sizeof text, "the line has been off line for longer than %.1f s (link: %s)",
                          double(options_.linkTimeout.count()) / 1000.0, trutina::linkStateName(block.linkState()));
            reason_ = text;
            if (!session_.portReason().empty())
                reason_ += ": " + session_.portReason();
            return linkLost;
        }
        if (const std::optional<int32_t> count = poll.decision.balanceCountNotice) {
            reason_ = "Подключено " + std::to_string(*count) + " весов. (balance " +
                      std::to_string(poll.decision.balancesBeyondLine.front()) + " is not on the line)";
            return balanceMissing;
        }
        const auto elapsed = std::chrono::duration_cast<milliseconds>(now - start);
        for (const PollSink &sink : pollSinks_)
            sink(block, rowsRecorded(), elapsed);
        if (options_.count > 0 && rowsRecorded() >= options_.count)
            return done;
        if (options_.duration.count() > 0 && elapsed >= options_.duration)
            return done;
        if (options_.untilConstant && session_.samples().allReached()) {
            std::fprintf(stderr, "pondus-log: every balance's sample has reached constant mass\n");
            return done;
        }
    }
}

} // namespace pondus::logger
