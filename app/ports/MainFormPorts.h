// The ports as the main window deals with them: the mapping read from
// PONDUS.ini and handed to the library, the line that says which device the
// chosen port means, the window "Порты" from the menu, and the reason a
// port does not come on line.
#pragma once

#include "ports/LinkDiagnosis.h"
#include "ports/PortMapping.h"
#include "ports/PortsWindow.h"
#include "ports/SerialDeviceList.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QWidget;
class ReadingSource;

namespace pondus::ports {

class MainFormPorts final : public QObject {
    Q_OBJECT
public:
    // deviceLabel shows the device of the chosen port, reasonLabel why the
    // line does not come up; both belong to the window.
    MainFormPorts(ReadingSource &source, QLabel *deviceLabel, QLabel *reasonLabel, QWidget *window);

    // Reads section [Ports] and hands the mapping to the library.
    void load(const QString &settingsPath);
    const PortMapping &mapping() const { return mapping_; }

    // The device the port selector's text means (port 0: the search).
    void showDeviceFor(int32_t port);
    // Opens the window "Порты"; a saved choice is written, handed to the
    // library and shown at once.
    void openPortsWindow();
    PortsWindow *portsWindow() const { return window_; }
    // Where the window lists devices from; tests and benchmarks replace it.
    void setLister(PortsWindow::Lister lister, QStringList watchedFolders);

    // For the link wait of a run on port 1..4, or 0 for the search.
    LinkDiagnosis diagnosisFor(int32_t port) const;
    void showReason(const QString &reason);

private:
    void applyToLibrary();
    void save(const PortMapping &mapping);
    QString devicePath(int port) const;

    ReadingSource &source_;
    QLabel *deviceLabel_;
    QLabel *reasonLabel_;
    QWidget *parentWindow_;
    QString settingsPath_;
    PortMapping mapping_;
    int32_t shownPort_ = 1;
    PortsWindow::Lister lister_;
    QStringList watchedFolders_;
    QPointer<PortsWindow> window_;
};

} // namespace pondus::ports
