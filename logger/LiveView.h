// What pondus-log shows while it records: on a terminal a compact view,
// redrawn in place (link state, balances, latest values, rows recorded,
// elapsed time, each sample's change, drift and constant mass); elsewhere
// each recorded row as a line, for scripts. When the run ends, a line per
// sample: its change over the run and since when it has had constant mass.
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

class LiveView final : public SessionObserver {
public:
    LiveView(std::FILE *out, bool terminal, RowText text, std::vector<int32_t> balances);

    // After every poll: the latest block, rows so far and the time since the start.
    void showPoll(const trutina::Block &block, int64_t rows, std::chrono::milliseconds elapsed);
    // Every recorded row.
    void rowCommitted(const CommittedRow &row) override;
    // A run starts with these balances and their samples' names.
    void runStarted(const RunInfo &run) override;
    // What the last row added to each sample, slot by slot.
    void massChanged(const SampleValues &values) override;
    // A sample reached constant mass; said once on the error stream too.
    void constantReached(const ConstantMassEvent &event) override;
    // The run's samples as it ended, one line per balance in column order:
    // "Весы №2 — Торф: Δm -0.52 g (-4.2 %) over the run; постоянная масса с
    // 11.12.2026 08:15:02". The change is the last one a reading gave.
    std::vector<std::string> summary() const;

    // A value with its sign, or a dash where there is none.
    static std::string signedText(const std::optional<double> &value, const char *suffix);

private:
    std::FILE *out_;
    bool terminal_;
    RowText text_;
    std::vector<int32_t> balances_;
    std::vector<std::string> names_;         // slot by slot
    std::vector<MassTrendValues> samples_;   // slot by slot
    // The last change of each slot and the unit it is in.
    struct Change {
        double change = 0;
        std::optional<double> percent;
        std::string unit;
    };
    std::vector<std::optional<Change>> overRun_;
    std::vector<std::optional<std::string>> reachedAt_; // "постоянная масса" since, local time
};

} // namespace pondus::logger
