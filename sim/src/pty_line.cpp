#include "balance_sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "balance_sim/random.h"

namespace pondus::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what, int error = errno)
{
    throw std::system_error(error, std::generic_category(), what);
}

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Points linkPath at target, replacing a symbolic link already there.
void makeLink(const std::string& target, const std::string& linkPath)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto status = fs::symlink_status(linkPath, ec);
    if (fs::exists(status) && !fs::is_symlink(status)) {
        fail("refusing to replace " + linkPath + ", which is not a symbolic link", EEXIST);
    }
    const std::string temporary = linkPath + ".new" + std::to_string(::getpid());
    fs::remove(temporary, ec);
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        fail("cannot create the link " + linkPath);
    }
    if (::rename(temporary.c_str(), linkPath.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("cannot create the link " + linkPath, error);
    }
}

// Removes linkPath if it still points at target.
void removeLink(const std::string& target, const std::string& linkPath)
{
    std::error_code ec;
    if (std::filesystem::read_symlink(linkPath, ec) == target && !ec) {
        std::filesystem::remove(linkPath, ec);
    }
}

timespec toTimespec(SteadyClock::duration duration)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::max(duration, SteadyClock::duration::zero()));
    return timespec{static_cast<time_t>(ns.count() / 1'000'000'000),
                    static_cast<long>(ns.count() % 1'000'000'000)};
}

}  // namespace

double byteRoundTripSeconds(int balances, int baud)
{
    if (baud <= 0) {
        return 0;
    }
    return 10.0 * (std::max(balances, 0) + 1) / baud;
}

PtyLine::PtyLine(Line& line, PtyOptions options) : line_(line), options_(std::move(options))
{
    open();
}

PtyLine::~PtyLine()
{
    unplug();
}

void PtyLine::open()
{
    try {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0) {
            fail("posix_openpt");
        }
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            fail("cannot unlock the pseudo-terminal");
        }
        std::array<char, 128> name{};
        if (const int error = ::ptsname_r(master_, name.data(), name.size()); error != 0) {
            fail("ptsname_r", error);
        }
        devicePath_ = name.data();

        slave_ = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) {
            fail("cannot open " + devicePath_);
        }
        // Raw from the start: no echo and no newline translation, even for a
        // program that writes before it sets the line up.
        termios settings{};
        if (::tcgetattr(slave_, &settings) != 0) {
            fail("tcgetattr " + devicePath_);
        }
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B19200);
        ::cfsetospeed(&settings, B19200);
        if (::tcsetattr(slave_, TCSANOW, &settings) != 0) {
            fail("tcsetattr " + devicePath_);
        }

        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
            fail("fcntl O_NONBLOCK");
        }
        std::array<int, 2> wake{};
        if (::pipe2(wake.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            fail("pipe2");
        }
        wakeRead_ = wake[0];
        wakeWrite_ = wake[1];

        if (!options_.linkPath.empty()) {
            makeLink(devicePath_, options_.linkPath);
        }
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        unplug();
        throw;
    }
}

void PtyLine::unplug()
{
    if (thread_.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const auto written = ::write(wakeWrite_, &wake, 1);
        thread_.join();
    }
    if (!devicePath_.empty() && !options_.linkPath.empty()) {
        removeLink(devicePath_, options_.linkPath);
    }
    closeFd(wakeRead_);
    closeFd(wakeWrite_);
    closeFd(slave_);
    closeFd(master_);
    devicePath_.clear();
}

void PtyLine::replug()
{
    unplug();
    open();
}

void PtyLine::inject(std::span<const std::uint8_t> bytes)
{
    for (const auto byte : bytes) {
        writeByte(byte);
    }
}

void PtyLine::writeByte(std::uint8_t byte)
{
    // A program that has stopped reading lets the terminal's buffer fill;
    // what does not fit is lost, as on a real line.
    while (::write(master_, &byte, 1) < 0 && errno == EINTR) {
    }
}

void PtyLine::run()
{
    // Answers are due a fraction of a millisecond apart at line speed; the
    // default slack of 50 us would stretch every wait.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    Random random(options_.seed);
    const bool stray = options_.strayBytesPerSecond > 0;
    const auto strayInterval = [&] {
        // Exponential gaps: stray bytes come at random, at the average rate.
        const double seconds = -std::log(1.0 - random.uniform()) / options_.strayBytesPerSecond;
        return std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
    };
    auto nextStray = stray ? SteadyClock::now() + strayInterval() : SteadyClock::time_point::max();

    std::deque<std::pair<SteadyClock::time_point, std::uint8_t>> due;
    const auto latency = std::chrono::duration_cast<SteadyClock::duration>(options_.latencyTimer);
    auto heldUntil = SteadyClock::time_point::min(); // when the held answers go out
    std::array<std::uint8_t, 256> buffer{};
    bool hungUp = false;
    for (;;) {
        auto now = SteadyClock::now();
        while (!due.empty() && due.front().first <= now) {
            writeByte(due.front().second);
            due.pop_front();
        }
        if (now >= nextStray) {
            writeByte(static_cast<std::uint8_t>(random.next()));
            nextStray = now + strayInterval();
        }

        const auto wakeAt = std::min(due.empty() ? SteadyClock::time_point::max() : due.front().first, nextStray);
        std::optional<timespec> timeout;
        if (wakeAt != SteadyClock::time_point::max()) {
            timeout = toTimespec(wakeAt - now);
        }
        // After a hang-up report (which cannot happen while slave_ is open)
        // only time and the wake pipe are watched, so the loop cannot spin.
        std::array<pollfd, 2> fds{pollfd{wakeRead_, POLLIN, 0}, pollfd{hungUp ? -1 : master_, POLLIN, 0}};
        if (::ppoll(fds.data(), fds.size(), timeout ? &*timeout : nullptr, nullptr) < 0 && errno != EINTR) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        const ssize_t got = ::read(master_, buffer.data(), buffer.size());
        if (got <= 0) {
            hungUp = got == 0 || (errno != EAGAIN && errno != EINTR);
            continue;
        }
        now = SteadyClock::now();
        const auto delay = std::chrono::duration_cast<SteadyClock::duration>(options_.byteTime + line_.replyDelay());
        for (ssize_t i = 0; i < got; ++i) {
            const std::uint8_t byte = buffer[static_cast<std::size_t>(i)];
            if (const auto answer = line_.exchange(byte)) {
                // Kept in order even if the delay was shortened meanwhile.
                auto at = due.empty() ? now + delay : std::max(now + delay, due.back().first);
                if (latency > SteadyClock::duration::zero()) {
                    if (at > heldUntil) {
                        heldUntil = at + latency; // the first byte held starts the timer
                    }
                    at = heldUntil;
                }
                due.emplace_back(at, *answer);
                // The third byte of "Simple" occurs nowhere else in what a
                // computer sends, so a frame is surely under way.
                if (byte == kFramePreamble[2] && strayPending_.exchange(false)) {
                    due.emplace_back(at, kStrayByte);
                }
            }
        }
    }
}

}  // namespace pondus::sim
