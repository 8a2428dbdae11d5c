#include "reorder.h"

#include "store/errors.h"
#include "store/keytext.h"

namespace sv {

namespace {

bool forwardMove(MoveMode mode)
{
    return mode == MoveMode::DownOne || mode == MoveMode::ToBottom;
}

bool oneStep(MoveMode mode)
{
    return mode == MoveMode::UpOne || mode == MoveMode::DownOne;
}

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

    // The first row of the run at or after (forward) or at or before `sequence`.
    bool readFrom(qint64 sequence, bool forward)
    {
        Table &table = *m_run.table;
        table.buffer() = m_row;
        table.buffer().setNumber(m_run.sequenceField, sequence);
        table.setFrom(m_run.key);
        const bool read = forward ? table.next() : table.previous();
        return read && inRun();
    }

    bool get(qint64 sequence)
    {
        Table &table = *m_run.table;
        table.buffer() = m_row;
        table.buffer().setNumber(m_run.sequenceField, sequence);
        return table.get(m_run.key);
    }

    bool putWith(qint64 sequence)
    {
        m_run.table->buffer().setNumber(m_run.sequenceField, sequence);
        return m_run.table->put();
    }

    qint64 sequence() const { return m_run.table->buffer().number(m_run.sequenceField); }

private:
    const ChildRun &m_run;
    const Record &m_row;
};

} // namespace

bool moveChildRow(const ChildRun &run, const Record &row, qint64 sequence, MoveMode mode,
                  const MoveErrorReport &report)
{
    Table &table = *run.table;
    const bool forward = forwardMove(mode);
    RunWalker walker(run, row);
    if (!walker.readFrom(forward ? sequence + 1 : sequence - 1, forward))
        return false; // nothing to pass in that direction

    const qint64 highest =
        walker.readFrom(std::numeric_limits<qint32>::max(), false) ? walker.sequence() : sequence;
    const qint64 parking = highest + 1;

    if (!table.stream()) {
        report(QStringLiteral("Stream"), sequence);
        return false;
    }
    if (!walker.get(sequence))
        report(QStringLiteral("Get Orig"), sequence);
    else if (!walker.putWith(parking))
        report(QStringLiteral("Put Swap Out"), sequence);

    qint64 freed = sequence;
    while (walker.readFrom(forward ? freed + 1 : freed - 1, forward) &&
           walker.sequence() != parking) {
        const qint64 passed = walker.sequence();
        if (!walker.putWith(freed))
            report(QStringLiteral("Put Swap"), passed);
        freed = passed;
        if (oneStep(mode))
            break;
    }

    if (!walker.get(parking))
        report(QStringLiteral("Get Orig After"), parking);
    else if (!walker.putWith(freed))
        report(QStringLiteral("Final Put"), freed);
    if (!table.flush())
        report(QStringLiteral("Flush"), freed);
    return true;
}

} // namespace sv
