#include "StringGridView.h"

#include <QHeaderView>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QScrollBar>

namespace {

// The column header of the measurement table, drawn as the table's three
// caption rows (balance, model, identification number; "№", "Время", "Дата").
// Being the header, the captions stay in place while the measurements scroll,
// take no focus and can be neither selected nor edited; its column borders
// still resize the columns.
class CaptionHeader final : public QHeaderView {
    Q_OBJECT
public:
    // The caption rows are model rows 0 .. rows - 1, as high as the rows of view.
    CaptionHeader(int rows, QTableView *view) : QHeaderView(Qt::Horizontal, view), rows_(rows), view_(view)
    {
        setObjectName(QStringLiteral("CaptionRows"));
        setSectionsClickable(false);
        setHighlightSections(false);
        setFocusPolicy(Qt::NoFocus);
    }

    QSize sizeHint() const override
    {
        QSize size = QHeaderView::sizeHint();
        size.setHeight(rows_ * rowHeight());
        return size;
    }

    void setModel(QAbstractItemModel *model) override
    {
        if (this->model())
            disconnect(this->model(), &QAbstractItemModel::dataChanged, this, nullptr);
        QHeaderView::setModel(model);
        if (!model)
            return;
        // The captions are cells, not header data: a changed one is redrawn here.
        connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft) {
            if (topLeft.row() < rows_)
                viewport()->update();
        });
    }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        painter->save();
        const int height = rowHeight();
        const QColor gridColour = palette().color(QPalette::Mid);
        painter->setFont(view_->font());
        for (int row = 0; row < rows_; ++row) {
            const QRect cell(rect.x(), rect.y() + row * height, rect.width(), height);
            painter->fillRect(cell, palette().button());
            painter->setPen(gridColour);
            painter->drawLine(cell.topRight(), cell.bottomRight());
            painter->drawLine(cell.bottomLeft(), cell.bottomRight());
            painter->setPen(palette().color(QPalette::ButtonText));
            const QString text = model()->index(row, logicalIndex).data().toString();
            painter->drawText(cell.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
        painter->restore();
    }

private:
    int rowHeight() const { return view_->verticalHeader()->defaultSectionSize(); }

    int rows_;
    QTableView *view_;
};

} // namespace

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

#include "StringGridView.moc"
