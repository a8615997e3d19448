// What the journal's hash chain covers of each event and row, the same for
// the writer, the migration of an older file and the verifier: each link's
// digest is SHA-256 over the previous digest and the link's canonical text.
#pragma once

#include "journal/ChainHash.h"

#include <sqlite3.h>

#include <optional>
#include <string>

namespace pondus::journal {

struct EventFields {
    int64_t link = 0;
    int64_t utcMs = 0;
    int64_t utcOffsetSeconds = 0;
    int64_t sheet = 0; // 0 for none
    int64_t run = 0;
    std::string_view kind;
    std::string_view detail;
    std::string_view actor;       // actorContent() of who wrote it
    std::string_view runSettings; // runContent() for a run_start
};

struct RowFields {
    int64_t link = 0;
    int64_t run = 0;
    int64_t seq = 0;
    int64_t number = 0;
    int64_t utcMs = 0;
    int64_t utcOffsetSeconds = 0;
    std::string_view rawValues;
    int64_t stable = 0;
    std::string_view units;
    std::string_view states; // stateContent() of the balance states the row brought, by slot
};

std::string eventContent(const EventFields &event);
std::string rowContent(const RowFields &row);
std::string actorContent(std::string_view user, int64_t uid, std::string_view host, std::string_view operatorName);
std::string stateContent(int64_t slot, int64_t balance, int64_t model, int64_t ident, int64_t divisor,
                         int64_t unitCode);
std::string runContent(int64_t startedMs, int64_t utcOffsetSeconds, std::string_view port, std::string_view mode,
                       int64_t periodMs, int64_t threshold, int64_t measurementBound, std::string_view balances);

// Reading the chain back, in the fields' order; the verifier and the
// migration share them.
constexpr const char *chainEventsSql =
    "SELECT e.link, e.utc_ms, e.utc_offset_s, coalesce(e.sheet, 0), coalesce(e.run, 0), e.kind, "
    "coalesce(e.detail, ''), a.user, a.uid, a.host, a.operator, r.started_ms, r.utc_offset_s, r.port, r.mode, "
    "r.period_ms, r.threshold, r.measurement_bound, r.balances, e.hash, e.id "
    "FROM event AS e LEFT JOIN actor AS a ON a.id = e.actor "
    "LEFT JOIN run AS r ON e.kind = 'run_start' AND r.id = e.run ";
constexpr const char *chainRowsSql =
    "SELECT link, run, seq, number, utc_ms, utc_offset_s, raw_values, stable, units, hash FROM measurement ";
constexpr const char *chainStatesSql =
    "SELECT run, seq, slot, balance, model, ident, divisor, unit_code FROM balance_state ORDER BY run, seq, slot";

// The chain's head and the first link of firstRun and the last of lastRun,
// in hex (what --verify prints of an intact journal); nothing for a file
// without the chain or on failure.
struct RunChain {
    std::string head, first, last;
};
std::optional<RunChain> runChain(sqlite3 *db, int64_t firstRun, int64_t lastRun);

// The system account the program runs as, on this host, with the display
// name the lab may give beside it: its id in the actor table, and its
// canonical text into content.
std::optional<int64_t> chainActor(sqlite3 *db, std::string_view operatorName, std::string &content);

// Chains the events and rows of a file written before the chain, in the
// order of their times, and adds an event that says so with the date.
// Runs inside the caller's transaction; why it failed, if it did.
std::optional<std::string> chainOnMigration(sqlite3 *db);

} // namespace pondus::journal
