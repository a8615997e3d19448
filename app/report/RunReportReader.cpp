// Reading a run's report from the journal: the settings through the
// journal's reader, the rows and the events of the run with SQL, the chain by the
// verifier, so that the hashes printed are the ones --verify prints.
#include "report/RunReport.h"

#include "journal/JournalReader.h"
#include "journal/JsonText.h"
#include "journal/SqliteHandles.h"
#include "recording/BalanceTexts.h"
#include "report/ReportTexts.h"

#include <QString>

#include <cmath>
#include <string_view>
#include <vector>

namespace pondus::report {

void BalanceFigures::add(double weight)
{
    ++count;
    if (count == 1)
        first = min = max = weight;
    last = weight;
    min = std::min(min, weight);
    max = std::max(max, weight);
    // Welford's running mean and squares: one pass, no loss of precision
    // on large weights with small spread.
    const double delta = weight - mean;
    mean += delta / double(count);
    squares_ += delta * (weight - mean);
}

double BalanceFigures::standardDeviation() const
{
    return count < 2 ? 0.0 : std::sqrt(squares_ / double(count - 1));
}

namespace {

std::optional<int64_t> runNumber(journal::JournalReader &reader, const std::string &choice, std::string &error)
{
    if (choice == "last") {
        if (const auto newest = reader.newestRun())
            return newest->run;
        error = "the journal holds no run yet";
        return std::nullopt;
    }
    bool ok = false;
    const int64_t run = QString::fromStdString(choice).toLongLong(&ok);
    if (!ok || run <= 0) {
        error = "the run is its number as --verify lists it, or last; not \"" + choice + "\"";
        return std::nullopt;
    }
    return run;
}

// Who started the run where, and with which program and library.
void readStart(sqlite3 *db, RunReport &report)
{
    journal::Statement query(db, "SELECT a.user, a.host, a.operator, json_extract(e.detail, '$.program'), "
                                 "json_extract(e.detail, '$.library'), r.utc_offset_s FROM event AS e "
                                 "LEFT JOIN actor AS a ON a.id = e.actor JOIN run AS r ON r.id = e.run "
                                 "WHERE e.run = ?1 AND e.kind = 'run_start' ORDER BY e.link LIMIT 1");
    if (query.bind(1, report.run).step() != SQLITE_ROW)
        return;
    report.user = query.text(0);
    report.host = query.text(1);
    report.operatorName = query.text(2);
    report.programVersion = query.text(3);
    report.libraryVersion = query.text(4);
    report.utcOffsetSeconds = int32_t(query.integer(5));
}

void readEdits(sqlite3 *db, RunReport &report)
{
    journal::Statement query(db, "SELECT utc_ms, json_extract(detail, '$.seq'), json_extract(detail, '$.caption'), "
                                 "json_extract(detail, '$.column'), json_extract(detail, '$.balance'), "
                                 "json_extract(detail, '$.old'), json_extract(detail, '$.new'), "
                                 "json_extract(detail, '$.reason') FROM event "
                                 "WHERE kind = 'cell_edit' AND json_extract(detail, '$.run') = ?1 ORDER BY link");
    for (query.bind(1, report.run); query.step() == SQLITE_ROW;) {
        CellEditText edit;
        edit.seq = query.isNull(1) ? 0 : query.integer(1);
        edit.captionRow = query.isNull(2) ? -1 : int32_t(query.integer(2));
        edit.column = query.text(3);
        edit.balance = int32_t(query.integer(4));
        edit.oldText = query.text(5);
        edit.newText = query.text(6);
        edit.reason = query.text(7);
        report.edits.push_back({query.integer(0), cellEditText(edit).toStdString()});
    }
}

void readLinkLosses(sqlite3 *db, RunReport &report)
{
    journal::Statement query(db, "SELECT utc_ms, kind FROM event WHERE run = ?1 AND kind IN ('link_lost', "
                                 "'link_regained') ORDER BY link");
    std::optional<int64_t> lostAt;
    for (query.bind(1, report.run); query.step() == SQLITE_ROW;) {
        const int64_t at = query.integer(0);
        if (query.text(1) == "link_lost") {
            lostAt = lostAt ? lostAt : at;
        } else if (lostAt) {
            report.linkLosses.push_back({*lostAt, linkLossText(*lostAt, at, report.utcOffsetSeconds).toStdString()});
            lostAt.reset();
        }
    }
    if (lostAt)
        report.linkLosses.push_back(
            {*lostAt, linkLossText(*lostAt, std::nullopt, report.utcOffsetSeconds).toStdString()});
}

// The exports of the run's table after it started.
void readExports(sqlite3 *db, RunReport &report)
{
    journal::Statement query(db, "SELECT e.utc_ms, json_extract(e.detail, '$.file'), json_extract(e.detail, '$.format'), "
                                 "json_extract(e.detail, '$.rows'), json_extract(e.detail, '$.sha256') "
                                 "FROM event AS e JOIN run AS r ON r.id = ?1 "
                                 "WHERE e.kind = 'export' AND e.sheet = r.sheet AND e.utc_ms >= r.started_ms "
                                 "ORDER BY e.link");
    for (query.bind(1, report.run); query.step() == SQLITE_ROW;)
        report.exports.push_back({query.integer(0), exportText(query.integer(0), report.utcOffsetSeconds, query.text(1),
                                                               query.text(2), query.integer(3), query.text(4))
                                                        .toStdString()});
}

int64_t lastRowMs(sqlite3 *db, int64_t run)
{
    journal::Statement query(db, "SELECT utc_ms FROM measurement WHERE run = ?1 ORDER BY seq DESC LIMIT 1");
    return query.bind(1, run).step() == SQLITE_ROW ? query.integer(0) : 0;
}

// Every row once, on the file's own tables rather than the reading view,
// whose per-value lookup of the balance's state takes a minute for a day:
// the balances' figures and the chart's lines.
bool readRows(sqlite3 *db, RunReport &report, int chartColumns)
{
    const size_t balances = report.settings.balances.size();
    report.balances.resize(balances);
    report.chart = ChartLines(balances, report.startedUtcMs, std::max(report.lastRowUtcMs, report.startedUtcMs),
                              chartColumns);
    journal::Statement rows(db, "SELECT seq, utc_ms, raw_values FROM measurement WHERE run = ?1 ORDER BY seq");
    journal::Statement states(db, "SELECT seq, slot, balance, model, ident, divisor, unit_code FROM balance_state "
                                  "WHERE run = ?1 ORDER BY seq, slot");
    std::vector<BalanceState> current(balances);
    int state = states.bind(1, report.run).step();
    int row = rows.bind(1, report.run).step();
    for (; row == SQLITE_ROW; row = rows.step()) {
        const int64_t seq = rows.integer(0);
        for (; state == SQLITE_ROW && states.integer(0) <= seq; state = states.step())
            if (const auto slot = size_t(states.integer(1)); slot < balances)
                current[slot] = {int32_t(states.integer(2)), int32_t(states.integer(3)), int32_t(states.integer(4)),
                               int32_t(states.integer(5)), unitIndex(int32_t(states.integer(6))).value_or(-1)};
        ++report.rows;
        const int64_t utcMs = rows.integer(1);
        const std::vector<int32_t> values = journal::jsonNumbersOf(rows.text(2));
        for (size_t slot = 0; slot < std::min(balances, values.size()); ++slot) {
            const BalanceState &now = current[slot];
            BalanceFigures &figures = report.balances[slot];
            if (figures.count == 0) {
                static_cast<BalanceState &>(figures) = now;
            } else if (now.unit != figures.unit) {
                ++figures.otherUnit;
                continue;
            }
            const double weight = double(values[slot]) / double(now.divisor == 0 ? 1 : now.divisor);
            figures.add(weight);
            report.chart.add(slot, utcMs, weight);
        }
    }
    for (size_t slot = 0; slot < balances; ++slot)
        if (report.balances[slot].balance == 0)
            report.balances[slot].balance = report.settings.balances[slot];
    return row == SQLITE_DONE && (state == SQLITE_DONE || state == SQLITE_ROW);
}

} // namespace

ReportRead readRunReport(const std::string &journalPath, const std::string &runChoice, int chartColumns)
{
    ReportRead read;
    journal::JournalReader reader(journalPath);
    if (reader.failure()) {
        read.error = journalPath + ": " + *reader.failure();
        return read;
    }
    const std::optional<int64_t> run = runNumber(reader, runChoice, read.error);
    if (!run) {
        read.noSuchRun = true;
        return read;
    }
    const auto record = reader.runRecord(*run);
    if (!record) {
        read.error = journalPath + " holds no run " + std::to_string(*run) + " (pondus-log --verify lists its runs)";
        read.noSuchRun = !reader.failure();
        return read;
    }
    RunReport report;
    report.journal = journalPath;
    report.run = *run;
    report.settings = record->settings;
    report.startedUtcMs = record->startedUtcMs;
    report.chain = journal::verifyChain(journalPath);
    for (const journal::ChainRun &chained : report.chain.runs)
        if (chained.run == *run) {
            report.stoppedUtcMs = chained.stoppedMs;
            report.firstHash = chained.firstHash;
            report.lastHash = chained.lastHash;
        }
    journal::Connection db;
    if (const auto failure = journal::openDatabase(db, journalPath, SQLITE_OPEN_READONLY)) {
        read.error = journalPath + ": " + *failure;
        return read;
    }
    sqlite3 *raw = db.get();
    readStart(raw, report);
    report.lastRowUtcMs = lastRowMs(raw, *run);
    readEdits(raw, report);
    readLinkLosses(raw, report);
    readExports(raw, report);
    if (!readRows(raw, report, chartColumns)) {
        read.error = journalPath + ": " + journal::failureText(raw);
        return read;
    }
    read.report = std::move(report);
    return read;
}

} // namespace pondus::report
