#include "balance_sim/balance.h"

#include <utility>

namespace pondus::sim {

Balance::Balance(BalanceConfig config) : config_(std::move(config)) {}

std::uint8_t Balance::onByte(std::uint8_t incoming, const LineEvent& event, std::chrono::nanoseconds sinceStart,
                             const BalanceFaults& extra)
{
    std::uint8_t out = incoming;
    if (pendingIndex_ < kFrameSize) {
        out = pending_[pendingIndex_++];
    }

    switch (event.type) {
    case LineEvent::Type::CountByte:
        position_ = incoming;
        pendingIndex_ = kFrameSize;
        out = static_cast<std::uint8_t>(incoming + 1);
        break;
    case LineEvent::Type::FrameEnd:
        if (position_ != 0 && event.position == position_) {
            prepareReply(event.command, sinceStart,
                         BalanceFaults{faults_.silent || extra.silent, faults_.corruptSum || extra.corruptSum,
                                       faults_.wrongPosition || extra.wrongPosition});
        }
        break;
    case LineEvent::Type::Plain:
        break;
    }
    return out;
}

void Balance::reset()
{
    position_ = 0;
    pendingIndex_ = kFrameSize;
}

bool Balance::badScan() const
{
    return config_.badScanFrom > 0 && scans_ >= config_.badScanFrom;
}

void Balance::prepareReply(std::uint8_t command, std::chrono::nanoseconds sinceStart, const BalanceFaults& faults)
{
    if (faults.silent) {
        return;
    }
    const auto answering = static_cast<std::uint8_t>(faults.wrongPosition ? position_ + 1 : position_);
    bool corrupt = faults.corruptSum;
    switch (static_cast<Command>(command)) {
    case Command::Identify:
        ++scans_;
        pending_ = identifyReply(config_.kind, answering);
        corrupt = corrupt || badScan();
        break;
    case Command::Model:
        pending_ = modelReply(config_.modelStatus, config_.ident, answering);
        corrupt = corrupt || badScan();
        break;
    case Command::Weight:
        pending_ = weightReply(config_.weight.at(sinceStart), answering);
        break;
    default:
        return;  // the closing frame and unknown commands go unanswered
    }
    if (corrupt) {
        pending_[2] = static_cast<std::uint8_t>(pending_[2] + 1);
    }
    pendingIndex_ = 0;
}

}  // namespace pondus::sim
