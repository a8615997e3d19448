#include "export/TabSeparatedFormat.h"

#include "export/ResultExport.h"
#include "export/TabSeparatedText.h"

std::optional<QString> TabSeparatedFormat::write(const RunSnapshot &run, const QString &path) const
{
    return writeExportFile(path, TabSeparatedText(ValueFormat()).table(run));
}
