// An in-memory serial port on a simulated clock: each written byte may be
// answered after a chosen delay, and waiting advances the clock instead of
// sleeping, so time-outs are tested exactly and at once.
#pragma once

#include "SerialDevice.h"

#include <deque>
#include <functional>
#include <optional>

namespace trutina::testing {

class FakeSerialDevice : public SerialDevice {
public:
    struct Reply {
        uint8_t byte;
        std::chrono::milliseconds delay{0};
    };
    using Responder = std::function<std::optional<Reply>(uint8_t written)>;

    explicit FakeSerialDevice(SteadyClock::time_point &now) : now_(now) {}

    Responder respond = [](uint8_t byte) { return Reply{byte}; };
    int writeResult = 1;      // what a write reports as written
    bool failed = false;      // the device has gone away
    bool endlessInput = false; // input keeps arriving, one byte every 10 ms
    std::vector<uint8_t> written;

    void arriveNow(uint8_t byte) { incoming_.push_back({now_, byte}); }

    OpenResult open(const std::string &) override
    {
        open_ = true;
        return OpenResult::Opened;
    }
    int lastError() const override { return 0; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }

    int inputCount() override
    {
        if (failed)
            return -1;
        if (endlessInput)
            return 1;
        int count = 0;
        for (const auto &pending : incoming_)
            count += pending.at <= now_;
        return count;
    }

    int read(uint8_t *buffer, int size) override
    {
        if (failed)
            return -1;
        int got = 0;
        if (endlessInput) {
            now_ += std::chrono::milliseconds(10);
            buffer[got++] = 0xEE;
            return got;
        }
        while (got < size && !incoming_.empty() && incoming_.front().at <= now_) {
            buffer[got++] = incoming_.front().byte;
            incoming_.pop_front();
        }
        return got;
    }

    int writeByte(uint8_t byte, SteadyClock::time_point) override
    {
        if (failed)
            return -1;
        if (writeResult <= 0)
            return writeResult;
        written.push_back(byte);
        if (const auto reply = respond(byte))
            incoming_.push_back({now_ + reply->delay, reply->byte});
        return 1;
    }

    WaitResult waitReadable(SteadyClock::time_point deadline) override
    {
        if (failed)
            return WaitResult::Failed;
        if (!incoming_.empty() && incoming_.front().at <= deadline) {
            now_ = std::max(now_, incoming_.front().at);
            return WaitResult::Ready;
        }
        now_ = std::max(now_, deadline);
        return WaitResult::TimedOut;
    }

    void interrupt() override {}
    void cancelWait() override {}

private:
    struct Pending {
        SteadyClock::time_point at;
        uint8_t byte;
    };
    SteadyClock::time_point &now_;
    std::deque<Pending> incoming_;
    bool open_ = false;
};

} // namespace trutina::testing
