#include "BalanceProtocol.h"
#include "ScriptedLine.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <map>

namespace trutina {
namespace {

using testing::ScriptedLine;
using testing::validReply;
constexpr auto Polled = BalanceProtocol::PollResult::Polled;

class BalanceProtocolTest : public ::testing::Test {
protected:
    int32_t word(TrutinaTable table, int position) { return readings.tables.at(table, position); }

    // Balances that answer like real ones: kind, model status, ident and a
    // weight status and value per position.
    struct Balance {
        uint8_t kindLetter = 'S';
        uint8_t modelStatus = 0;
        uint32_t ident = 0;
        uint8_t weightStatus = 0x80;
        uint32_t weight = 0;
    };
    void playBalances(std::map<int, Balance> balances)
    {
        line.answerByte = [count = static_cast<uint8_t>(balances.size())](uint8_t byte) {
            return byte == 0x01 ? static_cast<uint8_t>(byte + count) : byte;
        };
        line.answer = [balances](const Frame &request) -> std::optional<Frame> {
            const auto found = balances.find(request[7]);
            if (found == balances.end() || request[6] == 0x00)
                return std::nullopt;
            const Balance &b = found->second;
            switch (request[6]) {
            case 0xA5: return validReply(b.kindLetter, uint32_t('q') << 16, request[7]);
            case 0x7C: return validReply(b.modelStatus, b.ident, request[7]);
            default: return validReply(b.weightStatus, b.weight, request[7]);
            }
        };
    }

    ScriptedLine line;
    LineReadings readings;
    int32_t clock = 1000;
    BalanceProtocol protocol{line, readings, [this] { return clock += 10; }};
};

TEST_F(BalanceProtocolTest, CountByteGivesTheNumberOfBalances)
{
    for (auto [returned, count, ok] : {std::tuple{0x01, 0, false}, {0x02, 1, true}, {0x10, 15, true},
                                       {0x11, 16, false}, {0x00, -1, false}, {0xFF, 254, false}}) {
        line.answerByte = [returned = returned](uint8_t byte) { return byte == 0x01 ? uint8_t(returned) : byte; };
        EXPECT_EQ(ok, protocol.countBalances()) << returned;
        EXPECT_EQ(count, readings.balanceCount.load()) << "the count is stored in any case";
    }
}

TEST_F(BalanceProtocolTest, CountingNeedsSixteenZerosWithinThirtyFourBytes)
{
    // The first `garbled` zero bytes come back altered.
    for (auto [garbled, ok] : {std::pair{0, true}, {18, true}, {19, false}}) {
        line.singleBytes.clear();
        line.answerByte = [&, garbled = garbled](uint8_t byte) -> uint8_t {
            if (byte == 0x01)
                return 0x04;
            return static_cast<int>(line.singleBytes.size()) <= garbled ? 0x80 : byte;
        };
        EXPECT_EQ(ok, protocol.countBalances()) << garbled;
        const size_t zerosSent = ok ? line.singleBytes.size() - 1 : line.singleBytes.size();
        EXPECT_EQ(ok ? garbled + 16u : 34u, zerosSent);
        EXPECT_EQ(ok, line.singleBytes.back() == 0x01);
    }
}

TEST_F(BalanceProtocolTest, ARunBrokenByOneByteStartsAgain)
{
    line.answerByte = [&](uint8_t byte) -> uint8_t {
        if (byte == 0x01)
            return 0x03;
        return line.singleBytes.size() == 10 ? 0x55 : byte;
    };
    EXPECT_TRUE(protocol.countBalances());
    EXPECT_EQ(10u + 16u + 1u, line.singleBytes.size());
}

TEST_F(BalanceProtocolTest, ScanLearnsKindModelAndIdent)
{
    playBalances({{1, {'S', 0x0D, 123456}}, {2, {'H', 0x04, 0xFFFFFF}}, {3, {'S', 0x06, 42}}});
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());

    EXPECT_EQ(311, word(TRUTINA_TABLE_MODEL_CODE, 1));
    EXPECT_EQ(404, word(TRUTINA_TABLE_MODEL_CODE, 2));
    EXPECT_EQ(100, word(TRUTINA_TABLE_MODEL_CODE, 3)) << "nibble 6 names no model";
    EXPECT_EQ(123456, word(TRUTINA_TABLE_IDENT_NUMBER, 1));
    EXPECT_EQ(16'777'215, word(TRUTINA_TABLE_IDENT_NUMBER, 2));
    EXPECT_EQ(42, word(TRUTINA_TABLE_IDENT_NUMBER, 3));

    // Each pass asks N..1 and closes with a frame of command 0 to N.
    EXPECT_EQ((std::vector<int>{3, 2, 1, 3, 3, 2, 1, 3}), line.positionsAsked());
    for (int i : {0, 1, 2})
        EXPECT_EQ(0xA5, line.frames[i][6]);
    EXPECT_EQ(0x00, line.frames[3][6]);
    EXPECT_EQ(0x7C, line.frames[4][6]);
    EXPECT_EQ(0x00, line.frames[7][6]);
}

TEST_F(BalanceProtocolTest, UnknownKindAndFailedModelReply)
{
    playBalances({{1, {'X', 0x01, 7}}, {2, {'H', 0x01, 8}}});
    auto answerBalances = line.answer;
    // The model reply of balance 2 comes back broken.
    line.answer = [answerBalances](const Frame &request) {
        auto reply = answerBalances(request);
        if (reply && request[6] == 0x7C && request[7] == 2)
            (*reply)[5] ^= 0x40;
        return reply;
    };
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());
    EXPECT_EQ(100, word(TRUTINA_TABLE_MODEL_CODE, 1));
    EXPECT_EQ(0, word(TRUTINA_TABLE_IDENT_NUMBER, 1)) << "no ident for an unknown kind";
    EXPECT_EQ(2, word(TRUTINA_TABLE_MODEL_CODE, 2)) << "the kind stays as model code";
    EXPECT_EQ(0, word(TRUTINA_TABLE_IDENT_NUMBER, 2));
}

TEST_F(BalanceProtocolTest, ScanFailsWhenAFrameFails)
{
    playBalances({{1, {}}, {2, {}}});
    ASSERT_TRUE(protocol.countBalances());
    line.failAfterFrames = 4;
    EXPECT_FALSE(protocol.scanBalances());
    EXPECT_EQ(4u, line.frames.size());
}

TEST_F(BalanceProtocolTest, PollAsksEachRoundFromTheLastBalanceDown)
{
    playBalances({{1, {.weightStatus = 0x94, .weight = 0xFFFFFE}},
                  {2, {.weightStatus = 0x06, .weight = 500}},
                  {3, {.weightStatus = 0xD2, .weight = 0x7FFFFF}}});
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());
    line.frames.clear();
    protocol.startPolling();

    ASSERT_EQ(Polled, protocol.pollStep());
    EXPECT_EQ(0, word(TRUTINA_TABLE_READING_COUNT, 3)) << "the first frame decodes nothing";
    ASSERT_EQ(Polled, protocol.pollStep());
    EXPECT_EQ(1, word(TRUTINA_TABLE_READING_COUNT, 3));
    for (int i = 0; i < 7; ++i)
        ASSERT_EQ(Polled, protocol.pollStep());

    EXPECT_EQ((std::vector<int>{3, 2, 1, 3, 3, 2, 1, 3, 3}), line.positionsAsked());
    for (const Frame &frame : line.frames)
        EXPECT_EQ(0x47, frame[6]);
    EXPECT_EQ(2, word(TRUTINA_TABLE_READING_COUNT, 3));
    EXPECT_EQ(2, word(TRUTINA_TABLE_READING_COUNT, 2));
    EXPECT_EQ(2, word(TRUTINA_TABLE_READING_COUNT, 1));

    EXPECT_EQ(-2, word(TRUTINA_TABLE_RAW_VALUE, 1));
    EXPECT_EQ(1, word(TRUTINA_TABLE_STABLE_FLAG, 1));
    EXPECT_EQ(201, word(TRUTINA_TABLE_UNIT_CODE, 1));
    EXPECT_EQ(100, word(TRUTINA_TABLE_DIVISOR, 1));
    EXPECT_EQ(500, word(TRUTINA_TABLE_RAW_VALUE, 2));
    EXPECT_EQ(0, word(TRUTINA_TABLE_STABLE_FLAG, 2));
    EXPECT_EQ(200, word(TRUTINA_TABLE_UNIT_CODE, 2));
    EXPECT_EQ(1, word(TRUTINA_TABLE_DIVISOR, 2));
    EXPECT_EQ(8'388'607, word(TRUTINA_TABLE_RAW_VALUE, 3));
    EXPECT_EQ(205, word(TRUTINA_TABLE_UNIT_CODE, 3));
    EXPECT_EQ(10'000, word(TRUTINA_TABLE_DIVISOR, 3));
}

TEST_F(BalanceProtocolTest, ReadingTimeIsTakenAfterTheFrameThatAskedForIt)
{
    playBalances({{1, {}}, {2, {}}});
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());
    protocol.startPolling();
    clock = 0;
    ASSERT_EQ(Polled, protocol.pollStep()); // asks 2, time 10
    ASSERT_EQ(Polled, protocol.pollStep()); // asks 1, time 20, decodes 2
    EXPECT_EQ(10, word(TRUTINA_TABLE_TIME_OF_DAY, 2));
    ASSERT_EQ(Polled, protocol.pollStep()); // asks 2, time 30, decodes 1
    EXPECT_EQ(20, word(TRUTINA_TABLE_TIME_OF_DAY, 1));
    ASSERT_EQ(Polled, protocol.pollStep()); // asks 2 again, time 40, decodes nothing
    ASSERT_EQ(Polled, protocol.pollStep()); // asks 1, time 50, decodes 2
    EXPECT_EQ(40, word(TRUTINA_TABLE_TIME_OF_DAY, 2));
}

TEST_F(BalanceProtocolTest, SingleBalanceIsDecodedOnEveryStepButTheFirst)
{
    playBalances({{1, {.weight = 9}}});
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());
    line.frames.clear();
    protocol.startPolling();
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(Polled, protocol.pollStep());
    EXPECT_EQ((std::vector<int>{1, 1, 1, 1, 1}), line.positionsAsked());
    EXPECT_EQ(4, word(TRUTINA_TABLE_READING_COUNT, 1));
    EXPECT_EQ(9, word(TRUTINA_TABLE_RAW_VALUE, 1));
}

TEST_F(BalanceProtocolTest, ReplyFromTheWrongPositionIsIgnored)
{
    playBalances({{1, {.weight = 1}}, {2, {.weight = 2}}});
    auto answerBalances = line.answer;
    line.answer = [answerBalances](const Frame &request) {
        auto reply = answerBalances(request);
        if (reply && request[6] == 0x47 && request[7] == 1)
            reply = validReply(0x80, 77, 2); // a valid frame naming the wrong balance
        return reply;
    };
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());
    protocol.startPolling();
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(Polled, protocol.pollStep());
    EXPECT_EQ(0, word(TRUTINA_TABLE_READING_COUNT, 1));
    EXPECT_EQ(0, word(TRUTINA_TABLE_RAW_VALUE, 1));
    EXPECT_EQ(2, word(TRUTINA_TABLE_READING_COUNT, 2));
    EXPECT_EQ(2, word(TRUTINA_TABLE_RAW_VALUE, 2));
}

TEST_F(BalanceProtocolTest, FailedPollFrameLeavesTheTablesAlone)
{
    playBalances({{1, {.weight = 5}}});
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());
    protocol.startPolling();
    ASSERT_EQ(Polled, protocol.pollStep());
    ASSERT_EQ(Polled, protocol.pollStep());
    line.failAfterFrames = static_cast<int>(line.frames.size());
    const ReadingTables before = readings.tables;
    EXPECT_EQ(BalanceProtocol::PollResult::LineFailed, protocol.pollStep());
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(before.at(TrutinaTable(t), 1), word(TrutinaTable(t), 1));
}

TEST_F(BalanceProtocolTest, FailedRepliesLetTheLineSettleAndAWholeRoundOfThemAsksForACount)
{
    playBalances({{1, {.weight = 1}}, {2, {.weight = 2}}, {3, {.weight = 3}}});
    ASSERT_TRUE(protocol.countBalances());
    ASSERT_TRUE(protocol.scanBalances());
    protocol.startPolling();
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(Polled, protocol.pollStep());
    EXPECT_TRUE(line.settledAfter.empty()) << "a clean line is never left to settle";

    auto answerBalances = line.answer;
    line.answer = [answerBalances](const Frame &request) {
        auto reply = answerBalances(request);
        if (reply && request[7] != 2)
            (*reply)[0] ^= 0x01; // out of step: the sums fail
        return reply;
    };
    std::vector<BalanceProtocol::PollResult> results;
    for (int i = 0; i < 8; ++i)
        results.push_back(protocol.pollStep());
    EXPECT_EQ(std::count(results.begin(), results.end(), BalanceProtocol::PollResult::OutOfStep), 0)
        << "one valid reply a round keeps the poll going";
    EXPECT_EQ(4u, line.settledAfter.size()) << "settled after each failed reply";

    line.answer = [](const Frame &request) { return std::optional<Frame>{validReply(0x80, 1, request[7] ^ 1)}; };
    results.clear();
    for (int i = 0; i < 4 && (results.empty() || results.back() == Polled); ++i)
        results.push_back(protocol.pollStep());
    EXPECT_EQ(BalanceProtocol::PollResult::OutOfStep, results.back());
    EXPECT_LE(results.size(), 4u) << "within one round of three replies";
}

TEST_F(BalanceProtocolTest, ScanWithoutOneValidReplyFails)
{
    playBalances({{1, {}}, {2, {}}});
    ASSERT_TRUE(protocol.countBalances());
    line.answer = [](const Frame &request) { return std::optional<Frame>{validReply(0, 0, request[7] + 5)}; };
    EXPECT_FALSE(protocol.scanBalances());
    EXPECT_EQ(3u, line.frames.size()) << "the first pass already fails";
}

TEST_F(BalanceProtocolTest, BadScansOfTheSameCountAreTrustedOnTheThirdAndPolled)
{
    // Scan replies of one command fail their checks; weights answer. Each
    // step counts the line (with the number of balances given) and scans it.
    struct Step {
        int balances;
        bool soundScan;
        bool scanned;
    };
    struct Case {
        const char *name;
        uint8_t badCommand;
        std::vector<Step> steps;
        int32_t modelCodeWhenPolled;
    };
    const Case cases[] = {
        {"identify replies fail", 0xA5, {{1, false, false}, {1, false, false}, {1, false, true}}, 100},
        {"model replies fail", 0x7C, {{2, false, false}, {2, false, false}, {2, false, true}}, TRUTINA_KIND_2},
        {"another count starts afresh", 0xA5,
         {{2, false, false}, {2, false, false}, {3, false, false}, {3, false, false}, {3, false, true}}, 100},
        {"a sound scan starts afresh", 0xA5,
         {{1, false, false}, {1, false, false}, {1, true, true}, {1, false, false}, {1, false, false},
          {1, false, true}, {1, false, false}},
         100},
    };
    for (const Case &c : cases) {
        LineReadings fresh;
        BalanceProtocol scanning{line, fresh, [] { return 0; }};
        for (size_t n = 0; n < c.steps.size(); ++n) {
            const Step step = c.steps[n];
            std::map<int, Balance> balances;
            for (int p = 1; p <= step.balances; ++p)
                balances[p] = {'H', 0x02, uint32_t(70 + p), 0x80, 5};
            playBalances(balances);
            if (!step.soundScan) {
                const auto sound = line.answer;
                line.answer = [sound, bad = c.badCommand](const Frame &request) {
                    auto reply = sound(request);
                    if (reply && request[6] == bad)
                        (*reply)[5] ^= 0x40;
                    return reply;
                };
            }
            ASSERT_TRUE(scanning.countBalances()) << c.name;
            EXPECT_EQ(step.scanned, scanning.scanBalances()) << c.name << ", step " << n;
        }
        if (!c.steps.back().scanned)
            continue;
        EXPECT_EQ(c.modelCodeWhenPolled, fresh.tables.at(TRUTINA_TABLE_MODEL_CODE, 1)) << c.name;
        EXPECT_EQ(0, fresh.tables.at(TRUTINA_TABLE_IDENT_NUMBER, 1)) << c.name;
        scanning.startPolling();
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Polled, scanning.pollStep()) << c.name;
        EXPECT_GT(fresh.tables.at(TRUTINA_TABLE_READING_COUNT, 1), 0) << c.name << ": its weights are read";
    }
}

TEST(ReadingTables, LoadValues)
{
    ReadingTables tables;
    int32_t block[TRUTINA_BLOCK_WORDS] = {};
    tables.copyTo(block);
    for (int p = 0; p < 16; ++p) {
        EXPECT_EQ(100, block[TRUTINA_WORD(TRUTINA_TABLE_MODEL_CODE, p)]);
        EXPECT_EQ(0, block[TRUTINA_WORD(TRUTINA_TABLE_IDENT_NUMBER, p)]);
        EXPECT_EQ(0, block[TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, p)]);
        EXPECT_EQ(0, block[TRUTINA_WORD(TRUTINA_TABLE_STABLE_FLAG, p)]);
        EXPECT_EQ(100, block[TRUTINA_WORD(TRUTINA_TABLE_UNIT_CODE, p)]);
        EXPECT_EQ(1, block[TRUTINA_WORD(TRUTINA_TABLE_DIVISOR, p)]);
        EXPECT_EQ(0, block[TRUTINA_WORD(TRUTINA_TABLE_RAW_VALUE, p)]);
        EXPECT_EQ(0, block[TRUTINA_WORD(TRUTINA_TABLE_TIME_OF_DAY, p)]);
    }
    EXPECT_EQ(131, TRUTINA_WORD(TRUTINA_TABLE_TIME_OF_DAY, 15));
}

} // namespace
} // namespace trutina
