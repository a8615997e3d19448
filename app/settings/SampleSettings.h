// The sections [Samples] and [Experiment] of PONDUS.ini: the name of the
// sample on each balance position, what the chart shows and when a sample
// counts as having reached constant mass.
//
//   [Samples]
//   3=Глина К-2
//   [Experiment]
//   Chart=percent            ; mass, change or percent
//   ConstantMass=0,1%/60m
//   StopWhenConstant=1
#pragma once

#include "recording/ConstantMassCriterion.h"

#include <QString>

#include <array>
#include <string>
#include <vector>

// A setting the operator changed in the window: "Section/Key" and its texts
// in the settings file before and after.
struct ChangedSetting {
    QString key;
    QString before;
    QString after;
    bool operator==(const ChangedSetting &) const = default;
};

// What the chart's lines show for each balance.
enum class ChartQuantity : int8_t {
    Mass,          // the reading
    Change,        // Δm in the balance's unit
    ChangePercent, // Δm in percent of the reference
};

struct SampleSettings {
    static constexpr int positions = 10;

    // Index p - 1 for position p; empty for none. One line each, trimmed.
    std::array<QString, positions> names;
    ChartQuantity chart = ChartQuantity::Mass;
    ConstantMassCriterion constantMass;
    bool stopWhenConstant = false;

    // Missing or unreadable keys take their defaults.
    static SampleSettings read(const QString &iniPath);
    // Rewrites both sections, keeping the rest of the file; false, with
    // nothing written, when the file is no settings file or cannot be written.
    bool write(const QString &iniPath) const;

    // What the operator changed from before: the samples' names, the
    // constant-mass criterion and the stop; the chart is a view, not a setting.
    std::vector<ChangedSetting> changesFrom(const SampleSettings &before) const;

    // The name of the sample on position p, empty outside 1..positions.
    QString nameAt(int position) const;
    // Sets it, trimmed and as one line; false for a position outside 1..positions.
    bool setName(int position, const QString &name);
    // The names as a run takes them (RunSettings::samples): UTF-8, index
    // p - 1 for position p, without the empty ones at the end.
    std::vector<std::string> runNames() const;
};
