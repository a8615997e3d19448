// The poll cycle of the main window: each tick of Timer2, or click of
// "Взвесить", polls the recording session and shows what it decided in the
// table and the chart.
#include "mainform/Serialer.h"

#include "recording/BalanceTexts.h"
#include "recording/MeasurementColumns.h"
#include "mainform/ChartAxes.h"
#include "recording/RunChoices.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>

#include <trutina.h>

namespace {

constexpr int firstScrollingRow = 7;

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
    settings.samples = SampleSettings::read(settingsPath_).runNames();
    return settings;
}

int TMainForm::currentRow() const
{
    return MeasurementColumns::rowOf(table_->measurementRows() + 1);
}

void TMainForm::Timer2Timer()
{
    const QDateTime now = QDateTime::currentDateTime();
    state_.timeText = format_.time(now);
    state_.dateText = format_.date(now);
    const SessionPoll poll = session_.poll({now.toMSecsSinceEpoch(), now.offsetFromUtc()});
    if (!showLink() || !poll.decision.online)
        return;
    if (poll.decision.balanceCountNotice) {
        // Stopped before the message, whose own event loop would poll again.
        ui_.Timer2->stop();
        for (const int32_t j : poll.decision.balancesBeyondLine)
            ui_.FileCheckListBox->item(j - 1)->setCheckState(Qt::Unchecked);
        inform_(QStringLiteral("Подключено %1 весов.").arg(*poll.decision.balanceCountNotice));
        showIdleControls();
        return;
    }
    if (poll.replaced)
        return showReplacedBalance(*poll.replaced);
    // A recorded row has shown its captions already.
    if (!poll.decision.row)
        writeHeaders(poll.decision.captions);
}

void TMainForm::writeHeaders(const std::vector<BalanceCaption> &captions)
{
    table_->setColumns(MeasurementColumns::columnsFor(int(captions.size())));
    for (size_t slot = 0; slot < captions.size(); ++slot) {
        const BalanceCaption &caption = captions[slot];
        const int column = MeasurementColumns::valueColumn(int(slot));
        table_->setHeaderCell(MeasurementColumns::modelRow, column, modelDesignation(caption.modelCode));
        table_->setHeaderCell(MeasurementColumns::captionRow, column, balanceCaption(caption.balance));
        ui_.Series[size_t(caption.balance - 1)]->setName(legendCaption(caption.balance));
        table_->setHeaderCell(MeasurementColumns::identRow, column, QString::number(caption.ident));
    }
}

void TMainForm::rowCommitted(const CommittedRow &committed)
{
    const RecordedRow &row = committed.row;
    writeHeaders(balanceCaptionsOf(row));
    std::vector<RecordedReading> cells;
    cells.reserve(row.readings.size());
    for (const BalanceReading &reading : row.readings)
        cells.push_back({reading.rawValue, reading.divisor, reading.shownUnit, reading.stable});
    table_->appendMeasurement(row.number, QDateTime::fromMSecsSinceEpoch(row.utcMs), cells);
    for (size_t slot = 0; slot < row.readings.size(); ++slot)
        chartBalance(row.readings[slot].balance, MeasurementColumns::valueColumn(int(slot)));
    fitAxesToSeries(ui_.Series, *ui_.AxisX, *ui_.AxisY);
    if (currentRow() >= firstScrollingRow)
        ui_.StrGrid1->moveTopRowDown();
}

void TMainForm::chartBalance(int j, int column)
{
    // The chart shows the table's texts read back as numbers, so that both
    // agree digit for digit, and at most the last measurementBound of them.
    QLineSeries *series = ui_.Series[size_t(j - 1)];
    const int32_t newest = session_.history().measurementNo;
    if (newest < state_.measurementBound) {
        if (const auto value = table_->cellNumber(MeasurementColumns::rowOf(newest), column))
            if (const auto shown = chartValue(size_t(*MeasurementColumns::slotOf(column)), *value))
                series->append(newest, *shown);
        return;
    }
    series->replace(chartWindow(column, newest - state_.measurementBound + 1, newest));
}

QList<QPointF> TMainForm::chartWindow(int column, int32_t first, int32_t newest) const
{
    QList<QPointF> window;
    window.reserve(newest - first + 1);
    const size_t slot = size_t(MeasurementColumns::slotOf(column).value_or(0));
    for (int32_t n = first; n <= newest; ++n) {
        if (const auto value = table_->cellNumber(MeasurementColumns::rowOf(n), column))
            if (const auto shown = chartValue(slot, *value))
                window.append(QPointF(n, *shown));
    }
    return window;
}

std::optional<double> TMainForm::chartValue(size_t slot, double mass) const
{
    if (chartQuantity_ == ChartQuantity::Mass)
        return mass;
    const RunTrends *trends = session_.samples().trends();
    if (!trends || slot >= trends->balances().size() || !trends->trend(slot).reference())
        return std::nullopt;
    const double reference = trends->trend(slot).reference()->value;
    const double change = mass - reference;
    if (chartQuantity_ == ChartQuantity::Change)
        return change;
    if (reference == 0)
        return std::nullopt;
    return change / reference * 100.0;
}

void TMainForm::setChartQuantity(ChartQuantity quantity)
{
    chartQuantity_ = quantity;
    // The masses need no caption; the changes say what they are.
    ui_.AxisY->setTitleText(quantity == ChartQuantity::Mass     ? QString()
                            : quantity == ChartQuantity::Change ? QStringLiteral("Δm")
                                                                : QStringLiteral("Δm, %"));
    const std::vector<int32_t> &balances = session_.run().settings.balances;
    const int32_t newest = session_.history().measurementNo;
    const int32_t first = std::max(1, newest - state_.measurementBound + 1);
    for (size_t slot = 0; slot < balances.size() && newest > 0; ++slot)
        ui_.Series[size_t(balances[slot] - 1)]->replace(
            chartWindow(MeasurementColumns::valueColumn(int(slot)), first, newest));
    fitAxesToSeries(ui_.Series, *ui_.AxisX, *ui_.AxisY);
}

QString TMainForm::legendCaption(int j) const
{
    const std::string &sample = session_.run().settings.sampleAt(j);
    return sample.empty() ? balanceCaption(j) : balanceCaption(j) + QStringLiteral(" — ") + QString::fromStdString(sample);
}

// The line lost during a run: the link label says so with the time the loss
// began, and "OnLine" again when the line is back. No row is recorded for
// the gap; the recorder waits for new readings.
bool TMainForm::showLink()
{
    const std::optional<int64_t> lostSince = session_.linkLostSinceUtcMs();
    if (!lostSince) {
        if (linkShownLost_)
            ui_.Label6->setText(linkStateText(TRUTINA_LINK_ONLINE));
        linkShownLost_ = false;
        return true;
    }
    const QString state = linkStateText(session_.block().linkState());
    ui_.Label6->setText(QStringLiteral("%1 с %2")
                            .arg(state.isEmpty() ? QStringLiteral("Нет связи") : state,
                                 format_.time(QDateTime::fromMSecsSinceEpoch(*lostSince))));
    linkShownLost_ = true;
    return false;
}

// A checked balance replaced during a run (another model or ident at the same
// place): the session has stopped the run, so that every recorded row stays
// under the captions of the balance that weighed it. The table has one set of
// caption rows, which the export writes once; a second caption block amid the
// rows would break both.
void TMainForm::showReplacedBalance(const CaptionChange &replacement)
{
    // Stopped before the message, whose own event loop would poll again.
    StopButtonClick();
    inform_(replacementText(replacement) +
            QStringLiteral(" Измерение прервано; записанные строки остались под прежними весами. Сохраните "
                           "результаты и очистите окно, прежде чем начать снова."));
}
