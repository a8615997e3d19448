// The text of recorded rows in pondus-log's row files, tsv and csv, made by
// the window's own encoders from a snapshot that holds only the row being
// written: the same rows give the same bytes from either program.
#pragma once

#include "LoggerOptions.h"
#include "export/CsvText.h"
#include "export/TabSeparatedText.h"

#include <string>
#include <vector>

namespace pondus::logger {

class RowText {
public:
    // Tsv or Csv.
    RowText(FileFormat format, ValueFormat values);

    // The lines that come before the first row, for the balances of `row`;
    // a csv file's first bytes are the byte-order mark (`startsFile`).
    std::string captions(const RecordedRow &row, bool startsFile);
    // One row without its line end.
    std::string row(const RecordedRow &row);
    // The samples' names by position (index p - 1), for the csv captions.
    void setSamples(std::vector<std::string> samples) { run_.settings.samples = std::move(samples); }
    static constexpr const char *lineEnd() { return "\r\n"; }

private:
    // The rows' captions and the one row being written.
    void hold(const RecordedRow &row);

    FileFormat format_;
    TabSeparatedText tabSeparated_;
    CsvText commaSeparated_;
    RunSnapshot run_;
};

} // namespace pondus::logger
