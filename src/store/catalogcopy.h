#pragma once

#include "errors.h"
#include "schema.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace sv {

class ServerDatabase;

// Moves a whole catalogue between a folder of table files and a PostgreSQL server, either
// way. Every table is copied in one transaction of its own: the target's table is made anew
// empty with its keys and filled with every record in position order, keeping positions
// (whatever remembers a record by its position finds it on the other side), fields and
// memos; its count is then checked against the source's, and the table is kept only when
// both agree. A table that fails or is cancelled leaves its target as it was; the tables
// finished before it stay complete.
//
// It runs a batch of records at a time (step()), so a window can drive it from its event
// loop and cancel between two batches; run() drives it to the end.
class CatalogueCopy
{
public:
    enum class Direction { ToServer, FromServer };
    enum class Replace { No, Yes };

    // The folder is the source when copying to the server and the target when copying from
    // it. The server connection must outlive the copy.
    CatalogueCopy(Direction direction, const QString &folder, ServerDatabase &server);
    ~CatalogueCopy(); // a table under way is abandoned, its target left as it was
    CatalogueCopy(const CatalogueCopy &) = delete;
    CatalogueCopy &operator=(const CatalogueCopy &) = delete;

    Direction direction() const { return m_direction; }

    // Whether the target holds a catalogue already (a table file of it in the folder, a
    // table of it on the server); nothing when that could not be found out (the message
    // says why).
    std::optional<bool> targetHoldsCatalogue();

    // Checks that the source holds a catalogue this program can read, and that the target
    // holds none unless it is to be replaced; false with message() when the copy cannot
    // start. Nothing is written yet.
    [[nodiscard]] bool start(Replace replace);

    enum class Step {
        Working,   // a batch copied
        TableDone, // a table copied and its count checked
        Finished,  // every table copied
        Failed,    // see message(); the table under way was left as it was
        Cancelled, // the table under way was left as it was
    };
    [[nodiscard]] Step step();
    // Abandons the table under way (its target stays as it was); the tables done stay.
    void cancel();
    bool isOver() const { return m_state == State::Over; }

    struct TableCount
    {
        TableId table;
        qint64 source = 0; // records in the source after it was read
        qint64 copied = 0; // records in the target before it was committed
    };
    const QList<TableCount> &finished() const { return m_finished; }
    int tableCount() const { return int(m_tables.size()); }
    int tableIndex() const { return m_index; } // the table under way
    TableId currentTable() const;
    qint64 done() const { return m_done; }   // records of the table under way copied
    qint64 total() const { return m_total; } // records of the table under way in the source
    // Once its records are in, the table's keys are made a step each.
    bool makingKeys() const { return m_state == State::Finishing; }
    int keysMade() const { return int(m_stepsDone); }
    int keysToMake() const { return int(m_finishing.size()); }
    // Why the copy failed or could not start, naming the table and the server (never its
    // password); after Finished, a line of counts.
    QString message() const { return m_message; }
    StoreError error() const { return m_error; }

    // Records read and written in one step.
    static constexpr int BatchRows = 2000;

    class Source;
    class Target;

private:
    enum class State { Idle, Between, Copying, Finishing, Over };

    bool beginTable();
    Step copyBatch();
    Step finishBatch();
    Step finishTable();
    Step fail(const QString &what);
    void abandonTable();
    QString where() const;
    QString tablesBefore() const;

    Direction m_direction;
    QString m_folder;
    ServerDatabase &m_server;
    std::unique_ptr<Source> m_source;
    std::unique_ptr<Target> m_target;
    QList<TableId> m_tables;
    QList<TableCount> m_finished;
    State m_state = State::Idle;
    int m_index = 0;
    qint64 m_done = 0;
    qint64 m_total = 0;
    qint64 m_lastPosition = 0;
    QStringList m_finishing; // what is left to make of the table under way, a step each
    qsizetype m_stepsDone = 0;
    QString m_message;
    StoreError m_error;
    bool m_cancelled = false;
};

// Where a running copy stands, as a progress callback is told after every batch.
struct CopyProgress
{
    TableId table;
    int tableIndex;
    int tableCount;
    qint64 done;
    qint64 total;
};

// Runs a started copy to its end; the callback returning false cancels it. Returns the last
// step: Finished, Failed or Cancelled.
CatalogueCopy::Step runCopy(CatalogueCopy &copy,
                            const std::function<bool(const CopyProgress &)> &progress = {});

} // namespace sv
