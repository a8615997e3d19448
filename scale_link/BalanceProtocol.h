// The protocol spoken with the balances on the line: counting them,
// the two-pass scan of kind, model and identification number, and the
// weight poll. Every reply comes back during the frame after its request,
// so each procedure decodes one frame behind what it sends.
//
// A reply that fails its checks may mean that a byte of noise has put the
// line one byte out of step, with the frame's last reply byte still on its
// way: the line is then left to fall quiet before the next frame. A whole
// round of failed replies sends the line back to counting.
//
// A scan pass without one valid reply may mean the same, or balances that
// answer their scans badly (old firmware, a marginal cable) though their
// weights would answer. Only a count made again and again is trusted then:
// after a few such scans of the same number of balances, the line is polled
// with what was identified (model code 100, or the kind).
#pragma once

#include "ByteExchanger.h"
#include "Frames.h"
#include "ReadingTables.h"

#include <chrono>
#include <functional>

namespace trutina {

class BalanceProtocol {
public:
    using TimeOfDaySource = std::function<int32_t()>;
    enum class PollResult { Polled, LineFailed, OutOfStep };

    BalanceProtocol(ByteExchanger &line, LineReadings &readings, TimeOfDaySource timeOfDay);

    // True when 1..15 balances answer; stores the count in any case.
    bool countBalances();
    // True when every frame of both passes was exchanged and each pass
    // brought at least one valid reply, or when this is the
    // scansBeforePolling-th scan in a row without, of lines counted alike.
    bool scanBalances();
    // Forgets the scans without a valid reply: another line is set up.
    void forgetUnansweredScans() { unansweredScans_ = 0; }
    // Points the poll cursor at the last balance, ready for pollStep.
    void startPolling();
    // Sends one weight frame and decodes the reply to the previous one.
    // OutOfStep after as many failed replies in a row as there are balances.
    PollResult pollStep();

    // How long the line must stay silent to count as quiet: a byte's way
    // through every balance at 19200 baud, and a USB adapter's latency timer.
    static std::chrono::microseconds quietTime(int balances);

    static constexpr int scansBeforePolling = 3;

private:
    bool exchange(Frame &frame) { return line_.exchange(frame.data(), static_cast<int>(frame.size())); }
    enum class PassResult { FrameFailed, NoValidReply, Answered };
    PassResult scanPass(Command command);
    // Each store is false when the reply failed its checks.
    bool storeKind(int position, const Frame &reply);
    bool storeModel(int position, const Frame &reply);
    bool storeWeight(int position, const Frame &reply);
    bool settle() { return line_.settle(quietTime(readings_.balanceCount.load())); }

    ByteExchanger &line_;
    LineReadings &readings_;
    TimeOfDaySource timeOfDay_;
    int8_t last_ = 0;   // position asked by the latest weight frame
    int8_t before_ = 0; // position asked by the frame before it
    int32_t latestTime_ = 0;
    int32_t earlierTime_ = 0;
    int failedInARow_ = 0; // weight replies since the last valid one
    int unansweredScans_ = 0; // scans in a row with a pass without a valid reply
    int32_t unansweredCount_ = 0; // the count they were made on
};

// UTC milliseconds since midnight.
int32_t utcTimeOfDayMs();

} // namespace trutina
