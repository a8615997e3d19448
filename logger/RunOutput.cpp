#include "RunOutput.h"

#include <cstdio>

namespace pondus::logger {

RunOutput::RunOutput(RowFile &file, WorkbookFile *workbook, pondus::journal::Journal *journal)
    : file_(file), workbook_(workbook), journal_(journal)
{
}

void RunOutput::runStarted(const RunInfo &run)
{
    file_.setSamples(run.settings.samples);
    if (workbook_)
        workbook_->runStarted(run.settings, run.startedUtcMs, journal_ ? run.keptRun : 0,
                              journal_ ? journal_->path() : std::string());
}

void RunOutput::rowCommitted(const CommittedRow &row)
{
    file_.append(row.row);
    if (workbook_)
        workbook_->append(row.row);
}

void RunOutput::portReasonChanged(const std::string &reason)
{
    // The same words the window shows under its controls.
    if (!reason.empty())
        std::fprintf(stderr, "pondus-log: %s\n", reason.c_str());
}

void RunOutput::scanFailed(const CaptionChange &failure)
{
    std::fprintf(stderr, "pondus-log: balance %d answered its scan badly; its captions are kept\n",
                 int(failure.after.balance));
}

void RunOutput::runStopped(const RunInfo &)
{
    // Every row is already in the row file: the table is not waiting for
    // the window's recovery question. A workbook is not written yet.
    if (journal_ && !workbook_)
        journal_->exported(file_.path(), journal_->sheetRows());
}

void RunOutput::finishWorkbook(int64_t stoppedUtcMs)
{
    // The export's digest is taken of the workbook as it lies on the disk.
    if (workbook_ && workbook_->finish(stoppedUtcMs) && journal_)
        journal_->exported(workbook_->path(), journal_->sheetRows());
}

} // namespace pondus::logger
