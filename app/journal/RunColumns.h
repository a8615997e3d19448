// A run's settings in the run table's columns, named and read back the same
// way by the journal and by its readers.
#pragma once

#include "journal/SqliteHandles.h"
#include "recording/RecordedRow.h"

#include <string_view>

namespace pondus::journal {

// The columns runSettingsAt reads, in its order.
constexpr const char *runSettingsColumns = "port, mode, period_ms, threshold, measurement_bound, balances";

// The recording mode as the run table names it.
std::string_view modeName(RecordingMode mode);
// The settings in the query's runSettingsColumns from column first on; a
// mode the table does not name is periodic.
RunSettings runSettingsAt(const Statement &query, int first);

} // namespace pondus::journal
