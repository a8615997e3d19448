// The ports as the main window deals with them.
#include "ports/MainFormPorts.h"

#include "recording/ReadingSource.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>

namespace pondus::ports {
MainFormPorts::MainFormPorts(ReadingSource &source, QLabel *deviceLabel, QLabel *reasonLabel, QWidget *window)
    : QObject(window), source_(source), deviceLabel_(deviceLabel), reasonLabel_(reasonLabel),
      parentWindow_(window), lister_([] { return listSerialDevices(); }),
      watchedFolders_(defaultDeviceFolders())
{
}

void MainFormPorts::load(const QString &settingsPath)
{
    settingsPath_ = settingsPath;
    mapping_ = PortMapping::read(settingsPath);
    applyToLibrary();
}

void MainFormPorts::applyToLibrary()
{
    if (!source_.hasSetPortDevice())
        return;
    for (int port = 1; port <= portCount; ++port)
        source_.setPortDevice(port, QFile::encodeName(mapping_.device(port)));
}

QString MainFormPorts::devicePath(int port) const
{
    return resolvePort(port, mapping_, source_.hasSetPortDevice()).path;
}

void MainFormPorts::showDeviceFor(int32_t port)
{
    shownPort_ = port;
    if (port < 1 || port > portCount) {
        deviceLabel_->setText(QStringLiteral("COM1…COM4 по очереди"));
        QStringList all;
        for (int each = 1; each <= portCount; ++each)
            all.append(portName(each) + QStringLiteral(": ") + devicePath(each));
        deviceLabel_->setToolTip(all.join(QLatin1Char('\n')));
        return;
    }
    const ResolvedPort resolved = resolvePort(port, mapping_, source_.hasSetPortDevice());
    // A device that is not there is said so, after the path.
    const QString missing = devicePresent(resolved.path) ? QString() : QStringLiteral(" (%1)").arg(missingDeviceText);
    // Long stable names are shortened in the middle; the tip has them whole.
    const QFontMetrics metrics = deviceLabel_->fontMetrics();
    const int room = std::max(deviceLabel_->width(), 160) - metrics.horizontalAdvance(missing);
    deviceLabel_->setText(metrics.elidedText(resolved.path, Qt::ElideMiddle, room) + missing);
    deviceLabel_->setToolTip(resolved.source == DeviceSource::Environment
                                 ? QStringLiteral("%1 (переменная %2)").arg(resolved.path, environmentVariable(port))
                                 : resolved.path);
}

void MainFormPorts::setLister(PortsWindow::Lister lister, QStringList watchedFolders)
{
    lister_ = std::move(lister);
    watchedFolders_ = std::move(watchedFolders);
}

void MainFormPorts::openPortsWindow()
{
    if (window_) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    window_ = new PortsWindow(mapping_, source_.hasSetPortDevice(), lister_, watchedFolders_, parentWindow_);
    window_->setAttribute(Qt::WA_DeleteOnClose);
    connect(window_, &QDialog::accepted, this, [this] { save(window_->mapping()); });
    window_->show();
}

void MainFormPorts::save(const PortMapping &mapping)
{
    mapping_ = mapping;
    applyToLibrary();
    showDeviceFor(shownPort_);
    if (!mapping_.write(settingsPath_))
        QMessageBox::critical(parentWindow_, QStringLiteral("PONDUS"),
                              QStringLiteral("Не удалось записать назначение портов в %1.").arg(settingsPath_));
}

LinkDiagnosis MainFormPorts::diagnosisFor(int32_t port) const
{
    return LinkDiagnosis::forPort(port, [this](int each) { return devicePath(each); }, [lister = lister_] { return systemPaths(lister()); });
}

void MainFormPorts::showReason(const QString &reason)
{
    reasonLabel_->setText(reason);
    reasonLabel_->setVisible(!reason.isEmpty());
}

} // namespace pondus::ports
