// Publishing attached to a recording session, the same in the window and in
// pondus-log: each committed row is announced to a publisher for the port
// the line is on (the one the search found), which reads it back from the
// journal, or from memory when the journal does not keep the run; what runs
// on that port left unsent when a program ended goes first. The status
// carries the samples' change, drift and constant mass after each row.
#pragma once

#include "publish/JournalBacklog.h"
#include "publish/MqttPublisher.h"
#include "recording/SessionObserver.h"

#include <chrono>
#include <memory>
#include <optional>
#include <vector>
#include <string>

class PublishObserver final : public SessionObserver {
public:
    // Attach it after the journal, so that a row is committed before it is
    // read back. Rows a closed program left unsent on a known port leave at
    // once, not at the next run. report is called on the publisher's threads.
    PublishObserver(const MqttSettings &settings, const std::string &journalPath, MqttPublisher::Report report);
    PublishObserver(const PublishObserver &) = delete;
    PublishObserver &operator=(const PublishObserver &) = delete;

    void runStarted(const RunInfo &run) override;
    void rowCommitted(const CommittedRow &row) override;
    void massChanged(const SampleValues &values) override;
    void runStopped(const RunInfo &run) override;

    // Waits at most `limit` for the broker to have every row, as a program
    // does before it ends; true when it has them (or nothing was published).
    bool waitUntilSent(std::chrono::milliseconds limit);
    // Rows the broker does not have yet.
    int64_t rowsDue() const;

private:
    // A publisher for the port, which first sends what runs on that port
    // left unsent; its first status tells link.
    void publishPort(const std::string &port, const std::string &link);
    // Runs the journal keeps under that port name that a program left unsent.
    void resumeRunsOf(const std::string &journalPort);

    const MqttSettings settings_;
    const MqttPublisher::Report report_;
    JournalBacklog backlog_;
    std::unique_ptr<MqttPublisher> publisher_;
    std::string port_;
    // The running run's balances, their samples and since when each is
    // constant, for the status.
    RunSettings runSettings_;
    std::vector<std::optional<int64_t>> constantSince_;
};
