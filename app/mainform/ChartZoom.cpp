#include "mainform/ChartZoom.h"

#include <QChartView>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

ChartZoom::ChartZoom(QChartView *view, std::function<void()> fit)
    : QObject(view), view_(view), fit_(std::move(fit))
{
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
}

bool ChartZoom::eventFilter(QObject *watched, QEvent *event)
{
    if (menu_ && event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        menu_->popup(view_->mapToGlobal(view_->rect().center()));
        return true;
    }
    const bool press = event->type() == QEvent::MouseButtonPress;
    if (watched != view_->viewport() || (!press && event->type() != QEvent::MouseButtonRelease))
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::RightButton)
        return false;
    // The view's own right click zooms out by half a step and stays zoomed,
    // so new measurements would never be fitted again.
    if (press)
        return true;
    if (menu_ && (mouse->modifiers() & Qt::ControlModifier)) {
        menu_->popup(mouse->globalPosition().toPoint());
        return true;
    }
    view_->chart()->zoomReset();
    fit_();
    return true;
}
