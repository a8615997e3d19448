// pondus-log: records the weights of the balances on one serial line without
// a window, as a service or from a script. See --help.
#include "ExitCodes.h"
#include "LiveView.h"
#include "LoggerJournal.h"
#include "LoggerOptions.h"
#include "LoggerRun.h"
#include "RowFile.h"
#include "WorkbookFile.h"

#include "dashboard/DashboardServer.h"
#include "dashboard/RunDownload.h"
#include "publish/JournalBacklog.h"
#include "publish/MqttCollector.h"
#include "publish/MqttPublisher.h"
#include "publish/ReadingMessage.h"
#include "recording/LinkLibrary.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>
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

    // QtCore only, for settings, texts and formats: no display is needed.
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pondus-log"));
    const ParsedCommandLine parsed =
        parseCommandLine(QCoreApplication::arguments(), QDateTime::currentMSecsSinceEpoch());
    if (!parsed.options) {
        std::FILE *out = parsed.exitCode == 0 ? stdout : stderr;
        std::fprintf(out, parsed.exitCode == 0 ? "%s" : "pondus-log: %s\n", parsed.text.c_str());
        return parsed.exitCode;
    }
    const LoggerOptions &options = *parsed.options;
    if (!options.collectPrefix.empty())
        return collectWithDashboard(options);
    if (!options.devicePath.empty())
        ::setenv("TRUTINA_COM1", options.devicePath.c_str(), 1);

    try {
        const LinkLibrary library = options.libraryPath.empty()
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

        LoggerRun run(library.client(), options);
        run.addRowSink([&](const RecordedRow &row) { file.append(row); });
        if (workbook) {
            run.addRunStartedSink([&](const RunSettings &settings, int64_t utcMs) { workbook->runStarted(settings, utcMs); });
            run.addRowSink([&](const RecordedRow &row) { workbook->append(row); });
        }
        run.addRowSink([&](const RecordedRow &row) { view.showRow(row); });
        run.addRunStartedSink([&](const RunSettings &settings, int64_t) { view.setBalances(settings.balances); });
        run.addScanFailureSink([](size_t, const BalanceCaption &, const BalanceCaption &read) {
            std::fprintf(stderr, "pondus-log: balance %d answered its scan badly; its captions are kept\n",
                         int(read.balance));
        });
        std::optional<LoggerJournal> journal;
        if (!options.journalPath.empty())
            journal.emplace(run, options.journalPath, output);
        // Rows wait for the broker in the journal; without one, in memory,
        // at most a bounded number of them.
        JournalBacklog backlog(options.journalPath, 100000);
        std::unique_ptr<MqttPublisher> publisher;
        std::string publishedRun;
        if (options.mqtt.enabled) {
            // Topics name the COM port: a device path is played as COM1, and
            // the port search publishes under the port it finds, once the
            // first row shows it.
            const auto publishPort = [&](const std::string &port) {
                publisher = std::make_unique<MqttPublisher>(
                    options.mqtt, PortTopics{options.mqtt.topicPrefix, localPcName(), port}, backlog,
                    [](const std::string &problem) { std::fprintf(stderr, "pondus-log: %s\n", problem.c_str()); });
                // What an earlier run on this line left unsent goes first.
                for (const JournalBacklog::UnsentRun &unsent : backlog.unsentRuns(options.run.port))
                    publisher->resumeRun(unsent.name, unsent.publishedThrough, unsent.recorded);
            };
            const auto publishRun = [&] {
                publisher->startRun(publishedRun);
                publisher->setLink("OnLine");
            };
            if (options.portNumber > 0)
                publishPort(topicPortOf(options.portNumber));
            run.addRunStartedSink([&](const RunSettings &, int64_t utcMs) {
                publishedRun = backlog.startRun(utcMs);
                if (publisher)
                    publishRun();
            });
            run.addRowSink([&](const RecordedRow &row) {
                const int64_t seq = backlog.append(row);
                if (!publisher && run.linkPort() > 0) {
                    publishPort(topicPortOf(run.linkPort()));
                    publishRun();
                }
                if (publisher)
                    publisher->rowRecorded(seq);
            });
        }
        run.addPollSink([&](const trutina::Block &block, int64_t rows, std::chrono::milliseconds elapsed) {
            view.showPoll(block, rows, elapsed);
        });
        if (workbook)
            std::fprintf(stderr, "pondus-log: recording to %s, the workbook %s when the run ends\n",
                         file.path().c_str(), output.c_str());
        else
            std::fprintf(stderr, "pondus-log: recording to %s\n", file.path().c_str());
        const ExitCode code = run.run(stopSignals);
        if (code != done)
            std::fprintf(stderr, "pondus-log: %s\n", run.reason().c_str());
        if (workbook)
            workbook->finish(QDateTime::currentMSecsSinceEpoch());
        std::fprintf(stderr, "pondus-log: %lld rows in %s\n", static_cast<long long>(run.rowsRecorded()),
                     output.c_str());
        // The last rows may still be on their way to the broker.
        if (publisher && !publisher->waitUntilSent(std::chrono::seconds(5)))
            std::fprintf(stderr, "pondus-log: MQTT: the broker does not have every row; %s\n",
                         options.journalPath.empty() ? "the others are lost (no journal)"
                                                     : "the others wait in the journal for the next start");
        return code;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "pondus-log: %s\n", error.what());
        return failure;
    }
}
