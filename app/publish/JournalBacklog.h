// The publisher's backlog for a program that keeps a journal: a run the
// journal holds is read back from the journal file, so rows recorded while
// the broker is away wait on disk, not in memory; a run the journal does not
// hold (the journal was off) waits in memory, bounded.
#pragma once

#include "journal/JournalReader.h"
#include "publish/MemoryBacklog.h"
#include "recording/SessionObserver.h"

#include <map>
#include <memory>
#include <mutex>

class JournalBacklog : public RowBacklog {
public:
    JournalBacklog(std::string journalPath, size_t memoryRows = memoryRowsBound);

    // Rows kept in memory for the broker while the journal is off; beyond
    // this the oldest unsent are given up (the collector reports the gap).
    static constexpr size_t memoryRowsBound = 100000;

    // A run has started under `name`: read back from the journal's run
    // `journalRun`, or kept in memory when that is 0 (no journal).
    void startRun(const std::string &name, int64_t journalRun);
    struct UnsentRun {
        std::string name;
        int64_t publishedThrough = 0;
        int64_t recorded = 0;
    };
    // The journal's runs on `port` (or on the port search) that were being
    // published when a program ended with rows the broker never had, oldest
    // first; their rows are read back from the journal from then on.
    std::vector<UnsentRun> unsentRuns(const std::string &port);
    // The port of the newest such run not made on the port search; empty
    // when there is none.
    std::string portWithUnsentRows();

    // A row of the current run was committed: its seq, the journal's own
    // for a journaled row. A row the journal kept under another run than
    // the one it started with (a new journal file) is read from there on.
    int64_t append(const CommittedRow &row);
    // Whether the current run is read back from the journal.
    bool fromJournal() const;

    std::vector<SequencedRow> rowsAfter(const std::string &run, int64_t after, size_t limit) override;
    void markPublished(const std::string &run, int64_t seq) override;

private:
    // Opens the reader when it is not open; under readerMutex_.
    void openReader();
    // The journal's run of a run name; 0 for a run kept in memory.
    int64_t journalRunOf(const std::string &run) const;

    const std::string path_;
    MemoryBacklog memory_;
    // The reader is opened at the first run the journal holds; its own
    // connection, used under readerMutex_ by both threads.
    std::mutex readerMutex_;
    std::unique_ptr<pondus::journal::JournalReader> reader_;

    mutable std::mutex runsMutex_;
    std::map<std::string, int64_t> journalRuns_; // run name -> the journal's run
    std::string current_;
    bool currentInJournal_ = false;
};
