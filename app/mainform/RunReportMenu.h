// "Отчёт о серии…" in the window's menu: the report of the run recorded last
// written as a PDF where the operator chooses, off the window's thread (a
// day's run takes a few seconds), and the result told.
#pragma once

#include "report/RunReportFile.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <functional>

class TMainForm;

class RunReportMenu final : public QObject {
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &text)>;
    // Where the report goes; empty when the operator cancelled.
    using PathChooser = std::function<QString(int64_t run)>;

    // Adds the menu item to the window's menu bar; it goes with this object.
    RunReportMenu(TMainForm &form, QString journalPath, Notice notice);
    // Waits for a report under way.
    ~RunReportMenu() override;

    // The save dialog unless replaced.
    void setPathChooser(PathChooser chooser) { choose_ = std::move(chooser); }
    void write();
    bool running() const { return watcher_.isRunning(); }

private:
    void tell();

    TMainForm &form_;
    QString journalPath_;
    Notice notice_;
    PathChooser choose_;
    QString target_;
    QFutureWatcher<pondus::report::ReportWritten> watcher_;
};
