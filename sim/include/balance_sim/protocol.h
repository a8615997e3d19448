// Byte-level vocabulary of the balance line: request frames, the replies the
// balances put on the line, and the status byte of a weight reading.
//
// Every reply is eight bytes b0..b7. The receiving side accepts it when
//   b0+b1+b2+b3+b4, b1+b2+b3+b4+b5 and b2+b3+b4+b5+b6 are 0 modulo 256
// and b7 is the position that was asked. Those three sums leave no freedom
// in b0..b2 once b3..b6 are chosen: b0 = b5, b1 = b6, b2 = -(b0+b1+b3+b4).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pondus::sim {

inline constexpr std::size_t kFrameSize = 8;
inline constexpr std::array<std::uint8_t, 6> kFramePreamble{'S', 'i', 'm', 'p', 'l', 'e'};

// Positions along the line that a frame can address.
inline constexpr int kMaxPosition = 15;

// The counting handshake: this many 0x00 bytes in a row, then kCountByte.
// Each balance on the line adds one to the count byte as it passes.
inline constexpr int kSyncZeros = 16;
inline constexpr std::uint8_t kCountByte = 0x01;

enum class Command : std::uint8_t {
    None = 0x00,      // closing frame of a scan pass; nobody answers
    Identify = 0xA5,  // kind of the balance
    Model = 0x7C,     // model and identification number
    Weight = 0x47,    // current weight
};

using Frame = std::array<std::uint8_t, kFrameSize>;

// "Simple", command, position.
Frame makeRequest(Command command, std::uint8_t position);

// A reply with the given status byte and 24-bit value (b4 most significant),
// answering position; b0..b2 are filled so that the sum check holds.
Frame makeReply(std::uint8_t status, std::uint32_t value24, std::uint8_t position);

// The receiving side's acceptance rule.
bool replyValid(const Frame& reply, std::uint8_t position);

// Units in the order of their codes on the line (bits 6..4 of the status byte).
enum class Unit : std::uint8_t {
    Gram = 0,
    Carat = 1,
    Percent = 2,
    Piece = 3,
    Milligram = 4,
    Kilogram = 5,
    Ounce = 6,
    TroyOunce = 7,
};

// From "g", "ct", "%", "pc", "mg", "kg", "o", "ot".
std::optional<Unit> unitFromSymbol(std::string_view symbol);

inline constexpr std::int32_t kRawMin = -8388608;  // signed 24 bit
inline constexpr std::int32_t kRawMax = 8388607;
inline constexpr int kMaxDecimals = 6;

// One weight reading as a balance reports it: the weight is
// raw / 10^decimals in the given unit.
struct Reading {
    std::int32_t raw = 0;
    int decimals = 0;  // 0..6
    Unit unit = Unit::Gram;
    bool stable = true;

    // Rounds value to the given number of decimals; clamps to the 24-bit range.
    static Reading fromValue(double value, int decimals, Unit unit, bool stable);

    friend bool operator==(const Reading&, const Reading&) = default;
};

// bit 7 stable, bits 6..4 unit, bits 2..0 the divisor code 6 - decimals
// (the receiving side divides by 10^(6 - code)). decimals outside 0..6 are
// clamped.
std::uint8_t statusByte(const Reading& reading);

// raw clamped to the 24-bit range, as two's complement.
std::uint32_t encodeRaw(std::int32_t raw);

// What a balance of each kind answers to Identify: 'S','q' for kind 1,
// 'H','q' for kind 2, and 'X','q' for a device the receiver does not know.
enum class Kind : std::uint8_t { One, Two, Unknown };

Frame identifyReply(Kind kind, std::uint8_t position);

// modelStatus goes out as b3: kind 1 balances carry their model in its low
// nibble, kind 2 balances in its low three bits. ident is 24 bits.
Frame modelReply(std::uint8_t modelStatus, std::uint32_t ident, std::uint8_t position);

Frame weightReply(const Reading& reading, std::uint8_t position);

// What one byte sent by the computer means, seen by a device on the line.
struct LineEvent {
    enum class Type : std::uint8_t { Plain, CountByte, FrameEnd };
    Type type = Type::Plain;
    std::uint8_t command = 0;   // FrameEnd: the command byte of the frame
    std::uint8_t position = 0;  // FrameEnd: the position byte of the frame
};

// Follows the computer's byte stream. A frame ends with the byte that
// completes "Simple" + command + position; the count byte is kCountByte right
// after at least kSyncZeros zero bytes.
class RequestParser {
public:
    LineEvent feed(std::uint8_t byte);
    void reset();

private:
    Frame window_{};
    std::size_t filled_ = 0;
    int zeroRun_ = 0;
};

}  // namespace pondus::sim
