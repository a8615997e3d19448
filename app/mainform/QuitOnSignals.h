// Turns SIGTERM and SIGINT into a signal of the event loop, so that the
// program ends the ordinary way and writes its settings.
#pragma once

#include <QObject>

class QSocketNotifier;

class QuitOnSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

signals:
    void quitRequested();

private:
    void drain();

    QSocketNotifier *notifier_ = nullptr;
};
