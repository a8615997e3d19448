#include "Frames.h"
#include "trutina.h"

#include <gtest/gtest.h>

namespace trutina {
namespace {

// A reply with the sums made right, as a balance would send it.
Frame reply(uint8_t status, uint8_t b4, uint8_t b5, uint8_t b6, uint8_t position)
{
    Frame frame{};
    frame[3] = status;
    frame[4] = b4;
    frame[5] = b5;
    frame[6] = b6;
    frame[0] = b5;
    frame[1] = b6;
    frame[2] = static_cast<uint8_t>(-(status + b4 + b5 + b6));
    frame[7] = position;
    return frame;
}

TEST(Frames, RequestIsSimpleCommandPosition)
{
    const Frame frame = makeRequest(Command::Weight, 7);
    EXPECT_EQ(Frame({0x53, 0x69, 0x6D, 0x70, 0x6C, 0x65, 0x47, 7}), frame);
}

TEST(Frames, ReplyCheckNeedsAllThreeSumsAndThePosition)
{
    const Frame good = reply(0x94, 0x12, 0x34, 0x56, 3);
    EXPECT_TRUE(isValidReply(good, 3));
    EXPECT_FALSE(isValidReply(good, 2));
    for (int byte = 0; byte < 7; ++byte) {
        Frame broken = good;
        broken[byte] ^= 0x01;
        EXPECT_FALSE(isValidReply(broken, 3)) << "byte " << byte;
    }
    EXPECT_FALSE(isValidReply(Frame{}, 1)); // all zeros sum right but name position 0
    EXPECT_TRUE(isValidReply(Frame{}, 0));
}

TEST(Frames, KindFromIdentifyReply)
{
    EXPECT_EQ(1, kindFromIdentifyReply(reply('S', 'q', 0, 0, 1)));
    EXPECT_EQ(2, kindFromIdentifyReply(reply('H', 'q', 0, 0, 1)));
    EXPECT_EQ(100, kindFromIdentifyReply(reply('H', 'Q', 0, 0, 1)));
    EXPECT_EQ(100, kindFromIdentifyReply(reply('s', 'q', 0, 0, 1)));
    EXPECT_EQ(100, kindFromIdentifyReply(reply('q', 'S', 0, 0, 1)));
}

TEST(Frames, ModelCodesOfBothKinds)
{
    const int32_t kind1[16] = {300, 301, 302, 303, 304, 305, 100, 100,
                               306, 307, 308, 309, 310, 311, 100, 100};
    for (int nibble = 0; nibble < 16; ++nibble) {
        EXPECT_EQ(kind1[nibble], modelCodeFor(1, static_cast<uint8_t>(nibble))) << nibble;
        EXPECT_EQ(kind1[nibble], modelCodeFor(1, static_cast<uint8_t>(0xF0 | nibble))) << "high bits ignored";
    }
    const int32_t kind2[8] = {400, 401, 402, 403, 404, 100, 100, 100};
    for (int bits = 0; bits < 8; ++bits) {
        EXPECT_EQ(kind2[bits], modelCodeFor(2, static_cast<uint8_t>(bits)));
        EXPECT_EQ(kind2[bits], modelCodeFor(2, static_cast<uint8_t>(0xF8 | bits)));
    }
    EXPECT_EQ(100, modelCodeFor(100, 0));
}

TEST(Frames, WeightValueIsSigned24Bit)
{
    EXPECT_EQ(-2, decodeWeight(reply(0, 0xFF, 0xFF, 0xFE, 1)).rawValue);
    EXPECT_EQ(8'388'607, decodeWeight(reply(0, 0x7F, 0xFF, 0xFF, 1)).rawValue);
    EXPECT_EQ(-8'388'608, decodeWeight(reply(0, 0x80, 0x00, 0x00, 1)).rawValue);
    EXPECT_EQ(0x123456, decodeWeight(reply(0, 0x12, 0x34, 0x56, 1)).rawValue);
}

TEST(Frames, WeightStatusByte)
{
    const WeightReading reading = decodeWeight(reply(0x94, 0, 0, 0, 1));
    EXPECT_EQ(1, reading.stableFlag);
    EXPECT_EQ(201, reading.unitCode);
    EXPECT_EQ(100, reading.divisor);

    const int32_t divisors[8] = {1'000'000, 100'000, 10'000, 1'000, 100, 10, 1, 1};
    for (int code = 0; code < 8; ++code)
        EXPECT_EQ(divisors[code], decodeWeight(reply(static_cast<uint8_t>(code), 0, 0, 0, 1)).divisor);
    EXPECT_EQ(0, decodeWeight(reply(0x70, 0, 0, 0, 1)).stableFlag);
    EXPECT_EQ(207, decodeWeight(reply(0x70, 0, 0, 0, 1)).unitCode);
}

} // namespace
} // namespace trutina
