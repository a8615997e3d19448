// Starting and stopping a measurement run from the main window.
#include "mainform/Serialer.h"

#include "recording/RunChoices.h"
#include "recording/MeasurementColumns.h"
#include "ports/MainFormPorts.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

namespace {

constexpr int smallestBound = 1;
constexpr int largestBound = 1000;
constexpr int linkWaitMs = 5000;
// Between two looks at the link state while waiting for it; short enough
// that the wait ends promptly, long enough not to load the processor.
constexpr int linkFetchIntervalMs = 10;

} // namespace

void TMainForm::writeTitleRow()
{
    table_->setHeaderCell(MeasurementColumns::titleRow, MeasurementColumns::numberColumn, QStringLiteral("№"));
    table_->setHeaderCell(MeasurementColumns::titleRow, MeasurementColumns::timeColumn, QStringLiteral("Время"));
    table_->setHeaderCell(MeasurementColumns::titleRow, MeasurementColumns::dateColumn, QStringLiteral("Дата"));
}

void TMainForm::WeightButtonClick()
{
    // Whatever can refuse the start is looked at before anything changes:
    // a refused start leaves the controls and the table as they were.
    // An empty field or one that is no number is refused like a number out
    // of range.
    bool isNumber = false;
    const int bound = ui_.SizeEdit->text().toInt(&isNumber);
    if (!isNumber || bound < smallestBound || bound > largestBound) {
        inform_(QStringLiteral("Допустимое значение числа от 1 до 1000"));
        ui_.SizeEdit->setText(QStringLiteral("100"));
        ui_.SizeEdit->setFocus();
        return;
    }
    const std::optional<PeriodChoice> period = choosePeriod(ui_.ComboBox1->currentText(), QLocale::system());
    if (!period) {
        inform_(QStringLiteral("Ошибка!Неправильно введена периодичность измерения информации!"));
        return;
    }
    // Without the library, or its SetComPort, there is no run to start:
    // nothing changes, without a word.
    if (!source_.hasSetComPort())
        return;

    writeTitleRow();
    setSettingsEnabled(false);
    for (QWidget *control : QList<QWidget *>{ui_.ApplyButton1, ui_.ClearButton, ui_.MDLabel, ui_.MaxDif})
        control->setEnabled(false);
    state_.measurementBound = bound;
    // The marks the table is recorded for: "Нет" to the clear question
    // puts them back, however the run ends.
    rememberSelection();
    ui_.StopButton->setVisible(true);
    ui_.WeightButton->setVisible(false);

    // The port handed to the library: 1..4, or 0 for the search.
    const PortChoice choice = choosePort(ui_.ComCB->currentText());
    ui_.Label12->setText(choice.label);
    if (choice.automatic())
        MainFormLayout::showText(ui_.ComCB, autoPortText);
    if (!source_.hasFreshData()) {
        source_.setComPort(choice.port);
        ui_.Label6->setText(QStringLiteral("Error: Out of module 'FreshData'."));
        return;
    }
    state_.manualMode = period->mode == PeriodChoice::Mode::Manual;
    state_.onNewWeight = period->mode == PeriodChoice::Mode::OnNewWeight;
    ui_.ReadButton->setEnabled(state_.manualMode);
    // The new-weight mode polls at whatever interval the timer has.
    if (period->mode == PeriodChoice::Mode::Timed)
        ui_.Timer2->setInterval(period->intervalMs);
    // The run's settings are taken here, once; no poll reads the controls.
    session_.samples().setCriterion(SampleSettings::read(settingsPath_).constantMass);
    session_.start(runSettings(), choice.port, ports_->diagnosisFor(choice.port), {});
    if (!waitForLink())
        return;
    if (!state_.manualMode)
        ui_.Timer2->start();
}

bool TMainForm::waitForLink()
{
    // The window takes no input while it waits, but it repaints, so that the
    // operator sees the link pass through its states in Label6.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restoreCursor = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    enum class Outcome { Waiting, Online, OutOfLink };
    Outcome outcome = Outcome::Waiting;
    // Why the line does not come up is found and shown during the wait,
    // while the operator still watches it.
    ports_->showReason(QString());
    QElapsedTimer waited;
    waited.start();
    QEventLoop wait;
    const auto look = [&] {
        if (waited.elapsed() > linkWaitMs) {
            ui_.Label6->setText(QStringLiteral("Error: Out of Link."));
            outcome = Outcome::OutOfLink;
            wait.quit();
            return;
        }
        session_.poll(RecordingSession::wallClock());
        if (const QString text = linkStateText(session_.block().linkState()); !text.isEmpty())
            ui_.Label6->setText(text);
        ports_->showReason(QString::fromStdString(session_.portReason()));
        if (session_.running()) {
            outcome = Outcome::Online;
            wait.quit();
        }
    };
    look();
    if (outcome == Outcome::Waiting) {
        QTimer nextLook;
        nextLook.setInterval(linkFetchIntervalMs);
        connect(&nextLook, &QTimer::timeout, &wait, look);
        nextLook.start();
        // Also left when the program is asked to end meanwhile; the run then
        // stays where it was.
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return outcome == Outcome::Online;
}

void TMainForm::StopButtonClick()
{
    rememberSelection();
    showIdleControls();
}

void TMainForm::rememberSelection()
{
    for (int item = 0; item < RunState::balances; ++item)
        state_.savedSelection[size_t(item)] = isChecked(item);
}

void TMainForm::ComboBox1Change()
{
    const bool onNewWeight = ui_.ComboBox1->currentText() == onNewWeightPeriodText;
    ui_.MaxDif->setEnabled(onNewWeight);
    ui_.MDLabel->setEnabled(onNewWeight);
    colourMaxDif();
}
