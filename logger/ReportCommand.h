// pondus-log --report: one journaled run's report written as a PDF, with an
// exit status a script can act on.
#pragma once

#include <string>

namespace pondus::logger {

// 0 when written; 6 for a run the journal does not hold, 1 for any other
// failure, told on standard error with the path. No file is left behind.
int writeReport(const std::string &journalPath, const std::string &run, const std::string &pdfPath);

} // namespace pondus::logger
