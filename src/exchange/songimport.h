#pragma once

#include "delimited.h"
#include "songexport.h"

#include "store/fileaccess.h"
#include "store/record.h"

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
    enum class Step {
        Line,   // one song added
        End,    // the end of the file
        Failed, // failure() says why; the songs before stay
    };
    Step next();
    void end(); // releases the tables; the songs added stay

    qint64 fileSize() const { return m_reader.size(); }
    qint64 bytesRead() const { return m_reader.bytesRead(); }
    qint64 songsAdded() const { return m_added; }
    const Failure &failure() const { return m_failure; }

    // Lines imported in one transaction.
    static constexpr int LinesPerTransaction = 200;

private:
    bool fill(const QList<Field> &fields);
    bool setTarget(int target, const QString &text, const QVariant &converted,
                   const ImportColumn &column);
    bool categoryId(const QString &name, bool numeric, qint64 &id);
    bool fieldFailure(const QString &text);
    bool storeFailure(const QString &caption);
    bool commit();

    Session &m_session;
    QString m_path;
    DelimitedReader m_reader;
    QList<ImportColumn> m_columns;
    QList<int> m_assigned;
    int m_previewRecord = 0;
    TableUses m_uses;
    Record m_song;
    QHash<QString, qint64> m_categories; // by folded name
    qint64 m_nextId = 0;
    int m_inTransaction = 0; // lines written since the transaction began
    qint64 m_added = 0;
    int m_column = 0; // of the field being filled, for messages
    Failure m_failure;
};

} // namespace exchange
} // namespace sv
