#include "dashboard/DashboardServer.h"

#include "dashboard/CollectorReader.h"
#include "dashboard/DashboardJson.h"
#include "journal/Stamp.h"

#include <httplib.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using httplib::Request;
using httplib::Response;
using pondus::journal::Stamp;

// Enough threads for every page's live stream and the requests beside them.
constexpr size_t serverThreads = 48;
constexpr int maxWatchers = 32;
constexpr size_t maxTextParameter = 256;

// Compares without stopping at the first difference, so that the time a
// refusal takes tells nothing about the password.
bool sameText(std::string_view given, std::string_view expected)
{
    if (given.size() != expected.size())
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < given.size(); ++i)
        difference |= uint8_t(given[i]) ^ uint8_t(expected[i]);
    return difference == 0;
}

std::optional<std::string> fileText(const std::string &path, std::string &error)
{
    // A named pipe or a device would block the open or the read for ever.
    std::error_code status;
    if (!std::filesystem::is_regular_file(path, status)) {
        error = path + ": " + (status ? status.message() : "not a regular file");
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void answerJson(Response &response, const nlohmann::json &body, int status = 200)
{
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(jsonText(body), "application/json; charset=utf-8");
}

void notFound(Response &response, const char *what)
{
    answerJson(response, {{"error", what}}, 404);
}

// Runs `answer` with a reader of the collector's file; 503 when the file
// cannot be read.
template <typename Answer>
void withReader(const std::string &dbPath, Response &response, Answer answer)
{
    std::string error;
    const std::unique_ptr<CollectorReader> reader = CollectorReader::open(dbPath, error);
    if (!reader) {
        answerJson(response, {{"error", error}}, 503);
        return;
    }
    answer(*reader);
}

// A text parameter that names something the collector stores; nothing when
// it is missing, empty or longer than any name it keeps.
std::optional<std::string> textParameter(const Request &request, const char *name)
{
    if (!request.has_param(name))
        return std::nullopt;
    std::string value = request.get_param_value(name);
    if (value.empty() || value.size() > maxTextParameter)
        return std::nullopt;
    return value;
}

std::optional<RunKey> runKeyOf(const Request &request)
{
    auto pc = textParameter(request, "pc");
    auto port = textParameter(request, "port");
    auto run = textParameter(request, "run");
    if (!pc || !port || !run)
        return std::nullopt;
    return RunKey{std::move(*pc), std::move(*port), std::move(*run)};
}

// A whole number in [low, high]; `fallback` when absent, nothing when it is
// anything else.
std::optional<int64_t> wholeParameter(const Request &request, const char *name, int64_t low, int64_t high,
                                      std::optional<int64_t> fallback = std::nullopt)
{
    if (!request.has_param(name))
        return fallback;
    const std::string text = request.get_param_value(name);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

std::unique_ptr<DashboardServer> DashboardServer::start(const DashboardSettings &settings, const std::string &dbPath,
                                                        const std::string &webRoot, std::string &error,
                                                        RunFileMaker files)
{
    const auto failed = [&error](std::string why) {
        error = std::move(why);
        return nullptr;
    };
    if (std::string problem = dashboardSettingsProblem(settings); !problem.empty())
        return failed(std::move(problem));
    std::unique_ptr<DashboardServer> server(new DashboardServer(settings, dbPath, webRoot));
    server->files_ = std::move(files);
    if (settings.needsLogin()) {
        std::string reason;
        const auto text = fileText(settings.passwordFile, reason);
        if (!text)
            return failed("HTTP: файл пароля " + reason);
        const std::string password = text->substr(0, text->find_first_of("\r\n"));
        server->expectedLogin_ = httplib::make_basic_authentication_header(settings.user, password).second;
    }
    if (settings.usesTls()) {
        auto secure = std::make_unique<httplib::SSLServer>(settings.certFile.c_str(), settings.keyFile.c_str());
        if (!secure->is_valid())
            return failed("HTTP: сертификат " + settings.certFile + " или ключ " + settings.keyFile + " не загружены");
        server->http_ = std::move(secure);
    } else {
        server->http_ = std::make_unique<httplib::Server>();
    }
    if (!std::ifstream(webRoot + "/index.html"))
        return failed("HTTP: нет страниц панели в " + webRoot);
    server->route();
    // Address reuse for a quick restart, but not port reuse (the library's
    // default): with it a second collector on the port binds as well and the
    // kernel hands each of the two some of the connections.
    server->http_->set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    if (!server->http_->bind_to_port(settings.address, settings.port))
        return failed("HTTP: адрес " + settings.address + ":" + std::to_string(settings.port) + " не занят: " +
                      std::strerror(errno));
    server->listener_ = std::thread([raw = server.get()] { raw->http_->listen_after_bind(); });
    // A stop before the listener runs would be missed and its join never end.
    for (int waited = 0; !server->http_->is_running() && waited < 5000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return server;
}

DashboardServer::DashboardServer(const DashboardSettings &settings, std::string dbPath, std::string webRoot)
    : settings_(settings), dbPath_(std::move(dbPath)), webRoot_(std::move(webRoot))
{
}

DashboardServer::~DashboardServer()
{
    feed_.close();
    if (http_)
        http_->stop();
    if (listener_.joinable())
        listener_.join();
}

std::string DashboardServer::url() const
{
    const bool v6 = settings_.address.find(':') != std::string::npos;
    return std::string(settings_.usesTls() ? "https://" : "http://") + (v6 ? "[" : "") + settings_.address +
           (v6 ? "]" : "") + ":" + std::to_string(settings_.port) + "/";
}

void DashboardServer::readingStored(const PortTopics &where, const ParsedReading &reading, int64_t receivedUtcMs)
{
    feed_.publish(eventMessage("reading", portRowJson(where, reading.run, reading.row, receivedUtcMs)));
}

void DashboardServer::statusReceived(const PortTopics &where, const std::string &payload, int64_t receivedUtcMs)
{
    feed_.publish(eventMessage("status", portStatusJson(where, payload, receivedUtcMs)));
}

void DashboardServer::route()
{
    httplib::Server &http = *http_;
    http.new_task_queue = [] { return new httplib::ThreadPool(serverThreads); }; // the server owns it
    http.set_default_headers({
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        // Scripts and styles only from the dashboard's own files: a text
        // that slipped into a page as markup still could not run.
        {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:; object-src 'none'; "
                                    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    });
    http.set_pre_routing_handler([this](const Request &request, Response &response) {
        if (request.method != "GET") {
            response.status = 405;
            response.set_header("Allow", "GET");
            response.set_content("Только чтение: разрешён лишь GET\n", "text/plain; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (expectedLogin_.empty() || sameText(request.get_header_value("Authorization"), expectedLogin_))
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = 401;
        response.set_header("WWW-Authenticate", "Basic realm=\"PONDUS\", charset=\"UTF-8\"");
        response.set_content("Нужны имя и пароль\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    });
    http.set_mount_point("/", webRoot_);

    http.Get("/api/lab", [this](const Request &, Response &response) {
        withReader(dbPath_, response,
                   [&](CollectorReader &reader) { answerJson(response, reader.lab(Stamp::now().utcMs)); });
    });
    http.Get("/api/runs", [this](const Request &request, Response &response) {
        const auto pc = textParameter(request, "pc");
        const auto port = textParameter(request, "port");
        if (!pc || !port)
            return notFound(response, "Нет такого порта");
        withReader(dbPath_, response,
                   [&](CollectorReader &reader) { answerJson(response, reader.runs(*pc, *port)); });
    });
    http.Get("/api/run", [this](const Request &request, Response &response) {
        const auto key = runKeyOf(request);
        if (!key)
            return notFound(response, "Серия не найдена");
        withReader(dbPath_, response, [&](CollectorReader &reader) {
            const auto span = reader.span(*key);
            if (!span)
                return notFound(response, "Серия не найдена");
            answerJson(response, reader.runInfo(*key, *span));
        });
    });
    http.Get("/api/rows", [this](const Request &request, Response &response) {
        const auto key = runKeyOf(request);
        const auto page = wholeParameter(request, "page", 1, INT32_MAX, 1);
        if (!key || !page)
            return notFound(response, "Нет такой страницы серии");
        withReader(dbPath_, response, [&](CollectorReader &reader) {
            const auto span = reader.span(*key);
            if (!span || *page > (span->lastSeq + CollectorReader::pageRows - 1) / CollectorReader::pageRows)
                return notFound(response, "Нет такой страницы серии");
            answerJson(response, reader.rowsPage(*key, *span, *page));
        });
    });
    http.Get("/api/chart", [this](const Request &request, Response &response) {
        const auto key = runKeyOf(request);
        const auto from = wholeParameter(request, "from", 0, INT64_MAX / 2, 0);
        const auto to = wholeParameter(request, "to", 0, INT64_MAX / 2, INT64_MAX / 2);
        const auto width = wholeParameter(request, "width", 50, 4000, 1200);
        if (!key || !from || !to || !width || *from > *to)
            return notFound(response, "Нет такой серии или участка");
        withReader(dbPath_, response, [&](CollectorReader &reader) {
            const auto span = reader.span(*key);
            if (!span)
                return notFound(response, "Серия не найдена");
            answerJson(response, reader.chart(*key, *span, *from, *to, int(*width)));
        });
    });
    http.Get("/run", [this](const Request &request, Response &response) {
        const auto key = runKeyOf(request);
        bool known = false;
        if (key)
            withReader(dbPath_, response, [&](CollectorReader &reader) { known = reader.span(*key).has_value(); });
        std::string error;
        const auto page = fileText(webRoot_ + (known ? "/run.html" : "/missing.html"), error);
        response.status = known ? 200 : 404;
        response.set_content(page.value_or(error), "text/html; charset=utf-8");
    });
    http.Get("/api/events", [this](const Request &, Response &response) { serveEvents(response); });
    for (const auto &[path, kind] : {std::pair{"/download/run.csv", RunFile::Kind::Csv},
                                     std::pair{"/download/run.xlsx", RunFile::Kind::Workbook}})
        http.Get(path, [this, kind](const Request &request, Response &response) {
            const auto key = runKeyOf(request);
            if (!key || !files_)
                return notFound(response, "Серия не найдена");
            withReader(dbPath_, response, [&](CollectorReader &reader) {
                const auto span = reader.span(*key);
                if (!span)
                    return notFound(response, "Серия не найдена");
                std::string error;
                const auto file = files_(reader, *key, *span, kind, error);
                if (!file)
                    return answerJson(response, {{"error", error}}, 500);
                response.set_header("Content-Disposition", "attachment; filename=\"" + file->fileName + "\"");
                response.set_header("Cache-Control", "no-store");
                response.set_content(file->bytes, file->contentType);
            });
        });
}

void DashboardServer::serveEvents(Response &response)
{
    if (watchers_.fetch_add(1) >= maxWatchers) {
        watchers_.fetch_sub(1);
        answerJson(response, {{"error", "Слишком много открытых страниц"}}, 503);
        return;
    }
    struct Watch {
        uint64_t cursor = 0;
        bool needsPicture = true;
    };
    auto watch = std::make_shared<Watch>();
    response.set_header("Cache-Control", "no-store");
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, watch](size_t, httplib::DataSink &sink) {
            if (watch->needsPicture) {
                // Everything after this moment follows the picture, so the
                // page misses nothing between the two.
                watch->cursor = feed_.cursor();
                std::string error;
                const auto reader = CollectorReader::open(dbPath_, error);
                const std::string text = "retry: 1000\n" + (reader ? eventMessage("lab", reader->lab(Stamp::now().utcMs))
                                                 : eventMessage("problem", {{"error", error}}));
                watch->needsPicture = false;
                return sink.write(text.data(), text.size());
            }
            const LiveFeed::Batch batch = feed_.after(watch->cursor, 15s);
            if (batch.closed)
                return false;
            watch->cursor = batch.next;
            watch->needsPicture = batch.missed;
            const std::string &text = batch.text.empty() ? std::string(": alive\n\n") : batch.text;
            return sink.write(text.data(), text.size());
        },
        [this](bool) { watchers_.fetch_sub(1); });
}
