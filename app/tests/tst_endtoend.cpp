// The window on the real scale link library, with the balance-line
// simulator on a pseudo-terminal standing in for the serial line: a run
// started with "Начать" on COM1 and ended with "Прервать".
#include "FormFixture.h"
#include "recording/LinkLibrary.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>
#include <QtTest>

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void runOnSimulatedBalances()
    {
        QProcess simulator;
        simulator.start(QStringLiteral(BALANCE_SIMULATOR), {QStringLiteral("--balances"), QStringLiteral("3")});
        QVERIFY2(simulator.waitForStarted(5000), qPrintable(simulator.errorString()));
        const auto stopSimulator = qScopeGuard([&] {
            simulator.kill();
            simulator.waitForFinished(5000);
        });
        QDeadlineTimer deadline(10000);
        while (!simulator.canReadLine() && !deadline.hasExpired())
            simulator.waitForReadyRead(int(deadline.remainingTime()));
        const QByteArray devicePath = simulator.readLine().trimmed();
        QVERIFY(devicePath.startsWith("/dev/"));
        qputenv("TRUTINA_COM1", devicePath);

        LinkLibrary link(QCoreApplication::applicationDirPath());
        QVERIFY(link.loaded());
        FormFixture f(link);
        f.check({0, 1, 2});
        MainFormLayout::showText(f.control<QComboBox>("ComCB"), QStringLiteral("COM1"));
        MainFormLayout::showText(f.control<QComboBox>("ComboBox1"), QStringLiteral("0,2"));
        f.control<QLineEdit>("SizeEdit")->setText(QStringLiteral("20"));

        f.click("WeightButton");

        QCOMPARE(f.control<QLabel>("Label12")->text(), QStringLiteral("COM1"));
        QCOMPARE(f.control<QLabel>("Label6")->text(), QStringLiteral("OnLine"));
        QVERIFY(f.shown("StopButton"));
        auto *poll = f.control<QTimer>("Timer2");
        QVERIFY(poll->isActive());
        QCOMPARE(poll->interval(), 200);
        const MeasurementTable &table = f.form().table();
        QTRY_VERIFY_WITH_TIMEOUT(table.measurementRows() >= 3, 20000);

        f.click("StopButton");
        QVERIFY(!poll->isActive());
        QVERIFY(f.shown("WeightButton"));
        const int rows = table.measurementRows();
        QCOMPARE(table.cellText(1, 0), QStringLiteral("№"));
        for (int j = 1; j <= 3; ++j)
            QCOMPARE(table.cellText(0, 1 + 2 * j), QStringLiteral("Весы №%1").arg(j));
        for (int row = 3; row < 3 + rows; ++row) {
            QCOMPARE(table.cellText(row, 0), QString::number(row - 2));
            for (int j = 1; j <= 3; ++j)
                QVERIFY(table.cellNumber(row, 1 + 2 * j).has_value());
        }
        for (int j = 1; j <= 3; ++j)
            QCOMPARE(f.series(j)->count(), rows);
        QVERIFY(f.messages.isEmpty());

        // Stopped: no more rows, though the library goes on reading.
        QTest::qWait(600);
        QCOMPARE(table.measurementRows(), rows);
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
