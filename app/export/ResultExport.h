// Saving the measurement table as a tab-separated text file (offered as an
// Excel file, which spreadsheet programs open as a table): every cell as the
// table shows it followed by a TAB, every row ending in CR LF, in the
// system's encoding, without a byte-order mark.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QAbstractItemModel;

// The table, header rows included, as the file's bytes: all of it, or its
// first `rows` rows (the table as it stood when the export was asked for).
QByteArray composeExportText(const QAbstractItemModel &table, std::optional<int> rows = std::nullopt);

// Writes the bytes to a temporary file beside `path` and puts it in place
// only when all of it was written, so that a failure leaves any existing
// file as it was and no temporary file behind. Returns the system's reason
// on failure.
std::optional<QString> writeExportFile(const QString &path, const QByteArray &bytes);
