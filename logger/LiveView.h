// What pondus-log shows while it records: on a terminal a compact view,
// redrawn in place (link state, balances, latest values, rows recorded,
// elapsed time); elsewhere each recorded row as a line, for scripts.
#pragma once

#include "RowText.h"

#include <TrutinaClient.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace pondus::logger {

class LiveView {
public:
    LiveView(std::FILE *out, bool terminal, RowText text, std::vector<int32_t> balances);

    // After every poll: the latest block, rows so far and the time since the start.
    void showPoll(const trutina::Block &block, int64_t rows, std::chrono::milliseconds elapsed);
    // Every recorded row.
    void showRow(const RecordedRow &row);
    void setBalances(std::vector<int32_t> balances) { balances_ = std::move(balances); }

private:
    std::FILE *out_;
    bool terminal_;
    RowText text_;
    std::vector<int32_t> balances_;
};

} // namespace pondus::logger
