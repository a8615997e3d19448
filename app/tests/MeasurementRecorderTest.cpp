// The recording rules on scripted blocks, without any widget or Qt event loop.
#include "recording/MeasurementColumns.h"
#include "recording/MeasurementRecorder.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

class Recorder : public ::testing::Test {
protected:
    void SetUp() override { online(3); }
    void online(int32_t balances)
    {
        block.setHeader(TRUTINA_WORD_LINK_STATE, TRUTINA_LINK_ONLINE);
        block.setHeader(TRUTINA_WORD_BALANCE_COUNT, balances);
    }
    // A new reading of balance j: its reading count goes up by one.
    void deliver(int j, int32_t raw, bool stable = true, int32_t divisor = 1, int32_t unitCode = 200)
    {
        block.setTable(TRUTINA_TABLE_RAW_VALUE, j, raw);
        block.setTable(TRUTINA_TABLE_DIVISOR, j, divisor);
        block.setTable(TRUTINA_TABLE_STABLE_FLAG, j, stable ? 1 : 0);
        block.setTable(TRUTINA_TABLE_UNIT_CODE, j, unitCode);
        block.setTable(TRUTINA_TABLE_READING_COUNT, j, int32_t(uint32_t(block.readingCount(j)) + 1u));
    }
    void deliverAll(int32_t raw, bool stable = true)
    {
        for (int j = 1; j <= block.balanceCount(); ++j)
            deliver(j, raw + j, stable);
    }
    PollDecision poll(const MeasurementRecorder::PreviousValue &previous = {})
    {
        return MeasurementRecorder::poll(block, settings, history, {1'700'000'000'123, 10800}, previous);
    }
    bool recorded() { return poll().row.has_value(); }

    trutina::Block block;
    RunSettings settings{"COM1", RecordingMode::Periodic, 200, 0, 20, {1, 3}, {}};
    RecordingHistory history;
};

TEST_F(Recorder, NothingHappensOffLine)
{
    deliverAll(10);
    block.setHeader(TRUTINA_WORD_LINK_STATE, TRUTINA_LINK_INITIALISING);
    const PollDecision decision = poll();
    EXPECT_FALSE(decision.online);
    EXPECT_TRUE(decision.captions.empty());
    EXPECT_FALSE(decision.row);
    EXPECT_EQ(0, history.measurementNo);
}

TEST_F(Recorder, ABalanceBeyondTheLineEndsTheRunWithTheCount)
{
    online(2);
    deliverAll(10);
    const PollDecision decision = poll();
    ASSERT_TRUE(decision.balanceCountNotice);
    EXPECT_EQ(2, *decision.balanceCountNotice);
    EXPECT_EQ(std::vector<int32_t>{3}, decision.balancesBeyondLine);
    EXPECT_FALSE(decision.row);
    EXPECT_TRUE(decision.captions.empty());
}

TEST_F(Recorder, CaptionsComeBeforeAnyReading)
{
    block.setTable(TRUTINA_TABLE_MODEL_CODE, 3, 402);
    block.setTable(TRUTINA_TABLE_IDENT_NUMBER, 3, 77);
    const PollDecision decision = poll();
    ASSERT_EQ(2u, decision.captions.size());
    EXPECT_EQ(1, decision.captions[0].balance);
    EXPECT_EQ(3, decision.captions[1].balance);
    EXPECT_EQ(402, decision.captions[1].modelCode);
    EXPECT_EQ(77, decision.captions[1].ident);
    EXPECT_FALSE(decision.row);
}

TEST_F(Recorder, ARowWaitsForEveryBalanceOnTheLine)
{
    deliver(1, 10);
    deliver(3, 30);
    EXPECT_FALSE(recorded()) << "balance 2, outside the run, has not answered";
    deliver(2, 20);
    EXPECT_TRUE(recorded());
    EXPECT_FALSE(recorded()) << "nothing new since";
    EXPECT_EQ(1, history.lastRecordedCount[0]);
    EXPECT_EQ(0, history.lastRecordedCount[1]) << "only polled balances note their count";
    deliver(1, 11);
    deliver(3, 31);
    EXPECT_TRUE(recorded());
    EXPECT_EQ(2, history.measurementNo);
}

TEST_F(Recorder, TheRowHoldsEveryFieldOfEveryPolledBalance)
{
    block.setTable(TRUTINA_TABLE_MODEL_CODE, 1, 301);
    block.setTable(TRUTINA_TABLE_IDENT_NUMBER, 1, 500001);
    deliver(1, -123456, true, 1000, 205);
    deliver(2, 0);
    deliver(3, 8388607, false, 1, 204);
    const PollDecision decision = poll();
    ASSERT_TRUE(decision.row);
    const RecordedRow &row = *decision.row;
    EXPECT_EQ(1, row.number);
    EXPECT_EQ(1'700'000'000'123, row.utcMs);
    EXPECT_EQ(10800, row.utcOffsetSeconds);
    ASSERT_EQ(2u, row.readings.size());
    const BalanceReading &first = row.readings[0];
    EXPECT_EQ(1, first.balance);
    EXPECT_EQ(-123456, first.rawValue);
    EXPECT_EQ(1000, first.divisor);
    EXPECT_EQ(205, first.unitCode);
    EXPECT_EQ(5, first.shownUnit);
    EXPECT_TRUE(first.stable);
    EXPECT_EQ(301, first.modelCode);
    EXPECT_EQ(500001, first.ident);
    EXPECT_EQ(3, row.readings[1].balance);
    EXPECT_EQ(-1, row.readings[1].shownUnit) << "an unsettled reading shows no unit";
    EXPECT_FALSE(row.readings[1].stable);
    EXPECT_EQ((std::vector<double>{-123.456, 8388607}), history.lastValues);
}

TEST_F(Recorder, AnUnknownUnitCarriesTheUnitDecodedLast)
{
    deliver(1, 1, true, 1, 204);
    deliver(2, 1);
    deliver(3, 1, true, 1, 100);
    const PollDecision decision = poll();
    ASSERT_TRUE(decision.row);
    EXPECT_EQ(4, decision.row->readings[1].shownUnit);
    EXPECT_EQ(4, history.lastUnit);
}

TEST_F(Recorder, FreshnessHoldsAcrossTheWrapOfTheReadingCount)
{
    for (int j = 1; j <= 3; ++j) {
        block.setTable(TRUTINA_TABLE_READING_COUNT, j, std::numeric_limits<int32_t>::max() - 1);
        history.lastRecordedCount[size_t(j - 1)] = std::numeric_limits<int32_t>::max() - 1;
    }
    EXPECT_FALSE(recorded());
    deliverAll(5);
    EXPECT_TRUE(recorded()) << "INT32_MAX is newer";
    deliverAll(6);
    EXPECT_EQ(std::numeric_limits<int32_t>::min(), block.readingCount(1));
    EXPECT_TRUE(recorded()) << "the first count after the wrap is newer";
    EXPECT_FALSE(recorded());
}

TEST_F(Recorder, BalancesBeyondTenNeitherHoldBackNorShow)
{
    online(12);
    settings.balances = {1, 10};
    for (int j = 1; j <= 10; ++j)
        deliver(j, j);
    const PollDecision decision = poll();
    ASSERT_TRUE(decision.row);
    EXPECT_EQ(10, decision.row->readings[1].rawValue);
}

TEST_F(Recorder, OnNewWeightRecordsChangesOfAtLeastTheThreshold)
{
    online(2);
    settings.mode = RecordingMode::OnNewWeight;
    settings.threshold = 10;
    settings.balances = {1, 2};
    const auto pollWith = [&](int32_t raw1, bool stable1, int32_t raw2, bool stable2) {
        deliver(1, raw1, stable1);
        deliver(2, raw2, stable2);
        poll();
        return history.measurementNo;
    };
    EXPECT_EQ(0, pollWith(100, false, 0, true)) << "the first row waits for balance 1 to settle";
    EXPECT_EQ(1, pollWith(100, true, 0, false));
    EXPECT_EQ(1, pollWith(109, true, 9, true)) << "9 divisions on both";
    EXPECT_EQ(1, pollWith(120, false, 5, true)) << "a large change, not settled";
    EXPECT_EQ(2, pollWith(110, true, 0, false)) << "exactly 10 divisions";
    EXPECT_EQ(3, pollWith(110, true, -10, true)) << "balance 2 alone changed";
    settings.threshold = RunSettings::noThreshold;
    EXPECT_EQ(3, pollWith(500, true, 500, true)) << "no threshold, no row";
}

TEST_F(Recorder, OnNewWeightComparesWithTheCallersValues)
{
    online(1);
    settings.mode = RecordingMode::OnNewWeight;
    settings.threshold = 10;
    settings.balances = {1};
    deliver(1, 29, true, 100);
    ASSERT_TRUE(recorded());
    // 0,29 read back from text, times 100, is 28,999999999999996: still ten
    // divisions from 19.
    deliver(1, 19, true, 100);
    EXPECT_TRUE(poll([](size_t) { return std::optional(0.29); }).row);
    // A value the operator made unreadable holds nothing back.
    deliver(1, 19, true, 100);
    EXPECT_TRUE(poll([](size_t) { return std::optional<double>(); }).row);
    deliver(1, 19, true, 100);
    EXPECT_FALSE(poll([](size_t) { return std::optional(0.19); }).row);
}

TEST_F(Recorder, ManualAndPeriodicRecordEveryFreshRound)
{
    for (RecordingMode mode : {RecordingMode::Manual, RecordingMode::Periodic}) {
        settings.mode = mode;
        deliverAll(1, false);
        EXPECT_TRUE(recorded());
    }
}

TEST(MeasurementColumns, LayoutOfTheGrid)
{
    EXPECT_EQ(3, MeasurementColumns::valueColumn(0));
    EXPECT_EQ(6, MeasurementColumns::unitColumn(1));
    EXPECT_EQ(23, MeasurementColumns::columnsFor(10));
    EXPECT_EQ(3, MeasurementColumns::rowOf(1));
    EXPECT_EQ(7, MeasurementColumns::numberAt(9));
    EXPECT_EQ(2, *MeasurementColumns::slotOf(8));
    EXPECT_FALSE(MeasurementColumns::slotOf(2));
    EXPECT_TRUE(MeasurementColumns::isUnitColumn(4));
    EXPECT_FALSE(MeasurementColumns::isUnitColumn(5));
    EXPECT_FALSE(MeasurementColumns::isUnitColumn(1));
}

} // namespace
