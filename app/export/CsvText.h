// The lines of the comma-separated table, the window's CSV and pondus-log's
// csv: RFC 4180, UTF-8, one header line, then per row "№", the time as
// ISO 8601 with milliseconds and the offset from UTC, and per balance its
// weight in exact decimals with '.' as the point, its unit, its change Δm
// from its sample's reference in the unit and in percent, and its stable
// flag; every line ends in CR LF. The reference is the balance's first
// stable reading since the header, and again the first stable one in
// another unit; a reference row the operator picked gives it instead for
// the readings in its unit. The header names the balance's sample. A file
// starts with a byte-order mark, so that spreadsheets read the captions as
// UTF-8.
#pragma once

#include "export/RunSnapshot.h"
#include "recording/ValueFormat.h"

#include <QByteArray>

#include <optional>
#include <vector>

class CsvText {
public:
    static constexpr char byteOrderMark[] = "\xEF\xBB\xBF";

    // The grid's texts are needed where the operator typed over a time or a
    // date: the field then keeps both texts.
    explicit CsvText(ValueFormat values) : values_(std::move(values)) {}

    // Starts the references afresh.
    void appendHeader(const RunSnapshot &run, QByteArray &out);
    // Rows in their order after the header, each once: they set the
    // references their changes are taken from.
    void appendRow(const RunSnapshot &run, size_t index, QByteArray &out);

    // A balance's value in a row: exact as raw / divisor, or a number the
    // operator typed.
    struct Mass {
        double value = 0;
        int64_t raw = 0;
        int32_t divisor = 0; // 0 for a typed number
        int8_t unit = SnapshotReading::noUnit;
    };

private:
    ValueFormat values_;
    std::vector<std::optional<Mass>> references_; // by column
    std::vector<std::optional<Mass>> picked_;     // by column, from the reference row
};
