// The window publishing its rows through a real mosquitto broker when
// [MQTT] turns it on: the readings of a run arrive in order, rows an earlier
// program left unsent leave as the window opens, and a wrong password shows
// in the status bar while recording goes on.
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "MosquittoBroker.h"
#include "TopicWatcher.h"

#include "journal/Journal.h"
#include "journal/JournalReader.h"
#include "mainform/WindowPublishing.h"

#include <QComboBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <nlohmann/json.hpp>

class WindowPublishingTest : public QObject {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;

    FormFixture &f() { return *fixture; }
    void startAndRecord(int rows, const QString &port = QStringLiteral("COM2"))
    {
        f().check({0});
        MainFormLayout::showText(f().control<QComboBox>("ComCB"), port);
        MainFormLayout::showText(f().control<QComboBox>("ComboBox1"), QStringLiteral("1"));
        f().click("WeightButton");
        for (int n = 1; n <= rows; ++n) {
            link.deliver(1, 1000 + n, 10, true, 200);
            f().form().Timer2Timer();
        }
    }
    static MqttSettings settingsOf(const MosquittoBroker &broker) { return broker.clientSettings("win"); }
    // The seq of each reading that arrived, once `count` of them have, or
    // what arrived until the wait ran out.
    static std::vector<int64_t> arrivedSeqs(TopicWatcher &watcher, size_t count)
    {
        std::vector<int64_t> seqs;
        watcher.waitFor([&](const std::vector<WatchedMessage> &messages) {
            seqs.clear();
            for (const WatchedMessage &m : messages)
                seqs.push_back(nlohmann::json::parse(m.payload)["seq"].get<int64_t>());
            return seqs.size() >= count;
        });
        return seqs;
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        link.setLink(TRUTINA_LINK_ONLINE, 1);
        fixture = std::make_unique<FormFixture>(link);
    }
    void cleanup() { fixture.reset(); }

    void theRunsRowsArriveInOrder()
    {
        MosquittoBroker broker;
        QVERIFY(broker.start());
        TopicWatcher watcher(settingsOf(broker), "win/+/COM2/reading");
        QVERIFY(watcher.waitSubscribed());
        new WindowPublishing(f().form(), settingsOf(broker), std::string());
        startAndRecord(3);
        QCOMPARE(f().form().table().measurementRows(), 3);
        const std::vector<int64_t> seqs = arrivedSeqs(watcher, 3);
        QCOMPARE(seqs.size(), size_t(3));
        QCOMPARE(seqs, (std::vector<int64_t>{1, 2, 3}));
    }

    void onThePortSearchTheRowsGoUnderThePortFound()
    {
        MosquittoBroker broker;
        QVERIFY(broker.start());
        TopicWatcher watcher(settingsOf(broker), "win/#");
        QVERIFY(watcher.waitSubscribed());
        new WindowPublishing(f().form(), settingsOf(broker), std::string());
        link.block.setHeader(TRUTINA_WORD_CURRENT_PORT, 3);
        startAndRecord(2, QStringLiteral("AUTO"));
        QVERIFY(watcher.waitFor([](const std::vector<WatchedMessage> &messages) {
            return std::count_if(messages.begin(), messages.end(),
                                 [](const WatchedMessage &m) { return m.topic.ends_with("/reading"); }) >= 2;
        }));
        QVERIFY(watcher.waitFor([](const std::vector<WatchedMessage> &messages) {
            return std::all_of(messages.begin(), messages.end(),
                               [](const WatchedMessage &m) { return m.topic.find("/COM3/") != std::string::npos; });
        }));
    }

    void rowsAnEarlierProgramLeftUnsentLeaveWithoutARun()
    {
        MosquittoBroker broker;
        QVERIFY(broker.start());
        TopicWatcher watcher(settingsOf(broker), "win/+/COM2/reading");
        QVERIFY(watcher.waitSubscribed());
        QTemporaryDir folder;
        const std::string path = folder.filePath(QStringLiteral("journal.sqlite")).toStdString();
        {
            // Four rows, of which the broker acknowledged two before the
            // earlier program ended.
            pondus::journal::Journal journal(path, {});
            QVERIFY(journal.open());
            RunSettings run;
            run.port = "COM2";
            run.balances = {1};
            journal.runStarted(run);
            for (int32_t n = 1; n <= 4; ++n)
                journal.recordRow({n, 1796780751000 + n * 200, 3600, {{1, 1000 + n, 10, 200, 0, true, 300, 7}}});
            pondus::journal::JournalReader marks(path);
            QVERIFY(marks.markPublished(marks.newestRun()->run, 2));
        }
        new WindowPublishing(f().form(), settingsOf(broker), path);
        const std::vector<int64_t> seqs = arrivedSeqs(watcher, 2);
        QCOMPARE(seqs.size(), size_t(2));
        QCOMPARE(seqs, (std::vector<int64_t>{3, 4}));
    }

    void aWrongPasswordShowsAndRecordingGoesOn()
    {
        MosquittoBroker broker({"lab", "right", false});
        QVERIFY(broker.start());
        MqttSettings settings = settingsOf(broker);
        settings.user = "lab";
        settings.passwordFile = broker.passwordFile("wrong");
        new WindowPublishing(f().form(), settings, std::string());
        startAndRecord(2);
        QTRY_VERIFY_WITH_TIMEOUT(f().form().statusBar()->currentMessage().contains(
                                     QStringLiteral("неверное имя пользователя или пароль")),
                                 20000);
        QVERIFY(!f().form().statusBar()->currentMessage().contains(QStringLiteral("wrong")));
        link.deliver(1, 5000, 10, true, 200);
        f().form().Timer2Timer();
        QCOMPARE(f().form().table().measurementRows(), 3);
    }
};

QTEST_MAIN(WindowPublishingTest)
#include "tst_windowpublishing.moc"
