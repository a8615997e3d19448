#include "mainform/ChartZoom.h"

#include <QChartView>
#include <QMouseEvent>

ChartZoom::ChartZoom(QChartView *view, std::function<void()> fit)
    : QObject(view), view_(view), fit_(std::move(fit))
{
    view->viewport()->installEventFilter(this);
}

bool ChartZoom::eventFilter(QObject *, QEvent *event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    if (!press && event->type() != QEvent::MouseButtonRelease)
        return false;
    if (static_cast<QMouseEvent *>(event)->button() != Qt::RightButton)
        return false;
    // The view's own right click zooms out by half a step and stays zoomed,
    // so new measurements would never be fitted again.
    if (!press) {
        view_->chart()->zoomReset();
        fit_();
    }
    return true;
}
