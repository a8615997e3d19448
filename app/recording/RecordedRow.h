// The values that flow one way from the recorder to the grid, the journal,
// the publisher and the export formats: a run's settings as taken at its
// start, and one recorded row with the reading of every checked balance.
// Plain C++ so that the headless logger and the tests need no Qt widgets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RecordingMode : int8_t {
    Periodic,    // a row every period
    OnNewWeight, // a row when a stable weight differs by the threshold
    Manual,      // a row on each "Взвесить"
};

// What a run records, fixed when it starts.
struct RunSettings {
    std::string port;              // "COM1".."COM4" or "AUTO"
    RecordingMode mode = RecordingMode::Periodic;
    int32_t periodMs = 0;          // the poll period; 0 in manual mode
    // Scale divisions, OnNewWeight only; noThreshold when the operator gave
    // none that is a number, and then no row is recorded.
    int32_t threshold = 0;
    static constexpr int32_t noThreshold = -1;
    int32_t measurementBound = 20; // points the chart keeps, 1..1000
    std::vector<int32_t> balances; // checked positions 1..10, in column order
    // The sample on each position, index p - 1 for position p (UTF-8, one
    // line); empty or missing for none.
    std::vector<std::string> samples;

    // The sample on position p; empty for none.
    const std::string &sampleAt(int32_t position) const
    {
        static const std::string none;
        return position >= 1 && size_t(position) <= samples.size() ? samples[size_t(position - 1)] : none;
    }
};

// One balance's reading as it stood when the row was recorded.
struct BalanceReading {
    int32_t balance = 0;  // position on the line, 1..15
    int32_t rawValue = 0; // the weight is rawValue / divisor
    int32_t divisor = 1;
    int32_t unitCode = 0; // the library's unit code as read
    // The unit index the grid shows (see unitIndex); -1 for an empty unit
    // cell. An unstable reading shows none; a stable one with an unknown
    // code carries the previous unit on.
    int8_t shownUnit = -1;
    bool stable = false;
    int32_t modelCode = 0;
    int32_t ident = 0;
};

struct RecordedRow {
    int32_t number = 0;           // "№": 1, 2, ... within the window's table
    int64_t utcMs = 0;            // wall-clock time, ms since the Unix epoch
    int32_t utcOffsetSeconds = 0; // the local offset at that moment
    std::vector<BalanceReading> readings; // in column order
};

// Where the journal put a row: its run and its place in that run.
struct RowKey {
    int64_t run = 0;
    int64_t seq = 0;
};

// A recorded row with its place in its run, as the journal keeps it and the
// publisher sends it: 1, 2, 3, ... without gaps, so that a reader can prove
// that nothing is missing.
struct SequencedRow {
    int64_t seq = 0;
    RecordedRow row;
};
