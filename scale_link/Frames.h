// Frames of the balance line: eight-byte requests "Simple" + command +
// position, and the checks and decoding of the eight-byte replies.
#pragma once

#include <array>
#include <cstdint>

namespace trutina {

using Frame = std::array<uint8_t, 8>;

enum class Command : uint8_t {
    Identify = 0xA5,
    Model = 0x7C,
    Weight = 0x47,
    None = 0x00, // closes a scan pass
};

Frame makeRequest(Command command, int position);

// True when the three running sums of the reply are zero and byte 7 names
// the position that the reply is expected from.
bool isValidReply(const Frame &reply, int expectedPosition);

// Kind reported by an identification reply: 1, 2, or 100 when unknown.
int32_t kindFromIdentifyReply(const Frame &reply);

// Model code for a balance of the given kind from the status byte of its
// model reply: 300..311 for kind 1, 400..404 for kind 2, 100 otherwise.
int32_t modelCodeFor(int32_t kind, uint8_t status);

// The unsigned 24-bit number in bytes 4..6.
int32_t unsigned24(const Frame &reply);

struct WeightReading {
    int32_t stableFlag;
    int32_t unitCode;
    int32_t divisor;
    int32_t rawValue;
};

WeightReading decodeWeight(const Frame &reply);

} // namespace trutina
