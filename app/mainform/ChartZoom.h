// Zooming the chart: the operator drags a rectangle to zoom in, and a right
// click zooms all the way out, back to the view fitted to the points. With
// Ctrl the right button opens the chart's menu instead, as does the
// keyboard's menu key.
#pragma once

#include <QObject>

#include <functional>

class QChartView;
class QMenu;

class ChartZoom final : public QObject {
    Q_OBJECT
public:
    // fit fits the axes to the points again once the zoom is gone.
    ChartZoom(QChartView *view, std::function<void()> fit);

    void setMenu(QMenu *menu) { menu_ = menu; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QChartView *view_;
    std::function<void()> fit_;
    QMenu *menu_ = nullptr;
};
