// The poll cycle of the main window: each tick of Timer2, or click of
// "Взвесить", turns the latest readings into a table row and chart points.
#include "mainform/Serialer.h"

#include "recording/BalanceTexts.h"
#include "mainform/ChartAxes.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int firstScrollingRow = 7;

QString balanceCaption(int j)
{
    return QStringLiteral("Весы №%1").arg(j);
}

int valueColumn(int slot)
{
    return MeasurementTable::firstValueColumn + 2 * slot;
}

// Whole scale divisions between a raw reading and a recorded value. The
// recorded value comes back from decimal text, so the product can miss a
// whole number by a rounding error (0,29 × 100 = 28,999999999999996); such
// differences are taken as the whole number they stand for before truncating.
double divisionsBetween(int32_t rawValue, double recorded, int32_t divisor)
{
    double difference = double(rawValue) - recorded * double(divisor);
    const double nearest = std::round(difference);
    if (std::abs(difference - nearest) < 1e-6)
        difference = nearest;
    return std::abs(std::trunc(difference));
}

} // namespace

int TMainForm::balancesInWindow() const
{
    // The library counts up to fifteen balances; the window offers ten.
    return std::clamp(block_.balanceCount(), 0, RunState::balances);
}

void TMainForm::Timer2Timer()
{
    source_.freshData(block_);
    const QDateTime now = QDateTime::currentDateTime();
    state_.timeText = format_.time(now);
    state_.dateText = format_.date(now);
    if (block_.linkState() != TRUTINA_LINK_ONLINE)
        return;
    if (uncheckBalancesBeyondLine()) {
        inform_(QStringLiteral("Подключено %1 весов.").arg(block_.balanceCount()));
        showIdleControls();
        return;
    }
    const int balances = balancesInWindow();
    table_->setColumns(MeasurementTable::firstValueColumn + 2 * checkedCount());
    writeHeaders(balances);
    if (!everyBalanceHasNewReading(balances) || !measurementDue(balances))
        return;
    recordMeasurement(balances, now);
}

bool TMainForm::uncheckBalancesBeyondLine()
{
    bool unchecked = false;
    for (int item = 0; item < RunState::balances; ++item) {
        if (item >= block_.balanceCount() && isChecked(item)) {
            ui_.FileCheckListBox->item(item)->setCheckState(Qt::Unchecked);
            // Stopped before the message, whose own event loop would poll again.
            ui_.Timer2->stop();
            unchecked = true;
        }
    }
    return unchecked;
}

void TMainForm::writeHeaders(int balances)
{
    int column = MeasurementTable::firstValueColumn;
    for (int j = 1; j <= balances; ++j) {
        if (!isChecked(j - 1))
            continue;
        table_->setHeaderCell(1, column, modelDesignation(block_.modelCode(j)));
        table_->setHeaderCell(0, column, balanceCaption(j));
        ui_.Series[size_t(j - 1)]->setName(balanceCaption(j));
        table_->setHeaderCell(2, column, QString::number(block_.identNumber(j)));
        column += 2;
    }
}

bool TMainForm::everyBalanceHasNewReading(int balances) const
{
    // Also the balances not polled into the table: a row is only taken when
    // the whole line has answered since the last one.
    for (int j = 1; j <= balances; ++j) {
        if (block_.readingCount(j) <= state_.lastRecordedCount[size_t(j - 1)])
            return false;
    }
    return true;
}

bool TMainForm::measurementDue(int balances) const
{
    int column = MeasurementTable::firstValueColumn;
    for (int j = 1; j <= balances; ++j) {
        if (!isChecked(j - 1))
            continue;
        const bool stable = block_.stableFlag(j) != 0;
        if (!state_.onNewWeight)
            return true;
        // Before the first row the first polled balance alone decides.
        if (state_.gridRow <= MeasurementTable::headerRows)
            return stable;
        bool thresholdIsNumber = false;
        const int threshold = ui_.MaxDif->text().toInt(&thresholdIsNumber);
        if (!thresholdIsNumber)
            return false;
        // A last value the operator made unreadable cannot hold a new weight
        // back; the stable reading then starts afresh, as the first one does.
        const std::optional<double> previous = table_->cellNumber(state_.gridRow - 1, column);
        const bool changed =
            !previous || divisionsBetween(block_.rawValue(j), *previous, block_.divisor(j)) >= threshold;
        if (changed && stable)
            return true;
        column += 2;
    }
    return false;
}

void TMainForm::recordMeasurement(int balances, const QDateTime &stamp)
{
    state_.measurementNo += 1;
    std::array<RecordedReading, RunState::balances> readings;
    std::array<int, RunState::balances> balanceOfSlot{};
    size_t polled = 0;
    for (int j = 1; j <= balances; ++j) {
        if (!isChecked(j - 1))
            continue;
        RecordedReading &reading = readings[polled];
        reading.rawValue = block_.rawValue(j);
        reading.divisor = block_.divisor(j);
        state_.lastRecordedCount[size_t(j - 1)] = block_.readingCount(j);
        if (block_.stableFlag(j) != 0) {
            if (const auto unit = unitIndex(block_.unitCode(j)))
                state_.lastUnit = *unit;
            reading.unit = state_.lastUnit;
        }
        balanceOfSlot[polled++] = j;
    }
    table_->appendMeasurement(state_.measurementNo, stamp, std::span(readings.data(), polled));
    for (size_t slot = 0; slot < polled; ++slot)
        chartBalance(balanceOfSlot[slot], valueColumn(int(slot)));
    fitAxesToSeries(ui_.Series, *ui_.AxisX, *ui_.AxisY);

    state_.gridRow += 1;
    if (state_.gridRow >= firstScrollingRow)
        ui_.StrGrid1->moveTopRowDown();
}

void TMainForm::chartBalance(int j, int column)
{
    // The chart shows the table's texts read back as numbers, so that both
    // agree digit for digit, and at most the last measurementBound of them.
    QLineSeries *series = ui_.Series[size_t(j - 1)];
    const int32_t newest = state_.measurementNo;
    if (newest < state_.measurementBound) {
        if (const auto value = table_->cellNumber(state_.gridRow, column))
            series->append(newest, *value);
        return;
    }
    QList<QPointF> window;
    window.reserve(state_.measurementBound);
    for (int32_t n = newest - state_.measurementBound + 1; n <= newest; ++n) {
        if (const auto value = table_->cellNumber(n + 2, column))
            window.append(QPointF(n, *value));
    }
    series->replace(window);
}
