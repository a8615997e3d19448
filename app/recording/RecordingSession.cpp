// A run from start to stop: the wait for the line, the polls, the link watch
// and the replaced-balance rule, told to the observers.
#include "recording/RecordingSession.h"

#include <algorithm>
#include <ctime>

RecordingSession::RecordingSession(ReadingSource &source) : source_(source) {}

void RecordingSession::keepRunsIn(RunKeeper &keeper)
{
    keeper_ = &keeper;
    observers_.insert(observers_.begin(), &keeper);
}

void RecordingSession::addObserver(SessionObserver &observer)
{
    observers_.push_back(&observer);
}

void RecordingSession::removeObserver(SessionObserver &observer)
{
    std::erase(observers_, &observer);
    if (keeper_ == &observer)
        keeper_ = nullptr;
}

void RecordingSession::setPreviousValue(MeasurementRecorder::PreviousValue previousValue)
{
    previousValue_ = std::move(previousValue);
}

PollStamp RecordingSession::wallClock()
{
    const auto now = std::chrono::system_clock::now();
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return {ms, int32_t(local.tm_gmtoff)};
}

void RecordingSession::start(RunSettings settings, int32_t port, pondus::ports::LinkDiagnosis diagnosis, Rules rules)
{
    stop();
    awaited_ = std::move(settings);
    rules_ = rules;
    diagnosis_.emplace(std::move(diagnosis));
    waitStarted_ = std::chrono::steady_clock::now();
    state_ = State::Waiting;
    source_.setComPort(port);
}

SessionPoll RecordingSession::poll(PollStamp stamp)
{
    SessionPoll result;
    source_.freshData(block_);
    if (state_ == State::Waiting) {
        lookForReason();
        result.started = startWhenOnLine(stamp);
        return result;
    }
    if (state_ != State::Running)
        return result;
    watchLink(stamp);
    const bool rowsUnderCaptions = history_.measurementNo > 0;
    result.decision = MeasurementRecorder::poll(block_, run_.settings, history_, stamp, previousValue_);
    if (!result.decision.online)
        return result;
    if (result.decision.balanceCountNotice) {
        stop();
        return result;
    }
    if (!reviewCaptions(result, rowsUnderCaptions))
        return result;
    if (result.decision.row)
        commit(*result.decision.row);
    return result;
}

bool RecordingSession::reviewCaptions(SessionPoll &result, bool rowsUnderCaptions)
{
    std::vector<BalanceCaption> &read = result.decision.captions;
    const IdentityReview review = reviewIdentities(captionsShown_, captionsRead_, read);
    for (const size_t slot : review.newlyFailedSlots)
        tell(&SessionObserver::scanFailed, CaptionChange{slot, captionsShown_[slot], read[slot]});
    // Only a balance under recorded rows can have been replaced.
    if (review.replacedSlot && rowsUnderCaptions) {
        const size_t slot = *review.replacedSlot;
        CaptionChange change{slot, captionsShown_[slot], read[slot], rules_.stopWhenReplaced};
        if (change.stoppedRun) {
            stop();
            result.replaced = change;
        }
        tell(&SessionObserver::balanceReplaced, change);
        if (change.stoppedRun)
            return false;
    }
    captionsRead_ = read;
    captionsShown_ = review.captions;
    read = review.captions;
    if (result.decision.row)
        applyCaptions(*result.decision.row, captionsShown_);
    return true;
}

void RecordingSession::lookForReason()
{
    const auto waited = std::chrono::steady_clock::now() - waitStarted_;
    const QString reason = diagnosis_->look(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(),
                                            block_.linkState(), block_.currentPort());
    std::string text = reason.toStdString();
    if (text == portReason_)
        return;
    portReason_ = std::move(text);
    tell(&SessionObserver::portReasonChanged, portReason_);
}

bool RecordingSession::startWhenOnLine(PollStamp stamp)
{
    if (!block_.online())
        return false;
    if (awaited_.balances.empty() && rules_.everyBalanceWhenNone) {
        if (block_.balanceCount() <= 0)
            return false;
        for (int32_t j = 1; j <= std::min(block_.balanceCount(), RecordingHistory::balances); ++j)
            awaited_.balances.push_back(j);
    }
    state_ = State::Running;
    run_ = RunInfo{};
    run_.settings = std::move(awaited_);
    run_.startedUtcMs = stamp.utcMs;
    run_.startedUtcOffsetSeconds = stamp.utcOffsetSeconds;
    run_.linkPort = block_.currentPort();
    run_.libraryVersion = block_.version();
    rowsInRun_ = 0;
    lostSinceUtcMs_.reset();
    captionsRead_.clear();
    samples_.start(run_.settings);
    if (keeper_)
        run_.keptRun = keeper_->keepRun(run_);
    tell(&SessionObserver::runStarted, run_, false);
    return true;
}

void RecordingSession::watchLink(PollStamp stamp)
{
    const bool online = block_.online();
    if (online == !lostSinceUtcMs_)
        return;
    if (!online)
        lostSinceUtcMs_ = stamp.utcMs;
    const LinkEvent event{block_.linkState(), online, stamp.utcMs, *lostSinceUtcMs_};
    if (online)
        lostSinceUtcMs_.reset();
    tell(&SessionObserver::linkChanged, event);
}

void RecordingSession::commit(const RecordedRow &row)
{
    CommittedRow committed{row, 0, ++rowsInRun_};
    if (keeper_)
        if (const std::optional<RowKey> key = keeper_->keepRow(row)) {
            committed.run = key->run;
            committed.seq = key->seq;
        }
    // The samples take the row first, so that an observer charting it
    // finds its sample's reference already.
    std::vector<ConstantMassEvent> reached;
    const SampleValues values{committed, samples_.add(row, reached)};
    tell(&SessionObserver::rowCommitted, committed, false);
    tell(&SessionObserver::massChanged, values);
    for (const ConstantMassEvent &event : reached)
        tell(&SessionObserver::constantReached, event);
}

void RecordingSession::stop()
{
    const bool wasRunning = state_ == State::Running;
    state_ = State::Idle;
    diagnosis_.reset();
    portReason_.clear();
    if (!wasRunning)
        return;
    run_.stoppedUtcMs = wallClock().utcMs;
    tell(&SessionObserver::runStopped, run_);
}
