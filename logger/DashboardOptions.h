// pondus-log's dashboard choices: the [Dashboard] section of --ini and the
// --http flags over it.
#pragma once

#include "dashboard/DashboardSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

namespace pondus::logger {

QList<QCommandLineOption> dashboardFlags();

// Reads [Dashboard] of the settings file into `settings`; the first bad
// value's message, or empty.
std::string readDashboardSection(const QString &iniPath, DashboardSettings &settings);

// The flags over what the section gave; the first bad value's message, or empty.
std::string applyDashboardFlags(const QCommandLineParser &parser, DashboardSettings &settings);

} // namespace pondus::logger
