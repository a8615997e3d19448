// Notices serial devices being plugged in and pulled out.
#include "ports/DeviceWatcher.h"

#include <QFileInfo>

namespace pondus::ports {

DeviceWatcher::DeviceWatcher(QStringList folders, QObject *parent)
    : QObject(parent), folders_(std::move(folders))
{
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, &DeviceWatcher::devicesChanged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        // /dev/serial/by-id comes and goes with the first and last adapter.
        watchWhatExists();
        settle_.start();
    });
    watchWhatExists();
}

QStringList DeviceWatcher::defaultFolders()
{
    return {QStringLiteral("/dev"), QStringLiteral("/dev/serial"), QStringLiteral("/dev/serial/by-id")};
}

void DeviceWatcher::watchWhatExists()
{
    const QStringList watched = watcher_.directories();
    for (const QString &folder : folders_)
        if (!watched.contains(folder) && QFileInfo(folder).isDir())
            watcher_.addPath(folder);
}

} // namespace pondus::ports
