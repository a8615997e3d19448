// The view of the measurement table. Its first three rows, the captions, are
// drawn by its column header (CaptionHeader), so that they stay in place
// whatever the keyboard or the mouse does; the view itself shows only the
// measurement rows, always from the top of a row.
#pragma once

#include "recording/MeasurementColumns.h"

#include <QTableView>

class StringGridView final : public QTableView {
    Q_OBJECT
public:
    static constexpr int fixedRows = MeasurementColumns::captionRows;

    explicit StringGridView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;
    // Moves the top visible row down by one, also while the rows just added
    // still wait for the delayed layout.
    void moveTopRowDown();
    // Widens a column, never narrows it, so that the text shows whole.
    void widenColumnFor(int column, const QString &text);
    // Keeps a column of counting numbers ("№") wide enough for the newest
    // row's number as rows are added: a long run reaches six digits.
    void fitColumnToNewRows(int column);

protected:
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void hideCaptionRows();
    void alignTopRow();
    void fitNewRow(int row);

    int fittedColumn_ = -1;
    // The length of the number the column was last fitted to: the width is
    // measured again only when the numbers grow a digit.
    qsizetype fittedLength_ = 0;
};
