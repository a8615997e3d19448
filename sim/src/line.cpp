#include "balance_sim/line.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace pondus::sim {

Line::Line(std::vector<BalanceConfig> balances, ClockFn clock, std::uint64_t seed)
    : clock_(std::move(clock)), start_(clock_()), random_(seed)
{
    setBalances(std::move(balances));
}

std::optional<std::uint8_t> Line::exchange(std::uint8_t byte)
{
    std::lock_guard lock(mutex_);
    return exchangeLocked(byte);
}

std::optional<Frame> Line::exchangeFrame(const Frame& frame)
{
    std::lock_guard lock(mutex_);
    Frame back{};
    bool complete = true;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const auto answer = exchangeLocked(frame[i]);
        complete = complete && answer.has_value();
        back[i] = answer.value_or(0);
    }
    if (!complete) {
        return std::nullopt;
    }
    return back;
}

std::optional<std::uint8_t> Line::exchangeLocked(std::uint8_t byte)
{
    ++stats_.bytes;
    if (faults_.unplugged) {
        parser_.reset();
        return std::nullopt;
    }
    const LineEvent event = parser_.feed(byte);
    record(event);

    BalanceFaults extra;
    if (event.type == LineEvent::Type::FrameEnd) {
        extra.corruptSum = random_.chance(faults_.corruptRate);
        extra.wrongPosition = random_.chance(faults_.wrongPositionRate);
    }
    const auto sinceStart = clock_() - start_;
    std::uint8_t value = byte;
    for (auto& balance : balances_) {
        value = balance.onByte(value, event, sinceStart, extra);
    }

    if (event.type == LineEvent::Type::CountByte && faults_.countReply) {
        value = *faults_.countReply;
    }
    if (value == 0) {
        if (faults_.neverSync && returnedZeroRun_ == kSyncZeros - 1) {
            value = 0x80;
            returnedZeroRun_ = 0;
        } else {
            ++returnedZeroRun_;
        }
    } else {
        returnedZeroRun_ = 0;
    }
    if (random_.chance(faults_.dropRate)) {
        ++stats_.dropped;
        return std::nullopt;
    }
    ++stats_.answered;
    return value;
}

void Line::record(const LineEvent& event)
{
    if (event.type == LineEvent::Type::CountByte) {
        ++stats_.countBytes;
        return;
    }
    if (event.type != LineEvent::Type::FrameEnd) {
        return;
    }
    switch (static_cast<Command>(event.command)) {
    case Command::Identify:
        ++stats_.identifyFrames;
        break;
    case Command::Model:
        ++stats_.modelFrames;
        break;
    case Command::Weight:
        ++stats_.weightFrames;
        if (event.position <= kMaxPosition) {
            ++stats_.weightFramesTo[event.position];
        }
        break;
    case Command::None:
        ++stats_.closingFrames;
        break;
    default:
        ++stats_.otherFrames;
        break;
    }
}

void Line::setBalances(std::vector<BalanceConfig> balances)
{
    std::vector<Balance> chain;
    chain.reserve(balances.size());
    for (auto& config : balances) {
        chain.emplace_back(std::move(config));
    }
    std::lock_guard lock(mutex_);
    balances_ = std::move(chain);
}

std::size_t Line::balanceCount() const
{
    std::lock_guard lock(mutex_);
    return balances_.size();
}

int Line::positionOf(std::size_t index) const
{
    std::lock_guard lock(mutex_);
    return at(index).position();
}

void Line::setWeight(std::size_t index, WeightProfile weight)
{
    std::lock_guard lock(mutex_);
    at(index).setWeight(std::move(weight));
}

void Line::setReading(std::size_t index, const Reading& reading)
{
    setWeight(index, WeightProfile::constant(reading));
}

void Line::setBalanceFaults(std::size_t index, const BalanceFaults& faults)
{
    std::lock_guard lock(mutex_);
    at(index).setFaults(faults);
}

void Line::setFaults(const LineFaults& faults)
{
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

LineFaults Line::faults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

void Line::setUnplugged(bool unplugged)
{
    std::lock_guard lock(mutex_);
    faults_.unplugged = unplugged;
}

std::chrono::milliseconds Line::replyDelay() const
{
    std::lock_guard lock(mutex_);
    return faults_.replyDelay;
}

LineStats Line::stats() const
{
    std::lock_guard lock(mutex_);
    return stats_;
}

Balance& Line::at(std::size_t index)
{
    if (index < 1 || index > balances_.size()) {
        throw std::out_of_range("no balance at index " + std::to_string(index));
    }
    return balances_[index - 1];
}

const Balance& Line::at(std::size_t index) const
{
    if (index < 1 || index > balances_.size()) {
        throw std::out_of_range("no balance at index " + std::to_string(index));
    }
    return balances_[index - 1];
}

}  // namespace pondus::sim
