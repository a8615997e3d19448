// The chain's canonical texts, the account that writes, and the chaining of
// a file written before the chain existed.
#include "journal/JournalChain.h"

#include "journal/ChainReader.h"
#include "journal/SqliteHandles.h"
#include "journal/Stamp.h"

#include <pwd.h>
#include <unistd.h>

#include <ctime>
#include <limits>

namespace pondus::journal {

std::string eventContent(const EventFields &event)
{
    return canonical("event", event.link, event.utcMs, event.utcOffsetSeconds, event.sheet, event.run, event.kind,
                     event.detail, event.actor, event.runSettings);
}

std::string rowContent(const RowFields &row)
{
    return canonical("row", row.link, row.run, row.seq, row.number, row.utcMs, row.utcOffsetSeconds, row.rawValues,
                     row.stable, row.units, row.states);
}

std::string actorContent(std::string_view user, int64_t uid, std::string_view host, std::string_view operatorName)
{
    return canonical(user, uid, host, operatorName);
}

std::string stateContent(int64_t slot, int64_t balance, int64_t model, int64_t ident, int64_t divisor,
                         int64_t unitCode)
{
    return canonical(slot, balance, model, ident, divisor, unitCode);
}

std::string runContent(int64_t startedMs, int64_t utcOffsetSeconds, std::string_view port, std::string_view mode,
                       int64_t periodMs, int64_t threshold, int64_t measurementBound, std::string_view balances)
{
    return canonical(startedMs, utcOffsetSeconds, port, mode, periodMs, threshold, measurementBound, balances);
}

std::optional<RunChain> runChain(sqlite3 *db, int64_t firstRun, int64_t lastRun)
{
    // The runs' rows by their key, their events by a walk of the few events.
    Statement ends(db, "SELECT (SELECT hash FROM (SELECT link, hash FROM event WHERE run = ?1 UNION ALL "
                       "SELECT link, hash FROM (SELECT link, hash FROM measurement WHERE run = ?1 ORDER BY seq "
                       "LIMIT 1)) ORDER BY link LIMIT 1), "
                       "(SELECT hash FROM (SELECT link, hash FROM event WHERE run = ?2 UNION ALL "
                       "SELECT link, hash FROM (SELECT link, hash FROM measurement WHERE run = ?2 ORDER BY seq "
                       "DESC LIMIT 1)) ORDER BY link DESC LIMIT 1), "
                       "(SELECT hash FROM (SELECT link, hash FROM event WHERE link = (SELECT max(link) FROM event) "
                       "UNION ALL SELECT link, hash FROM (SELECT link, hash FROM measurement ORDER BY link DESC "
                       "LIMIT 1)) ORDER BY link DESC LIMIT 1)");
    if (!ends.valid() || ends.bind(1, firstRun).bind(2, lastRun).step() != SQLITE_ROW || ends.isNull(0) ||
        ends.isNull(2))
        return std::nullopt;
    return RunChain{hexOf(ends.blob(2)), hexOf(ends.blob(0)), hexOf(ends.blob(1))};
}

std::optional<int64_t> chainActor(sqlite3 *db, std::string_view operatorName, std::string &content)
{
    const uid_t uid = geteuid();
    const passwd *account = getpwuid(uid);
    const std::string user = account && account->pw_name ? account->pw_name : std::to_string(uid);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    Statement insert(db, "INSERT OR IGNORE INTO actor (user, uid, host, operator) VALUES (?1, ?2, ?3, ?4)");
    Statement find(db, "SELECT id FROM actor WHERE user = ?1 AND uid = ?2 AND host = ?3 AND operator = ?4");
    if (!insert.bindAll(user, int64_t(uid), host, operatorName).run() ||
        find.bindAll(user, int64_t(uid), host, operatorName).step() != SQLITE_ROW)
        return std::nullopt;
    content = actorContent(user, uid, host, operatorName);
    return find.integer(0);
}

std::optional<std::string> chainOnMigration(sqlite3 *db)
{
    std::string actor;
    // No display name is known at migration; an empty one, not a missing one.
    const auto actorId = chainActor(db, std::string_view(""), actor);
    if (!actorId)
        return failureText(db);
    const ChainStates states(db);
    Statement events(db, std::string(chainEventsSql) + "ORDER BY e.utc_ms, e.id");
    Statement rows(db, std::string(chainRowsSql) + "ORDER BY utc_ms, run, seq");
    Statement linkEvent(db, "UPDATE event SET link = ?2, hash = ?3 WHERE id = ?1");
    Statement linkRow(db, "UPDATE measurement SET link = ?3, hash = ?4 WHERE run = ?1 AND seq = ?2");
    Digest head{};
    int64_t link = 0;
    int eventStep = events.step();
    int rowStep = rows.step();
    constexpr int64_t never = std::numeric_limits<int64_t>::max();
    while (eventStep == SQLITE_ROW || rowStep == SQLITE_ROW) {
        const int64_t eventMs = eventStep == SQLITE_ROW ? events.integer(1) : never;
        const int64_t rowMs = rowStep == SQLITE_ROW ? rows.integer(4) : never;
        ++link;
        bool linked = false;
        if (eventMs <= rowMs) {
            ChainedEvent event(events);
            event.fields.link = link;
            head = chainDigest(head, eventContent(event.fields));
            linked = linkEvent.bindAll(events.integer(20), link, head).run();
            eventStep = events.step();
        } else {
            RowFields row = chainedRow(rows, states);
            row.link = link;
            head = chainDigest(head, rowContent(row));
            linked = linkRow.bindAll(row.run, row.seq, link, head).run();
            rowStep = rows.step();
        }
        if (!linked)
            return failureText(db);
    }
    if (eventStep != SQLITE_DONE || rowStep != SQLITE_DONE || states.failed())
        return failureText(db);
    const Stamp now = Stamp::now();
    char date[32] = {};
    const std::time_t seconds = std::time_t(now.utcMs / 1000);
    std::tm utc{};
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%SZ", gmtime_r(&seconds, &utc));
    const std::string detail = "{\"note\":\"chained on migration\",\"date\":\"" + std::string(date) +
                               "\",\"links\":" + std::to_string(link) + "}";
    EventFields mark{link + 1, now.utcMs, now.utcOffsetSeconds, 0, 0, "chained_on_migration", detail, actor, {}};
    head = chainDigest(head, eventContent(mark));
    Statement insert(db, "INSERT INTO event (utc_ms, utc_offset_s, kind, detail, actor, link, hash) "
                         "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (!insert.bindAll(now.utcMs, int64_t(now.utcOffsetSeconds), mark.kind, detail, *actorId, mark.link, head).run())
        return failureText(db);
    return std::nullopt;
}

} // namespace pondus::journal
