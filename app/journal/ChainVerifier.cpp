// The chain's walk: events and rows merged by their link numbers, each
// digest computed again from the file's fields and compared.
#include "journal/ChainVerifier.h"

#include "journal/ChainReader.h"
#include "journal/JournalSchema.h"

#include <limits>
#include <map>

namespace pondus::journal {

namespace {

constexpr int64_t never = std::numeric_limits<int64_t>::max();

std::string whatRow(const RowFields &row, int64_t number)
{
    return "run " + std::to_string(row.run) + ", row " + std::to_string(row.seq) + " (№ " + std::to_string(number) +
           ")";
}

std::string whatEvent(const ChainedEvent &event, int64_t id)
{
    std::string what = "event " + std::to_string(id) + " (" + event.kind;
    if (event.fields.run != 0)
        what += ", run " + std::to_string(event.fields.run);
    if (!event.detail.empty())
        what += ", " + event.detail;
    return what + ")";
}

void readRuns(sqlite3 *db, ChainCheck &check, const std::map<int64_t, std::pair<Digest, Digest>> &ends)
{
    Statement runs(db, "SELECT r.id, r.started_ms, (SELECT max(e.utc_ms) FROM event AS e WHERE e.run = r.id AND "
                       "e.kind = 'run_stop'), (SELECT count(*) FROM measurement AS m WHERE m.run = r.id) "
                       "FROM run AS r ORDER BY r.id");
    while (runs.step() == SQLITE_ROW) {
        ChainRun run{runs.integer(0), runs.integer(1), std::nullopt, runs.integer(3), {}, {}};
        if (!runs.isNull(2))
            run.stoppedMs = runs.integer(2);
        if (const auto found = ends.find(run.run); found != ends.end()) {
            run.firstHash = hexOf(found->second.first);
            run.lastHash = hexOf(found->second.second);
        }
        check.runs.push_back(std::move(run));
    }
}

} // namespace

ChainCheck verifyChain(const std::string &path)
{
    ChainCheck check;
    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Connection db(raw);
    Statement version(raw, "PRAGMA user_version");
    if (opened != SQLITE_OK || version.step() != SQLITE_ROW) {
        check.broken = "the file cannot be read as a journal: " + failureText(raw);
        return check;
    }
    if (version.integer(0) != schemaVersion) {
        check.broken = "the journal is of schema " + std::to_string(version.integer(0)) + ", not " +
                       std::to_string(schemaVersion) + "; open it with the program once to bring it up to date";
        return check;
    }
    const ChainStates states(raw);
    Statement events(raw, std::string(chainEventsSql) + "ORDER BY e.link");
    Statement rows(raw, std::string(chainRowsSql) + "ORDER BY link");
    std::map<int64_t, std::pair<Digest, Digest>> ends;
    Digest head{};
    int eventStep = events.step();
    int rowStep = rows.step();
    while (check.broken.empty() && (eventStep == SQLITE_ROW || rowStep == SQLITE_ROW)) {
        const bool unlinkedEvent = eventStep == SQLITE_ROW && events.isNull(0);
        const bool unlinkedRow = rowStep == SQLITE_ROW && rows.isNull(0);
        const int64_t eventLink = eventStep == SQLITE_ROW ? events.integer(0) : never;
        const int64_t rowLink = rowStep == SQLITE_ROW ? rows.integer(0) : never;
        const bool isEvent = unlinkedEvent || (!unlinkedRow && eventLink <= rowLink);
        std::string what;
        std::string content;
        std::string_view stored;
        int64_t link = 0;
        int64_t run = 0;
        if (isEvent) {
            const ChainedEvent event(events);
            what = whatEvent(event, events.integer(20));
            link = eventLink;
            run = event.fields.run;
            content = eventContent(event.fields);
            stored = events.blob(19);
        } else {
            const ChainedRow row(rows, states);
            what = whatRow(row.fields, rows.integer(3));
            link = rowLink;
            run = row.fields.run;
            content = rowContent(row.fields);
            stored = rows.blob(9);
        }
        const int64_t expected = check.links + 1;
        if (isEvent ? unlinkedEvent : unlinkedRow)
            check.broken = what + " is not in the chain: it was added outside the program";
        else if (link < expected)
            check.broken = what + " repeats link " + std::to_string(link) + ": an event was inserted";
        else if (link > expected)
            check.broken = "links " + std::to_string(expected) + (link - 1 > expected ? "–" + std::to_string(link - 1) : "") +
                           " are missing before " + what + ": deleted";
        else {
            const Digest digest = chainDigest(head, content);
            if (stored != std::string_view(reinterpret_cast<const char *>(digest.data()), digest.size()))
                check.broken = what + " does not match its hash (link " + std::to_string(link) + "): changed";
            head = digest;
        }
        if (!check.broken.empty())
            break;
        ++check.links;
        if (run != 0)
            ends.try_emplace(run, head, head).first->second.second = head;
        if (isEvent)
            eventStep = events.step();
        else
            rowStep = rows.step();
    }
    if (check.broken.empty() && ((eventStep != SQLITE_DONE && eventStep != SQLITE_ROW) ||
                                 (rowStep != SQLITE_DONE && rowStep != SQLITE_ROW) || states.failed()))
        check.broken = "the file cannot be read: " + failureText(raw);
    check.intact = check.broken.empty();
    check.head = hexOf(head);
    readRuns(raw, check, ends);
    return check;
}

} // namespace pondus::journal
