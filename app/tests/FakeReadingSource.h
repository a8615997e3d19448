// A scripted scale link: the test sets the block that the next FreshData
// returns and sees which ports were selected.
#pragma once

#include "recording/ReadingSource.h"

#include <QList>

#include <functional>

class FakeReadingSource final : public ReadingSource {
public:
    ReadingsBlock block;
    QList<int32_t> selectedPorts;
    int fetches = 0;
    // Runs at each fetch before the block is copied, for a link that changes.
    std::function<void()> onFetch;

    bool hasSetComPort() const override { return true; }
    bool hasFreshData() const override { return true; }
    void setComPort(int32_t port) override { selectedPorts.append(port); }
    void freshData(ReadingsBlock &target) override
    {
        ++fetches;
        if (onFetch)
            onFetch();
        target = block;
    }

    void setLink(int32_t state, int32_t balances)
    {
        block.words[TRUTINA_WORD_VERSION] = TRUTINA_VERSION;
        block.words[TRUTINA_WORD_LINK_STATE] = state;
        block.words[TRUTINA_WORD_BALANCE_COUNT] = balances;
    }
    void setIdentity(int j, int32_t modelCode, int32_t identNumber)
    {
        block.table(TRUTINA_TABLE_MODEL_CODE, j) = modelCode;
        block.table(TRUTINA_TABLE_IDENT_NUMBER, j) = identNumber;
    }
    // A new weight reading of balance j: its reading count goes up by one.
    void deliver(int j, int32_t raw, int32_t divisor = 1, bool stable = true,
                 int32_t unitCode = TRUTINA_UNIT_FIRST)
    {
        block.table(TRUTINA_TABLE_RAW_VALUE, j) = raw;
        block.table(TRUTINA_TABLE_DIVISOR, j) = divisor;
        block.table(TRUTINA_TABLE_STABLE_FLAG, j) = stable ? 1 : 0;
        block.table(TRUTINA_TABLE_UNIT_CODE, j) = unitCode;
        block.table(TRUTINA_TABLE_READING_COUNT, j) += 1;
    }
};
