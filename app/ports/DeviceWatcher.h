// Notices serial devices being plugged in and pulled out: watches /dev and
// the stable-name folders for changes and reports them once the burst of
// changes a plug-in makes (the node, then udev's links) has settled.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace pondus::ports {

class DeviceWatcher final : public QObject {
    Q_OBJECT
public:
    // Folders that may not exist yet are watched once they appear.
    explicit DeviceWatcher(QStringList folders, QObject *parent = nullptr);

    static QStringList defaultFolders();
    // How long after the last change devicesChanged comes.
    static constexpr int settleMs = 150;

signals:
    void devicesChanged();

private:
    void watchWhatExists();

    QStringList folders_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
};

} // namespace pondus::ports
