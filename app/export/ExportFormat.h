// One file format the measurement table can be saved in: its name and
// suffix, which make the save dialog's filter, and its writer. The formats
// the save dialog offers, the tab-separated ".xls" first.
#pragma once

#include "recording/RecordedRow.h"

#include <QColor>
#include <QDateTime>
#include <QString>

#include <optional>
#include <span>
#include <vector>

class MeasurementTable;

// What an export writes: the table as it stood when the operator asked for
// the file, and the run it was recorded in.
struct ExportedRun {
    const MeasurementTable &table;
    int rows = 0; // rows to write, header rows included
    RunSettings settings;
    QDateTime started; // invalid when not known
    QDateTime stopped;
    std::vector<QColor> seriesColours; // the chart's colour of balance j at [j - 1]

    // Recorded measurements among the rows to write.
    int measurements() const;
    // Number of balances with a value and a unit column.
    int balanceColumns() const;
    // The balance position whose value column is the slot-th (from 0).
    int balanceOfSlot(int slot) const;
    QColor colourOfSlot(int slot) const;
};

class ExportFormat {
public:
    virtual ~ExportFormat() = default;
    virtual QString name() const = 0;
    virtual QString suffix() const = 0;
    // Writes the whole file or nothing: a failure keeps any file of that name
    // as it was and leaves no partial or temporary file. The system's reason
    // on failure.
    virtual std::optional<QString> write(const ExportedRun &run, const QString &path) const = 0;

    // "name (*.suffix)", as the save dialog lists it.
    QString filter() const;
};

// Digits after the decimal point of readings with this divisor (a power of
// ten); nothing for any other divisor.
std::optional<int> decimalPlaces(int32_t divisor);

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
