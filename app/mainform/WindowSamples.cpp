// The samples' menu item, dialog, chart choice, status and notifications.
#include "mainform/WindowSamples.h"

#include "mainform/ChartZoom.h"
#include "mainform/SamplesDialog.h"
#include "mainform/Serialer.h"
#include "recording/BalanceTexts.h"
#include "recording/MeasurementColumns.h"
#include "recording/ValueFormat.h"

#include <trutina.h>

#include <QActionGroup>
#include <QApplication>
#include <QChartView>
#include <QDateTime>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTableView>

namespace {

constexpr int notificationMs = 30'000;

const std::array<std::pair<ChartQuantity, const char *>, 3> chartChoices = {
    std::pair{ChartQuantity::Mass, "Масса"}, std::pair{ChartQuantity::Change, "Изменение массы Δm"},
    std::pair{ChartQuantity::ChangePercent, "Изменение массы Δm, %"}};

// A drift of 2900 mg/h or one of 0,000035 g/h reads as such, in the
// desktop's language.
QString signedNumber(double value, int precision)
{
    return ValueFormat(QLocale()).signedChange(value, precision);
}

} // namespace

WindowSamples::WindowSamples(TMainForm &form) : QObject(&form), form_(form)
{
    setObjectName(QStringLiteral("WindowSamples"));
    notify_ = [this](const QString &title, const QString &text) {
        if (auto *tray = form_.findChild<QSystemTrayIcon *>(); tray && tray->isVisible()) {
            tray->showMessage(title, text, QSystemTrayIcon::Information);
            return;
        }
        // A desktop without a notification area: the window says it itself,
        // in its status bar for half a minute, and asks for attention.
        form_.statusBar()->showMessage(text, notificationMs);
        QApplication::alert(&form_);
    };
    QAction *edit = form.menuBar()->addAction(QStringLiteral("Образцы…"));
    edit->setObjectName(QStringLiteral("SamplesMenuItem"));
    // The dialog, saved when accepted.
    connect(edit, &QAction::triggered, this, [this] {
        const SampleSettings before = SampleSettings::read(form_.settingsPath());
        SamplesDialog dialog(before, &form_);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const SampleSettings chosen = dialog.chosen();
        if (!chosen.write(form_.settingsPath())) {
            QMessageBox::critical(&form_, QStringLiteral("PONDUS"),
                                  QStringLiteral("%1\nНе удаётся записать файл настроек.").arg(form_.settingsPath()));
            return;
        }
        form_.settingsConfirmed(QStringLiteral("samples"), chosen.changesFrom(before));
    });

    auto *chart = form.findChild<QChartView *>(QStringLiteral("Chart1"));
    auto *menu = new QMenu(chart);
    menu->setObjectName(QStringLiteral("ChartMenu"));
    auto *group = new QActionGroup(menu);
    const ChartQuantity saved = SampleSettings::read(form.settingsPath()).chart;
    for (const auto &[quantity, text] : chartChoices) {
        QAction *choice = menu->addAction(QString::fromUtf8(text));
        choice->setCheckable(true);
        choice->setChecked(quantity == saved);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, quantity] {
            form_.setChartQuantity(quantity);
            SampleSettings settings = SampleSettings::read(form_.settingsPath());
            settings.chart = quantity;
            settings.write(form_.settingsPath());
        });
    }
    chart->findChild<ChartZoom *>()->setMenu(menu);
    form.setChartQuantity(saved);

    auto *grid = form.findChild<QTableView *>(QStringLiteral("StrGrid1"));
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *gridMenu = new QMenu(grid);
    gridMenu->setObjectName(QStringLiteral("GridMenu"));
    pickReference_ = gridMenu->addAction(QStringLiteral("Принять за исходную массу"));
    pickReference_->setObjectName(QStringLiteral("PickReference"));
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid, gridMenu](const QPoint &at) {
        // From the keyboard's menu key the row is the current one.
        const QModelIndex index = grid->indexAt(at).isValid() ? grid->indexAt(at) : grid->currentIndex();
        const int row = index.row();
        pickReference_->setData(row);
        pickReference_->setEnabled(row >= MeasurementColumns::captionRows &&
                                   row < MeasurementColumns::captionRows + form_.table().measurementRows());
        gridMenu->popup(grid->viewport()->mapToGlobal(at));
    });
    connect(pickReference_, &QAction::triggered, this,
            [this] { form_.setReferenceRow(pickReference_->data().toInt()); });
    connect(&form.table(), &MeasurementTable::referenceRowChanged, this, &WindowSamples::takeReference);

    status_ = new QLabel(&form);
    status_->setObjectName(QStringLiteral("SamplesStatus"));
    // Ten samples do not fit: the line is cut at the window's edge rather
    // than widening it, and its tooltip holds every sample, one a line. A
    // notification shown in the status bar covers it for a while.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    form.statusBar()->addWidget(status_, 1);
    form.session().addObserver(*this);
}

WindowSamples::~WindowSamples()
{
    form_.session().removeObserver(*this);
}

void WindowSamples::runStarted(const RunInfo &run)
{
    run_ = run.settings;
    stopWhenConstant_ = SampleSettings::read(form_.settingsPath()).stopWhenConstant;
    values_.assign(run_.balances.size(), MassTrendValues{});
    reachedAt_.assign(run_.balances.size(), std::nullopt);
    // The table's reference row counts on in the runs that add to the table.
    if (const std::optional<int> picked = form_.table().referenceRow())
        form_.session().samples().pickReference(tableRow(*picked));
    showStatus();
}

RecordedRow WindowSamples::tableRow(int row) const
{
    RecordedRow recorded;
    for (size_t slot = 0; slot < run_.balances.size(); ++slot) {
        const std::optional<MeasurementCell> cell =
            form_.table().measurementCell(row, MeasurementColumns::valueColumn(int(slot)));
        if (!cell || !cell->reading)
            continue;
        const RecordedReading &reading = *cell->reading;
        recorded.readings.push_back({.balance = run_.balances[slot], .rawValue = reading.rawValue,
                                     .divisor = reading.divisor,
                                     .unitCode = reading.unit >= 0 ? TRUTINA_UNIT_FIRST + reading.unit : 0,
                                     .shownUnit = reading.unit, .stable = reading.stable});
    }
    return recorded;
}

void WindowSamples::takeReference(int row)
{
    form_.session().samples().pickReference(tableRow(row));
    // The chart and the status count from it at once, not from the next row.
    form_.setChartQuantity(form_.chartQuantity());
    const RunTrends *trends = form_.session().samples().trends();
    const RecordedRow newest = tableRow(MeasurementColumns::captionRows + form_.table().measurementRows() - 1);
    for (size_t slot = 0; trends && slot < values_.size() && slot < trends->balances().size(); ++slot) {
        const auto reading = std::find_if(newest.readings.begin(), newest.readings.end(), [&](const BalanceReading &r) {
            return r.balance == trends->balances()[slot];
        });
        const std::optional<TrendReading> value =
            reading == newest.readings.end() ? std::nullopt : RunTrends::trendReading(*reading);
        const MassTrendValues change = value ? trends->trend(slot).changeOf(*value) : MassTrendValues{};
        values_[slot].change = change.change;
        values_[slot].changePercent = change.changePercent;
    }
    showStatus();
}

void WindowSamples::massChanged(const SampleValues &values)
{
    values_ = values.values;
    showStatus();
}

void WindowSamples::constantReached(const ConstantMassEvent &event)
{
    const QString at = QDateTime::fromMSecsSinceEpoch(event.utcMs).toString(QStringLiteral("HH:mm"));
    if (event.slot < reachedAt_.size())
        reachedAt_[event.slot] = at;
    showStatus();
    notify_(QStringLiteral("PONDUS"),
            QStringLiteral("%1: постоянная масса (%2)").arg(form_.legendCaption(event.balance), at));
    // After the poll step that told it, never within it.
    if (stopWhenConstant_ && form_.session().samples().allReached())
        QMetaObject::invokeMethod(
            &form_, [this] { if (form_.session().running()) form_.StopButtonClick(); }, Qt::QueuedConnection);
}

void WindowSamples::showStatus()
{
    QStringList parts;
    const RunTrends *trends = form_.session().samples().trends();
    for (size_t slot = 0; slot < values_.size() && slot < run_.balances.size(); ++slot) {
        const MassTrendValues &values = values_[slot];
        QString unit;
        if (trends && trends->trend(slot).reference())
            if (const auto index = unitIndex(trends->trend(slot).reference()->unitCode))
                unit = unitTextOf(*index);
        QString part = QStringLiteral("№%1:").arg(run_.balances[slot]);
        const QString inUnit = unit.isEmpty() ? QString() : QLatin1Char(' ') + unit;
        if (values.change)
            part += QStringLiteral(" Δm ") + signedNumber(*values.change, 4) + inUnit;
        if (values.changePercent)
            part += QStringLiteral(" (%1 %)").arg(signedNumber(*values.changePercent, 3));
        if (reachedAt_[slot])
            part += QStringLiteral(", постоянная масса с %1").arg(*reachedAt_[slot]);
        else if (values.driftPerHour)
            part += QStringLiteral(", ") + signedNumber(*values.driftPerHour, 3) + inUnit + QStringLiteral("/ч");
        parts.append(part);
    }
    status_->setText(parts.join(QStringLiteral("   ")));
    status_->setToolTip(parts.join(u'\n'));
}
