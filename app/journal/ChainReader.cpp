// Reading the chained fields of events and rows from their queries.
#include "journal/ChainReader.h"

namespace pondus::journal {

ChainStates::ChainStates(sqlite3 *db)
{
    Statement query(db, chainStatesSql);
    int result = SQLITE_ROW;
    while ((result = query.step()) == SQLITE_ROW)
        states_[{query.integer(0), query.integer(1)}] += stateContent(
            query.integer(2), query.integer(3), query.integer(4), query.integer(5), query.integer(6), query.integer(7));
    failed_ = result != SQLITE_DONE;
}

std::string_view ChainStates::of(int64_t run, int64_t seq) const
{
    const auto found = states_.find({run, seq});
    return found == states_.end() ? std::string_view() : std::string_view(found->second);
}

ChainedEvent::ChainedEvent(const Statement &query)
    : actor(query.isNull(8) ? std::string()
                            : actorContent(query.text(7), query.integer(8), query.text(9), query.text(10))),
      runSettings(query.isNull(11) ? std::string()
                                   : runContent(query.integer(11), query.integer(12), query.text(13), query.text(14),
                                                query.integer(15), query.integer(16), query.integer(17),
                                                query.text(18)))
{
    fields = {query.integer(0), query.integer(1), query.integer(2), query.integer(3), query.integer(4),
              query.text(5),    query.text(6),    actor,            runSettings};
}

RowFields chainedRow(const Statement &query, const ChainStates &states)
{
    return {query.integer(0), query.integer(1), query.integer(2), query.integer(3),
            query.integer(4), query.integer(5), query.text(6),     query.integer(7),
            query.text(8),    states.of(query.integer(1), query.integer(2))};
}

} // namespace pondus::journal
