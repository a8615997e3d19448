// The output file of pondus-log: rows are appended as they are recorded and
// each reaches the disk before the next poll; an existing file is never
// truncated, and a file made here that never got a row is removed again.
// A row reaches the file whole or not at all; only a regular file is taken.
#pragma once

#include "RowText.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <sys/types.h>

namespace pondus::logger {

class RowFile {
public:
    // Opens path for appending, made if missing; throws std::runtime_error
    // with the path and the system's reason, or when path is not a regular
    // file (a FIFO, the serial device), without waiting on it.
    RowFile(std::string path, RowText text);
    // Closes the file; removes it when it was made here and holds no row.
    ~RowFile();
    RowFile(const RowFile &) = delete;
    RowFile &operator=(const RowFile &) = delete;

    // Writes the captions before the first row, then the row, and syncs the
    // data to the disk; throws std::runtime_error on a failed write, the
    // file cut back to its last whole row.
    void append(const RecordedRow &row);
    const std::string &path() const { return path_; }
    // The samples' names the captions give, set before the first row.
    void setSamples(std::vector<std::string> samples) { text_.setSamples(std::move(samples)); }

private:
    void write(const std::string &bytes);
    std::runtime_error cutBack(int error);

    std::string path_;
    RowText text_;
    int fd_ = -1;
    off_t end_ = 0; // where the last whole row ends before a write
    bool captionsWritten_ = false;
    bool startsFile_ = false; // the file was empty: its first bytes are ours
    bool created_ = false;
};

} // namespace pondus::logger
