// The port mapping on the real library: a device chosen in [Ports] is the
// one the library opens (no environment variable involved), and a port
// where nothing answers is explained within the link wait.
#include "FormFixture.h"
#include "PseudoTerminal.h"
#include "recording/LinkLibrary.h"

#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QLabel>
#include <QtTest>

class PortsEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (int port = 1; port <= 4; ++port)
            qunsetenv(QStringLiteral("TRUTINA_COM%1").arg(port).toLatin1().constData());
    }

    void deviceChosenInTheSettingsIsTheOneOpened()
    {
        pondus::sim::SimulatorProcess simulator(BALANCE_SIMULATOR, {"--balances", "2"});
        const QByteArray devicePath = QByteArray::fromStdString(simulator.path());

        LinkLibrary link(QCoreApplication::applicationDirPath());
        QVERIFY(link.hasSetPortDevice());
        FormFixture f(link, "[MainForm]\nCOM=COM2\nFCLB(0)=1\nFCLB(1)=1\n[Ports]\nCOM2=" + devicePath + "\n");
        f.click("WeightButton");
        QCOMPARE(f.control<QLabel>("Label12")->text(), QStringLiteral("COM2"));
        QCOMPARE(f.control<QLabel>("Label6")->text(), QStringLiteral("OnLine"));
        QVERIFY(f.control<QLabel>("PortReason")->text().isEmpty());
        f.click("StopButton");
    }

    void silentLineIsExplainedWithinTheWait()
    {
        PseudoTerminal silent; // nothing answers on the far end
        QVERIFY(!silent.path().isEmpty());
        LinkLibrary link(QCoreApplication::applicationDirPath());
        FormFixture f(link, "[MainForm]\nCOM=COM3\n[Ports]\nCOM3=" + silent.path().toLocal8Bit() + "\n");
        f.click("WeightButton");
        QCOMPARE(f.control<QLabel>("Label6")->text(), QStringLiteral("Error: Out of Link."));
        QCOMPARE(f.control<QLabel>("PortReason")->text(),
                 QStringLiteral("Порт %1 открывается, но весы не отвечают: проверьте кабель и питание весов.")
                     .arg(silent.path()));
        f.click("StopButton");
        // The library must not keep the terminal that is about to go.
        link.setPortDevice(3, "/nonexistent/serial");
        link.setComPort(3);
    }
};

QTEST_MAIN(PortsEndToEndTest)
#include "tst_portsendtoend.moc"
