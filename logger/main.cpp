// pondus-log: records the weights of the balances on one serial line without
// a window, as a service or from a script. See --help.
#include "ExitCodes.h"
#include "LiveView.h"
#include "LoggerOptions.h"
#include "LoggerRun.h"
#include "ReportCommand.h"
#include "RowFile.h"
#include "RunOutput.h"
#include "VerifyCommand.h"
#include "WorkbookFile.h"

#include "dashboard/DashboardServer.h"
#include "dashboard/RunDownload.h"
#include "journal/JournalObserver.h"
#include "ports/PortMapping.h"
#include "publish/MqttCollector.h"
#include "publish/PublishObserver.h"
#include "recording/LinkLibrary.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include <signal.h>
#include <unistd.h>

using namespace pondus::logger;

namespace {

// The pages beside the program (../share/pondus/dashboard from bin/, in the
// build tree as once installed), else the installed ones.
std::string dashboardPages()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/pondus/dashboard");
    if (QFileInfo::exists(beside + QStringLiteral("/index.html")))
        return QFileInfo(beside).canonicalFilePath().toStdString();
    return PONDUS_DASHBOARD_DIR;
}

// The collector, and with --http its dashboard, told of every stored
// reading and every status.
int collectWithDashboard(const LoggerOptions &options)
{
    if (!options.dashboard.enabled())
        return runCollector(options.mqtt, options.collectPrefix, options.collectDb);
    std::string error;
    const auto dashboard =
        DashboardServer::start(options.dashboard, options.collectDb, dashboardPages(), error, runDownload);
    if (!dashboard) {
        std::fprintf(stderr, "pondus-log: %s\n", error.c_str());
        return failure;
    }
    std::fprintf(stderr, "pondus-log: панель лаборатории: %s\n", dashboard->url().c_str());
    return runCollector(
        options.mqtt, options.collectPrefix, options.collectDb,
        [&](const PortTopics &where, const ParsedReading &reading, CollectorStore::Outcome outcome) {
            if (outcome == CollectorStore::Outcome::Stored)
                dashboard->readingStored(where, reading, QDateTime::currentMSecsSinceEpoch());
        },
        [&](const PortTopics &where, const std::string &payload, int64_t receivedUtcMs) {
            dashboard->statusReceived(where, payload, receivedUtcMs);
        });
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before the library starts its worker, so that the worker
    // inherits the mask and the stop signals reach only the poll loop's
    // sigtimedwait. A file grown past its size limit fails its write
    // (reported) instead of killing the process.
    sigset_t stopSignals;
    ::sigemptyset(&stopSignals);
    ::sigaddset(&stopSignals, SIGINT);
    ::sigaddset(&stopSignals, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGXFSZ, SIG_IGN);

    // QtCore only, for settings, texts and formats: no display is needed. A
    // report draws its text, which needs the fonts of QtGui, off screen.
    const bool reporting = std::any_of(argv + 1, argv + argc, [](const char *arg) {
        return std::strcmp(arg, "--report") == 0 || std::strncmp(arg, "--report=", 9) == 0;
    });
    if (reporting)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::unique_ptr<QCoreApplication> application =
        reporting ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pondus-log"));
    const ParsedCommandLine parsed =
        parseCommandLine(QCoreApplication::arguments(), QDateTime::currentMSecsSinceEpoch());
    if (!parsed.options) {
        std::FILE *out = parsed.exitCode == 0 ? stdout : stderr;
        std::fprintf(out, parsed.exitCode == 0 ? "%s" : "pondus-log: %s\n", parsed.text.c_str());
        return parsed.exitCode;
    }
    const LoggerOptions &options = *parsed.options;
    for (const MqttSectionWarning &warning : options.mqttWarnings)
        std::fprintf(stderr, "pondus-log: %s\n", warning.text.c_str());
    if (!options.verifyPath.empty())
        return verifyJournal(options.verifyPath);
    if (!options.reportRun.empty())
        return writeReport(options.journalPath, options.reportRun, options.outputPath);
    if (!options.collectPrefix.empty())
        return collectWithDashboard(options);
    if (!options.devicePath.empty())
        ::setenv("TRUTINA_COM1", options.devicePath.c_str(), 1);

    try {
        LinkLibrary library = options.libraryPath.empty()
                                  ? LinkLibrary(QCoreApplication::applicationDirPath(),
                                                QStringLiteral(PONDUS_LIBRARY_DIR))
                                  : LinkLibrary(options.libraryPath);
        if (!library.hasSetComPort() || !library.hasFreshData()) {
            std::fprintf(stderr, "pondus-log: %s\n", library.error().c_str());
            return failure;
        }
        // A workbook is written when the run ends; its rows go to a CSV row
        // file meanwhile.
        std::optional<WorkbookFile> workbook;
        if (options.format == FileFormat::Xlsx)
            workbook.emplace(options.outputPath);
        const RowText text(workbook ? FileFormat::Csv : options.format, ValueFormat());
        RowFile file(workbook ? workbook->rowFilePath() : options.outputPath, text);
        const std::string &output = workbook ? workbook->path() : file.path();
        LiveView view(stdout, ::isatty(STDOUT_FILENO) == 1, text, options.run.balances);

        std::optional<pondus::journal::JournalObserver> journal;
        if (!options.journalPath.empty()) {
            journal.emplace(
                options.journalPath,
                [](const std::string &path, const std::string &reason) {
                    std::fprintf(stderr, "pondus-log: journal off: %s: %s\n", path.c_str(), reason.c_str());
                },
                options.operatorName);
            journal->journal().setNewFileSink([](const std::string &path, const std::string &reason) {
                std::fprintf(stderr, "pondus-log: journal %s: %s\n", path.c_str(), reason.c_str());
            });
            journal->journal().setHeadFailureSink([](const std::string &path, const std::string &reason) {
                std::fprintf(stderr, "pondus-log: the journal's head cannot be kept in %s: %s; recording goes on\n",
                             path.c_str(), reason.c_str());
            });
        }
        std::optional<PublishObserver> publisher;
        if (options.mqtt.enabled)
            publisher.emplace(options.mqtt, options.journalPath, [](const std::string &problem) {
                std::fprintf(stderr, "pondus-log: %s\n", problem.c_str());
            });
        RunOutput runOutput(file, workbook ? &*workbook : nullptr, journal ? &journal->journal() : nullptr);
        // The journal keeps a row before the publisher reads it back.
        RecordingSession session(library);
        if (journal)
            session.keepRunsIn(*journal);
        if (publisher)
            session.addObserver(*publisher);
        session.addObserver(runOutput);
        session.addObserver(view);

        // The library is not handed the window's port mapping: a port is
        // its TRUTINA_COMn, else its default device.
        auto diagnosis = pondus::ports::LinkDiagnosis::forPort(options.portNumber, [](int port) {
            return pondus::ports::resolvePort(port, {}, false).path;
        });
        if (workbook)
            std::fprintf(stderr, "pondus-log: recording to %s, the workbook %s when the run ends\n",
                         file.path().c_str(), output.c_str());
        else
            std::fprintf(stderr, "pondus-log: recording to %s\n", file.path().c_str());
        const RunEnd end = runLogger(session, options, std::move(diagnosis), view, stopSignals);
        if (end.code != done)
            std::fprintf(stderr, "pondus-log: %s\n", end.reason.c_str());
        runOutput.finishWorkbook(QDateTime::currentMSecsSinceEpoch());
        std::fprintf(stderr, "pondus-log: %lld rows in %s\n",
                     static_cast<long long>(session.history().measurementNo), output.c_str());
        for (const std::string &line : view.summary())
            std::fprintf(stderr, "pondus-log: %s\n", line.c_str());
        // The last rows may still be on their way to the broker.
        if (publisher && !publisher->waitUntilSent(std::chrono::seconds(5)))
            std::fprintf(stderr, "pondus-log: MQTT: %lld rows were not sent to the broker; %s\n",
                         static_cast<long long>(publisher->rowsDue()),
                         options.journalPath.empty() ? "they are lost (no journal)"
                                                     : "they wait in the journal for the next start");
        return end.code;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "pondus-log: %s\n", error.what());
        return failure;
    }
}
