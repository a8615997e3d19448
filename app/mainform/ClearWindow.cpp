// Emptying the table and the chart: at once by "Очистить окно", or after the
// question that a change of the polled balances asks.
#include "mainform/Serialer.h"

#include "mainform/Askunit.h"
#include "mainform/ChartAxes.h"
#include "recording/MeasurementColumns.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>

void TMainForm::setReasonAsker(ReasonAsker asker)
{
    askReason_ = asker;
    table_->setReasonAsker(std::move(asker));
}

std::optional<QString> TMainForm::clearReason()
{
    // An empty table changes no record when cleared.
    if (!askReason_ || table_->measurementRows() == 0)
        return QString();
    return askReason_(QStringLiteral("Очистка окна: %1 измерений уходят из таблицы и графика; журнал их хранит.")
                          .arg(table_->measurementRows()));
}

void TMainForm::clearWindow(const QString &reason)
{
    for (QLineSeries *series : ui_.Series)
        series->clear();
    // The next run starts on a chart of its own, not zoomed into the last.
    ui_.Chart1->chart()->zoomReset();
    showEmptyAxes(*ui_.AxisX, *ui_.AxisY);
    ui_.Memo2->clear();
    table_->clear();
    session_.history().measurementNo = 0;
    session_.history().lastValues.clear();
    session_.setCaptionsShown({});
    emit cleared(reason);
}

void TMainForm::ClearButtonClick()
{
    const auto reason = clearReason();
    if (!reason)
        return;
    clearWindow(*reason);
    if (!ui_.Timer2->isActive()) {
        ui_.Label5->setEnabled(true);
        ui_.FileCheckListBox->setEnabled(true);
    }
}

void TMainForm::FileCheckListBoxClick()
{
    // An answer given but not yet acted on is taken first, so that it is
    // not mistaken for the answer to a question asked now.
    if (ui_.Timer5->isActive())
        Timer5Timer();
    // The "№" caption is written by every start and emptied by every clear.
    if (table_->cellText(MeasurementColumns::titleRow, MeasurementColumns::numberColumn).isEmpty())
        return;
    // One question at a time: it stays open until answered.
    if (askForm_ && askForm_->isVisible())
        return;
    if (!askForm_)
        askForm_ = new TAskForm(state_.askAnswer, state_.askClosed, this);
    askForm_->ask();
    ui_.Timer5->start();
}

void TMainForm::Timer5Timer()
{
    if (!state_.askClosed)
        return;
    // The answer is taken before the reason is asked, whose dialog lets this
    // timer run; a reason cancelled is a "no".
    ui_.Timer5->stop();
    const bool clear = state_.askAnswer;
    state_.askAnswer = false;
    const std::optional<QString> reason = clear ? clearReason() : std::nullopt;
    if (reason) {
        clearWindow(*reason);
        if (!ui_.Timer2->isActive())
            ui_.Label5->setEnabled(true);
    } else {
        for (int item = 0; item < RunState::balances; ++item)
            ui_.FileCheckListBox->item(item)->setCheckState(state_.savedSelection[size_t(item)] ? Qt::Checked
                                                                                                : Qt::Unchecked);
    }
}
