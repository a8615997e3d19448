// Opening the journal, its failures, and the events of the program, the
// runs and the operator.
#include "journal/Journal.h"

#include "journal/HeadFile.h"
#include "journal/JournalChain.h"
#include "journal/JournalSchema.h"
#include "journal/JournalSyncer.h"
#include "journal/JsonText.h"
#include "journal/RunColumns.h"
#include "recording/SessionObserver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace pondus::journal {

namespace {

// A write that finds the file locked waits this long before the journal
// gives up; short, because the window's thread is waiting.
constexpr int busyTimeoutMs = 250;

} // namespace

Journal::Journal(std::string path, FailureSink onFailure) : path_(std::move(path)), onFailure_(std::move(onFailure))
{
}

Journal::~Journal()
{
    close();
}

bool Journal::open()
{
    if (db_)
        return true;
    const auto reason = openConnection();
    if (reason)
        fail(*reason);
    return !reason;
}

std::optional<std::string> Journal::openConnection()
{
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::create_directories(folder, error) && error)
        return error.message();
    // SQLite opens a file it may not write read-only and, for a folder it
    // may not write in, names the wrong reason; asked first, the system says.
    const std::string &writable = std::filesystem::exists(path_, error) ? path_ : folder.string();
    if (faccessat(AT_FDCWD, writable.empty() ? "." : writable.c_str(), W_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    if (auto failure = openDatabase(db_, path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX))
        return failure;
    sqlite3 *db = db_.get();
    sqlite3_busy_timeout(db, busyTimeoutMs);
    if (auto refused = prepareSchema(db))
        return refused;
    // Every commit goes to the operating system at once, unsynced: a crash of
    // the program loses nothing. The syncer makes it durable soon after, and
    // checkpoints are its work alone, so that no row waits for the disk.
    // The log restarts from its beginning after each checkpoint; the limit
    // gives back the room a burst of writes took.
    if (!execute(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA journal_size_limit = 1048576"))
        return failureText(db);
    sqlite3_wal_autocheckpoint(db, 0);
    if (!loadChain())
        return failureText(db);
    begin_ = Statement(db, "BEGIN");
    commit_ = Statement(db, "COMMIT");
    rollback_ = Statement(db, "ROLLBACK");
    insertEvent_ = Statement(db, "INSERT INTO event (utc_ms, utc_offset_s, sheet, run, kind, detail, actor, link, "
                                 "hash) VALUES (?1, ?2, nullif(?3, 0), nullif(?4, 0), ?5, nullif(?6, ''), ?7, ?8, ?9)");
    insertMeasurement_ = Statement(db, "INSERT INTO measurement (run, seq, number, utc_ms, utc_offset_s, raw_values, "
                                       "stable, units, link, hash) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    insertBalanceState_ = Statement(db, "INSERT INTO balance_state (run, slot, seq, balance, model, ident, divisor, "
                                        "unit_code) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    if (!begin_.valid() || !commit_.valid() || !rollback_.valid() || !insertEvent_.valid() ||
        !insertMeasurement_.valid() || !insertBalanceState_.valid())
        return failureText(db);
    syncer_ = std::make_unique<JournalSyncer>(path_);
    if (syncer_->failure())
        return syncer_->failure();
    struct stat status {};
    if (::stat(path_.c_str(), &status) != 0)
        return std::strerror(errno);
    fileDevice_ = status.st_dev;
    fileInode_ = status.st_ino;
    openHead();
    return std::nullopt;
}

std::optional<std::string> Journal::fileGone() const
{
    struct stat status {};
    if (::stat(path_.c_str(), &status) != 0)
        return errno == ENOENT ? "deleted during the run" : std::strerror(errno);
    if (status.st_dev != fileDevice_ || status.st_ino != fileInode_)
        return "replaced by another file during the run";
    return std::nullopt;
}

void Journal::leaveVanishedFile(const std::string &told)
{
    close();
    sheet_ = 0;
    // The write-ahead log and its index beside the path are the vanished
    // file's, still held by its readers: the new file must not take them up.
    for (const char *suffix : {"-wal", "-shm"})
        ::unlink((path_ + suffix).c_str());
    if (onNewFile_)
        onNewFile_(path_, told);
}

void Journal::startNewFile(const std::string &why)
{
    const int64_t rowsSoFar = sequence_;
    leaveVanishedFile(why + "; a new journal file is started there with the run's rows from row " +
                      std::to_string(rowsSoFar + 1) + " on");
    if (auto reason = openConnection())
        return fail(std::move(*reason));
    if (insertRun(rowsSoFar))
        runStartEvents(",\"continues_after_row\":" + std::to_string(rowsSoFar));
}

void Journal::fail()
{
    fail(failureText(db_.get()));
}

void Journal::fail(std::string reason)
{
    close();
    if (onFailure_)
        onFailure_(path_, reason);
}

void Journal::close()
{
    for (Statement *statement :
         {&begin_, &commit_, &rollback_, &insertEvent_, &insertMeasurement_, &insertBalanceState_})
        *statement = Statement();
    syncer_.reset();
    db_.reset();
    headFile_.close();
    run_ = 0;
}

bool Journal::loadChain()
{
    const auto actor = chainActor(db_.get(), operatorName_, actorText_);
    if (!actor)
        return false;
    actor_ = *actor;
    Statement last(db_.get(), "SELECT link, hash FROM event WHERE link = (SELECT max(link) FROM event) UNION ALL "
                              "SELECT link, hash FROM (SELECT link, hash FROM measurement ORDER BY link DESC LIMIT 1) "
                              "ORDER BY link DESC LIMIT 1");
    head_ = {};
    link_ = 0;
    const int found = last.step();
    if (found == SQLITE_ROW && !last.isNull(0)) {
        link_ = last.integer(0);
        const std::string_view hash = last.blob(1);
        std::copy_n(hash.begin(), std::min(hash.size(), head_.size()), head_.begin());
    }
    return found == SQLITE_ROW || found == SQLITE_DONE;
}

bool Journal::insertEvent(const char *kind, const std::string &detail)
{
    const Stamp now = Stamp::now();
    const std::string settings = std::string_view(kind) == "run_start"
                                     ? runContent(runStart_.utcMs, runStart_.utcOffsetSeconds, runSettings_.port,
                                                  modeName(runSettings_.mode), runSettings_.periodMs,
                                                  runSettings_.threshold, runSettings_.measurementBound,
                                                  jsonNumbers(runSettings_.balances))
                                     : std::string();
    const Digest digest = nextDigest(eventContent(
        {link_ + 1, now.utcMs, now.utcOffsetSeconds, sheet_, run_, kind, detail, actorText_, settings}));
    const bool inserted = insertEvent_
                              .bindAll(now.utcMs, now.utcOffsetSeconds, sheet_, run_, kind, detail, actor_, link_ + 1,
                                       digest)
                              .run();
    if (inserted)
        linked(digest);
    return inserted;
}

void Journal::event(const char *kind, const std::string &detail)
{
    if (!db_)
        return;
    if (!insertEvent(kind, detail))
        return fail();
    keepHead();
    syncer_->noteCommit();
}

void Journal::openHead()
{
    const std::string file = headFilePath(path_);
    headFailed_ = false;
    // A head file beside a journal that holds nothing yet is that of a
    // journal no longer there: it is kept under another name, not lost.
    if (link_ == 0 && ::access(file.c_str(), F_OK) == 0) {
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        char stamp[32] = {};
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", gmtime_r(&now, &utc));
        if (::rename(file.c_str(), (file + ".replaced-" + stamp).c_str()) != 0)
            return headWritten(std::string(std::strerror(errno)));
    }
    const auto disagreement = headDisagreement(file);
    headRefused_ = disagreement.has_value();
    if (disagreement)
        return headWritten(*disagreement + "; it is left as it is, and the head is not kept until it is dealt with");
    headWritten(headFile_.open(file, link_, head_));
}

std::optional<std::string> Journal::headDisagreement(const std::string &file) const
{
    const HeadFileRead read = readHeadFile(file);
    if (read.missing)
        return std::nullopt;
    if (!read.head)
        return "it cannot be read: " + read.problem;
    const ChainHead &kept = *read.head;
    if (kept.links > link_)
        return "it names " + std::to_string(kept.links) + " events, the journal holds " + std::to_string(link_) +
               ": the last events were removed";
    std::string there = hexOf(head_);
    if (kept.links < link_) {
        Statement hash(db_.get(), "SELECT hash FROM event WHERE link = ?1 UNION ALL "
                                  "SELECT hash FROM measurement WHERE link = ?1");
        there = hash.bind(1, kept.links).step() == SQLITE_ROW ? hexOf(hash.blob(0)) : std::string();
    }
    if (kept.links > 0 && there != kept.hash)
        return "it names another hash for event " + std::to_string(kept.links) + ": the chain was rewritten";
    return std::nullopt;
}

void Journal::keepHead()
{
    if (!headRefused_)
        headWritten(headFile_.write(link_, head_));
}

void Journal::headWritten(const std::optional<std::string> &failure)
{
    if (failure && !headFailed_ && onHeadFailure_)
        onHeadFailure_(headFilePath(path_), *failure);
    headFailed_ = failure.has_value();
}

void Journal::programStarted()
{
    if (open())
        event("program_start");
}

void Journal::programExited()
{
    event("program_exit");
}

bool Journal::continueOrStartSheet()
{
    if (sheet_ != 0) {
        Statement current(db_.get(), "SELECT 1 FROM sheet WHERE id = ?1 AND closed IS NULL");
        const int found = current.bind(1, sheet_).step();
        if (found == SQLITE_ROW)
            return true;
        if (found != SQLITE_DONE)
            return false;
    }
    Statement insert(db_.get(), "INSERT INTO sheet (opened_ms) VALUES (?1)");
    if (!insert.bind(1, Stamp::now().utcMs).run())
        return false;
    sheet_ = sqlite3_last_insert_rowid(db_.get());
    sheetRows_ = 0;
    return true;
}

int64_t Journal::runStarted(const RunSettings &settings, Stamp started, int32_t libraryVersion)
{
    // Noticed between runs, a vanished file is followed by a new one.
    if (db_)
        if (const auto why = fileGone())
            leaveVanishedFile(*why + "; a new journal file is started there");
    if (!open())
        return 0;
    runSettings_ = settings;
    runStart_ = started;
    runLibraryVersion_ = libraryVersion;
    if (!insertRun(0))
        return 0;
    runSettingsEvent();
    runStartEvents({});
    return run_;
}

void Journal::runStartEvents(const std::string &more)
{
    // The version word holds the major number in its high half.
    const std::string library = runLibraryVersion_ == 0 ? std::string()
                                                        : std::to_string(uint32_t(runLibraryVersion_) >> 16) + "." +
                                                              std::to_string(uint32_t(runLibraryVersion_) & 0xFFFF);
    event("run_start", "{\"program\":" + jsonQuoted(PONDUS_VERSION) + ",\"library\":" + jsonQuoted(library) + more +
                           "}");
    // The samples' names belong to the run, beside its settings.
    for (const int32_t balance : runSettings_.balances)
        if (const std::string &name = runSettings_.sampleAt(balance); !name.empty())
            event("sample", "{\"balance\":" + std::to_string(balance) + ",\"name\":" + jsonQuoted(name) + "}");
}

bool Journal::insertRun(int64_t rowsSoFar)
{
    if (!continueOrStartSheet())
        return fail(), false;
    Statement insert(db_.get(), "INSERT INTO run (sheet, started_ms, utc_offset_s, port, mode, period_ms, threshold, "
                                "measurement_bound, balances) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    const bool inserted = insert
                              .bindAll(sheet_, runStart_.utcMs, runStart_.utcOffsetSeconds, runSettings_.port,
                                       modeName(runSettings_.mode), runSettings_.periodMs, runSettings_.threshold,
                                       runSettings_.measurementBound, jsonNumbers(runSettings_.balances))
                              .run();
    if (!inserted)
        return fail(), false;
    run_ = sqlite3_last_insert_rowid(db_.get());
    sequence_ = rowsSoFar;
    slots_.clear();
    return true;
}

void Journal::runStopped()
{
    event("run_stop");
    run_ = 0;
}

void Journal::linkLost(int32_t linkState)
{
    event("link_lost", "{\"state\":" + std::to_string(linkState) + "}");
}

void Journal::linkRegained()
{
    event("link_regained");
}

void Journal::cleared(const std::string &reason)
{
    if (db_ && sheet_ != 0) {
        Statement closeSheet(db_.get(), "UPDATE sheet SET closed = 'cleared', closed_ms = ?2 WHERE id = ?1");
        if (!closeSheet.bind(1, sheet_).bind(2, Stamp::now().utcMs).run())
            return fail();
    }
    event("clear", reason.empty() ? std::string() : "{" + jsonTextField("reason", reason).substr(1) + "}");
    sheet_ = 0;
    sheetRows_ = 0;
}

void Journal::exported(const std::string &file, int64_t rows)
{
    if (db_ && sheet_ != 0) {
        Statement mark(db_.get(), "UPDATE sheet SET exported_rows = max(exported_rows, ?2), exported_ms = ?3 "
                                  "WHERE id = ?1");
        if (!mark.bind(1, sheet_).bind(2, rows).bind(3, Stamp::now().utcMs).run())
            return fail();
    }
    // The file's digest ties what was handed on to the record it came from.
    const std::string format = std::filesystem::path(file).extension().string();
    event("export", "{\"file\":" + jsonQuoted(file) + ",\"rows\":" + std::to_string(rows) +
                        ",\"format\":" + jsonQuoted(format.empty() ? format : format.substr(1)) +
                        ",\"sha256\":" + jsonQuoted(fileSha256(file)) + "}");
}

void Journal::balanceReplaced(const BalanceChange &change)
{
    event("balance_replaced", change.json());
}

void Journal::scanFailed(const BalanceChange &change)
{
    event("scan_failed", change.json());
}

void Journal::constantMassReached(const ConstantMassEvent &reached)
{
    event("constant_mass", "{\"balance\":" + std::to_string(reached.balance) +
                               ",\"sample\":" + jsonQuoted(reached.sample) + ",\"utcMs\":" +
                               std::to_string(reached.utcMs) + ",\"reference\":" + jsonNumber(reached.reference) +
                               ",\"unitCode\":" + std::to_string(reached.unitCode) +
                               ",\"change\":" + jsonNumber(reached.values.change) +
                               ",\"changePercent\":" + jsonNumber(reached.values.changePercent) +
                               ",\"driftPerHour\":" + jsonNumber(reached.values.driftPerHour) +
                               ",\"criterion\":" + jsonQuoted(reached.criterion) + "}");
}

std::string BalanceChange::json() const
{
    return "{\"slot\":" + std::to_string(slot) + ",\"balance\":" + std::to_string(balance) +
           ",\"model\":" + jsonNumbers({modelBefore, modelAfter}) + ",\"ident\":" +
           jsonNumbers({identBefore, identAfter}) + "}";
}

} // namespace pondus::journal
