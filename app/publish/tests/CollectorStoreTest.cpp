// The collector's SQLite file on a real file: each (pc, port, run, seq) once,
// the readings of a row beside it, the summary of each run's buckets true to
// its rows, older files brought up to date with every row, and a clear error
// for a path it cannot open.
#include "publish/CollectorStore.h"
#include "publish/RunSummary.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

namespace {

struct CollectorStoreTest : ::testing::Test {
    std::filesystem::path folder = std::filesystem::temp_directory_path()
                                   / ("collector-store-" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    static ParsedReading reading(const std::string &run, int64_t seq)
    {
        ParsedReading r;
        r.run = run;
        r.row.seq = seq;
        r.row.row.utcMs = 1000 * seq;
        r.row.row.readings = {{1, 100, 10, 200, 0, true, 300, 7}, {2, 5, 1, 201, 1, true, 400, 8}};
        return r;
    }
    // The summary's lines in the file, and the lines its rows make when
    // taken in order: the two must be the same however the rows arrived.
    using Lines = std::map<std::tuple<std::string, std::string, std::string, int64_t, int64_t>, BucketSummary>;
    static std::pair<Lines, Lines> storedAndRebuilt(const std::filesystem::path &file)
    {
        sqlite3 *db = nullptr;
        sqlite3_open(file.c_str(), &db);
        Lines stored, rebuilt;
        const auto each = [db](const char *sql, const std::function<void(sqlite3_stmt *)> &take) {
            sqlite3_stmt *statement = nullptr;
            sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
            while (sqlite3_step(statement) == SQLITE_ROW)
                take(statement);
            sqlite3_finalize(statement);
        };
        const auto text = [](sqlite3_stmt *s, int c) { return std::string((const char *)sqlite3_column_text(s, c)); };
        each("SELECT pc, port, run, size, bucket, row_count, slots FROM collected_buckets", [&](sqlite3_stmt *s) {
            BucketSummary &line = stored[{text(s, 0), text(s, 1), text(s, 2), sqlite3_column_int64(s, 3),
                                          sqlite3_column_int64(s, 4)}];
            line.rows = sqlite3_column_int64(s, 5);
            line.slots = BucketSummary::slotsFrom(
                             {(const char *)sqlite3_column_blob(s, 6), size_t(sqlite3_column_bytes(s, 6))})
                             .value_or(std::vector<SlotSummary>{});
        });
        each("SELECT r.pc, r.port, r.run, r.seq, r.utc_ms, group_concat(v.raw_value || ' ' || v.divisor || ' ' || v.balance, ' ') "
             "FROM collected_rows r JOIN collected_readings v USING (pc, port, run, seq) "
             "GROUP BY r.pc, r.port, r.run, r.seq ORDER BY r.pc, r.port, r.run, r.seq",
             [&](sqlite3_stmt *s) {
                 std::vector<BalanceReading> readings;
                 std::istringstream values(text(s, 5));
                 for (int32_t raw, divisor, balance; values >> raw >> divisor >> balance;)
                     readings.push_back({balance, raw, divisor, 0, 0, true, 0, 0});
                 const int64_t seq = sqlite3_column_int64(s, 3);
                 for (const int64_t size : summaryBucketRows)
                     rebuilt[{text(s, 0), text(s, 1), text(s, 2), size, (seq - 1) / size}].take(
                         seq, sqlite3_column_int64(s, 4), readings);
             });
        sqlite3_close(db);
        return {stored, rebuilt};
    }
    static int64_t count(const std::filesystem::path &file, const char *sql)
    {
        sqlite3 *db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        sqlite3_step(statement);
        const int64_t n = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return n;
    }
};

} // namespace

TEST_F(CollectorStoreTest, KeepsEachRowOnceWithItsReadings)
{
    const auto file = folder / "lab.db";
    std::string error;
    auto store = CollectorStore::open(file, error);
    ASSERT_TRUE(store) << error;
    const PortTopics pc1{"lab", "pc1", "COM1"};
    const PortTopics pc2{"lab", "pc2", "COM1"};
    EXPECT_EQ(store->store(pc1, reading("r", 1), 5), CollectorStore::Outcome::Stored);
    EXPECT_EQ(store->store(pc1, reading("r", 2), 5), CollectorStore::Outcome::Stored);
    EXPECT_EQ(store->store(pc1, reading("r", 1), 6), CollectorStore::Outcome::Duplicate);
    EXPECT_EQ(store->store(pc2, reading("r", 1), 6), CollectorStore::Outcome::Stored) << "another PC";
    EXPECT_EQ(store->store({"lab", "pc1", "COM2"}, reading("r", 1), 6), CollectorStore::Outcome::Stored)
        << "another port of the same PC";
    EXPECT_EQ(store->lastSeq(pc1, "r"), 2);
    EXPECT_EQ(store->lastSeq(pc1, "other"), 0);
    EXPECT_TRUE(store->storeStatus(pc1, R"({"status":"online"})", 7));
    EXPECT_TRUE(store->storeStatus(pc1, R"({"status":"offline"})", 8));
    store.reset();
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_rows"), 4);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_readings"), 8);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM port_status WHERE payload LIKE '%offline%'"), 1);

    // Opened again, the file keeps what it had and still refuses duplicates.
    store = CollectorStore::open(file, error);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->store(pc1, reading("r", 2), 9), CollectorStore::Outcome::Duplicate);
}

TEST_F(CollectorStoreTest, NamesThePathItCannotOpen)
{
    std::string error;
    const auto missing = folder / "no-such-folder" / "lab.db";
    EXPECT_FALSE(CollectorStore::open(missing, error));
    EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
}

TEST_F(CollectorStoreTest, AFileOfTheFirstVersionKeepsEveryRowAndTakesThePortIntoTheKey)
{
    const auto file = folder / "old.db";
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    const char *firstVersion =
        "CREATE TABLE collected_rows (pc TEXT NOT NULL, port TEXT NOT NULL, run TEXT NOT NULL, seq INTEGER NOT NULL,"
        " number INTEGER NOT NULL, utc_ms INTEGER NOT NULL, utc_offset_s INTEGER NOT NULL,"
        " received_utc_ms INTEGER NOT NULL, PRIMARY KEY (pc, run, seq));"
        "CREATE TABLE collected_readings (pc TEXT NOT NULL, run TEXT NOT NULL, seq INTEGER NOT NULL,"
        " slot INTEGER NOT NULL, balance INTEGER NOT NULL, raw_value INTEGER NOT NULL, divisor INTEGER NOT NULL,"
        " unit_code INTEGER NOT NULL, shown_unit INTEGER NOT NULL, stable INTEGER NOT NULL,"
        " model_code INTEGER NOT NULL, ident INTEGER NOT NULL, PRIMARY KEY (pc, run, seq, slot));"
        "CREATE TABLE port_status (pc TEXT NOT NULL, port TEXT NOT NULL, payload TEXT NOT NULL,"
        " received_utc_ms INTEGER NOT NULL, PRIMARY KEY (pc, port));"
        "INSERT INTO collected_rows VALUES ('pc1', 'COM1', 'r', 1, 1, 1000, 0, 5), ('pc1', 'COM1', 'r', 2, 2, 2000, 0, 5),"
        " ('pc2', 'COM3', 'r', 1, 1, 1000, 0, 5);"
        "INSERT INTO collected_readings VALUES ('pc1', 'r', 1, 0, 1, 100, 10, 200, 0, 1, 300, 7),"
        " ('pc1', 'r', 2, 0, 1, 101, 10, 200, 0, 1, 300, 7), ('pc2', 'r', 1, 0, 1, 102, 10, 200, 0, 1, 300, 7);"
        "INSERT INTO port_status VALUES ('pc1', 'COM1', '{}', 5);";
    ASSERT_EQ(sqlite3_exec(db, firstVersion, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);

    std::string error;
    auto store = CollectorStore::open(file, error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->lastSeq({"lab", "pc1", "COM1"}, "r"), 2);
    EXPECT_EQ(store->store({"lab", "pc1", "COM1"}, reading("r", 2), 9), CollectorStore::Outcome::Duplicate);
    EXPECT_EQ(store->store({"lab", "pc1", "COM2"}, reading("r", 1), 9), CollectorStore::Outcome::Stored);
    store.reset();
    EXPECT_EQ(count(file, "PRAGMA user_version"), 2);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_buckets WHERE size = 16"), 3) << "a summary of every run";
    const auto [stored, rebuilt] = storedAndRebuilt(file);
    EXPECT_TRUE(stored == rebuilt);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_rows"), 3 + 1);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_readings WHERE port = 'COM3' AND raw_value = 102"), 1);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_readings"), 3 + 2);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM port_status"), 1);

    // Opened again, nothing moves twice; a newer file is left alone.
    ASSERT_TRUE(CollectorStore::open(file, error)) << error;
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_rows"), 4);
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 9", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_FALSE(CollectorStore::open(file, error));
    EXPECT_NE(error.find("newer version"), std::string::npos) << error;
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_rows"), 4);
}

TEST_F(CollectorStoreTest, TheSummaryOfEachBucketIsTrueToItsRowsHoweverTheyArrive)
{
    const auto file = folder / "lab.db";
    std::string error;
    auto store = CollectorStore::open(file, error);
    ASSERT_TRUE(store) << error;
    const PortTopics pc1{"lab", "pc1", "COM1"};
    auto shaped = [](int64_t seq) {
        ParsedReading r = reading("r", seq);
        r.row.row.readings[0].rawValue = int32_t((seq * 7919) % 1000 - 500); // up and down, below zero too
        return r;
    };
    // How rows reach the collector: in order, in batches, late, twice.
    struct Arrival {
        int64_t from, to, step;
        bool batched;
    } arrivals[] = {{1, 300, 1, false}, {5000, 4001, -1, true}, {301, 4000, 1, true}, {4500, 4600, 1, false},
                    {4100, 4200, 1, true}};
    for (const Arrival &a : arrivals) {
        std::vector<ParsedReading> batch;
        for (int64_t seq = a.from; seq != a.to + a.step; seq += a.step) {
            if (seq % 97 == 0)
                continue; // never arrived
            if (a.batched)
                batch.push_back(shaped(seq));
            else
                ASSERT_NE(store->store(pc1, shaped(seq), 1), CollectorStore::Outcome::Failed) << store->lastError();
        }
        ASSERT_TRUE(store->storeAll(pc1, batch, 1)) << store->lastError();
    }
    store.reset();
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_rows"), 5000 - 5000 / 97);
    EXPECT_EQ(count(file, "SELECT SUM(row_count) FROM collected_buckets WHERE size = 4096"),
              5000 - 5000 / 97) << "each row taken once, duplicates not counted";
    const auto [stored, rebuilt] = storedAndRebuilt(file);
    EXPECT_EQ(stored.size(), rebuilt.size());
    EXPECT_TRUE(stored == rebuilt);
}

TEST_F(CollectorStoreTest, AFileOfTheSecondVersionHasItsSummaryBuiltFromItsRows)
{
    const auto file = folder / "v1.db";
    std::string error;
    auto store = CollectorStore::open(file, error);
    ASSERT_TRUE(store) << error;
    std::vector<ParsedReading> rows;
    for (int64_t seq = 1; seq <= 700; ++seq)
        rows.push_back(reading(seq < 400 ? "r1" : "r2", seq));
    ASSERT_TRUE(store->storeAll({"lab", "pc1", "COM1"}, rows, 1));
    store.reset();
    const int64_t lines = count(file, "SELECT COUNT(*) FROM collected_buckets");
    sqlite3 *db = nullptr;
    sqlite3_open(file.c_str(), &db);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE collected_buckets; PRAGMA user_version = 1", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    ASSERT_TRUE(CollectorStore::open(file, error)) << error;
    EXPECT_EQ(count(file, "PRAGMA user_version"), 2);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_rows"), 700);
    EXPECT_EQ(count(file, "SELECT COUNT(*) FROM collected_buckets"), lines);
    const auto [stored, rebuilt] = storedAndRebuilt(file);
    EXPECT_EQ(stored.size(), rebuilt.size());
    EXPECT_TRUE(stored == rebuilt);
}
