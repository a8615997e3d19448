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

protected:
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void hideCaptionRows();
    void alignTopRow();
};
