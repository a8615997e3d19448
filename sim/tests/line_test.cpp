#include "balance_sim/line.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "host.h"

namespace pondus::sim {
namespace {

using std::chrono::milliseconds;
using testing::Host;

BalanceConfig balance(Kind kind, std::uint8_t model, std::uint32_t ident, Reading reading = {})
{
    return BalanceConfig{kind, model, ident, WeightProfile::constant(reading)};
}

Host hostFor(Line& line)
{
    return Host([&line](std::uint8_t byte) { return line.exchange(byte); });
}

std::vector<BalanceConfig> threeBalances()
{
    return {balance(Kind::One, 3, 111111, Reading{12345, 2, Unit::Gram, true}),
            balance(Kind::Two, 4, 222222, Reading{-2, 0, Unit::Carat, false}),
            balance(Kind::One, 13, 0xFFFFFF, Reading{kRawMax, 6, Unit::Kilogram, true})};
}

TEST(Line, EmptyLineReturnsEveryByte)
{
    Line line;
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(line.exchange(std::uint8_t(byte)), std::uint8_t(byte));
    }
}

TEST(Line, EmptyLineCountsNoBalance)
{
    Line line;
    Host host = hostFor(line);
    EXPECT_EQ(host.count(), 0);
    EXPECT_EQ(host.bytesBeforeRun, 0);
}

TEST(Line, EachBalanceAddsOneToTheCountByteAndTakesItsPosition)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    EXPECT_EQ(host.count(), 3);
    for (std::size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(line.positionOf(i), int(i));
    }
}

TEST(Line, FifteenBalancesCountAsFifteen)
{
    Line line(std::vector<BalanceConfig>(15, BalanceConfig{}));
    Host host = hostFor(line);
    EXPECT_EQ(host.count(), 15);
    EXPECT_EQ(line.positionOf(15), 15);
}

TEST(Line, BalancesDoNotAnswerBeforeTheyAreCounted)
{
    Line line(threeBalances());
    EXPECT_EQ(line.positionOf(1), 0);
    Frame frame = makeRequest(Command::Weight, 1);
    line.exchangeFrame(frame);
    EXPECT_EQ(line.exchangeFrame(frame), frame);  // only the echo comes back
}

TEST(Line, CountByteFaultOverridesTheAnswer)
{
    Line line(threeBalances());
    LineFaults faults;
    faults.countReply = 0x11;
    line.setFaults(faults);
    Host host = hostFor(line);
    EXPECT_EQ(host.count(), 16);
    // The balances still took their positions.
    EXPECT_EQ(line.positionOf(3), 3);
}

TEST(Line, BrokenZeroRunsDefeatTheCount)
{
    Line line(threeBalances());
    LineFaults faults;
    faults.neverSync = true;
    line.setFaults(faults);
    Host host = hostFor(line);
    EXPECT_EQ(host.count(), std::nullopt);
}

TEST(Line, AnswerUnderWayDelaysTheZeroRun)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_EQ(host.count(), 3);
    Frame frame = makeRequest(Command::Weight, 2);
    ASSERT_TRUE(line.exchangeFrame(frame));
    // Balance 2 now answers during the next eight bytes, zeros or not.
    EXPECT_EQ(host.count(), 3);
    EXPECT_EQ(host.bytesBeforeRun, 8);
}

TEST(Line, ScanLearnsKindsModelsAndIdentNumbers)
{
    Line line({balance(Kind::One, 3, 111111), balance(Kind::Two, 4, 222222),
               balance(Kind::One, 13, 0xFFFFFF), balance(Kind::Unknown, 0, 5),
               balance(Kind::One, 0x96, 7), balance(Kind::Two, 0xF5, 8),
               balance(Kind::Two, 0xFA, 9)});
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    const auto& t = host.tables;
    EXPECT_EQ(t.modelCode[1], 303);
    EXPECT_EQ(t.ident[1], 111111);
    EXPECT_EQ(t.modelCode[2], 404);
    EXPECT_EQ(t.ident[2], 222222);
    EXPECT_EQ(t.modelCode[3], 311);
    EXPECT_EQ(t.ident[3], 0xFFFFFF);
    EXPECT_EQ(t.modelCode[4], 100);  // an unknown device keeps the unknown code
    EXPECT_EQ(t.ident[4], 0);
    EXPECT_EQ(t.modelCode[5], 100);  // kind 1, nibble 6
    EXPECT_EQ(t.ident[5], 7);
    EXPECT_EQ(t.modelCode[6], 100);  // kind 2, low bits 5
    EXPECT_EQ(t.modelCode[7], 402);  // kind 2 reads the low three bits only
}

TEST(Line, ClosingFrameIsNotAnswered)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_EQ(host.count(), 3);
    Frame closing = makeRequest(Command::None, 3);
    ASSERT_TRUE(line.exchangeFrame(closing));
    const Frame next = makeRequest(Command::Weight, 3);
    EXPECT_EQ(line.exchangeFrame(next), next);
}

TEST(Line, PollVisitsPositionsInTheOrderOfTheCursor)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    ASSERT_TRUE(host.poll(9));
    EXPECT_EQ(host.addressed, (std::vector<int>{3, 2, 1, 3, 3, 2, 1, 3, 3}));
    EXPECT_EQ(host.invalidReplies, 0);
    // Frames 2..9 decode 3, 2, 1, (skip), 3, 2, 1, (skip).
    EXPECT_EQ(host.tables.readingCount[1], 2);
    EXPECT_EQ(host.tables.readingCount[2], 2);
    EXPECT_EQ(host.tables.readingCount[3], 2);
}

TEST(Line, PollDecodesTheReadings)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    ASSERT_TRUE(host.poll(4));
    const auto& t = host.tables;
    EXPECT_EQ(t.raw[1], 12345);
    EXPECT_EQ(t.divisor[1], 100);
    EXPECT_EQ(t.unit[1], 200);
    EXPECT_EQ(t.stable[1], 1);
    EXPECT_EQ(t.raw[2], -2);
    EXPECT_EQ(t.divisor[2], 1);
    EXPECT_EQ(t.unit[2], 201);
    EXPECT_EQ(t.stable[2], 0);
    EXPECT_EQ(t.raw[3], kRawMax);
    EXPECT_EQ(t.divisor[3], 1000000);
    EXPECT_EQ(t.unit[3], 205);
    EXPECT_DOUBLE_EQ(host.weight(1), 123.45);
}

TEST(Line, SingleBalanceIsAskedEveryFrame)
{
    Line line({balance(Kind::Two, 1, 42, Reading{500, 1, Unit::Percent, true})});
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    ASSERT_TRUE(host.poll(5));
    EXPECT_EQ(host.addressed, (std::vector<int>{1, 1, 1, 1, 1}));
    EXPECT_EQ(host.tables.readingCount[1], 4);
    EXPECT_EQ(host.tables.unit[1], 202);
}

TEST(Line, WeightIsTakenWhenTheFrameAsks)
{
    auto now = Line::Clock::time_point{};
    Line line({BalanceConfig{Kind::One, 0, 1,
                             WeightProfile::loads({{1.0, 2.0}, 0, Unit::Gram, milliseconds{1000}, milliseconds{0}})}},
              [&now] { return now; });
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    ASSERT_TRUE(host.pollStep());  // asks at t = 0
    now += milliseconds{1500};
    ASSERT_TRUE(host.pollStep());  // brings the answer asked at t = 0, asks again
    EXPECT_EQ(host.tables.raw[1], 1);
    ASSERT_TRUE(host.pollStep());
    EXPECT_EQ(host.tables.raw[1], 2);
}

TEST(Line, WeightChangesReachTheNextReading)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    ASSERT_TRUE(host.poll(4));
    line.setReading(2, Reading{777, 1, Unit::Milligram, true});
    ASSERT_TRUE(host.poll(4));
    EXPECT_EQ(host.tables.raw[2], 777);
    EXPECT_EQ(host.tables.unit[2], 204);
    EXPECT_THROW(line.setReading(4, Reading{}), std::out_of_range);
    EXPECT_THROW(line.setReading(0, Reading{}), std::out_of_range);
}

TEST(Line, SilentBalanceLeavesItsPositionUnknown)
{
    Line line(threeBalances());
    line.setBalanceFaults(2, BalanceFaults{.silent = true});
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    EXPECT_EQ(host.balanceCount, 3);
    EXPECT_EQ(host.tables.modelCode[2], 100);
    EXPECT_EQ(host.tables.ident[2], 0);
    EXPECT_EQ(host.tables.modelCode[1], 303);
}

TEST(Line, ABadScanFailsFromItsFirstScanOnWhileWeightsStillAnswer)
{
    BalanceConfig failing = balance(Kind::Two, 4, 222222, Reading{7, 0, Unit::Gram, true});
    failing.badScanFrom = 2;
    Line line({balance(Kind::One, 3, 111111), failing});
    Host first = hostFor(line);
    ASSERT_TRUE(first.setUp());
    EXPECT_EQ(first.tables.modelCode[2], 404) << "the first scan is still sound";
    EXPECT_EQ(first.tables.ident[2], 222222);

    Host second = hostFor(line);
    ASSERT_TRUE(second.setUp());
    EXPECT_EQ(second.tables.modelCode[1], 303);
    EXPECT_EQ(second.tables.modelCode[2], 100);
    EXPECT_EQ(second.tables.ident[2], 0);
    ASSERT_TRUE(second.poll(6));
    EXPECT_GT(second.tables.readingCount[2], 0);
    EXPECT_EQ(second.tables.raw[2], 7);
}

TEST(Line, CorruptOrMisaddressedRepliesAreRejected)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    line.setBalanceFaults(1, BalanceFaults{.corruptSum = true});
    line.setBalanceFaults(3, BalanceFaults{.wrongPosition = true});
    ASSERT_TRUE(host.poll(8));
    EXPECT_EQ(host.tables.readingCount[1], 0);
    EXPECT_EQ(host.tables.readingCount[2], 2);
    EXPECT_EQ(host.tables.readingCount[3], 0);
    EXPECT_EQ(host.invalidReplies, 4);
}

// Three balances polled with the given faults; the host's view afterwards.
Host pollWithFaults(Line& line, const LineFaults& faults, int frames)
{
    Host host = hostFor(line);
    EXPECT_TRUE(host.setUp());
    line.setFaults(faults);
    host.poll(frames);
    return host;
}

TEST(Line, FaultRatesSpoilAboutThatShareOfAnswers)
{
    LineFaults corrupt;
    corrupt.corruptRate = 0.25;
    Line first(threeBalances(), &Line::Clock::now, 7);
    const Host spoilt = pollWithFaults(first, corrupt, 4000);
    EXPECT_GT(spoilt.invalidReplies, 500);
    EXPECT_LT(spoilt.invalidReplies, 1000);

    LineFaults misaddressed;
    misaddressed.wrongPositionRate = 1;
    Line second(threeBalances());
    EXPECT_EQ(pollWithFaults(second, misaddressed, 8).invalidReplies, 6);
}

TEST(Line, SameSeedSameFaults)
{
    LineFaults faults;
    faults.corruptRate = 0.3;
    faults.wrongPositionRate = 0.1;
    Line a(threeBalances(), &Line::Clock::now, 11);
    Line b(threeBalances(), &Line::Clock::now, 11);
    Line c(threeBalances(), &Line::Clock::now, 12);
    const Host first = pollWithFaults(a, faults, 400);
    EXPECT_EQ(first.invalidReplies, pollWithFaults(b, faults, 400).invalidReplies);
    EXPECT_NE(first.readingCount(), pollWithFaults(c, faults, 400).readingCount());
}

TEST(Line, DroppedAnswersLeaveTheComputerWaiting)
{
    Line line(threeBalances(), &Line::Clock::now, 3);
    LineFaults faults;
    faults.dropRate = 0.5;
    line.setFaults(faults);
    int lost = 0;
    for (int i = 0; i < 1000; ++i) {
        lost += line.exchange(0x00) ? 0 : 1;
    }
    EXPECT_GT(lost, 400);
    EXPECT_LT(lost, 600);
    EXPECT_EQ(line.stats().dropped, std::uint64_t(lost));
}

TEST(Line, UnpluggedLineAnswersNothing)
{
    Line line(threeBalances());
    line.setUnplugged(true);
    EXPECT_EQ(line.exchange(0x00), std::nullopt);
    EXPECT_EQ(line.exchangeFrame(makeRequest(Command::Weight, 1)), std::nullopt);
    line.setUnplugged(false);
    Host host = hostFor(line);
    EXPECT_TRUE(host.setUp());
}

TEST(Line, RecablingForgetsPositions)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    line.setBalances({balance(Kind::Two, 0, 9)});
    EXPECT_EQ(line.balanceCount(), 1u);
    EXPECT_EQ(line.positionOf(1), 0);
    ASSERT_TRUE(host.setUp());
    EXPECT_EQ(host.balanceCount, 1);
    EXPECT_EQ(host.tables.modelCode[1], 400);
}

TEST(Line, StatsCountFramesByKind)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    ASSERT_TRUE(host.poll(5));
    const LineStats stats = line.stats();
    EXPECT_EQ(stats.countBytes, 1u);
    EXPECT_EQ(stats.identifyFrames, 3u);
    EXPECT_EQ(stats.modelFrames, 3u);
    EXPECT_EQ(stats.closingFrames, 2u);
    EXPECT_EQ(stats.weightFrames, 5u);
    EXPECT_EQ(stats.weightFramesTo[3], 3u);
    EXPECT_EQ(stats.bytes, stats.answered);
}

TEST(Line, WeightsMayChangeWhileTheLineIsPolled)
{
    Line line(threeBalances());
    Host host = hostFor(line);
    ASSERT_TRUE(host.setUp());
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; !done.load(); ++i) {
            line.setReading(1 + std::size_t(i % 3), Reading{i, 0, Unit::Gram, true});
            line.setBalanceFaults(2, BalanceFaults{});
        }
    });
    const bool polled = host.poll(2000);
    done = true;
    changer.join();
    EXPECT_TRUE(polled);
    EXPECT_EQ(host.invalidReplies, 0);
    EXPECT_GT(host.tables.readingCount[1], 400);
}

}  // namespace
}  // namespace pondus::sim
