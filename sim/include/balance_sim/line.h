// The simulated serial line: balances chained one after another. Every byte
// the computer sends passes through them in order and comes back, possibly
// changed; that returning byte is the answer to the byte sent.
//
// Thread-safe: a transport thread may exchange bytes while another thread
// changes weights, faults or the chain itself.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "balance_sim/balance.h"
#include "balance_sim/protocol.h"
#include "balance_sim/random.h"

namespace pondus::sim {

// Ways in which the line as a whole misbehaves.
// The rates are probabilities from 0 to 1, drawn from the line's seed.
struct LineFaults {
    // Bytes vanish: nothing comes back, so the computer's wait runs out.
    // (The cable to the balances is cut; the port itself stays.)
    bool unplugged = false;
    // Added before each answer by the transport (PtyLine).
    std::chrono::milliseconds replyDelay{0};
    // The count byte comes back as this value, whatever the balances made of it.
    std::optional<std::uint8_t> countReply;
    // No more than kSyncZeros - 1 zero bytes come back in a row: the one that
    // would complete the run comes back as 0x80.
    bool neverSync = false;
    // A byte passes the balances but its answer is lost.
    double dropRate = 0;
    // An answer frame fails the sum check.
    double corruptRate = 0;
    // An answer frame names the next position instead of the one asked.
    double wrongPositionRate = 0;
};

struct LineStats {
    std::uint64_t bytes = 0;       // bytes received from the computer
    std::uint64_t answered = 0;    // bytes that came back
    std::uint64_t dropped = 0;     // answers lost to the drop rate
    std::uint64_t countBytes = 0;  // counting handshakes completed
    std::uint64_t identifyFrames = 0;
    std::uint64_t modelFrames = 0;
    std::uint64_t weightFrames = 0;
    std::uint64_t closingFrames = 0;
    std::uint64_t otherFrames = 0;
    // Weight frames per addressed position (index 0 unused).
    std::array<std::uint64_t, kMaxPosition + 1> weightFramesTo{};
};

class Line {
public:
    using Clock = std::chrono::steady_clock;
    using ClockFn = std::function<Clock::time_point()>;

    // The clock drives the weight profiles; tests pass one they control.
    // The seed drives the fault rates.
    explicit Line(std::vector<BalanceConfig> balances = {}, ClockFn clock = &Clock::now,
                  std::uint64_t seed = 1);

    // One byte from the computer; the byte that comes back, or nothing when
    // the line is unplugged or the answer was dropped.
    std::optional<std::uint8_t> exchange(std::uint8_t byte);

    // A whole frame, byte by byte; nothing when any byte went unanswered.
    std::optional<Frame> exchangeFrame(const Frame& frame);

    // Cables the line anew: the balances are unknown to each other until the
    // next count. Chain indices are 1-based, in the order along the line;
    // after a count, index i is position i.
    void setBalances(std::vector<BalanceConfig> balances);
    std::size_t balanceCount() const;
    // Position the balance at the index took from the last count (0: none).
    int positionOf(std::size_t index) const;

    // Throw std::out_of_range for an index outside 1..balanceCount().
    void setWeight(std::size_t index, WeightProfile weight);
    void setReading(std::size_t index, const Reading& reading);
    void setBalanceFaults(std::size_t index, const BalanceFaults& faults);

    void setFaults(const LineFaults& faults);
    LineFaults faults() const;
    void setUnplugged(bool unplugged);
    std::chrono::milliseconds replyDelay() const;

    LineStats stats() const;

private:
    std::optional<std::uint8_t> exchangeLocked(std::uint8_t byte);
    Balance& at(std::size_t index);
    const Balance& at(std::size_t index) const;
    void record(const LineEvent& event);

    mutable std::mutex mutex_;
    ClockFn clock_;
    Clock::time_point start_;
    std::vector<Balance> balances_;
    RequestParser parser_;
    Random random_;
    LineFaults faults_;
    LineStats stats_;
    int returnedZeroRun_ = 0;
};

}  // namespace pondus::sim
