// "Сохранить в файл": the table as it stands when the button is pressed,
// written to the file and in the format the operator chooses.
#include "export/ExportFormat.h"
#include "mainform/TableSnapshot.h"
#include "mainform/Serialer.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>

void TMainForm::ApplyButton1Click()
{
    // Only the rows there are now: nothing recorded while the dialog is
    // open reaches the file.
    const int rows = table_->rowCount();
    const int measured = table_->measurementRows();
    const ExportTarget target = chooseSaveFile_();
    if (!target.chosen())
        return;
    // As after any save dialog the chosen folder becomes the current
    // directory ("Справка" looks there); the settings file stays where it was.
    QDir::setCurrent(QFileInfo(target.path).absolutePath());
    // A day of rows takes seconds to write; the cursor says the window is busy.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    // The table belongs to the current or last run; before any run the
    // settings are those the controls show.
    const RunInfo &last = session_.run();
    RunSnapshot run = snapshotOfTable(*table_, rows, last.startedUtcMs != 0 ? last.settings : runSettings());
    run.startedUtcMs = last.startedUtcMs;
    run.stoppedUtcMs = last.stoppedUtcMs;
    if (exportChain_)
        run.chain = exportChain_(rows);
    if (const auto failure = target.format->write(run, target.path)) {
        reportError_(QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(target.path), *failure));
        return;
    }
    emit exported(target.path, measured);
}
