#include "export/ExportDialog.h"

#include "export/ExportTypeMemory.h"

#include <QFileDialog>

std::unique_ptr<QFileDialog> makeExportDialog(QWidget *parent, const ExportFormat &chosen)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const ExportFormat *format : exportFormats())
        filters.append(format->filter());
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(chosen.filter());
    dialog->setDefaultSuffix(chosen.suffix());
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

ExportTarget askExportTarget(QWidget *parent, const QString &settingsPath)
{
    const auto dialog = makeExportDialog(parent, rememberedExportType(settingsPath));
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const ExportTarget target = chosenTarget(*dialog);
    // A settings file that cannot take it only loses the preference.
    rememberExportType(settingsPath, *target.format);
    return target;
}
