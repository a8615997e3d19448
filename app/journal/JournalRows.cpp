// Writing recorded rows: one measurement row per recorded row, with the
// values of its balances packed in one JSON list, and a balance_state row
// only when a balance's model, ident, divisor or unit code changes.
#include "journal/Journal.h"

#include "journal/JournalStatements.h"
#include "journal/JournalSyncer.h"
#include "journal/JsonText.h"
#include "recording/BalanceIdentity.h"

namespace pondus::journal {

namespace {

bool sameBalance(const BalanceReading &a, const BalanceReading &b)
{
    return a.balance == b.balance && a.modelCode == b.modelCode && a.ident == b.ident && a.divisor == b.divisor &&
           a.unitCode == b.unitCode;
}

bool replaced(const BalanceReading &before, const BalanceReading &now)
{
    return before.balance == now.balance &&
           identityChange(before.modelCode, before.ident, now.modelCode, now.ident) == IdentityChange::Replaced;
}

// The unit each slot showed, one character per slot: the unit index as a
// digit, '-' for an empty unit cell.
std::string shownUnits(const std::vector<BalanceReading> &readings)
{
    std::string units;
    units.reserve(readings.size());
    for (const BalanceReading &reading : readings)
        units += reading.shownUnit < 0 ? '-' : char('0' + reading.shownUnit);
    return units;
}

int64_t stableMask(const std::vector<BalanceReading> &readings)
{
    int64_t mask = 0;
    for (size_t slot = 0; slot < readings.size(); ++slot)
        mask |= int64_t(readings[slot].stable) << slot;
    return mask;
}

std::string rawValues(const std::vector<BalanceReading> &readings)
{
    std::vector<int32_t> values;
    values.reserve(readings.size());
    for (const BalanceReading &reading : readings)
        values.push_back(reading.rawValue);
    return jsonNumbers(values);
}

} // namespace

std::optional<RowKey> Journal::recordRow(const RecordedRow &row)
{
    if (!db_ || run_ == 0)
        return std::nullopt;
    if (const auto why = fileGone())
        startNewFile(*why);
    if (!db_)
        return std::nullopt;
    if (auto failure = writeRow(row)) {
        fail(std::move(*failure));
        return std::nullopt;
    }
    ++sequence_;
    ++sheetRows_;
    syncer_->noteCommit();
    return RowKey{run_, sequence_};
}

std::optional<std::string> Journal::writeRow(const RecordedRow &row)
{
    bool began = false;
    const bool written = writeBalanceStates(row, began) &&
                         statements_->insertMeasurement.bind(1, run_)
                             .bind(2, sequence_ + 1)
                             .bind(3, row.number)
                             .bind(4, row.utcMs)
                             .bind(5, row.utcOffsetSeconds)
                             .bind(6, rawValues(row.readings))
                             .bind(7, stableMask(row.readings))
                             .bind(8, shownUnits(row.readings))
                             .run() &&
                         (!began || statements_->commit.run());
    if (written)
        return std::nullopt;
    // The reason is taken before the rollback replaces it.
    std::string reason = failureText(db_.get());
    if (sqlite3_get_autocommit(db_.get()) == 0)
        statements_->rollback.run();
    return reason;
}

bool Journal::writeBalanceStates(const RecordedRow &row, bool &began)
{
    if (slots_.size() < row.readings.size())
        slots_.resize(row.readings.size());
    for (size_t slot = 0; slot < row.readings.size(); ++slot) {
        const BalanceReading &reading = row.readings[slot];
        BalanceReading &last = slots_[slot];
        const bool first = sequence_ == 0;
        if (!first && sameBalance(last, reading))
            continue;
        if (!began) {
            if (!statements_->begin.run())
                return false;
            began = true;
        }
        if (!first && replaced(last, reading)) {
            const BalanceChange change{slot, reading.balance, last.modelCode, last.ident, reading.modelCode,
                                       reading.ident};
            if (!insertEvent("balance_replaced", change.json()))
                return false;
        }
        const bool inserted = statements_->insertBalanceState.bind(1, run_)
                                  .bind(2, int64_t(slot))
                                  .bind(3, sequence_ + 1)
                                  .bind(4, reading.balance)
                                  .bind(5, reading.modelCode)
                                  .bind(6, reading.ident)
                                  .bind(7, reading.divisor)
                                  .bind(8, reading.unitCode)
                                  .run();
        if (!inserted)
            return false;
        last = reading;
    }
    return true;
}

} // namespace pondus::journal
