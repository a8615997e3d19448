// A run's summary per bucket of rows, as the collector keeps it beside the
// rows: per balance the first, lowest, highest and last weight with their
// times, all of a bucket's balances in one line, so that storing a row adds
// one write per bucket size, not one per balance.
#pragma once

#include "recording/RecordedRow.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The sizes of the buckets, in rows: bucket b of size n holds seq b*n+1 to
// (b+1)*n.
inline constexpr std::array<int64_t, 3> summaryBucketRows{16, 256, 4096};

struct SummaryPoint {
    int64_t utcMs = 0;
    double value = 0;
    bool operator==(const SummaryPoint &) const = default;
};

// One balance (by its slot in the row) over a bucket.
struct SlotSummary {
    int64_t balance = 0;
    int64_t firstSeq = 0;
    int64_t lastSeq = 0;
    SummaryPoint first, low, high, last;
    bool operator==(const SlotSummary &) const = default;
};

struct BucketSummary {
    int64_t rows = 0;
    std::vector<SlotSummary> slots;

    // Takes a row in, whenever it arrives: a late row lands in its place.
    void take(int64_t seq, int64_t utcMs, const std::vector<BalanceReading> &readings);
    // The bytes stored for the slots, and back; nothing from bytes that are
    // not a whole number of slots.
    std::string slotBytes() const;
    static std::optional<std::vector<SlotSummary>> slotsFrom(std::string_view bytes);
    bool operator==(const BucketSummary &) const = default;
};

// A reading's weight as a number.
double weightOf(const BalanceReading &reading);
