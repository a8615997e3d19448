// The file type the save dialog offers first: the one chosen last, kept in
// its own section of PONDUS.ini by its suffix.
//
//   [Export]
//   Type=xlsx
#pragma once

#include "export/ExportFormat.h"

#include <QString>

// The type saved last; the default type when none is kept, or the kept one
// is no type the dialog offers.
const ExportFormat &rememberedExportType(const QString &iniPath);
// Keeps the type for the next save; false, with nothing written, when the
// file is no settings file or cannot be written.
bool rememberExportType(const QString &iniPath, const ExportFormat &format);
