// Four serial ports in memory for worker tests: a port either has a
// simulated balance line behind it or does not exist. Thread-safe, since
// the worker uses it while the test looks on. Waiting for a reply that
// will not come fails at once, unless the test holds the line, in which
// case the wait blocks until released, interrupted or cancelled.
#pragma once

#include "SerialDevice.h"
#include "balance_sim/line.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace trutina::testing {

class FakePorts : public SerialDevice {
public:
    using Line = pondus::sim::Line;

    void connect(const std::string &portName, std::shared_ptr<Line> line)
    {
        std::lock_guard lock(mutex_);
        lines_[portName] = std::move(line);
    }

    std::vector<std::string> opened() const
    {
        std::lock_guard lock(mutex_);
        return opened_;
    }

    // While held, a wait for a reply blocks; `waiting()` tells when the
    // worker has got there. A hold that ignores cancellations stands for a
    // step busy where no cancellation reaches it.
    void hold(bool held, bool cancellable = true)
    {
        {
            std::lock_guard lock(mutex_);
            held_ = held;
            holdCancellable_ = cancellable;
        }
        changed_.notify_all();
    }
    bool waiting() const
    {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

    OpenResult open(const std::string &portName) override
    {
        std::lock_guard lock(mutex_);
        opened_.push_back(portName);
        current_.reset();
        input_.clear();
        cancelled_ = false;
        const auto found = lines_.find(portName);
        if (found == lines_.end())
            return OpenResult::NotOpened;
        current_ = found->second;
        return OpenResult::Opened;
    }

    int lastError() const override { return 0; }

    void close() override
    {
        std::lock_guard lock(mutex_);
        current_.reset();
    }

    bool isOpen() const override
    {
        std::lock_guard lock(mutex_);
        return current_ != nullptr;
    }

    int inputCount() override
    {
        std::lock_guard lock(mutex_);
        return current_ ? static_cast<int>(input_.size()) : -1;
    }

    int read(uint8_t *buffer, int size) override
    {
        std::lock_guard lock(mutex_);
        if (!current_)
            return -1;
        int got = 0;
        for (; got < size && !input_.empty(); ++got) {
            buffer[got] = input_.front();
            input_.pop_front();
        }
        return got;
    }

    int writeByte(uint8_t byte, SteadyClock::time_point) override
    {
        std::lock_guard lock(mutex_);
        if (!current_)
            return -1;
        if (const auto reply = current_->exchange(byte))
            input_.push_back(*reply);
        return 1;
    }

    WaitResult waitReadable(SteadyClock::time_point) override
    {
        std::unique_lock lock(mutex_);
        waiting_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_ || interrupted_ || cancelled_; });
        waiting_ = false;
        if (interrupted_ || std::exchange(cancelled_, false))
            return WaitResult::Interrupted;
        return input_.empty() ? WaitResult::TimedOut : WaitResult::Ready;
    }

    void interrupt() override
    {
        {
            std::lock_guard lock(mutex_);
            interrupted_ = true;
        }
        changed_.notify_all();
    }

    void cancelWait() override
    {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = !held_ || holdCancellable_;
        }
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::shared_ptr<Line>> lines_;
    std::shared_ptr<Line> current_;
    std::deque<uint8_t> input_;
    std::vector<std::string> opened_;
    bool held_ = false;
    bool waiting_ = false;
    bool interrupted_ = false;
    bool cancelled_ = false;
    bool holdCancellable_ = true;
};

} // namespace trutina::testing
