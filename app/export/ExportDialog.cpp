#include "export/ExportDialog.h"

#include <QFileDialog>

std::unique_ptr<QFileDialog> makeExportDialog(QWidget *parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("Excel (*.xls)"));
    dialog->setDefaultSuffix(QStringLiteral("xls"));
    dialog->selectFile(QString());
    return dialog;
}

QString askExportFileName(QWidget *parent)
{
    const auto dialog = makeExportDialog(parent);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->selectedFiles().value(0);
}
