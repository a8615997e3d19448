// The scale link library as the window's reading source: loaded at start-up,
// unloaded (which stops its worker) when the program lets go of it.
#pragma once

#include "recording/ReadingSource.h"

#include <QString>

#include <optional>

class LinkLibrary final : public ReadingSource {
public:
    // Looks in programDir first, then in installedDir when given, then in the
    // system's search order. A missing library or export is not an error
    // here; the has...() queries report it.
    explicit LinkLibrary(const QString &programDir, const QString &installedDir = {});

    bool loaded() const { return library_ && library_->loaded(); }
    bool hasSetComPort() const override { return loaded() && library_->exports().setComPort; }
    bool hasFreshData() const override { return loaded() && library_->exports().freshData; }
    void setComPort(int32_t port) override;
    void freshData(trutina::Block &block) override;

private:
    std::optional<trutina::Library> library_;
};
