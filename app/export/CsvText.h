// The lines of the comma-separated table, the window's CSV and pondus-log's
// csv: RFC 4180, UTF-8, one header line, then per row "№", the time as
// ISO 8601 with milliseconds and the offset from UTC, and per balance its
// weight in exact decimals with '.' as the point, its unit and its stable
// flag; every line ends in CR LF. A file starts with a byte-order mark, so
// that spreadsheets read the captions as UTF-8.
#pragma once

#include "export/RunSnapshot.h"
#include "recording/ValueFormat.h"

#include <QByteArray>

class CsvText {
public:
    static constexpr char byteOrderMark[] = "\xEF\xBB\xBF";

    // The grid's texts are needed where the operator typed over a time or a
    // date: the field then keeps both texts.
    explicit CsvText(ValueFormat values) : values_(std::move(values)) {}

    void appendHeader(const RunSnapshot &run, QByteArray &out) const;
    void appendRow(const RunSnapshot &run, size_t index, QByteArray &out) const;

private:
    ValueFormat values_;
};
