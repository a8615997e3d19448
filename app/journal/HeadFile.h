// The chain's head kept in a small file beside the journal (JOURNAL.head),
// so that removing the last events, which leaves a shorter chain that is
// intact in itself, is noticed by the verifier.
//
// The file holds two lines of the same length, "links N head HASH check C",
// C a digest of the rest of its line. After each commit the line of the
// commit's parity is written over in place: one small write, cheap enough
// for every row, and a write torn by a crash spoils one line while the other
// still holds the head before it. The reader takes the checked line with the
// most links. The file is made whole (a temporary file renamed over it)
// when the journal is opened.
#pragma once

#include "journal/ChainHash.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pondus::journal {

struct ChainHead {
    int64_t links = 0;
    std::string hash; // hex
};

std::string headFilePath(const std::string &journalPath);

class HeadFile {
public:
    HeadFile() = default;
    ~HeadFile();
    HeadFile(const HeadFile &) = delete;
    HeadFile &operator=(const HeadFile &) = delete;

    // Makes the file anew with the head as it is; the system's reason when
    // it cannot. Closed, the writes that follow try again.
    std::optional<std::string> open(const std::string &path, int64_t links, const Digest &head);
    // The head after a commit.
    std::optional<std::string> write(int64_t links, const Digest &head);
    void close();

private:
    std::string path_;
    int fd_ = -1;
};

struct HeadFileRead {
    std::optional<ChainHead> head;
    bool missing = false;
    std::string problem; // why it could not be read, when it is there
};
HeadFileRead readHeadFile(const std::string &path);

} // namespace pondus::journal
