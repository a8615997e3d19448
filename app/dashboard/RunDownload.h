// A run the collector holds, as a file a browser downloads: a snapshot of
// its rows written by the program's own CSV or workbook writer, so that the
// file is the one the window or pondus-log would have saved.
#pragma once

#include "dashboard/DashboardServer.h"

// What DashboardServer calls for /download/run.csv and /download/run.xlsx.
std::optional<RunFile> runDownload(CollectorReader &reader, const RunKey &key, const RunSpan &span,
                                   RunFile::Kind kind, std::string &error);
