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
    qint64 revision; // as read in the move's transaction: each write checks and raises it
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
            rows.append({table.position(), table.current().revision, sequence()});
        const bool ended = errorCode() == err::None || errorCode() == err::RecordNotAvailable;
        (void)table.send(QStringLiteral("QUICKSCAN=off"));
        return ended;
    }

    // The row's number alone written with one statement, as it was read in this
    // transaction; the buffer and the table's current record stay as they are.
    bool write(RunRow &row, qint64 sequence)
    {
        return m_run.table->putNumber(row.position, &row.revision, m_run.sequenceField, sequence);
    }

    qint64 sequence() const { return m_run.table->buffer().number(m_run.sequenceField); }

private:
    const ChildRun &m_run;
    const Record &m_row;
};

// The transaction of one move: begun here unless the caller framed one, and rolled back
// unless committed. A failing step rolls back before it is reported, so that no other
// station waits on this one's lock while the user reads the message.
class RunTransaction
{
public:
    explicit RunTransaction(Table &table)
        : m_database(table.database()), m_own(!m_database.inTransaction()), m_begun(table.stream())
    {}
    ~RunTransaction() { rollBack(); }
    RunTransaction(const RunTransaction &) = delete;
    RunTransaction &operator=(const RunTransaction &) = delete;

    bool begun() const { return m_begun; }
    [[nodiscard]] bool commit()
    {
        if (!m_own || m_database.flush()) {
            m_begun = false;
            return true;
        }
        return false;
    }
    // Keeps the error that made it necessary, for the message that follows.
    void rollBack()
    {
        if (m_own && m_begun && m_database.inTransaction()) {
            const StoreError error = lastError();
            (void)m_database.rollback();
            restoreError(error);
        }
        m_begun = false;
    }

private:
    Database &m_database;
    bool m_own;
    bool m_begun;
};

} // namespace

Moved moveRunRow(const ChildRun &run, const Record &row, const RunMove &move,
                 const MoveErrorReport &report, RecordPosition *movedRow)
{
    Table &table = *run.table;
    RunTransaction transaction(table);
    const auto fail = [&](const QString &section, qint64 sequence) {
        transaction.rollBack();
        report(section, sequence);
        return Moved::Failed;
    };
    if (!transaction.begun())
        return fail(QStringLiteral("Stream"), move.sequence);
    RunWalker walker(run, row);
    QList<RunRow> rows;
    if (!walker.readAll(rows))
        return fail(QStringLiteral("Test Range"), move.sequence);
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

    // The moved row waits on a number past the run while the rows it passes shift into
    // the number each one before it freed; then it takes the last one freed.
    const qint64 parking = rows.last().sequence + 1;
    RunRow &moving = rows[at];
    if (!walker.write(moving, parking))
        return fail(QStringLiteral("Put Swap Out"), moving.sequence);
    qint64 freed = moving.sequence;
    for (qsizetype i = first; i >= 0 && i < rows.size(); i += step) {
        RunRow &passed = rows[i];
        if (stopsAt(move, passed.sequence))
            break;
        if (!walker.write(passed, freed))
            return fail(QStringLiteral("Put Swap"), passed.sequence);
        freed = passed.sequence;
        if (oneStep(move.mode))
            break;
    }
    if (!walker.write(moving, freed))
        return fail(QStringLiteral("Final Put"), freed);
    if (!transaction.commit())
        return fail(QStringLiteral("Flush"), freed);
    if (movedRow)
        *movedRow = moving.position;
    return Moved::Yes;
}

bool moveChildRow(const ChildRun &run, const Record &row, qint64 sequence, MoveMode mode,
                  const MoveErrorReport &report)
{
    return moveRunRow(run, row, RunMove{mode, sequence, 0, 0}, report) == Moved::Yes;
}

Removed removeRunRow(const ChildRun &run, const Record &row, RecordPosition position,
                     const MoveErrorReport &report)
{
    Table &table = *run.table;
    RunTransaction transaction(table);
    if (!transaction.begun())
        return Removed::Failed;
    // Read again under the transaction: one another station deleted meanwhile is gone; one
    // it changed is deleted all the same, as any delete is.
    RunWalker walker(run, row);
    if (!table.reget(position) || !walker.inRun()) {
        const bool gone = errorCode() == err::RecordNotFound || errorCode() == err::None;
        transaction.rollBack();
        return gone ? Removed::Gone : Removed::Failed;
    }
    const qint64 from = walker.sequence();
    if (!table.remove()) {
        transaction.rollBack();
        return Removed::Failed;
    }
    const auto fail = [&](const QString &section, qint64 sequence) {
        transaction.rollBack();
        report(section, sequence);
        return Removed::GapFailed;
    };
    QList<RunRow> rows;
    if (!walker.readAll(rows))
        return fail(QStringLiteral("Test Range"), from);
    // In ascending order each row moves down into a number already freed.
    qint64 next = from;
    for (RunRow &entry : rows) {
        if (entry.sequence < from)
            continue;
        if (entry.sequence != next && !walker.write(entry, next))
            return fail(QStringLiteral("Put Upd Seq"), entry.sequence);
        ++next;
    }
    if (!transaction.commit()) {
        transaction.rollBack();
        return Removed::Failed;
    }
    return Removed::Yes;
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
