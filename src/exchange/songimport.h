#pragma once

#include "delimited.h"
#include "songexport.h"

#include "platform/picture.h"
#include "store/fileaccess.h"
#include "store/record.h"
#include "store/table.h"

#include <QElapsedTimer>
#include <QHash>

namespace sv {

class Session;

namespace exchange {

// One column of the file being imported: named "Field_" and its number.
struct ImportColumn
{
    QString name;
    QString picture = QStringLiteral("@S1000");
    QString value; // in the line previewed
};

// Reads a delimited file into songs, one line a song; the import window and the command
// line both set it up and run it one line a step.
class SongImport
{
public:
    explicit SongImport(Session &session);
    ~SongImport();

    enum class Opened { Ok, Empty, CannotOpen, Unreadable };
    // Opens the file and makes one column per field of its first line, typing as numeric
    // each column that is unquoted in the second. failure() tells what went wrong.
    [[nodiscard]] Opened open(const QString &path);

    QList<ImportColumn> &columns() { return m_columns; }
    const QList<ImportColumn> &columns() const { return m_columns; }
    Encoding encoding() const { return m_reader.encoding(); }
    QString fileName() const { return m_path; }

    // Previewing: the next line's values into the columns; false at the end of the file
    // (or on an unreadable line, with failure() set).
    [[nodiscard]] bool previewNext();
    int previewRecord() const { return m_previewRecord; }

    // Target (index into importTargets()) to column, -1 where nothing is assigned.
    QList<int> &assignments() { return m_assigned; }
    const QList<int> &assignments() const { return m_assigned; }
    void assign(int target, int column) { m_assigned[target] = column; }
    // Assigns every unassigned target to the first column whose previewed value is its
    // name (a header line of field names); the song's category also to a column named
    // "CAT:Category". Returns how many it assigned.
    int autoAssign();
    bool anyAssigned() const;

    bool stripHeader = false;

    // Opens the tables and goes back to the first data line; false when that failed.
    [[nodiscard]] bool begin();
    // Lines read, filled and added in one step, with one statement (see Table::addAll). A
    // window's step stays within a few milliseconds; a run without a window takes more.
    int linesPerStep = 64;
    static constexpr int UnattendedLinesPerStep = 4096;
    enum class Step {
        Line,   // up to linesPerStep songs added
        End,    // the end of the file
        Failed, // failure() says why; the songs before stay
        Wait,   // another window's transaction is open: nothing done, ask again later
    };
    Step next();
    void end(); // releases the tables; the songs added stay

    qint64 fileSize() const { return m_reader.size(); }
    qint64 bytesRead() const { return m_reader.bytesRead(); }
    qint64 songsAdded() const { return m_added; }
    const Failure &failure() const { return m_failure; }

    // Songs are added in a batch that any other window's transaction, or this long a
    // wait, commits first: a commit per song would cost the disk's flush each time, while
    // another station waits no longer for the files than its transactions allow.
    static constexpr int BatchMilliseconds = 1000;

private:
    bool fill(const QList<Field> &fields);
    // A target a column feeds, with where its value goes in the song.
    struct Feed
    {
        int target;
        int memo;  // memo index, or -1
        int field; // field index, or -1 for a memo
    };
    bool setTarget(const Feed &feed, const QString &text, const QVariant &converted,
                   const ImportColumn &column);
    bool categoryId(const QString &name, bool numeric, qint64 &id);
    bool fieldFailure(const QString &text);
    bool storeFailure(const QString &caption);
    bool keepBatch(); // commits the batch; false when it was lost (rolled back)
    QString lostBatch() const;
    bool commit(); // as keepBatch(), with failure() set when the batch was lost
    Step failed(); // ends with failure() as set, keeping the songs before

    Session &m_session;
    QString m_path;
    DelimitedReader m_reader;
    QList<ImportColumn> m_columns;
    QList<int> m_assigned;
    // Worked out once when the import begins: the targets of each column and the picture
    // a column's text is read with, rather than looked up by name for every line.
    QList<QList<Feed>> m_feeds;
    QList<Picture> m_pictures;
    int m_previewRecord = 0;
    TableUses m_uses;
    BulkWrite m_bulk; // while the import runs
    Record m_song;
    QList<Record> m_songs;               // filled in this step
    QHash<QString, qint64> m_categories; // by folded name
    qint64 m_nextId = 0;
    bool m_batch = false;     // songs added since the last commit
    QElapsedTimer m_batchAge; // since the batch began
    quint64 m_generation = 0; // of the store after the last song was added
    qint64 m_added = 0;
    qint64 m_committed = 0; // songs added as of the last commit
    int m_column = 0;       // of the field being filled, for messages
    Failure m_failure;
};

} // namespace exchange
} // namespace sv
