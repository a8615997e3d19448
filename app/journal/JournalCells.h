// The cells of a table between the window's grid and the journal's keys: an
// edit is kept by run, row and balance column, and put back on the grid at
// restore wherever that row and balance stand then.
#pragma once

#include "journal/Journal.h"

#include <map>
#include <utility>

namespace pondus::journal {

// The grid of a table being restored, built from its runs and rows in order.
class RestoredGrid {
public:
    void addRun(int64_t run, std::vector<int32_t> balances);
    void addRow(int64_t run, int64_t seq);
    // The grid place of a key; nothing when its row or balance is not in the table.
    std::optional<std::pair<int32_t, int32_t>> place(const CellKey &key) const;

private:
    std::map<int64_t, std::vector<int32_t>> balances_;
    std::map<std::pair<int64_t, int64_t>, int32_t> rows_;
};

} // namespace pondus::journal
