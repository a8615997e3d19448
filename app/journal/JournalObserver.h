// The measurement journal attached to a recording session, the same in the
// window and in pondus-log: it keeps every row before anyone else hears of
// it and journals the run's start and stop, the line's losses and returns,
// a replaced balance, a failed scan, the samples' names and their constant
// mass.
#pragma once

#include "journal/Journal.h"
#include "recording/SessionObserver.h"

#include <string>

namespace pondus::journal {

class JournalObserver final : public RunKeeper {
public:
    // Opens the journal and journals the program's start; a failure goes to
    // onFailure, and the journal is opened again at the next run. The
    // operator's display name goes beside the system account.
    JournalObserver(std::string path, Journal::FailureSink onFailure, std::string operatorName = {});
    // Journals the stop of a run still going and the program's exit.
    ~JournalObserver() override;
    JournalObserver(const JournalObserver &) = delete;
    JournalObserver &operator=(const JournalObserver &) = delete;

    Journal &journal() { return journal_; }

    int64_t keepRun(const RunInfo &run) override;
    std::optional<RowKey> keepRow(const RecordedRow &row) override;
    void linkChanged(const LinkEvent &event) override;
    void balanceReplaced(const CaptionChange &replacement) override;
    void scanFailed(const CaptionChange &failure) override;
    void constantReached(const ConstantMassEvent &event) override;
    void runStopped(const RunInfo &run) override;

private:
    Journal journal_;
    bool running_ = false;
};

} // namespace pondus::journal
