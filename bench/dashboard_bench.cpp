// The collector's dashboard under a lab's load:
//  1. twenty PCs of ten balances each recording a row every 0,2 s through a
//     local mosquitto to the real collector (pondus-log --collect --http):
//     how late each reading reaches ten open pages (their live streams), and
//     the collector's CPU with those pages and without them;
//  2. a run of 432,000 rows (a day at 0,2 s) of ten balances, stored by the
//     collector's own code: the run's chart thinned to 1300 pixels, an hour
//     of it zoomed, and a page of 500 rows at the start, middle and end of
//     the day; with chromium and python3-selenium at hand (DASHBOARD_PAINT),
//     the run page's first chart in a browser.
//
//   dashboard_bench PONDUS-LOG PAGES-FOLDER [seconds] [rows]
#include "MosquittoBroker.h"

#include "dashboard/DashboardServer.h"
#include "publish/CollectorStore.h"
#include "publish/MemoryBacklog.h"
#include "publish/MqttPublisher.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int pcs = 20;
constexpr int balances = 10;
constexpr int pages = 10;
constexpr auto period = 200ms;

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

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

RecordedRow rowOf(int32_t number, int64_t utcMs)
{
    RecordedRow row;
    row.number = number;
    row.utcMs = utcMs;
    row.utcOffsetSeconds = 10800;
    for (int j = 1; j <= balances; ++j)
        row.readings.push_back({j, 100000 * j + (number * j) % 5000, 1000, 200, 0, true, 300 + j, 1000 + j});
    return row;
}

// CPU seconds a process has used so far, from /proc.
double processCpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15)
            stime = std::atoll(field.c_str());
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// A page's live stream: the delay of every reading from the collector's
// taking it to its arrival here.
class Watcher {
public:
    Watcher(int port, std::atomic<bool> &stop) : thread_([this, port, &stop] {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(30s);
        std::string pending;
        client.Get("/api/events", [&](const char *data, size_t size) {
            pending.append(data, size);
            for (size_t end; (end = pending.find("\n\n")) != std::string::npos; pending.erase(0, end + 2)) {
                const std::string message = pending.substr(0, end);
                if (message.rfind("event: reading\n", 0) != 0)
                    continue;
                const auto row = nlohmann::json::parse(message.substr(message.find("data: ") + 6));
                const int64_t now = utcNowMs();
                std::lock_guard lock(mutex_);
                fromCollectorMs_.push_back(double(now - row["receivedMs"].get<int64_t>()));
                fromRecordingMs_.push_back(double(now - row["utcMs"].get<int64_t>()));
            }
            return !stop.load();
        });
    })
    {
    }
    ~Watcher() { thread_.join(); }

    void collectInto(std::vector<double> &fromCollector, std::vector<double> &fromRecording)
    {
        std::lock_guard lock(mutex_);
        fromCollector.insert(fromCollector.end(), fromCollectorMs_.begin(), fromCollectorMs_.end());
        fromRecording.insert(fromRecording.end(), fromRecordingMs_.begin(), fromRecordingMs_.end());
    }

private:
    std::mutex mutex_;
    std::vector<double> fromCollectorMs_, fromRecordingMs_;
    std::thread thread_;
};

int liveLoad(const std::string &pondusLog, int seconds)
{
    MosquittoBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "dashboard_bench: mosquitto did not start\n");
        return 1;
    }
    const MqttSettings settings = broker.clientSettings("bench");
    const int httpPort = freeLoopbackPort();
    const std::string db = broker.folder() + "/lab.db";
    const std::string portText = std::to_string(broker.port());
    const std::string listen = "127.0.0.1:" + std::to_string(httpPort);
    const char *args[] = {pondusLog.c_str(), "--collect", "bench", "--db", db.c_str(), "--mqtt-host", "127.0.0.1",
                          "--mqtt-port", portText.c_str(), "--http", listen.c_str(), nullptr};
    pid_t collector = 0;
    if (posix_spawn(&collector, pondusLog.c_str(), nullptr, nullptr, const_cast<char **>(args), environ) != 0) {
        std::perror("dashboard_bench: pondus-log");
        return 1;
    }
    httplib::Client probe("127.0.0.1", httpPort);
    for (int waited = 0; !probe.Get("/api/lab") && waited < 200; ++waited)
        std::this_thread::sleep_for(50ms);

    std::atomic<bool> stopLines{false};
    std::vector<std::thread> lines;
    auto report = [](const std::string &text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    for (int pc = 0; pc < pcs; ++pc) {
        lines.emplace_back([&, pc] {
            MemoryBacklog backlog(100000);
            MqttPublisher publisher(settings, {"bench", "pc" + std::to_string(pc), "COM1"}, backlog, report);
            publisher.setLink("OnLine");
            publisher.startRun("2026-12-10T00:00:00.000Z");
            auto next = Clock::now() + period * pc / pcs; // each PC at its own phase
            for (int32_t number = 1; !stopLines.load(); ++number, next += period) {
                std::this_thread::sleep_until(next);
                publisher.rowRecorded(backlog.append("2026-12-10T00:00:00.000Z", rowOf(number, utcNowMs())));
            }
        });
    }
    std::this_thread::sleep_for(3s); // every line connected and flowing
    const auto measureCpu = [&](int forSeconds) {
        const double before = processCpuSeconds(collector);
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(forSeconds));
        return 100.0 * (processCpuSeconds(collector) - before) / (msSince(start) / 1000.0);
    };
    const double alone = measureCpu(seconds);
    std::atomic<bool> stopWatching{false};
    std::vector<std::unique_ptr<Watcher>> watchers;
    for (int i = 0; i < pages; ++i)
        watchers.push_back(std::make_unique<Watcher>(httpPort, stopWatching));
    std::this_thread::sleep_for(2s);
    const double watched = measureCpu(seconds);
    stopWatching = true;
    stopLines = true;
    for (std::thread &line : lines)
        line.join();
    std::vector<double> fromCollector, fromRecording;
    for (auto &watcher : watchers)
        watcher->collectInto(fromCollector, fromRecording);
    kill(collector, SIGTERM); // ends the pages' streams too
    waitpid(collector, nullptr, 0);
    watchers.clear();

    std::printf("dashboard live: %d PCs x %d balances every %lld ms, %d pages open, %zu readings seen by them\n", pcs,
                balances, (long long)period.count(), pages, fromCollector.size());
    std::printf("  page lags the collector: median %.0f ms, p99 %.0f ms, worst %.0f ms\n",
                percentile(fromCollector, 0.5), percentile(fromCollector, 0.99),
                fromCollector.empty() ? 0.0 : *std::max_element(fromCollector.begin(), fromCollector.end()));
    std::printf("  page lags the recording PC: median %.0f ms, p99 %.0f ms\n", percentile(fromRecording, 0.5),
                percentile(fromRecording, 0.99));
    std::printf("  collector CPU: %.1f %% of a core without pages, %.1f %% with %d pages (+%.1f)\n", alone, watched,
                pages, watched - alone);
    return fromCollector.empty() ? 1 : 0;
}

int bigRun(const std::string &pagesFolder, int64_t rows)
{
    char folderTemplate[] = "/tmp/dashboard-bench-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate);
    const std::string db = folder + "/lab.db";
    const PortTopics where{"bench", "pc1", "COM1"};
    const std::string run = "2026-12-10T00:00:00.000Z";
    // Open while the dashboard reads, as in the collector.
    std::unique_ptr<CollectorStore> store;
    {
        std::string error;
        store = CollectorStore::open(db, error);
        if (!store) {
            std::fprintf(stderr, "dashboard_bench: %s\n", error.c_str());
            return 1;
        }
        const auto start = Clock::now();
        const int64_t firstMs = 1796860800000;
        // Thousands of rows a transaction, through the collector's own code,
        // so that the file holds what a day of the collector leaves.
        std::vector<ParsedReading> batch;
        for (int64_t seq = 1; seq <= rows; ++seq) {
            if (seq % 10007 != 0) // a few gaps, as a lab has them
                batch.push_back({run, {seq, rowOf(int32_t(seq), firstMs + 200 * seq)}});
            if (batch.size() == 5000 || seq == rows) {
                if (!store->storeAll(where, batch, firstMs + 200 * seq)) {
                    std::fprintf(stderr, "dashboard_bench: %s\n", store->lastError().c_str());
                    return 1;
                }
                batch.clear();
            }
        }
        store->storeStatus(where, R"({"status":"offline"})", firstMs);
        std::printf("dashboard run: %lld rows of %d balances stored in %.1f s\n", (long long)rows, balances,
                    msSince(start) / 1000);
    }
    DashboardSettings settings;
    settings.port = freeLoopbackPort();
    std::string error;
    auto server = DashboardServer::start(settings, db, pagesFolder, error);
    if (!server) {
        std::fprintf(stderr, "dashboard_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string key = "pc=pc1&port=COM1&run=" + run;
    // Timed by curl, as a browser would fetch it (compression offered).
    const auto timed = [&](const std::string &path, size_t &bytes) {
        const std::string command = "curl -s -o /dev/null --compressed -w '%{http_code} %{time_total} %{size_download}' "
                                    "'http://127.0.0.1:" + std::to_string(settings.port) + path + "'";
        FILE *curl = ::popen(command.c_str(), "r");
        int status = 0;
        double seconds = 0;
        if (!curl || std::fscanf(curl, "%d %lf %zu", &status, &seconds, &bytes) != 3)
            status = 0;
        if (curl)
            ::pclose(curl);
        return status == 200 ? seconds * 1000 : -1.0;
    };
    size_t bytes = 0;
    const double info = timed("/api/run?" + key, bytes);
    std::vector<double> charts;
    for (int i = 0; i < 5; ++i)
        charts.push_back(timed("/api/chart?" + key + "&width=1300", bytes));
    std::printf("  the run's info %.1f ms; its chart at 1300 px: first %.0f ms, median of 5 %.0f ms, %zu bytes\n",
                info, charts.front(), percentile(charts, 0.5), bytes);
    std::vector<double> zooms;
    for (int i = 1; i <= 10; ++i) {
        const int64_t from = 1796860800000 + 200 * rows * i / 12;
        zooms.push_back(timed("/api/chart?" + key + "&width=1300&from=" + std::to_string(from) +
                                  "&to=" + std::to_string(from + 3'600'000), bytes));
    }
    std::printf("  an hour of it zoomed: median %.0f ms, worst %.0f ms\n", percentile(zooms, 0.5),
                *std::max_element(zooms.begin(), zooms.end()));
    // The newest page is the one a run page opens with; a page deep in the
    // run must cost the same (a seek by seq, never a count over the rows).
    const int64_t lastPage = (rows + 499) / 500;
    const struct {
        const char *where;
        int64_t page;
    } places[] = {{"start", 1}, {"middle", lastPage / 2}, {"end", lastPage}};
    for (const auto &place : places) {
        std::vector<double> pageMs;
        for (int i = 0; i < 5; ++i)
            pageMs.push_back(timed("/api/rows?" + key + "&page=" + std::to_string(place.page), bytes));
        std::printf("  a page of 500 rows at the %s (page %lld): first %.1f ms, median of 5 %.1f ms, %zu bytes\n",
                    place.where, (long long)place.page, pageMs.front(), percentile(pageMs, 0.5), bytes);
    }
    std::printf("  the lab picture: %.1f ms\n", timed("/api/lab", bytes));

    if (const char *paint = std::getenv("DASHBOARD_PAINT"); paint && *paint) {
        const std::string command = std::string("/usr/bin/python3 ") + paint + " 'http://127.0.0.1:" +
                                    std::to_string(settings.port) + "/run?" + key + "'";
        std::fflush(stdout);
        if (std::system(command.c_str()) != 0)
            std::printf("  (no browser measurement)\n");
    }
    server.reset();
    if (std::getenv("DASHBOARD_BENCH_KEEP"))
        std::printf("  kept %s\n", db.c_str());
    else
        std::filesystem::remove_all(folder);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: dashboard_bench PONDUS-LOG PAGES-FOLDER [seconds] [rows]\n");
        return 2;
    }
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 20;
    const int64_t rows = argc > 4 ? std::atoll(argv[4]) : 0;
    const int live = seconds > 0 ? liveLoad(argv[1], seconds) : 0;
    // The day-long run is measured only when asked for (rows > 0): storing
    // its rows takes minutes on a shared machine.
    return (rows > 0 ? bigRun(argv[2], rows) : 0) | live;
}
