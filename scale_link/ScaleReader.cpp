#include "ScaleReader.h"
#include "ProcessId.h"

#include <memory>
#include <string>

namespace trutina {
namespace {

std::string portName(int port) { return "COM" + std::to_string(port); }

int32_t blockLinkState(LinkPhase phase)
{
    switch (phase) {
    case LinkPhase::PortSearch: return TRUTINA_LINK_SETTING_UP;
    case LinkPhase::LineSetup: return TRUTINA_LINK_INITIALISING;
    case LinkPhase::Polling: return TRUTINA_LINK_ONLINE;
    }
    return TRUTINA_LINK_SETTING_UP;
}

} // namespace

ScaleReader::ScaleReader(std::unique_ptr<SerialDevice> device, BalanceProtocol::TimeOfDaySource timeOfDay)
    : link_(std::move(device)), protocol_(link_, readings_, std::move(timeOfDay)), owner_(currentProcessId())
{
}

ScaleReader::~ScaleReader()
{
    if (currentProcessId() != owner_) {
        // A child forked from the host ends: the worker runs in the parent
        // only, so its handle here is forgotten, neither woken nor joined,
        // and the port is left to the parent.
        std::construct_at(&worker_);
        return;
    }
    // No lock is taken here: at process exit on Windows the worker thread
    // has already been ended, possibly while holding wakeMutex_. A wake-up
    // that slips between the worker's check and its wait costs at most one
    // retry pause.
    stopping_.store(true);
    wake_.notify_all();
    link_.interrupt();
    if (worker_.joinable())
        worker_.join();
    link_.close();
}

bool ScaleReader::setComPort(int32_t port)
{
    {
        std::lock_guard lock(wakeMutex_);
        control_.request(port);
    }
    wake_.notify_all();
    link_.cancelExchange(); // the step in progress ends now, not when its waits run out

    std::lock_guard lock(startMutex_);
    if (started_ || stopping_.load())
        return false;
    try {
        worker_ = std::thread(&ScaleReader::run, this);
    } catch (const std::system_error &) {
        return false; // a later call may try again
    }
    started_ = true;
    return true;
}

void ScaleReader::freshData(int32_t *block)
{
    const LinkStatus status = control_.load();
    std::lock_guard lock(readings_.mutex);
    block[TRUTINA_WORD_VERSION] = TRUTINA_VERSION;
    block[TRUTINA_WORD_LINK_STATE] = blockLinkState(status.phase);
    block[TRUTINA_WORD_CURRENT_PORT] = status.currentPort;
    block[TRUTINA_WORD_BALANCE_COUNT] = readings_.balanceCount.load();
    readings_.tables.copyTo(block);
}

void ScaleReader::run()
{
    while (!stopping_.load()) {
        const LinkStatus seen = control_.load();
        switch (seen.phase) {
        case LinkPhase::PortSearch: searchPort(seen); break;
        case LinkPhase::LineSetup: setUpLine(seen); break;
        case LinkPhase::Polling: poll(seen); break;
        }
    }
}

void ScaleReader::searchPort(const LinkStatus &seen)
{
    LinkStatus trying = seen;
    trying.currentPort = seen.nextPortToTry();
    if (!control_.advance(seen, trying))
        return; // a new request came in; start from it
    if (!link_.openPort(portName(trying.currentPort))) {
        pauseBeforeRetry(trying);
        return;
    }
    // Scans without a valid reply count towards polling anyway only on the
    // line they were made on.
    if (trying.currentPort != portOpenedLast_)
        protocol_.forgetUnansweredScans();
    portOpenedLast_ = trying.currentPort;
    LinkStatus opened = trying;
    opened.phase = LinkPhase::LineSetup;
    control_.advance(trying, opened);
}

void ScaleReader::setUpLine(const LinkStatus &seen)
{
    const bool ready = protocol_.countBalances() && protocol_.scanBalances();
    if (ready)
        protocol_.startPolling();
    LinkStatus next = seen;
    next.phase = ready ? LinkPhase::Polling : LinkPhase::PortSearch;
    if (control_.advance(seen, next) && !ready)
        pauseBeforeRetry(next);
}

void ScaleReader::poll(const LinkStatus &seen)
{
    LinkStatus next = seen;
    switch (protocol_.pollStep()) {
    case BalanceProtocol::PollResult::Polled: return;
    case BalanceProtocol::PollResult::LineFailed: next.phase = LinkPhase::PortSearch; break;
    case BalanceProtocol::PollResult::OutOfStep: next.phase = LinkPhase::LineSetup; break; // counting resynchronises
    }
    control_.advance(seen, next);
}

void ScaleReader::pauseBeforeRetry(const LinkStatus &seen)
{
    std::unique_lock lock(wakeMutex_);
    wake_.wait_for(lock, retryPause, [&] {
        return stopping_.load() || control_.load().generation != seen.generation;
    });
}

} // namespace trutina
