#include "publish/MemoryBacklog.h"

MemoryBacklog::MemoryBacklog(size_t capacity) : capacity_(capacity) {}

int64_t MemoryBacklog::append(const std::string &run, RecordedRow row)
{
    std::lock_guard lock(mutex_);
    if (run != lastRun_) {
        lastRun_ = run;
        lastSeq_ = 0;
    }
    if (entries_.size() >= capacity_) {
        entries_.pop_front();
        ++dropped_;
    }
    entries_.push_back({run, {++lastSeq_, std::move(row)}});
    return lastSeq_;
}

int64_t MemoryBacklog::dropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

size_t MemoryBacklog::size() const
{
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::vector<SequencedRow> MemoryBacklog::rowsAfter(const std::string &run, int64_t after, size_t limit)
{
    std::lock_guard lock(mutex_);
    std::vector<SequencedRow> rows;
    for (const Entry &entry : entries_) {
        if (rows.size() >= limit)
            break;
        if (entry.run == run && entry.row.seq > after)
            rows.push_back(entry.row);
    }
    return rows;
}

void MemoryBacklog::markPublished(const std::string &run, int64_t seq)
{
    std::lock_guard lock(mutex_);
    // Runs are published one after another, oldest first: the published
    // rows are always at the front.
    while (!entries_.empty() && entries_.front().run == run && entries_.front().row.seq <= seq)
        entries_.pop_front();
}
