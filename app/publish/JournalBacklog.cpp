#include "publish/JournalBacklog.h"

#include "publish/ReadingMessage.h"

#include <algorithm>

JournalBacklog::JournalBacklog(std::string journalPath, size_t memoryRows)
    : path_(std::move(journalPath)), memory_(memoryRows)
{
}

void JournalBacklog::openReader()
{
    if (!reader_ || reader_->failure())
        reader_ = std::make_unique<pondus::journal::JournalReader>(path_);
}

void JournalBacklog::startRun(const std::string &name, int64_t journalRun)
{
    std::unique_lock reading(readerMutex_);
    if (journalRun != 0)
        openReader();
    std::lock_guard lock(runsMutex_);
    current_ = name;
    currentInJournal_ = journalRun != 0;
    if (!currentInJournal_)
        return;
    journalRuns_[name] = journalRun;
    // Marked as to be published, so that a later program finishes it.
    reader_->markPublished(journalRun, 0);
}

std::vector<JournalBacklog::UnsentRun> JournalBacklog::unsentRuns(const std::string &port)
{
    std::unique_lock reading(readerMutex_);
    openReader();
    std::vector<UnsentRun> unsent;
    std::lock_guard lock(runsMutex_);
    for (const auto &run : reader_->unsentRuns()) {
        // The journal does not keep the port a search found: such a run
        // goes with the first port that publishes again.
        const bool samePort = run.port == port || run.port == searchedPort;
        const bool published = std::any_of(journalRuns_.begin(), journalRuns_.end(),
                                           [&](const auto &known) { return known.second == run.run; });
        if (!samePort || published)
            continue;
        const std::string name = runIdAt(run.startedUtcMs);
        journalRuns_[name] = run.run;
        unsent.push_back({name, run.publishedThrough, run.recorded});
    }
    return unsent;
}

std::string JournalBacklog::portWithUnsentRows()
{
    std::lock_guard reading(readerMutex_);
    openReader();
    const auto unsent = reader_->unsentRuns();
    const auto known = std::find_if(unsent.rbegin(), unsent.rend(),
                                    [](const auto &run) { return run.port != searchedPort; });
    return known == unsent.rend() ? std::string() : known->port;
}

int64_t JournalBacklog::append(const CommittedRow &row)
{
    std::lock_guard reading(readerMutex_);
    std::lock_guard lock(runsMutex_);
    if (!currentInJournal_)
        return memory_.append(current_, row.row);
    if (row.kept() && (row.run != journalRuns_[current_] || !reader_ || reader_->fileMoved())) {
        // The journal carried the run on in a new file (the old one was
        // deleted): its rows are read from there, numbered on.
        journalRuns_[current_] = row.run;
        reader_.reset();
        openReader();
        reader_->markPublished(row.run, 0);
    }
    return row.seq;
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
