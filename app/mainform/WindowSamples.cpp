// The samples' menu item, dialog, chart choice, status and notifications.
#include "mainform/WindowSamples.h"

#include "mainform/SamplesDialog.h"
#include "mainform/Serialer.h"
#include "mainform/TrayIcon.h"
#include "recording/BalanceTexts.h"

#include <QActionGroup>
#include <QChartView>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QStatusBar>

namespace {

const std::array<std::pair<ChartQuantity, const char *>, 3> chartChoices = {
    std::pair{ChartQuantity::Mass, "Масса"}, std::pair{ChartQuantity::Change, "Изменение массы Δm"},
    std::pair{ChartQuantity::ChangePercent, "Изменение массы Δm, %"}};

QString signedNumber(double value, int precision)
{
    const QString text = QLocale().toString(value, 'g', precision);
    return value > 0 ? QLatin1Char('+') + text : text;
}

// The chart's menu: the right button alone zooms out, so the menu comes with
// Ctrl and the right button, or from the keyboard's menu key.
class ChartMenu final : public QObject {
public:
    ChartMenu(QChartView *view, QMenu *menu) : QObject(view), view_(view), menu_(menu)
    {
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
            menu_->popup(view_->mapToGlobal(view_->rect().center()));
            return true;
        }
        if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::RightButton || !(mouse->modifiers() & Qt::ControlModifier))
            return false;
        if (event->type() == QEvent::MouseButtonRelease)
            menu_->popup(mouse->globalPosition().toPoint());
        return true;
    }

private:
    QChartView *view_;
    QMenu *menu_;
};

} // namespace

WindowSamples::WindowSamples(TMainForm &form) : QObject(&form), form_(form)
{
    setObjectName(QStringLiteral("WindowSamples"));
    notify_ = [this](const QString &title, const QString &text) {
        if (auto *tray = form_.findChild<TrayIcon *>(); tray && tray->isVisible())
            tray->showMessage(title, text, QSystemTrayIcon::Information);
    };
    QAction *edit = form.menuBar()->addAction(QStringLiteral("Образцы…"));
    edit->setObjectName(QStringLiteral("SamplesMenuItem"));
    connect(edit, &QAction::triggered, this, &WindowSamples::editSamples);

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
        connect(choice, &QAction::triggered, this, [this, quantity] { chooseChart(quantity); });
    }
    new ChartMenu(chart, menu);
    form.setChartQuantity(saved);

    status_ = new QLabel(&form);
    status_->setObjectName(QStringLiteral("SamplesStatus"));
    form.statusBar()->addPermanentWidget(status_);
    form.session().addObserver(*this);
}

WindowSamples::~WindowSamples()
{
    form_.session().removeObserver(*this);
}

void WindowSamples::editSamples()
{
    SamplesDialog dialog(SampleSettings::read(form_.settingsPath()), &form_);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const SampleSettings chosen = dialog.chosen();
    if (!chosen.write(form_.settingsPath()))
        QMessageBox::critical(&form_, QStringLiteral("PONDUS"),
                              QStringLiteral("%1\nНе удаётся записать файл настроек.").arg(form_.settingsPath()));
}

void WindowSamples::chooseChart(ChartQuantity quantity)
{
    form_.setChartQuantity(quantity);
    SampleSettings settings = SampleSettings::read(form_.settingsPath());
    settings.chart = quantity;
    settings.write(form_.settingsPath());
}

void WindowSamples::runStarted(const RunInfo &run)
{
    run_ = run.settings;
    stopWhenConstant_ = SampleSettings::read(form_.settingsPath()).stopWhenConstant;
    values_.assign(run_.balances.size(), MassTrendValues{});
    reachedAt_.assign(run_.balances.size(), std::nullopt);
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
    QString who = balanceCaption(event.balance);
    if (!event.sample.empty())
        who += QStringLiteral(" — ") + QString::fromStdString(event.sample);
    notify_(QStringLiteral("PONDUS"), QStringLiteral("%1: постоянная масса (%2)").arg(who, at));
    // After the poll step that told it, never within it.
    if (stopWhenConstant_ && form_.session().samples().allReached())
        QMetaObject::invokeMethod(
            &form_, [this] { if (form_.session().running()) form_.StopButtonClick(); }, Qt::QueuedConnection);
}

QString WindowSamples::statusText() const
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
    return parts.join(QStringLiteral("   "));
}

void WindowSamples::showStatus()
{
    status_->setText(statusText());
}
