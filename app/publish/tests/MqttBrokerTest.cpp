// Publishing and collecting through a real mosquitto broker: the JSON that
// arrives, a broker away for ten seconds mid-run, rows a program left unsent
// sent by the next, the last will of a killed publisher, a wrong password,
// TLS with a user across a broker restart.
#include "MosquittoBroker.h"
#include "TopicWatcher.h"

#include "journal/Journal.h"
#include "journal/JournalReader.h"
#include "publish/JournalBacklog.h"
#include "publish/MemoryBacklog.h"
#include "publish/MqttCollector.h"
#include "publish/MqttPublisher.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <numeric>

namespace {

MqttSettings settingsFor(const MosquittoBroker &broker)
{
    return broker.clientSettings("lab");
}

RecordedRow rowAt(int32_t number)
{
    RecordedRow row;
    row.number = number;
    row.utcMs = 1796780751000 + number * 200;
    row.utcOffsetSeconds = 3600;
    row.readings = {{1, number, 100, 200, 0, true, 300, 11}, {2, -number, 1, 205, 5, true, 401, 12}};
    return row;
}

// Collects problems reported by a publisher or collector.
struct Reports {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> texts;
    std::function<void(const std::string &)> sink()
    {
        return [this](const std::string &text) {
            {
                std::lock_guard lock(mutex);
                texts.push_back(text);
            }
            changed.notify_all();
        };
    }
    bool waitForText(const std::string &part)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::any_of(texts.begin(), texts.end(),
                               [&](const std::string &t) { return t.find(part) != std::string::npos; });
        });
    }
    std::string all()
    {
        std::lock_guard lock(mutex);
        std::string joined;
        for (const auto &t : texts)
            joined += t + "\n";
        return joined;
    }
};

// The collector in the test's process with its file and what arrived.
struct Collected {
    std::filesystem::path file;
    std::unique_ptr<CollectorStore> store;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int64_t> storedOrder;
    std::unique_ptr<MqttCollector> collector;

    Collected(const MqttSettings &settings, const std::string &name, Reports &reports)
        : file(std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()) + ".db"))
    {
        std::filesystem::remove(file);
        std::string error;
        store = CollectorStore::open(file, error);
        collector = std::make_unique<MqttCollector>(
            settings, settings.topicPrefix, *store, reports.sink(),
            [this](const PortTopics &, const ParsedReading &reading, CollectorStore::Outcome outcome) {
                {
                    std::lock_guard lock(mutex);
                    if (outcome == CollectorStore::Outcome::Stored)
                        storedOrder.push_back(reading.row.seq);
                }
                changed.notify_all();
            });
    }
    ~Collected()
    {
        collector.reset();
        store.reset();
        std::filesystem::remove(file);
        std::filesystem::remove(file.string() + "-wal");
        std::filesystem::remove(file.string() + "-shm");
    }
    bool waitForRows(size_t count, int seconds = 30)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(seconds), [&] { return storedOrder.size() >= count; });
    }
    bool waitSubscribed()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::unique_lock lock(mutex);
        while (!collector->subscribed() && std::chrono::steady_clock::now() < deadline)
            changed.wait_for(lock, std::chrono::milliseconds(50));
        return collector->subscribed();
    }
};

bool waitUntil(const std::function<bool()> &holds, int seconds = 20)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!holds()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

TEST(MqttBroker, ReadingsArriveAsTheDocumentedJsonWithARetainedStatus)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const MqttSettings settings = settingsFor(broker);
    TopicWatcher watcher(settings, "lab/#");
    ASSERT_TRUE(watcher.waitSubscribed());
    MemoryBacklog backlog(1000);
    MqttPublisher publisher(settings, {"lab", "pc1", "COM2"}, backlog, {}, "OnLine");
    publisher.startRun("run-a");
    for (int i = 1; i <= 3; ++i)
        publisher.rowRecorded(backlog.append("run-a", rowAt(i)));

    ASSERT_TRUE(watcher.waitFor([](const auto &messages) {
        return std::count_if(messages.begin(), messages.end(),
                             [](const auto &m) { return m.topic == "lab/pc1/COM2/reading"; })
               == 3;
    }));
    EXPECT_TRUE(waitUntil([&] { return publisher.publishedThrough() == 3; }));
    // The publisher's thread releases acknowledged rows after it learns of them.
    EXPECT_TRUE(waitUntil([&] { return backlog.size() == 0u; })) << "acknowledged rows leave the backlog";
    TopicWatcher late(settings, "lab/pc1/COM2/status");
    ASSERT_TRUE(late.waitFor([](const auto &messages) {
        return !messages.empty() && messages.back().retained
               && nlohmann::json::parse(messages.back().payload) == nlohmann::json{{"status", "online"}, {"link", "OnLine"}};
    })) << "a subscriber that comes later still learns the status";
    watcher.waitFor([](const auto &messages) {
        const auto status = std::find_if(messages.begin(), messages.end(),
                                         [](const auto &m) { return m.topic == "lab/pc1/COM2/status"; });
        EXPECT_NE(status, messages.end());
        if (status != messages.end()) {
            EXPECT_EQ(nlohmann::json::parse(status->payload), (nlohmann::json{{"status", "online"}, {"link", "OnLine"}}))
                << "the first status is in the documented form";
        }
        return true;
    });

    int64_t expectedSeq = 1;
    watcher.waitFor([&](const auto &messages) {
        for (const auto &m : messages) {
            if (m.topic != "lab/pc1/COM2/reading")
                continue;
            const auto json = nlohmann::json::parse(m.payload);
            EXPECT_EQ(json["run"], "run-a");
            EXPECT_EQ(json["seq"], expectedSeq);
            EXPECT_EQ(json["time"], isoTime(rowAt(int(expectedSeq)).utcMs, 3600));
            EXPECT_EQ(json["balances"][0]["value"], double(expectedSeq) / 100);
            EXPECT_EQ(json["balances"][1]["unit"], "kg");
            EXPECT_EQ(json["balances"][1]["model"], "ЛВ-1500");
            EXPECT_EQ(json["balances"][0]["ident"], 11);
            ++expectedSeq;
        }
        return true;
    });
    EXPECT_EQ(expectedSeq, 4);
}

TEST(MqttBroker, EveryRowReachesTheCollectorOnceAndInOrderAcrossABrokerOutage)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const MqttSettings settings = settingsFor(broker);
    Reports reports;
    Collected collected(settings, "outage", reports);
    ASSERT_TRUE(collected.waitSubscribed());
    MemoryBacklog backlog(100000);
    MqttPublisher publisher(settings, {"lab", "pc1", "COM1"}, backlog, reports.sink());
    publisher.startRun("run-b");
    int32_t recorded = 0;
    auto record = [&](int rows) {
        for (int i = 0; i < rows; ++i)
            publisher.rowRecorded(backlog.append("run-b", rowAt(++recorded)));
    };
    record(50);
    ASSERT_TRUE(collected.waitForRows(50));

    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !publisher.connected(); }));
    // Ten seconds of recording with the broker away: a row every 0,2 s.
    const auto outageEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < outageEnd) {
        record(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the recording's own pace
    }
    EXPECT_GE(backlog.size(), size_t(recorded - 50)) << "the rows wait in the backlog";
    ASSERT_TRUE(broker.start());
    record(20);

    ASSERT_TRUE(collected.waitForRows(size_t(recorded), 60)) << reports.all();
    ASSERT_TRUE(waitUntil([&] { return publisher.publishedThrough() == recorded; }));
    std::vector<int64_t> expected(static_cast<size_t>(recorded));
    std::iota(expected.begin(), expected.end(), 1);
    std::lock_guard lock(collected.mutex);
    EXPECT_EQ(collected.storedOrder, expected) << "once each, in order";
    EXPECT_EQ(collected.collector->missingCount(), 0);
    EXPECT_NE(reports.all().find("потеряна"), std::string::npos) << reports.all();
}

TEST(MqttBroker, RowsAProgramLeftUnsentAreSentByTheNextFromTheJournal)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const MqttSettings settings = settingsFor(broker);
    Reports reports;
    Collected collected(settings, "resume", reports);
    ASSERT_TRUE(collected.waitSubscribed());
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("resume-journal-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "journal.sqlite").string();
    pondus::journal::Journal journal(path, {});
    ASSERT_TRUE(journal.open());
    RunSettings run;
    run.port = "COM2";
    run.balances = {1, 2};
    const auto journalRow = [&](int32_t n) {
        const std::optional<RowKey> key = journal.recordRow(rowAt(n));
        return CommittedRow{rowAt(n), key ? key->run : 0, key ? key->seq : 0};
    };

    {
        // The first program: five rows reach the broker, five more are
        // recorded after it went away, and the program ends.
        JournalBacklog backlog(path, 10);
        MqttPublisher publisher(settings, {"lab", "pc1", "COM2"}, backlog, reports.sink());
        const pondus::journal::Stamp started = pondus::journal::Stamp::now();
        const std::string name = runIdAt(started.utcMs);
        backlog.startRun(name, journal.runStarted(run, started));
        publisher.startRun(name);
        for (int32_t n = 1; n <= 5; ++n)
            publisher.rowRecorded(backlog.append(journalRow(n)));
        ASSERT_TRUE(collected.waitForRows(5));
        pondus::journal::JournalReader marks(path);
        ASSERT_TRUE(waitUntil([&] { return marks.publishedThrough(marks.newestRun()->run) == 5; }));
        broker.stop();
        ASSERT_TRUE(waitUntil([&] { return !publisher.connected(); }));
        for (int32_t n = 6; n <= 10; ++n)
            publisher.rowRecorded(backlog.append(journalRow(n)));
    }
    // A run recorded with publishing off is not the broker's business.
    journal.runStarted(run);
    journalRow(1);

    ASSERT_TRUE(broker.start());
    JournalBacklog backlog(path, 10);
    ASSERT_EQ(backlog.portWithUnsentRows(), "COM2");
    const auto unsent = backlog.unsentRuns("COM2");
    ASSERT_EQ(unsent.size(), 1u);
    EXPECT_EQ(unsent[0].publishedThrough, 5);
    EXPECT_EQ(unsent[0].recorded, 10);
    EXPECT_TRUE(backlog.unsentRuns("COM1").empty());
    MqttPublisher publisher(settings, {"lab", "pc1", "COM2"}, backlog, reports.sink());
    publisher.resumeRun(unsent[0].name, unsent[0].publishedThrough, unsent[0].recorded);

    ASSERT_TRUE(collected.waitForRows(10)) << reports.all();
    ASSERT_TRUE(waitUntil([&] { return backlog.unsentRuns("COM2").empty(); })) << "the marks reach the journal";
    std::vector<int64_t> expected(10);
    std::iota(expected.begin(), expected.end(), 1);
    {
        std::lock_guard lock(collected.mutex);
        EXPECT_EQ(collected.storedOrder, expected) << "once each, in order";
    }
    EXPECT_EQ(collected.collector->missingCount(), 0) << "the same run, so no gap";
    std::filesystem::remove_all(folder);
}

TEST(MqttBroker, TheLastWillSaysOfflineWhenThePublisherIsKilled)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const MqttSettings settings = settingsFor(broker);
    TopicWatcher watcher(settings, "will/probe-pc/COM1/status");
    ASSERT_TRUE(watcher.waitSubscribed());
    const pid_t probe = ::fork();
    if (probe == 0) {
        const std::string port = std::to_string(broker.port());
        ::execl(PUBLISHER_PROBE, PUBLISHER_PROBE, port.c_str(), "will", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    const auto lastStatusIs = [](const char *status) {
        return [status](const std::vector<WatchedMessage> &messages) {
            return !messages.empty() && nlohmann::json::parse(messages.back().payload)["status"] == status;
        };
    };
    const bool online = watcher.waitFor(lastStatusIs("online"));
    ::kill(probe, SIGKILL);
    ::waitpid(probe, nullptr, 0);
    ASSERT_TRUE(online);
    EXPECT_TRUE(watcher.waitFor(lastStatusIs("offline")));
}

TEST(MqttBroker, AWrongPasswordIsReportedClearlyAndRecordingGoesOn)
{
    const std::string secret = "Sekret-7f3a";
    MosquittoBroker broker({"lab", "right-password", false});
    ASSERT_TRUE(broker.start());
    MqttSettings settings = settingsFor(broker);
    settings.user = "lab";
    settings.passwordFile = broker.passwordFile(secret);
    Reports reports;
    MemoryBacklog backlog(1000);
    MqttPublisher publisher(settings, {"lab", "pc1", "COM1"}, backlog, reports.sink());
    publisher.startRun("run-c");
    ASSERT_TRUE(reports.waitForText("неверное имя пользователя или пароль")) << reports.all();
    // The poll step keeps recording; its rows wait for a corrected setting.
    for (int i = 1; i <= 100; ++i)
        publisher.rowRecorded(backlog.append("run-c", rowAt(i)));
    EXPECT_EQ(backlog.size(), 100u);
    EXPECT_FALSE(publisher.connected());
    EXPECT_NE(reports.all().find("«lab»"), std::string::npos);
    EXPECT_EQ(reports.all().find(secret), std::string::npos) << "the password is never shown";

    // A missing file, and a named pipe, which would block the start if opened.
    const std::string pipe = broker.passwordFile("x") + ".fifo";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0) << std::strerror(errno);
    for (const auto &[path, reason] : {std::pair<std::string, std::string>{"/nonexistent/password", std::strerror(ENOENT)},
                                       {pipe, "not a regular file"}}) {
        settings.passwordFile = path;
        MqttPublisher unreadable(settings, {"lab", "pc1", "COM3"}, backlog, {});
        EXPECT_NE(unreadable.startError().find(path + ": " + reason), std::string::npos) << unreadable.startError();
    }
}

TEST(MqttBroker, TwoPortsOfOnePcWithRunsOfTheSameNameKeepEveryRow)
{
    // Runs started in the same millisecond on two ports have the same name.
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start());
    const MqttSettings settings = settingsFor(broker);
    Reports reports;
    Collected collected(settings, "ports", reports);
    ASSERT_TRUE(collected.waitSubscribed());
    MemoryBacklog first(1000);
    MemoryBacklog second(1000);
    MqttPublisher com1(settings, {"lab", "pc1", "COM1"}, first, reports.sink(), "OnLine");
    MqttPublisher com2(settings, {"lab", "pc1", "COM2"}, second, reports.sink(), "OnLine");
    com1.startRun("2026-12-09T01:40:00.000Z");
    com2.startRun("2026-12-09T01:40:00.000Z");
    for (int i = 1; i <= 4; ++i) {
        com1.rowRecorded(first.append("2026-12-09T01:40:00.000Z", rowAt(i)));
        com2.rowRecorded(second.append("2026-12-09T01:40:00.000Z", rowAt(i)));
    }
    EXPECT_TRUE(collected.waitForRows(8)) << reports.all();
    EXPECT_EQ(collected.collector->duplicateCount(), 0);
    EXPECT_EQ(collected.collector->missingCount(), 0);
    for (const char *port : {"COM1", "COM2"})
        EXPECT_EQ(collected.store->lastSeq({"lab", "pc1", port}, "2026-12-09T01:40:00.000Z"), 4) << port;
}

TEST(MqttBroker, TlsWithAUserCarriesReadingsToTheCollector)
{
    MosquittoBroker broker({"lab", "right-password", true});
    ASSERT_TRUE(broker.start());
    MqttSettings settings = settingsFor(broker);
    settings.host = "localhost"; // the name in the server's certificate
    settings.caFile = broker.caFile();
    settings.user = "lab";
    settings.passwordFile = broker.passwordFile("right-password");
    Reports reports;
    Collected collected(settings, "tls", reports);
    ASSERT_TRUE(collected.waitSubscribed()) << reports.all();
    MemoryBacklog backlog(1000);
    MqttPublisher publisher(settings, {"lab", "pc9", "COM4"}, backlog, reports.sink());
    publisher.startRun("run-d");
    for (int i = 1; i <= 5; ++i)
        publisher.rowRecorded(backlog.append("run-d", rowAt(i)));
    EXPECT_TRUE(collected.waitForRows(5)) << reports.all();
    EXPECT_EQ(collected.store->lastSeq({"lab", "pc9", "COM4"}, "run-d"), 5);

    // The broker restarts: the TLS connection is made anew and rows resume.
    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !publisher.connected(); }));
    for (int i = 6; i <= 8; ++i)
        publisher.rowRecorded(backlog.append("run-d", rowAt(i)));
    ASSERT_TRUE(broker.start());
    EXPECT_TRUE(collected.waitForRows(8, 60)) << reports.all();

    // Without the CA the broker's certificate is not trusted: no connection.
    MqttSettings untrusted = settings;
    untrusted.caFile = "/etc/ssl/certs/ca-certificates.crt";
    Reports refusals;
    MqttPublisher refused(untrusted, {"lab", "pc9", "COM2"}, backlog, refusals.sink());
    EXPECT_TRUE(refusals.waitForText("certificate verify failed")) << refusals.all();
    EXPECT_FALSE(refused.connected());
}
