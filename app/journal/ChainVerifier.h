// Walks a journal file's hash chain from its first link to its last and
// says whether every event and row is as it was written, and if not, the
// first one that is not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pondus::journal {

struct ChainRun {
    int64_t run = 0;
    int64_t startedMs = 0;
    std::optional<int64_t> stoppedMs;
    int64_t rows = 0;
    std::string firstHash; // of the run's first and last links
    std::string lastHash;
};

enum class HeadFileState { Missing, Unreadable, Matches, Behind, Disagrees };

// The first link that does not match, in parts, so that the window can
// say it in the operator's language.
struct ChainBreak {
    // The last two come from the head file beside the journal (reason: its
    // path; link: the events it names): it names more events than the
    // journal holds, or another hash for its last one.
    enum class Fault { Unreadable, OtherSchema, Unlinked, Repeated, Missing, Changed, LastRemoved, HeadDiffers };
    Fault fault = Fault::Unreadable;
    // Why the file could not be read, or its schema; for the first two faults.
    std::string reason;
    bool isRow = false; // a measurement row, else an event
    int64_t run = 0;    // 0 for an event of no run
    int64_t seq = 0;    // the row's place in its run
    int64_t number = 0; // the row's № in the table
    int64_t event = 0;  // the event's id, its kind and detail
    std::string kind;
    std::string detail;
    int64_t link = 0;
    int64_t missingFrom = 0; // the links missing before it
};

struct ChainCheck {
    bool intact = false;
    // The chain's length, with the links deleted with old tables (pruned).
    int64_t links = 0;
    int64_t pruned = 0;
    std::string head;
    // What does not match and where: the run, row and column it is.
    std::string broken;
    std::optional<ChainBreak> fault;
    std::vector<ChainRun> runs;
    // What the head file beside the journal says of the chain's end: that
    // it matches, or that it is missing or behind. When it names more
    // events than the file holds, or another head, the chain is broken.
    std::string headFile;
    HeadFileState headFileState = HeadFileState::Missing;
};

// Reads the file and its head file without changing them.
ChainCheck verifyChain(const std::string &path);

} // namespace pondus::journal
