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

RunEnd runLogger(RecordingSession &session, const LoggerOptions &options, pondus::ports::LinkDiagnosis diagnosis,
                 LiveView &view, const sigset_t &stopSignals)
{
    struct StopOnExit {
        RecordingSession &session;
        ~StopOnExit() { session.stop(); }
    } stopOnExit{session};

    const milliseconds period(options.run.periodMs);
    const Clock::time_point start = Clock::now();
    Clock::time_point lastOnLine = start;
    Clock::time_point next = start;
    // Every balance when none was chosen; a replaced balance is recorded
    // on under its own captions, which the journal notes.
    session.samples().setCriterion(options.constantMass);
    session.start(options.run, options.portNumber, std::move(diagnosis),
                  {.everyBalanceWhenNone = true, .stopWhenReplaced = false});
    for (;;) {
        const timespec wait = timespecOf(next - Clock::now());
        if (::sigtimedwait(&stopSignals, nullptr, &wait) > 0)
            return {};
        if (errno == EINTR && Clock::now() < next)
            continue;
        const Clock::time_point now = Clock::now();
        // Ticks on a fixed grid; a poll that came late does not bring the
        // missed ones in a burst.
        next += period;
        if (next <= now)
            next = now + period;

        const SessionPoll poll = session.poll(RecordingSession::wallClock());
        const trutina::Block &block = session.block();
        if (block.online())
            lastOnLine = now;
        else if (options.linkTimeout.count() > 0 && now - lastOnLine > options.linkTimeout) {
            char text[128];
            std::snprintf(text, sizeof text, "the line has been off line for longer than %.1f s (link: %s)",
                          double(options.linkTimeout.count()) / 1000.0, trutina::linkStateName(block.linkState()));
            const std::string &why = session.portReason();
            return {linkLost, why.empty() ? std::string(text) : text + (": " + why)};
        }
        if (const std::optional<int32_t> count = poll.decision.balanceCountNotice)
            return {balanceMissing, "Подключено " + std::to_string(*count) + " весов. (balance " +
                                        std::to_string(poll.decision.balancesBeyondLine.front()) +
                                        " is not on the line)"};
        const auto elapsed = std::chrono::duration_cast<milliseconds>(now - start);
        const int64_t rows = session.history().measurementNo;
        view.showPoll(block, rows, elapsed);
        if ((options.count > 0 && rows >= options.count) ||
            (options.duration.count() > 0 && elapsed >= options.duration))
            return {};
        if (options.untilConstant && session.samples().allReached()) {
            std::fprintf(stderr, "pondus-log: every balance's sample has reached constant mass\n");
            return {};
        }
    }
}

} // namespace pondus::logger
