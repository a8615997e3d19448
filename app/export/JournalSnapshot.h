// A run the measurement journal kept, as a snapshot any file format writes:
// for offering a run's file elsewhere (a download) long after it ended.
#pragma once

#include "export/RunSnapshot.h"
#include "journal/JournalReader.h"

#include <optional>

// The run's settings, start, rows and the captions of its balances, read on
// the reader's own connection; nothing for a run the journal does not hold
// or when reading fails. The operator's edits of the window's table are not
// part of a run: they belong to the table the window showed.
std::optional<RunSnapshot> snapshotOfRun(pondus::journal::JournalReader &reader, int64_t run);
