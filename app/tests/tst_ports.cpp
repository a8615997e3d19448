// The port mapping: stored in [Ports] and read back, the environment's
// precedence, handed to the library and shown in the main window; the window
// "Порты" following devices as they come and go; the reason a port fails on
// screen within the link wait.
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "ports/MainFormPorts.h"
#include "ports/PortMapping.h"
#include "ports/PortsWindow.h"
#include "ports/SerialDeviceList.h"

#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTableWidget>
#include <QtTest>

using namespace pondus::ports;

namespace {

const QString byIdName = QStringLiteral("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");

// A device folder of the test's own: every file tty* in it is a device.
QList<SerialDeviceEntry> devicesIn(const QString &folder, const QString &stableNameDir)
{
    QList<SerialDeviceEntry> entries;
    for (const QFileInfo &file : QDir(folder).entryInfoList({QStringLiteral("tty*")}, QDir::Files, QDir::Name))
        entries.append({file.absoluteFilePath(), file.fileName(), {}, QStringLiteral("FTDI"),
                        QStringLiteral("FT232R USB UART"), QStringLiteral("A1B2C3")});
    attachStableNames(entries, stableNameDir);
    return entries;
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList mainFormLines(const QByteArray &file)
{
    QStringList lines;
    bool inSection = false;
    for (const QString &line : QString::fromUtf8(file).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            inSection = line.trimmed() == QLatin1String("[MainForm]");
        if (inSection && !line.trimmed().isEmpty())
            lines.append(line);
    }
    return lines;
}

// Clears TRUTINA_COM1..4 for the test and restores them after.
class CleanEnvironment {
public:
    CleanEnvironment()
    {
        for (int port = 1; port <= portCount; ++port) {
            saved_[size_t(port - 1)] = qgetenv(environmentVariable(port).toLatin1().constData());
            qunsetenv(environmentVariable(port).toLatin1().constData());
        }
    }
    ~CleanEnvironment()
    {
        for (int port = 1; port <= portCount; ++port)
            if (!saved_[size_t(port - 1)].isNull())
                qputenv(environmentVariable(port).toLatin1().constData(), saved_[size_t(port - 1)]);
            else
                qunsetenv(environmentVariable(port).toLatin1().constData());
    }

private:
    std::array<QByteArray, portCount> saved_;
};

} // namespace

class PortsTest : public QObject {
    Q_OBJECT

private slots:
    void mappingIsStoredInItsOwnSectionAndReadBack()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("PONDUS.ini"));
        const QByteArray mainForm = "; written by hand\n[MainForm]\nGetInfPeriod=0,2\nCOM=COM3\nFCLB(0)=1\n";
        {
            QFile file(ini);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(mainForm);
        }
        PortMapping mapping;
        mapping.devices = {QStringLiteral("/dev/serial/by-id/") + byIdName, QString(), QStringLiteral("/dev/ttyACM0"),
                           QString()};
        QVERIFY(mapping.write(ini));

        QFile file(ini);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.startsWith("; written by hand\n"));
        QCOMPARE(mainFormLines(written), mainFormLines(mainForm));
        QVERIFY(written.contains("[Ports]\nCOM1=/dev/serial/by-id/" + byIdName.toUtf8() +
                                 "\nCOM2=\nCOM3=/dev/ttyACM0\nCOM4=\n"));
        QCOMPARE(PortMapping::read(ini), mapping);
        QCOMPARE(PortMapping::read(dir.filePath(QStringLiteral("absent.ini"))), PortMapping());
    }

    void environmentWinsOverTheMappingWhichWinsOverTheDefault()
    {
        CleanEnvironment clean;
        PortMapping mapping;
        mapping.devices[0] = QStringLiteral("/dev/ttyUSB0");
        mapping.devices[1] = QStringLiteral("/dev/ttyUSB1");
        qputenv("TRUTINA_COM2", "/dev/pts/7");
        qputenv("TRUTINA_COM3", ""); // set but empty counts as unset, as in the library
        QCOMPARE(resolvePort(1, mapping, true).path, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(resolvePort(1, mapping, true).source, DeviceSource::Mapping);
        QCOMPARE(resolvePort(2, mapping, true).path, QStringLiteral("/dev/pts/7"));
        QCOMPARE(resolvePort(2, mapping, true).source, DeviceSource::Environment);
        QCOMPARE(resolvePort(3, mapping, true).path, QStringLiteral("/dev/ttyS2"));
        QCOMPARE(resolvePort(3, mapping, true).source, DeviceSource::Default);
        // A library that cannot take the mapping opens its own default.
        QCOMPARE(resolvePort(1, mapping, false).path, QStringLiteral("/dev/ttyS0"));
    }

    void stableNamesAreFoundThroughTheirLinks()
    {
        QTemporaryDir dev;
        touch(dev.filePath(QStringLiteral("ttyUSB0")));
        touch(dev.filePath(QStringLiteral("ttyACM0")));
        QDir(dev.path()).mkpath(QStringLiteral("by-id"));
        const QString byId = dev.filePath(QStringLiteral("by-id"));
        QVERIFY(QFile::link(QStringLiteral("../ttyUSB0"), byId + QLatin1Char('/') + byIdName));
        const QList<SerialDeviceEntry> entries = devicesIn(dev.path(), byId);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].kernelName, QStringLiteral("ttyACM0"));
        QVERIFY(entries[0].stableName.isEmpty());
        QCOMPARE(entries[0].preferredPath(), entries[0].systemPath);
        QCOMPARE(entries[1].stableName, byId + QLatin1Char('/') + byIdName);
        QCOMPARE(entries[1].preferredPath(), entries[1].stableName);
    }

    void windowFollowsDevicesPluggedAndPulledWhileOpen()
    {
        CleanEnvironment clean;
        QTemporaryDir dev;
        const QString byId = dev.filePath(QStringLiteral("by-id"));
        QDir(dev.path()).mkpath(QStringLiteral("by-id"));
        touch(dev.filePath(QStringLiteral("ttyS0")));
        PortMapping mapping;
        mapping.devices[3] = QStringLiteral("/dev/serial/by-id/usb-Elsewhere-if00-port0");
        PortsWindow window(mapping, true, [&] { return devicesIn(dev.path(), byId); }, {dev.path(), byId});
        auto *table = window.findChild<QTableWidget *>(QStringLiteral("DeviceTable"));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("NoteCOM4"))->text(),
                 QStringLiteral("Открывается /dev/serial/by-id/usb-Elsewhere-if00-port0 (сейчас не подключено)."));

        // Plugged in: the node, then udev's stable link.
        touch(dev.filePath(QStringLiteral("ttyUSB0")));
        QVERIFY(QFile::link(dev.filePath(QStringLiteral("ttyUSB0")), byId + QLatin1Char('/') + byIdName));
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(table->item(1, 1)->text(), byIdName, 10000);
        QCOMPARE(table->item(1, 0)->text(), dev.filePath(QStringLiteral("ttyUSB0")));
        QCOMPARE(table->item(1, 3)->text(), QStringLiteral("FT232R USB UART"));
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("A1B2C3"));

        // Chosen for COM1: the stable name is what the mapping keeps.
        auto *com1 = window.findChild<QComboBox *>(QStringLiteral("PortCOM1"));
        const int entry = com1->findText(byId + QLatin1Char('/') + byIdName);
        QVERIFY(entry > 0);
        com1->setCurrentIndex(entry);
        QCOMPARE(window.mapping().device(1), byId + QLatin1Char('/') + byIdName);
        QCOMPARE(table->item(1, 5)->text(), QStringLiteral("COM1"));
        QCOMPARE(window.mapping().device(4), mapping.device(4));

        // Pulled out: gone from the list, still chosen.
        QFile::remove(byId + QLatin1Char('/') + byIdName);
        QFile::remove(dev.filePath(QStringLiteral("ttyUSB0")));
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 10000);
        QCOMPARE(window.mapping().device(1), byId + QLatin1Char('/') + byIdName);
    }

    void portsWindowShowsWholeTitlesNamesItsFieldsAndMarksMissingDevices()
    {
        CleanEnvironment clean;
        QTemporaryDir dev;
        touch(dev.filePath(QStringLiteral("ttyUSB0")));
        PortMapping mapping;
        mapping.devices[0] = dev.filePath(QStringLiteral("ttyUSB0"));
        mapping.devices[2] = dev.filePath(QStringLiteral("ttyUSB9"));
        qputenv("TRUTINA_COM4", dev.filePath(QStringLiteral("pts-gone")).toLocal8Bit());
        PortsWindow window(mapping, true, [&] { return devicesIn(dev.path(), dev.path()); });

        QHeaderView *titles = window.findChild<QTableWidget *>(QStringLiteral("DeviceTable"))->horizontalHeader();
        for (const int column : {0, 2, 3, 4, 5}) {
            const QString title = titles->model()->headerData(column, Qt::Horizontal).toString();
            QVERIFY2(titles->sectionSize(column) >= titles->sectionSizeHint(column), qPrintable(title));
            QVERIFY2(titles->sectionSize(column) > titles->fontMetrics().horizontalAdvance(title), qPrintable(title));
        }

        const struct {
            int port;
            bool missing;
        } ports[] = {{1, false}, {2, !QFileInfo::exists(QStringLiteral("/dev/ttyS1"))}, {3, true}, {4, true}};
        QStringList names;
        for (const auto &port : ports) {
            const QString name = portName(port.port);
            const QString note = window.findChild<QLabel *>(QStringLiteral("Note") + name)->text();
            QVERIFY2(note.contains(QStringLiteral("(нет устройства)")) ==
                         (port.missing && port.port != 3),
                     qPrintable(note));
            // A chosen adapter that is pulled out says so in its own words.
            QCOMPARE(note.contains(QStringLiteral("(сейчас не подключено)")), port.port == 3);
            // A screen reader hears the port: the field is labelled by it
            // alone, and its text part is named after it.
            auto *choice = window.findChild<QComboBox *>(QStringLiteral("Port") + name);
            const auto labels = QAccessible::queryAccessibleInterface(choice)->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels[0].first->text(QAccessible::Name), name);
            QCOMPARE(QAccessible::queryAccessibleInterface(choice->lineEdit())->text(QAccessible::Name), name);
        }
    }

    void mainWindowMarksAMissingDevice()
    {
        CleanEnvironment clean;
        FakeReadingSource link;
        QTemporaryDir dev;
        touch(dev.filePath(QStringLiteral("ttyUSB0")));
        FormFixture f(link, QStringLiteral("[MainForm]\nCOM=COM1\n[Ports]\nCOM1=%1\nCOM2=%2\n")
                                .arg(dev.filePath(QStringLiteral("ttyUSB0")), dev.filePath(QStringLiteral("ttyUSB9")))
                                .toUtf8());
        auto *device = f.control<QLabel>("PortDevice");
        QVERIFY2(!device->text().contains(QStringLiteral("нет устройства")), qPrintable(device->text()));
        MainFormLayout::showText(f.control<QComboBox>("ComCB"), QStringLiteral("COM2"));
        QVERIFY2(device->text().endsWith(QStringLiteral(" (нет устройства)")), qPrintable(device->text()));
        QCOMPARE(device->toolTip(), dev.filePath(QStringLiteral("ttyUSB9")));
    }

    void mainWindowHandsTheMappingToTheLibraryAndShowsTheDevice()
    {
        CleanEnvironment clean;
        FakeReadingSource link;
        FormFixture f(link, QByteArray("[MainForm]\nCOM=COM1\n[Ports]\nCOM1=/dev/ttyUSB0\nCOM2=\nCOM3=\nCOM4=\n"));
        QCOMPARE(link.portDevices.value(1), QByteArray("/dev/ttyUSB0"));
        QCOMPARE(link.portDevices.value(2), QByteArray());
        auto *device = f.control<QLabel>("PortDevice");
        QCOMPARE(device->toolTip(), QStringLiteral("/dev/ttyUSB0"));
        MainFormLayout::showText(f.control<QComboBox>("ComCB"), QStringLiteral("COM2"));
        QCOMPARE(device->toolTip(), QStringLiteral("/dev/ttyS1"));
        MainFormLayout::showText(f.control<QComboBox>("ComCB"), QStringLiteral("AUTO"));
        QCOMPARE(device->text(), QStringLiteral("COM1…COM4 по очереди"));
        QVERIFY(device->toolTip().startsWith(QStringLiteral("COM1: /dev/ttyUSB0\nCOM2: /dev/ttyS1")));

        qputenv("TRUTINA_COM1", "/dev/pts/9");
        MainFormLayout::showText(f.control<QComboBox>("ComCB"), QStringLiteral("COM1"));
        QCOMPARE(device->toolTip(), QStringLiteral("/dev/pts/9 (переменная TRUTINA_COM1)"));
    }

    void portsWindowFromTheMenuSavesAppliesAndSurvivesTheMainWindow()
    {
        CleanEnvironment clean;
        FakeReadingSource link;
        auto f = std::make_unique<FormFixture>(link, QByteArray("[MainForm]\nCOM=COM2\n"));
        QTemporaryDir dev;
        touch(dev.filePath(QStringLiteral("ttyUSB3")));
        f->form().ports().setLister([&] { return devicesIn(dev.path(), dev.path()); }, {});
        QAction *item = f->form().findChild<QAction *>(QStringLiteral("PortsMenuItem"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("Порты…"));
        QVERIFY(f->form().menuBar()->actions().contains(item));
        item->trigger();
        PortsWindow *window = f->form().ports().portsWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        window->findChild<QComboBox *>(QStringLiteral("PortCOM2"))->setCurrentIndex(1);
        window->accept();

        const QString device = dev.filePath(QStringLiteral("ttyUSB3"));
        QCOMPARE(link.portDevices.value(2), device.toLocal8Bit());
        QCOMPARE(f->control<QLabel>("PortDevice")->toolTip(), device);
        f->close();
        QCOMPARE(PortMapping::read(f->settingsFile()).device(2), device);
        QVERIFY(f->readFile().contains("[MainForm]"));
    }

    void olderLibraryIsToldNothingAndTheWindowSaysSo()
    {
        CleanEnvironment clean;
        FakeReadingSource link;
        link.takesPortDevices = false;
        FormFixture f(link, QByteArray("[Ports]\nCOM1=/dev/ttyUSB0\n"));
        QVERIFY(link.portDevices.isEmpty());
        QCOMPARE(f.control<QLabel>("PortDevice")->toolTip(), QStringLiteral("/dev/ttyS0"));
        f.form().ports().setLister([] { return QList<SerialDeviceEntry>(); }, {});
        f.form().ports().openPortsWindow();
        QVERIFY(!f.form().ports().portsWindow()->findChild<QLabel *>(QStringLiteral("LibraryNote"))->isHidden());
    }

    void reasonIsOnScreenBeforeTheLinkWaitEnds()
    {
        CleanEnvironment clean;
        FakeReadingSource link;
        link.setLink(TRUTINA_LINK_SETTING_UP, 0);
        FormFixture f(link, QByteArray("[MainForm]\nCOM=COM1\n[Ports]\nCOM1=/nonexistent/ttyUSB7\n"));
        auto *reason = f.control<QLabel>("PortReason");
        QElapsedTimer sinceStart;
        qint64 reasonFirstSeenMs = -1;
        int fetchesWithReason = 0;
        link.onFetch = [&] {
            if (!reason->text().isEmpty()) {
                ++fetchesWithReason;
                if (reasonFirstSeenMs < 0)
                    reasonFirstSeenMs = sinceStart.elapsed();
            }
        };
        sinceStart.start();
        f.click("WeightButton");

        QCOMPARE(f.control<QLabel>("Label6")->text(), QStringLiteral("Error: Out of Link."));
        QVERIFY(reason->text().startsWith(QStringLiteral("Устройство /nonexistent/ttyUSB7 не найдено.")));
        QVERIFY(!reason->isHidden());
        // Seen by the wait itself, which went on fetching after it appeared.
        QVERIFY(fetchesWithReason > 1);
        QVERIFY(reasonFirstSeenMs >= 0 && reasonFirstSeenMs < 5000);
    }

    void reasonGoesWhenTheLineComesUp()
    {
        CleanEnvironment clean;
        FakeReadingSource link;
        link.setLink(TRUTINA_LINK_SETTING_UP, 1);
        FormFixture f(link, QByteArray("[MainForm]\nCOM=COM1\nFCLB(0)=1\n[Ports]\nCOM1=/nonexistent/ttyUSB7\n"));
        auto *reason = f.control<QLabel>("PortReason");
        link.onFetch = [&] {
            if (!reason->text().isEmpty())
                link.setLink(TRUTINA_LINK_ONLINE, 1);
        };
        f.click("WeightButton");
        QCOMPARE(f.control<QLabel>("Label6")->text(), QStringLiteral("OnLine"));
        QVERIFY(reason->text().isEmpty());
        QVERIFY(reason->isHidden());
        f.click("StopButton");
    }
};

QTEST_MAIN(PortsTest)
#include "tst_ports.moc"
