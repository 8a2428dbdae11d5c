#pragma once

#include "store/table.h"

#include <functional>

namespace sv {

// Moving one child row within its numbered run (the tracks of a wizard run, the entries of
// a play list). Numbers are rotated so that the key stays unique at every step: the moved
// row is parked on a spare number past the run's highest, the rows it passes shift by one,
// and the parked row takes the last freed number. Each row's number is written alone with
// one statement, checked against the revision the move read it at and raising it, so a
// window that read a row before the move cannot write it back over the move unnoticed.
struct ChildRun
{
    Table *table = nullptr;
    int key = 0;          // orders the run: its components are runFields then sequenceField
    QList<int> runFields; // the fields every row of the run shares (album, side ...)
    int sequenceField = 0;
};

// Insert: towards lower numbers, passing the rows numbered above `after`, so that a row
// added at the end comes to stand right after the row numbered `after`. DownTo: towards
// higher numbers, passing the rows numbered up to `after`, so that the row takes that
// number (a row dragged down onto another).
enum class MoveMode { UpOne, DownOne, ToTop, ToBottom, Insert, DownTo };

// Called for a failed read or write with the step's name ("Test Range", "Put Swap Out",
// "Put Swap", "Final Put", "Put Upd Seq") and the number the step was about, after
// everything was rolled back. "Stream" (the batch could not begin) and "Flush" (the batch
// was not committed) report the batch around the steps.
using MoveErrorReport = std::function<void(const QString &section, qint64 sequence)>;

struct RunMove
{
    MoveMode mode = MoveMode::UpOne;
    qint64 sequence = 0;       // the row to move by its number ...
    RecordPosition position{}; // ... or, when set, by its record, whatever its number now
    qint64 after = 0;          // for MoveMode::Insert and MoveMode::DownTo
};

enum class Moved {
    Yes,
    NoNeighbour, // nothing to pass in that direction: nothing changed
    Gone,        // the row is no longer in the run (another station deleted or moved it)
    Failed,      // a step failed and was reported; everything was rolled back
};

// Moves one row of the run whose shared values `row` holds. The whole move is one
// transaction, read and written under it, so another station never sees a half-moved run
// and cannot change the run in between; any failing step rolls it all back. The table's
// buffer and current record are left as the read of the run left them; `movedRow`, when
// given, receives the moved row's position after a move.
[[nodiscard]] Moved moveRunRow(const ChildRun &run, const Record &row, const RunMove &move,
                               const MoveErrorReport &report, RecordPosition *movedRow = nullptr);

// Moves the row of the run whose number is `sequence`. Returns false when nothing moved.
bool moveChildRow(const ChildRun &run, const Record &row, qint64 sequence, MoveMode mode,
                  const MoveErrorReport &report);

enum class Removed {
    Yes,
    Gone,      // another station deleted the row first: nothing changed
    Failed,    // the delete failed (the error is left for the caller's warning)
    GapFailed, // closing the gap failed and was reported
};

// Deletes the row of the run at `position` and closes the gap it leaves: the rows numbered
// after it take the numbers from its own on, in their order. One transaction, so that a
// failure or a station killed half way never leaves the run numbered with a gap; any
// failing step rolls it all back ("Put Upd Seq" for a write of the gap).
[[nodiscard]] Removed removeRunRow(const ChildRun &run, const Record &row, RecordPosition position,
                                   const MoveErrorReport &report);

// The highest number in the run (0 for an empty run); false when the read failed for
// another reason than the end of the file. Leaves the table's buffer as the read left it.
[[nodiscard]] bool lastInRun(const ChildRun &run, const Record &row, qint64 &sequence);

} // namespace sv
