#include "StringGridView.h"

#include <QHeaderView>
#include <QScrollBar>

StringGridView::StringGridView(QWidget *parent) : QTableView(parent), fixedRows_(new QTableView(this))
{
    fixedRows_->setObjectName(QStringLiteral("FixedRows"));
    fixedRows_->setFrameShape(QFrame::NoFrame);
    fixedRows_->horizontalHeader()->hide();
    fixedRows_->verticalHeader()->hide();
    fixedRows_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixedRows_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fixedRows_->setWordWrap(false);

    connect(horizontalHeader(), &QHeaderView::sectionResized, fixedRows_,
            [this](int column, int, int width) { fixedRows_->setColumnWidth(column, width); });
    connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int row) {
        if (row < fixedRows)
            placeFixedRows();
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, fixedRows_->horizontalScrollBar(),
            &QScrollBar::setValue);
    connect(fixedRows_->horizontalScrollBar(), &QScrollBar::valueChanged, horizontalScrollBar(),
            &QScrollBar::setValue);
}

void StringGridView::setModel(QAbstractItemModel *model)
{
    QTableView::setModel(model);
    fixedRows_->setModel(model);
    fixedRows_->setSelectionModel(selectionModel());
    fixedRows_->setSelectionMode(selectionMode());
    fixedRows_->setEditTriggers(editTriggers());
    fixedRows_->horizontalHeader()->setMinimumSectionSize(horizontalHeader()->minimumSectionSize());
    fixedRows_->verticalHeader()->setMinimumSectionSize(verticalHeader()->minimumSectionSize());
    for (int column = 0; column < horizontalHeader()->count(); ++column)
        fixedRows_->setColumnWidth(column, columnWidth(column));
    placeFixedRows();
}

void StringGridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QTableView::scrollTo(index, hint);
    // A row under the fixed ones is out of sight: bring it just below them.
    if (index.row() >= fixedRows && visualRect(index).top() < fixedRowsHeight())
        verticalScrollBar()->setValue(index.row() - fixedRows);
}

void StringGridView::moveTopRowDown()
{
    updateGeometries();
    verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
}

void StringGridView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    placeFixedRows();
}

void StringGridView::updateGeometries()
{
    QTableView::updateGeometries();
    placeFixedRows();
}

int StringGridView::fixedRowsHeight() const
{
    int height = 0;
    for (int row = 0; row < fixedRows; ++row)
        height += rowHeight(row);
    return height;
}

void StringGridView::placeFixedRows()
{
    if (!model())
        return;
    for (int row = 0; row < fixedRows; ++row)
        fixedRows_->setRowHeight(row, rowHeight(row));
    const QRect area = viewport()->geometry();
    fixedRows_->setGeometry(area.x(), area.y(), area.width(), std::min(fixedRowsHeight(), area.height()));
}
