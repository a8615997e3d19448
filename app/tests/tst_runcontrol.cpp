// Starting and stopping a run: "Начать" with its checks, the port and period
// choices and the wait for the link; "Прервать"; the threshold field.
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "recording/LinkLibrary.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

namespace {

// The texts a label showed when it was painted.
class PaintedTexts final : public QObject {
public:
    explicit PaintedTexts(QLabel *label) { label->installEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            texts.append(static_cast<QLabel *>(watched)->text());
        return false;
    }
};

} // namespace

class RunControlTest : public QObject {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;

    FormFixture &f() { return *fixture; }
    QTimer *poll() { return f().control<QTimer>("Timer2"); }
    QString label(const char *name) { return f().control<QLabel>(name)->text(); }
    void start(const QString &period = QStringLiteral("1"), const QString &count = QStringLiteral("20"))
    {
        MainFormLayout::showText(f().control<QComboBox>("ComboBox1"), period);
        f().control<QLineEdit>("SizeEdit")->setText(count);
        f().click("WeightButton");
    }
    // The controls that tell the run states apart.
    void expectControls(bool stopShown, bool settingsEnabled, bool saveAndClearEnabled)
    {
        QCOMPARE(f().shown("StopButton"), stopShown);
        QCOMPARE(f().shown("WeightButton"), !stopShown);
        for (const char *name : {"Label5", "FileCheckListBox", "ComCB", "Label4", "Label3", "ComboBox1", "Label7",
                                 "Label8", "SizeEdit"})
            QVERIFY2(f().enabled(name) == settingsEnabled, name);
        QCOMPARE(f().enabled("ApplyButton1"), saveAndClearEnabled);
        QCOMPARE(f().enabled("ClearButton"), saveAndClearEnabled);
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        link.setLink(TRUTINA_LINK_ONLINE, 3);
        fixture = std::make_unique<FormFixture>(link);
    }
    void cleanup() { fixture.reset(); }

    void startAndStop()
    {
        MainFormLayout::showText(f().control<QComboBox>("ComCB"), QString());
        start(QStringLiteral("0,2"));
        QCOMPARE(f().form().table().cellText(1, 0), QStringLiteral("№"));
        QCOMPARE(f().form().table().cellText(1, 2), QStringLiteral("Дата"));
        expectControls(true, false, false);
        QVERIFY(poll()->isActive());
        QCOMPARE(poll()->interval(), 200);
        QVERIFY(!f().enabled("ReadButton"));
        QCOMPARE(label("Label6"), QStringLiteral("OnLine"));
        // An empty port text searches all ports, and says so.
        QCOMPARE(link.selectedPorts, QList<int32_t>{0});
        QCOMPARE(label("Label12"), QStringLiteral("AUTO"));
        QCOMPARE(f().control<QComboBox>("ComCB")->currentText(), QStringLiteral("AUTO"));

        f().check({0, 2});
        f().click("StopButton");
        expectControls(false, true, true);
        QVERIFY(!poll()->isActive());
        QCOMPARE(f().form().runState().savedSelection, (std::array<bool, 10>{true, false, true}));
        QCOMPARE(link.selectedPorts.size(), 1); // the library is left polling
    }

    void measurementCount_data()
    {
        QTest::addColumn<QString>("count");
        QTest::newRow("1000") << "1000";
        QTest::newRow("0") << "0";
        QTest::newRow("1001") << "1001";
        QTest::newRow("empty") << "";
    }
    void measurementCount()
    {
        QFETCH(QString, count);
        start(QStringLiteral("1"), count);
        if (count == QLatin1String("1000")) {
            QCOMPARE(f().form().runState().measurementBound, 1000);
            expectControls(true, false, false);
            return;
        }
        QCOMPARE(f().messages, QStringList{QStringLiteral("Допустимое значение числа от 1 до 1000")});
        QCOMPARE(f().control<QLineEdit>("SizeEdit")->text(), QStringLiteral("100"));
        QCOMPARE(f().form().focusWidget(), f().control<QWidget>("SizeEdit"));
        expectRefusedStartChangedNothing();
    }

    // A refused start leaves the window as it was: every control as before,
    // no captions, so a click on the list asks nothing, and no port chosen.
    void expectRefusedStartChangedNothing()
    {
        expectControls(false, true, true);
        QVERIFY(!poll()->isActive());
        QCOMPARE(f().form().table().cellText(1, 0), QString());
        QVERIFY(link.selectedPorts.isEmpty());
        QCOMPARE(link.fetches, 0);
    }

    void periods_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("0,2") << "0,2" << 200;
        QTest::newRow("4") << "4" << 4000;
        QTest::newRow("1,5") << "1,5" << 1500;
    }
    void periods()
    {
        QFETCH(QString, typed);
        QFETCH(int, intervalMs);
        auto *period = f().control<QComboBox>("ComboBox1");
        period->lineEdit()->clear();
        QTest::keyClicks(period, typed);
        f().click("WeightButton");
        QVERIFY(poll()->isActive());
        QCOMPARE(poll()->interval(), intervalMs);
        QVERIFY(!f().form().runState().manualMode && !f().form().runState().onNewWeight);
    }

    void typedPeriodStaysAsTyped()
    {
        f().form().show();
        QVERIFY(QTest::qWaitForWindowActive(&f().form()));
        auto *period = f().control<QComboBox>("ComboBox1");
        period->setFocus();
        period->lineEdit()->clear();
        QTest::keyClicks(period, QStringLiteral("0"));
        QCOMPARE(period->currentText(), QStringLiteral("0"));
        QTest::keyClicks(period, QStringLiteral(".5"));
        QCOMPARE(f().messages.size(), 1); // the full stop
        QCOMPARE(period->currentText(), QStringLiteral("05"));
        f().click("WeightButton");
        QCOMPARE(poll()->interval(), 5000);
    }

    void periodThatIsNoNumberIsRefused()
    {
        start(QStringLiteral("1,5с"));
        QCOMPARE(f().messages,
                 QStringList{QStringLiteral("Ошибка!Неправильно введена периодичность измерения информации!")});
        expectRefusedStartChangedNothing();
    }

    void portChoiceSelectsThePortOnce_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("port");
        QTest::newRow("COM3") << "COM3" << 3;
        QTest::newRow("AUTO") << "AUTO" << 0;
    }
    void portChoiceSelectsThePortOnce()
    {
        QFETCH(QString, chosen);
        QFETCH(int, port);
        MainFormLayout::showText(f().control<QComboBox>("ComCB"), chosen);
        start();
        QCOMPARE(link.selectedPorts, QList<int32_t>{port});
        QCOMPARE(label("Label12"), chosen);
        f().form().Timer2Timer();
        f().click("StopButton");
        QCOMPARE(link.selectedPorts, QList<int32_t>{port});
    }

    void manualMode()
    {
        start(QStringLiteral("вручную"));
        QVERIFY(!poll()->isActive());
        QVERIFY(f().enabled("ReadButton"));
        f().click("ReadButton");
        QCOMPARE(f().form().table().measurementRows(), 0);
        QCOMPARE(f().form().table().rowCount(), 3 + 1); // the captions and the empty row
        for (int j = 1; j <= 3; ++j)
            link.deliver(j, 42);
        f().click("ReadButton");
        QCOMPARE(f().form().table().measurementRows(), 1);
        // Again before the balances answer anew: nothing.
        f().click("ReadButton");
        QCOMPARE(f().form().table().measurementRows(), 1);
        f().click("StopButton");
        QVERIFY(!f().enabled("ReadButton"));
    }

    void onNewWeightPollsAtTheIntervalLeftBefore()
    {
        start(QStringLiteral("при новом весе"));
        QVERIFY(f().form().runState().onNewWeight);
        QVERIFY(poll()->isActive());
        QCOMPARE(poll()->interval(), 200);
        f().click("StopButton");
        start(QStringLiteral("2"));
        f().click("StopButton");
        start(QStringLiteral("при новом весе"));
        QCOMPARE(poll()->interval(), 2000);
        QVERIFY(!f().enabled("ReadButton"));
    }

    void thresholdFollowsThePeriodChoiceOutsideARun()
    {
        auto *period = f().control<QComboBox>("ComboBox1");
        const auto userChooses = [period](const QString &entry) {
            period->setCurrentIndex(period->findText(entry));
            emit period->textActivated(entry);
        };
        userChooses(QStringLiteral("при новом весе"));
        QVERIFY(f().enabled("MaxDif") && f().enabled("MDLabel"));
        f().click("WeightButton");
        f().click("StopButton");
        QVERIFY(!f().enabled("MaxDif") && !f().enabled("MDLabel"));
        userChooses(QStringLiteral("при новом весе"));
        QVERIFY(f().enabled("MaxDif"));
        userChooses(QStringLiteral("2"));
        QVERIFY(!f().enabled("MaxDif"));
        QCOMPARE(f().control<QLineEdit>("MaxDif")->palette().color(QPalette::Text), QColor(128, 128, 128));
    }

    void linkWaitShowsTheStatesAsTheyPass()
    {
        f().form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&f().form()));
        PaintedTexts painted(f().control<QLabel>("Label6"));
        link.onFetch = [&] {
            link.setLink(link.fetches < 5 ? TRUTINA_LINK_SETTING_UP
                         : link.fetches < 10 ? TRUTINA_LINK_INITIALISING
                                             : TRUTINA_LINK_ONLINE, 3);
        };
        link.setLink(TRUTINA_LINK_SETTING_UP, 3);
        start();
        // Painted while the wait went on, not only once it was over.
        QVERIFY2(painted.texts.contains(QStringLiteral("Устанавливается")), qPrintable(painted.texts.join('|')));
        QVERIFY2(painted.texts.contains(QStringLiteral("Инициализация")), qPrintable(painted.texts.join('|')));
        QCOMPARE(label("Label6"), QStringLiteral("OnLine"));
        QVERIFY(poll()->isActive());
    }

    void linkThatNeverComesUpFailsAfterFiveSeconds()
    {
        link.setLink(TRUTINA_LINK_SETTING_UP, 0);
        QElapsedTimer waited;
        waited.start();
        start();
        QVERIFY(waited.elapsed() >= 5000);
        QCOMPARE(label("Label6"), QStringLiteral("Error: Out of Link."));
        expectControls(true, false, false);
        QVERIFY(!poll()->isActive());
        // Looked at every few milliseconds, not in a busy loop.
        QVERIFY2(link.fetches < 1000, qPrintable(QString::number(link.fetches)));
        f().click("StopButton");
        expectControls(false, true, true);
    }

    void startWithoutTheLibraryOrAnExport_data()
    {
        QTest::addColumn<QString>("library"); // installed as libtrutina.so; empty: none
        QTest::addColumn<QString>("linkText");
        QTest::newRow("no library") << QString() << QString();
        QTest::newRow("no exports") << QStringLiteral(NO_EXPORTS_LIBRARY) << QString();
        QTest::newRow("no SetComPort") << QStringLiteral(ONLY_FRESH_DATA_LIBRARY) << QString();
        QTest::newRow("no FreshData") << QStringLiteral(ONLY_SET_COM_PORT_LIBRARY)
                                      << QStringLiteral("Error: Out of module 'FreshData'.");
    }
    void startWithoutTheLibraryOrAnExport()
    {
        QFETCH(QString, library);
        QFETCH(QString, linkText);
        QTemporaryDir programDir;
        if (!library.isEmpty())
            QVERIFY(QFile::copy(library, QDir(programDir.path()).filePath("libtrutina.so")));
        LinkLibrary standIn(programDir.path());
        fixture.reset();
        fixture = std::make_unique<FormFixture>(standIn);
        start();
        QCOMPARE(label("Label6"), linkText);
        QVERIFY(f().messages.isEmpty());
        QVERIFY(!poll()->isActive());
        if (linkText.isEmpty()) { // refused quietly, before a port was chosen
            expectControls(false, true, true);
            QCOMPARE(f().form().table().cellText(1, 0), QString());
            QCOMPARE(label("Label12"), QString());
        } else {
            expectControls(true, false, false);
            QCOMPARE(label("Label12"), QStringLiteral("COM1"));
        }
        fixture.reset(); // before the stand-in goes
    }
};

QTEST_MAIN(RunControlTest)
#include "tst_runcontrol.moc"
