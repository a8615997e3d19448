// balance-sim: a simulated balance line on a pseudo-terminal.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <exception>
#include <system_error>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "balance_sim/cli.h"
#include "balance_sim/line.h"
#include "balance_sim/pty_line.h"

namespace {

using namespace pondus::sim;
using SteadyClock = std::chrono::steady_clock;

void printSummary(const LineStats& stats, std::size_t balances)
{
    std::cerr << "balance-sim: bytes " << stats.bytes << ", answered " << stats.answered << ", dropped "
              << stats.dropped << ", counts " << stats.countBytes << ", identify " << stats.identifyFrames
              << ", model " << stats.modelFrames << ", weight " << stats.weightFrames << '\n';
    for (std::size_t p = 1; p <= balances && p < stats.weightFramesTo.size(); ++p) {
        std::cerr << "balance-sim: weight frames to position " << p << ": " << stats.weightFramesTo[p] << '\n';
    }
}

// Signals are read from a descriptor by the main loop; they are blocked in
// every thread, so no handler runs.
class SignalReader {
public:
    SignalReader()
    {
        sigemptyset(&set_);
        for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGURG}) {
            sigaddset(&set_, number);
        }
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
        fd_ = signalfd(-1, &set_, SFD_CLOEXEC);
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), "signalfd");
        }
    }
    ~SignalReader() { ::close(fd_); }
    SignalReader(const SignalReader&) = delete;
    SignalReader& operator=(const SignalReader&) = delete;

    // The next signal, or nothing when none came before the deadline.
    std::optional<int> wait(SteadyClock::time_point deadline)
    {
        int timeout = -1;
        if (deadline != SteadyClock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
            timeout = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, timeout) <= 0) {
            return std::nullopt;
        }
        signalfd_siginfo info{};
        if (::read(fd_, &info, sizeof info) != sizeof info) {
            return std::nullopt;
        }
        return static_cast<int>(info.ssi_signo);
    }

private:
    sigset_t set_{};
    int fd_ = -1;
};

int run(const CliOptions& options)
{
    SignalReader signals;  // before any thread starts, so that all inherit the mask

    Line line(options.balances, &Line::Clock::now, options.seed);
    line.setFaults(options.faults);
    const auto byteTime = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(
        byteRoundTripSeconds(static_cast<int>(options.balances.size()), options.baud)));
    PtyLine pty(line, PtyOptions{options.linkPath, byteTime, options.strayBytesPerSecond, options.seed,
                                 options.latencyTimer});
    std::cout << pty.devicePath() << std::endl;

    auto unplug = [&] {
        pty.unplug();
        std::cout << "unplugged" << std::endl;
    };
    auto replug = [&] {
        pty.replug();
        std::cout << "replugged " << pty.devicePath() << std::endl;
    };

    const auto start = SteadyClock::now();
    constexpr auto never = SteadyClock::time_point::max();
    const auto end = options.duration ? start + *options.duration : never;
    auto unplugAt = options.unplugAfter ? start + *options.unplugAfter : never;
    auto replugAt = never;

    for (;;) {
        const auto signal = signals.wait(std::min({end, unplugAt, replugAt}));
        const auto now = SteadyClock::now();
        if (signal == SIGUSR1) {
            unplug();
        } else if (signal == SIGUSR2) {
            replug();
        } else if (signal == SIGURG) {
            pty.strayMidFrame();
            std::cout << "stray byte armed" << std::endl;
        } else if (signal) {
            break;
        }
        if (now >= end) {
            break;
        }
        if (now >= unplugAt) {
            unplugAt = never;
            unplug();
            if (options.replugAfter) {
                replugAt = now + *options.replugAfter;
            }
        } else if (now >= replugAt) {
            replugAt = never;
            replug();
        }
    }
    pty.unplug();
    if (!options.quiet) {
        printSummary(line.stats(), options.balances.size());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const CliOptions options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::cout << usage();
            return 0;
        }
        return run(options);
    } catch (const CliError& error) {
        std::cerr << "balance-sim: " << error.what() << "\n(see balance-sim --help)\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "balance-sim: " << error.what() << '\n';
        return 1;
    }
}
