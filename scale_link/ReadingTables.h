// The per-position tables that the poll fills and FreshData hands out,
// and the lock that keeps one position's update whole.
#pragma once

#include "trutina.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace trutina {

class ReadingTables {
public:
    ReadingTables();

    int32_t &at(TrutinaTable table, int position) { return words_[table][position]; }
    int32_t at(TrutinaTable table, int position) const { return words_[table][position]; }

    // Copies all eight tables into the table part of a readings block.
    void copyTo(int32_t *block) const;

private:
    std::array<std::array<int32_t, TRUTINA_TABLE_SLOTS>, 8> words_;
};

// What the worker shares with callers of FreshData.
struct LineReadings {
    std::mutex mutex; // guards tables
    ReadingTables tables;
    std::atomic<int32_t> balanceCount{0};
};

} // namespace trutina
