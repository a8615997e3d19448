// What pondus-log shows while it records: on a terminal a compact view,
// redrawn in place (link state, balances, latest values, rows recorded,
// elapsed time, each sample's change, drift and constant mass); elsewhere
// each recorded row as a line, for scripts.
#pragma once

#include "RowText.h"

#include "recording/SessionObserver.h"

#include <TrutinaClient.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace pondus::logger {

class LiveView {
public:
    LiveView(std::FILE *out, bool terminal, RowText text, std::vector<int32_t> balances);

    // After every poll: the latest block, rows so far and the time since the start.
    void showPoll(const trutina::Block &block, int64_t rows, std::chrono::milliseconds elapsed);
    // Every recorded row.
    void showRow(const RecordedRow &row);
    // A run starts with these balances and their samples' names.
    void startRun(const RunSettings &settings);
    // What the last row added to each sample, slot by slot.
    void showSamples(const std::vector<MassTrendValues> &values) { samples_ = values; }
    // A sample reached constant mass; said once on the error stream too.
    void showConstant(const ConstantMassEvent &event);

private:
    std::FILE *out_;
    bool terminal_;
    RowText text_;
    std::vector<int32_t> balances_;
    std::vector<std::string> names_;         // slot by slot
    std::vector<MassTrendValues> samples_;   // slot by slot
    std::vector<std::optional<std::string>> reachedAt_; // "постоянная масса" since, local time
};

} // namespace pondus::logger
