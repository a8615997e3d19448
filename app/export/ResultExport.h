// Saving a file's bytes whole or not at all: the tab-separated table is
// composed in memory and put in place in one step.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Writes the bytes to a temporary file beside `path` and puts it in place
// only when all of it was written, so that a failure leaves any existing
// file as it was and no temporary file behind. Returns the system's reason
// on failure.
std::optional<QString> writeExportFile(const QString &path, const QByteArray &bytes);
