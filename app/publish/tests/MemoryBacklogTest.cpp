// The in-memory backlog: consecutive numbers per run, rows kept until
// published, the oldest given up when full.
#include "publish/MemoryBacklog.h"

#include <gtest/gtest.h>

namespace {

RecordedRow rowNumber(int32_t number)
{
    RecordedRow row;
    row.number = number;
    return row;
}

} // namespace

TEST(MemoryBacklog, NumbersRowsPerRunAndHandsThemOutInOrder)
{
    MemoryBacklog backlog(100);
    EXPECT_EQ(backlog.append("a", rowNumber(1)), 1);
    EXPECT_EQ(backlog.append("a", rowNumber(2)), 2);
    EXPECT_EQ(backlog.append("a", rowNumber(3)), 3);
    EXPECT_EQ(backlog.append("b", rowNumber(1)), 1) << "a new run starts at 1";
    const auto rows = backlog.rowsAfter("a", 1, 10);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].seq, 2);
    EXPECT_EQ(rows[1].row.number, 3);
    EXPECT_EQ(backlog.rowsAfter("a", 0, 1).size(), 1u) << "the limit holds";
    EXPECT_EQ(backlog.rowsAfter("b", 0, 10).size(), 1u);
}

TEST(MemoryBacklog, PublishedRowsLeaveAndNewerRunsStay)
{
    MemoryBacklog backlog(100);
    for (int i = 1; i <= 3; ++i)
        backlog.append("a", rowNumber(i));
    backlog.append("b", rowNumber(1));
    backlog.markPublished("a", 2);
    EXPECT_EQ(backlog.size(), 2u);
    backlog.markPublished("a", 3);
    backlog.markPublished("a", 3);
    EXPECT_EQ(backlog.size(), 1u) << "marking a finished run again must not touch the next one";
    EXPECT_EQ(backlog.rowsAfter("b", 0, 10).size(), 1u);
}

TEST(MemoryBacklog, GivesUpTheOldestWhenFull)
{
    MemoryBacklog backlog(3);
    for (int i = 1; i <= 5; ++i)
        backlog.append("a", rowNumber(i));
    EXPECT_EQ(backlog.size(), 3u);
    EXPECT_EQ(backlog.dropped(), 2);
    EXPECT_EQ(backlog.rowsAfter("a", 0, 10).front().seq, 3);
}
