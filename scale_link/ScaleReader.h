// The library's worker: finds and opens a port, counts and identifies the
// balances, then polls their weights one after another, for as long as the
// library is loaded. Callers only ever see it through setComPort and
// freshData.
#pragma once

#include "BalanceProtocol.h"
#include "LinkControl.h"
#include "ReadingTables.h"
#include "ScaleLink.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace trutina {

class ScaleReader {
public:
    explicit ScaleReader(std::unique_ptr<SerialDevice> device,
                         BalanceProtocol::TimeOfDaySource timeOfDay = utcTimeOfDayMs);
    // Stops the worker, also in the middle of an exchange, and closes the port.
    ~ScaleReader();

    ScaleReader(const ScaleReader &) = delete;
    ScaleReader &operator=(const ScaleReader &) = delete;

    // Chooses the port (1..4, anything else searches all four) and restarts
    // the search. True only for the call that started the worker.
    bool setComPort(int32_t port);
    // Fills a block of TRUTINA_BLOCK_WORDS words.
    void freshData(int32_t *block);

    // Pause after a port that would not open or a line that could not be
    // counted, so that an absent port or a wrong device does not keep a
    // core busy.
    static constexpr std::chrono::milliseconds retryPause{75};

private:
    void run();
    void searchPort(const LinkStatus &seen);
    void setUpLine(const LinkStatus &seen);
    void poll(const LinkStatus &seen);
    void pauseBeforeRetry(const LinkStatus &seen);

    LineReadings readings_;
    ScaleLink link_;
    BalanceProtocol protocol_;
    LinkControl control_;
    int32_t portOpenedLast_ = 0; // the worker's own

    std::mutex startMutex_;
    std::thread worker_;
    bool started_ = false; // guarded by startMutex_

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_{false};
    const long owner_; // the process whose worker this is
};

} // namespace trutina
