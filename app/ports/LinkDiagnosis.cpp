// Finds why the chosen port does not come on line, within the link wait, and says it.
#include "ports/LinkDiagnosis.h"

#include "ports/PortMapping.h"
#include "ports/SerialDeviceList.h"

#include <trutina.h>

#include <cstring>

namespace pondus::ports {

QString probeReason(const QString &path, const PortProbe &probe, const QStringList &presentDevices)
{
    switch (probe.outcome) {
    case PortProbe::Outcome::Missing:
        return presentDevices.isEmpty()
                   ? QStringLiteral("Устройство %1 не найдено. Последовательных портов в системе нет.").arg(path)
                   : QStringLiteral("Устройство %1 не найдено. Последовательные порты в системе: %2.")
                         .arg(path, presentDevices.join(QStringLiteral(", ")));
    case PortProbe::Outcome::NotPermitted:
        return QStringLiteral("Нет доступа к %1: устройство принадлежит группе %2. Добавьте себя в эту "
                              "группу командой «sudo usermod -aG %2 $USER», затем выйдите из системы и "
                              "войдите снова: группа действует только с нового входа.")
            .arg(path, probe.group);
    case PortProbe::Outcome::Held:
        return probe.holder.isEmpty()
                   ? QStringLiteral("Порт %1 занят другой программой.").arg(path)
                   : QStringLiteral("Порт %1 занят другой программой: %2.").arg(path, probe.holder);
    case PortProbe::Outcome::NotSerial:
        return QStringLiteral("%1 не последовательный порт.").arg(path);
    case PortProbe::Outcome::Failed:
        return QStringLiteral("Порт %1 не открывается: %2.").arg(path, QString::fromLocal8Bit(std::strerror(probe.error)));
    case PortProbe::Outcome::Usable:
        break;
    }
    return noAnswerReason(path);
}

QString noAnswerReason(const QString &path)
{
    return QStringLiteral("Порт %1 открывается, но весы не отвечают: проверьте кабель и питание весов.").arg(path);
}

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
