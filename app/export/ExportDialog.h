// The save dialog of the export: one filter per file format, the
// tab-separated "Excel (*.xls)" first and chosen; the chosen format's suffix
// is added to a name typed without one, and an existing file is overwritten
// only after a question.
#pragma once

#include "export/ExportFormat.h"

#include <memory>

class QFileDialog;
class QWidget;

std::unique_ptr<QFileDialog> makeExportDialog(QWidget *parent);

// Shows the dialog; the chosen file and format, or nothing chosen when
// cancelled.
ExportTarget askExportTarget(QWidget *parent);

// The file and format a dialog closed with "Save" stands for.
ExportTarget chosenTarget(const QFileDialog &dialog);
