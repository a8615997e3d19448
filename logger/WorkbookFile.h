// pondus-log's workbook (--format xlsx): the run's rows are kept and the
// workbook is written whole when the run ends. Until then every row also
// goes to a CSV row file beside it, NAME.rows.csv, on the disk before the
// next poll, so that a crash or a power cut loses no row; the row file is
// removed once the workbook is in place.
#pragma once

#include "export/RunSnapshot.h"

#include <string>

namespace pondus::logger {

class WorkbookFile {
public:
    // Throws std::runtime_error with the path and the reason when the
    // workbook or its row file exists: a workbook is written whole and
    // never replaces a file, and a row file left by a run that did not end
    // holds that run's rows.
    explicit WorkbookFile(std::string path);

    const std::string &path() const { return path_; }
    const std::string &rowFilePath() const { return rowFilePath_; }

    // keptRun: the run's id in the journal at journalPath, 0 when not
    // journaled; the workbook then carries the chain's hashes.
    void runStarted(const RunSettings &settings, int64_t startedUtcMs, int64_t keptRun = 0,
                    std::string journalPath = {});
    void append(const RecordedRow &row);
    // Writes the workbook (nothing without rows) and removes the row file;
    // whether a workbook was written. Throws std::runtime_error with the
    // path and the reason, and then keeps the row file.
    bool finish(int64_t stoppedUtcMs);

private:
    std::string path_;
    std::string rowFilePath_;
    RunSnapshot run_;
    int64_t keptRun_ = 0;
    std::string journalPath_;
};

} // namespace pondus::logger
