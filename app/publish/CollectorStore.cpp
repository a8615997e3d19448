#include "publish/CollectorStore.h"

#include <sqlite3.h>

#include <optional>
#include <type_traits>

namespace {

// A reading is one row of a PC's port: two ports of one PC may start runs
// of the same name (the same millisecond), so the port is part of the key.
const char *const tables = R"sql(
CREATE TABLE collected_rows (
    pc TEXT NOT NULL,
    port TEXT NOT NULL,
    run TEXT NOT NULL,
    seq INTEGER NOT NULL,
    number INTEGER NOT NULL,
    utc_ms INTEGER NOT NULL,
    utc_offset_s INTEGER NOT NULL,
    received_utc_ms INTEGER NOT NULL,
    PRIMARY KEY (pc, port, run, seq)
);
CREATE TABLE collected_readings (
    pc TEXT NOT NULL,
    port TEXT NOT NULL,
    run TEXT NOT NULL,
    seq INTEGER NOT NULL,
    slot INTEGER NOT NULL,
    balance INTEGER NOT NULL,
    raw_value INTEGER NOT NULL,
    divisor INTEGER NOT NULL,
    unit_code INTEGER NOT NULL,
    shown_unit INTEGER NOT NULL,
    stable INTEGER NOT NULL,
    model_code INTEGER NOT NULL,
    ident INTEGER NOT NULL,
    PRIMARY KEY (pc, port, run, seq, slot)
);
CREATE TABLE IF NOT EXISTS port_status (
    pc TEXT NOT NULL,
    port TEXT NOT NULL,
    payload TEXT NOT NULL,
    received_utc_ms INTEGER NOT NULL,
    PRIMARY KEY (pc, port)
);
)sql";

// The first files keyed rows by (pc, run, seq): their rows move over whole,
// each reading taking the port of its row, in one transaction.
const char *const fromFirstVersion = R"sql(
ALTER TABLE collected_rows RENAME TO collected_rows_v0;
ALTER TABLE collected_readings RENAME TO collected_readings_v0;
)sql";
const char *const moveFirstVersionRows = R"sql(
INSERT INTO collected_rows SELECT * FROM collected_rows_v0;
INSERT INTO collected_readings
    SELECT v.pc, coalesce(r.port, ''), v.run, v.seq, v.slot, v.balance, v.raw_value, v.divisor, v.unit_code,
           v.shown_unit, v.stable, v.model_code, v.ident
    FROM collected_readings_v0 v LEFT JOIN collected_rows_v0 r ON r.pc = v.pc AND r.run = v.run AND r.seq = v.seq;
DROP TABLE collected_readings_v0;
DROP TABLE collected_rows_v0;
)sql";

// The summary of the second version: a line per run, bucket size, bucket and
// balance. Without a rowid, a chart's range of buckets is one run of pages.
const char *const summaryTable = R"sql(
CREATE TABLE collected_buckets (
    pc TEXT NOT NULL,
    port TEXT NOT NULL,
    run TEXT NOT NULL,
    size INTEGER NOT NULL,
    bucket INTEGER NOT NULL,
    slot INTEGER NOT NULL,
    balance INTEGER NOT NULL,
    row_count INTEGER NOT NULL,
    first_seq INTEGER NOT NULL,
    first_ms INTEGER NOT NULL,
    first_value REAL NOT NULL,
    low_ms INTEGER NOT NULL,
    low_value REAL NOT NULL,
    high_ms INTEGER NOT NULL,
    high_value REAL NOT NULL,
    last_seq INTEGER NOT NULL,
    last_ms INTEGER NOT NULL,
    last_value REAL NOT NULL,
    PRIMARY KEY (pc, port, run, size, bucket, slot)
) WITHOUT ROWID;
)sql";

// Takes one reading into a bucket of every size. Each of the source's lines
// carries a size and its bucket, and the columns pc, port, run, seq, slot,
// balance, ms and value; a reading that arrives late (a backlog sent after
// a reconnection) still lands in its place.
std::string intoBuckets(const std::string &source)
{
    std::string sizes;
    for (const int64_t size : CollectorStore::bucketRows)
        sizes += (sizes.empty() ? "(" : ", (") + std::to_string(size) + ")";
    return "INSERT INTO collected_buckets SELECT r.pc, r.port, r.run, s.column1, (r.seq - 1) / s.column1, r.slot, "
           "r.balance, 1, r.seq, r.ms, r.value, r.ms, r.value, r.ms, r.value, r.seq, r.ms, r.value "
           "FROM (" + source + ") r, (VALUES " + sizes + ") s WHERE true "
           "ON CONFLICT DO UPDATE SET row_count = row_count + 1, "
           "first_ms = iif(excluded.first_seq < first_seq, excluded.first_ms, first_ms), "
           "first_value = iif(excluded.first_seq < first_seq, excluded.first_value, first_value), "
           "first_seq = min(first_seq, excluded.first_seq), "
           "low_ms = iif(excluded.low_value < low_value, excluded.low_ms, low_ms), "
           "low_value = min(low_value, excluded.low_value), "
           "high_ms = iif(excluded.high_value > high_value, excluded.high_ms, high_ms), "
           "high_value = max(high_value, excluded.high_value), "
           "last_ms = iif(excluded.last_seq > last_seq, excluded.last_ms, last_ms), "
           "last_value = iif(excluded.last_seq > last_seq, excluded.last_value, last_value), "
           "last_seq = max(last_seq, excluded.last_seq)";
}

const std::string oneReading =
    intoBuckets("SELECT ?1 AS pc, ?2 AS port, ?3 AS run, ?4 AS seq, ?5 AS slot, ?6 AS balance, ?7 AS ms, ?8 AS value");
// A file of the first version has its summary built from every row it holds.
const std::string everyStoredReading = intoBuckets(
    "SELECT v.pc, v.port, v.run, v.seq, v.slot, v.balance, w.utc_ms AS ms, "
    "CAST(v.raw_value AS REAL) / iif(v.divisor = 0, 1, v.divisor) AS value "
    "FROM collected_readings v JOIN collected_rows w "
    "ON w.pc = v.pc AND w.port = v.port AND w.run = v.run AND w.seq = v.seq");

constexpr int schemaVersion = 2;

int64_t numberOf(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

// Makes the tables of a new file or brings an older file's up to date;
// nothing when done, else why not.
std::optional<std::string> prepareTables(sqlite3 *db)
{
    auto run = [db](const char *sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; };
    if (!run("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; BEGIN IMMEDIATE"))
        return sqlite3_errmsg(db);
    const int64_t version = numberOf(db, "PRAGMA user_version");
    const bool existing = numberOf(db, "SELECT count(*) FROM sqlite_schema WHERE name = 'collected_rows'") > 0;
    std::optional<std::string> problem;
    if (version > schemaVersion)
        problem = "a collector file of a newer version (" + std::to_string(version) + "); it is left as it is";
    else if (version < schemaVersion) {
        const std::string setVersion = "PRAGMA user_version = " + std::to_string(schemaVersion);
        const bool rowsKeyed = version >= 1 ||
                               ((!existing || run(fromFirstVersion)) && run(tables) &&
                                (!existing || run(moveFirstVersionRows)));
        const bool made = rowsKeyed && run(summaryTable) && (!existing || run(everyStoredReading.c_str())) &&
                          run(setVersion.c_str());
        if (!made)
            problem = sqlite3_errmsg(db);
    }
    if (problem || !run("COMMIT")) {
        if (!problem)
            problem = sqlite3_errmsg(db);
        run("ROLLBACK");
    }
    return problem;
}

struct StatementDeleter {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Binds text, numbers or booleans to the statement's parameters 1, 2, ...
void bindAll(sqlite3_stmt *, int) {}
template <typename First, typename... Rest>
void bindAll(sqlite3_stmt *statement, int index, const First &first, const Rest &...rest)
{
    if constexpr (std::is_convertible_v<First, std::string>)
        sqlite3_bind_text(statement, index, std::string(first).c_str(), -1, SQLITE_TRANSIENT);
    else if constexpr (std::is_floating_point_v<First>)
        sqlite3_bind_double(statement, index, first);
    else
        sqlite3_bind_int64(statement, index, int64_t(first));
    bindAll(statement, index + 1, rest...);
}

// Runs a prepared statement once with these values; SQLITE_DONE or SQLITE_ROW
// on success.
template <typename... Values>
int runWith(sqlite3_stmt *statement, const Values &...values)
{
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    bindAll(statement, 1, values...);
    return sqlite3_step(statement);
}

} // namespace

struct CollectorStore::Statements {
    Statement begin, commit, rollback, row, reading, bucket, status, lastSeq;
};

std::unique_ptr<CollectorStore> CollectorStore::open(const std::string &path, std::string &error)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        error = path + ": " + (db ? sqlite3_errmsg(db) : "нет памяти");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<CollectorStore> store(new CollectorStore(db, path));
    sqlite3_busy_timeout(db, 5000);
    if (const auto problem = prepareTables(db)) {
        error = path + ": " + *problem;
        return nullptr;
    }
    auto prepare = [db](const char *sql) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        return Statement(statement);
    };
    Statements &s = *store->statements_;
    s.begin = prepare("BEGIN IMMEDIATE");
    s.commit = prepare("COMMIT");
    s.rollback = prepare("ROLLBACK");
    s.row = prepare("INSERT OR IGNORE INTO collected_rows VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    s.reading = prepare("INSERT INTO collected_readings VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    s.bucket = prepare(oneReading.c_str());
    s.status = prepare("INSERT OR REPLACE INTO port_status VALUES (?, ?, ?, ?)");
    s.lastSeq = prepare("SELECT COALESCE(MAX(seq), 0) FROM collected_rows WHERE pc = ? AND port = ? AND run = ?");
    if (!s.begin || !s.commit || !s.rollback || !s.row || !s.reading || !s.bucket || !s.status || !s.lastSeq) {
        error = path + ": " + sqlite3_errmsg(db);
        return nullptr;
    }
    return store;
}

CollectorStore::CollectorStore(sqlite3 *db, std::string path)
    : db_(db), path_(std::move(path)), statements_(std::make_unique<Statements>())
{
}

CollectorStore::~CollectorStore()
{
    statements_.reset();
    sqlite3_close(db_);
}

bool CollectorStore::fail(const char *what)
{
    lastError_ = path_ + ": " + what + ": " + sqlite3_errmsg(db_);
    return false;
}

CollectorStore::Outcome CollectorStore::store(const PortTopics &where, const ParsedReading &reading,
                                              int64_t receivedUtcMs)
{
    Statements &s = *statements_;
    if (runWith(s.begin.get()) != SQLITE_DONE)
        return fail("начало записи"), Outcome::Failed;
    const Outcome outcome = insert(where, reading, receivedUtcMs);
    if (outcome != Outcome::Stored) {
        runWith(s.rollback.get());
        return outcome;
    }
    if (runWith(s.commit.get()) != SQLITE_DONE) {
        fail("фиксация");
        runWith(s.rollback.get());
        return Outcome::Failed;
    }
    return Outcome::Stored;
}

bool CollectorStore::storeAll(const PortTopics &where, const std::vector<ParsedReading> &readings,
                              int64_t receivedUtcMs)
{
    Statements &s = *statements_;
    if (runWith(s.begin.get()) != SQLITE_DONE)
        return fail("начало записи");
    for (const ParsedReading &reading : readings)
        if (insert(where, reading, receivedUtcMs) == Outcome::Failed) {
            runWith(s.rollback.get());
            return false;
        }
    if (runWith(s.commit.get()) != SQLITE_DONE) {
        fail("фиксация");
        runWith(s.rollback.get());
        return false;
    }
    return true;
}

CollectorStore::Outcome CollectorStore::insert(const PortTopics &where, const ParsedReading &reading,
                                               int64_t receivedUtcMs)
{
    Statements &s = *statements_;
    const RecordedRow &row = reading.row.row;
    if (runWith(s.row.get(), where.pc, where.port, reading.run, reading.row.seq, row.number, row.utcMs,
                row.utcOffsetSeconds, receivedUtcMs)
        != SQLITE_DONE)
        return fail("строка"), Outcome::Failed;
    if (sqlite3_changes(db_) == 0)
        return Outcome::Duplicate;
    for (size_t slot = 0; slot < row.readings.size(); ++slot) {
        const BalanceReading &r = row.readings[slot];
        if (runWith(s.reading.get(), where.pc, where.port, reading.run, reading.row.seq, slot, r.balance, r.rawValue,
                    r.divisor, r.unitCode, r.shownUnit, r.stable, r.modelCode, r.ident)
            != SQLITE_DONE)
            return fail("показание"), Outcome::Failed;
        const double value = double(r.rawValue) / (r.divisor == 0 ? 1 : r.divisor);
        if (runWith(s.bucket.get(), where.pc, where.port, reading.run, reading.row.seq, slot, r.balance, row.utcMs,
                    value)
            != SQLITE_DONE)
            return fail("сводка"), Outcome::Failed;
    }
    return Outcome::Stored;
}

bool CollectorStore::storeStatus(const PortTopics &where, const std::string &payload, int64_t receivedUtcMs)
{
    if (runWith(statements_->status.get(), where.pc, where.port, payload, receivedUtcMs) != SQLITE_DONE)
        return fail("состояние");
    return true;
}

int64_t CollectorStore::lastSeq(const PortTopics &where, const std::string &run)
{
    if (runWith(statements_->lastSeq.get(), where.pc, where.port, run) != SQLITE_ROW)
        return 0;
    const int64_t seq = sqlite3_column_int64(statements_->lastSeq.get(), 0);
    sqlite3_reset(statements_->lastSeq.get());
    return seq;
}
