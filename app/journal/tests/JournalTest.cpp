// The journal on a real SQLite file: rows come back exactly as recorded,
// events are kept, and recovery offers only what was neither exported,
// cleared nor declined.
#include "JournalFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

using pondus::journal::CellEdit;
using pondus::journal::PendingSheet;
using pondus::journal::RestoreSink;

namespace {

struct Restored {
    std::vector<RunSettings> runs;
    std::vector<RecordedRow> rows;
    std::vector<CellEdit> edits;
    std::vector<std::pair<int32_t, int32_t>> places;

    RestoreSink sink()
    {
        return {[this](const RunSettings &s) { runs.push_back(s); },
                [this](const RecordedRow &r) { rows.push_back(r); },
                [this](int32_t row, int32_t column, const CellEdit &e) {
                    places.emplace_back(row, column);
                    edits.push_back(e);
                },
                {}};
    }
};

} // namespace

TEST_F(JournalFixture, RowsEditsAndSettingsComeBackAsRecorded)
{
    std::vector<RecordedRow> written;
    {
        auto journal = makeJournal();
        journal.programStarted();
        RunSettings first = settings(3);
        first.mode = RecordingMode::OnNewWeight;
        first.threshold = 7;
        journal.runStarted(first);
        for (int n = 1; n <= 5; ++n) {
            written.push_back(row(n, 3));
            journal.recordRow(written.back());
        }
        journal.runStopped();
        // A second run continues the same table with other balances; the
        // unit of one balance changes on its way.
        journal.runStarted(settings(2));
        for (int n = 6; n <= 8; ++n) {
            written.push_back(row(n, 2));
            written.back().readings[1].unitCode = n >= 7 ? 204 : 200;
            written.back().readings[1].shownUnit = n >= 7 ? 4 : 0;
            journal.recordRow(written.back());
        }
        journal.cellEdited({journal.cellAt(4, 3), "-4,95", "1,5 \"x\"\n", {}});
        journal.cellEdited({journal.cellAt(4, 3), "1,5 \"x\"\n", "2", "весы \"2\" перепутаны"});
        EXPECT_EQ(journal.sheetRows(), 8);
        // The program ends without export or clear.
    }
    auto journal = makeJournal();
    ASSERT_TRUE(journal.open());
    const std::vector<PendingSheet> pending = journal.pendingSheets();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].rows, 8);
    Restored restored;
    ASSERT_TRUE(journal.restore(pending[0], restored.sink()));
    EXPECT_EQ(restored.rows, written);
    ASSERT_EQ(restored.runs.size(), 2u);
    EXPECT_EQ(restored.runs[0].mode, RecordingMode::OnNewWeight);
    EXPECT_EQ(restored.runs[0].threshold, 7);
    EXPECT_EQ(restored.runs[0].balances, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(restored.runs[1].balances, (std::vector<int32_t>{1, 2}));
    ASSERT_EQ(restored.edits.size(), 2u);
    EXPECT_EQ(restored.edits[0].newText, "1,5 \"x\"\n");
    EXPECT_EQ(restored.edits[1].oldText, "1,5 \"x\"\n");
    EXPECT_EQ(restored.edits[0].reason, "");
    EXPECT_EQ(restored.edits[1].reason, "весы \"2\" перепутаны");
    EXPECT_EQ(restored.places[1], std::pair(4, 3));
    EXPECT_EQ(restored.edits[1].cell.seq, 2);
    EXPECT_EQ(restored.edits[1].cell.balance, 1);
    EXPECT_TRUE(failures.empty());
    // A restored table is the current one: it is no longer offered, and the
    // next run continues it.
    EXPECT_TRUE(journal.pendingSheets().empty());
    journal.runStarted(settings(1));
    journal.recordRow(row(9, 1));
    EXPECT_EQ(journal.sheetRows(), 9);
    EXPECT_EQ(scalar("SELECT count(DISTINCT sheet) FROM run"), 1);
}

TEST_F(JournalFixture, EventsAreJournaledWithTheirDetails)
{
    {
        auto journal = makeJournal();
        journal.programStarted();
        journal.runStarted(settings(2));
        journal.recordRow(row(1, 2));
        journal.linkLost(101);
        journal.linkRegained();
        RecordedRow other = row(2, 2);
        other.readings[1].ident = 9999;
        journal.recordRow(other);
        journal.runStopped();
        journal.exported("/tmp/результаты.xls", journal.sheetRows());
        journal.cleared();
        journal.programExited();
    }
    EXPECT_EQ(scalar("SELECT group_concat(kind, ' ') = 'program_start run_start link_lost link_regained "
                     "balance_replaced run_stop export clear program_exit' FROM (SELECT kind FROM event ORDER BY id)"),
              1);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.state') FROM event WHERE kind = 'link_lost'"), 101);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.file') = '/tmp/результаты.xls' AND "
                     "json_extract(detail, '$.rows') = 2 FROM event WHERE kind = 'export'"),
              1);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.ident[1]') FROM event WHERE kind = 'balance_replaced'"), 9999);
    // The reading view names the balance that weighed each value.
    EXPECT_EQ(scalar("SELECT ident FROM reading WHERE seq = 1 AND slot = 1"), 5001);
    EXPECT_EQ(scalar("SELECT ident FROM reading WHERE seq = 2 AND slot = 1"), 9999);
    EXPECT_EQ(scalar("SELECT weight * 100 FROM reading WHERE seq = 2 AND slot = 0"), 2000 - 500000);
    EXPECT_EQ(scalar("PRAGMA user_version"), 3);
    EXPECT_TRUE(failures.empty());
}

TEST_F(JournalFixture, OnlyTablesNeitherExportedClearedNorDeclinedArePending)
{
    {
        auto journal = makeJournal();
        journal.programStarted();
        // Exported whole, then cleared: not pending.
        journal.runStarted(settings(1));
        journal.recordRow(row(1, 1));
        journal.exported("a.xls", journal.sheetRows());
        journal.cleared();
        // Exported, then recorded on: pending with all its rows.
        journal.runStarted(settings(1));
        journal.recordRow(row(1, 1));
        const int64_t snapshot = journal.sheetRows();
        journal.recordRow(row(2, 1));
        journal.exported("b.xls", snapshot);
    }
    {
        auto journal = makeJournal();
        ASSERT_TRUE(journal.open());
        auto pending = journal.pendingSheets();
        ASSERT_EQ(pending.size(), 1u);
        EXPECT_EQ(pending[0].rows, 2);
        journal.decline(pending[0]);
        EXPECT_TRUE(journal.pendingSheets().empty());
    }
    // Declined rows stay in the journal, marked.
    EXPECT_EQ(scalar("SELECT count(*) FROM measurement"), 3);
    EXPECT_EQ(scalar("SELECT count(*) FROM sheet WHERE closed = 'declined'"), 1);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.rows') FROM event WHERE kind = 'recovery_declined'"), 2);
}

TEST_F(JournalFixture, PruningDropsOldFinishedTablesAndNeverPendingOnes)
{
    {
        auto journal = makeJournal();
        journal.programStarted();
        journal.runStarted(settings(1)); // sheet 1: cleared
        journal.recordRow(row(1, 1));
        journal.cleared();
        journal.runStarted(settings(1)); // sheet 2: pending
        journal.recordRow(row(1, 1));
        journal.cleared();
        journal.runStarted(settings(1)); // sheet 3: cleared but recent
        journal.recordRow(row(1, 1));
        journal.cleared();
    }
    // Sheets 1 and 2 are made 100 days old; sheet 2 was never cleared.
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "UPDATE sheet SET opened_ms = opened_ms - 8640000000, closed_ms = closed_ms - 8640000000 "
                               "WHERE id <= 2; UPDATE sheet SET closed = NULL, closed_ms = NULL WHERE id = 2;"
                               "UPDATE event SET utc_ms = utc_ms - 8640000000 WHERE kind = 'program_start'",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto journal = makeJournal();
    ASSERT_TRUE(journal.open());
    EXPECT_EQ(journal.prune(90), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM sheet WHERE id = 1"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM sheet WHERE id IN (2, 3)"), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM measurement"), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM run WHERE sheet = 1"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM event WHERE kind = 'program_start'"), 0);
    EXPECT_EQ(journal.pendingSheets().size(), 1u);
}

TEST_F(JournalFixture, AnotherConnectionReadsRowsInOrderWhileTheyAreWritten)
{
    auto journal = makeJournal();
    journal.programStarted();
    journal.runStarted(settings(10));
    constexpr int rows = 300;
    std::atomic<bool> inOrder{true};
    std::atomic<int64_t> seen{0};
    std::thread reader([&] {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt *next = nullptr;
        sqlite3_prepare_v2(db, "SELECT seq FROM measurement WHERE run = 1 AND seq > ?1 ORDER BY seq", -1, &next,
                           nullptr);
        int64_t last = 0;
        for (int attempt = 0; attempt < 200000 && last < rows; ++attempt) {
            sqlite3_bind_int64(next, 1, last);
            while (sqlite3_step(next) == SQLITE_ROW) {
                const int64_t seq = sqlite3_column_int64(next, 0);
                if (seq != last + 1)
                    inOrder = false;
                last = seq;
            }
            sqlite3_reset(next);
            std::this_thread::yield();
        }
        seen = last;
        sqlite3_finalize(next);
        sqlite3_close(db);
    });
    for (int n = 1; n <= rows; ++n)
        journal.recordRow(row(n, 10));
    reader.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(seen, rows);
    EXPECT_EQ(journal.nextSequence(), rows + 1);
}

TEST_F(JournalFixture, CommittedRowsAreSyncedIntoTheDatabaseSoonAfter)
{
    auto journal = makeJournal();
    journal.programStarted();
    journal.runStarted(settings(10));
    const auto before = std::filesystem::file_size(path);
    for (int n = 1; n <= 500; ++n)
        journal.recordRow(row(n, 10));
    // The syncer's checkpoint copies the log into the database file; waited
    // for with a generous bound, it comes within about half a second.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::filesystem::file_size(path) < before + 500 * 100 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_GE(std::filesystem::file_size(path), before + 500 * 100);
    EXPECT_TRUE(journal.isOpen());
}
