// The computer's side of the balance line, written from the protocol as the
// scale link library follows it, so that the tests check the simulator
// against what its real client expects. Works over any byte exchange: a Line
// directly or a terminal opened like a serial port.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "balance_sim/protocol.h"

namespace pondus::sim::testing {

struct Tables {
    std::array<int, 16> modelCode{};
    std::array<int, 16> ident{};
    std::array<int, 16> readingCount{};
    std::array<int, 16> stable{};
    std::array<int, 16> unit{};
    std::array<int, 16> divisor{};
    std::array<int, 16> raw{};

    Tables()
    {
        modelCode.fill(100);
        unit.fill(100);
        divisor.fill(1);
    }
};

inline int kind1Model(int nibble)
{
    static constexpr std::array<int, 16> codes{300, 301, 302, 303, 304, 305, 100, 100,
                                               306, 307, 308, 309, 310, 311, 100, 100};
    return codes[static_cast<std::size_t>(nibble & 0x0F)];
}

inline int kind2Model(int bits)
{
    bits &= 0x07;
    return bits <= 4 ? 400 + bits : 100;
}

class Host {
public:
    using Exchange = std::function<std::optional<std::uint8_t>(std::uint8_t)>;

    explicit Host(Exchange exchange) : exchange_(std::move(exchange)) {}

    // Exchanges the frame in place; false as soon as a byte goes unanswered.
    bool exchangeFrame(Frame& frame)
    {
        for (auto& byte : frame) {
            const auto back = exchange_(byte);
            if (!back) {
                return false;
            }
            byte = *back;
        }
        return true;
    }

    // The counting handshake. Returns the count (reply - 1, whatever it is),
    // or nothing when a byte went unanswered or no run of zeros came back.
    std::optional<int> count()
    {
        int zeros = 0;
        bytesBeforeRun = 0;
        for (int sent = 1; sent <= 34; ++sent) {
            const auto back = exchange_(0x00);
            if (!back) {
                return std::nullopt;
            }
            zeros = *back == 0 ? zeros + 1 : 0;
            if (zeros == kSyncZeros) {
                bytesBeforeRun = sent - kSyncZeros;
                const auto reply = exchange_(kCountByte);
                if (!reply) {
                    return std::nullopt;
                }
                balanceCount = int(*reply) - 1;
                return balanceCount;
            }
        }
        return std::nullopt;
    }

    bool scanPass(Command command)
    {
        const int n = balanceCount;
        for (int i = n; i >= 0; --i) {
            Frame frame = i == 0 ? makeRequest(Command::None, std::uint8_t(n))
                                 : makeRequest(command, std::uint8_t(i));
            if (!exchangeFrame(frame)) {
                return false;
            }
            if (i == n) {
                continue;
            }
            const int p = i + 1;
            const bool valid = replyValid(frame, std::uint8_t(p));
            if (command == Command::Identify) {
                tables.modelCode[p] = 100;
                if (valid && frame[3] == 'S' && frame[4] == 'q') {
                    tables.modelCode[p] = 1;
                } else if (valid && frame[3] == 'H' && frame[4] == 'q') {
                    tables.modelCode[p] = 2;
                }
            } else {
                tables.ident[p] = 0;
                const int kind = tables.modelCode[p];
                if (valid && (kind == 1 || kind == 2)) {
                    tables.ident[p] = frame[4] * 65536 + frame[5] * 256 + frame[6];
                    tables.modelCode[p] = kind == 1 ? kind1Model(frame[3]) : kind2Model(frame[3]);
                }
            }
        }
        return true;
    }

    bool scan() { return scanPass(Command::Identify) && scanPass(Command::Model); }

    // count and scan, then the poll cursor starts over.
    bool setUp()
    {
        const auto n = count();
        if (!n || *n < 1 || *n > kMaxPosition || !scan()) {
            return false;
        }
        last_ = n.value();
        before_ = 0;
        return true;
    }

    // One weight frame; false when it went unanswered.
    bool pollStep()
    {
        const bool decode = last_ <= before_;
        before_ = last_;
        last_ = decode && last_ >= 2 ? last_ - 1 : balanceCount;
        addressed.push_back(last_);
        Frame frame = makeRequest(Command::Weight, std::uint8_t(last_));
        if (!exchangeFrame(frame)) {
            return false;
        }
        if (!decode) {
            return true;
        }
        const int p = before_;
        if (!replyValid(frame, std::uint8_t(p))) {
            ++invalidReplies;
            return true;
        }
        const std::uint8_t status = frame[3];
        tables.readingCount[p] += 1;
        tables.stable[p] = status >> 7;
        tables.unit[p] = 200 + ((status >> 4) & 7);
        const int code = status & 7;
        int divisor = 1;
        for (int k = 0; code <= 6 && k < 6 - code; ++k) {
            divisor *= 10;
        }
        tables.divisor[p] = divisor;
        int raw = frame[4] * 65536 + frame[5] * 256 + frame[6];
        if (frame[4] >= 128) {
            raw -= 16777216;
        }
        tables.raw[p] = raw;
        return true;
    }

    bool poll(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            if (!pollStep()) {
                return false;
            }
        }
        return true;
    }

    double weight(int p) const { return double(tables.raw[p]) / tables.divisor[p]; }

    // Readings decoded for all positions together.
    int readingCount() const
    {
        int total = 0;
        for (const int count : tables.readingCount) {
            total += count;
        }
        return total;
    }

    Tables tables;
    int balanceCount = 0;
    int bytesBeforeRun = 0;
    int invalidReplies = 0;
    std::vector<int> addressed;

private:
    Exchange exchange_;
    int last_ = 0;
    int before_ = 0;
};

// A terminal opened and set up the way the library opens a serial port.
class PortClient {
public:
    explicit PortClient(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0) {
            termios settings{};
            ::tcgetattr(fd_, &settings);
            ::cfmakeraw(&settings);
            ::cfsetispeed(&settings, B19200);
            ::cfsetospeed(&settings, B19200);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~PortClient()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // True when the other end has gone: poll reports a hang-up or the read
    // an error, within the timeout.
    bool hungUp(std::chrono::milliseconds timeout)
    {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, int(timeout.count())) != 1) {
            return false;
        }
        std::uint8_t byte = 0;
        return (fd.revents & (POLLHUP | POLLERR)) != 0 || ::read(fd_, &byte, 1) <= 0;
    }

    int waiting() const
    {
        int count = 0;
        ::ioctl(fd_, FIONREAD, &count);
        return count;
    }

    // One byte within the timeout, or nothing.
    std::optional<std::uint8_t> readByte(std::chrono::milliseconds timeout)
    {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, int(timeout.count())) != 1) {
            return std::nullopt;
        }
        std::uint8_t byte = 0;
        if (::read(fd_, &byte, 1) != 1) {
            return std::nullopt;
        }
        return byte;
    }

    // Throws away what waits, as the library does before each frame.
    void drain()
    {
        while (readByte(std::chrono::milliseconds{20})) {
        }
    }

    std::optional<std::uint8_t> exchange(std::uint8_t byte,
                                         std::chrono::milliseconds timeout = std::chrono::milliseconds{1000})
    {
        if (::write(fd_, &byte, 1) != 1) {
            return std::nullopt;
        }
        return readByte(timeout);
    }

    Host host()
    {
        return Host([this](std::uint8_t byte) { return exchange(byte); });
    }

private:
    int fd_ = -1;
};

}  // namespace pondus::sim::testing
