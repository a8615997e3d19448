// Settings the operator changed, as events of the chain: the run's settings
// against the previous run's, and a section confirmed in the window.
#include "journal/Journal.h"

#include "journal/JsonText.h"
#include "journal/RunColumns.h"

#include <array>

namespace pondus::journal {

void Journal::settingsChanged(std::string_view section, const std::vector<SettingChange> &changes)
{
    if (changes.empty())
        return;
    std::string json = "{\"section\":" + jsonQuoted(section) + ",\"changes\":[";
    for (const SettingChange &change : changes)
        json += (&change == &changes.front() ? "{\"key\":" : ",{\"key\":") + jsonQuoted(change.key) +
                ",\"old\":" + jsonQuoted(change.before) + ",\"new\":" + jsonQuoted(change.after) + "}";
    event("settings_changed", json + "]}");
}

void Journal::runSettingsEvent()
{
    // The run table's columns as the event names them; the texts are SQLite's.
    constexpr std::array<const char *, 6> keys = {"port", "mode", "period_ms", "threshold", "measurement_bound",
                                                  "balances"};
    Statement runs(db_.get(),
                   std::string("SELECT ") + runSettingsColumns + " FROM run WHERE id <= ?1 ORDER BY id DESC LIMIT 2");
    runs.bind(1, run_);
    std::array<std::string, keys.size()> now;
    if (runs.step() != SQLITE_ROW)
        return;
    for (size_t key = 0; key < keys.size(); ++key)
        now[key] = runs.text(int(key));
    // The file's first run changed nothing.
    if (runs.step() != SQLITE_ROW)
        return;
    std::vector<SettingChange> changes;
    for (size_t key = 0; key < keys.size(); ++key)
        if (const std::string_view before = runs.text(int(key)); before != now[key])
            changes.push_back({keys[key], std::string(before), now[key]});
    settingsChanged("run", changes);
}

} // namespace pondus::journal
