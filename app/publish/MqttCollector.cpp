#include "publish/MqttCollector.h"

#include "journal/Stamp.h"

#include <mosquitto.h>

#include <csignal>
#include <iostream>

MqttCollector::MqttCollector(const MqttSettings &settings, const std::string &prefix, CollectorStore &store,
                             Report report, Arrival arrival, StatusArrival statusArrival)
    : settings_(settings), prefix_(prefix), store_(store),
      report_(report ? std::move(report) : [](const std::string &) {}), arrival_(std::move(arrival)),
      statusArrival_(std::move(statusArrival))
{
    const std::string clientId =
        settings_.clientId.empty() ? "pondus-collect-" + localPcName() : settings_.clientId;
    client_ = makeMosquittoClient(settings_, clientId, false, this, startError_);
    if (!client_)
        return;
    mosquitto_connect_callback_set(client_.get(), [](mosquitto *client, void *self, int code) {
        auto *collector = static_cast<MqttCollector *>(self);
        if (code != 0) {
            collector->report_(connectRefusal(code, collector->settings_));
            return;
        }
        // The topics of every PC's port: "+" stands for any one level.
        const PortTopics every{collector->prefix_, "+", "+"};
        const std::string readings = every.reading();
        const std::string status = every.status();
        char *const filters[] = {const_cast<char *>(readings.c_str()), const_cast<char *>(status.c_str())};
        mosquitto_subscribe_multiple(client, nullptr, 2, filters, qos, 0, nullptr);
    });
    mosquitto_subscribe_callback_set(client_.get(), [](mosquitto *, void *self, int, int, const int *) {
        static_cast<MqttCollector *>(self)->subscribed_.store(true);
    });
    mosquitto_message_callback_set(client_.get(), [](mosquitto *, void *self, const mosquitto_message *message) {
        static_cast<MqttCollector *>(self)->take(
            message->topic, std::string_view(static_cast<const char *>(message->payload), size_t(message->payloadlen)));
    });
    // TLS failures are told only through the library's log.
    mosquitto_log_callback_set(client_.get(), [](mosquitto *, void *self, int level, const char *text) {
        auto *collector = static_cast<MqttCollector *>(self);
        if (level == MOSQ_LOG_ERR)
            collector->report_("MQTT: " + brokerName(collector->settings_) + ": " + text);
    });
    mosquitto_reconnect_delay_set(client_.get(), 1, 4, true);
    const int rc = mosquitto_connect_async(client_.get(), settings_.host.c_str(), settings_.port, keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        report_("MQTT: нет связи с брокером " + brokerName(settings_) + ": " + libraryProblem(rc));
    if (const int loop = mosquitto_loop_start(client_.get()); loop != MOSQ_ERR_SUCCESS) {
        startError_ = "MQTT: сетевой поток не запущен: " + libraryProblem(loop);
        client_.reset();
    }
}

MqttCollector::~MqttCollector()
{
    if (!client_)
        return;
    mosquitto_disconnect(client_.get());
    mosquitto_loop_stop(client_.get(), false);
}

void MqttCollector::take(const std::string &topic, std::string_view payload)
{
    const int64_t now = pondus::journal::Stamp::now().utcMs;
    if (const auto where = topicUnder(prefix_, topic, "status")) {
        if (!store_.storeStatus(*where, std::string(payload), now))
            report_(store_.lastError());
        if (statusArrival_)
            statusArrival_(*where, std::string(payload), now);
        return;
    }
    const auto where = topicUnder(prefix_, topic, "reading");
    if (!where)
        return;
    const auto reading = parseReadingPayload(payload);
    if (!reading) {
        report_("MQTT: в " + topic + " не показание: сообщение пропущено");
        return;
    }
    const auto key = std::make_tuple(where->pc, where->port, reading->run);
    auto known = highest_.find(key);
    if (known == highest_.end()) // what an earlier session stored counts too
        known = highest_.emplace(key, store_.lastSeq(*where, reading->run)).first;
    const CollectorStore::Outcome outcome = store_.store(*where, *reading, now);
    if (outcome == CollectorStore::Outcome::Failed)
        report_(store_.lastError());
    if (outcome == CollectorStore::Outcome::Duplicate)
        duplicates_.fetch_add(1);
    if (outcome == CollectorStore::Outcome::Stored) {
        stored_.fetch_add(1);
        // A gap in the run's sequence, or a row that fills one.
        const int64_t seq = reading->row.seq;
        const std::string run = where->pc + "/" + where->port + ", серия " + reading->run;
        if (seq > known->second + 1) {
            missing_.fetch_add(seq - known->second - 1);
            report_("MQTT: пропуск в " + run + ": нет строк " + std::to_string(known->second + 1) + ".."
                    + std::to_string(seq - 1));
        } else if (seq <= known->second) {
            missing_.fetch_sub(1);
            report_("MQTT: запоздавшая строка " + std::to_string(seq) + " в " + run + " принята");
        }
        known->second = std::max(known->second, seq);
    }
    if (arrival_)
        arrival_(*where, *reading, outcome);
}

int runCollector(const MqttSettings &settings, const std::string &prefix, const std::string &dbPath,
                 MqttCollector::Arrival arrival, MqttCollector::StatusArrival statusArrival)
{
    // Blocked before any thread starts, so that only sigwait below takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::string error;
    const std::unique_ptr<CollectorStore> store = CollectorStore::open(dbPath, error);
    if (!store) {
        std::cerr << error << std::endl;
        return 1;
    }
    auto report = [](const std::string &text) { std::cerr << text << std::endl; };
    MqttCollector collector(settings, prefix, *store, report, std::move(arrival), std::move(statusArrival));
    if (!collector.startError().empty()) {
        std::cerr << collector.startError() << std::endl;
        return 1;
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cerr << "MQTT: собрано строк " << collector.storedCount() << ", повторов " << collector.duplicateCount()
              << ", недостаёт " << collector.missingCount() << std::endl;
    return 0;
}
