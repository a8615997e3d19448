// The report's menu item, its save dialog and its result.
#include "mainform/RunReportMenu.h"

#include "mainform/Serialer.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenuBar>
#include <QtConcurrent/QtConcurrentRun>

RunReportMenu::RunReportMenu(TMainForm &form, QString journalPath, Notice notice)
    : form_(form), journalPath_(std::move(journalPath)), notice_(std::move(notice))
{
    choose_ = [this](int64_t run) {
        return QFileDialog::getSaveFileName(&form_, QStringLiteral("Отчёт о серии"),
                                            QStringLiteral("серия-%1.pdf").arg(run), QStringLiteral("PDF (*.pdf)"));
    };
    auto *item = new QAction(QStringLiteral("Отчёт о серии…"), this);
    item->setObjectName(QStringLiteral("RunReportMenuItem"));
    form.menuBar()->addAction(item);
    connect(item, &QAction::triggered, this, &RunReportMenu::write);
    connect(&watcher_, &QFutureWatcher<pondus::report::ReportWritten>::finished, this, &RunReportMenu::tell);
}

RunReportMenu::~RunReportMenu()
{
    watcher_.waitForFinished();
}

void RunReportMenu::write()
{
    const int64_t run = form_.session().run().keptRun;
    if (watcher_.isRunning())
        return;
    if (run == 0) {
        notice_(QStringLiteral("В журнале измерений ещё нет серии для отчёта."));
        return;
    }
    target_ = choose_(run);
    if (target_.isEmpty())
        return;
    // The dialog asked before a file was replaced.
    watcher_.setFuture(QtConcurrent::run([journal = journalPath_.toStdString(), run, pdf = target_.toStdString()] {
        return pondus::report::writeRunReport(journal, std::to_string(run), pdf, true);
    }));
}

void RunReportMenu::tell()
{
    const pondus::report::ReportWritten written = watcher_.result();
    const QString file = QDir::toNativeSeparators(target_);
    notice_(written.written ? QStringLiteral("Отчёт о серии № %1 сохранён:\n%2").arg(written.run).arg(file)
                            : QStringLiteral("Отчёт о серии не сохранён:\n%1\n%2")
                                  .arg(file, QString::fromStdString(written.error)));
}
