// The report of one journaled run written as a PDF file, the same for
// pondus-log --report and the window's menu.
#pragma once

#include <cstdint>
#include <string>

namespace pondus::report {

struct ReportWritten {
    bool written = false;
    int64_t run = 0;        // the run written
    bool noSuchRun = false; // the run asked for is not in the journal
    std::string error;      // with the path it concerns
};

// RUN: a run id as pondus-log --verify lists it, or "last". Nothing is left
// at pdfPath when it fails; an existing file is replaced only when asked.
ReportWritten writeRunReport(const std::string &journalPath, const std::string &run, const std::string &pdfPath,
                             bool replace);

} // namespace pondus::report
