// A backlog in memory for a program that keeps no journal: rows wait here
// until the broker has them, at most `capacity` of them; beyond that the
// oldest unsent rows are given up and the collector sees the gap.
#pragma once

#include "publish/RowBacklog.h"

#include <deque>
#include <mutex>

class MemoryBacklog : public RowBacklog {
public:
    explicit MemoryBacklog(size_t capacity);

    // Numbers the row after the run's previous one (1 for a new run) and
    // keeps it; returns its sequence number.
    int64_t append(const std::string &run, RecordedRow row);
    // Rows given up because the backlog was full.
    int64_t dropped() const;
    size_t size() const;

    std::vector<SequencedRow> rowsAfter(const std::string &run, int64_t after, size_t limit) override;
    void markPublished(const std::string &run, int64_t seq) override;

private:
    struct Entry {
        std::string run;
        SequencedRow row;
    };
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<Entry> entries_;
    std::string lastRun_;
    int64_t lastSeq_ = 0;
    int64_t dropped_ = 0;
};
