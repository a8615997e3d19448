// The window's grid as a snapshot for the export: its captions, recorded
// rows and the operator's texts, as they stand when the file is asked for.
#pragma once

#include "export/RunSnapshot.h"

class MeasurementTable;

// The first `rows` rows of the grid, caption rows included, with the
// operator's reference row when it is among them. The balance of
// a column is the run's balance of that place, else its place counted from
// one; the times take the local clock's offset of their moment.
RunSnapshot snapshotOfTable(const MeasurementTable &table, int rows, const RunSettings &settings);
