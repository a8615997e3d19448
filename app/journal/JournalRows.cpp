// Writing recorded rows: one measurement row per recorded row, with the
// values of its balances packed in one JSON list, and a balance_state row
// only when a balance's model, ident, divisor or unit code changes.
#include "journal/Journal.h"

#include "journal/JournalChain.h"
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

// A row's readings in the measurement table's columns: the raw values as a
// JSON list, the stable ones as bits by slot, and the unit each slot showed,
// one character per slot: the unit index as a digit, '-' for an empty unit
// cell.
struct PackedReadings {
    std::string values;
    int64_t stable = 0;
    std::string units;
};

PackedReadings packed(const std::vector<BalanceReading> &readings)
{
    PackedReadings packed;
    std::vector<int32_t> values;
    for (size_t slot = 0; slot < readings.size(); ++slot) {
        values.push_back(readings[slot].rawValue);
        packed.stable |= int64_t(readings[slot].stable) << slot;
        packed.units += readings[slot].shownUnit < 0 ? '-' : char('0' + readings[slot].shownUnit);
    }
    packed.values = jsonNumbers(values);
    return packed;
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
    keepHead();
    syncer_->noteCommit();
    return RowKey{run_, sequence_};
}

std::optional<std::string> Journal::writeRow(const RecordedRow &row)
{
    bool began = false;
    std::string states;
    if (!writeBalanceStates(row, began, states))
        return rolledBack();
    const auto [values, stable, units] = packed(row.readings);
    const Digest digest = nextDigest(rowContent({link_ + 1, run_, sequence_ + 1, row.number, row.utcMs,
                                                 row.utcOffsetSeconds, values, stable, units, states}));
    const bool written = insertMeasurement_
                             .bindAll(run_, sequence_ + 1, row.number, row.utcMs, row.utcOffsetSeconds, values, stable,
                                      units, link_ + 1, digest)
                             .run() &&
                         (!began || commit_.run());
    if (written) {
        linked(digest);
        return std::nullopt;
    }
    return rolledBack();
}

std::string Journal::rolledBack()
{
    // The reason is taken before the rollback replaces it.
    std::string reason = failureText(db_.get());
    if (sqlite3_get_autocommit(db_.get()) == 0)
        rollback_.run();
    // The chain's end goes back to what the file holds.
    loadChain();
    return reason;
}

bool Journal::writeBalanceStates(const RecordedRow &row, bool &began, std::string &states)
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
            if (!begin_.run())
                return false;
            began = true;
        }
        if (!first && replaced(last, reading)) {
            const BalanceChange change{slot, reading.balance, last.modelCode, last.ident, reading.modelCode,
                                       reading.ident};
            if (!insertEvent("balance_replaced", change.json()))
                return false;
        }
        if (!insertBalanceState_
                 .bindAll(run_, int64_t(slot), sequence_ + 1, reading.balance, reading.modelCode, reading.ident,
                          reading.divisor, reading.unitCode)
                 .run())
            return false;
        states += stateContent(int64_t(slot), reading.balance, reading.modelCode, reading.ident, reading.divisor,
                               reading.unitCode);
        last = reading;
    }
    return true;
}

} // namespace pondus::journal
