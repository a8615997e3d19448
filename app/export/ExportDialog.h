// The save dialog of the export: one filter, "Excel (*.xls)", the suffix
// xls added to a name typed without one, and a question before an existing
// file is overwritten.
#pragma once

#include <QString>

#include <memory>

class QFileDialog;
class QWidget;

std::unique_ptr<QFileDialog> makeExportDialog(QWidget *parent);

// Shows the dialog; the chosen file, or an empty text when cancelled.
QString askExportFileName(QWidget *parent);
