// A recorded table as plain values, taken when it is written to a file: the
// run's settings, the captions of its balances, its rows and the cells the
// operator typed over. The window's grid, the journal and pondus-log each
// give one, and every file format writes from it, so the same rows make the
// same bytes whichever program wrote them. Free of Qt: a server reads it too.
#pragma once

#include "recording/RecordedRow.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

// The captions of one balance column, as its caption rows show them (UTF-8),
// and the colour of its line in the chart.
struct ColumnCaption {
    int32_t balance = 0; // position on the line, 0 when the column holds none
    std::string name;    // "Весы №1"
    std::string model;   // the model's designation
    std::string ident;   // the identification number
    uint32_t colour = 0; // 0xRRGGBB
};

// One balance's part of a row: what its value and unit cells were made of.
struct SnapshotReading {
    int32_t rawValue = 0; // the weight is rawValue / divisor
    int32_t divisor = 1;
    int8_t unit = noUnit; // the unit index shown, or noUnit for an empty unit cell
    bool stable = false;

    static constexpr int8_t noUnit = -1;
};

class RunSnapshot {
public:
    // One recorded row, its readings in column order.
    struct Row {
        int32_t number = 0;
        int64_t utcMs = 0;
        int32_t utcOffsetSeconds = 0; // the local clock's offset at that moment
        std::span<const SnapshotReading> readings;
        // The local wall clock of the row's moment, in ms since 1970-01-01 00:00 local.
        int64_t localMs() const { return utcMs + int64_t(utcOffsetSeconds) * 1000; }
    };

    RunSettings settings;
    int64_t startedUtcMs = 0; // 0 when not known
    int64_t stoppedUtcMs = 0;
    // Whether the caption rows carry the titles "№", "Время", "Дата": a table
    // no run has written to yet shows none.
    bool titled = true;
    // One per balance column, in column order.
    std::vector<ColumnCaption> balances;
    // The journal's hash chain when the rows come from a journaled run: the
    // file's head when the snapshot was taken and the run's first and last
    // links, in hex, as pondus-log --verify prints them.
    struct ChainHashes {
        std::string head, first, last;
    };
    std::optional<ChainHashes> chain;
    // The row the operator took as every balance's reference mass, by
    // index; without it each balance starts from its first stable reading.
    std::optional<size_t> referenceRow;

    // The grid the rows make: its columns, and the text of a caption row's
    // cell (empty beyond the captions).
    int gridColumns() const;
    const std::string &captionCell(int captionRow, int column) const;

    // Appends a row; the readings beyond the balance columns are dropped.
    void appendRow(int32_t number, int64_t utcMs, int32_t utcOffsetSeconds,
                   std::span<const SnapshotReading> readings);
    // Appends a recorded row; its balances become the captions when there
    // are none yet.
    void appendRow(const RecordedRow &row);
    // Forgets the rows and their edits, keeping the captions and the memory
    // (for a writer that keeps only the row being written).
    void clearRows();
    void reserveRows(size_t rows, size_t readingsPerRow);

    size_t rowCount() const { return rows_.size(); }
    Row row(size_t index) const;
    // A balance column's reading at the reference row when it is stable,
    // the only kind a reference is taken from; nothing otherwise.
    const SnapshotReading *pickedReading(size_t slot) const;

    // What the operator typed into a cell of a row (`index` may be rowCount()
    // when the table has no rows: its one empty row), by grid column.
    void setEdit(size_t index, int column, std::string text);
    const std::string *edit(size_t index, int column) const;

private:
    struct StoredRow {
        int64_t utcMs;
        int32_t number;
        int32_t utcOffsetSeconds;
        uint32_t firstReading;
        uint32_t readingCount;
    };
    static uint64_t cellKey(size_t index, int column) { return (uint64_t(index) << 32) | uint32_t(column); }

    std::vector<StoredRow> rows_;
    std::vector<SnapshotReading> readings_;
    std::unordered_map<uint64_t, std::string> edits_;
};

// The captions a recorded row's balances get: "Весы №j", the model's
// designation, the identification number, the balance's chart colour.
std::vector<ColumnCaption> captionsOf(const RecordedRow &row);
