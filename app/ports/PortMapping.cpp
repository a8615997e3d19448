// Which device each of COM1..COM4 means, stored in section [Ports].
#include "ports/PortMapping.h"

#include "settings/IniSettings.h"

#include <QFileInfo>

namespace pondus::ports {
namespace {
const QString section = QStringLiteral("Ports");
}

QString portName(int port) { return QStringLiteral("COM%1").arg(port); }

QString environmentVariable(int port) { return QStringLiteral("TRUTINA_COM%1").arg(port); }

PortMapping PortMapping::read(const QString &settingsPath)
{
    PortMapping mapping;
    IniSettings settings(section);
    if (!settings.load(settingsPath))
        return mapping;
    for (int port = 1; port <= portCount; ++port)
        mapping.devices[size_t(port - 1)] = settings.text(portName(port).toLatin1().constData(), QString()).trimmed();
    return mapping;
}

bool PortMapping::write(const QString &settingsPath) const
{
    IniSettings settings(section);
    // Read first, so that the other sections, written by the main window
    // when it closes, are kept as they are.
    if (!settings.load(settingsPath))
        return false;
    for (int port = 1; port <= portCount; ++port)
        settings.setText(portName(port).toLatin1().constData(), device(port));
    return settings.save(settingsPath);
}

bool devicePresent(const QString &path)
{
    // Through links: a stable name whose adapter is pulled out leads nowhere.
    return QFileInfo::exists(path);
}

ResolvedPort resolvePort(int port, const PortMapping &mapping, bool libraryTakesMapping)
{
    if (const QString fromEnvironment = qEnvironmentVariable(environmentVariable(port).toLatin1().constData());
        !fromEnvironment.isEmpty())
        return {fromEnvironment, DeviceSource::Environment};
    if (libraryTakesMapping && !mapping.device(port).isEmpty())
        return {mapping.device(port), DeviceSource::Mapping};
    return {QStringLiteral("/dev/ttyS%1").arg(port - 1), DeviceSource::Default};
}

} // namespace pondus::ports
