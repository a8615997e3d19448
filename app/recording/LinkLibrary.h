// The scale link library as the window's reading source: loaded at start-up,
// unloaded (which stops its worker) when the program lets go of it.
#pragma once

#include "recording/ReadingSource.h"

#include <QString>

#include <optional>
#include <string>

class LinkLibrary final : public ReadingSource {
public:
    // Looks in programDir first, then in installedDir when given, then in the
    // system's search order. A missing library or export is not an error
    // here; the has...() queries report it.
    explicit LinkLibrary(const QString &programDir, const QString &installedDir = {});
    // Exactly the library at path.
    explicit LinkLibrary(const std::string &path) : library_(std::in_place, path) {}

    // Why the library or an export is missing; empty when all is there.
    const std::string &error() const { return library_->error(); }

    bool loaded() const { return library_ && library_->loaded(); }
    bool hasSetComPort() const override { return loaded() && library_->exports().setComPort; }
    bool hasFreshData() const override { return loaded() && library_->exports().freshData; }
    void setComPort(int32_t port) override { library_->setComPort(port); }
    void freshData(trutina::Block &block) override { library_->freshData(block); }
    bool hasSetPortDevice() const override { return loaded() && library_->exports().setPortDevice; }
    void setPortDevice(int32_t port, const QByteArray &path) override
    {
        library_->setPortDevice(port, path.constData());
    }

private:
    // Set by every constructor; a library that did not load answers nothing.
    std::optional<trutina::Library> library_;
};
