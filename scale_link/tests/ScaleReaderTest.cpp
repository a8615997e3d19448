#include "FakePorts.h"
#include "ScaleReader.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

namespace trutina {
namespace {

using namespace std::chrono_literals;
using pondus::sim::BalanceConfig;
using pondus::sim::Kind;
using pondus::sim::Line;
using pondus::sim::Reading;
using pondus::sim::Unit;
using pondus::sim::WeightProfile;
using testing::FakePorts;
using testing::waitFor;

std::shared_ptr<Line> lineWith(int balances)
{
    std::vector<BalanceConfig> configs;
    for (int i = 1; i <= balances; ++i)
        configs.push_back({i % 2 ? Kind::One : Kind::Two, static_cast<uint8_t>(i), uint32_t(1000 + i),
                           WeightProfile::constant(Reading{-i * 100, 2, Unit::Kilogram, true})});
    return std::make_shared<Line>(configs);
}

class ScaleReaderTest : public ::testing::Test {
protected:
    ScaleReaderTest()
    {
        auto device = std::make_unique<FakePorts>();
        ports = device.get();
        reader = std::make_unique<ScaleReader>(std::move(device), [] { return 12345; });
    }

    std::vector<int32_t> block()
    {
        std::vector<int32_t> words(TRUTINA_BLOCK_WORDS, -7);
        reader->freshData(words.data());
        return words;
    }
    int32_t word(int index) { return block()[index]; }
    bool online() { return word(TRUTINA_WORD_LINK_STATE) == TRUTINA_LINK_ONLINE; }

    FakePorts *ports = nullptr;
    std::unique_ptr<ScaleReader> reader;
};

TEST_F(ScaleReaderTest, BlockBeforeTheFirstPortRequest)
{
    const auto words = block();
    EXPECT_EQ(65538, words[0]);
    EXPECT_EQ(101, words[1]);
    EXPECT_EQ(0, words[2]);
    EXPECT_EQ(0, words[3]);
    EXPECT_EQ(100, words[TRUTINA_WORD(TRUTINA_TABLE_MODEL_CODE, 0)]);
    EXPECT_EQ(100, words[TRUTINA_WORD(TRUTINA_TABLE_UNIT_CODE, 15)]);
    EXPECT_EQ(1, words[TRUTINA_WORD(TRUTINA_TABLE_DIVISOR, 7)]);
    EXPECT_EQ(0, words[TRUTINA_WORD(TRUTINA_TABLE_TIME_OF_DAY, 15)]);
    EXPECT_TRUE(ports->opened().empty()) << "no worker runs before the first request";
}

TEST_F(ScaleReaderTest, OnlyTheFirstRequestStartsTheWorker)
{
    EXPECT_TRUE(reader->setComPort(1));
    EXPECT_FALSE(reader->setComPort(1));
    EXPECT_FALSE(reader->setComPort(0));
}

TEST_F(ScaleReaderTest, RequestsFromManyThreadsStartOneWorker)
{
    std::vector<std::future<bool>> calls;
    for (int i = 0; i < 8; ++i)
        calls.push_back(std::async(std::launch::async, [&, i] { return reader->setComPort(i % 5); }));
    int started = 0;
    for (auto &call : calls)
        started += call.get();
    EXPECT_EQ(1, started);
}

TEST_F(ScaleReaderTest, FixedPortIsTheOnlyOneOpened)
{
    reader->setComPort(3);
    ASSERT_TRUE(waitFor([&] { return ports->opened().size() >= 3; }));
    for (const auto &name : ports->opened())
        EXPECT_EQ("COM3", name);
    EXPECT_EQ(3, word(TRUTINA_WORD_CURRENT_PORT));
    EXPECT_EQ(101, word(TRUTINA_WORD_LINK_STATE));
}

TEST_F(ScaleReaderTest, OtherPortNumbersSearchAllFourInTurn)
{
    const std::vector<std::string> cycle = {"COM1", "COM2", "COM3", "COM4", "COM1"};
    for (int port : {0, 5, -1}) {
        const size_t before = ports->opened().size();
        reader->setComPort(port);
        ASSERT_TRUE(waitFor([&] { return ports->opened().size() >= before + 6; }));
        // An open the worker had begun before the request may come first.
        const auto opened = ports->opened();
        const auto first = std::find(opened.begin() + before, opened.begin() + before + 2, "COM1");
        ASSERT_NE(opened.begin() + before + 2, first) << "port " << port;
        EXPECT_EQ(cycle, std::vector<std::string>(first, first + 5)) << "port " << port;
    }
}

TEST_F(ScaleReaderTest, AutomaticSearchFindsTwoBalancesOnCom2)
{
    ports->connect("COM2", lineWith(2));
    reader->setComPort(0);
    ASSERT_TRUE(waitFor([&] { return online(); }));
    auto words = block();
    EXPECT_EQ(2, words[TRUTINA_WORD_CURRENT_PORT]);
    EXPECT_EQ(2, words[TRUTINA_WORD_BALANCE_COUNT]);
    EXPECT_EQ(301, words[TRUTINA_WORD(TRUTINA_TABLE_MODEL_CODE, 1)]);
    EXPECT_EQ(402, words[TRUTINA_WORD(TRUTINA_TABLE_MODEL_CODE, 2)]);
    EXPECT_EQ(1001, words[TRUTINA_WORD(TRUTINA_TABLE_IDENT_NUMBER, 1)]);
    EXPECT_EQ(1002, words[TRUTINA_WORD(TRUTINA_TABLE_IDENT_NUMBER, 2)]);

    ASSERT_TRUE(waitFor([&] { return word(TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, 1)) > 2; }));
    words = block();
    EXPECT_EQ(-100, words[TRUTINA_WORD(TRUTINA_TABLE_RAW_VALUE, 1)]);
    EXPECT_EQ(-200, words[TRUTINA_WORD(TRUTINA_TABLE_RAW_VALUE, 2)]);
    EXPECT_EQ(100, words[TRUTINA_WORD(TRUTINA_TABLE_DIVISOR, 1)]);
    EXPECT_EQ(205, words[TRUTINA_WORD(TRUTINA_TABLE_UNIT_CODE, 2)]);
    EXPECT_EQ(1, words[TRUTINA_WORD(TRUTINA_TABLE_STABLE_FLAG, 2)]);
    EXPECT_EQ(12345, words[TRUTINA_WORD(TRUTINA_TABLE_TIME_OF_DAY, 1)]);
    EXPECT_EQ(100, words[TRUTINA_WORD(TRUTINA_TABLE_MODEL_CODE, 3)]) << "slots above N untouched";
}

TEST_F(ScaleReaderTest, LostLineGoesBackToTheSearchAndKeepsTheReadings)
{
    auto line = lineWith(1);
    ports->connect("COM1", line);
    reader->setComPort(0);
    ASSERT_TRUE(waitFor([&] { return word(TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, 1)) > 0; }));

    line->setUnplugged(true);
    ASSERT_TRUE(waitFor([&] { return word(TRUTINA_WORD_CURRENT_PORT) == 2; })) << "the search moves on";
    const int32_t count = word(TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, 1));
    EXPECT_GT(count, 0);
    EXPECT_EQ(101, word(TRUTINA_WORD_LINK_STATE));
    EXPECT_EQ(-100, word(TRUTINA_WORD(TRUTINA_TABLE_RAW_VALUE, 1)));

    line->setUnplugged(false);
    ASSERT_TRUE(waitFor([&] { return online(); }));
    ASSERT_TRUE(waitFor([&] { return word(TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, 1)) > count; }))
        << "the count goes on from where it was";
}

TEST_F(ScaleReaderTest, RequestDuringAnExchangeWinsOverTheStepsResult)
{
    ports->connect("COM1", lineWith(1));
    ports->connect("COM4", lineWith(3));
    reader->setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(); }));

    ports->hold(true, false);
    ASSERT_TRUE(waitFor([&] { return ports->waiting(); }));
    reader->setComPort(4);
    auto words = block();
    EXPECT_EQ(101, words[TRUTINA_WORD_LINK_STATE]);
    EXPECT_EQ(0, words[TRUTINA_WORD_CURRENT_PORT]) << "no port tried yet since the request";

    ports->hold(false); // the poll step ends successfully, but must not put the link back on line
    ASSERT_TRUE(waitFor([&] { return online() && word(TRUTINA_WORD_BALANCE_COUNT) == 3; }));
    EXPECT_EQ(4, word(TRUTINA_WORD_CURRENT_PORT));
    EXPECT_EQ("COM4", ports->opened().back());
}

TEST_F(ScaleReaderTest, StoppingInterruptsAWaitingExchange)
{
    ports->connect("COM1", lineWith(2));
    reader->setComPort(1);
    ASSERT_TRUE(waitFor([&] { return online(); }));
    ports->hold(true);
    ASSERT_TRUE(waitFor([&] { return ports->waiting(); }));

    auto stopped = std::async(std::launch::async, [&] { reader.reset(); });
    EXPECT_EQ(std::future_status::ready, stopped.wait_for(5s)) << "the worker did not stop";
    ports = nullptr;
}

TEST_F(ScaleReaderTest, StoppingCutsThePauseAfterAFailedOpen)
{
    reader->setComPort(2); // no such port: the worker pauses between attempts
    ASSERT_TRUE(waitFor([&] { return !ports->opened().empty(); }));
    auto stopped = std::async(std::launch::async, [&] { reader.reset(); });
    EXPECT_EQ(std::future_status::ready, stopped.wait_for(5s));
    ports = nullptr;
}

} // namespace
} // namespace trutina
