// Finds, while a run waits for the line, why the chosen port does not come
// on line, so that the reason is known before the wait ends.
// The device is tried only while the library's state says it does not hold
// it (port search); during the line setup the library has the port open and
// only the balances can be missing.
#pragma once

#include "ports/PortProbe.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace pondus::ports {

// The operator's texts for a port that does not come on line, naming the
// device and saying what to do about it. presentDevices: the serial devices
// there are, named when the device is missing.
QString probeReason(const QString &path, const PortProbe &probe, const QStringList &presentDevices);
// The device opens, but no balance answers the count.
QString noAnswerReason(const QString &path);

class LinkDiagnosis {
public:
    struct Target {
        int port = 0; // 1..4
        QString path;
    };
    using DeviceLister = std::function<QStringList()>;

    // One target for a fixed port, four for the automatic search.
    LinkDiagnosis(QList<Target> targets, DeviceLister presentDevices);
    // The targets of port 1..4, or of all four for the search (0), with the
    // device each one opens; the present devices are the system's serial
    // ports unless a lister is given.
    static LinkDiagnosis forPort(int32_t port, const std::function<QString(int port)> &devicePath,
                                 DeviceLister presentDevices = {});

    // Called at each look at the link during the wait; the reason to show
    // now, empty while there is none (or the line is on line).
    QString look(qint64 waitedMs, int32_t linkState, int32_t currentPort);

    // The line gets this long to come up before anything is tried.
    static constexpr qint64 firstLookMs = 1000;
    static constexpr qint64 lookEveryMs = 1000;

private:
    QString reasonFor(const Target &target, int32_t linkState, int32_t currentPort,
                      std::optional<QStringList> &present) const;

    QList<Target> targets_;
    DeviceLister presentDevices_;
    qint64 nextLookMs_ = firstLookMs;
    QString reason_;
};

} // namespace pondus::ports
