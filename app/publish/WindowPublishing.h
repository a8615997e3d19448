// Publishes the window's recorded rows when the [MQTT] section turns
// publishing on: the window's run and row hooks feed a publisher, and its
// problems show in the window's status bar.
#pragma once

#include "publish/MemoryBacklog.h"
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
    // A child of the form, so that it outlives the form's own hooks.
    WindowPublishing(TMainForm &form, const MqttSettings &settings);
    ~WindowPublishing() override;

    // Rows kept in memory for the broker; beyond this the oldest unsent are
    // given up (the collector reports the gap).
    static constexpr size_t backlogRows = 100000;

private:
    void runStarted(const RunState &state);
    void runStopped();
    void showProblem(const QString &text);

    TMainForm &form_;
    const MqttSettings settings_;
    MemoryBacklog backlog_;
    std::unique_ptr<MqttPublisher> publisher_;
    std::string port_;
    std::string run_;
};

// Turns publishing on for the form when its settings file says so.
void publishWhenConfigured(TMainForm &form);
