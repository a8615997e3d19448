// Notices serial devices being plugged in and pulled out.
#include "ports/DeviceWatcher.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace pondus::ports {

QStringList defaultDeviceFolders()
{
    return {QStringLiteral("/dev"), QStringLiteral("/dev/serial"), QStringLiteral("/dev/serial/by-id")};
}

void watchDevices(const QStringList &folders, QObject *owner, const std::function<void()> &changed)
{
    auto *watcher = new QFileSystemWatcher(owner);
    auto *settle = new QTimer(owner);
    settle->setSingleShot(true);
    settle->setInterval(deviceSettleMs);
    QObject::connect(settle, &QTimer::timeout, owner, changed);
    const auto watchWhatExists = [watcher, folders] {
        const QStringList watched = watcher->directories();
        for (const QString &folder : folders)
            if (!watched.contains(folder) && QFileInfo(folder).isDir())
                watcher->addPath(folder);
    };
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, owner, [watchWhatExists, settle] {
        // /dev/serial/by-id comes and goes with the first and last adapter.
        watchWhatExists();
        settle->start();
    });
    watchWhatExists();
}

} // namespace pondus::ports
