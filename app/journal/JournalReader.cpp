#include "journal/JournalReader.h"

#include "journal/RunColumns.h"

#include <algorithm>

namespace pondus::journal {

namespace {

// Short: the writer must never wait on this connection for long.
constexpr int busyTimeoutMs = 250;

// Kept apart from the journal's own tables: the journal's schema stays as
// its writer made it; a file without this table simply has nothing published.
const char *const publishedTable =
    "CREATE TABLE IF NOT EXISTS published (run INTEGER PRIMARY KEY, seq INTEGER NOT NULL)";

} // namespace

JournalReader::JournalReader(const std::string &path)
{
    if (const auto failure = openDatabase(db_, path, SQLITE_OPEN_READWRITE)) {
        failure_ = path + ": " + *failure;
        return;
    }
    sqlite3 *db = db_.get();
    sqlite3_busy_timeout(db, busyTimeoutMs);
    // Marks are cheap to lose (rows are sent again), so no sync on commit.
    if (!execute(db, "PRAGMA synchronous = NORMAL") || !execute(db, publishedTable)) {
        failure_ = path + ": " + failureText(db);
        return;
    }
    newestRun_ = Statement(db, "SELECT id, started_ms FROM run ORDER BY id DESC LIMIT 1");
    rows_ = Statement(db, "SELECT seq, number, utc_ms, utc_offset_s, balance, model, ident, raw_value, divisor, "
                          "unit_code, stable, shown_unit FROM reading "
                          "WHERE run = ?1 AND seq > ?2 AND seq < ?3 + (SELECT coalesce(min(seq), ?2 + 1) "
                          "FROM measurement WHERE run = ?1 AND seq > ?2) ORDER BY seq, slot");
    mark_ = Statement(db, "INSERT INTO published (run, seq) VALUES (?1, ?2) "
                          "ON CONFLICT (run) DO UPDATE SET seq = max(seq, excluded.seq)");
    published_ = Statement(db, "SELECT seq FROM published WHERE run = ?1");
    unsent_ = Statement(db, "SELECT id, started_ms, port, sent, recorded FROM ("
                            " SELECT r.id, r.started_ms, r.port, p.seq AS sent,"
                            "  (SELECT max(m.seq) FROM measurement AS m WHERE m.run = r.id) AS recorded"
                            " FROM published AS p JOIN run AS r ON r.id = p.run)"
                            " WHERE recorded > sent ORDER BY id");
    if (!newestRun_.valid() || !rows_.valid() || !mark_.valid() || !published_.valid() || !unsent_.valid())
        failure_ = path + ": " + failureText(db);
}

bool JournalReader::fileMoved()
{
    int moved = 0;
    return db_ && sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
}

std::optional<JournalReader::RunStart> JournalReader::newestRun()
{
    if (failure_)
        return std::nullopt;
    std::optional<RunStart> newest;
    if (newestRun_.step() == SQLITE_ROW)
        newest = RunStart{newestRun_.integer(0), newestRun_.integer(1)};
    newestRun_.reset();
    return newest;
}

std::optional<JournalReader::RunRecord> JournalReader::runRecord(int64_t run)
{
    if (failure_)
        return std::nullopt;
    Statement query(db_.get(), std::string("SELECT started_ms, ") + runSettingsColumns + " FROM run WHERE id = ?1");
    if (!query.valid() || query.bind(1, run).step() != SQLITE_ROW)
        return std::nullopt;
    RunRecord record{runSettingsAt(query, 1), query.integer(0)};
    // The samples' names, journaled as the run's events.
    Statement samples(db_.get(), "SELECT json_extract(detail, '$.balance'), json_extract(detail, '$.name') FROM event "
                                 "WHERE run = ?1 AND kind = 'sample' ORDER BY id");
    if (samples.valid())
        for (samples.bind(1, run); samples.step() == SQLITE_ROW;)
            if (const int64_t j = samples.integer(0); j >= 1 && j <= 15) {
                record.settings.samples.resize(std::max(record.settings.samples.size(), size_t(j)));
                record.settings.samples[size_t(j - 1)] = samples.text(1);
            }
    return record;
}

std::optional<RunChain> JournalReader::runChain(int64_t run)
{
    if (failure_)
        return std::nullopt;
    return pondus::journal::runChain(db_.get(), run, run);
}

std::vector<SequencedRow> JournalReader::rowsAfter(int64_t run, int64_t after, size_t limit)
{
    std::vector<SequencedRow> rows;
    if (failure_)
        return rows;
    rows_.bind(1, run).bind(2, after).bind(3, int64_t(limit));
    while (rows_.step() == SQLITE_ROW) {
        const int64_t seq = rows_.integer(0);
        if (rows.empty() || rows.back().seq != seq)
            rows.push_back({seq, {int32_t(rows_.integer(1)), rows_.integer(2), int32_t(rows_.integer(3)), {}}});
        const std::string_view shown = rows_.text(11);
        rows.back().row.readings.push_back(
            {.balance = int32_t(rows_.integer(4)),
             .rawValue = int32_t(rows_.integer(7)),
             .divisor = int32_t(rows_.integer(8)),
             .unitCode = int32_t(rows_.integer(9)),
             .shownUnit = shown.empty() || shown[0] == '-' ? int8_t(-1) : int8_t(shown[0] - '0'),
             .stable = rows_.integer(10) != 0,
             .modelCode = int32_t(rows_.integer(5)),
             .ident = int32_t(rows_.integer(6))});
    }
    rows_.reset();
    return rows;
}

bool JournalReader::markPublished(int64_t run, int64_t seq)
{
    return !failure_ && mark_.bind(1, run).bind(2, seq).run();
}

int64_t JournalReader::publishedThrough(int64_t run)
{
    if (failure_)
        return 0;
    published_.bind(1, run);
    const int64_t seq = published_.step() == SQLITE_ROW ? published_.integer(0) : 0;
    published_.reset();
    return seq;
}

std::vector<JournalReader::UnsentRun> JournalReader::unsentRuns()
{
    std::vector<UnsentRun> runs;
    if (failure_)
        return runs;
    while (unsent_.step() == SQLITE_ROW)
        runs.push_back({unsent_.integer(0), unsent_.integer(1), std::string(unsent_.text(2)), unsent_.integer(3),
                        unsent_.integer(4)});
    unsent_.reset();
    return runs;
}

} // namespace pondus::journal
