// The journal as the publisher's backlog, on a real journal file: the rows a
// run recorded come back as they were, what was published is kept in the
// file, and a run the journal does not hold waits in memory.
#include "journal/Journal.h"
#include "journal/JournalReader.h"
#include "publish/JournalBacklog.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

RecordedRow rowAt(int32_t number)
{
    RecordedRow row;
    row.number = number;
    row.utcMs = 1796780751000 + number * 200;
    row.utcOffsetSeconds = 10800;
    row.readings = {{2, 100 + number, 10, 200, 0, true, 300, 71},
                    {5, -number, 1000, 207, -1, false, 404, 72}};
    return row;
}

struct JournalBacklogTest : ::testing::Test {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("journal-backlog-" + std::to_string(::getpid()));
    std::string path = (folder / "journal.sqlite").string();
    std::string failure;
    pondus::journal::Journal journal{path, [this](const std::string &, const std::string &reason) { failure = reason; }};

    void SetUp() override
    {
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(journal.open()) << failure;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    RunSettings settings() const
    {
        RunSettings run;
        run.port = "COM1";
        run.periodMs = 200;
        run.balances = {2, 5};
        return run;
    }
};

} // namespace

TEST_F(JournalBacklogTest, RowsComeBackFromTheJournalAsRecorded)
{
    JournalBacklog backlog(path, 10);
    const std::string run = "run-1";
    backlog.startRun(run, journal.runStarted(settings()));
    ASSERT_TRUE(backlog.fromJournal());
    for (int n = 1; n <= 5; ++n) {
        const std::optional<RowKey> key = journal.recordRow(rowAt(n));
        ASSERT_TRUE(key);
        EXPECT_EQ(key->seq, n);
        EXPECT_EQ(backlog.append({rowAt(n), key->run, key->seq}), n);
    }
    const std::vector<SequencedRow> rows = backlog.rowsAfter(run, 1, 3);
    ASSERT_EQ(rows.size(), 3u);
    for (size_t i = 0; i < rows.size(); ++i) {
        const RecordedRow expected = rowAt(int32_t(i + 2));
        EXPECT_EQ(rows[i].seq, int64_t(i + 2));
        EXPECT_EQ(rows[i].row.number, expected.number);
        EXPECT_EQ(rows[i].row.utcMs, expected.utcMs);
        EXPECT_EQ(rows[i].row.utcOffsetSeconds, expected.utcOffsetSeconds);
        ASSERT_EQ(rows[i].row.readings.size(), 2u);
        for (size_t slot = 0; slot < 2; ++slot) {
            const BalanceReading &got = rows[i].row.readings[slot];
            const BalanceReading &want = expected.readings[slot];
            EXPECT_EQ(got.balance, want.balance);
            EXPECT_EQ(got.rawValue, want.rawValue);
            EXPECT_EQ(got.divisor, want.divisor);
            EXPECT_EQ(got.unitCode, want.unitCode);
            EXPECT_EQ(got.shownUnit, want.shownUnit);
            EXPECT_EQ(got.stable, want.stable);
            EXPECT_EQ(got.modelCode, want.modelCode);
            EXPECT_EQ(got.ident, want.ident);
        }
    }
    EXPECT_TRUE(backlog.rowsAfter(run, 5, 10).empty());

    backlog.markPublished(run, 4);
    backlog.markPublished(run, 2); // an older mark never moves it back
    pondus::journal::JournalReader reader(path);
    ASSERT_FALSE(reader.failure());
    EXPECT_EQ(reader.publishedThrough(reader.newestRun()->run), 4);
    EXPECT_TRUE(failure.empty()) << "the journal's writer is not disturbed: " << failure;
}

TEST_F(JournalBacklogTest, ARunTheJournalDoesNotHoldWaitsInMemory)
{
    JournalBacklog backlog(path, 10);
    journal.runStarted(settings());
    // A run the journal does not keep: the journal was off.
    const std::string run = "run-2";
    backlog.startRun(run, 0);
    EXPECT_FALSE(backlog.fromJournal());
    EXPECT_EQ(backlog.append({rowAt(1)}), 1);
    EXPECT_EQ(backlog.append({rowAt(2)}), 2);
    ASSERT_EQ(backlog.rowsAfter(run, 0, 10).size(), 2u);
    backlog.markPublished(run, 2);
    EXPECT_TRUE(backlog.rowsAfter(run, 0, 10).empty());
}
