// The serial devices present on this computer, as Qt's serial port module
// lists them, each with its stable name under /dev/serial/by-id when udev
// made one. Listing only: the library opens the ports with its own code.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace pondus::ports {

struct SerialDeviceEntry {
    QString systemPath;   // /dev/ttyUSB0
    QString kernelName;   // ttyUSB0
    QString stableName;   // /dev/serial/by-id/usb-..., or empty
    QString vendor;
    QString product;
    QString serialNumber;

    // What a mapping should store: the stable name survives moving the
    // adapter to another socket, the kernel name does not.
    const QString &preferredPath() const { return stableName.isEmpty() ? systemPath : stableName; }
};

// The devices present now, sorted by kernel name.
QList<SerialDeviceEntry> listSerialDevices(const QString &stableNameDir = QStringLiteral("/dev/serial/by-id"));
// The devices' system paths, in order.
QStringList systemPaths(const QList<SerialDeviceEntry> &devices);

// Fills in the stable names: each link in stableNameDir that leads to an
// entry's device becomes its stable name.
void attachStableNames(QList<SerialDeviceEntry> &entries, const QString &stableNameDir);

} // namespace pondus::ports
