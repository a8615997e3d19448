// The output file of pondus-log: rows are appended as they are recorded and
// each reaches the disk before the next poll; an existing file is never
// truncated, and a file made here that never got a row is removed again.
#pragma once

#include "RowText.h"

#include <string>
#include <vector>

namespace pondus::logger {

class RowFile {
public:
    // Opens path for appending, made if missing; throws std::runtime_error
    // with the path and the system's reason.
    RowFile(std::string path, RowText text);
    // Closes the file; removes it when it was made here and holds no row.
    ~RowFile();
    RowFile(const RowFile &) = delete;
    RowFile &operator=(const RowFile &) = delete;

    // Writes the captions before the first row, then the row, and syncs the
    // data to the disk; throws std::runtime_error on a failed write.
    void append(const RecordedRow &row);
    const std::string &path() const { return path_; }
    // The samples' names the captions give, set before the first row.
    void setSamples(std::vector<std::string> samples) { text_.setSamples(std::move(samples)); }

private:
    void write(const std::string &bytes);

    std::string path_;
    RowText text_;
    int fd_ = -1;
    bool captionsWritten_ = false;
    bool startsFile_ = false; // the file was empty: its first bytes are ours
    bool created_ = false;
};

} // namespace pondus::logger
