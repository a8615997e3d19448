// Times the window "Порты" with twenty serial devices: the first build of
// the list and each rebuild after a device comes or goes, the time from a
// device appearing to the list showing it, and one look for the reason a
// port fails (the device tried, /proc searched for its holder).
//
//   ports_bench [devices]
#include "ports/PortProbe.h"
#include "ports/PortsWindow.h"
#include "ports/SerialDeviceList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <sys/file.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace pondus::ports;

namespace {

// The machine's own devices, as Qt lists them, plus `count` made-up ones
// in a folder with a stable-name link each.
QList<SerialDeviceEntry> machineAndMadeUp(const QString &dev, const QString &byId)
{
    QList<SerialDeviceEntry> entries = listSerialDevices(byId);
    QList<SerialDeviceEntry> madeUp;
    for (const QFileInfo &file : QDir(dev).entryInfoList({QStringLiteral("tty*")}, QDir::Files, QDir::Name))
        madeUp.append({file.absoluteFilePath(), file.fileName(), {}, QStringLiteral("FTDI"),
                       QStringLiteral("FT232R USB UART"), file.fileName().toUpper()});
    attachStableNames(madeUp, byId);
    return entries + madeUp;
}

void makeDevice(const QString &dev, const QString &byId, int n)
{
    const QString device = dev + QStringLiteral("/ttyUSB%1").arg(n);
    QFile(device).open(QIODevice::WriteOnly);
    QFile::link(device, byId + QStringLiteral("/usb-FTDI_FT232R_USB_UART_%1-if00-port0").arg(n, 6, 10, QLatin1Char('0')));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const int devices = argc > 1 ? std::atoi(argv[1]) : 20;
    QTemporaryDir folder;
    const QString dev = folder.path();
    const QString byId = folder.filePath(QStringLiteral("by-id"));
    QDir(dev).mkpath(QStringLiteral("by-id"));
    for (int n = 0; n < devices; ++n)
        makeDevice(dev, byId, n);
    const auto lister = [&] { return machineAndMadeUp(dev, byId); };

    QElapsedTimer timer;
    timer.start();
    const QList<SerialDeviceEntry> machine = listSerialDevices();
    const double machineListMs = double(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    PortsWindow window(PortMapping{}, true, lister, {dev, byId});
    const double firstBuildMs = double(timer.nsecsElapsed()) / 1e6;
    const int rows = window.findChild<QTableWidget *>()->rowCount();

    constexpr int rebuilds = 50;
    double total = 0, worst = 0;
    for (int i = 0; i < rebuilds; ++i) {
        timer.restart();
        window.refresh();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        total += ms;
        worst = std::max(worst, ms);
    }

    // A device plugged in while the window is open, until the list shows it.
    auto *table = window.findChild<QTableWidget *>();
    timer.restart();
    makeDevice(dev, byId, devices);
    while (table->rowCount() != rows + 1 && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double plugMs = double(timer.nsecsElapsed()) / 1e6;

    // One look for a reason: a terminal locked by another open file, so that
    // /proc is searched for the holder.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    const QString terminal = QString::fromLocal8Bit(::ptsname(master));
    const int locked = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ::flock(locked, LOCK_EX);
    timer.restart();
    const PortProbe probe = probePort(terminal);
    const double probeMs = double(timer.nsecsElapsed()) / 1e6;
    ::close(locked);
    ::close(master);

    std::printf("this machine's serial devices: %lld, listed in %.2f ms\n", qlonglong(machine.size()), machineListMs);
    std::printf("window with %d devices: first build %.2f ms; rebuild %.2f ms mean, %.2f ms worst (%d rebuilds)\n",
                rows, firstBuildMs, total / rebuilds, worst, rebuilds);
    std::printf("device plugged in -> shown in the list: %.0f ms (settling %d ms included)\n", plugMs,
                deviceSettleMs);
    std::printf("reason for a locked port, holder searched in /proc: %.2f ms (%s)\n", probeMs,
                probe.outcome == PortProbe::Outcome::Held ? "held" : "unexpected outcome");
    std::fflush(stdout);
    return table->rowCount() == rows + 1 ? 0 : 1;
}
