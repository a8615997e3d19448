#include "publish/WindowPublishing.h"

#include "mainform/Serialer.h"
#include "publish/MqttIniSection.h"
#include "settings/JournalSettings.h"

#include <QStatusBar>

#include <cstdio>

WindowPublishing::WindowPublishing(TMainForm &form, const MqttSettings &settings, const std::string &journalPath)
    : QObject(&form), form_(form), settings_(settings), backlog_(journalPath, backlogRows)
{
    form.addRunStartedSink([this](const RunState &state) { runStarted(state); });
    form.addRunStoppedSink([this](const RunState &) { runStopped(); });
    form.addRowSink([this](const RecordedRow &row) { rowRecorded(row); });
    // Rows a closed program could not send are sent now, not at the next run.
    if (const std::string port = backlog_.portWithUnsentRows(); !port.empty()) {
        publishPort(port);
        publisher_->setLink("stopped");
    }
}

WindowPublishing::~WindowPublishing() = default;

void WindowPublishing::runStarted(const RunState &state)
{
    run_ = backlog_.startRun(state.runStartedUtcMs);
    awaitingPort_ = state.run.port == searchedPort;
    if (!awaitingPort_)
        publishRun(state.run.port);
}

void WindowPublishing::publishRun(const std::string &port)
{
    // One publisher per port, as its status topic and last will name it.
    if (!publisher_ || port != port_)
        publishPort(port);
    publisher_->startRun(run_);
    publisher_->setLink("OnLine");
}

void WindowPublishing::rowRecorded(const RecordedRow &row)
{
    const int64_t seq = backlog_.append(row);
    if (awaitingPort_ && form_.linkPort() > 0) {
        awaitingPort_ = false;
        publishRun(topicPortOf(form_.linkPort()));
    }
    if (publisher_ && !awaitingPort_)
        publisher_->rowRecorded(seq);
}

void WindowPublishing::publishPort(const std::string &port)
{
    publisher_.reset();
    port_ = port;
    auto report = [this](const std::string &text) {
        std::fprintf(stderr, "%s\n", text.c_str());
        QMetaObject::invokeMethod(
            this, [this, text = QString::fromStdString(text)] { showProblem(text); }, Qt::QueuedConnection);
    };
    publisher_ = std::make_unique<MqttPublisher>(settings_, PortTopics{settings_.topicPrefix, localPcName(), port_},
                                                 backlog_, report);
    for (const JournalBacklog::UnsentRun &run : backlog_.unsentRuns(port))
        publisher_->resumeRun(run.name, run.publishedThrough, run.recorded);
}

void WindowPublishing::runStopped()
{
    if (publisher_)
        publisher_->setLink("stopped");
}

void WindowPublishing::showProblem(const QString &text)
{
    form_.statusBar()->showMessage(text);
}

void publishWhenConfigured(TMainForm &form)
{
    const MqttSettings settings = readMqttSection(form.settingsPath());
    if (settings.enabled) // owned by the form
        new WindowPublishing(form, settings, JournalSettings::read(form.settingsPath()).path.toStdString());
}
