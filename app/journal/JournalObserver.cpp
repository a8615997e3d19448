// The journal's side of a recording session.
#include "journal/JournalObserver.h"

namespace pondus::journal {

JournalObserver::JournalObserver(std::string path, Journal::FailureSink onFailure, std::string operatorName)
    : journal_(std::move(path), std::move(onFailure))
{
    journal_.setOperatorName(std::move(operatorName));
    journal_.programStarted();
}

JournalObserver::~JournalObserver()
{
    if (running_)
        journal_.runStopped();
    journal_.programExited();
}

int64_t JournalObserver::keepRun(const RunInfo &run)
{
    running_ = true;
    return journal_.runStarted(run.settings, {run.startedUtcMs, run.startedUtcOffsetSeconds}, run.libraryVersion);
}

std::optional<RowKey> JournalObserver::keepRow(const RecordedRow &row)
{
    return journal_.recordRow(row);
}

void JournalObserver::linkChanged(const LinkEvent &event)
{
    if (event.online)
        journal_.linkRegained();
    else
        journal_.linkLost(event.linkState);
}

namespace {

BalanceChange changeOf(const CaptionChange &change)
{
    const BalanceCaption &before = change.before;
    const BalanceCaption &after = change.after;
    return {change.slot, after.balance, before.modelCode, before.ident, after.modelCode, after.ident};
}

} // namespace

void JournalObserver::balanceReplaced(const CaptionChange &replacement)
{
    // A run that goes on records the new balance's rows, which journal the
    // replacement themselves.
    if (replacement.stoppedRun)
        journal_.balanceReplaced(changeOf(replacement));
}

void JournalObserver::scanFailed(const CaptionChange &failure)
{
    journal_.scanFailed(changeOf(failure));
}

void JournalObserver::constantReached(const ConstantMassEvent &event)
{
    journal_.constantMassReached(event);
}

void JournalObserver::runStopped(const RunInfo &)
{
    running_ = false;
    journal_.runStopped();
}

} // namespace pondus::journal
