#include "trackrows.h"

#include "store/errors.h"

#include <limits>

namespace sv {

namespace {

// The shared buffer and current record, put back as they were when a call ends.
class KeepRow
{
public:
    explicit KeepRow(Table &table)
        : m_table(table), m_buffer(table.buffer()), m_current(table.current())
    {}
    ~KeepRow()
    {
        m_table.buffer() = m_buffer;
        m_table.setCurrent(m_current);
    }
    KeepRow(const KeepRow &) = delete;
    KeepRow &operator=(const KeepRow &) = delete;

private:
    Table &m_table;
    Record m_buffer;
    Table::CurrentRecord m_current;
};

} // namespace

void TrackRows::keyOf(Record &row, qint64 track) const
{
    row.clear();
    row.setNumber(aw::Instance, m_instance);
    row.setText(aw::Side, QStringLiteral("0"));
    row.setNumber(aw::Track, track);
}

bool TrackRows::read(QList<TrackRow> &rows) const
{
    KeepRow keep(m_table);
    rows.clear();
    Record &row = m_table.buffer();
    keyOf(row, 0);
    m_table.setFrom(aw::KeyInstance);
    while (m_table.next()) {
        if (row.number(aw::Instance) != m_instance || row.text(aw::Side) != u"0")
            return true;
        rows.append({row.number(aw::Track), row.text(aw::Artist), row.text(aw::Title),
                     qint32(row.number(aw::Time)), m_table.position(), int(row.number(aw::Disc)),
                     qint32(row.number(aw::BeatsPerMinute)), row.text(aw::Composer)});
    }
    if (errorCode() != err::RecordNotAvailable)
        return false;
    clearError();
    return true;
}

bool TrackRows::highestTrack(qint64 &track) const
{
    KeepRow keep(m_table);
    track = 0;
    Record &row = m_table.buffer();
    keyOf(row, std::numeric_limits<qint32>::max());
    m_table.setFrom(aw::KeyInstance);
    if (m_table.previous()) {
        if (row.number(aw::Instance) == m_instance && row.text(aw::Side) == u"0")
            track = row.number(aw::Track);
        return true;
    }
    if (errorCode() != err::RecordNotAvailable)
        return false;
    clearError();
    return true;
}

bool TrackRows::inBatch(const std::function<bool()> &work)
{
    KeepRow keep(m_table);
    Database &database = m_table.database();
    const bool own = !database.inTransaction();
    if (!m_table.stream())
        return false;
    if (work() && (!own || m_table.flush()))
        return true;
    if (own && database.inTransaction()) {
        const StoreError failure = lastError();
        (void)database.rollback();
        restoreError(failure);
    }
    return false;
}

bool TrackRows::write(const QList<TrackRow> &rows)
{
    return inBatch([this, &rows] {
        Record &row = m_table.buffer();
        for (const TrackRow &track : rows) {
            keyOf(row, track.track);
            const bool found = m_table.get(aw::KeyInstance);
            if (!found && errorCode() != err::RecordNotFound)
                return false;
            if (!found)
                keyOf(row, track.track);
            row.setText(aw::Artist, track.artist);
            row.setText(aw::Title, track.title);
            row.setNumber(aw::Time, track.time);
            row.setNumber(aw::Disc, track.disc);
            row.setNumber(aw::BeatsPerMinute, track.beatsPerMinute);
            row.setText(aw::Composer, track.composer);
            if (!(found ? m_table.put() : m_table.add()))
                return false;
        }
        return true;
    });
}

bool TrackRows::append(QList<TrackRow> rows)
{
    qint64 highest = 0;
    if (!highestTrack(highest))
        return false;
    for (TrackRow &row : rows)
        row.track = ++highest;
    return write(rows);
}

bool TrackRows::removeRows()
{
    QList<TrackRow> rows;
    if (!read(rows))
        return false;
    for (const TrackRow &track : std::as_const(rows)) {
        keyOf(m_table.buffer(), track.track);
        if (!m_table.get(aw::KeyInstance) || !m_table.remove())
            return false;
    }
    return true;
}

bool TrackRows::removeAll()
{
    return inBatch([this] { return removeRows(); });
}

bool TrackRows::replaceAll(const QList<TrackRow> &rows)
{
    return inBatch([this, &rows] { return removeRows() && write(rows); });
}

} // namespace sv
