// The column header of the measurement table, drawn as the table's three
// caption rows (balance, model, identification number; "№", "Время", "Дата").
// Being the header, the captions stay in place while the measurements scroll,
// take no focus and can be neither selected nor edited; its column borders
// still resize the columns.
#pragma once

#include <QHeaderView>

class QTableView;

class CaptionHeader final : public QHeaderView {
    Q_OBJECT
public:
    // The caption rows are model rows 0 .. rows - 1, as high as the rows of view.
    CaptionHeader(int rows, QTableView *view);

    QSize sizeHint() const override;
    void setModel(QAbstractItemModel *model) override;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    int rowHeight() const;

    int rows_;
    QTableView *view_;
};
