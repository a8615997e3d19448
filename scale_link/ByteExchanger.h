#pragma once

#include <cstdint>

namespace trutina {

// Sends each byte of the buffer and replaces it with the byte that comes
// back for it. False when a byte got no reply in time or the line failed.
class ByteExchanger {
public:
    virtual ~ByteExchanger() = default;
    virtual bool exchange(uint8_t *buffer, int length) = 0;
};

} // namespace trutina
