// Publishes the window's recorded rows when the [MQTT] section turns
// publishing on: the window's run and row hooks feed a publisher, which
// reads the rows back from the journal (from memory when the journal is
// off), and its problems show in the window's status bar.
#pragma once

#include "publish/JournalBacklog.h"
#include "publish/MqttPublisher.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class TMainForm;
struct RunState;

class WindowPublishing : public QObject {
    Q_OBJECT
public:
    // A child of the form, so that it outlives the form's own hooks. Made
    // after the journal's hooks, so that a row is journaled before it is
    // announced.
    WindowPublishing(TMainForm &form, const MqttSettings &settings, const std::string &journalPath);
    ~WindowPublishing() override;

    // Rows kept in memory for the broker while the journal is off; beyond
    // this the oldest unsent are given up (the collector reports the gap).
    static constexpr size_t backlogRows = 100000;

private:
    // A publisher for the port, which first sends what runs on that port
    // left unsent when an earlier program ended.
    void publishPort(const std::string &port);
    void runStarted(const RunState &state);
    // The run's rows go to the port's publisher from now on.
    void publishRun(const std::string &port);
    void rowRecorded(const RecordedRow &row);
    void runStopped();
    void showProblem(const QString &text);

    TMainForm &form_;
    const MqttSettings settings_;
    JournalBacklog backlog_;
    std::unique_ptr<MqttPublisher> publisher_;
    std::string port_;
    std::string run_;
    // A run on the port search waits for its first row to learn the port.
    bool awaitingPort_ = false;
};

// Turns publishing on for the form when its settings file says so; the rows
// are read back from the journal its [Journal] section names.
void publishWhenConfigured(TMainForm &form);
