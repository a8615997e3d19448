// Reading [Journal]: Path and KeepDays; and [Audit]: the operator's display
// name and whether changes ask for their reason.
#include "settings/JournalSettings.h"

#include "settings/IniSettings.h"

#include <QDir>
#include <QStandardPaths>

JournalSettings JournalSettings::read(const QString &iniPath)
{
    IniSettings ini(QStringLiteral("Journal"));
    ini.load(iniPath);
    JournalSettings settings;
    settings.path = ini.text("Path", QString()).trimmed();
    if (settings.path.isEmpty())
        settings.path = QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
                            .filePath(QStringLiteral("journal.sqlite"));
    bool isNumber = false;
    const int keepDays = ini.text("KeepDays", QString()).trimmed().toInt(&isNumber);
    if (isNumber && keepDays > 0)
        settings.keepDays = keepDays;
    IniSettings audit(QStringLiteral("Audit"));
    audit.load(iniPath);
    settings.operatorName = audit.text("Operator", QString()).trimmed();
    settings.askReasons = audit.text("Enabled", QString()).trimmed() == QLatin1String("1");
    return settings;
}
