#include "reorder.h"

#include "store/errors.h"
#include "store/keytext.h"

#include <limits>

namespace sv {

namespace {

constexpr qint64 BeforeAll = std::numeric_limits<qint32>::min();
constexpr qint64 AfterAll = std::numeric_limits<qint32>::max();

bool forwardMove(MoveMode mode)
{
    return mode == MoveMode::DownOne || mode == MoveMode::ToBottom || mode == MoveMode::DownTo;
}

// Whether the walk of a move stops before passing a row with this number.
bool stopsAt(const RunMove &move, qint64 sequence)
{
    return (move.mode == MoveMode::Insert && sequence <= move.after) ||
           (move.mode == MoveMode::DownTo && sequence > move.after);
}

bool oneStep(MoveMode mode)
{
    return mode == MoveMode::UpOne || mode == MoveMode::DownOne;
}

struct RunRow
{
    RecordPosition position;
    qint64 sequence;
};

class RunWalker
{
public:
    RunWalker(const ChildRun &run, const Record &row) : m_run(run), m_row(row) {}

    bool inRun() const
    {
        const Record &buffer = m_run.table->buffer();
        for (int field : m_run.runFields) {
            const QVariant a = buffer.value(field);
            const QVariant b = m_row.value(field);
            const bool same = a.typeId() == QMetaType::QString
                                  ? keyText(a.toString()) == keyText(b.toString())
                                  : a.toLongLong() == b.toLongLong();
            if (!same)
                return false;
        }
        return true;
    }

    void standAt(qint64 sequence)
    {
        Table &table = *m_run.table;
        table.buffer() = m_row;
        table.buffer().setNumber(m_run.sequenceField, sequence);
        table.setFrom(m_run.key);
    }

    // Every row of the run in order, read ahead in pages; false when a read failed for
    // another reason than the end of the file.
    bool readAll(QList<RunRow> &rows)
    {
        Table &table = *m_run.table;
        (void)table.send(QStringLiteral("QUICKSCAN=on"));
        standAt(BeforeAll);
        while (table.next() && inRun())
            rows.append({table.position(), sequence()});
        const bool ended = errorCode() == err::None || errorCode() == err::RecordNotAvailable;
        (void)table.send(QStringLiteral("QUICKSCAN=off"));
        return ended;
    }

    bool putWith(RecordPosition position, qint64 sequence)
    {
        Table &table = *m_run.table;
        if (!table.reget(position))
            return false;
        table.buffer().setNumber(m_run.sequenceField, sequence);
        return table.put();
    }

    qint64 sequence() const { return m_run.table->buffer().number(m_run.sequenceField); }

private:
    const ChildRun &m_run;
    const Record &m_row;
};

// The transaction of one move: begun here unless the caller framed one, and rolled back
// unless committed.
class RunTransaction
{
public:
    explicit RunTransaction(Table &table) : m_table(table), m_own(!table.database().inTransaction())
    {
        m_begun = table.stream();
    }
    ~RunTransaction()
    {
        if (m_begun && m_own && !m_done)
            (void)m_table.database().rollback();
    }
    RunTransaction(const RunTransaction &) = delete;
    RunTransaction &operator=(const RunTransaction &) = delete;

    bool begun() const { return m_begun; }
    bool commit()
    {
        m_done = true;
        return !m_own || m_table.flush();
    }

private:
    Table &m_table;
    bool m_own;
    bool m_begun = false;
    bool m_done = false;
};

} // namespace

Moved moveRunRow(const ChildRun &run, const Record &row, const RunMove &move,
                 const MoveErrorReport &report)
{
    Table &table = *run.table;
    RunTransaction transaction(table);
    if (!transaction.begun()) {
        report(QStringLiteral("Stream"), move.sequence);
        return Moved::Failed;
    }
    RunWalker walker(run, row);
    QList<RunRow> rows;
    if (!walker.readAll(rows)) {
        report(QStringLiteral("Test Range"), move.sequence);
        return Moved::Failed;
    }
    qsizetype at = -1;
    for (qsizetype i = 0; i < rows.size() && at < 0; ++i) {
        if (move.position ? rows.at(i).position == move.position
                          : rows.at(i).sequence == move.sequence)
            at = i;
    }
    if (at < 0)
        return Moved::Gone;
    const bool forward = forwardMove(move.mode);
    const qsizetype step = forward ? 1 : -1;
    const qsizetype first = at + step;
    if (first < 0 || first >= rows.size() || stopsAt(move, rows.at(first).sequence))
        return Moved::NoNeighbour;

    const qint64 parking = rows.last().sequence + 1;
    const RunRow moving = rows.at(at);
    if (!table.reget(moving.position)) {
        report(QStringLiteral("Get Orig"), moving.sequence);
        return Moved::Failed;
    }
    table.buffer().setNumber(run.sequenceField, parking);
    if (!table.put()) {
        report(QStringLiteral("Put Swap Out"), moving.sequence);
        return Moved::Failed;
    }

    qint64 freed = moving.sequence;
    for (qsizetype i = first; i >= 0 && i < rows.size(); i += step) {
        const RunRow &passed = rows.at(i);
        if (stopsAt(move, passed.sequence))
            break;
        if (!walker.putWith(passed.position, freed)) {
            report(QStringLiteral("Put Swap"), passed.sequence);
            return Moved::Failed;
        }
        freed = passed.sequence;
        if (oneStep(move.mode))
            break;
    }

    if (!table.reget(moving.position)) {
        report(QStringLiteral("Get Orig After"), parking);
        return Moved::Failed;
    }
    table.buffer().setNumber(run.sequenceField, freed);
    if (!table.put()) {
        report(QStringLiteral("Final Put"), freed);
        return Moved::Failed;
    }
    if (!transaction.commit()) {
        report(QStringLiteral("Flush"), freed);
        return Moved::Failed;
    }
    return Moved::Yes;
}

bool moveChildRow(const ChildRun &run, const Record &row, qint64 sequence, MoveMode mode,
                  const MoveErrorReport &report)
{
    return moveRunRow(run, row, RunMove{mode, sequence, 0, 0}, report) == Moved::Yes;
}

bool renumberRun(const ChildRun &run, const Record &row, qint64 from, const MoveErrorReport &report)
{
    Table &table = *run.table;
    RunTransaction transaction(table);
    if (!transaction.begun()) {
        report(QStringLiteral("Put Upd Seq"), from);
        return false;
    }
    RunWalker walker(run, row);
    QList<RunRow> rows;
    if (!walker.readAll(rows)) {
        report(QStringLiteral("Test Range"), from);
        return false;
    }
    qint64 next = from;
    for (const RunRow &entry : std::as_const(rows)) {
        if (entry.sequence < from)
            continue;
        if (entry.sequence != next && !walker.putWith(entry.position, next)) {
            report(QStringLiteral("Put Upd Seq"), entry.sequence);
            return false;
        }
        ++next;
    }
    if (!transaction.commit()) {
        report(QStringLiteral("Put Upd Seq"), from);
        return false;
    }
    return true;
}

bool lastInRun(const ChildRun &run, const Record &row, qint64 &sequence)
{
    RunWalker walker(run, row);
    walker.standAt(AfterAll);
    sequence = 0;
    if (run.table->previous()) {
        if (walker.inRun())
            sequence = walker.sequence();
        return true;
    }
    return errorCode() == err::RecordNotAvailable;
}

} // namespace sv
