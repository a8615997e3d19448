// The chain's walk: events and rows merged by their link numbers, each
// digest computed again from the file's fields and compared.
#include "journal/ChainVerifier.h"

#include "journal/ChainReader.h"
#include "journal/HeadFile.h"
#include "journal/JournalSchema.h"

#include <limits>
#include <map>

namespace pondus::journal {

namespace {

constexpr int64_t never = std::numeric_limits<int64_t>::max();

std::string whatBroke(const ChainBreak &at)
{
    if (at.isRow)
        return "run " + std::to_string(at.run) + ", row " + std::to_string(at.seq) + " (№ " +
               std::to_string(at.number) + ")";
    std::string what = "event " + std::to_string(at.event) + " (" + at.kind;
    if (at.run != 0)
        what += ", run " + std::to_string(at.run);
    if (!at.detail.empty())
        what += ", " + at.detail;
    return what + ")";
}

std::string brokenText(const ChainBreak &at)
{
    using Fault = ChainBreak::Fault;
    const std::string what = whatBroke(at);
    switch (at.fault) {
    case Fault::Unreadable:
    case Fault::OtherSchema:
        return at.reason;
    case Fault::Unlinked:
        return what + " is not in the chain: it was added outside the program";
    case Fault::Repeated:
        return what + " repeats link " + std::to_string(at.link) + ": an event was inserted";
    case Fault::Missing:
        return "links " + std::to_string(at.missingFrom) +
               (at.link - 1 > at.missingFrom ? "–" + std::to_string(at.link - 1) : "") + " are missing before " +
               what + ": deleted";
    case Fault::Changed:
        return what + " does not match its hash (link " + std::to_string(at.link) + "): changed";
    case Fault::LastRemoved:
    case Fault::HeadDiffers:
        break; // told by the comparison with the head file
    }
    return what;
}

void readRuns(sqlite3 *db, ChainCheck &check, const std::map<int64_t, std::pair<Digest, Digest>> &ends)
{
    Statement runs(db, "SELECT r.id, r.started_ms, (SELECT max(e.utc_ms) FROM event AS e WHERE e.run = r.id AND "
                       "e.kind = 'run_stop'), (SELECT count(*) FROM measurement AS m WHERE m.run = r.id) "
                       "FROM run AS r ORDER BY r.id");
    while (runs.step() == SQLITE_ROW) {
        ChainRun run{runs.integer(0), runs.integer(1), runs.isNull(2) ? std::nullopt : std::optional(runs.integer(2)),
                     runs.integer(3), {}, {}};
        if (const auto found = ends.find(run.run); found != ends.end()) {
            run.firstHash = hexOf(found->second.first);
            run.lastHash = hexOf(found->second.second);
        }
        check.runs.push_back(std::move(run));
    }
}

// The chain's end against the head file; digestThere is the walk's digest
// at the head file's link, when the walk came that far.
void compareHeadFile(ChainCheck &check, const std::string &file, const HeadFileRead &read,
                     const std::optional<std::string> &digestThere)
{
    if (!read.head) {
        check.headFileState = read.missing ? HeadFileState::Missing : HeadFileState::Unreadable;
        check.headFile = read.missing ? "the head file " + file + " is missing: events removed from the end would "
                                                                  "not be noticed"
                                      : "the head file " + file + " cannot be read: " + read.problem;
        return;
    }
    const ChainHead &kept = *read.head;
    const std::string events = std::to_string(kept.links) + " events";
    check.headFileState = HeadFileState::Disagrees;
    ChainBreak at;
    at.link = kept.links;
    at.missingFrom = check.links + 1;
    at.reason = file;
    if (kept.links > check.links) {
        at.fault = ChainBreak::Fault::LastRemoved;
        check.broken = "last events removed: the head file " + file + " names " + events + " ending in " + kept.hash +
                       ", the journal holds " + std::to_string(check.links);
    } else if (!digestThere || *digestThere != kept.hash) {
        at.fault = ChainBreak::Fault::HeadDiffers;
        check.broken = "the head file " + file + " names " + events + " ending in " + kept.hash +
                       ", but the journal's link " + std::to_string(kept.links) + " is " +
                       (digestThere ? *digestThere : std::string("-")) + ": the chain was rewritten";
    }
    if (!check.broken.empty())
        check.fault = std::move(at);
    else if (kept.links < check.links) {
        check.headFileState = HeadFileState::Behind;
        check.headFile = "the head file " + file + " matches link " + std::to_string(kept.links) + "; the " +
                         std::to_string(check.links - kept.links) + " events after it were written after it";
    } else {
        check.headFileState = HeadFileState::Matches;
        check.headFile = "the head file " + file + " matches";
    }
}

// The runs of links deleted with old tables, by their first link: their last
// link and its digest, as the chained "pruned" event after them names them.
std::map<int64_t, std::pair<int64_t, Digest>> prunedLinks(sqlite3 *db)
{
    std::map<int64_t, std::pair<int64_t, Digest>> gaps;
    Statement named(db, "SELECT json_extract(g.value, '$[0]'), json_extract(g.value, '$[1]'), "
                        "json_extract(g.value, '$[2]') FROM event AS e, json_each(e.detail, '$.gaps') AS g "
                        "WHERE e.kind = 'pruned' AND json_valid(e.detail) AND json_extract(g.value, '$[1]') < e.link");
    while (named.step() == SQLITE_ROW)
        if (const auto digest = digestOfHex(named.text(2)))
            gaps[named.integer(0)] = {named.integer(1), *digest};
    return gaps;
}

} // namespace

ChainCheck verifyChain(const std::string &path)
{
    ChainCheck check;
    const auto unreadable = [&check](ChainBreak::Fault fault, std::string reason) {
        check.fault.emplace();
        check.fault->fault = fault;
        check.broken = check.fault->reason = std::move(reason);
    };
    // The head file is read before the journal's snapshot: a program
    // recording meanwhile writes it after each commit, so that it never
    // names more than the snapshot holds.
    const std::string headFile = headFilePath(path);
    const HeadFileRead keptHead = readHeadFile(headFile);
    // An empty chain's head is the zero digest.
    std::optional<std::string> digestAtKeptHead;
    if (keptHead.head && keptHead.head->links == 0)
        digestAtKeptHead = hexOf(Digest{});
    Connection db;
    // One snapshot for the whole walk: a program recording into the file
    // meanwhile adds rows whose states would be missing from an earlier read.
    const bool began = !openDatabase(db, path, SQLITE_OPEN_READONLY) && execute(db.get(), "BEGIN");
    sqlite3 *raw = db.get();
    Statement version(raw, "PRAGMA user_version");
    if (!began || version.step() != SQLITE_ROW) {
        unreadable(ChainBreak::Fault::Unreadable, "the file cannot be read as a journal: " + failureText(raw));
        return check;
    }
    if (version.integer(0) != schemaVersion) {
        unreadable(ChainBreak::Fault::OtherSchema,
                   "the journal is of schema " + std::to_string(version.integer(0)) + ", not " +
                       std::to_string(schemaVersion) + "; open it with the program once to bring it up to date");
        return check;
    }
    const ChainStates states(raw);
    Statement events(raw, std::string(chainEventsSql) + "ORDER BY e.link");
    Statement rows(raw, std::string(chainRowsSql) + "ORDER BY link");
    std::map<int64_t, std::pair<Digest, Digest>> ends;
    const auto pruned = prunedLinks(raw);
    Digest head{};
    int eventStep = events.step();
    int rowStep = rows.step();
    while (eventStep == SQLITE_ROW || rowStep == SQLITE_ROW) {
        const bool unlinkedEvent = eventStep == SQLITE_ROW && events.isNull(0);
        const bool unlinkedRow = rowStep == SQLITE_ROW && rows.isNull(0);
        const int64_t eventLink = eventStep == SQLITE_ROW ? events.integer(0) : never;
        const int64_t rowLink = rowStep == SQLITE_ROW ? rows.integer(0) : never;
        const bool isEvent = unlinkedEvent || (!unlinkedRow && eventLink <= rowLink);
        ChainBreak at;
        std::string content;
        std::string_view stored;
        if (isEvent) {
            const ChainedEvent event(events);
            at.link = eventLink;
            at.run = event.fields.run;
            at.event = events.integer(20);
            at.kind = event.fields.kind;
            at.detail = event.fields.detail;
            content = eventContent(event.fields);
            stored = events.blob(19);
        } else {
            const RowFields row = chainedRow(rows, states);
            at.isRow = true;
            at.link = rowLink;
            at.run = row.run;
            at.seq = row.seq;
            at.number = row.number;
            content = rowContent(row);
            stored = rows.blob(9);
        }
        int64_t expected = check.links + 1;
        // Deleted with old tables: the chain goes on from the digest the
        // pruning event kept. A forged gap breaks that event's own digest.
        for (auto gap = pruned.find(expected); gap != pruned.end() && at.link > expected;
             gap = pruned.find(expected)) {
            check.pruned += gap->second.first - expected + 1;
            check.links = gap->second.first;
            head = gap->second.second;
            expected = check.links + 1;
        }
        using Fault = ChainBreak::Fault;
        std::optional<Fault> fault;
        if (isEvent ? unlinkedEvent : unlinkedRow)
            fault = Fault::Unlinked;
        else if (at.link < expected)
            fault = Fault::Repeated;
        else if (at.link > expected)
            fault = Fault::Missing;
        else {
            const Digest digest = chainDigest(head, content);
            if (stored != std::string_view(reinterpret_cast<const char *>(digest.data()), digest.size()))
                fault = Fault::Changed;
            head = digest;
        }
        if (fault) {
            at.fault = *fault;
            at.missingFrom = expected;
            check.broken = brokenText(at);
            check.fault = std::move(at);
            break;
        }
        ++check.links;
        if (keptHead.head && keptHead.head->links == check.links)
            digestAtKeptHead = hexOf(head);
        if (at.run != 0)
            ends.try_emplace(at.run, head, head).first->second.second = head;
        if (isEvent)
            eventStep = events.step();
        else
            rowStep = rows.step();
    }
    if (!check.fault && ((eventStep != SQLITE_DONE && eventStep != SQLITE_ROW) ||
                         (rowStep != SQLITE_DONE && rowStep != SQLITE_ROW) || states.failed()))
        unreadable(ChainBreak::Fault::Unreadable, "the file cannot be read: " + failureText(raw));
    if (!check.fault)
        compareHeadFile(check, headFile, keptHead, digestAtKeptHead);
    check.intact = !check.fault;
    check.head = hexOf(head);
    readRuns(raw, check, ends);
    return check;
}

} // namespace pondus::journal
