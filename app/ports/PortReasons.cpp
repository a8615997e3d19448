// The operator's texts for a port that does not come on line.
#include "ports/PortReasons.h"

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

} // namespace pondus::ports
