#include "ScaleLink.h"

#include <algorithm>
#include <array>

namespace trutina {

ScaleLink::ScaleLink(std::unique_ptr<SerialDevice> device, Clock clock)
    : device_(std::move(device)), clock_(std::move(clock))
{
}

bool ScaleLink::openPort(const std::string &portName)
{
    return device_->open(portName) == SerialDevice::OpenResult::Opened;
}

void ScaleLink::close() { device_->close(); }


void ScaleLink::interrupt() { device_->interrupt(); }

void ScaleLink::cancelExchange() { device_->cancelWait(); }

bool ScaleLink::drainInput()
{
    const auto deadline = clock_() + timeout;
    std::array<uint8_t, 256> discarded;
    for (;;) {
        int waiting = device_->inputCount();
        if (waiting < 0)
            return false;
        if (waiting == 0)
            return true;
        while (waiting > 0) {
            const int got = device_->read(discarded.data(), std::min<int>(waiting, discarded.size()));
            if (got < 0)
                return false;
            if (got == 0)
                break;
            waiting -= got;
        }
        if (clock_() > deadline)
            return false;
    }
}

bool ScaleLink::exchange(uint8_t *buffer, int length)
{
    if (!drainInput())
        return false;
    for (int i = 0; i < length; ++i) {
        const int written = device_->writeByte(buffer[i], clock_() + timeout);
        if (written < 0)
            return false;
        if (written == 0)
            continue; // nothing went out, so nothing comes back
        if (!awaitReply(buffer[i], clock_() + timeout))
            return false;
    }
    return true;
}

bool ScaleLink::settle(std::chrono::microseconds quiet)
{
    const auto deadline = clock_() + timeout;
    for (;;) {
        if (!drainInput())
            return false;
        switch (device_->waitReadable(clock_() + quiet)) {
        case SerialDevice::WaitResult::TimedOut:
            return true;
        case SerialDevice::WaitResult::Ready:
            if (clock_() > deadline)
                return false;
            break;
        case SerialDevice::WaitResult::Failed:
        case SerialDevice::WaitResult::Interrupted:
            return false;
        }
    }
}

bool ScaleLink::awaitReply(uint8_t &byte, SteadyClock::time_point deadline)
{
    for (;;) {
        switch (device_->waitReadable(deadline)) {
        case SerialDevice::WaitResult::Ready:
            break;
        case SerialDevice::WaitResult::TimedOut:
            // A byte may have come in exactly at the deadline.
            return device_->read(&byte, 1) == 1;
        case SerialDevice::WaitResult::Failed:
        case SerialDevice::WaitResult::Interrupted:
            return false;
        }
        const int got = device_->read(&byte, 1);
        if (got == 1)
            return true;
        if (got < 0 || clock_() > deadline)
            return false;
    }
}

} // namespace trutina
