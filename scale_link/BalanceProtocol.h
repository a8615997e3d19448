// The protocol spoken with the balances on the line: counting them,
// the two-pass scan of kind, model and identification number, and the
// weight poll. Every reply comes back during the frame after its request,
// so each procedure decodes one frame behind what it sends.
#pragma once

#include "ByteExchanger.h"
#include "Frames.h"
#include "ReadingTables.h"

#include <functional>

namespace trutina {

class BalanceProtocol {
public:
    using TimeOfDaySource = std::function<int32_t()>;

    BalanceProtocol(ByteExchanger &line, LineReadings &readings, TimeOfDaySource timeOfDay);

    // True when 1..15 balances answer; stores the count in any case.
    bool countBalances();
    // True when every frame of both passes was exchanged.
    bool scanBalances();
    // Points the poll cursor at the last balance, ready for pollStep.
    void startPolling();
    // Sends one weight frame and decodes the reply to the previous one.
    // False when the exchange failed.
    bool pollStep();

private:
    bool exchange(Frame &frame) { return line_.exchange(frame.data(), static_cast<int>(frame.size())); }
    bool scanPass(Command command);
    void storeKind(int position, const Frame &reply);
    void storeModel(int position, const Frame &reply);
    void storeWeight(int position, const Frame &reply);

    ByteExchanger &line_;
    LineReadings &readings_;
    TimeOfDaySource timeOfDay_;
    int8_t last_ = 0;   // position asked by the latest weight frame
    int8_t before_ = 0; // position asked by the frame before it
    int32_t latestTime_ = 0;
    int32_t earlierTime_ = 0;
};

// UTC milliseconds since midnight.
int32_t utcTimeOfDayMs();

} // namespace trutina
