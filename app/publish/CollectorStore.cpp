#include "publish/CollectorStore.h"

#include "publish/RunSummary.h"

#include <sqlite3.h>

#include <algorithm>
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

// The summary of the second version: a line per run, bucket size and
// bucket, its balances' summaries in one blob. Without a rowid, a chart's
// range of buckets is one run of pages.
const char *const summaryTable = R"sql(
CREATE TABLE collected_buckets (
    pc TEXT NOT NULL,
    port TEXT NOT NULL,
    run TEXT NOT NULL,
    size INTEGER NOT NULL,
    bucket INTEGER NOT NULL,
    row_count INTEGER NOT NULL,
    slots BLOB NOT NULL,
    PRIMARY KEY (pc, port, run, size, bucket)
) WITHOUT ROWID;
)sql";

constexpr int schemaVersion = 2;

struct StatementDeleter {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Nothing when the statement cannot be prepared.
Statement prepared(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

int64_t numberOf(sqlite3 *db, const char *sql)
{
    const Statement statement = prepared(db, sql);
    return statement && sqlite3_step(statement.get()) == SQLITE_ROW ? sqlite3_column_int64(statement.get(), 0) : -1;
}

// Bytes bound as a blob rather than as text.
struct Blob {
    std::string_view bytes;
};

// Binds text, blobs, numbers or booleans to the statement's parameters 1, 2, ...
void bindAll(sqlite3_stmt *, int) {}
template <typename First, typename... Rest>
void bindAll(sqlite3_stmt *statement, int index, const First &first, const Rest &...rest)
{
    if constexpr (std::is_convertible_v<First, std::string>)
        sqlite3_bind_text(statement, index, std::string(first).c_str(), -1, SQLITE_TRANSIENT);
    else if constexpr (std::is_same_v<First, Blob>)
        sqlite3_bind_blob(statement, index, first.bytes.data(), int(first.bytes.size()), SQLITE_TRANSIENT);
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

// Keeps the summary's lines: a row read into the line of each bucket size
// that holds it, written back in the caller's transaction.
class SummaryWriter {
public:
    explicit SummaryWriter(sqlite3 *db)
        : read_(prepared(db, "SELECT row_count, slots FROM collected_buckets "
                             "WHERE pc = ? AND port = ? AND run = ? AND size = ? AND bucket = ?")),
          write_(prepared(db, "INSERT OR REPLACE INTO collected_buckets VALUES (?, ?, ?, ?, ?, ?, ?)"))
    {
    }
    bool valid() const { return read_ && write_; }

    bool take(const PortTopics &where, const std::string &run, int64_t seq, int64_t utcMs,
              const std::vector<BalanceReading> &readings)
    {
        for (const int64_t size : summaryBucketRows) {
            const int64_t bucket = (seq - 1) / size;
            BucketSummary line;
            const int found = runWith(read_.get(), where.pc, where.port, run, size, bucket);
            if (found == SQLITE_ROW) {
                line.rows = sqlite3_column_int64(read_.get(), 0);
                const auto *bytes = static_cast<const char *>(sqlite3_column_blob(read_.get(), 1));
                // A line that cannot be read starts again: the rows, not
                // their summary, are what must never be refused.
                if (auto slots = BucketSummary::slotsFrom({bytes, size_t(sqlite3_column_bytes(read_.get(), 1))}))
                    line.slots = std::move(*slots);
                else
                    line.rows = 0;
            } else if (found != SQLITE_DONE) {
                return false;
            }
            sqlite3_reset(read_.get());
            line.take(seq, utcMs, readings);
            if (runWith(write_.get(), where.pc, where.port, run, size, bucket, line.rows, Blob{line.slotBytes()})
                != SQLITE_DONE)
                return false;
        }
        return true;
    }

private:
    Statement read_, write_;
};

// The summary of a file that had none, built from its rows as the collector
// would have built it.
bool summariseStoredRows(sqlite3 *db)
{
    SummaryWriter writer(db);
    const Statement rows = prepared(db, "SELECT r.pc, r.port, r.run, r.seq, r.utc_ms, v.balance, v.raw_value, v.divisor "
                                        "FROM collected_rows r JOIN collected_readings v "
                                        "ON v.pc = r.pc AND v.port = r.port AND v.run = r.run AND v.seq = r.seq "
                                        "ORDER BY r.pc, r.port, r.run, r.seq, v.slot");
    if (!writer.valid() || !rows)
        return false;
    sqlite3_stmt *const raw = rows.get();
    PortTopics where;
    std::string run;
    int64_t seq = 0, utcMs = 0;
    std::vector<BalanceReading> readings;
    const auto flush = [&] { return readings.empty() || writer.take(where, run, seq, utcMs, readings); };
    int result = SQLITE_ROW;
    const auto text = [&](int column) { return std::string(reinterpret_cast<const char *>(sqlite3_column_text(raw, column))); };
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
        if (sqlite3_column_int64(raw, 3) != seq || text(2) != run || text(1) != where.port || text(0) != where.pc) {
            if (!flush())
                return false;
            where = {{}, text(0), text(1)};
            run = text(2);
            seq = sqlite3_column_int64(raw, 3);
            utcMs = sqlite3_column_int64(raw, 4);
            readings.clear();
        }
        readings.push_back({.balance = int32_t(sqlite3_column_int64(raw, 5)),
                            .rawValue = int32_t(sqlite3_column_int64(raw, 6)),
                            .divisor = int32_t(sqlite3_column_int64(raw, 7))});
    }
    return result == SQLITE_DONE && flush();
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
        const bool made = rowsKeyed && run(summaryTable) && (!existing || summariseStoredRows(db)) &&
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

} // namespace

struct CollectorStore::Statements {
    Statement begin, commit, rollback, row, reading, status, lastSeq;
    std::unique_ptr<SummaryWriter> summary;
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
    Statements &s = *store->statements_;
    s.begin = prepared(db, "BEGIN IMMEDIATE");
    s.commit = prepared(db, "COMMIT");
    s.rollback = prepared(db, "ROLLBACK");
    s.row = prepared(db, "INSERT OR IGNORE INTO collected_rows VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    s.reading = prepared(db, "INSERT INTO collected_readings VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    s.summary = std::make_unique<SummaryWriter>(db);
    s.status = prepared(db, "INSERT OR REPLACE INTO port_status VALUES (?, ?, ?, ?)");
    s.lastSeq =
        prepared(db, "SELECT COALESCE(MAX(seq), 0) FROM collected_rows WHERE pc = ? AND port = ? AND run = ?");
    if (!s.begin || !s.commit || !s.rollback || !s.row || !s.reading || !s.summary->valid() || !s.status || !s.lastSeq) {
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

bool CollectorStore::inTransaction(const std::function<bool()> &body)
{
    Statements &s = *statements_;
    if (runWith(s.begin.get()) != SQLITE_DONE)
        return fail("начало записи");
    if (!body()) {
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

CollectorStore::Outcome CollectorStore::store(const PortTopics &where, const ParsedReading &reading,
                                              int64_t receivedUtcMs)
{
    Outcome outcome = Outcome::Failed;
    const bool committed = inTransaction([&] {
        outcome = insert(where, reading, receivedUtcMs);
        return outcome == Outcome::Stored;
    });
    return committed || outcome == Outcome::Duplicate ? outcome : Outcome::Failed;
}

bool CollectorStore::storeAll(const PortTopics &where, const std::vector<ParsedReading> &readings,
                              int64_t receivedUtcMs)
{
    return inTransaction([&] {
        return std::none_of(readings.begin(), readings.end(), [&](const ParsedReading &reading) {
            return insert(where, reading, receivedUtcMs) == Outcome::Failed;
        });
    });
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
    }
    if (!s.summary->take(where, reading.run, reading.row.seq, row.utcMs, row.readings))
        return fail("сводка"), Outcome::Failed;
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
