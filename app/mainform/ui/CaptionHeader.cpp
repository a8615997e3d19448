#include "CaptionHeader.h"

#include <QPainter>
#include <QTableView>

CaptionHeader::CaptionHeader(int rows, QTableView *view)
    : QHeaderView(Qt::Horizontal, view), rows_(rows), view_(view)
{
    setObjectName(QStringLiteral("CaptionRows"));
    setSectionsClickable(false);
    setHighlightSections(false);
    setFocusPolicy(Qt::NoFocus);
}

QSize CaptionHeader::sizeHint() const
{
    QSize size = QHeaderView::sizeHint();
    size.setHeight(rows_ * rowHeight());
    return size;
}

void CaptionHeader::setModel(QAbstractItemModel *model)
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

int CaptionHeader::rowHeight() const
{
    return view_->verticalHeader()->defaultSectionSize();
}

void CaptionHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
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
