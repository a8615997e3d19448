// The window on the real scale link library, with the balance-line
// simulator on a pseudo-terminal standing in for the serial line.
#include "FormFixture.h"
#include "LinkLibrary.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <QtTest>

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void recordsReadingsFromSimulatedBalances()
    {
        QProcess simulator;
        simulator.start(QStringLiteral(BALANCE_SIMULATOR), {QStringLiteral("--balances"), QStringLiteral("2")});
        QVERIFY2(simulator.waitForStarted(5000), qPrintable(simulator.errorString()));
        QDeadlineTimer deadline(10000);
        while (!simulator.canReadLine() && !deadline.hasExpired())
            simulator.waitForReadyRead(int(deadline.remainingTime()));
        const QByteArray devicePath = simulator.readLine().trimmed();
        QVERIFY(devicePath.startsWith("/dev/"));
        qputenv("TRUTINA_COM1", devicePath);

        LinkLibrary link(QCoreApplication::applicationDirPath());
        QVERIFY(link.loaded());
        QVERIFY(link.hasSetComPort());
        QVERIFY(link.hasFreshData());

        FormFixture f(link);
        f.check({0, 1});
        link.setComPort(1);
        ReadingsBlock block;
        QTRY_VERIFY_WITH_TIMEOUT((link.freshData(block), block.linkState() == TRUTINA_LINK_ONLINE), 15000);
        QCOMPARE(block.balanceCount(), 2);

        auto *poll = f.control<QTimer>("Timer2");
        poll->start();
        const MeasurementTable &table = f.form().table();
        QTRY_VERIFY_WITH_TIMEOUT(table.measurementRows() >= 3, 20000);
        poll->stop();

        QCOMPARE(table.cellText(0, 3), QStringLiteral("Весы №1"));
        QCOMPARE(table.cellText(0, 5), QStringLiteral("Весы №2"));
        QCOMPARE(table.cellText(1, 3), modelDesignation(block.modelCode(1)));
        QCOMPARE(table.cellText(2, 5), QString::number(block.identNumber(2)));
        for (int row = 3; row < 6; ++row) {
            QCOMPARE(table.cellText(row, 0), QString::number(row - 2));
            QVERIFY(table.cellNumber(row, 3).has_value());
            QVERIFY(table.cellNumber(row, 5).has_value());
        }
        QVERIFY(f.series(1)->count() >= 3);
        QVERIFY(f.messages.isEmpty());
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
