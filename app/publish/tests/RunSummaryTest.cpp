// A bucket's summary: the same whatever order its rows arrive in, its
// extremes and ends where the rows put them, and its bytes read back.
#include "publish/RunSummary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

TEST(RunSummary, TheSameSummaryInAnyOrderWithItsExtremesAndEnds)
{
    // seq, weight of the first balance (hundredths); the second weighs seq.
    const std::vector<std::pair<int64_t, int32_t>> rows = {
        {3, 500}, {4, -250}, {5, 900}, {6, 900}, {7, -250}, {8, 100}, {10, 0}};
    const auto take = [](BucketSummary &summary, std::pair<int64_t, int32_t> row) {
        summary.take(row.first, 1000 * row.first,
                     {{1, row.second, 100, 0, 0, true, 0, 0}, {2, int32_t(row.first), 1, 0, 0, true, 0, 0}});
    };
    BucketSummary inOrder;
    for (const auto &row : rows)
        take(inOrder, row);
    const struct {
        size_t slot;
        int64_t balance, firstSeq, lastSeq;
        SummaryPoint first, low, high, last;
    } expected[] = {
        {0, 1, 3, 10, {3000, 5.0}, {4000, -2.5}, {5000, 9.0}, {10000, 0.0}}, // of ties the earliest
        {1, 2, 3, 10, {3000, 3.0}, {3000, 3.0}, {10000, 10.0}, {10000, 10.0}},
    };
    ASSERT_EQ(inOrder.slots.size(), 2u);
    EXPECT_EQ(inOrder.rows, 7);
    for (const auto &e : expected) {
        SCOPED_TRACE(e.slot);
        EXPECT_EQ(inOrder.slots[e.slot], (SlotSummary{e.balance, e.firstSeq, e.lastSeq, e.first, e.low, e.high, e.last}));
    }
    std::mt19937 shuffle(23);
    for (int round = 0; round < 20; ++round) {
        auto arrival = rows;
        std::shuffle(arrival.begin(), arrival.end(), shuffle);
        BucketSummary late;
        for (const auto &row : arrival)
            take(late, row);
        EXPECT_EQ(late, inOrder) << "round " << round;
    }

    const std::string bytes = inOrder.slotBytes();
    EXPECT_EQ(BucketSummary::slotsFrom(bytes), inOrder.slots);
    for (const size_t length : {size_t(0), size_t(87), bytes.size() - 1, bytes.size() + 8}) {
        const std::string cut = (bytes + std::string(8, '\0')).substr(0, length);
        EXPECT_EQ(BucketSummary::slotsFrom(cut).has_value(), length % 88 == 0) << length;
    }
}
