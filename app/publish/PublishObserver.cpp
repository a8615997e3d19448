// Publishing's side of a recording session.
#include "publish/PublishObserver.h"

PublishObserver::PublishObserver(const MqttSettings &settings, const std::string &journalPath,
                                 MqttPublisher::Report report)
    : settings_(settings), report_(std::move(report)), backlog_(journalPath)
{
    if (const std::string port = backlog_.portWithUnsentRows(); !port.empty())
        publishPort(port, "stopped");
}

void PublishObserver::publishPort(const std::string &port, const std::string &link)
{
    // One publisher per port, as its status topic and last will name it.
    publisher_.reset();
    port_ = port;
    publisher_ = std::make_unique<MqttPublisher>(settings_, PortTopics{settings_.topicPrefix, localPcName(), port_},
                                                 backlog_, report_, link);
    resumeRunsOf(port);
}

void PublishObserver::resumeRunsOf(const std::string &journalPort)
{
    for (const JournalBacklog::UnsentRun &run : backlog_.unsentRuns(journalPort))
        publisher_->resumeRun(run.name, run.publishedThrough, run.recorded);
}

void PublishObserver::runStarted(const RunInfo &run)
{
    // Named after the run's start, as the journal keeps it, so that a later
    // program finishing its publication sends it under the same name.
    const std::string name = runIdAt(run.startedUtcMs);
    backlog_.startRun(name, run.keptRun);
    const std::string port = run.linkPort > 0 ? topicPortOf(run.linkPort) : run.settings.port;
    if (!publisher_ || port != port_)
        publishPort(port, "OnLine");
    // A device path is played as COM1: runs the journal keeps under the path
    // are this port's too.
    if (run.settings.port != port && run.settings.port != searchedPort)
        resumeRunsOf(run.settings.port);
    publisher_->startRun(name, run.settings.samples);
    runSettings_ = run.settings;
    constantSince_.assign(run.settings.balances.size(), std::nullopt);
    publisher_->setLink("OnLine");
}

void PublishObserver::rowCommitted(const CommittedRow &row)
{
    const int64_t seq = backlog_.append(row);
    if (publisher_)
        publisher_->rowRecorded(seq);
}

void PublishObserver::massChanged(const SampleValues &values)
{
    if (!publisher_)
        return;
    std::vector<SampleStatus> samples;
    for (size_t slot = 0; slot < values.values.size() && slot < runSettings_.balances.size(); ++slot) {
        const int32_t balance = runSettings_.balances[slot];
        if (values.values[slot].reachedNow)
            constantSince_[slot] = values.row.row.utcMs;
        samples.push_back({balance, runSettings_.sampleAt(balance), values.values[slot], constantSince_[slot]});
    }
    publisher_->setSamples(std::move(samples));
}

void PublishObserver::runStopped(const RunInfo &)
{
    if (publisher_)
        publisher_->setLink("stopped");
}

bool PublishObserver::waitUntilSent(std::chrono::milliseconds limit)
{
    return !publisher_ || publisher_->waitUntilSent(limit);
}

int64_t PublishObserver::rowsDue() const
{
    return publisher_ ? publisher_->rowsDue() : 0;
}
