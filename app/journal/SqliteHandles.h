// Owning handles for an SQLite connection and a prepared statement, with the
// few binding and stepping helpers the journal needs.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pondus::journal {

struct ConnectionCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

// SQLite's message for the last failure on db, with the system's reason
// ("Permission denied", "No space left on device") when a system call failed.
std::string failureText(sqlite3 *db);
// Opens the file at path into db; why it could not, when it could not.
std::optional<std::string> openDatabase(Connection &db, const std::string &path, int flags);
// Runs statements that return nothing.
bool execute(sqlite3 *db, const std::string &sql);

class Statement {
public:
    Statement() = default;
    Statement(sqlite3 *db, std::string_view sql);

    bool valid() const { return statement_ != nullptr; }
    Statement &bind(int index, int64_t value);
    Statement &bind(int index, std::string_view text);
    Statement &bind(int index, const std::array<unsigned char, 32> &bytes);
    // The values bound to ?1, ?2, ... in their order.
    template <typename... Values>
    Statement &bindAll(const Values &...values)
    {
        int index = 0;
        (bind(++index, values), ...);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();
    // Steps once and resets: true when the statement ran to its end.
    bool run();
    void reset();

    int64_t integer(int column) const { return sqlite3_column_int64(statement_.get(), column); }
    std::string_view text(int column) const;
    std::string_view blob(int column) const;
    bool isNull(int column) const { return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL; }

private:
    struct Finalizer {
        void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
    };
    std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

} // namespace pondus::journal
