// The lines of the tab-separated table, the window's ".xls" and pondus-log's
// tsv: the grid's three caption rows, then one line per row, every cell as
// the grid shows it followed by a TAB, every line ending in CR LF, in the
// system's encoding, without a byte-order mark.
#pragma once

#include "export/RunSnapshot.h"
#include "recording/ValueFormat.h"

#include <QByteArray>

class TabSeparatedText {
public:
    explicit TabSeparatedText(ValueFormat values) : values_(std::move(values)) {}

    // The three caption lines.
    void appendCaptions(const RunSnapshot &run, QByteArray &out) const;
    // The line of row `index`; rowCount() stands for the one empty row of a
    // table without rows.
    void appendRow(const RunSnapshot &run, size_t index, QByteArray &out) const;
    // The whole table: captions, then every row (the empty one when none).
    QByteArray table(const RunSnapshot &run) const;

private:
    ValueFormat values_;
};
