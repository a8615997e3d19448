// The statements the journal runs on every row and event, prepared once per
// connection.
#pragma once

#include "journal/Journal.h"

namespace pondus::journal {

struct Journal::Statements {
    explicit Statements(sqlite3 *db)
        : begin(db, "BEGIN"),
          commit(db, "COMMIT"),
          rollback(db, "ROLLBACK"),
          insertEvent(db, "INSERT INTO event (utc_ms, utc_offset_s, sheet, run, kind, detail, actor, link, hash) "
                          "VALUES (?1, ?2, nullif(?3, 0), nullif(?4, 0), ?5, nullif(?6, ''), ?7, ?8, ?9)"),
          insertMeasurement(db, "INSERT INTO measurement (run, seq, number, utc_ms, utc_offset_s, raw_values, "
                                "stable, units, link, hash) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"),
          insertBalanceState(db, "INSERT INTO balance_state (run, slot, seq, balance, model, ident, divisor, "
                                 "unit_code) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")
    {
    }

    bool valid() const
    {
        return begin.valid() && commit.valid() && rollback.valid() && insertEvent.valid() &&
               insertMeasurement.valid() && insertBalanceState.valid();
    }

    Statement begin;
    Statement commit;
    Statement rollback;
    Statement insertEvent;
    Statement insertMeasurement;
    Statement insertBalanceState;
};

} // namespace pondus::journal
