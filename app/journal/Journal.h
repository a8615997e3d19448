// The measurement journal: every recorded row and what the operator and the
// line did, in an SQLite file, so that nothing shown in the window is lost
// by a crash; and the recovery of what was never exported or cleared.
//
// One Journal is one connection, used from one thread. Any failure turns
// the journal off and tells the failure sink once, with the path and the
// reason; it is opened again at the start of the next run. Recording never
// depends on it.
#pragma once

#include "journal/ChainHash.h"
#include "journal/JournalChain.h"
#include "journal/HeadFile.h"
#include "journal/SqliteHandles.h"
#include "journal/Stamp.h"
#include "recording/RecordedRow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

struct ConstantMassEvent;

namespace pondus::journal {

class JournalSyncer;

// A window's table that was neither exported nor cleared: what recovery
// offers. The rows are those the journal holds.
struct PendingSheet {
    int64_t sheet = 0;
    int64_t rows = 0;
    int64_t openedMs = 0;
};

// A cell of a table kept by what it holds rather than where the window
// drew it: a measurement row by its run and sequence number, or a caption
// row of a run; the column by name ("number", "time", "date", "value",
// "unit") and, for a value or unit, the balance it belongs to. A cell the
// journal holds no row for keeps its grid place.
struct CellKey {
    int64_t run = 0;
    int64_t seq = 0;          // 0 for a caption row
    int32_t captionRow = -1;  // 0..2 when seq is 0
    std::string column;
    int32_t balance = 0;      // for "value" and "unit"
    int32_t gridRow = -1;     // set only for a cell without a journaled row
    int32_t gridColumn = -1;
};

// An operator's edit of a cell of the window's table, with the reason given
// for it while the lab audits changes (empty when none was asked).
struct CellEdit {
    CellKey cell;
    std::string oldText;
    std::string newText;
    std::string reason;
};

// A setting the operator changed: its key and its texts before and after.
struct SettingChange {
    std::string key;
    std::string before;
    std::string after;
};

// A balance found replaced at its place on the line (another model or
// ident), or one whose scan failed: before is what was kept, after what was read.
struct BalanceChange {
    size_t slot = 0;
    int32_t balance = 0;
    int32_t modelBefore = 0;
    int32_t identBefore = 0;
    int32_t modelAfter = 0;
    int32_t identAfter = 0;

    std::string json() const;
};

// What a restore hands back, in the order it was recorded.
struct RestoreSink {
    std::function<void(const RunSettings &)> run;
    std::function<void(const RecordedRow &)> row;
    // With the grid place the edited cell has in the restored table.
    std::function<void(int32_t row, int32_t column, const CellEdit &)> edit;
    // The grid row of the table's reference row, told last when it has one.
    std::function<void(int32_t row)> reference;
};

class Journal {
public:
    using FailureSink = std::function<void(const std::string &path, const std::string &reason)>;
    // Told when the file was found deleted or replaced during a run and a
    // new journal file was started at the path for the run's further rows.
    using NewFileSink = std::function<void(const std::string &path, const std::string &reason)>;

    Journal(std::string path, FailureSink onFailure);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    const std::string &path() const { return path_; }
    void setNewFileSink(NewFileSink sink) { onNewFile_ = std::move(sink); }
    // Told when the chain's head cannot be kept beside the journal (see
    // HeadFile.h), once until it can again; recording goes on.
    void setHeadFailureSink(FailureSink sink) { onHeadFailure_ = std::move(sink); }
    bool isOpen() const { return db_ != nullptr; }
    // The lab's display name for the operator, recorded beside the system
    // account; takes effect when the journal is next opened.
    void setOperatorName(std::string name) { operatorName_ = std::move(name); }
    // The digest of the chain's last link, in hex; empty while closed.
    std::string head() const { return db_ ? hexOf(head_) : std::string(); }
    // The chain's head with the first link of firstRun and the last of
    // lastRun, as a workbook of those runs carries them.
    std::optional<RunChain> runChain(int64_t firstRun, int64_t lastRun) const
    {
        return db_ ? pondus::journal::runChain(db_.get(), firstRun, lastRun) : std::nullopt;
    }

    // Opens the file, creating it and its folder's tables as needed. False
    // when it cannot be; the failure sink has been told why.
    bool open();

    // Events. Each is written at once; a closed journal ignores them.
    void programStarted();
    void programExited();
    // A run begins in the window's current table (a new one after a clear);
    // opens the journal again when it is off. Its id, 0 when it was not
    // journaled.
    // The library's version word (0 when not known) goes into the run's
    // start with the program's version.
    int64_t runStarted(const RunSettings &settings, Stamp started = Stamp::now(), int32_t libraryVersion = 0);
    void runStopped();
    void linkLost(int32_t linkState);
    void linkRegained();
    // The window's table was emptied: its rows are no longer pending. The
    // operator's reason, if one was asked, goes into the event.
    void cleared(const std::string &reason = {});
    // Rows of the current table that are journaled; read it when an export
    // takes its snapshot of the table.
    int64_t sheetRows() const { return sheetRows_; }
    // The table was written to file, rows being sheetRows() when it was taken.
    void exported(const std::string &file, int64_t rows);
    void cellEdited(const CellEdit &edit);
    // The operator took a row of the table as every sample's reference mass:
    // its key as cellAt gives it for any column of the row.
    void referenceRowPicked(const CellKey &row);
    // The operator confirmed changed settings of a section ("samples"): one
    // event with every change; nothing when none changed. A run's own
    // settings are compared with the previous run's when it starts.
    void settingsChanged(std::string_view section, const std::vector<SettingChange> &changes);
    // The key of the cell at a grid place of the current table: the row is
    // found among the journaled rows of the table in their order.
    CellKey cellAt(int32_t gridRow, int32_t gridColumn);
    // The window stopped a run because a balance was replaced; rows record it
    // by themselves.
    void balanceReplaced(const BalanceChange &change);
    // A balance's scan replies failed its checks during a run; its captions
    // were kept and the run went on.
    void scanFailed(const BalanceChange &change);
    // A balance's sample reached constant mass during the running run.
    void constantMassReached(const ConstantMassEvent &event);

    // One recorded row of the running run, committed before it returns: its
    // run and place in it; nothing when it was not journaled. A balance fully
    // identified before and now with another model or ident is journaled as
    // a replacement. A journal file deleted or replaced since it was opened
    // is noticed here: the run goes on in a new file at the path, its rows
    // numbered on (a new run id), and the new file sink is told.
    std::optional<RowKey> recordRow(const RecordedRow &row);
    // The row number of the running run's next row, 1 for the first.
    int64_t nextSequence() const { return sequence_ + 1; }

    // Recovery at start-up: the tables with rows neither exported, cleared
    // nor declined, oldest first.
    std::vector<PendingSheet> pendingSheets();
    // Hands back the runs, rows and edits of a pending table; later runs
    // continue it. False when the journal failed while reading. The
    // operator's reason, if one was asked, goes into the event.
    bool restore(const PendingSheet &sheet, const RestoreSink &sink, const std::string &reason = {});
    // The operator did not want the table back: it stays, marked declined.
    void decline(const PendingSheet &sheet);
    // Deletes tables older than keepDays that were cleared, declined or
    // fully exported; returns how many. Pending ones are never deleted.
    int64_t prune(int keepDays);

private:
    // Why the file cannot be opened; nothing when it was.
    std::optional<std::string> openConnection();
    // Turns the journal off and tells why, from the connection's last failure.
    void fail();
    void fail(std::string reason);
    void close();
    bool insertEvent(const char *kind, const std::string &detail);
    void event(const char *kind, const std::string &detail = {});
    bool continueOrStartSheet();
    // The running run into the run table, its rows numbered on after
    // rowsSoFar; false when the journal failed.
    bool insertRun(int64_t rowsSoFar);
    // What the run just inserted changed from the file's previous run, as an event.
    void runSettingsEvent();
    // The running run's start with the versions (and more, such as where a
    // run carried on in a new file continues), and its samples, as events.
    void runStartEvents(const std::string &more);
    // Why the file at the path is no longer the one open; nothing while it is.
    std::optional<std::string> fileGone() const;
    // Closes a file found deleted or replaced and tells so.
    void leaveVanishedFile(const std::string &told);
    // Starts a new file at the path for the running run.
    void startNewFile(const std::string &why);
    // Nothing when written, else why not; a failed row leaves no trace.
    std::optional<std::string> writeRow(const RecordedRow &row);
    // Rolls a failed row back; why it failed.
    std::string rolledBack();
    bool writeBalanceStates(const RecordedRow &row, bool &began, std::string &states);
    // Who writes and where the chain ends, read when the file is opened.
    bool loadChain();
    // The next link's number and digest over content; taken when its insert succeeded.
    Digest nextDigest(std::string_view content) const { return chainDigest(head_, content); }
    void linked(const Digest &digest) { head_ = digest, ++link_; }
    // At the opening: the head file made anew, unless it says what the file
    // no longer holds; then it is left as evidence and not written to.
    void openHead();
    // Why the head file found at the opening does not fit the chain.
    std::optional<std::string> headDisagreement(const std::string &file) const;
    // After a commit: the chain's head into the head file.
    void keepHead();
    void headWritten(const std::optional<std::string> &failure);

    std::string path_;
    FailureSink onFailure_;
    NewFileSink onNewFile_;
    FailureSink onHeadFailure_;
    HeadFile headFile_;
    bool headFailed_ = false;
    bool headRefused_ = false;
    Connection db_;
    // Run on every row and event, prepared once per connection.
    Statement begin_;
    Statement commit_;
    Statement rollback_;
    Statement insertEvent_;
    Statement insertMeasurement_;
    Statement insertBalanceState_;
    std::unique_ptr<JournalSyncer> syncer_;
    int64_t sheet_ = 0;
    int64_t sheetRows_ = 0;
    int64_t run_ = 0;
    int64_t sequence_ = 0;
    // The running run as it started, for a new file to carry it on.
    RunSettings runSettings_;
    Stamp runStart_;
    int32_t runLibraryVersion_ = 0;
    // The open file, to tell it from whatever stands at the path later.
    dev_t fileDevice_ = 0;
    ino_t fileInode_ = 0;
    // The chain: the last link's number and digest, and who writes.
    Digest head_{};
    int64_t link_ = 0;
    int64_t actor_ = 0;
    std::string actorText_;
    std::string operatorName_;
    // The balance of each slot as last journaled in this run.
    std::vector<BalanceReading> slots_;
};

} // namespace pondus::journal
