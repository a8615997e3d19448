// The serial link: one port, its line settings, and the byte exchange on
// which the balance protocol rests. Every byte written is answered by one
// byte coming back on the line, which takes its place in the buffer.
#pragma once

#include "ByteExchanger.h"
#include "SerialDevice.h"

#include <functional>
#include <memory>
#include <string>

namespace trutina {

class ScaleLink : public ByteExchanger {
public:
    using Clock = std::function<SteadyClock::time_point()>;

    explicit ScaleLink(std::unique_ptr<SerialDevice> device, Clock clock = SteadyClock::now);

    // Closes any open port first; true when the port is open and set up.
    bool openPort(const std::string &portName);
    // Discards waiting input; false when input keeps coming past the time-out.
    bool drainInput();
    bool exchange(uint8_t *buffer, int length) override;
    bool settle(std::chrono::microseconds quiet) override;
    void close();

    // Wakes any wait of the exchange for good (used when stopping).
    void interrupt();
    // Ends the exchange in progress, or else the next one, as failed.
    void cancelExchange();

    static constexpr std::chrono::milliseconds timeout{1000};

private:
    // Waits for the reply to one written byte; true when it took its place.
    bool awaitReply(uint8_t &byte, SteadyClock::time_point deadline);

    std::unique_ptr<SerialDevice> device_;
    Clock clock_;
};

} // namespace trutina
