// The journal's tables, documented for the lab in the README; each schema
// version is the previous one plus one step, so files of any older version
// open.
#include "journal/JournalSchema.h"

#include "journal/JournalChain.h"
#include "journal/SqliteHandles.h"

#include <array>
#include <string_view>

namespace pondus::journal {

namespace {

// Step n brings a file of user_version n to n + 1.
constexpr std::array<std::string_view, schemaVersion> upgradeSteps = {
    R"sql(
CREATE TABLE sheet (
  id INTEGER PRIMARY KEY,
  opened_ms INTEGER NOT NULL,
  exported_rows INTEGER NOT NULL DEFAULT 0,
  exported_ms INTEGER,
  closed TEXT CHECK (closed IN ('cleared', 'declined')),
  closed_ms INTEGER
);
CREATE TABLE run (
  id INTEGER PRIMARY KEY,
  sheet INTEGER NOT NULL REFERENCES sheet(id),
  started_ms INTEGER NOT NULL,
  utc_offset_s INTEGER NOT NULL,
  port TEXT NOT NULL,
  mode TEXT NOT NULL CHECK (mode IN ('periodic', 'on_new_weight', 'manual')),
  period_ms INTEGER NOT NULL,
  threshold INTEGER NOT NULL,
  measurement_bound INTEGER NOT NULL,
  balances TEXT NOT NULL
);
CREATE INDEX run_by_sheet ON run(sheet);
CREATE TABLE measurement (
  run INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  number INTEGER NOT NULL,
  utc_ms INTEGER NOT NULL,
  utc_offset_s INTEGER NOT NULL,
  raw_values TEXT NOT NULL,
  stable INTEGER NOT NULL,
  units TEXT NOT NULL,
  PRIMARY KEY (run, seq)
) WITHOUT ROWID;
CREATE TABLE balance_state (
  run INTEGER NOT NULL,
  slot INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  balance INTEGER NOT NULL,
  model INTEGER NOT NULL,
  ident INTEGER NOT NULL,
  divisor INTEGER NOT NULL,
  unit_code INTEGER NOT NULL,
  PRIMARY KEY (run, slot, seq)
) WITHOUT ROWID;
CREATE TABLE event (
  id INTEGER PRIMARY KEY,
  utc_ms INTEGER NOT NULL,
  utc_offset_s INTEGER NOT NULL,
  sheet INTEGER,
  run INTEGER,
  kind TEXT NOT NULL,
  detail TEXT
);
CREATE INDEX event_by_sheet ON event(sheet) WHERE sheet IS NOT NULL;
CREATE VIEW reading AS
SELECT m.run, m.seq, m.number,
       strftime('%Y-%m-%d %H:%M:%f', (m.utc_ms + 1000 * m.utc_offset_s) / 1000.0, 'unixepoch') AS local_time,
       m.utc_ms, m.utc_offset_s, v.key AS slot, b.balance, b.model, b.ident,
       v.value AS raw_value, b.divisor, v.value * 1.0 / b.divisor AS weight, b.unit_code,
       (m.stable >> v.key) & 1 AS stable, substr(m.units, v.key + 1, 1) AS shown_unit
FROM measurement AS m, json_each(m.raw_values) AS v
JOIN balance_state AS b ON b.run = m.run AND b.slot = v.key
 AND b.seq = (SELECT max(s.seq) FROM balance_state AS s
              WHERE s.run = m.run AND s.slot = v.key AND s.seq <= m.seq);
)sql",
    // Edits were kept by grid row and column; they are keyed by run, row
    // and balance column. The grid rows of a table are its runs' rows in
    // order after the three caption rows; a caption row belongs to the last
    // run of the table when it was edited. An edit whose row the file no
    // longer holds keeps its grid place under other names.
    R"sql(
CREATE TEMP TABLE grid_row AS
SELECT r.sheet, m.run, m.seq, r.balances,
       2 + row_number() OVER (PARTITION BY r.sheet ORDER BY m.run, m.seq) AS grid_row
FROM measurement AS m JOIN run AS r ON r.id = m.run;
CREATE TEMP TABLE grid_edit AS
SELECT e.id, json_extract(e.detail, '$.row') AS grid_row, json_extract(e.detail, '$.column') AS grid_column,
       coalesce(g.run, (SELECT max(r.id) FROM run AS r WHERE r.sheet = e.sheet AND r.started_ms <= e.utc_ms)) AS run,
       g.seq, coalesce(g.balances, (SELECT r.balances FROM run AS r WHERE r.sheet = e.sheet AND
                                    r.started_ms <= e.utc_ms ORDER BY r.id DESC LIMIT 1)) AS balances
FROM event AS e
LEFT JOIN temp.grid_row AS g ON g.sheet = e.sheet AND g.grid_row = json_extract(e.detail, '$.row')
WHERE e.kind = 'cell_edit' AND json_type(e.detail, '$.row') IS NOT NULL;
UPDATE event SET detail = json_set(json_remove(detail, '$.row', '$.column'),
    '$.run', k.run,
    CASE WHEN k.seq IS NULL THEN '$.caption' ELSE '$.seq' END, coalesce(k.seq, k.grid_row),
    '$.column', CASE k.grid_column WHEN 0 THEN 'number' WHEN 1 THEN 'time' WHEN 2 THEN 'date'
                 ELSE CASE (k.grid_column - 3) % 2 WHEN 0 THEN 'value' ELSE 'unit' END END)
FROM temp.grid_edit AS k
WHERE event.id = k.id AND k.run IS NOT NULL AND (k.seq IS NOT NULL OR k.grid_row < 3);
UPDATE event SET detail = json_set(detail, '$.balance', json_extract(k.balances, '$[' || ((k.grid_column - 3) / 2) || ']'))
FROM temp.grid_edit AS k
WHERE event.id = k.id AND k.grid_column >= 3 AND json_type(event.detail, '$.run') IS NOT NULL;
UPDATE event SET detail = json_set(json_remove(detail, '$.row', '$.column'), '$.grid_row', json_extract(detail, '$.row'),
                                   '$.grid_column', json_extract(detail, '$.column'))
WHERE kind = 'cell_edit' AND json_type(detail, '$.row') IS NOT NULL;
DROP TABLE temp.grid_row;
DROP TABLE temp.grid_edit;
)sql",
    // The hash chain: every event and row carries its place in the chain and
    // its digest; events say who wrote them. An older file's events and rows
    // are chained once, after this step.
    R"sql(
CREATE TABLE actor (
  id INTEGER PRIMARY KEY,
  user TEXT NOT NULL,
  uid INTEGER NOT NULL,
  host TEXT NOT NULL,
  operator TEXT NOT NULL DEFAULT '',
  UNIQUE (user, uid, host, operator)
);
ALTER TABLE event ADD COLUMN actor INTEGER REFERENCES actor(id);
ALTER TABLE event ADD COLUMN link INTEGER;
ALTER TABLE event ADD COLUMN hash BLOB;
ALTER TABLE measurement ADD COLUMN link INTEGER;
ALTER TABLE measurement ADD COLUMN hash BLOB;
CREATE INDEX event_by_link ON event(link);
)sql",
};

// The first version whose files carry the chain.
constexpr int64_t chainedVersion = 3;

std::optional<int64_t> pragmaNumber(sqlite3 *db, std::string_view pragma)
{
    Statement query(db, pragma);
    if (!query.valid() || query.step() != SQLITE_ROW)
        return std::nullopt;
    return query.integer(0);
}

std::optional<std::string> upgrade(sqlite3 *db, int64_t version, int64_t target)
{
    std::string script = "BEGIN IMMEDIATE;\n";
    for (int64_t step = version; step < target; ++step)
        script += upgradeSteps[size_t(step)];
    script += "PRAGMA application_id = " + std::to_string(applicationId) + ";\n";
    script += "PRAGMA user_version = " + std::to_string(target) + ";\n";
    std::optional<std::string> failure;
    if (!execute(db, script))
        failure = failureText(db);
    else if (version > 0 && version < chainedVersion && target >= chainedVersion)
        failure = chainOnMigration(db);
    if (!failure && execute(db, "COMMIT"))
        return std::nullopt;
    std::string reason = failure ? *failure : failureText(db);
    execute(db, "ROLLBACK");
    return reason;
}

} // namespace

std::optional<std::string> prepareSchema(sqlite3 *db, int32_t target)
{
    // The first read of the file tells a database from anything else.
    const auto version = pragmaNumber(db, "PRAGMA user_version");
    const auto tables = pragmaNumber(db, "SELECT count(*) FROM sqlite_schema");
    const auto application = pragmaNumber(db, "PRAGMA application_id");
    if (!version || !tables || !application)
        return failureText(db);
    if (*tables == 0 && *application == 0)
        return upgrade(db, 0, target);
    if (*application != applicationId)
        return std::string("the file is another program's database, not a measurement journal");
    if (*version > target)
        return "the journal was written by a newer version of the program (schema " + std::to_string(*version) + ")";
    if (*version < target)
        return upgrade(db, *version, target);
    return std::nullopt;
}

} // namespace pondus::journal
