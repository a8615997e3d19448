// Writes the report and tells how it went.
#include "ReportCommand.h"

#include "ExitCodes.h"
#include "report/RunReportFile.h"

#include <cstdio>

namespace pondus::logger {

int writeReport(const std::string &journalPath, const std::string &run, const std::string &pdfPath)
{
    const report::ReportWritten written = report::writeRunReport(journalPath, run, pdfPath, false);
    if (!written.written) {
        std::fprintf(stderr, "pondus-log: %s\n", written.error.c_str());
        return written.noSuchRun ? noSuchRun : failure;
    }
    std::fprintf(stderr, "pondus-log: the report of run %lld is in %s\n", (long long)written.run, pdfPath.c_str());
    return done;
}

} // namespace pondus::logger
