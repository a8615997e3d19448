#include "export/ExportDialog.h"

#include <QFileDialog>

std::unique_ptr<QFileDialog> makeExportDialog(QWidget *parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const ExportFormat *format : exportFormats())
        filters.append(format->filter());
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(filters.front());
    dialog->setDefaultSuffix(exportFormats().front()->suffix());
    QObject::connect(dialog.get(), &QFileDialog::filterSelected, dialog.get(), [dialog = dialog.get()](const QString &filter) {
        dialog->setDefaultSuffix(formatForFile(QString(), filter).suffix());
    });
    dialog->selectFile(QString());
    return dialog;
}

ExportTarget chosenTarget(const QFileDialog &dialog)
{
    const QString path = dialog.selectedFiles().value(0);
    return {path, formatForFile(path, dialog.selectedNameFilter())};
}

ExportTarget askExportTarget(QWidget *parent)
{
    const auto dialog = makeExportDialog(parent);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return chosenTarget(*dialog);
}
