// Edited cells on a real journal file: kept by run, row and balance column,
// put back where they stand on the grid, and an older file's grid-keyed
// edits re-keyed when it is opened, none lost.
#include "JournalFixture.h"

#include "journal/ChainVerifier.h"
#include "journal/JournalSchema.h"
#include "recording/MeasurementColumns.h"

#include <optional>

using pondus::journal::CellEdit;
using pondus::journal::PendingSheet;

namespace {

using Place = std::pair<int32_t, int32_t>;
using Columns = MeasurementColumns;

struct Restored {
    std::vector<Place> places;
    std::vector<std::string> texts;
    std::optional<int32_t> reference;
};

Restored restoreOnly(pondus::journal::Journal &journal)
{
    Restored restored;
    const std::vector<PendingSheet> pending = journal.pendingSheets();
    if (pending.size() == 1)
        journal.restore(pending[0], {{}, {}, [&](int32_t row, int32_t column, const CellEdit &edit) {
                                         restored.places.emplace_back(row, column);
                                         restored.texts.push_back(edit.oldText + ">" + edit.newText);
                                     },
                                     [&](int32_t row) { restored.reference = row; }});
    return restored;
}

class JournalCells : public JournalFixture {
protected:
    // Two runs in one table: three balances and five rows, then balances 3
    // and 2 (in that order) and three rows.
    static void recordTwoRuns(pondus::journal::Journal &journal)
    {
        journal.runStarted(settings(3), {1'700'000'000'000, 0});
        for (int n = 1; n <= 5; ++n)
            journal.recordRow(row(n, 3));
        journal.runStopped();
        RunSettings second = settings(0);
        second.balances = {3, 2};
        journal.runStarted(second, {1'700'000'100'000, 0});
        for (int n = 6; n <= 8; ++n)
            journal.recordRow(row(n, 2));
        journal.runStopped();
    }
};

} // namespace

TEST_F(JournalCells, EditsAreKeyedByRunRowAndBalanceAndComeBackInPlace)
{
    const std::vector<Place> edited = {
        {Columns::rowOf(7), Columns::valueColumn(1)}, // run 2, row 2, balance 2
        {Columns::rowOf(2), Columns::unitColumn(2)},  // run 1, row 2, balance 3
        {Columns::rowOf(8), Columns::timeColumn},
        {Columns::identRow, Columns::valueColumn(0)}, // the caption of balance 3 in run 2
    };
    {
        auto journal = makeJournal();
        recordTwoRuns(journal);
        for (const Place &place : edited)
            journal.cellEdited({journal.cellAt(place.first, place.second), "a", "b", {}});
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM event WHERE kind = 'cell_edit' AND detail = "
                     "'{\"run\":2,\"seq\":2,\"column\":\"value\",\"balance\":2,\"old\":\"a\",\"new\":\"b\"}'"),
              1);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.balance') FROM event WHERE kind = 'cell_edit' AND "
                     "json_extract(detail, '$.caption') = 2"),
              3);
    auto journal = makeJournal();
    ASSERT_TRUE(journal.open());
    EXPECT_EQ(restoreOnly(journal).places, edited);
    EXPECT_TRUE(failures.empty());
}

TEST_F(JournalCells, TheLastReferenceRowPickedComesBackAtItsRow)
{
    struct Case {
        std::vector<int32_t> picks; // grid rows, in the order picked
        std::optional<int32_t> restored;
        const char *detail; // of the last pick
    };
    const Case cases[] = {
        {{}, std::nullopt, nullptr},
        {{Columns::rowOf(4)}, Columns::rowOf(4), "{\"run\":1,\"seq\":4}"},
        // A second pick replaces the first, also in another run.
        {{Columns::rowOf(2), Columns::rowOf(7)}, Columns::rowOf(7), "{\"run\":2,\"seq\":2}"},
        // A row the journal holds none of is kept by its grid place.
        {{Columns::rowOf(40)}, Columns::rowOf(40), "{\"grid_row\":42}"},
    };
    for (const Case &c : cases) {
        std::filesystem::remove(path);
        {
            auto journal = makeJournal();
            recordTwoRuns(journal);
            for (const int32_t row : c.picks)
                journal.referenceRowPicked(journal.cellAt(row, Columns::numberColumn));
        }
        EXPECT_EQ(scalar("SELECT count(*) FROM event WHERE kind = 'reference_row'"), int64_t(c.picks.size()));
        if (c.detail) {
            EXPECT_EQ(scalar(std::string("SELECT detail = '") + c.detail +
                             "' FROM event WHERE kind = 'reference_row' ORDER BY id DESC LIMIT 1"),
                      1);
        }
        auto journal = makeJournal();
        ASSERT_TRUE(journal.open());
        EXPECT_EQ(restoreOnly(journal).reference, c.restored) << c.picks.size();
    }
    EXPECT_TRUE(failures.empty());
}

TEST_F(JournalCells, AnOlderFileKeepsItsGridKeyedEditsReKeyedAndIsChainedOnce)
{
    // The file as the first version left it, with the same two runs, and
    // edits by grid row and column, one of them on a row it does not hold.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(pondus::journal::prepareSchema(db, 1), std::nullopt);
    sqlite3_close(db);
    execute("INSERT INTO sheet (id, opened_ms) VALUES (1, 1700000000000);"
            "INSERT INTO run VALUES (1, 1, 1700000000000, 0, 'COM1', 'periodic', 200, 0, 20, '[1,2,3]'),"
            "                       (2, 1, 1700000100000, 0, 'COM1', 'periodic', 200, 0, 20, '[3,2]');"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 8) "
            "INSERT INTO measurement SELECT CASE WHEN i <= 5 THEN 1 ELSE 2 END, CASE WHEN i <= 5 THEN i ELSE i - 5 END, "
            "i, 1700000000000 + 200 * i + CASE WHEN i <= 5 THEN 0 ELSE 100000 END, 0, "
            "CASE WHEN i <= 5 THEN '[1,2,3]' ELSE '[3,2]' END, 1, '00' FROM n;"
            "INSERT INTO balance_state VALUES (1, 0, 1, 1, 300, 5000, 100, 200), (2, 0, 1, 3, 302, 5002, 100, 200);"
            "INSERT INTO event (utc_ms, utc_offset_s, sheet, run, kind, detail) VALUES "
            "(1700000000000, 0, 1, 1, 'run_start', NULL), (1700000100000, 0, 1, 2, 'run_start', NULL),"
            "(1700000200000, 0, 1, NULL, 'cell_edit', '{\"row\":9,\"column\":5,\"old\":\"1\",\"new\":\"2\"}'),"
            "(1700000200001, 0, 1, NULL, 'cell_edit', '{\"row\":4,\"column\":1,\"old\":\"3\",\"new\":\"4\"}'),"
            "(1700000200002, 0, 1, NULL, 'cell_edit', '{\"row\":0,\"column\":3,\"old\":\"5\",\"new\":\"6\"}'),"
            "(1700000200003, 0, 1, NULL, 'cell_edit', '{\"row\":40,\"column\":4,\"old\":\"7\",\"new\":\"8\"}');");
    auto journal = makeJournal();
    ASSERT_TRUE(journal.open()) << failures.front();
    EXPECT_EQ(scalar("PRAGMA user_version"), pondus::journal::schemaVersion);
    EXPECT_EQ(scalar("SELECT count(*) FROM event WHERE kind = 'cell_edit'"), 4);
    EXPECT_EQ(scalar("SELECT count(*) FROM event WHERE json_extract(detail, '$.run') = 2 AND "
                     "json_extract(detail, '$.seq') = 2 AND json_extract(detail, '$.balance') = 2 AND "
                     "json_extract(detail, '$.column') = 'value'"),
              1);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.seq') FROM event WHERE json_extract(detail, '$.column') = 'time'"),
              2);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.balance') FROM event WHERE json_extract(detail, '$.caption') = 0"),
              3);
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.grid_row') FROM event WHERE json_extract(detail, '$.new') = '8'"),
              40);
    const Restored restored = restoreOnly(journal);
    EXPECT_EQ(restored.places, (std::vector<Place>{{9, 5}, {4, 1}, {0, 3}, {40, 4}}));
    EXPECT_EQ(restored.texts, (std::vector<std::string>{"1>2", "3>4", "5>6", "7>8"}));
    // Chained once, marked so with the date, and whole.
    EXPECT_EQ(scalar("SELECT json_extract(detail, '$.links') FROM event WHERE kind = 'chained_on_migration' AND "
                     "json_extract(detail, '$.note') = 'chained on migration' AND json_extract(detail, '$.date') LIKE '2%'"),
              14);
    const pondus::journal::ChainCheck check = pondus::journal::verifyChain(path);
    EXPECT_TRUE(check.intact) << check.broken;
    EXPECT_EQ(check.runs.size(), 2u);
    EXPECT_TRUE(failures.empty());
}
