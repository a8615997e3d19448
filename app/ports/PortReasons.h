// The operator's texts for a port that does not come on line, naming the
// device and saying what to do about it.
#pragma once

#include "ports/PortProbe.h"

#include <QString>
#include <QStringList>

namespace pondus::ports {

// presentDevices: the serial devices there are, named when the device is missing.
QString probeReason(const QString &path, const PortProbe &probe, const QStringList &presentDevices);
// The device opens, but no balance answers the count.
QString noAnswerReason(const QString &path);

} // namespace pondus::ports
