// One recording run from its start to its stop, free of widgets, behind both
// the window and pondus-log: the run's settings taken at the start, the
// library the readings come from, the recorder's rules, the link watch, the
// replaced-balance rule and the reasons a port does not come on line. What
// happens is told to the attached observers; the journal keeps each row
// before any of them hears of it.
#pragma once

#include "ports/LinkDiagnosis.h"
#include "recording/MeasurementRecorder.h"
#include "recording/ReadingSource.h"
#include "recording/SampleWatch.h"
#include "recording/SessionObserver.h"

#include <TrutinaClient.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// What one poll of the session found, for what the front door shows itself.
struct SessionPoll {
    // The recorder's decision; a poll before the run starts decides nothing.
    PollDecision decision;
    // The poll that found the line on line and started the run.
    bool started = false;
    // A balance of the run is another one now and the run has stopped.
    std::optional<CaptionChange> replaced;
};

class RecordingSession {
public:
    enum class State {
        Idle,    // no run
        Waiting, // the port was handed over; the line is not on line yet
        Running,
    };

    explicit RecordingSession(ReadingSource &source);
    RecordingSession(const RecordingSession &) = delete;
    RecordingSession &operator=(const RecordingSession &) = delete;

    // The keeper hears everything first and numbers the rows; at most one.
    void keepRunsIn(RunKeeper &keeper);
    // Observers are told in the order they were attached; each must outlive
    // the session or be removed first.
    void addObserver(SessionObserver &observer);
    void removeObserver(SessionObserver &observer);
    // The last recorded value of a column as the front door keeps it (the
    // window's grid, which the operator may edit); the recorder's own copy
    // when not set.
    void setPreviousValue(MeasurementRecorder::PreviousValue previousValue);

    // What differs between the front doors, fixed at the start.
    struct Rules {
        // No balances in the settings: record every balance on the line (at
        // most ten), taken once the line has counted them; else nothing.
        bool everyBalanceWhenNone = false;
        // A replaced balance stops the run (the window: one block of captions
        // over its rows); else the rows go on under the new captions.
        bool stopWhenReplaced = true;
    };
    // Hands the port (1..4, 0 for the search) to the library and waits for
    // the line: the run starts at the first poll that finds it on line, and
    // records from the next poll on. Meanwhile the diagnosis looks for why
    // the line does not come up.
    void start(RunSettings settings, int32_t port, pondus::ports::LinkDiagnosis diagnosis, Rules rules);
    // One poll at `stamp`: fetches the readings, and in a run lets the
    // recorder decide; a recorded row is kept and told before this returns.
    // A balance beyond the line's end stops the run; a failed scan keeps the
    // captions over the rows, in the decision and in the row.
    SessionPoll poll(PollStamp stamp);
    // Ends the run (observers hear it when it had started) or the wait.
    void stop();

    bool running() const { return state_ == State::Running; }
    // The current run, or the last one.
    const RunInfo &run() const { return run_; }
    // The block the last poll fetched.
    const trutina::Block &block() const { return block_; }
    // Numbering and reading counts, kept across runs; the window empties the
    // numbering with its table.
    RecordingHistory &history() { return history_; }
    const RecordingHistory &history() const { return history_; }
    // When the line was lost during the run; nothing while it is on line.
    std::optional<int64_t> linkLostSinceUtcMs() const { return lostSinceUtcMs_; }
    // Why the port does not come on line; empty when there is no reason.
    const std::string &portReason() const { return portReason_; }
    // The captions over the rows recorded so far, which a replaced balance
    // is told by; the window sets them when it restores or empties a table.
    void setCaptionsShown(std::vector<BalanceCaption> captions) { captionsShown_ = std::move(captions); }

    // The samples of the run: their criterion for the runs to come, their
    // trends, the operator's reference row.
    SampleWatch &samples() { return samples_; }
    const SampleWatch &samples() const { return samples_; }

    // The wall clock now, with the local offset.
    static PollStamp wallClock();

private:
    bool startWhenOnLine(PollStamp stamp);
    void lookForReason();
    void watchLink(PollStamp stamp);
    void commit(const RecordedRow &row);
    // Holds what the poll read against the captions over the rows; false
    // when a replacement stopped the run.
    bool reviewCaptions(SessionPoll &result, bool rowsUnderCaptions);
    // Tells every observer, the keeper too unless it heard the event as it kept it.
    template <class Event>
    void tell(void (SessionObserver::*hook)(const Event &), const Event &event, bool keeperToo = true)
    {
        for (SessionObserver *observer : observers_)
            if (keeperToo || observer != keeper_)
                (observer->*hook)(event);
    }

    ReadingSource &source_;
    RunKeeper *keeper_ = nullptr;
    std::vector<SessionObserver *> observers_;
    MeasurementRecorder::PreviousValue previousValue_;
    State state_ = State::Idle;
    Rules rules_;
    // The settings of the run waiting for the line.
    RunSettings awaited_;
    RunInfo run_;
    trutina::Block block_;
    RecordingHistory history_;
    int64_t rowsInRun_ = 0;
    std::optional<int64_t> lostSinceUtcMs_;
    std::optional<pondus::ports::LinkDiagnosis> diagnosis_;
    std::chrono::steady_clock::time_point waitStarted_;
    std::string portReason_;
    std::vector<BalanceCaption> captionsShown_;
    // The captions read at the run's last poll.
    std::vector<BalanceCaption> captionsRead_;
    SampleWatch samples_;
};
