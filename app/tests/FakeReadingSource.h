// A scripted scale link: the test sets the block that the next FreshData
// returns and sees which ports were selected.
#pragma once

#include "recording/ReadingSource.h"

#include <QList>
#include <QMap>

#include <functional>

class FakeReadingSource final : public ReadingSource {
public:
    trutina::Block block;
    QList<int32_t> selectedPorts;
    int fetches = 0;
    // Runs at each fetch before the block is copied, for a link that changes.
    std::function<void()> onFetch;
    // The devices handed over for the ports, by port; off for an older library.
    QMap<int32_t, QByteArray> portDevices;
    bool takesPortDevices = true;

    bool hasSetComPort() const override { return true; }
    bool hasFreshData() const override { return true; }
    void setComPort(int32_t port) override { selectedPorts.append(port); }
    bool hasSetPortDevice() const override { return takesPortDevices; }
    void setPortDevice(int32_t port, const QByteArray &path) override { portDevices[port] = path; }
    void freshData(trutina::Block &target) override
    {
        ++fetches;
        if (onFetch)
            onFetch();
        target = block;
    }

    void setLink(int32_t state, int32_t balances)
    {
        block.setHeader(TRUTINA_WORD_VERSION, TRUTINA_VERSION);
        block.setHeader(TRUTINA_WORD_LINK_STATE, state);
        block.setHeader(TRUTINA_WORD_BALANCE_COUNT, balances);
    }
    void setIdentity(int j, int32_t modelCode, int32_t identNumber)
    {
        block.setTable(TRUTINA_TABLE_MODEL_CODE, j, modelCode);
        block.setTable(TRUTINA_TABLE_IDENT_NUMBER, j, identNumber);
    }
    // A new weight reading of balance j: its reading count goes up by one.
    void deliver(int j, int32_t raw, int32_t divisor = 1, bool stable = true,
                 int32_t unitCode = TRUTINA_UNIT_FIRST)
    {
        block.setTable(TRUTINA_TABLE_RAW_VALUE, j, raw);
        block.setTable(TRUTINA_TABLE_DIVISOR, j, divisor);
        block.setTable(TRUTINA_TABLE_STABLE_FLAG, j, stable ? 1 : 0);
        block.setTable(TRUTINA_TABLE_UNIT_CODE, j, unitCode);
        block.setTable(TRUTINA_TABLE_READING_COUNT, j, int32_t(uint32_t(block.readingCount(j)) + 1u));
    }
};
