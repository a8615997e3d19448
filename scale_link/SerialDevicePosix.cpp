// Serial port over POSIX termios. "COM1".."COM4" name the devices in the
// environment variables TRUTINA_COM1..TRUTINA_COM4, else the devices the
// program assigned (SetPortDevice), else /dev/ttyS0..3.
//
// The port is held exclusively: TIOCEXCL keeps further opens of the terminal
// out, and an flock lock tells other programs that lock their ports (and
// processes running as root, which TIOCEXCL lets through) that it is taken.
// A process forked from the owner shares the descriptors but not the
// worker: it neither wakes the owner's waits nor releases its lock.
#include "PortDevices.h"
#include "SerialDevice.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace trutina {
namespace {

std::string devicePathFor(const std::string &portName, const PortDevices &assigned)
{
    if (const char *configured = std::getenv(("TRUTINA_" + portName).c_str());
        configured && *configured)
        return configured;
    if (portName.size() == 4 && portName.compare(0, 3, "COM") == 0 &&
        portName[3] >= '1' && portName[3] <= '4') {
        if (std::string device = assigned.deviceFor(portName[3] - '0'); !device.empty())
            return device;
        return "/dev/ttyS" + std::string(1, char(portName[3] - 1));
    }
    return {};
}

// Remaining time until the deadline as a timespec for ppoll (never negative).
timespec timeUntil(SteadyClock::time_point deadline)
{
    const auto left = std::max(deadline - SteadyClock::now(), SteadyClock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

bool isRetryable(int error) { return error == EINTR; }

class PosixSerialDevice final : public SerialDevice {
public:
    PosixSerialDevice() : owner_(::getpid())
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            wakeRead_ = fds[0];
            wakeWrite_ = fds[1];
        }
    }

    ~PosixSerialDevice() override
    {
        close();
        if (wakeRead_ >= 0) ::close(wakeRead_);
        if (wakeWrite_ >= 0) ::close(wakeWrite_);
    }

    OpenResult open(const std::string &portName) override
    {
        close();
        const std::string path = devicePathFor(portName, assigned_);
        forgetCancellation();
        if (path.empty()) {
            lastError_ = ENOENT;
            return OpenResult::NotOpened;
        }
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            lastError_ = errno;
            return OpenResult::NotOpened;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            lastError_ = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd_); // not ours to unlock or release: another program holds it
            fd_ = -1;
            return OpenResult::NotOpened;
        }
        // Refused by some devices; the lock above still keeps others out.
        ::ioctl(fd_, TIOCEXCL);
        if (!setUpLine()) {
            lastError_ = errno;
            return OpenResult::SetupFailed;
        }
        lastError_ = 0;
        requestLowLatency();
        return OpenResult::Opened;
    }

    int lastError() const override { return lastError_; }

    void close() override
    {
        if (fd_ < 0)
            return;
        // The lock and the exclusive mode belong to the open file, which a
        // forked child shares: only the owner gives them up.
        if (isOwner()) {
            ::ioctl(fd_, TIOCNXCL);
            ::flock(fd_, LOCK_UN);
        }
        ::close(fd_);
        fd_ = -1;
    }

    bool isOpen() const override { return fd_ >= 0; }

    int inputCount() override
    {
        if (fd_ < 0)
            return -1;
        int count = 0;
        if (::ioctl(fd_, FIONREAD, &count) != 0)
            return -1;
        return count;
    }

    int read(uint8_t *buffer, int size) override
    {
        if (fd_ < 0)
            return -1;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(size));
            if (got > 0)
                return static_cast<int>(got);
            if (got == 0)
                return -1; // end of file: the other side is gone
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            if (!isRetryable(errno))
                return -1;
        }
    }

    int writeByte(uint8_t byte, SteadyClock::time_point deadline) override
    {
        if (fd_ < 0)
            return -1;
        for (;;) {
            const ssize_t written = ::write(fd_, &byte, 1);
            if (written == 1)
                return 1;
            if (written < 0 && isRetryable(errno))
                continue;
            if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return -1;
            // Output queue full: wait for room like a synchronous write would.
            switch (waitFor(POLLOUT, deadline)) {
            case WaitResult::Ready: continue;
            case WaitResult::TimedOut: return 0;
            case WaitResult::Failed:
            case WaitResult::Interrupted: return -1;
            }
        }
    }

    WaitResult waitReadable(SteadyClock::time_point deadline) override
    {
        return waitFor(POLLIN, deadline);
    }

    void interrupt() override
    {
        stopped_.store(true);
        wake();
    }

    void cancelWait() override { wake(); }

private:
    bool isOwner() const { return ::getpid() == owner_; }

    // The pipe is shared with forked children, whose writes would wake the
    // owner's worker.
    void wake()
    {
        if (wakeWrite_ >= 0 && isOwner()) {
            const char wake = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &wake, 1);
        }
    }

    void forgetCancellation()
    {
        char discarded[16];
        while (wakeRead_ >= 0 && ::read(wakeRead_, discarded, sizeof discarded) > 0) {
        }
    }

    // Asks the driver to hand each received byte on at once rather than
    // after its latency timer (1 ms instead of 16 ms on many USB adapters).
    // Drivers without the setting, a pseudo-terminal among them, are fine.
    void requestLowLatency()
    {
#ifdef __linux__
        serial_struct serial{};
        if (::ioctl(fd_, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0)
            return;
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd_, TIOCSSERIAL, &serial);
#endif
    }

    bool setUpLine()
    {
        termios settings{};
        if (::tcgetattr(fd_, &settings) != 0)
            return false;
        // Raw 8N1 at 19200 baud. Software flow control is switched off as
        // well: the frames are binary and may hold the XON/XOFF codes.
        // Hardware flow control stays as the port had it.
        settings.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK);
        settings.c_oflag &= ~tcflag_t(OPOST);
        settings.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        settings.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB);
        settings.c_cflag |= CS8 | CREAD | CLOCAL;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (::cfsetispeed(&settings, B19200) != 0 || ::cfsetospeed(&settings, B19200) != 0)
            return false;
        if (::tcsetattr(fd_, TCSANOW, &settings) != 0)
            return false;
        // Hold DTR and RTS off. Devices without modem lines (pseudo-terminals,
        // some adapters) refuse the request; that is no failure.
        const int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd_, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL &&
            errno != ENOTSUP && errno != EIO)
            return false;
        return true;
    }

    WaitResult waitFor(short events, SteadyClock::time_point deadline)
    {
        for (;;) {
            if (stopped_.load())
                return WaitResult::Interrupted;
            pollfd fds[2] = {{fd_, events, 0}, {wakeRead_, POLLIN, 0}};
            const timespec timeout = timeUntil(deadline);
            const int ready = ::ppoll(fds, wakeRead_ >= 0 ? 2 : 1, &timeout, nullptr);
            if (ready < 0) {
                if (isRetryable(errno))
                    continue;
                return WaitResult::Failed;
            }
            if (wakeRead_ >= 0 && (fds[1].revents & POLLIN)) {
                if (!stopped_.load())
                    forgetCancellation(); // a cancellation ends one wait only
                return WaitResult::Interrupted;
            }
            if (fds[0].revents & events)
                return WaitResult::Ready;
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
                return WaitResult::Failed;
            if (ready == 0 && SteadyClock::now() >= deadline)
                return WaitResult::TimedOut;
        }
    }

    const pid_t owner_;
    // Taken when the device is made, so that the assignments are built
    // before the worker that owns this device and outlive it at unload.
    const PortDevices &assigned_ = portDevices();
    int fd_ = -1;
    int lastError_ = 0;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stopped_{false};
};

} // namespace

std::unique_ptr<SerialDevice> makePlatformSerialDevice()
{
    return std::make_unique<PosixSerialDevice>();
}

} // namespace trutina
