// Notices serial devices being plugged in and pulled out: watches /dev and
// the stable-name folders for changes and reports them once the burst of
// changes a plug-in makes (the node, then udev's links) has settled.
#pragma once

#include <QStringList>

#include <functional>

class QObject;

namespace pondus::ports {

// How long after the last change the report comes.
constexpr int deviceSettleMs = 150;

QStringList defaultDeviceFolders();

// Calls `changed` for as long as `owner` lives. Folders that may not exist
// yet are watched once they appear.
void watchDevices(const QStringList &folders, QObject *owner, const std::function<void()> &changed);

} // namespace pondus::ports
