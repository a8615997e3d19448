// The dashboard's view of the collector's SQLite file: opened read-only, so
// that nothing a browser asks can change the records, and asked only what
// the indexes answer directly, so that a month of a whole lab stays quick.
#pragma once

#include "dashboard/ChartDecimation.h"
#include "journal/SqliteHandles.h"
#include "recording/RecordedRow.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// A run as the collector keys it.
struct RunKey {
    std::string pc;
    std::string port;
    std::string run;
};

// What the run page needs before it asks for points or rows.
struct RunSpan {
    int64_t lastSeq = 0;
    int64_t firstMs = 0;
    int64_t lastMs = 0;
    int32_t offsetS = 0; // the local offset of its first row
    int64_t firstSeq = 0;
};

class CollectorReader {
public:
    static constexpr int64_t pageRows = 500;
    static constexpr int maxRunsListed = 200;
    static constexpr size_t maxGapsListed = 1000;

    // Nothing, with the path and reason in `error`, when the file cannot be
    // opened for reading.
    static std::unique_ptr<CollectorReader> open(const std::string &path, std::string &error);

    // Every port that ever sent a status: its status and its latest row.
    nlohmann::json lab(int64_t nowUtcMs);
    // The newest runs of a port, newest first, at most maxRunsListed.
    nlohmann::json runs(const std::string &pc, const std::string &port);
    // Nothing when the collector holds no row of that run.
    std::optional<RunSpan> span(const RunKey &key);
    // The run's span, its balances (from its first row) and the size of a page.
    nlohmann::json runInfo(const RunKey &key, const RunSpan &span);
    // Rows of page 1, 2, ... (pageRows sequence numbers each), with a mark
    // for each stretch of missing rows (its beforeMs 0 when the row after
    // it is on a later page).
    nlohmann::json rowsPage(const RunKey &key, const RunSpan &span, int64_t page);
    // The run's weights between two moments, thinned to `columns` pixels,
    // and the gaps among them. A view of many rows a pixel is drawn from the
    // collector's summary of the run (its bucket size in "bucketRows"), a
    // closer one from the rows themselves (0).
    nlohmann::json chart(const RunKey &key, const RunSpan &span, int64_t fromMs, int64_t toMs, int columns);

    // Every stored row of the run in order, for the downloads. Returns false
    // when a read failed.
    bool forEachRow(const RunKey &key, int64_t fromSeq, int64_t toSeq,
                    const std::function<void(const SequencedRow &)> &take);

    const std::string &path() const { return path_; }

private:
    CollectorReader(pondus::journal::Connection db, std::string path);
    struct GapMarks;
    struct BucketRange {
        int64_t fromSeq, toSeq, bucketSize;
    };
    using PointTaker = std::function<void(size_t slot, int32_t balance, ChartPoint point)>;
    // Hands over the first, lowest, highest and last point of each bucket
    // over the range, in order, and marks the rows missing among them.
    void chartFromBuckets(const RunKey &key, const RunSpan &span, const BucketRange &range, const PointTaker &take,
                          GapMarks &gaps);
    // The first seq at or after `utcMs`, found by halving (rows of a run are
    // in time order).
    int64_t seqAt(const RunKey &key, const RunSpan &span, int64_t utcMs);

    pondus::journal::Connection db_;
    const std::string path_;
};
