// The rules of recording, free of widgets: from a block of readings, the
// run's settings and what was recorded before, decide which captions the
// grid shows, whether a row is recorded and what it holds, and when the run
// must end because a polled balance is not on the line.
#pragma once

#include "recording/BalanceIdentity.h"
#include "recording/RecordedRow.h"

#include <TrutinaClient.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// What the recorder remembers between polls.
struct RecordingHistory {
    // Positions a run may poll; the library counts up to fifteen.
    static constexpr int balances = 10;

    // Rows recorded since the grid was last emptied; the last row's number.
    int32_t measurementNo = 0;
    // readingCount of balance j at its last recorded row, at [j - 1]. Kept
    // across runs and clears, so a row always holds readings newer than the
    // last one recorded.
    std::array<int32_t, balances> lastRecordedCount{};
    // The unit decoded last, one for all balances: a stable reading with an
    // unknown unit code carries it on. -1 before the first.
    int8_t lastUnit = -1;
    // The values of the last recorded row, in column order.
    std::vector<double> lastValues;
};

struct PollDecision {
    bool online = false;
    // Set when a balance of the run lies beyond the end of the line: the
    // number of balances on the line. The run ends; nothing else is decided.
    std::optional<int32_t> balanceCountNotice;
    // The run's balances beyond the end of the line, to be unchecked.
    std::vector<int32_t> balancesBeyondLine;
    // The run's balances on the line, in column order.
    std::vector<BalanceCaption> captions;
    // The row to append, when one is due.
    std::optional<RecordedRow> row;
};

// Wall-clock time of a poll.
struct PollStamp {
    int64_t utcMs = 0;
    int32_t utcOffsetSeconds = 0;
};

class MeasurementRecorder {
public:
    // The last recorded value of the balance in place `slot` as the caller
    // keeps it; nothing when it is no longer a number. The window passes the
    // grid's cells, which the operator may have edited.
    using PreviousValue = std::function<std::optional<double>(size_t slot)>;

    // One poll. Updates history when a row is recorded. Without
    // previousValue the values of history.lastValues are compared.
    static PollDecision poll(const trutina::Block &block, const RunSettings &settings, RecordingHistory &history,
                             PollStamp stamp, const PreviousValue &previousValue = {});

    // Whole scale divisions between a raw reading and a recorded value.
    static double divisionsBetween(int32_t rawValue, double recorded, int32_t divisor);
};
