// One simulated balance: a link in the chain of the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <utility>

#include "balance_sim/protocol.h"
#include "balance_sim/weight_profile.h"

namespace pondus::sim {

struct BalanceConfig {
    Kind kind = Kind::One;
    // b3 of the model reply. Kind 1 models are read from its low nibble
    // (0..5 and 8..13 are known models), kind 2 models from its low three
    // bits (0..4 are known models).
    std::uint8_t modelStatus = 0;
    std::uint32_t ident = 0;  // 24-bit identification number
    WeightProfile weight;
    // From its N-th scan on (1: every scan) the balance's identify and model
    // replies fail their sum check, as with old firmware or a marginal
    // cable; its weight replies stay sound. 0: never.
    int badScanFrom = 0;
};

// Ways in which one balance misbehaves.
struct BalanceFaults {
    bool silent = false;         // answers nothing (still counts itself in)
    bool corruptSum = false;     // replies fail the sum check
    bool wrongPosition = false;  // replies name the next position instead of its own
};

class Balance {
public:
    explicit Balance(BalanceConfig config = {});

    // One byte passes: `incoming` arrives from the part of the line before
    // this balance, `event` says what the computer's byte meant, and the
    // result travels on. A balance takes its position from the count byte as
    // it arrives and passes it on one higher; a frame addressed to its
    // position is answered by the eight bytes that pass during the next frame.
    // `extra` adds faults to an answer prepared at this byte.
    std::uint8_t onByte(std::uint8_t incoming, const LineEvent& event, std::chrono::nanoseconds sinceStart,
                        const BalanceFaults& extra = {});

    // Forgets its position and any answer under way, as after being cabled anew.
    void reset();

    // 0 until counted in.
    int position() const { return position_; }

    void setWeight(WeightProfile weight) { config_.weight = std::move(weight); }
    void setFaults(const BalanceFaults& faults) { faults_ = faults; }

private:
    void prepareReply(std::uint8_t command, std::chrono::nanoseconds sinceStart, const BalanceFaults& faults);
    bool badScan() const;

    BalanceConfig config_;
    BalanceFaults faults_;
    int position_ = 0;
    int scans_ = 0;  // identify frames addressed to it
    Frame pending_{};
    std::size_t pendingIndex_ = kFrameSize;
};

}  // namespace pondus::sim
