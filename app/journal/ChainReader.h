// Events and rows read back from the file as the chain hashed them.
#pragma once

#include "journal/JournalChain.h"
#include "journal/SqliteHandles.h"

#include <map>
#include <utility>

namespace pondus::journal {

// The balance states each row brought, by run and sequence number.
class ChainStates {
public:
    explicit ChainStates(sqlite3 *db);
    std::string_view of(int64_t run, int64_t seq) const;
    bool failed() const { return failed_; }

private:
    std::map<std::pair<int64_t, int64_t>, std::string> states_;
    bool failed_ = false;
};

// The current result row of chainEventsSql; its texts are the query's
// until it steps on.
struct ChainedEvent {
    explicit ChainedEvent(const Statement &query);
    EventFields fields;
    std::string actor, runSettings;
};

// The current result row of chainRowsSql, valid until the query steps on.
RowFields chainedRow(const Statement &query, const ChainStates &states);

} // namespace pondus::journal
