#include "dashboard/CollectorReader.h"

#include "dashboard/DashboardJson.h"
#include "publish/RunSummary.h"

#include <algorithm>

using nlohmann::json;
using pondus::journal::Connection;
using pondus::journal::Statement;

namespace {

// Rows and their readings over a range of sequence numbers, in order: two
// walks along the two tables' keys, merged, cost a third of a join that
// looks up each reading's row.
const char *const rowsInRange = "SELECT seq, number, utc_ms, utc_offset_s FROM collected_rows "
                                "WHERE pc = ?1 AND port = ?2 AND run = ?3 AND seq BETWEEN ?4 AND ?5 ORDER BY seq";
const char *const readingsInRange =
    "SELECT seq, balance, raw_value, divisor, unit_code, shown_unit, stable, model_code, ident "
    "FROM collected_readings WHERE pc = ?1 AND port = ?2 AND run = ?3 AND seq BETWEEN ?4 AND ?5 ORDER BY seq, slot";

BalanceReading readingAt(const Statement &statement, int column)
{
    return {.balance = int32_t(statement.integer(column)),
            .rawValue = int32_t(statement.integer(column + 1)),
            .divisor = int32_t(statement.integer(column + 2)),
            .unitCode = int32_t(statement.integer(column + 3)),
            .shownUnit = int8_t(statement.integer(column + 4)),
            .stable = statement.integer(column + 5) != 0,
            .modelCode = int32_t(statement.integer(column + 6)),
            .ident = int32_t(statement.integer(column + 7))};
}

Statement &bindKey(Statement &statement, const RunKey &key)
{
    return statement.bind(1, key.pc).bind(2, key.port).bind(3, key.run);
}

json gapJson(int64_t fromSeq, int64_t toSeq, int64_t afterMs, int64_t beforeMs)
{
    return {{"from", fromSeq}, {"to", toSeq}, {"afterMs", afterMs}, {"beforeMs", beforeMs}};
}

// The largest summary bucket no wider than a pixel column of `perColumn`
// rows, 0 when the rows themselves are needed.
int64_t bucketSizeFor(int64_t perColumn)
{
    int64_t chosen = 0;
    for (const int64_t size : summaryBucketRows)
        if (size <= perColumn)
            chosen = size;
    return chosen;
}

} // namespace

// The stretches of missing rows a chart marks, from the rows it is shown in
// order: a stretch before each row that does not follow its predecessor.
struct CollectorReader::GapMarks {
    int64_t expected = 0;
    int64_t previousMs = 0;
    json list = json::array();

    void see(int64_t seq, int64_t utcMs)
    {
        if (seq > expected && list.size() < CollectorReader::maxGapsListed)
            list.push_back(gapJson(expected, seq - 1, previousMs, utcMs));
        expected = seq + 1;
        previousMs = utcMs;
    }
};

std::unique_ptr<CollectorReader> CollectorReader::open(const std::string &path, std::string &error)
{
    Connection db;
    if (const auto why = pondus::journal::openDatabase(db, path, SQLITE_OPEN_READONLY)) {
        error = path + ": " + *why;
        return nullptr;
    }
    // The collector writes in WAL mode, so reading never waits for it; a
    // checkpoint in progress is the only thing worth waiting for.
    sqlite3_busy_timeout(db.get(), 2000);
    return std::unique_ptr<CollectorReader>(new CollectorReader(std::move(db), path));
}

CollectorReader::CollectorReader(Connection db, std::string path) : db_(std::move(db)), path_(std::move(path)) {}

json CollectorReader::lab(int64_t nowUtcMs)
{
    json ports = json::array();
    Statement statuses(db_.get(), "SELECT pc, port, payload, received_utc_ms FROM port_status ORDER BY pc, port");
    Statement lastRun(db_.get(), "SELECT MAX(run) FROM collected_rows WHERE pc = ?1 AND port = ?2");
    Statement lastRow(db_.get(), "SELECT seq, received_utc_ms FROM collected_rows "
                                 "WHERE pc = ?1 AND port = ?2 AND run = ?3 ORDER BY seq DESC LIMIT 1");
    while (statuses.valid() && statuses.step() == SQLITE_ROW) {
        const PortTopics where{{}, std::string(statuses.text(0)), std::string(statuses.text(1))};
        json port = {{"pc", where.pc},
                     {"port", where.port},
                     {"status", portStatusJson(where, std::string(statuses.text(2)), statuses.integer(3))}};
        lastRun.bind(1, where.pc).bind(2, where.port);
        if (lastRun.step() == SQLITE_ROW && !lastRun.isNull(0)) {
            const RunKey key{where.pc, where.port, std::string(lastRun.text(0))};
            if (bindKey(lastRow, key).step() == SQLITE_ROW) {
                const int64_t seq = lastRow.integer(0);
                forEachRow(key, seq, seq, [&](const SequencedRow &row) {
                    port["row"] = portRowJson(where, key.run, row, lastRow.integer(1));
                });
            }
            lastRow.reset();
        }
        lastRun.reset();
        ports.push_back(std::move(port));
    }
    return {{"nowMs", nowUtcMs}, {"ports", std::move(ports)}};
}

json CollectorReader::runs(const std::string &pc, const std::string &port)
{
    // Newest first by stepping down the index one run at a time, so that a
    // port with a month of rows costs as many look-ups as it has runs.
    Statement before(db_.get(), "SELECT MAX(run) FROM collected_rows WHERE pc = ?1 AND port = ?2 AND run < ?3");
    json list = json::array();
    std::string below = "\x7f";
    while (int(list.size()) < maxRunsListed) {
        before.bind(1, pc).bind(2, port).bind(3, below);
        if (before.step() != SQLITE_ROW || before.isNull(0))
            break;
        below = std::string(before.text(0));
        before.reset();
        if (const auto found = span({pc, port, below}))
            list.push_back({{"run", below}, {"rows", found->lastSeq}, {"firstMs", found->firstMs},
                            {"lastMs", found->lastMs}, {"offsetS", found->offsetS}});
    }
    return list;
}

std::optional<RunSpan> CollectorReader::span(const RunKey &key)
{
    Statement edge(db_.get(), "SELECT seq, utc_ms, utc_offset_s FROM collected_rows "
                              "WHERE pc = ?1 AND port = ?2 AND run = ?3 ORDER BY seq LIMIT 1");
    Statement last(db_.get(), "SELECT seq, utc_ms FROM collected_rows "
                              "WHERE pc = ?1 AND port = ?2 AND run = ?3 ORDER BY seq DESC LIMIT 1");
    if (!edge.valid() || !last.valid() || bindKey(edge, key).step() != SQLITE_ROW || bindKey(last, key).step() != SQLITE_ROW)
        return std::nullopt;
    return RunSpan{last.integer(0), edge.integer(1), last.integer(1), int32_t(edge.integer(2)), edge.integer(0)};
}

json CollectorReader::runInfo(const RunKey &key, const RunSpan &span)
{
    json balances = json::array();
    forEachRow(key, span.firstSeq, span.firstSeq, [&](const SequencedRow &row) {
        for (const BalanceReading &reading : row.row.readings)
            balances.push_back(balanceJson(reading));
    });
    return {{"pc", key.pc},
            {"port", key.port},
            {"run", key.run},
            {"lastSeq", span.lastSeq},
            {"firstMs", span.firstMs},
            {"lastMs", span.lastMs},
            {"offsetS", span.offsetS},
            {"pageRows", pageRows},
            {"pages", (span.lastSeq + pageRows - 1) / pageRows},
            {"balances", std::move(balances)}};
}

bool CollectorReader::forEachRow(const RunKey &key, int64_t fromSeq, int64_t toSeq,
                                 const std::function<void(const SequencedRow &)> &take)
{
    Statement rows(db_.get(), rowsInRange);
    Statement readings(db_.get(), readingsInRange);
    if (!rows.valid() || !readings.valid())
        return false;
    bindKey(rows, key).bind(4, fromSeq).bind(5, toSeq);
    bindKey(readings, key).bind(4, fromSeq).bind(5, toSeq);
    // A row's readings are stored with it, so the two walks keep in step.
    int reading = readings.step();
    int result = SQLITE_ROW;
    SequencedRow row;
    while ((result = rows.step()) == SQLITE_ROW) {
        row = {rows.integer(0), {int32_t(rows.integer(1)), rows.integer(2), int32_t(rows.integer(3)), {}}};
        for (; reading == SQLITE_ROW && readings.integer(0) <= row.seq; reading = readings.step())
            if (readings.integer(0) == row.seq)
                row.row.readings.push_back(readingAt(readings, 1));
        take(row);
    }
    return result == SQLITE_DONE && (reading == SQLITE_ROW || reading == SQLITE_DONE);
}

json CollectorReader::rowsPage(const RunKey &key, const RunSpan &span, int64_t page)
{
    const int64_t fromSeq = (page - 1) * pageRows + 1;
    const int64_t toSeq = page * pageRows;
    json rows = json::array();
    int64_t expected = fromSeq;
    int64_t previousMs = 0;
    forEachRow(key, fromSeq, toSeq, [&](const SequencedRow &sequenced) {
        const RecordedRow &row = sequenced.row;
        if (sequenced.seq > expected)
            rows.push_back({{"gap", gapJson(expected, sequenced.seq - 1, previousMs, row.utcMs)}});
        json values = json::array();
        for (const BalanceReading &reading : row.readings)
            values.push_back(cellJson(reading));
        rows.push_back({{"seq", sequenced.seq},
                        {"number", row.number},
                        {"utcMs", row.utcMs},
                        {"time", localTimeText(row.utcMs, row.utcOffsetSeconds)},
                        {"balances", std::move(values)}});
        expected = sequenced.seq + 1;
        previousMs = row.utcMs;
    });
    // Rows missing at the page's end, before a row of a later page.
    if (const int64_t last = std::min(toSeq, span.lastSeq); expected <= last)
        rows.push_back({{"gap", gapJson(expected, last, previousMs, 0)}});
    return {{"page", page}, {"fromSeq", fromSeq}, {"toSeq", toSeq}, {"rows", std::move(rows)}};
}

int64_t CollectorReader::seqAt(const RunKey &key, const RunSpan &span, int64_t utcMs)
{
    Statement atOrAfter(db_.get(), "SELECT seq, utc_ms FROM collected_rows "
                                   "WHERE pc = ?1 AND port = ?2 AND run = ?3 AND seq >= ?4 ORDER BY seq LIMIT 1");
    // The answer lies in [low, high]; lastSeq + 1 when every row is earlier.
    int64_t low = 1;
    int64_t high = span.lastSeq + 1;
    while (low < high) {
        const int64_t middle = low + (high - low) / 2;
        bindKey(atOrAfter, key).bind(4, middle);
        const bool early = atOrAfter.step() == SQLITE_ROW && atOrAfter.integer(1) < utcMs;
        const int64_t stored = early ? atOrAfter.integer(0) : 0;
        atOrAfter.reset();
        if (early)
            low = stored + 1; // rows missing between middle and stored are no later
        else
            high = middle;
    }
    return low;
}

json CollectorReader::chart(const RunKey &key, const RunSpan &span, int64_t fromMs, int64_t toMs, int columns)
{
    fromMs = std::max(fromMs, span.firstMs);
    toMs = std::min(toMs, span.lastMs);
    // One row either side, so that the lines run to the edges of the view.
    const int64_t fromSeq = std::max<int64_t>(seqAt(key, span, fromMs) - 1, 1);
    const int64_t toSeq = std::min(seqAt(key, span, toMs + 1), span.lastSeq);
    ChartDecimation decimation(fromMs, toMs, columns);
    std::vector<int32_t> balances;
    GapMarks gaps{fromSeq, span.firstMs};
    const int64_t bucketSize = bucketSizeFor((toSeq - fromSeq + 1) / std::max(columns, 1));
    const auto take = [&](size_t slot, int32_t balance, ChartPoint point) {
        if (slot >= balances.size())
            balances.resize(slot + 1, balance);
        decimation.add(slot, point);
    };
    if (bucketSize > 0) {
        chartFromBuckets(key, span, {fromSeq, toSeq, bucketSize}, take, gaps);
    } else {
        forEachRow(key, fromSeq, toSeq, [&](const SequencedRow &row) {
            gaps.see(row.seq, row.row.utcMs);
            for (size_t slot = 0; slot < row.row.readings.size(); ++slot)
                take(slot, row.row.readings[slot].balance, {row.row.utcMs, weightOf(row.row.readings[slot])});
        });
    }
    json series = json::array();
    const auto kept = decimation.finish();
    for (size_t slot = 0; slot < kept.size(); ++slot) {
        json &line = series.emplace_back(json{{"balance", balances[slot]}, {"t", json::array()}, {"v", json::array()}});
        for (const ChartPoint &point : kept[slot]) {
            line["t"].push_back(point.utcMs);
            line["v"].push_back(point.value);
        }
    }
    return {{"fromMs", fromMs},      {"toMs", toMs},
            {"bucketRows", bucketSize}, {"series", std::move(series)},
            {"gaps", std::move(gaps.list)}};
}

void CollectorReader::chartFromBuckets(const RunKey &key, const RunSpan &span, const BucketRange &range,
                                       const PointTaker &take, GapMarks &gaps)
{
    Statement buckets(db_.get(), "SELECT bucket, row_count, slots FROM collected_buckets "
                                 "WHERE pc = ?1 AND port = ?2 AND run = ?3 AND size = ?4 AND bucket BETWEEN ?5 AND ?6 "
                                 "ORDER BY bucket");
    const int64_t size = range.bucketSize;
    bindKey(buckets, key).bind(4, size).bind(5, (range.fromSeq - 1) / size).bind(6, (range.toSeq - 1) / size);
    // Seq stretches whose buckets miss rows: their gaps are found row by row.
    std::vector<std::pair<int64_t, int64_t>> incomplete;
    const auto missing = [&](int64_t from, int64_t to) {
        if (!incomplete.empty() && incomplete.back().second + 1 == from)
            incomplete.back().second = to;
        else
            incomplete.emplace_back(from, to);
    };
    int64_t accounted = range.fromSeq; // every seq before it is a row or in `incomplete`
    while (buckets.step() == SQLITE_ROW) {
        const int64_t bucket = buckets.integer(0);
        const int64_t first = std::max(bucket * size + 1, range.fromSeq);
        const int64_t last = std::min((bucket + 1) * size, span.lastSeq);
        if (first > accounted)
            missing(accounted, first - 1);
        if (buckets.integer(1) < last - bucket * size)
            missing(first, std::min(last, range.toSeq));
        accounted = std::min(last, range.toSeq) + 1;
        const auto slots = BucketSummary::slotsFrom(buckets.blob(2));
        for (size_t slot = 0; slots && slot < slots->size(); ++slot) {
            const SlotSummary &summary = (*slots)[slot];
            std::array<SummaryPoint, 4> points{summary.first, summary.low, summary.high, summary.last};
            if (points[2].utcMs < points[1].utcMs)
                std::swap(points[1], points[2]);
            for (const SummaryPoint &point : points)
                take(slot, int32_t(summary.balance), {point.utcMs, point.value});
        }
    }
    if (accounted <= range.toSeq)
        missing(accounted, range.toSeq);

    Statement before(db_.get(), "SELECT utc_ms FROM collected_rows WHERE pc = ?1 AND port = ?2 AND run = ?3 "
                                "AND seq BETWEEN ?4 AND ?5 ORDER BY seq DESC LIMIT 1");
    Statement rowsFrom(db_.get(), "SELECT seq, utc_ms FROM collected_rows WHERE pc = ?1 AND port = ?2 AND run = ?3 "
                                  "AND seq BETWEEN ?4 AND ?5 ORDER BY seq");
    for (const auto &[from, to] : incomplete) {
        if (gaps.list.size() >= maxGapsListed)
            break;
        // As if every row up to here had been read: the row before the
        // stretch, then the stretch's rows and the first row after it.
        bindKey(before, key).bind(4, range.fromSeq).bind(5, from - 1);
        gaps.expected = from;
        if (before.step() == SQLITE_ROW)
            gaps.previousMs = before.integer(0);
        before.reset();
        bindKey(rowsFrom, key).bind(4, from).bind(5, range.toSeq);
        while (rowsFrom.step() == SQLITE_ROW) {
            gaps.see(rowsFrom.integer(0), rowsFrom.integer(1));
            if (rowsFrom.integer(0) > to)
                break;
        }
        rowsFrom.reset();
    }
}
