// The journal's hash chain checked from the window: "Проверить журнал" in
// the menu tells what the walk found, the check at start-up tells only a
// broken chain. The walk runs off the window's thread (a day's journal takes
// about a second) and never changes the file.
#pragma once

#include "journal/ChainVerifier.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <functional>

class QMainWindow;

class JournalCheck final : public QObject {
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &text)>;

    // Adds the menu item to the window's menu bar; it goes with this object,
    // which the caller owns.
    JournalCheck(QMainWindow &window, QString path, Notice notice);
    // Waits for a walk under way: no thread outlives the window's parts.
    ~JournalCheck() override;

    // Walks the chain; a quiet walk tells only a broken chain. Asked while a
    // walk is under way, the one walk serves both, told if either asked aloud.
    void start(bool quiet);
    // Until the walk's result has been told.
    bool running() const { return running_; }

private:
    void tell();

    QString path_;
    Notice notice_;
    QFutureWatcher<pondus::journal::ChainCheck> watcher_;
    bool running_ = false;
    bool quiet_ = true;
};
