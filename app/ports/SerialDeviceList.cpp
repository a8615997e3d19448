// The serial devices present, with their stable names.
#include "ports/SerialDeviceList.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include <algorithm>

namespace pondus::ports {

QList<SerialDeviceEntry> listSerialDevices(const QString &stableNameDir)
{
    QList<SerialDeviceEntry> entries;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        SerialDeviceEntry entry;
        entry.systemPath = port.systemLocation();
        entry.kernelName = port.portName();
        entry.vendor = port.manufacturer();
        entry.product = port.description();
        entry.serialNumber = port.serialNumber();
        if (entry.vendor.isEmpty() && port.hasVendorIdentifier())
            entry.vendor = QStringLiteral("%1").arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'));
        if (entry.product.isEmpty() && port.hasProductIdentifier())
            entry.product = QStringLiteral("%1").arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
        entries.append(entry);
    }
    std::ranges::sort(entries, {}, &SerialDeviceEntry::kernelName);
    attachStableNames(entries, stableNameDir);
    return entries;
}

void attachStableNames(QList<SerialDeviceEntry> &entries, const QString &stableNameDir)
{
    QHash<QString, QString> stableNameOf; // device path -> link to it
    const QDir dir(stableNameDir);
    for (const QFileInfo &link : dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        if (link.isSymLink())
            stableNameOf.insert(link.canonicalFilePath(), link.absoluteFilePath());
    for (SerialDeviceEntry &entry : entries) {
        const QString device = QFileInfo(entry.systemPath).canonicalFilePath();
        entry.stableName = stableNameOf.value(device.isEmpty() ? entry.systemPath : device);
    }
}

QStringList systemPaths(const QList<SerialDeviceEntry> &devices)
{
    QStringList paths;
    for (const SerialDeviceEntry &device : devices)
        paths.append(device.systemPath);
    return paths;
}

} // namespace pondus::ports
