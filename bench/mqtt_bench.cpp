// Ten PCs of ten balances each recording a row every 0,2 s (500 readings a
// second) through a local mosquitto to one collector: how far the collector
// lags behind the recording, and what publishing adds to each poll step.
//
//   mqtt_bench [seconds]
#include "MosquittoBroker.h"

#include "publish/MemoryBacklog.h"
#include "publish/MqttCollector.h"
#include "publish/MqttPublisher.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int pcs = 10;
constexpr int balances = 10;
constexpr auto period = std::chrono::milliseconds(200);

int64_t utcNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

RecordedRow rowOf(int32_t number)
{
    RecordedRow row;
    row.number = number;
    row.utcMs = utcNowMs();
    row.utcOffsetSeconds = 10800;
    for (int j = 1; j <= balances; ++j)
        row.readings.push_back({j, 100000 * j + number % 5000, 1000, 200, 0, true, 300 + j, 1000 + j});
    return row;
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    MosquittoBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "mqtt_bench: mosquitto did not start\n");
        return 1;
    }
    const MqttSettings settings = broker.clientSettings("bench");

    const std::string file = broker.folder() + "/collected.db";
    std::string error;
    auto store = CollectorStore::open(file, error);
    std::mutex mutex;
    std::vector<double> lagsMs;
    auto report = [](const std::string &text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    MqttCollector collector(settings, "bench", *store, report,
                            [&](const PortTopics &, const ParsedReading &reading, CollectorStore::Outcome) {
                                const double lag = double(utcNowMs() - reading.row.row.utcMs);
                                std::lock_guard lock(mutex);
                                lagsMs.push_back(lag);
                            });
    for (int waited = 0; !collector.subscribed() && waited < 200; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    std::vector<double> hookUs[pcs];
    std::vector<std::thread> lines;
    for (int pc = 0; pc < pcs; ++pc) {
        lines.emplace_back([&, pc] {
            MemoryBacklog backlog(100000);
            MqttPublisher publisher(settings, {"bench", "pc" + std::to_string(pc), "COM1"}, backlog, report);
            publisher.setLink("OnLine");
            publisher.startRun("bench-run");
            // Each PC's ticks at its own phase, as separate machines would.
            auto next = std::chrono::steady_clock::now() + period * pc / pcs;
            const auto end = next + std::chrono::seconds(seconds);
            int32_t number = 0;
            while (next < end) {
                std::this_thread::sleep_until(next); // the poll timer's pace
                RecordedRow row = rowOf(++number);
                const auto start = std::chrono::steady_clock::now();
                publisher.rowRecorded(backlog.append("bench-run", std::move(row)));
                hookUs[pc].push_back(
                    std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
                next += period;
            }
            for (int waited = 0; publisher.publishedThrough() < number && waited < 400; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
    }
    for (std::thread &line : lines)
        line.join();
    size_t rows = 0;
    std::vector<double> hooks;
    for (const auto &h : hookUs) {
        rows += h.size();
        hooks.insert(hooks.end(), h.begin(), h.end());
    }
    for (int waited = 0; collector.storedCount() < int64_t(rows) && waited < 400; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    std::lock_guard lock(mutex);
    double hookSum = 0;
    for (double h : hooks)
        hookSum += h;
    std::printf("mqtt: %d PCs x %d balances every %lld ms for %d s: %zu rows (%zu readings) recorded, "
                "%lld stored by the collector, %lld duplicates, %lld missing\n",
                pcs, balances, (long long)period.count(), seconds, rows, rows * balances,
                (long long)collector.storedCount(), (long long)collector.duplicateCount(),
                (long long)collector.missingCount());
    std::printf("collector lag: median %.1f ms, p99 %.1f ms, worst %.1f ms\n", percentile(lagsMs, 0.5),
                percentile(lagsMs, 0.99), lagsMs.empty() ? 0.0 : *std::max_element(lagsMs.begin(), lagsMs.end()));
    std::printf("publishing's share of a poll step (backlog append and hand-over): mean %.1f us, p99 %.1f us, "
                "worst %.1f us\n",
                hooks.empty() ? 0.0 : hookSum / double(hooks.size()), percentile(hooks, 0.99),
                hooks.empty() ? 0.0 : *std::max_element(hooks.begin(), hooks.end()));
    return collector.storedCount() == int64_t(rows) ? 0 : 1;
}
