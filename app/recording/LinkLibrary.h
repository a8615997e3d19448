// Binding to the scale link library libtrutina.so, loaded by file name at
// start-up and never unloaded: its worker thread lives as long as the process.
#pragma once

#include "recording/ReadingSource.h"

#include <QLibrary>
#include <QString>

class LinkLibrary final : public ReadingSource {
public:
    // Looks in programDir first, then in installedDir when given, then in the
    // system's search order. A missing library or export is not an error
    // here; the has...() queries report it.
    explicit LinkLibrary(const QString &programDir, const QString &installedDir = {});

    bool loaded() const { return library_.isLoaded(); }
    bool hasSetComPort() const override { return setComPort_ != nullptr; }
    bool hasFreshData() const override { return freshData_ != nullptr; }
    void setComPort(int32_t port) override;
    void freshData(ReadingsBlock &block) override;

private:
    QLibrary library_;
    TrutinaSetComPortFn setComPort_ = nullptr;
    TrutinaFreshDataFn freshData_ = nullptr;
};
