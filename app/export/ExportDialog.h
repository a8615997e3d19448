// The save dialog of the export: one filter per file format, the one given
// chosen (the tab-separated "Excel (*.xls)" unless another is given); the
// chosen format's suffix is added to a name typed without one, and an
// existing file is overwritten only after a question.
#pragma once

#include "export/ExportFormat.h"

#include <memory>

class QFileDialog;
class QWidget;

std::unique_ptr<QFileDialog> makeExportDialog(QWidget *parent, const ExportFormat &chosen = *exportFormats().front());

// Shows the dialog with the type saved last chosen; the chosen file and
// format, or nothing chosen when cancelled. The chosen format is kept in the
// settings file for the next time.
ExportTarget askExportTarget(QWidget *parent, const QString &settingsPath);

// The file and format a dialog closed with "Save" stands for.
ExportTarget chosenTarget(const QFileDialog &dialog);
