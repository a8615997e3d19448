// The collector's read-only web dashboard: the lab page, a run's page, their
// JSON, the live stream of readings and statuses, and the run's downloads,
// over HTTP or HTTPS, with an optional login. Only GET is answered.
#pragma once

#include "dashboard/DashboardSettings.h"
#include "dashboard/LiveFeed.h"
#include "publish/ReadingMessage.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Response;
} // namespace httplib

class CollectorReader;
struct RunKey;
struct RunSpan;

// A run as a file to download.
struct RunFile {
    enum class Kind { Csv, Workbook };
    std::string bytes;
    std::string contentType;
    std::string fileName; // plain characters only
};
// Makes one; nothing, with the reason in `error`, when it cannot.
using RunFileMaker = std::function<std::optional<RunFile>(CollectorReader &, const RunKey &, const RunSpan &,
                                                          RunFile::Kind, std::string &error)>;

class DashboardServer {
public:
    // Listens on the settings' address and port and serves the pages of
    // webRoot and what dbPath holds; nothing, with the reason in `error`,
    // when it cannot (a port in use, a missing password file or certificate).
    // Runs are offered for download when `files` is given.
    static std::unique_ptr<DashboardServer> start(const DashboardSettings &settings, const std::string &dbPath,
                                                  const std::string &webRoot, std::string &error,
                                                  RunFileMaker files = {});
    ~DashboardServer();
    DashboardServer(const DashboardServer &) = delete;
    DashboardServer &operator=(const DashboardServer &) = delete;

    // What the collector has just stored or received, to every open page.
    void readingStored(const PortTopics &where, const ParsedReading &reading, int64_t receivedUtcMs);
    void statusReceived(const PortTopics &where, const std::string &payload, int64_t receivedUtcMs);

    // "http://127.0.0.1:8080/", as pondus-log announces it.
    std::string url() const;

private:
    DashboardServer(const DashboardSettings &settings, std::string dbPath, std::string webRoot);
    void route();
    void serveEvents(httplib::Response &response);

    const DashboardSettings settings_;
    const std::string dbPath_;
    const std::string webRoot_;
    RunFileMaker files_;
    std::string expectedLogin_; // "Basic <base64 of user:password>"; empty for no login
    std::unique_ptr<httplib::Server> http_;
    std::thread listener_;
    LiveFeed feed_;
    std::atomic<int> watchers_{0};
};
