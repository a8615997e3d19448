// Reading and writing [Export].
#include "export/ExportTypeMemory.h"

#include "settings/IniSettings.h"

namespace {
const QString section = QStringLiteral("Export");
}

const ExportFormat &rememberedExportType(const QString &iniPath)
{
    IniSettings settings(section);
    if (!settings.load(iniPath))
        return *exportFormats().front();
    const QString kept = settings.text("Type", QString()).trimmed();
    for (const ExportFormat *format : exportFormats())
        if (kept.compare(format->suffix(), Qt::CaseInsensitive) == 0)
            return *format;
    return *exportFormats().front();
}

bool rememberExportType(const QString &iniPath, const ExportFormat &format)
{
    IniSettings settings(section);
    if (!settings.load(iniPath))
        return false;
    settings.setText("Type", format.suffix());
    return settings.save(iniPath);
}
