// Where the main window gets its readings from: normally the scale link
// library loaded at start-up, in tests a scripted stand-in.
#pragma once

#include <TrutinaClient.h>

#include <QByteArray>

#include <cstdint>

class ReadingSource {
public:
    virtual ~ReadingSource() = default;

    // False when the library or its SetComPort export was not found.
    virtual bool hasSetComPort() const = 0;
    // False when the library or its FreshData export was not found.
    virtual bool hasFreshData() const = 0;

    // Port 1..4 selects COM1..COM4, 0 the automatic search.
    virtual void setComPort(int32_t port) = 0;
    virtual void freshData(trutina::Block &block) = 0;

    // False when the library cannot be told which device a port means (an
    // older library without SetPortDevice).
    virtual bool hasSetPortDevice() const { return false; }
    // The device port 1..4 opens from now on; an empty path removes it.
    virtual void setPortDevice(int32_t, const QByteArray &) {}
};
