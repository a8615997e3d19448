// Finds why the chosen port does not come on line, within the link wait.
#include "ports/LinkDiagnosis.h"

#include "ports/PortMapping.h"
#include "ports/PortProbe.h"
#include "ports/PortReasons.h"
#include "ports/SerialDeviceList.h"

#include <trutina.h>

namespace pondus::ports {

LinkDiagnosis::LinkDiagnosis(QList<Target> targets, DeviceLister presentDevices)
    : targets_(std::move(targets)), presentDevices_(std::move(presentDevices))
{
}

LinkDiagnosis LinkDiagnosis::forPort(int32_t port, const std::function<QString(int port)> &devicePath,
                                     DeviceLister presentDevices)
{
    QList<Target> targets;
    for (int each = 1; each <= portCount; ++each)
        if (port == 0 || port == each)
            targets.append({each, devicePath(each)});
    if (!presentDevices)
        presentDevices = [] { return systemPaths(listSerialDevices()); };
    return LinkDiagnosis(std::move(targets), std::move(presentDevices));
}

QString LinkDiagnosis::look(qint64 waitedMs, int32_t linkState, int32_t currentPort)
{
    if (linkState == TRUTINA_LINK_ONLINE) {
        reason_.clear();
        return reason_;
    }
    if (waitedMs < nextLookMs_)
        return reason_;
    nextLookMs_ = waitedMs + lookEveryMs;

    std::optional<QStringList> present; // listed only when a device is missing
    QStringList lines;
    for (const Target &target : targets_) {
        const QString reason = reasonFor(target, linkState, currentPort, present);
        lines.append(targets_.size() == 1 ? reason : portName(target.port) + QStringLiteral(": ") + reason);
    }
    reason_ = lines.join(QLatin1Char('\n'));
    return reason_;
}

QString LinkDiagnosis::reasonFor(const Target &target, int32_t linkState, int32_t currentPort,
                                 std::optional<QStringList> &present) const
{
    // Setting up the line: the library has this port open.
    if (linkState == TRUTINA_LINK_INITIALISING && currentPort == target.port)
        return noAnswerReason(target.path);
    const PortProbe probe = probePort(target.path);
    if (probe.outcome == PortProbe::Outcome::Usable || probe.heldByThisProcess)
        return noAnswerReason(target.path);
    if (probe.outcome == PortProbe::Outcome::Missing && !present)
        present = presentDevices_();
    return probeReason(target.path, probe, present.value_or(QStringList()));
}

} // namespace pondus::ports
