#pragma once

#include "store/table.h"

#include <QList>
#include <QString>

namespace sv {

// One track of an album being added: what the scratch rows of a wizard run hold.
struct TrackRow
{
    qint64 track = 0;
    QString artist;
    QString title;
    qint32 time = 0;             // standard time; 0: none
    RecordPosition position = 0; // where read() found it; not used by the writes
    // What an audio file's tags add; 0 or empty when the track was typed or read from a disc.
    int disc = 0;
    qint32 beatsPerMinute = 0;
    QString composer;
};

// The scratch rows of one add-album wizard run, kept apart from other runs by the run's
// instance number. Rows of a run that was cancelled stay, and a later run with the same
// number finds them again. Every call leaves the table's shared buffer and current record
// as they were, and fails with the store's error set.
class TrackRows
{
public:
    TrackRows(Table &table, int instance) : m_table(table), m_instance(instance) {}

    int instance() const { return m_instance; }
    void setInstance(int instance) { m_instance = instance; }
    Table &table() const { return m_table; }

    // The run's rows in track order.
    [[nodiscard]] bool read(QList<TrackRow> &rows) const;
    // The run's highest track; 0 for a run without rows.
    [[nodiscard]] bool highestTrack(qint64 &track) const;
    // Writes each row under its track number: a row already there takes the new artist,
    // title, time, disc, BPM and composer, a missing one is added. All of them or none.
    [[nodiscard]] bool write(const QList<TrackRow> &rows);
    // Adds the rows after the run's highest track, numbered on from it; all or none.
    [[nodiscard]] bool append(QList<TrackRow> rows);
    // Deletes every row of the run; all or none.
    [[nodiscard]] bool removeAll();
    // Puts `rows`, under their own track numbers, in place of every row of the run; all or
    // none.
    [[nodiscard]] bool replaceAll(const QList<TrackRow> &rows);

    // Fills the buffer with the key of one of the run's rows, the other fields cleared.
    void keyOf(Record &row, qint64 track) const;

private:
    [[nodiscard]] bool inBatch(const std::function<bool()> &work);
    [[nodiscard]] bool removeRows();

    Table &m_table;
    int m_instance;
};

} // namespace sv
