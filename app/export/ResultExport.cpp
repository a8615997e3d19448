#include "export/ResultExport.h"

#include <QAbstractItemModel>
#include <QSaveFile>
#include <QStringEncoder>

#include <algorithm>

QByteArray composeExportText(const QAbstractItemModel &table, std::optional<int> rowLimit)
{
    QStringEncoder encode(QStringConverter::System);
    const int rows = std::min(table.rowCount(), rowLimit.value_or(table.rowCount()));
    const int columns = table.columnCount();
    QByteArray text;
    QString line;
    for (int row = 0; row < rows; ++row) {
        line.clear();
        for (int column = 0; column < columns; ++column) {
            QString cell = table.data(table.index(row, column), Qt::DisplayRole).toString();
            // A TAB or line break typed into a cell would split the field
            // or the row and shift everything after it.
            if (cell.contains(u'\t') || cell.contains(u'\r') || cell.contains(u'\n')) {
                for (QChar &c : cell)
                    if (c == u'\t' || c == u'\r' || c == u'\n')
                        c = u' ';
            }
            line += cell;
            line += u'\t';
        }
        line += u"\r\n";
        text += encode(line);
    }
    return text;
}

std::optional<QString> writeExportFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // Only a file that was written whole replaces the old one; QSaveFile
    // removes its temporary file when it is not committed. Unbuffered, so
    // that a short write (a full disk) shows at once: a buffered write that
    // fails only while committing can go unnoticed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() ||
        !file.commit())
        return file.errorString();
    return std::nullopt;
}
