// One file format a recorded table can be saved in: its name and suffix,
// which make the save dialog's filter, and its writer. The formats the save
// dialog offers, the tab-separated ".xls" first. Texts are written in the
// system's regional formats, as the window's grid shows them.
#pragma once

#include "export/RunSnapshot.h"

#include <QString>

#include <optional>
#include <span>

class ExportFormat {
public:
    virtual ~ExportFormat() = default;
    virtual QString name() const = 0;
    virtual QString suffix() const = 0;
    // Writes the whole file or nothing: a failure keeps any file of that name
    // as it was and leaves no partial or temporary file. The system's reason
    // on failure.
    virtual std::optional<QString> write(const RunSnapshot &run, const QString &path) const = 0;

    // "name (*.suffix)", as the save dialog lists it.
    QString filter() const;
};

// Every format, in the order the save dialog offers them; the first is the
// default.
std::span<const ExportFormat *const> exportFormats();

// The format of a file name: the one its suffix names, otherwise the one
// whose filter was chosen, otherwise the default.
const ExportFormat &formatForFile(const QString &path, const QString &chosenFilter = {});

// A file to save the table to and its format.
struct ExportTarget {
    ExportTarget() = default;
    // A name alone picks the format by its suffix.
    ExportTarget(QString path) : path(std::move(path)), format(&formatForFile(this->path)) {}
    ExportTarget(QString path, const ExportFormat &format) : path(std::move(path)), format(&format) {}

    bool chosen() const { return !path.isEmpty(); }

    QString path; // empty when the dialog was cancelled
    const ExportFormat *format = nullptr;
};
