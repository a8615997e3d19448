// What the window's session tells those who observe its runs: the settings
// and times of a run when it starts and stops, and every recorded row.
#include "FakeReadingSource.h"
#include "FormFixture.h"

#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QtTest>

class RunHooksTest : public QObject, private SessionObserver {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;
    QList<RunSettings> started;
    QList<int64_t> stoppedAt;
    QList<RecordedRow> rows;

    void runStarted(const RunInfo &run) override { started.append(run.settings); }
    void runStopped(const RunInfo &run) override { stoppedAt.append(run.stoppedUtcMs); }
    void rowCommitted(const CommittedRow &row) override { rows.append(row.row); }

    FormFixture &f() { return *fixture; }
    void start(const QString &period)
    {
        MainFormLayout::showText(f().control<QComboBox>("ComCB"), QStringLiteral("COM2"));
        MainFormLayout::showText(f().control<QComboBox>("ComboBox1"), period);
        f().click("WeightButton");
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        link.setLink(TRUTINA_LINK_ONLINE, 3);
        fixture = std::make_unique<FormFixture>(link);
        started.clear();
        stoppedAt.clear();
        rows.clear();
        f().form().session().addObserver(*this);
    }
    void cleanup() { fixture.reset(); }

    void aRunIsAnnouncedWithItsSettingsAndTimes()
    {
        f().check({0, 2});
        const int64_t before = QDateTime::currentMSecsSinceEpoch();
        start(QStringLiteral("0,4"));
        QCOMPARE(started.size(), 1);
        const RecordingSession &session = f().form().session();
        QVERIFY(session.running());
        QVERIFY(session.run().startedUtcMs >= before &&
                session.run().startedUtcMs <= QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(started[0].port, std::string("COM2"));
        QCOMPARE(started[0].mode, RecordingMode::Periodic);
        QCOMPARE(started[0].periodMs, 400);
        QCOMPARE(started[0].measurementBound, 20);
        QCOMPARE(started[0].balances, (std::vector<int32_t>{1, 3}));
        QVERIFY(stoppedAt.isEmpty());

        f().click("StopButton");
        QCOMPARE(stoppedAt.size(), 1);
        QVERIFY(stoppedAt[0] >= session.run().startedUtcMs);
        QVERIFY(!session.running());
        f().click("StopButton"); // idle already: no second stop
        QCOMPARE(stoppedAt.size(), 1);
    }

    void onNewWeightCarriesItsThreshold()
    {
        f().control<QLineEdit>("MaxDif")->setText(QStringLiteral("25"));
        start(QStringLiteral("при новом весе"));
        QCOMPARE(started.size(), 1);
        QCOMPARE(started[0].mode, RecordingMode::OnNewWeight);
        QCOMPARE(started[0].threshold, 25);
    }

    void everyRecordedRowReachesTheSinks()
    {
        f().check({1});
        start(QStringLiteral("1"));
        for (int j = 1; j <= 3; ++j)
            link.deliver(j, 100 * j, 10, true, 204);
        f().form().Timer2Timer();
        f().form().Timer2Timer(); // nothing new: no row
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].number, 1);
        QCOMPARE(rows[0].readings.size(), size_t(1));
        QCOMPARE(rows[0].readings[0].balance, 2);
        QCOMPARE(rows[0].readings[0].rawValue, 200);
        QCOMPARE(rows[0].readings[0].shownUnit, int8_t(4));
        QCOMPARE(f().form().table().measurementRows(), 1);
    }

    void closingTheWindowStopsTheRun()
    {
        start(QStringLiteral("1"));
        fixture->close();
        QCOMPARE(stoppedAt.size(), 1);
    }

    void aBalanceBeyondTheLineStopsTheRun()
    {
        f().check({0, 3});
        start(QStringLiteral("1"));
        f().form().Timer2Timer();
        QCOMPARE(f().messages, QStringList{QStringLiteral("Подключено 3 весов.")});
        QCOMPARE(stoppedAt.size(), 1);
        QVERIFY(!f().checked(3));
    }
};

QTEST_MAIN(RunHooksTest)
#include "tst_runhooks.moc"
