// The journal's hooks on the main window, the failure message and the
// recovery question.
#include "mainform/JournalKeeper.h"

#include "mainform/JournalCheck.h"
#include "mainform/ReasonDialog.h"
#include "mainform/RunReportMenu.h"
#include "mainform/Serialer.h"

#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>

#include <optional>

using pondus::journal::PendingSheet;

JournalKeeper::JournalKeeper(TMainForm &form, const JournalSettings &settings, Notice notice, Question question)
    : form_(form),
      keepDays_(settings.keepDays),
      notice_(std::move(notice)),
      question_(std::move(question)),
      journal_(std::make_shared<pondus::journal::JournalObserver>(
          settings.path.toStdString(), [this](const std::string &path, const std::string &reason) {
              notice_(QStringLiteral("Журнал измерений отключён:\n%1\n%2\n\nИзмерения записываются в окне как "
                                     "обычно; журнал будет открыт снова при следующем запуске измерения.")
                          .arg(QDir::toNativeSeparators(QString::fromStdString(path)), QString::fromStdString(reason)));
          },
          settings.operatorName.toStdString()))
{
    journal_->journal().setNewFileSink([this](const std::string &path, const std::string &reason) {
        notice_(QStringLiteral("Файл журнала измерений пропал:\n%1\n%2\n\nИзмерения записываются в новый файл "
                               "журнала на том же месте.")
                    .arg(QDir::toNativeSeparators(QString::fromStdString(path)), QString::fromStdString(reason)));
    });
    journal_->journal().setHeadFailureSink([this](const std::string &path, const std::string &reason) {
        notice_(QStringLiteral("Не удаётся сохранить хеш последнего события журнала:\n%1\n%2\n\nИзмерения и журнал "
                               "записываются как обычно.")
                    .arg(QDir::toNativeSeparators(QString::fromStdString(path)), QString::fromStdString(reason)));
    });
    form_.session().keepRunsIn(*journal_);
    if (settings.askReasons)
        form_.setReasonAsker(reasonDialog(&form_));
    connectForm();
    check_ = std::make_unique<JournalCheck>(form_, QString::fromStdString(journal().path()), notice_);
    report_ = std::make_unique<RunReportMenu>(form_, QString::fromStdString(journal().path()), notice_);
}

JournalKeeper::~JournalKeeper()
{
    form_.session().removeObserver(*journal_);
}

namespace {

// Connects a signal to the journal: the action reaches it while it exists
// and does nothing after.
template <typename Sender, typename... Args, typename Action>
void toJournal(const std::weak_ptr<pondus::journal::JournalObserver> &kept, const Sender &sender,
               void (Sender::*signal)(Args...), Action action)
{
    QObject::connect(&sender, signal, &sender, [kept, action](Args... args) {
        if (const auto observer = kept.lock())
            action(observer->journal(), args...);
    });
}

} // namespace

void JournalKeeper::connectForm()
{
    using pondus::journal::Journal;
    const std::weak_ptr<pondus::journal::JournalObserver> kept = journal_;
    toJournal(kept, form_, &TMainForm::cleared,
              [](Journal &journal, const QString &reason) { journal.cleared(reason.toStdString()); });
    TMainForm &form = form_;
    toJournal(kept, form_, &TMainForm::exported, [&form](Journal &journal, const QString &path, int rows) {
        // Rows recorded while the file was being written are not in it.
        const int64_t later = form.table().measurementRows() - rows;
        journal.exported(path.toStdString(), std::max<int64_t>(0, journal.sheetRows() - later));
    });
    form_.setExportChain([kept, &form](int rows) -> std::optional<RunSnapshot::ChainHashes> {
        const auto observer = kept.lock();
        const int last = std::min(rows, form.table().rowCount()) - 1;
        if (!observer || last < MeasurementColumns::captionRows)
            return std::nullopt;
        Journal &journal = observer->journal();
        const int64_t firstRun = journal.cellAt(MeasurementColumns::captionRows, MeasurementColumns::numberColumn).run;
        const int64_t lastRun = journal.cellAt(last, MeasurementColumns::numberColumn).run;
        const auto chain = journal.runChain(firstRun, lastRun);
        if (!chain || firstRun == 0 || lastRun == 0)
            return std::nullopt;
        return RunSnapshot::ChainHashes{chain->head, chain->first, chain->last};
    });
    toJournal(kept, form_.table(), &MeasurementTable::cellEdited,
              [this](Journal &journal, int row, int column, const QString &oldText, const QString &newText,
                     const QString &reason) {
                  if (!restoring_)
                      journal.cellEdited({journal.cellAt(row, column), oldText.toStdString(), newText.toStdString(),
                                          reason.toStdString()});
              });
    toJournal(kept, form_.table(), &MeasurementTable::referenceRowChanged, [this](Journal &journal, int row) {
        if (!restoring_)
            journal.referenceRowPicked(journal.cellAt(row, MeasurementColumns::numberColumn));
    });
    toJournal(kept, form_, &TMainForm::settingsChanged,
              [](Journal &journal, const QString &section, const std::vector<ChangedSetting> &changes) {
                  std::vector<pondus::journal::SettingChange> told;
                  for (const ChangedSetting &change : changes)
                      told.push_back(
                          {change.key.toStdString(), change.before.toStdString(), change.after.toStdString()});
                  journal.settingsChanged(section.toStdString(), told);
              });
}

void JournalKeeper::recover()
{
    journal().prune(keepDays_);
    offerPending();
    // A journal that could not be opened has been told already.
    if (journal().isOpen())
        check_->start(true);
}

void JournalKeeper::offerPending()
{
    if (!question_)
        return;
    std::vector<PendingSheet> pending = journal().pendingSheets();
    for (auto sheet = pending.rbegin(); sheet != pending.rend(); ++sheet) {
        const QString since = QDateTime::fromMSecsSinceEpoch(sheet->openedMs).toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        const Answer answer = question_(
            QStringLiteral("В журнале остались %1 измерений (начаты %2), которые не были сохранены в файл и не были "
                           "очищены. Восстановить их в окне?")
                .arg(sheet->rows)
                .arg(since));
        if (answer == Answer::Unanswered)
            return;
        if (answer == Answer::Yes) {
            // A reason cancelled leaves the table pending, as if unanswered.
            const ReasonAsker &ask = form_.reasonAsker();
            const auto reason = ask ? ask(QStringLiteral("Восстановление в окне %1 измерений из журнала.").arg(sheet->rows))
                                    : std::optional<QString>(QString());
            if (reason)
                restore(*sheet, *reason);
            return;
        }
        journal().decline(*sheet);
    }
}

void JournalKeeper::restore(const PendingSheet &sheet, const QString &reason)
{
    restoring_ = true;
    std::optional<RecordedRow> lastRow;
    int32_t bound = 20;
    const auto finishRun = [&] {
        if (lastRow)
            form_.restoreCaptions(*lastRow, bound);
        lastRow.reset();
    };
    journal().restore(
        sheet, {[&](const RunSettings &settings) {
                    finishRun();
                    bound = settings.measurementBound;
                },
                [&](const RecordedRow &row) {
                    form_.restoreRow(row);
                    lastRow = row;
                },
                [&](int32_t row, int32_t column, const pondus::journal::CellEdit &edit) {
                    finishRun();
                    form_.restoreEdit(row, column, QString::fromStdString(edit.newText));
                },
                [&](int32_t row) { form_.setReferenceRow(row); }},
        reason.toStdString());
    finishRun();
    restoring_ = false;
}

JournalKeeper::Notice JournalKeeper::noticeBox(QWidget *parent)
{
    return [parent](const QString &text) {
        // Not modal: a failure found in a poll step must not hold the run up.
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("PONDUS"), text, QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    };
}

JournalKeeper::Question JournalKeeper::questionBox(QWidget *parent)
{
    return [parent](const QString &text) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("PONDUS"), text, QMessageBox::NoButton, parent);
        QPushButton *yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        if (box.clickedButton() == yes)
            return Answer::Yes;
        return box.clickedButton() == no ? Answer::No : Answer::Unanswered;
    };
}
