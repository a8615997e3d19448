// What the report of one journaled run holds, read from the journal file:
// the run's settings and who recorded it where, every balance's figures in
// one pass over the rows, the chart's lines thinned to the page, the
// operator's edits, the link's losses, the exports, and the chain's hashes
// as the verifier finds them.
#pragma once

#include "journal/ChainVerifier.h"
#include "recording/RecordedRow.h"
#include "report/ChartLines.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pondus::report {

// A balance's state as its rows brought it: what its values mean.
struct BalanceState {
    int32_t balance = 0;
    int32_t model = 0;
    int32_t ident = 0;
    int32_t divisor = 1; // the places its figures show
    int8_t unit = -1;    // unit index, -1 when unknown
};

// One balance's readings over the run, in the unit (and with the divisor)
// of its first reading.
struct BalanceFigures : BalanceState {
    int64_t count = 0;
    double first = 0, last = 0, min = 0, max = 0, mean = 0;
    int64_t otherUnit = 0; // readings in another unit, not in the figures

    void add(double weight);
    double standardDeviation() const; // of the sample; 0 below two readings
    double change() const { return last - first; }

private:
    double squares_ = 0; // the running sum of squared deviations
};

struct ReportEvent {
    int64_t utcMs = 0;
    std::string text;
};

struct RunReport {
    std::string journal; // the file's path
    int64_t run = 0;
    std::string host, user, operatorName;
    std::string programVersion, libraryVersion; // empty when the journal does not say
    RunSettings settings;
    int64_t startedUtcMs = 0;
    std::optional<int64_t> stoppedUtcMs;
    int32_t utcOffsetSeconds = 0; // the local clock's at the start
    int64_t rows = 0;
    int64_t lastRowUtcMs = 0;
    std::vector<BalanceFigures> balances; // in column order
    ChartLines chart;                     // one line per balance, same order
    std::vector<ReportEvent> edits, linkLosses, exports;
    journal::ChainCheck chain;
    std::string firstHash, lastHash; // of the run's first and last links
};

struct ReportRead {
    std::optional<RunReport> report;
    std::string error; // why not, when there is none
    bool noSuchRun = false; // the run asked for is not in the journal, or not a run's number
};

// RUN: a run id as the verifier lists it, or "last". The chart keeps at
// most chartColumns columns' worth of points per balance.
ReportRead readRunReport(const std::string &journalPath, const std::string &run, int chartColumns);

} // namespace pondus::report
