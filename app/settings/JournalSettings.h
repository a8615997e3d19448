// The sections [Journal] and [Audit] of PONDUS.ini: where the measurement
// journal lives, how long finished tables are kept, and who works and why.
#pragma once

#include <QString>

struct JournalSettings {
    static constexpr int defaultKeepDays = 90;

    // The file; by default journal.sqlite in the desktop's folder for the
    // program's own data (~/.local/share/PONDUS on Linux).
    QString path;
    int keepDays = defaultKeepDays;
    // Operator= of [Audit]: the lab's display name for whoever works at this
    // PC, kept beside the system account in the journal, never instead of it.
    QString operatorName;
    // Enabled=1 of [Audit]: an edited cell, a cleared table and a restored one
    // ask the operator for the reason, which the journal keeps with the event.
    bool askReasons = false;

    // Reads the section from the settings file; missing or unreadable keys
    // take their defaults.
    static JournalSettings read(const QString &iniPath);
};
