// The poll cycle of the main window: each tick of Timer2, or click of
// "Взвесить", hands the latest readings to the recorder and shows what it
// decides in the table and the chart.
#include "mainform/Serialer.h"

#include "recording/BalanceTexts.h"
#include "recording/MeasurementColumns.h"
#include "mainform/ChartAxes.h"
#include "recording/RunChoices.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int firstScrollingRow = 7;

QString balanceCaption(int j)
{
    return QStringLiteral("Весы №%1").arg(j);
}

} // namespace

RunSettings TMainForm::runSettings() const
{
    RunSettings settings;
    settings.port = choosePort(ui_.ComCB->currentText()).label.toStdString();
    settings.mode = state_.manualMode    ? RecordingMode::Manual
                    : state_.onNewWeight ? RecordingMode::OnNewWeight
                                         : RecordingMode::Periodic;
    settings.periodMs = state_.manualMode ? 0 : ui_.Timer2->interval();
    bool thresholdIsNumber = false;
    const int threshold = ui_.MaxDif->text().toInt(&thresholdIsNumber);
    // A negative threshold admits every change, as 0 does.
    settings.threshold = thresholdIsNumber ? std::max(threshold, 0) : RunSettings::noThreshold;
    settings.measurementBound = state_.measurementBound;
    for (int item = 0; item < RunState::balances; ++item)
        if (isChecked(item))
            settings.balances.push_back(item + 1);
    return settings;
}

int TMainForm::currentRow() const
{
    return MeasurementColumns::rowOf(table_->measurementRows() + 1);
}

void TMainForm::Timer2Timer()
{
    source_.freshData(block_);
    const QDateTime now = QDateTime::currentDateTime();
    state_.timeText = format_.time(now);
    state_.dateText = format_.date(now);
    // The settings are locked while a run polls, so the controls still say
    // what they said at "Начать".
    const RunSettings settings = runSettings();
    const auto previousValue = [&](size_t slot) {
        return table_->cellNumber(currentRow() - 1, MeasurementColumns::valueColumn(int(slot)));
    };
    const PollDecision decision = MeasurementRecorder::poll(
        block_, settings, state_, {now.toMSecsSinceEpoch(), now.offsetFromUtc()}, previousValue);
    if (!watchLink(block_.linkState(), now) || !decision.online)
        return;
    if (decision.balanceCountNotice) {
        // Stopped before the message, whose own event loop would poll again.
        ui_.Timer2->stop();
        for (const int32_t j : decision.balancesBeyondLine)
            ui_.FileCheckListBox->item(j - 1)->setCheckState(Qt::Unchecked);
        inform_(QStringLiteral("Подключено %1 весов.").arg(*decision.balanceCountNotice));
        showIdleControls();
        return;
    }
    // A failed scan keeps the captions over the rows, in the table and in
    // every row that follows.
    const IdentityReview identities = reviewIdentities(captionsShown_, captionsRead_, decision.captions);
    captionsRead_ = decision.captions;
    if (stopOnReplacedBalance(identities, decision.captions))
        return;
    table_->setColumns(MeasurementColumns::columnsFor(int(settings.balances.size())));
    writeHeaders(identities.captions);
    if (decision.row) {
        RecordedRow row = *decision.row;
        applyCaptions(row, identities.captions);
        showMeasurement(row, now);
    }
}

void TMainForm::writeHeaders(const std::vector<BalanceCaption> &captions)
{
    captionsShown_ = captions;
    for (size_t slot = 0; slot < captions.size(); ++slot) {
        const BalanceCaption &caption = captions[slot];
        const int column = MeasurementColumns::valueColumn(int(slot));
        table_->setHeaderCell(MeasurementColumns::modelRow, column, modelDesignation(caption.modelCode));
        table_->setHeaderCell(MeasurementColumns::captionRow, column, balanceCaption(caption.balance));
        ui_.Series[size_t(caption.balance - 1)]->setName(balanceCaption(caption.balance));
        table_->setHeaderCell(MeasurementColumns::identRow, column, QString::number(caption.ident));
    }
}

void TMainForm::showMeasurement(const RecordedRow &row, const QDateTime &stamp)
{
    std::vector<RecordedReading> cells;
    cells.reserve(row.readings.size());
    for (const BalanceReading &reading : row.readings)
        cells.push_back({reading.rawValue, reading.divisor, reading.shownUnit, reading.stable});
    table_->appendMeasurement(row.number, stamp, cells);
    for (size_t slot = 0; slot < row.readings.size(); ++slot)
        chartBalance(row.readings[slot].balance, MeasurementColumns::valueColumn(int(slot)));
    fitAxesToSeries(ui_.Series, *ui_.AxisX, *ui_.AxisY);
    if (currentRow() >= firstScrollingRow)
        ui_.StrGrid1->moveTopRowDown();
    for (const RowSink &sink : rowSinks_)
        sink(row);
}

void TMainForm::chartBalance(int j, int column)
{
    // The chart shows the table's texts read back as numbers, so that both
    // agree digit for digit, and at most the last measurementBound of them.
    QLineSeries *series = ui_.Series[size_t(j - 1)];
    const int32_t newest = state_.measurementNo;
    if (newest < state_.measurementBound) {
        if (const auto value = table_->cellNumber(MeasurementColumns::rowOf(newest), column))
            series->append(newest, *value);
        return;
    }
    series->replace(chartWindow(column, newest - state_.measurementBound + 1, newest));
}

QList<QPointF> TMainForm::chartWindow(int column, int32_t first, int32_t newest) const
{
    QList<QPointF> window;
    window.reserve(newest - first + 1);
    for (int32_t n = first; n <= newest; ++n) {
        if (const auto value = table_->cellNumber(MeasurementColumns::rowOf(n), column))
            window.append(QPointF(n, *value));
    }
    return window;
}
