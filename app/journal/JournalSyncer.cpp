// The thread that syncs the journal's write-ahead log.
#include "journal/JournalSyncer.h"

#include <chrono>

namespace pondus::journal {

namespace {
constexpr std::chrono::milliseconds syncDelay{500};
}

JournalSyncer::JournalSyncer(const std::string &path)
{
    failure_ = openDatabase(db_, path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    // A first read opens the file and finds it in WAL mode; until then a
    // checkpoint on this connection would do nothing.
    if (!failure_ && !execute(db_.get(), "SELECT count(*) FROM sqlite_schema"))
        failure_ = failureText(db_.get());
    if (!failure_)
        thread_ = std::thread([this] { syncLoop(); });
}

JournalSyncer::~JournalSyncer()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void JournalSyncer::noteCommit()
{
    {
        std::lock_guard lock(mutex_);
        if (dirty_)
            return;
        dirty_ = true;
    }
    wake_.notify_one();
}

void JournalSyncer::syncLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return dirty_ || stopping_; });
        // Gathers the commits of the next half second into one sync.
        wake_.wait_for(lock, syncDelay, [this] { return stopping_; });
        const bool last = stopping_;
        dirty_ = false;
        lock.unlock();
        checkpoint();
        lock.lock();
        if (last)
            return;
    }
}

void JournalSyncer::checkpoint()
{
    // A passive checkpoint syncs the log before copying it into the
    // database and never blocks the writer; a failure here leaves the rows
    // in the log, where the next checkpoint finds them.
    sqlite3_wal_checkpoint_v2(db_.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

} // namespace pondus::journal
