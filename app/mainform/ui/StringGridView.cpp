#include "StringGridView.h"

#include "CaptionHeader.h"

#include <QHeaderView>
#include <QShortcut>
#include <QStyle>
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
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int, int last) { fitNewRow(last); });
    // A table emptied and filled again is measured again.
    connect(model, &QAbstractItemModel::modelReset, this, [this] { fittedLength_ = 0; });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { fittedLength_ = 0; });
    hideCaptionRows();
}

void StringGridView::widenColumnFor(int column, const QString &text)
{
    // The cell's own margins on either side of the text, as the item
    // delegate draws it, and the grid line.
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 2;
    const int width = fontMetrics().horizontalAdvance(text) + margins;
    QHeaderView *columns = horizontalHeader();
    if (column < columns->count() && columns->sectionSize(column) < width)
        columns->resizeSection(column, width);
}

void StringGridView::fitColumnToNewRows(int column)
{
    fittedColumn_ = column;
    fittedLength_ = 0;
}

void StringGridView::fitNewRow(int row)
{
    if (fittedColumn_ < 0 || row < fixedRows)
        return;
    const QString number = model()->index(row, fittedColumn_).data().toString();
    if (number.size() <= fittedLength_)
        return;
    fittedLength_ = number.size();
    widenColumnFor(fittedColumn_, number);
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
