// The journal's tables: created in a new file, brought up to date in an
// older one, and refused in a file that belongs to something else.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

namespace pondus::journal {

// Marks the file as a journal ("POND"), so that another program's database
// is never taken for one.
constexpr int32_t applicationId = 0x504F4E44;
// The schema this program writes; user_version of the file.
constexpr int32_t schemaVersion = 3;

// Makes db a journal of the current schema. Returns why it cannot: a file
// that is not SQLite, another program's database, a newer schema, or the
// failure of a statement.
// A file is only ever brought to an older version to make one as an older
// program left it.
std::optional<std::string> prepareSchema(sqlite3 *db, int32_t version = schemaVersion);

} // namespace pondus::journal
