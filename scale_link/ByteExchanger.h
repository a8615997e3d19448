#pragma once

#include <chrono>
#include <cstdint>

namespace trutina {

// Sends each byte of the buffer and replaces it with the byte that comes
// back for it. False when a byte got no reply in time or the line failed.
class ByteExchanger {
public:
    virtual ~ByteExchanger() = default;
    virtual bool exchange(uint8_t *buffer, int length) = 0;
    // Waits until no byte has come in for `quiet`, discarding what comes;
    // false when the line did not fall quiet within the reply time-out.
    virtual bool settle(std::chrono::microseconds quiet) = 0;
};

} // namespace trutina
