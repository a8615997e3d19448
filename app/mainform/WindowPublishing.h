// Publishing of the window's runs when the [MQTT] section turns it on: the
// publishing observer on the window's session, whose problems show in the
// window's status bar.
#pragma once

#include "publish/PublishObserver.h"

#include <QObject>
#include <QString>

#include <string>

class TMainForm;

class WindowPublishing : public QObject {
    Q_OBJECT
public:
    // A child of the form, which it leaves when destroyed. Made after the
    // journal's keeper, so that a row is journaled before it is announced.
    WindowPublishing(TMainForm &form, const MqttSettings &settings, const std::string &journalPath);
    ~WindowPublishing() override;

private:
    TMainForm &form_;
    PublishObserver observer_;
};

// Turns publishing on for the form when its settings file says so; the rows
// are read back from the journal its [Journal] section names.
void publishWhenConfigured(TMainForm &form);
