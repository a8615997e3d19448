#include "export/JournalSnapshot.h"

namespace {
constexpr size_t rowsPerRead = 10000;
} // namespace

std::optional<RunSnapshot> snapshotOfRun(pondus::journal::JournalReader &reader, int64_t run)
{
    const std::optional<pondus::journal::JournalReader::RunRecord> record = reader.runRecord(run);
    if (!record)
        return std::nullopt;
    RunSnapshot snapshot;
    snapshot.settings = record->settings;
    snapshot.startedUtcMs = record->startedUtcMs;
    for (int64_t after = 0;;) {
        const std::vector<SequencedRow> rows = reader.rowsAfter(run, after, rowsPerRead);
        for (const SequencedRow &row : rows)
            snapshot.appendRow(row.row);
        if (rows.size() < rowsPerRead)
            break;
        after = rows.back().seq;
    }
    if (reader.failure())
        return std::nullopt;
    if (const auto chain = reader.runChain(run))
        snapshot.chain = RunSnapshot::ChainHashes{chain->head, chain->first, chain->last};
    return snapshot;
}
