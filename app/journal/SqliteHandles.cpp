// The owning SQLite handles and the text of a failure.
#include "journal/SqliteHandles.h"

#include <cerrno>
#include <cstring>

namespace pondus::journal {

namespace {
// The system's error at the last failed step: SQLite keeps it only for some
// failures (a write cut short by a file size limit loses it).
thread_local int lastStepErrno = 0;
} // namespace

std::string failureText(sqlite3 *db)
{
    if (!db)
        return "out of memory";
    std::string text = sqlite3_errmsg(db);
    int systemError = sqlite3_system_errno(db);
    const int code = sqlite3_errcode(db);
    if (systemError == 0 && (code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN))
        systemError = lastStepErrno;
    if (systemError != 0) {
        text += " (";
        text += std::strerror(systemError);
        text += ')';
    }
    return text;
}

std::optional<std::string> openDatabase(Connection &db, const std::string &path, int flags)
{
    sqlite3 *opened = nullptr;
    const int result = sqlite3_open_v2(path.c_str(), &opened, flags, nullptr);
    db.reset(opened);
    return result == SQLITE_OK ? std::nullopt : std::optional(failureText(opened));
}

bool execute(sqlite3 *db, const std::string &sql)
{
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement::Statement(sqlite3 *db, std::string_view sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v3(db, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr) ==
        SQLITE_OK)
        statement_.reset(statement);
}

Statement &Statement::bind(int index, int64_t value)
{
    sqlite3_bind_int64(statement_.get(), index, value);
    return *this;
}

Statement &Statement::bind(int index, std::string_view text)
{
    sqlite3_bind_text(statement_.get(), index, text.data(), int(text.size()), SQLITE_TRANSIENT);
    return *this;
}

int Statement::step()
{
    errno = 0;
    const int result = sqlite3_step(statement_.get());
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        lastStepErrno = errno;
    return result;
}

bool Statement::run()
{
    const int result = step();
    reset();
    return result == SQLITE_DONE || result == SQLITE_ROW;
}

void Statement::reset()
{
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
}

Statement &Statement::bind(int index, const std::array<unsigned char, 32> &bytes)
{
    sqlite3_bind_blob(statement_.get(), index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

std::string_view Statement::blob(int column) const
{
    const void *bytes = sqlite3_column_blob(statement_.get(), column);
    return bytes ? std::string_view(static_cast<const char *>(bytes), size_t(sqlite3_column_bytes(statement_.get(), column)))
                 : std::string_view();
}

std::string_view Statement::text(int column) const
{
    const auto *bytes = sqlite3_column_text(statement_.get(), column);
    return bytes ? std::string_view(reinterpret_cast<const char *>(bytes),
                                    size_t(sqlite3_column_bytes(statement_.get(), column)))
                 : std::string_view();
}

} // namespace pondus::journal
