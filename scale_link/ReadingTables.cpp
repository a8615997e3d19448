#include "ReadingTables.h"

#include <algorithm>

namespace trutina {

ReadingTables::ReadingTables()
{
    for (auto &table : words_)
        table.fill(0);
    words_[TRUTINA_TABLE_MODEL_CODE].fill(TRUTINA_MODEL_UNKNOWN);
    words_[TRUTINA_TABLE_UNIT_CODE].fill(TRUTINA_UNIT_NONE);
    words_[TRUTINA_TABLE_DIVISOR].fill(1);
}

void ReadingTables::copyTo(int32_t *block) const
{
    for (size_t t = 0; t < words_.size(); ++t)
        std::copy(words_[t].begin(), words_[t].end(),
                  block + TRUTINA_WORD(static_cast<int>(t), 0));
}

} // namespace trutina
