// The window "Порты": the serial devices present, followed as they are
// plugged in and pulled out while the window is open, and which device each
// of COM1..COM4 means.
#pragma once

#include "ports/PortMapping.h"
#include "ports/SerialDeviceList.h"

#include <QDialog>

#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QTableWidget;

namespace pondus::ports {

// Where serial devices appear: /dev and the stable-name folders.
QStringList defaultDeviceFolders();
// How long after the last change in those folders the window lists the
// devices again: a plug-in makes a burst of changes (the node, then udev's
// links).
constexpr int deviceSettleMs = 150;

class PortsWindow final : public QDialog {
    Q_OBJECT
public:
    using Lister = std::function<QList<SerialDeviceEntry>()>;

    // libraryTakesMapping: false for a library without SetPortDevice, whose
    // ports the mapping cannot reach. watchedFolders: where devices appear.
    PortsWindow(const PortMapping &initial, bool libraryTakesMapping, Lister lister,
                QStringList watchedFolders = {}, QWidget *parent = nullptr);

    // The mapping as the window shows it.
    PortMapping mapping() const;
    // Lists the devices again.
    void refresh();

private:
    void showDevices();
    void showChoices();
    void showResolution();

    PortMapping shown_;
    bool libraryTakesMapping_;
    Lister lister_;
    QList<SerialDeviceEntry> devices_;
    QLabel *count_ = nullptr;
    QTableWidget *table_ = nullptr;
    std::array<QComboBox *, portCount> choices_{};
    std::array<QLabel *, portCount> notes_{};
};

} // namespace pondus::ports
