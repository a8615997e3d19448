// The text of recorded rows in the logger's two file formats: tab-separated
// as the window saves its table (three caption rows, then one row per
// measurement, every cell followed by a TAB), or comma-separated for
// programs (one header line, ISO times, a point for decimals).
#pragma once

#include "LoggerOptions.h"
#include "recording/RecordedRow.h"
#include "recording/ValueFormat.h"

#include <string>

namespace pondus::logger {

class RowText {
public:
    RowText(FileFormat format, ValueFormat values);

    // The lines that come before the first row, for the balances of `row`;
    // each ends in the format's line end.
    std::string captions(const RecordedRow &row) const;
    // One row without a line end.
    std::string row(const RecordedRow &row) const;
    const char *lineEnd() const { return format_ == FileFormat::Tsv ? "\r\n" : "\n"; }

private:
    FileFormat format_;
    ValueFormat values_;
};

} // namespace pondus::logger
