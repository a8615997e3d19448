#include "RowText.h"

namespace pondus::logger {

RowText::RowText(FileFormat format, ValueFormat values)
    : format_(format), tabSeparated_(values), commaSeparated_(std::move(values))
{
}

void RowText::hold(const RecordedRow &row)
{
    if (run_.balances.size() != row.readings.size())
        run_.balances = captionsOf(row);
    run_.clearRows();
    run_.appendRow(row);
}

std::string RowText::captions(const RecordedRow &row, bool startsFile)
{
    run_.balances = captionsOf(row);
    hold(row);
    QByteArray lines;
    if (format_ == FileFormat::Csv) {
        if (startsFile)
            lines += CsvText::byteOrderMark;
        commaSeparated_.appendHeader(run_, lines);
    } else {
        tabSeparated_.appendCaptions(run_, lines);
    }
    return lines.toStdString();
}

std::string RowText::row(const RecordedRow &row)
{
    hold(row);
    QByteArray line;
    if (format_ == FileFormat::Csv)
        commaSeparated_.appendRow(run_, 0, line);
    else
        tabSeparated_.appendRow(run_, 0, line);
    line.chop(qsizetype(std::char_traits<char>::length(lineEnd())));
    return line.toStdString();
}

} // namespace pondus::logger
