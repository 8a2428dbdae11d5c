#pragma once

#include "store/table.h"

#include <functional>

namespace sv {

// Moving one child row within its numbered run (the songs of an album side by track, the
// tracks of a wizard run, the entries of a play list). Numbers are rotated so that the key
// stays unique at every step: the moved row is parked on a spare number past the run's
// highest, the rows it passes shift by one, and the parked row takes the last freed number.
struct ChildRun
{
    Table *table = nullptr;
    int key = 0;          // orders the run: its components are runFields then sequenceField
    QList<int> runFields; // the fields every row of the run shares (album, side ...)
    int sequenceField = 0;
};

enum class MoveMode { UpOne, DownOne, ToTop, ToBottom };

// Called for every failed read or write with the step's name ("Test Range", "Get Orig",
// "Put Swap Out", "Put Swap", "Get Orig After", "Final Put"); the move goes on. "Stream"
// (the batch could not begin: nothing moves) and "Flush" (the batch was not committed)
// report the batch around the steps.
using MoveErrorReport = std::function<void(const QString &section, qint64 sequence)>;

// Moves the row of the run whose number is `sequence`, taking the run's values from
// `row`. Returns false when nothing moved (no neighbour in that direction).
bool moveChildRow(const ChildRun &run, const Record &row, qint64 sequence, MoveMode mode,
                  const MoveErrorReport &report);

} // namespace sv
