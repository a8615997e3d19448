#include "export/TabSeparatedFormat.h"

#include "export/ResultExport.h"
#include "recording/MeasurementTable.h"

std::optional<QString> TabSeparatedFormat::write(const ExportedRun &run, const QString &path) const
{
    return writeExportFile(path, composeExportText(run.table, run.rows));
}
