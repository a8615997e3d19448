// Recovery of the tables that were never exported or cleared, and the
// pruning of old ones.
#include "journal/Journal.h"

#include "journal/JournalCells.h"
#include "journal/JsonText.h"
#include "journal/RunColumns.h"

#include <algorithm>

namespace pondus::journal {

namespace {

constexpr int64_t msPerDay = 24LL * 60 * 60 * 1000;

// The rows of a sheet: the sequence numbers of a run are consecutive (from
// one, or from where a run carried on from a vanished file), so its span is
// its row count.
constexpr const char *sheetRowsSql =
    "(SELECT coalesce(sum((SELECT max(m.seq) - min(m.seq) + 1 FROM measurement AS m WHERE m.run = r.id)), 0) "
    "FROM run AS r WHERE r.sheet = s.id)";

} // namespace

std::vector<PendingSheet> Journal::pendingSheets()
{
    std::vector<PendingSheet> pending;
    if (!db_)
        return pending;
    Statement query(db_.get(), std::string("SELECT s.id, s.opened_ms, s.exported_rows, ") + sheetRowsSql +
                                   " FROM sheet AS s WHERE s.closed IS NULL AND s.id <> ?1 ORDER BY s.id");
    query.bind(1, sheet_);
    int result = SQLITE_ROW;
    while ((result = query.step()) == SQLITE_ROW) {
        const int64_t rows = query.integer(3);
        if (rows > query.integer(2))
            pending.push_back({query.integer(0), rows, query.integer(1)});
    }
    if (result != SQLITE_DONE)
        fail();
    return pending;
}

bool Journal::restore(const PendingSheet &sheet, const RestoreSink &sink, const std::string &reason)
{
    if (!db_)
        return false;
    // One read transaction: the table comes back as one moment saw it.
    if (!begin_.run())
        return fail(), false;
    Statement runs(db_.get(),
                   std::string("SELECT id, ") + runSettingsColumns + " FROM run WHERE sheet = ?1 ORDER BY id");
    Statement rows(db_.get(), "SELECT seq, number, utc_ms, utc_offset_s, raw_values, stable, units "
                              "FROM measurement WHERE run = ?1 ORDER BY seq");
    Statement states(db_.get(), "SELECT seq, slot, balance, model, ident, divisor, unit_code FROM balance_state "
                                "WHERE run = ?1 ORDER BY seq, slot");
    runs.bind(1, sheet.sheet);
    int runResult = SQLITE_ROW;
    int rowResult = SQLITE_DONE;
    bool statesFailed = false;
    int64_t restored = 0;
    RecordedRow row;
    RestoredGrid grid;
    while ((runResult = runs.step()) == SQLITE_ROW) {
        const RunSettings settings = runSettingsAt(runs, 1);
        grid.addRun(runs.integer(0), settings.balances);
        if (sink.run)
            sink.run(settings);
        std::vector<BalanceReading> slots;
        states.reset();
        int stateResult = states.bind(1, runs.integer(0)).step();
        rows.reset();
        rows.bind(1, runs.integer(0));
        while ((rowResult = rows.step()) == SQLITE_ROW) {
            // The balances as the run's rows up to this one left them.
            for (; stateResult == SQLITE_ROW && states.integer(0) <= rows.integer(0); stateResult = states.step()) {
                const auto slot = size_t(states.integer(1));
                slots.resize(std::max(slots.size(), slot + 1));
                slots[slot] = {.balance = int32_t(states.integer(2)),
                               .divisor = int32_t(states.integer(5)),
                               .unitCode = int32_t(states.integer(6)),
                               .modelCode = int32_t(states.integer(3)),
                               .ident = int32_t(states.integer(4))};
            }
            row.number = int32_t(rows.integer(1));
            row.utcMs = rows.integer(2);
            row.utcOffsetSeconds = int32_t(rows.integer(3));
            const std::vector<int32_t> values = jsonNumbersOf(rows.text(4));
            const int64_t stable = rows.integer(5);
            const std::string_view units = rows.text(6);
            row.readings.resize(values.size());
            for (size_t slot = 0; slot < values.size(); ++slot) {
                BalanceReading &reading = row.readings[slot];
                reading = slot < slots.size() ? slots[slot] : BalanceReading{};
                reading.rawValue = values[slot];
                reading.stable = ((stable >> slot) & 1) != 0;
                reading.shownUnit = slot < units.size() && units[slot] != '-' ? int8_t(units[slot] - '0') : int8_t(-1);
            }
            grid.addRow(runs.integer(0), rows.integer(0));
            if (sink.row)
                sink.row(row);
            ++restored;
        }
        statesFailed = statesFailed || (stateResult != SQLITE_ROW && stateResult != SQLITE_DONE);
        if (rowResult != SQLITE_DONE)
            break;
    }
    Statement edits(db_.get(), "SELECT coalesce(json_extract(detail, '$.grid_row'), -1), "
                               "coalesce(json_extract(detail, '$.grid_column'), -1), "
                               "coalesce(json_extract(detail, '$.run'), 0), coalesce(json_extract(detail, '$.seq'), 0), "
                               "coalesce(json_extract(detail, '$.caption'), -1), json_extract(detail, '$.column'), "
                               "coalesce(json_extract(detail, '$.balance'), 0), json_extract(detail, '$.old'), "
                               "json_extract(detail, '$.new'), coalesce(json_extract(detail, '$.reason'), '') "
                               "FROM event WHERE sheet = ?1 AND kind = 'cell_edit' "
                               "ORDER BY id");
    edits.bind(1, sheet.sheet);
    int editResult = SQLITE_ROW;
    while (runResult == SQLITE_DONE && (editResult = edits.step()) == SQLITE_ROW) {
        const CellKey cell{edits.integer(2),          edits.integer(3),          int32_t(edits.integer(4)),
                           std::string(edits.text(5)), int32_t(edits.integer(6)), int32_t(edits.integer(0)),
                           int32_t(edits.integer(1))};
        const auto place = grid.place(cell);
        if (place && sink.edit)
            sink.edit(place->first, place->second,
                      {cell, std::string(edits.text(7)), std::string(edits.text(8)), std::string(edits.text(9))});
    }
    // The operator's last pick stands; a row the table no longer holds leaves none.
    Statement picked(db_.get(), "SELECT coalesce(json_extract(detail, '$.grid_row'), -1), "
                                "coalesce(json_extract(detail, '$.run'), 0), coalesce(json_extract(detail, '$.seq'), 0) "
                                "FROM event WHERE sheet = ?1 AND kind = 'reference_row' ORDER BY id DESC LIMIT 1");
    picked.bind(1, sheet.sheet);
    const int pickResult = runResult == SQLITE_DONE ? picked.step() : SQLITE_DONE;
    if (pickResult == SQLITE_ROW) {
        const CellKey row{.run = picked.integer(1),
                          .seq = picked.integer(2),
                          .column = "number",
                          .gridRow = int32_t(picked.integer(0))};
        if (const auto place = grid.place(row); place && sink.reference)
            sink.reference(place->first);
    }
    if (runResult != SQLITE_DONE || editResult != SQLITE_DONE || (pickResult != SQLITE_ROW && pickResult != SQLITE_DONE) ||
        statesFailed || !commit_.run())
        return fail(), false;
    sheet_ = sheet.sheet;
    sheetRows_ = restored;
    event("recovery_restored", "{\"rows\":" + std::to_string(restored) + jsonTextField("reason", reason) + "}");
    return db_ != nullptr;
}

void Journal::decline(const PendingSheet &sheet)
{
    if (!db_)
        return;
    Statement mark(db_.get(), "UPDATE sheet SET closed = 'declined', closed_ms = ?2 WHERE id = ?1");
    if (!mark.bind(1, sheet.sheet).bind(2, Stamp::now().utcMs).run())
        return fail();
    const int64_t current = sheet_;
    sheet_ = sheet.sheet;
    event("recovery_declined", "{\"rows\":" + std::to_string(sheet.rows) + "}");
    sheet_ = current;
}

int64_t Journal::prune(int keepDays)
{
    if (!db_ || keepDays <= 0)
        return 0;
    const int64_t cutoff = Stamp::now().utcMs - keepDays * msPerDay;
    const std::string doomed =
        std::string("CREATE TEMP TABLE doomed AS SELECT s.id FROM sheet AS s WHERE s.id <> ?2 AND "
                    "((s.closed IS NOT NULL AND s.closed_ms < ?1) OR (s.closed IS NULL AND "
                    "coalesce(s.exported_ms, s.opened_ms) < ?1 AND s.exported_rows >= ") +
        sheetRowsSql + "))";
    if (!execute(db_.get(), "BEGIN IMMEDIATE"))
        return fail(), 0;
    Statement collect(db_.get(), doomed);
    bool done = collect.bind(1, cutoff).bind(2, sheet_).run();
    int64_t sheets = 0;
    Statement count(db_.get(), "SELECT count(*) FROM temp.doomed");
    if (done && count.step() == SQLITE_ROW)
        sheets = count.integer(0);
    count.reset();
    // The chain goes on across what is deleted: each run of deleted links is
    // named with the digest of its last link in a chained "pruned" event, so
    // that the walk takes up the chain again after it.
    const std::string doomedEvents = "sheet IN temp.doomed OR (sheet IS NULL AND utc_ms < ?1)";
    Statement gaps(db_.get(),
                   "WITH gone(link, hash) AS (SELECT link, hash FROM event WHERE link IS NOT NULL AND (" +
                       doomedEvents +
                       ") UNION ALL SELECT link, hash FROM measurement WHERE link IS NOT NULL AND run IN "
                       "(SELECT id FROM run WHERE sheet IN temp.doomed)), "
                       "numbered AS (SELECT link, hash, link - row_number() OVER (ORDER BY link) AS part FROM gone), "
                       "ends AS (SELECT min(link) AS first, max(link) AS last FROM numbered GROUP BY part ORDER BY 1) "
                       "SELECT coalesce(sum(e.last - e.first + 1), 0), "
                       "json_group_array(json_array(e.first, e.last, lower(hex(n.hash)))) "
                       "FROM ends AS e JOIN numbered AS n ON n.link = e.last");
    int64_t links = 0;
    std::string gapList;
    if (done && (done = gaps.bind(1, cutoff).step() == SQLITE_ROW)) {
        links = gaps.integer(0);
        gapList = std::string(gaps.text(1));
    }
    gaps.reset();
    Statement dropEvents(db_.get(), "DELETE FROM event WHERE " + doomedEvents);
    done = done && dropEvents.bind(1, cutoff).run() &&
           execute(db_.get(), "DELETE FROM measurement WHERE run IN (SELECT id FROM run WHERE sheet IN temp.doomed);"
                   "DELETE FROM balance_state WHERE run IN (SELECT id FROM run WHERE sheet IN temp.doomed);"
                   "DELETE FROM run WHERE sheet IN temp.doomed;"
                   "DELETE FROM sheet WHERE id IN temp.doomed;"
                   "DROP TABLE temp.doomed;") &&
           (links == 0 || insertEvent("pruned", "{\"tables\":" + std::to_string(sheets) + ",\"links\":" +
                                                    std::to_string(links) + ",\"gaps\":" + gapList + "}")) &&
           execute(db_.get(), "COMMIT");
    if (!done)
        return fail(), 0;
    if (links > 0)
        keepHead();
    return sheets;
}

} // namespace pondus::journal
