// Which device each of COM1..COM4 means on this computer: the operator's
// choice in section [Ports] of PONDUS.ini, the user's environment variable
// TRUTINA_COMn over it, and /dev/ttyS0..3 when neither names one.
#pragma once

#include <QString>

#include <array>

namespace pondus::ports {

constexpr int portCount = 4;

struct PortMapping {
    // Index 0 is COM1; an empty text means no device was chosen.
    std::array<QString, portCount> devices;

    // The section [Ports] of the settings file; an absent file or key
    // leaves the port unassigned.
    static PortMapping read(const QString &settingsPath);
    // Rewrites only the section [Ports], keeping the rest of the file.
    bool write(const QString &settingsPath) const;

    const QString &device(int port) const { return devices[size_t(port - 1)]; }
    bool operator==(const PortMapping &) const = default;
};

// Where the device a port opens comes from, in order of precedence.
enum class DeviceSource { Environment, Mapping, Default };

struct ResolvedPort {
    QString path;
    DeviceSource source = DeviceSource::Default;
};

// The device the library opens for port 1..4, by the library's own rule:
// TRUTINA_COMn when set and not empty, else the mapping when the library
// takes mappings, else /dev/ttyS(n-1).
ResolvedPort resolvePort(int port, const PortMapping &mapping, bool libraryTakesMapping);

// Whether a device stands at the path now. A port whose device is not there
// is shown with missingDeviceText.
bool devicePresent(const QString &path);
inline const QString missingDeviceText = QStringLiteral("нет устройства");

QString portName(int port);
QString environmentVariable(int port);

} // namespace pondus::ports
