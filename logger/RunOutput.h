// What pondus-log makes of its session: each committed row goes to the row
// file and the workbook when there is one; once the output is complete (the row file when the run
// stops, the workbook once it is in place) a journal that keeps the run
// marks its table as exported to it with the file's digest, so the window
// never offers it for recovery.
#pragma once

#include "RowFile.h"
#include "WorkbookFile.h"

#include "journal/Journal.h"
#include "recording/SessionObserver.h"

namespace pondus::logger {

class RunOutput final : public SessionObserver {
public:
    // workbook and journal may be null: none.
    RunOutput(RowFile &file, WorkbookFile *workbook, pondus::journal::Journal *journal);

    void runStarted(const RunInfo &run) override;
    void rowCommitted(const CommittedRow &row) override;
    void portReasonChanged(const std::string &reason) override;
    void scanFailed(const CaptionChange &failure) override;
    void runStopped(const RunInfo &run) override;
    // Writes the workbook after its run, then journals its export; a
    // workbook that is not written is claimed by no export. Throws as
    // WorkbookFile::finish does.
    void finishWorkbook(int64_t stoppedUtcMs);

private:
    RowFile &file_;
    WorkbookFile *workbook_;
    pondus::journal::Journal *journal_;
};

} // namespace pondus::logger
