// What a recording session tells the parts that follow a run (the journal,
// the publisher, the window's grid, pondus-log's row file): one interface,
// plain C++, so that rooms without Qt attach the same way as the window.
#pragma once

#include "recording/BalanceIdentity.h"
#include "recording/MassChange.h"
#include "recording/RecordedRow.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A run as it started (and, once stopped, as it ended).
struct RunInfo {
    RunSettings settings;  // taken at the start, by value
    int64_t startedUtcMs = 0;
    int32_t startedUtcOffsetSeconds = 0;
    int64_t stoppedUtcMs = 0; // 0 while it runs
    // The COM port (1..4) the line came on line on: the one the search found.
    int32_t linkPort = 0;
    // The library's version word as its block gave it at the start.
    int32_t libraryVersion = 0;
    // The run's id in the journal; 0 when the journal does not keep it.
    int64_t keptRun = 0;
};

// A recorded row as it was committed: the journal's run id and the row's
// place in it (1, 2, 3, ... without gaps). Without a journal run is 0 and
// seq the session's own count of the run's rows.
struct CommittedRow {
    RecordedRow row;
    int64_t run = 0;
    int64_t seq = 0;
    bool kept() const { return run != 0; }
};

// The line lost during a run, or back; times in ms since the Unix epoch.
struct LinkEvent {
    int32_t linkState = 0;
    bool online = false;
    int64_t utcMs = 0;          // when the poll saw the change
    int64_t lostSinceUtcMs = 0; // when the loss began (also on its return)
};

// A balance of the run whose captions a poll read otherwise: another balance
// fully identified at its place (a replacement), or a scan reply that failed
// its checks (the captions are kept and the run goes on).
struct CaptionChange {
    size_t slot = 0;       // its column among the run's balances
    BalanceCaption before; // the captions over the rows so far
    BalanceCaption after;  // what the poll read
    // A replacement that stopped the run; otherwise the rows go on under
    // the new captions, and the journal tells the replacement from them.
    bool stoppedRun = false;
};

// The samples' values at a committed row, slot by slot in column order.
struct SampleValues {
    const CommittedRow &row;
    const std::vector<MassTrendValues> &values;
};

// A balance whose sample reached constant mass at a committed row.
struct ConstantMassEvent {
    size_t slot = 0;
    int32_t balance = 0;
    std::string sample;     // its name; empty for none
    int64_t utcMs = 0;      // the row's time
    int32_t utcOffsetSeconds = 0;
    double reference = 0;   // the reference mass, in the balance's unit
    int32_t unitCode = 0;   // the library's unit code of the reference
    MassTrendValues values; // at that row
    std::string criterion;  // as the operator writes it: "0,1%/60m"
};

// Every hook does nothing unless overridden; observers are told in the
// order they were attached, within the poll step that decided.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    virtual void runStarted(const RunInfo &) {}
    virtual void rowCommitted(const CommittedRow &) {}
    virtual void linkChanged(const LinkEvent &) {}
    virtual void balanceReplaced(const CaptionChange &) {}
    // Told once per failed scan, not at every poll until the next scan.
    virtual void scanFailed(const CaptionChange &) {}
    // Why the port does not come on line, in the operator's words; empty
    // once it does (or when no reason is known).
    virtual void portReasonChanged(const std::string &) {}
    // After every observer heard of the row: what it adds to each sample.
    virtual void massChanged(const SampleValues &) {}
    // Once per balance and run, after massChanged of the row.
    virtual void constantReached(const ConstantMassEvent &) {}
    virtual void runStopped(const RunInfo &) {}
};

// Where a run's rows are kept before any observer hears of them: the
// journal. It hears the start and the rows as keepRun and keepRow, the
// rest as any observer, first.
class RunKeeper : public SessionObserver {
public:
    // The run's id in the keeper; 0 when it cannot keep it.
    virtual int64_t keepRun(const RunInfo &run) = 0;
    // The row's run and place, committed before this returns; nothing when
    // it could not be kept.
    virtual std::optional<RowKey> keepRow(const RecordedRow &row) = 0;
};
