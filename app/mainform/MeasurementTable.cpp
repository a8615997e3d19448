#include "mainform/MeasurementTable.h"

#include "recording/BalanceTexts.h"

#include <QBrush>
#include <QFont>
#include <QPalette>

#include <utility>

namespace {
// Cells the operator typed over stand out from the recorded ones, in italics
// on a pale yellow; the journal keeps the readings they replaced.
const QColor editedCellColour(255, 244, 196);
// A pale green: the row every sample's change is counted from.
const QColor referenceRowColour(214, 240, 214);
} // namespace

MeasurementTable::MeasurementTable(ValueFormat format, QObject *parent)
    : QAbstractTableModel(parent), format_(std::move(format))
{
}

int MeasurementTable::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return MeasurementColumns::rowOf(std::max(1, measurementRows()) + 1);
}

int MeasurementTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns_;
}

QVariant MeasurementTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), index.column());
    case Qt::BackgroundRole:
        if (index.row() < MeasurementColumns::captionRows)
            return QPalette().brush(QPalette::Button);
        if (isEdited(index.row(), index.column()))
            return QBrush(editedCellColour);
        if (index.row() == referenceRow_)
            return QBrush(referenceRowColour);
        return {};
    case Qt::FontRole: {
        const bool edited = isEdited(index.row(), index.column());
        if (!edited && index.row() != referenceRow_)
            return {};
        QFont font;
        font.setItalic(edited);
        font.setBold(index.row() == referenceRow_);
        return font;
    }
    case Qt::ToolTipRole:
        if (index.row() == referenceRow_)
            return QStringLiteral("Исходная масса для Δm");
        return {};
    default:
        return {};
    }
}

bool MeasurementTable::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const QString text = value.toString();
    if (text == cellText(index.row(), index.column()))
        return true;
    if (!askReason_) {
        putText(index.row(), index.column(), text);
        return true;
    }
    // Asked once the view has closed its editor: a dialog opened while the
    // view commits takes the editor's focus, and the view commits again.
    QMetaObject::invokeMethod(
        this, [this, row = index.row(), column = index.column(), text] { askAndPut(row, column, text); },
        Qt::QueuedConnection);
    return false;
}

void MeasurementTable::askAndPut(int row, int column, const QString &text)
{
    // A clear in between may have taken the row.
    if (row >= rowCount() || column >= columns_)
        return;
    const QString oldText = cellText(row, column);
    if (text == oldText)
        return;
    const auto reason = askReason_(QStringLiteral("Изменение в строке № %1, столбце «%2»:\n«%3» → «%4»")
                                       .arg(cellText(row, MeasurementColumns::numberColumn), columnCaption(column),
                                            oldText, text));
    // A clear while the dialog was open left nothing to change.
    if (reason && row < rowCount() && cellText(row, column) == oldText)
        putText(row, column, text, *reason);
}

void MeasurementTable::putText(int row, int column, const QString &text, const QString &reason)
{
    const QString oldText = cellText(row, column);
    if (text == oldText)
        return;
    if (row < MeasurementColumns::captionRows)
        setHeaderCell(row, column, text);
    else
        edited_.insert(cellKey(row, column), text);
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole, Qt::BackgroundRole, Qt::FontRole});
    emit cellEdited(row, column, oldText, text, reason);
}

QString MeasurementTable::columnCaption(int column) const
{
    const auto slot = MeasurementColumns::slotOf(column);
    if (!slot)
        return cellText(MeasurementColumns::titleRow, column);
    const QString balance =
        cellText(MeasurementColumns::captionRow, MeasurementColumns::valueColumn(*slot));
    return MeasurementColumns::isUnitColumn(column) ? balance + QStringLiteral(", единица") : balance;
}

Qt::ItemFlags MeasurementTable::flags(const QModelIndex &index) const
{
    // The captions are the program's: an operator who blanked "№" would
    // also silence the clear question.
    if (index.isValid() && index.row() < MeasurementColumns::captionRows)
        return Qt::ItemIsEnabled;
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

QVariant MeasurementTable::headerData(int, Qt::Orientation, int role) const
{
    // The table's own header rows carry the captions; the view's headers
    // are only grips for resizing.
    return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
}

void MeasurementTable::setColumns(int count)
{
    if (count == columns_)
        return;
    if (count > columns_) {
        beginInsertColumns({}, columns_, count - 1);
        columns_ = count;
        endInsertColumns();
    } else {
        beginRemoveColumns({}, count, columns_ - 1);
        columns_ = count;
        endRemoveColumns();
    }
}

void MeasurementTable::setHeaderCell(int row, int column, const QString &text)
{
    QStringList &cells = header_.at(static_cast<size_t>(row));
    if (cells.size() <= column)
        cells.resize(column + 1);
    if (cells[column] == text)
        return;
    cells[column] = text;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
}

void MeasurementTable::appendMeasurement(int32_t number, const QDateTime &stamp,
                                         std::span<const RecordedReading> readings)
{
    const int row = MeasurementColumns::rowOf(measurementRows() + 1);
    // Cells the measurement writes replace what the operator typed into the
    // empty row before; the cells it leaves alone keep the operator's text.
    if (!edited_.isEmpty()) {
        const int written = MeasurementColumns::columnsFor(static_cast<int>(readings.size()));
        for (int column = 0; column < written; ++column) {
            const bool unitLeftEmpty =
                MeasurementColumns::isUnitColumn(column) &&
                readings[size_t(*MeasurementColumns::slotOf(column))].unit == RecordedReading::noUnit;
            if (!unitLeftEmpty)
                edited_.remove(cellKey(row, column));
        }
    }
    const bool fillsEmptyRow = rows_.empty();
    if (!fillsEmptyRow)
        beginInsertRows({}, row, row);
    rows_.push_back(Row{stamp.toMSecsSinceEpoch(), number, static_cast<uint32_t>(readings_.size()),
                        static_cast<uint8_t>(readings.size())});
    readings_.insert(readings_.end(), readings.begin(), readings.end());
    if (fillsEmptyRow)
        emit dataChanged(index(row, 0), index(row, columns_ - 1), {Qt::DisplayRole, Qt::EditRole});
    else
        endInsertRows();
}

void MeasurementTable::clear()
{
    beginResetModel();
    for (QStringList &cells : header_)
        cells.clear();
    rows_.clear();
    readings_.clear();
    edited_.clear();
    referenceRow_.reset();
    endResetModel();
}

bool MeasurementTable::setReferenceRow(int row)
{
    if (row < MeasurementColumns::captionRows || row >= MeasurementColumns::captionRows + measurementRows())
        return false;
    const std::optional<int> before = std::exchange(referenceRow_, row);
    for (const int changed : {before.value_or(row), row})
        emit dataChanged(index(changed, 0), index(changed, columnCount() - 1),
                         {Qt::BackgroundRole, Qt::FontRole, Qt::ToolTipRole});
    emit referenceRowChanged(row);
    return true;
}

const QString *MeasurementTable::editedText(int row, int column) const
{
    if (edited_.isEmpty())
        return nullptr;
    const auto found = edited_.constFind(cellKey(row, column));
    return found == edited_.cend() ? nullptr : &found.value();
}

const RecordedReading *MeasurementTable::readingAt(const Row &row, int column) const
{
    const std::optional<int> slot = MeasurementColumns::slotOf(column);
    if (!slot || *slot >= row.readingCount)
        return nullptr;
    return &readings_[row.firstReading + static_cast<uint32_t>(*slot)];
}

QString MeasurementTable::generatedText(const Row &row, int column) const
{
    switch (column) {
    case MeasurementColumns::numberColumn:
        return QString::number(row.number);
    case MeasurementColumns::timeColumn:
        return format_.time(QDateTime::fromMSecsSinceEpoch(row.stampMs));
    case MeasurementColumns::dateColumn:
        return format_.date(QDateTime::fromMSecsSinceEpoch(row.stampMs));
    default:
        break;
    }
    const RecordedReading *reading = readingAt(row, column);
    if (!reading)
        return {};
    if (!MeasurementColumns::isUnitColumn(column))
        return format_.weight(reading->rawValue, reading->divisor);
    return reading->unit == RecordedReading::noUnit ? QString() : unitTextOf(reading->unit);
}

QString MeasurementTable::cellText(int row, int column) const
{
    if (row < 0 || column < 0)
        return {};
    if (row < MeasurementColumns::captionRows)
        return header_[size_t(row)].value(column);
    if (const QString *text = editedText(row, column))
        return *text;
    const size_t measurement = size_t(MeasurementColumns::numberAt(row) - 1);
    if (measurement >= rows_.size())
        return {};
    return generatedText(rows_[measurement], column);
}

std::optional<MeasurementCell> MeasurementTable::measurementCell(int row, int column) const
{
    if (row < MeasurementColumns::captionRows || column < 0 || size_t(row - MeasurementColumns::captionRows) >= rows_.size())
        return std::nullopt;
    const Row &recorded = rows_[size_t(row - MeasurementColumns::captionRows)];
    MeasurementCell cell{recorded.number, recorded.stampMs, std::nullopt};
    if (const RecordedReading *reading = readingAt(recorded, column))
        cell.reading = *reading;
    return cell;
}

std::optional<QString> MeasurementTable::operatorText(int row, int column) const
{
    // The caption rows keep their texts elsewhere: they have none here.
    if (const QString *text = editedText(row, column))
        return *text;
    return std::nullopt;
}

std::vector<MeasurementTable::EditedCell> MeasurementTable::editedCells() const
{
    std::vector<EditedCell> cells;
    cells.reserve(size_t(edited_.size()));
    for (auto cell = edited_.cbegin(); cell != edited_.cend(); ++cell)
        cells.push_back({int(cell.key() >> 32), int(uint32_t(cell.key())), cell.value()});
    return cells;
}

std::optional<double> MeasurementTable::cellNumber(int row, int column) const
{
    // Fast path for the chart window, which rereads up to 1000 cells per
    // balance at every measurement: an untouched value cell needs no parsing.
    const size_t measurement = size_t(MeasurementColumns::numberAt(row) - 1);
    if (row >= MeasurementColumns::captionRows && measurement < rows_.size() && !editedText(row, column) &&
        !MeasurementColumns::isUnitColumn(column))
        if (const RecordedReading *reading = readingAt(rows_[measurement], column))
            return ValueFormat::weightValue(reading->rawValue, reading->divisor);
    return format_.number(cellText(row, column));
}
