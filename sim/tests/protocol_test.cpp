#include "balance_sim/protocol.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pondus::sim {
namespace {

TEST(Protocol, RequestIsPreambleCommandAndPosition)
{
    const Frame frame = makeRequest(Command::Weight, 7);
    EXPECT_EQ(frame, (Frame{0x53, 0x69, 0x6D, 0x70, 0x6C, 0x65, 0x47, 7}));
    EXPECT_EQ(makeRequest(Command::None, 3)[6], 0x00);
    EXPECT_EQ(makeRequest(Command::Identify, 1)[6], 0xA5);
    EXPECT_EQ(makeRequest(Command::Model, 1)[6], 0x7C);
}

TEST(Protocol, EveryReplyPassesTheSumCheck)
{
    std::mt19937 random(42);
    for (int i = 0; i < 5000; ++i) {
        const auto status = std::uint8_t(random());
        const auto value = std::uint32_t(random()) & 0xFFFFFFu;
        const auto position = std::uint8_t(1 + random() % 15);
        const Frame reply = makeReply(status, value, position);
        ASSERT_TRUE(replyValid(reply, position));
        EXPECT_EQ(reply[3], status);
        EXPECT_EQ(std::uint32_t(reply[4] << 16 | reply[5] << 8 | reply[6]), value);
    }
}

TEST(Protocol, CheckRejectsAnotherPositionAndAnyChangedByte)
{
    const Frame reply = makeReply(0x94, 123456, 4);
    EXPECT_FALSE(replyValid(reply, 5));
    for (std::size_t i = 0; i < 7; ++i) {
        Frame changed = reply;
        changed[i] = std::uint8_t(changed[i] + 1);
        EXPECT_FALSE(replyValid(changed, 4)) << "byte " << i;
    }
}

TEST(Protocol, EchoedRequestIsNoValidReply)
{
    for (int p = 1; p <= kMaxPosition; ++p) {
        EXPECT_FALSE(replyValid(makeRequest(Command::Weight, std::uint8_t(p)), std::uint8_t(p)));
    }
}

TEST(Protocol, StatusByteCarriesStabilityUnitAndDivisorCode)
{
    EXPECT_EQ(statusByte(Reading{1234, 2, Unit::Carat, true}), 0x94);
    EXPECT_EQ(statusByte(Reading{0, 0, Unit::Gram, false}), 0x06);
    EXPECT_EQ(statusByte(Reading{0, 6, Unit::TroyOunce, true}), 0xF0);
    EXPECT_EQ(statusByte(Reading{0, 3, Unit::Kilogram, false}), 0x53);
    // Out of range decimals are clamped rather than spilling into other bits.
    EXPECT_EQ(statusByte(Reading{0, 9, Unit::Gram, false}), 0x00);
    EXPECT_EQ(statusByte(Reading{0, -1, Unit::Gram, false}), 0x06);
}

TEST(Protocol, RawValuesAreSigned24Bit)
{
    EXPECT_EQ(encodeRaw(-2), 0xFFFFFEu);
    EXPECT_EQ(encodeRaw(kRawMax), 0x7FFFFFu);
    EXPECT_EQ(encodeRaw(kRawMin), 0x800000u);
    EXPECT_EQ(encodeRaw(kRawMax + 10), 0x7FFFFFu);
    EXPECT_EQ(encodeRaw(kRawMin - 10), 0x800000u);

    const Frame reply = weightReply(Reading{-2, 0, Unit::Gram, true}, 1);
    EXPECT_EQ(reply[4], 0xFF);
    EXPECT_EQ(reply[5], 0xFF);
    EXPECT_EQ(reply[6], 0xFE);
    EXPECT_TRUE(replyValid(reply, 1));
}

TEST(Protocol, ReadingFromValueRoundsAndClamps)
{
    EXPECT_EQ(Reading::fromValue(12.346, 2, Unit::Gram, true).raw, 1235);
    EXPECT_EQ(Reading::fromValue(-0.004, 3, Unit::Gram, true).raw, -4);
    EXPECT_EQ(Reading::fromValue(1e12, 0, Unit::Gram, true).raw, kRawMax);
    EXPECT_EQ(Reading::fromValue(-1e12, 0, Unit::Gram, true).raw, kRawMin);
    EXPECT_EQ(Reading::fromValue(1.5, 8, Unit::Gram, true).decimals, 6);
}

TEST(Protocol, IdentifyAndModelReplies)
{
    const Frame one = identifyReply(Kind::One, 3);
    EXPECT_EQ(one[3], 'S');
    EXPECT_EQ(one[4], 'q');
    EXPECT_TRUE(replyValid(one, 3));
    EXPECT_EQ(identifyReply(Kind::Two, 3)[3], 'H');
    EXPECT_NE(identifyReply(Kind::Unknown, 3)[3], 'S');
    EXPECT_NE(identifyReply(Kind::Unknown, 3)[3], 'H');

    const Frame model = modelReply(0x0D, 0xABCDEF, 9);
    EXPECT_TRUE(replyValid(model, 9));
    EXPECT_EQ(model[3], 0x0D);
    EXPECT_EQ(model[4], 0xAB);
    EXPECT_EQ(model[5], 0xCD);
    EXPECT_EQ(model[6], 0xEF);
}

TEST(Protocol, UnitSymbolsInCodeOrder)
{
    const std::vector<std::string_view> symbols{"g", "ct", "%", "pc", "mg", "kg", "o", "ot"};
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        EXPECT_EQ(unitFromSymbol(symbols[i]), Unit(i));
    }
    EXPECT_FALSE(unitFromSymbol("lb"));
}

std::vector<LineEvent> feedAll(RequestParser& parser, const std::vector<std::uint8_t>& bytes)
{
    std::vector<LineEvent> events;
    for (const auto byte : bytes) {
        events.push_back(parser.feed(byte));
    }
    return events;
}

TEST(RequestParser, FrameEndsOnItsLastByte)
{
    RequestParser parser;
    const Frame frame = makeRequest(Command::Weight, 5);
    const auto events = feedAll(parser, {frame.begin(), frame.end()});
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(events[i].type, LineEvent::Type::Plain);
    }
    EXPECT_EQ(events[7].type, LineEvent::Type::FrameEnd);
    EXPECT_EQ(events[7].command, 0x47);
    EXPECT_EQ(events[7].position, 5);
}

TEST(RequestParser, FindsFramesAfterStrayBytesAndBackToBack)
{
    RequestParser parser;
    std::vector<std::uint8_t> bytes{0x11, 'S', 0x22, 'S', 'i'};
    for (int i = 0; i < 3; ++i) {
        const Frame frame = makeRequest(Command::Model, std::uint8_t(i + 1));
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    int frames = 0;
    for (const auto& event : feedAll(parser, bytes)) {
        if (event.type == LineEvent::Type::FrameEnd) {
            ++frames;
            EXPECT_EQ(event.position, frames);
        }
    }
    EXPECT_EQ(frames, 3);
}

TEST(RequestParser, CountByteNeedsSixteenZerosFirst)
{
    RequestParser parser;
    std::vector<std::uint8_t> bytes(15, 0x00);
    bytes.push_back(kCountByte);
    EXPECT_EQ(feedAll(parser, bytes).back().type, LineEvent::Type::Plain);

    bytes.assign(16, 0x00);
    bytes.push_back(kCountByte);
    EXPECT_EQ(feedAll(parser, bytes).back().type, LineEvent::Type::CountByte);

    // Another value after the zeros is not the count byte, and it ends the run.
    bytes.assign(20, 0x00);
    bytes.push_back(0x02);
    bytes.push_back(kCountByte);
    const auto events = feedAll(parser, bytes);
    EXPECT_EQ(events[20].type, LineEvent::Type::Plain);
    EXPECT_EQ(events[21].type, LineEvent::Type::Plain);
}

}  // namespace
}  // namespace pondus::sim
