// Makes committed journal rows durable within half a second, on a thread of
// its own, so that the poll step never waits for the disk.
#pragma once

#include "journal/SqliteHandles.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pondus::journal {

// Commits reach the operating system at once (a crash of the program loses
// nothing); this thread checkpoints the write-ahead log, which syncs it to
// the disk, at most half a second after a commit (a power cut loses less
// than a second). The checkpoint runs on a connection of its own.
class JournalSyncer {
public:
    // Opens the second connection; failed() tells whether it could.
    explicit JournalSyncer(const std::string &path);
    // Syncs what is left and stops the thread.
    ~JournalSyncer();
    JournalSyncer(const JournalSyncer &) = delete;
    JournalSyncer &operator=(const JournalSyncer &) = delete;

    // Why the connection could not be opened, nothing when it was.
    const std::optional<std::string> &failure() const { return failure_; }
    // A commit happened: sync soon.
    void noteCommit();

private:
    void syncLoop();
    void checkpoint();

    Connection db_;
    std::optional<std::string> failure_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool dirty_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace pondus::journal
