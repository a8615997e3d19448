#include "StringGridView.h"

#include "CaptionHeader.h"

#include <QShortcut>
#include <QScrollBar>

StringGridView::StringGridView(QWidget *parent) : QTableView(parent)
{
    setHorizontalHeader(new CaptionHeader(fixedRows, this));
    // Tab moves between cells, also inside the cell editor that is always
    // open; Ctrl+Tab and Ctrl+Shift+Tab leave the table, as in Qt's item views.
    const auto leave = [this](bool forwards) {
        // Past the item view's own handling, which would move between cells.
        QAbstractScrollArea::focusNextPrevChild(forwards);
    };
    auto *next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this, [=] { leave(true); });
    auto *previous = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this, [=] { leave(false); });
    for (QShortcut *shortcut : {next, previous})
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
}

void StringGridView::setModel(QAbstractItemModel *model)
{
    if (this->model())
        disconnect(this->model(), nullptr, this, nullptr);
    QTableView::setModel(model);
    if (!model)
        return;
    // A reset forgets which rows were hidden.
    connect(model, &QAbstractItemModel::modelReset, this, &StringGridView::hideCaptionRows);
    hideCaptionRows();
}

void StringGridView::hideCaptionRows()
{
    for (int row = 0; row < fixedRows && row < model()->rowCount(); ++row)
        setRowHidden(row, true);
}

void StringGridView::moveTopRowDown()
{
    updateGeometries();
    verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
}

void StringGridView::updateGeometries()
{
    QTableView::updateGeometries();
    alignTopRow();
}

void StringGridView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (dy != 0)
        alignTopRow();
}

void StringGridView::alignTopRow()
{
    // Scrolled to the end, the table would line its last row up with the
    // bottom and cut the top row in half; the scroll range already holds
    // the last row whole when the top row is whole.
    QScrollBar *bar = verticalScrollBar();
    if (verticalScrollMode() != ScrollPerItem || bar->maximum() == 0 || bar->value() != bar->maximum())
        return;
    const int offset = verticalHeader()->offset();
    verticalHeader()->setOffsetToSectionPosition(bar->value());
    if (verticalHeader()->offset() != offset) {
        viewport()->update();
        updateEditorGeometries();
    }
}
