#include "FakeSerialDevice.h"
#include "ScaleLink.h"

#include <gtest/gtest.h>

namespace trutina {
namespace {

using namespace std::chrono_literals;
using testing::FakeSerialDevice;

class ScaleLinkTest : public ::testing::Test {
protected:
    ScaleLinkTest()
    {
        auto device = std::make_unique<FakeSerialDevice>(now);
        fake = device.get();
        link = std::make_unique<ScaleLink>(std::move(device), [this] { return now; });
    }

    SteadyClock::time_point now{};
    FakeSerialDevice *fake = nullptr;
    std::unique_ptr<ScaleLink> link;
};

TEST_F(ScaleLinkTest, EachByteIsReplacedByItsReply)
{
    fake->respond = [](uint8_t byte) { return FakeSerialDevice::Reply{static_cast<uint8_t>(byte + 1), 3ms}; };
    uint8_t buffer[3] = {1, 2, 3};
    ASSERT_TRUE(link->exchange(buffer, 3));
    EXPECT_EQ((std::vector<uint8_t>{2, 3, 4}), std::vector<uint8_t>(buffer, buffer + 3));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), fake->written);
}

TEST_F(ScaleLinkTest, StaleInputIsDiscardedBeforeTheFirstByte)
{
    fake->arriveNow(0xAA);
    fake->arriveNow(0xBB);
    uint8_t buffer[2] = {0x10, 0x20};
    ASSERT_TRUE(link->exchange(buffer, 2));
    EXPECT_EQ(0x10, buffer[0]);
    EXPECT_EQ(0x20, buffer[1]);
}

TEST_F(ScaleLinkTest, EmptyExchangeOnlyDrains)
{
    fake->arriveNow(0xAA);
    EXPECT_TRUE(link->exchange(nullptr, 0));
    EXPECT_EQ(0, fake->inputCount());
    EXPECT_TRUE(fake->written.empty());

    fake->endlessInput = true;
    EXPECT_FALSE(link->exchange(nullptr, 0)) << "input that never stops fails the drain";
    EXPECT_TRUE(fake->written.empty());
}

TEST_F(ScaleLinkTest, ReplyIsAcceptedUpToOneSecondAfterItsWrite)
{
    fake->respond = [](uint8_t byte) { return FakeSerialDevice::Reply{byte, 1000ms}; };
    uint8_t buffer[2] = {5, 6};
    EXPECT_TRUE(link->exchange(buffer, 2));

    fake->respond = [](uint8_t byte) {
        return FakeSerialDevice::Reply{static_cast<uint8_t>(~byte), byte == 6 ? 1001ms : 1ms};
    };
    uint8_t late[3] = {5, 6, 7};
    const auto start = now;
    EXPECT_FALSE(link->exchange(late, 3));
    EXPECT_EQ(uint8_t(~5), late[0]) << "bytes before the late one keep their replies";
    EXPECT_EQ(6, late[1]);
    EXPECT_EQ(7, late[2]);
    EXPECT_EQ((std::vector<uint8_t>{5, 6, 5, 6}), fake->written) << "nothing is sent after the late byte";
    EXPECT_LE(now - start, 1002ms);
}

TEST_F(ScaleLinkTest, MissingReplyFailsAfterTheTimeOut)
{
    fake->respond = [](uint8_t) { return std::nullopt; };
    uint8_t buffer[1] = {0};
    const auto start = now;
    EXPECT_FALSE(link->exchange(buffer, 1));
    EXPECT_EQ(1000ms, now - start);
}

TEST_F(ScaleLinkTest, ByteThatWasNotWrittenAwaitsNoReply)
{
    fake->writeResult = 0;
    uint8_t buffer[2] = {0x31, 0x32};
    EXPECT_TRUE(link->exchange(buffer, 2));
    EXPECT_EQ(0x31, buffer[0]);
    EXPECT_EQ(0x32, buffer[1]);
    EXPECT_EQ(SteadyClock::time_point{}, now);
}

TEST_F(ScaleLinkTest, VanishedDeviceFailsAtOnce)
{
    fake->respond = [this](uint8_t) {
        fake->failed = true; // unplugged while the reply is awaited
        return std::optional<FakeSerialDevice::Reply>{};
    };
    uint8_t buffer[2] = {0, 0};
    EXPECT_FALSE(link->exchange(buffer, 2));
    EXPECT_EQ(SteadyClock::time_point{}, now) << "no time-out is waited out";
    EXPECT_FALSE(link->exchange(buffer, 2)) << "and the drain of the next frame fails too";
}

TEST_F(ScaleLinkTest, SettlingWaitsForTheLateReplyAndThrowsItAway)
{
    fake->respond = [](uint8_t byte) { return FakeSerialDevice::Reply{byte, 5ms}; };
    ASSERT_EQ(1, fake->writeByte(0x42, now + 1s)); // its reply is still on the way
    const auto start = now;
    EXPECT_TRUE(link->settle(10ms));
    EXPECT_EQ(0, fake->inputCount());
    EXPECT_GE(now - start, 15ms) << "quiet for the whole time after the last byte";

    fake->endlessInput = true;
    EXPECT_FALSE(link->settle(10ms)) << "a line that never falls quiet";
}

} // namespace
} // namespace trutina
