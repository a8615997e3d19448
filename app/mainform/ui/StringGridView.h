// The view of the measurement table. Its first three rows, the captions,
// stay in place while the measurements scroll beneath them: a second view of
// the same rows lies over the top of the viewport, and the rows it covers are
// out of sight as if scrolled away.
#pragma once

#include <QTableView>

class StringGridView final : public QTableView {
    Q_OBJECT
public:
    static constexpr int fixedRows = 3;

    explicit StringGridView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    // Moves the top visible row down by one, also while the rows just added
    // still wait for the delayed layout.
    void moveTopRowDown();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void updateGeometries() override;

private:
    int fixedRowsHeight() const;
    void placeFixedRows();

    QTableView *fixedRows_;
};
