// The run table's names of the recording modes and its settings columns.
#include "journal/RunColumns.h"

#include "journal/JsonText.h"

#include <algorithm>
#include <array>

namespace pondus::journal {

namespace {

// By the modes' values.
constexpr std::array<std::string_view, 3> modeNames = {"periodic", "on_new_weight", "manual"};

} // namespace

std::string_view modeName(RecordingMode mode)
{
    return modeNames[size_t(mode)];
}

RunSettings runSettingsAt(const Statement &query, int first)
{
    RunSettings settings;
    settings.port = query.text(first);
    const auto mode = std::find(modeNames.begin(), modeNames.end(), query.text(first + 1));
    settings.mode = mode == modeNames.end() ? RecordingMode::Periodic : RecordingMode(mode - modeNames.begin());
    settings.periodMs = int32_t(query.integer(first + 2));
    settings.threshold = int32_t(query.integer(first + 3));
    settings.measurementBound = int32_t(query.integer(first + 4));
    settings.balances = jsonNumbersOf(query.text(first + 5));
    return settings;
}

} // namespace pondus::journal
