// Takes in the readings every PC publishes under a prefix and keeps each
// once in the collector's SQLite file, reporting gaps in a run's sequence.
#pragma once

#include "publish/CollectorStore.h"
#include "publish/MosquittoClient.h"

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <tuple>

class MqttCollector {
public:
    using Report = std::function<void(const std::string &)>;
    // Every reading as it arrives, stored or a duplicate; for measurements.
    using Arrival = std::function<void(const PortTopics &, const ParsedReading &, CollectorStore::Outcome)>;
    // Every status as it arrives, with the time it did.
    using StatusArrival = std::function<void(const PortTopics &, const std::string &payload, int64_t receivedUtcMs)>;

    // Connects in the background with a session the broker keeps, so that
    // readings sent while the collector is away wait for it. The store must
    // outlive the collector.
    MqttCollector(const MqttSettings &settings, const std::string &prefix, CollectorStore &store, Report report,
                  Arrival arrival = {}, StatusArrival statusArrival = {});
    ~MqttCollector();
    MqttCollector(const MqttCollector &) = delete;
    MqttCollector &operator=(const MqttCollector &) = delete;

    const std::string &startError() const { return startError_; }
    bool subscribed() const { return subscribed_.load(); }
    int64_t storedCount() const { return stored_.load(); }
    int64_t duplicateCount() const { return duplicates_.load(); }
    int64_t missingCount() const { return missing_.load(); }

private:
    void take(const std::string &topic, std::string_view payload);

    const MqttSettings settings_;
    const std::string prefix_;
    CollectorStore &store_;
    const Report report_;
    const Arrival arrival_;
    const StatusArrival statusArrival_;
    std::string startError_;
    MosquittoHandle client_;
    // Highest seq seen per (pc, port, run); touched only on the network thread.
    std::map<std::tuple<std::string, std::string, std::string>, int64_t> highest_;

    std::atomic<bool> subscribed_{false};
    std::atomic<int64_t> stored_{0};
    std::atomic<int64_t> duplicates_{0};
    std::atomic<int64_t> missing_{0};
};

// `pondus-log --collect PREFIX --db FILE`: collects until SIGINT or SIGTERM,
// reporting to standard error and telling the arrivals to those given.
// Returns the process's exit status.
int runCollector(const MqttSettings &settings, const std::string &prefix, const std::string &dbPath,
                 MqttCollector::Arrival arrival = {}, MqttCollector::StatusArrival statusArrival = {});
