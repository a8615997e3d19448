// "Сохранить в файл": the table as it stands when the button is pressed,
// written to the file the operator names.
#include "export/ResultExport.h"
#include "mainform/Serialer.h"

#include <QDir>
#include <QFileInfo>

void TMainForm::ApplyButton1Click()
{
    // Composed before the dialog opens, so that nothing recorded meanwhile
    // reaches the file.
    const QByteArray text = composeExportText(*table_);
    const QString path = chooseSaveFile_();
    if (path.isEmpty())
        return;
    // As after any save dialog the chosen folder becomes the current
    // directory ("Справка" looks there); the settings file stays where it was.
    QDir::setCurrent(QFileInfo(path).absolutePath());
    if (const auto failure = writeExportFile(path, text))
        reportError_(QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), *failure));
}
