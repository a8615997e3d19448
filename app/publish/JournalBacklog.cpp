#include "publish/JournalBacklog.h"

#include "publish/ReadingMessage.h"

JournalBacklog::JournalBacklog(std::string journalPath, size_t memoryRows)
    : path_(std::move(journalPath)), memory_(memoryRows)
{
}

std::string JournalBacklog::startRun(int64_t runStartedUtcMs)
{
    std::optional<pondus::journal::JournalReader::RunStart> newest;
    {
        std::lock_guard lock(readerMutex_);
        if (!reader_ || reader_->failure())
            reader_ = std::make_unique<pondus::journal::JournalReader>(path_);
        newest = reader_->newestRun();
    }
    std::lock_guard lock(runsMutex_);
    currentRows_ = 0;
    currentInJournal_ = newest && newest->run > lastJournalRun_ && newest->startedUtcMs >= runStartedUtcMs;
    current_ = runIdAt(runStartedUtcMs);
    if (currentInJournal_) {
        lastJournalRun_ = newest->run;
        journalRuns_[current_] = newest->run;
    }
    return current_;
}

int64_t JournalBacklog::append(const RecordedRow &row)
{
    std::lock_guard lock(runsMutex_);
    if (currentInJournal_)
        return ++currentRows_; // the journal numbers a run's rows the same way
    return memory_.append(current_, row);
}

bool JournalBacklog::fromJournal() const
{
    std::lock_guard lock(runsMutex_);
    return currentInJournal_;
}

int64_t JournalBacklog::journalRunOf(const std::string &run) const
{
    std::lock_guard lock(runsMutex_);
    const auto found = journalRuns_.find(run);
    return found == journalRuns_.end() ? 0 : found->second;
}

std::vector<SequencedRow> JournalBacklog::rowsAfter(const std::string &run, int64_t after, size_t limit)
{
    const int64_t journalRun = journalRunOf(run);
    if (journalRun == 0)
        return memory_.rowsAfter(run, after, limit);
    std::lock_guard lock(readerMutex_);
    return reader_->rowsAfter(journalRun, after, limit);
}

void JournalBacklog::markPublished(const std::string &run, int64_t seq)
{
    const int64_t journalRun = journalRunOf(run);
    if (journalRun == 0)
        return memory_.markPublished(run, seq);
    std::lock_guard lock(readerMutex_);
    reader_->markPublished(journalRun, seq);
}
