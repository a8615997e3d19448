// The block of readings that the scale link library's FreshData fills:
// four header words and eight tables indexed by balance position.
#pragma once

#include <trutina.h>

#include <array>
#include <cstdint>

struct ReadingsBlock {
    std::array<int32_t, TRUTINA_BLOCK_WORDS> words{};

    int32_t linkState() const { return words[TRUTINA_WORD_LINK_STATE]; }
    int32_t balanceCount() const { return words[TRUTINA_WORD_BALANCE_COUNT]; }

    int32_t table(TrutinaTable t, int position) const { return words[TRUTINA_WORD(t, position)]; }
    int32_t &table(TrutinaTable t, int position) { return words[TRUTINA_WORD(t, position)]; }

    int32_t modelCode(int j) const { return table(TRUTINA_TABLE_MODEL_CODE, j); }
    int32_t identNumber(int j) const { return table(TRUTINA_TABLE_IDENT_NUMBER, j); }
    int32_t readingCount(int j) const { return table(TRUTINA_TABLE_READING_COUNT, j); }
    int32_t stableFlag(int j) const { return table(TRUTINA_TABLE_STABLE_FLAG, j); }
    int32_t unitCode(int j) const { return table(TRUTINA_TABLE_UNIT_CODE, j); }
    int32_t divisor(int j) const { return table(TRUTINA_TABLE_DIVISOR, j); }
    int32_t rawValue(int j) const { return table(TRUTINA_TABLE_RAW_VALUE, j); }
};
