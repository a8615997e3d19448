#include "balance_sim/protocol.h"

#include <algorithm>
#include <cmath>

namespace pondus::sim {

namespace {

constexpr std::array<std::string_view, 8> kUnitSymbols{"g", "ct", "%", "pc", "mg", "kg", "o", "ot"};

}  // namespace

Frame makeRequest(Command command, std::uint8_t position)
{
    Frame frame{};
    std::copy(kFramePreamble.begin(), kFramePreamble.end(), frame.begin());
    frame[6] = static_cast<std::uint8_t>(command);
    frame[7] = position;
    return frame;
}

Frame makeReply(std::uint8_t status, std::uint32_t value24, std::uint8_t position)
{
    Frame reply{};
    reply[3] = status;
    reply[4] = static_cast<std::uint8_t>(value24 >> 16);
    reply[5] = static_cast<std::uint8_t>(value24 >> 8);
    reply[6] = static_cast<std::uint8_t>(value24);
    reply[7] = position;
    reply[0] = reply[5];
    reply[1] = reply[6];
    reply[2] = static_cast<std::uint8_t>(0u - (reply[0] + reply[1] + reply[3] + reply[4]));
    return reply;
}

bool replyValid(const Frame& reply, std::uint8_t position)
{
    auto sum = [&](std::size_t first) {
        unsigned total = 0;
        for (std::size_t i = first; i < first + 5; ++i) {
            total += reply[i];
        }
        return total % 256u;
    };
    return sum(0) == 0 && sum(1) == 0 && sum(2) == 0 && reply[7] == position;
}

std::optional<Unit> unitFromSymbol(std::string_view symbol)
{
    for (std::size_t i = 0; i < kUnitSymbols.size(); ++i) {
        if (kUnitSymbols[i] == symbol) {
            return static_cast<Unit>(i);
        }
    }
    return std::nullopt;
}

Reading Reading::fromValue(double value, int decimals, Unit unit, bool stable)
{
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    const double scaled = std::round(value * std::pow(10.0, decimals));
    const double clamped = std::clamp(scaled, double(kRawMin), double(kRawMax));
    return Reading{static_cast<std::int32_t>(clamped), decimals, unit, stable};
}

std::uint8_t statusByte(const Reading& reading)
{
    const int code = kMaxDecimals - std::clamp(reading.decimals, 0, kMaxDecimals);
    return static_cast<std::uint8_t>((reading.stable ? 0x80 : 0x00) |
                                     ((static_cast<unsigned>(reading.unit) & 7u) << 4) |
                                     static_cast<unsigned>(code));
}

std::uint32_t encodeRaw(std::int32_t raw)
{
    return static_cast<std::uint32_t>(std::clamp(raw, kRawMin, kRawMax)) & 0xFFFFFFu;
}

Frame identifyReply(Kind kind, std::uint8_t position)
{
    std::uint8_t letter = 'X';
    if (kind == Kind::One) {
        letter = 'S';
    } else if (kind == Kind::Two) {
        letter = 'H';
    }
    return makeReply(letter, std::uint32_t{'q'} << 16, position);
}

Frame modelReply(std::uint8_t modelStatus, std::uint32_t ident, std::uint8_t position)
{
    return makeReply(modelStatus, ident & 0xFFFFFFu, position);
}

Frame weightReply(const Reading& reading, std::uint8_t position)
{
    return makeReply(statusByte(reading), encodeRaw(reading.raw), position);
}

LineEvent RequestParser::feed(std::uint8_t byte)
{
    LineEvent event;
    if (byte == kCountByte && zeroRun_ >= kSyncZeros) {
        event.type = LineEvent::Type::CountByte;
    }
    zeroRun_ = byte == 0 ? zeroRun_ + 1 : 0;

    if (filled_ == window_.size()) {
        std::copy(window_.begin() + 1, window_.end(), window_.begin());
        --filled_;
    }
    window_[filled_++] = byte;
    if (filled_ == window_.size() &&
        std::equal(kFramePreamble.begin(), kFramePreamble.end(), window_.begin())) {
        event.type = LineEvent::Type::FrameEnd;
        event.command = window_[6];
        event.position = window_[7];
        filled_ = 0;
    }
    return event;
}

void RequestParser::reset()
{
    filled_ = 0;
    zeroRun_ = 0;
}

}  // namespace pondus::sim
