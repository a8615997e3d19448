// A connection of its own to the journal for a reader on another thread than
// the writer's, such as the publisher: a run's rows after a sequence number
// as they were recorded, and, in a table of its own, how far each run has
// been published.
#pragma once

#include "journal/JournalChain.h"
#include "journal/SqliteHandles.h"
#include "recording/RecordedRow.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pondus::journal {

class JournalReader {
public:
    // Opens an existing journal; failure() says why when it cannot.
    explicit JournalReader(const std::string &path);

    const std::optional<std::string> &failure() const { return failure_; }
    // Whether the file read was deleted or replaced at its path since.
    bool fileMoved();

    struct RunStart {
        int64_t run = 0;
        int64_t startedUtcMs = 0;
    };
    // The run begun last; nothing in an empty journal or on failure.
    std::optional<RunStart> newestRun();
    // A run's settings as it started with them, and its start; nothing for
    // a run the journal does not hold or on failure.
    struct RunRecord {
        RunSettings settings;
        int64_t startedUtcMs = 0;
    };
    std::optional<RunRecord> runRecord(int64_t run);
    // The hashes of the chain as stored: the file's head and the run's first
    // and last links, in hex (what --verify prints of an intact journal);
    // nothing for a file without the chain or on failure.
    std::optional<RunChain> runChain(int64_t run);
    // At most `limit` rows of the run with seq above `after`, in order.
    std::vector<SequencedRow> rowsAfter(int64_t run, int64_t after, size_t limit);
    // Every row of the run up to seq has been published. A mark of 0 says
    // that the run is to be published.
    bool markPublished(int64_t run, int64_t seq);
    int64_t publishedThrough(int64_t run);

    struct UnsentRun {
        int64_t run = 0;
        int64_t startedUtcMs = 0;
        std::string port;
        int64_t publishedThrough = 0;
        int64_t recorded = 0;
    };
    // Runs that were to be published and still have rows the broker never
    // acknowledged (the program ended first), oldest first.
    std::vector<UnsentRun> unsentRuns();

private:
    Connection db_;
    std::optional<std::string> failure_;
    Statement newestRun_;
    Statement rows_;
    Statement mark_;
    Statement published_;
    Statement unsent_;
};

} // namespace pondus::journal
