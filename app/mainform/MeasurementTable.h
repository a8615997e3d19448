// The measurement table behind StrGrid1: three header rows (balance
// caption, model designation, identification number; row 1 also holds
// "№", "Время", "Дата"), then one row per recorded measurement.
//
// Runs reach hundreds of thousands of rows, so a row is kept as numbers and
// codes and its texts are produced when shown. A cell the operator edits keeps
// the operator's text.
#pragma once

#include "mainform/ReasonDialog.h"
#include "recording/MeasurementColumns.h"
#include "recording/ValueFormat.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

// One balance's part of a measurement row: its value and unit cells.
struct RecordedReading {
    int32_t rawValue = 0;
    int32_t divisor = 1;
    int8_t unit = noUnit; // index of the unit text, or noUnit for an empty cell
    bool stable = false;

    static constexpr int8_t noUnit = -1;
};

// The recorded numbers behind a cell of a measurement row, which its text is
// made from: the row's number and time (with milliseconds), and for a value
// or unit column the balance's reading.
struct MeasurementCell {
    int32_t number = 0;
    qint64 stampMs = 0; // ms since the Unix epoch
    std::optional<RecordedReading> reading;
};

class MeasurementTable final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int initialColumns = 23;

    explicit MeasurementTable(ValueFormat format, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // While the lab audits changes, an operator's edit first asks why; the
    // cell keeps its text until a reason is given.
    void setReasonAsker(ReasonAsker asker) { askReason_ = std::move(asker); }
    // Puts the text into the cell without asking: an edit the journal gives
    // back, or one whose reason was given.
    void putText(int row, int column, const QString &text, const QString &reason = {});

    void setColumns(int count);
    void setHeaderCell(int row, int column, const QString &text);

    // Number of recorded measurement rows. Below them the table shows one
    // empty row while nothing is recorded, as the row the next one fills.
    int measurementRows() const { return static_cast<int>(rows_.size()); }

    // Appends the row of one measurement: number, time and date of the stamp,
    // then a value and a unit cell per reading, in column order.
    void appendMeasurement(int32_t number, const QDateTime &stamp,
                           std::span<const RecordedReading> readings);

    // Empties every cell, the header rows included, and cuts the table back
    // to the header rows and one empty row. The column count stays.
    void clear();

    QString cellText(int row, int column) const;
    // What a measurement row recorded under a cell; nothing for the header
    // rows and the empty row.
    std::optional<MeasurementCell> measurementCell(int row, int column) const;
    // The text the operator typed into a measurement cell; nothing where the
    // cell shows what was recorded.
    std::optional<QString> operatorText(int row, int column) const;
    // Whether the operator's text stands in a measurement cell.
    bool isEdited(int row, int column) const { return editedText(row, column) != nullptr; }
    // Every cell of a measurement row that shows the operator's text.
    struct EditedCell {
        int row;
        int column;
        QString text;
    };
    std::vector<EditedCell> editedCells() const;
    // A cell's text read back as a number, nothing when it is not one.
    std::optional<double> cellNumber(int row, int column) const;

    // The measurement row the operator took as the samples' reference mass,
    // drawn in bold on a tint of its own; emptied with the table.
    std::optional<int> referenceRow() const { return referenceRow_; }
    // Takes a measurement row, replacing the one before; false, with nothing
    // changed, for a caption row or the empty row.
    bool setReferenceRow(int row);

signals:
    // The operator took another row as the reference (not told by clear).
    void referenceRowChanged(int row);
    // The operator changed a cell's text (caption rows included), for the
    // reason given; empty when none was asked.
    void cellEdited(int row, int column, const QString &oldText, const QString &newText, const QString &reason);

private:
    struct Row {
        qint64 stampMs;
        int32_t number;
        uint32_t firstReading;
        uint8_t readingCount;
    };

    static qint64 cellKey(int row, int column) { return (qint64(row) << 32) | uint32_t(column); }
    const QString *editedText(int row, int column) const;
    const RecordedReading *readingAt(const Row &row, int column) const;
    QString generatedText(const Row &row, int column) const;
    void askAndPut(int row, int column, const QString &text);
    // "№", "Время", "Дата" or the balance's caption.
    QString columnCaption(int column) const;

    ValueFormat format_;
    int columns_ = initialColumns;
    std::array<QStringList, MeasurementColumns::captionRows> header_;
    std::deque<Row> rows_;
    std::deque<RecordedReading> readings_;
    QHash<qint64, QString> edited_;
    std::optional<int> referenceRow_;
    ReasonAsker askReason_;
};
