// Binds the measurement journal to the main window: every recorded row and
// what the operator and the line did go into it, a failure is told once, and
// at start-up a table that was neither exported nor cleared is offered back.
#pragma once

#include "journal/JournalObserver.h"
#include "settings/JournalSettings.h"

#include <QString>

#include <functional>
#include <memory>

class JournalCheck;
class RunReportMenu;
class QWidget;
class TMainForm;

class JournalKeeper {
public:
    // A yes-or-no question to the operator; a question closed by the end of
    // the program (SIGTERM, the session's end) is left unanswered.
    enum class Answer { Yes, No, Unanswered };
    using Question = std::function<Answer(const QString &text)>;
    using Notice = std::function<void(const QString &text)>;

    // Opens the journal and journals the program's start; failures go to
    // notice. It keeps the rows of the window's session. While the lab
    // audits changes, the window's edits, clears and restores ask why. Without a question,
    // recovery asks nothing and leaves pending tables as they are.
    JournalKeeper(TMainForm &form, const JournalSettings &settings, Notice notice, Question question);
    // Leaves the session; journals the stop of a run still going and the
    // program's exit.
    ~JournalKeeper();
    JournalKeeper(const JournalKeeper &) = delete;
    JournalKeeper &operator=(const JournalKeeper &) = delete;

    // At start-up: prunes old tables, then offers the pending ones, newest
    // first, until one is restored; each one refused is marked declined. An
    // unanswered question ends the offers and leaves the rest pending. Then
    // the journal's chain is checked quietly: only a broken one is told.
    void recover();

    pondus::journal::Journal &journal() { return journal_->journal(); }
    // "Проверить журнал" and the check at start-up.
    JournalCheck &chainCheck() { return *check_; }
    RunReportMenu &runReport() { return *report_; }

    // The window's own dialogs: a message that does not block the window,
    // and the recovery question with "Да" and "Нет".
    static Notice noticeBox(QWidget *parent);
    static Question questionBox(QWidget *parent);

private:
    void connectForm();
    void offerPending();
    void restore(const pondus::journal::PendingSheet &sheet, const QString &reason);

    TMainForm &form_;
    int keepDays_;
    Notice notice_;
    Question question_;
    // Shared with the window's sinks only weakly: the window outlives the
    // keeper and may still clear or export while it closes.
    std::shared_ptr<pondus::journal::JournalObserver> journal_;
    std::unique_ptr<JournalCheck> check_;
    std::unique_ptr<RunReportMenu> report_;
    // Edits replayed by a restore are the journal's own, not new ones.
    bool restoring_ = false;
};
