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

struct ChainCheck {
    bool intact = false;
    int64_t links = 0;
    std::string head;
    // What does not match and where: the run, row and column it is.
    std::string broken;
    std::vector<ChainRun> runs;
};

// Reads the file without changing it.
ChainCheck verifyChain(const std::string &path);

} // namespace pondus::journal
