#pragma once

#include "database.h"
#include "record.h"
#include "sqldialect.h"

#include <QHash>
#include <QVariantList>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sv {

class ServerTable;

// A record's position in its file: opaque to callers, stable across PACK. 0 is none.
using RecordPosition = qint64;

// A prepared statement kept by its user between calls; stale once the connection's
// statements were finalized.
struct StatementSlot
{
    quint64 epoch = 0;
    sqlite3_stmt *statement = nullptr;
};

// Every record of a search's result in the order of its key, found in full at once by an
// index or by a scan: pages turn within it without testing a record again. Valid for the
// file's change stamp it was found at.
struct KnownResult
{
    struct Entry
    {
        QVariantList key; // as stored: qint64 for numbers, UTF-8 QByteArray for texts
        RecordPosition position;
    };
    std::vector<Entry> entries;
    QHash<RecordPosition, qsizetype> places; // an entry's place by its record's position
    QPair<quint64, qint64> stamp;
    QString filter; // the compiled filter with its values: bound names may have changed

    // Puts entries found in file order into key order and indexes them.
    void sortByKey();
    // The positions of the first `count` entries in key order, the entries left as they are.
    QList<RecordPosition> firstInOrder(int count) const;
    void index();
    // The first entry at or after (forward) or at or before (backward) these key values and
    // position (key values as the key stores them, texts as QString); past the end: -1 or
    // the entries' count.
    qsizetype seek(const QVariantList &key, RecordPosition position, bool forward,
                   bool inclusive) const;
};

// The order and filter of a sequential walk, and rows read ahead in that order.
struct Cursor
{
    int key = -1; // -1: file order
    enum class Start { Beginning, AtValues, On, After } start = Start::Beginning;
    QVariantList boundValues; // key values of the record the walk stands on
    RecordPosition boundPosition = 0;
    QVariantList prefix; // the leading key field's key value, when the walk is held to it
    QString filterSql;
    QVariantList filterParameters;
    QString candidatesSql; // see sql::Walk::candidates
    QVariantList candidatesParameters;
    QString rangeSql; // see sql::Walk::range
    QVariantList rangeParameters;
    std::shared_ptr<const KnownResult> known; // when set, the walk reads within it

    struct Row
    {
        RecordPosition position;
        qint64 revision;
        QVariantList fields;
        QStringList memos;
    };
    // The fields a list's walk reads, in field order; empty: whole records. A walk that
    // names its fields reads no others and no memos, and leaves each row in `row`, its values
    // as stored (texts as UTF-8 bytes, undecoded), instead of in the table's buffer: a page
    // holds what it shows and decodes a value only when it is shown.
    QList<int> fields;
    QString fieldsSignature; // tells the walk's statements apart from others'
    QList<int> keySlots;     // where the key's fields lie among `fields`
    Row row;                 // the row last read, when `fields` is set
    // Rows the walk's user reads next (a browser's page); 0: the table's read-ahead. A page
    // taller than the read-ahead is still read in one query (up to MaxWanted rows), so that
    // a page never costs two.
    int wanted = 0;
    // Asked between chunks of a filtered walk that finds few records: false stops the walk
    // there for now (paused), and the next read goes on from there. Lets a window search a
    // sparse filter in slices between its other work.
    std::function<bool()> keepReading;
    bool paused = false;  // the last read stopped for keepReading, not at the end
    QVariantList lastKey; // stored values of the key's fields in the record last read
    std::deque<Row> readAhead;
    bool readAheadForward = true;
    quint64 readAheadGeneration = 0;
    // The page last fetched held fewer rows than it asked for: the walk's end in that
    // direction until this connection writes, so that reading on past it asks the engine
    // nothing. Set only where a short page means the end (not by a paused filtered walk).
    bool shortPage = false;
    void forgetReadAhead()
    {
        readAhead.clear();
        shortPage = false;
    }

    // The next row of the walk, from the rows read ahead in this direction since the
    // connection's last write, else from a page `fetchPage` reads: the whole record's row in
    // `whole` to load into a buffer, or none when the walk names its fields and the row is in
    // `row`. False with the error set past the end or when the page could not be read.
    bool step(const TableDef &table, bool forward, quint64 generation,
              const std::function<bool()> &fetchPage, std::optional<Row> &whole);
    // Takes the next row read ahead and stands the walk after it (see step()).
    std::optional<Row> takeNext(const TableDef &table);
    // Where in the known result the next read starts: an entry's place, or past either end.
    qsizetype knownStart(const TableDef &table, bool forward);
    // Rows one fetch reads: what the user is after, else the table's read-ahead.
    int batch(int readAheadRows) const;
};

// The values a key orders by, from the stored values of its component fields.
QVariantList keyValuesOf(const TableDef &table, int key, const QVariantList &componentValues);

// One handle on a table file: its record buffer, the current record and a sequential
// position. The song alias is a second handle on the song file with a buffer of its own.
// Every operation leaves the store's error code (see errors.h) and returns whether it
// succeeded.
class Table
{
public:
    // A handle on the table in the database's folder, or on its server when it has one.
    Table(Database &database, const TableDef &definition, const QString &prefix);
    ~Table();

    const TableDef &definition() const { return *m_definition; }
    const QString &prefix() const { return m_prefix; }
    QString label() const;
    QString fileName() const { return m_database.filePath(*m_definition); }
    // Where the table is kept, as the user is shown it: its file, or its table and server.
    QString location() const;
    Record &buffer() { return m_buffer; }
    const Record &buffer() const { return m_buffer; }
    Database &database() { return m_database; }

    [[nodiscard]] bool open(OpenMode mode = OpenMode::SharedReadWrite);
    [[nodiscard]] bool create(); // an empty file with the current layout; the table stays closed
    void close();
    bool isOpen() const { return m_open; }

    // Sequential reads. set(key) starts at either end of the key order; setFrom(key)
    // at the buffer's key values; setFileOrder() walks in file order; reset() stands on a
    // record so that the next read in either direction returns it.
    void set(int key);
    void setFrom(int key);
    void setFileOrder();
    bool reset(int key, RecordPosition position);
    bool next();       // 33 past the last record
    bool previous();   // 33 before the first record
    bool get(int key); // the first record whose key values equal the buffer's; 35 if none

    RecordPosition position() const;
    bool reget(RecordPosition position);

    // The record PUT and DELETE act on, with what WATCH noted of it. Windows that let other
    // windows read the same table meanwhile keep it and set it back before they write.
    struct CurrentRecord
    {
        RecordPosition position = 0;
        qint64 revision = 0;
        std::optional<qint64> watchedRevision;
    };
    CurrentRecord current() const;
    void setCurrent(const CurrentRecord &record);

    // A PUT or DELETE of a watched record fails with 89 when another station changed it
    // since it was read, and with 35 when it deleted it; positions and revisions are never
    // given twice in a file, so a record added in its place is never mistaken for it.
    [[nodiscard]] bool add();
    // Adds the records in order, as add() would one after another, with one statement: each
    // statement that writes records in a transaction makes the full-text index write out
    // what it gathered before, which a statement per record would pay for every record.
    // When that fails none is added; they are then added one by one, so that `added` counts
    // the records added before the one that failed and the error is that one's. The buffer
    // is left as it was, and no record is current afterwards.
    [[nodiscard]] bool addAll(const QList<Record> &records, qsizetype &added);
    [[nodiscard]] bool put();
    [[nodiscard]] bool remove();
    // Writes one number field of the record at `position` as it was read at `*revision`,
    // the rest of it as on file, with one statement; the buffer and the current record stay
    // as they are. `*revision` becomes the record's new one. Fails as a watched PUT does:
    // 89 when the record changed since, 35 when it is gone. Number fields only (75 for a
    // text field, whose folded key text would have to follow).
    [[nodiscard]] bool putNumber(RecordPosition position, qint64 *revision, int field,
                                 qint64 value);
    // The first unique key in which the buffer would duplicate another record than the
    // current one, or -1 (also when the look-up failed).
    [[nodiscard]] int duplicateKey();
    // The value of a number field in the last record of a key's order (0 for an empty
    // table), as new records are numbered from; false when the read failed. Leaves the
    // buffer, the current record and the table's walk as they were.
    [[nodiscard]] bool highest(int key, int field, qint64 &value);
    // The sum of `sumField` of the `linked` records that this table's records with
    // `rangeField` = `range` name through `linkField` = the linked `linkedField` (the time of
    // a play list's songs), in one query; both tables open. Leaves buffers and walks alone.
    [[nodiscard]] bool sumLinked(int rangeField, qint64 range, int linkField, Table &linked,
                                 int linkedField, int sumField, qint64 &total);
    enum class Found { No, Yes, Failed };
    // Whether the buffer would duplicate another record in a unique key; leaves the buffer
    // and the walk as they were.
    [[nodiscard]] Found duplicate(int key);
    void watch();

    [[nodiscard]] qint64 records(); // kept by the file: no scan (0 with the error set on failure)
    qint64 bytes();
    [[nodiscard]] bool build();
    [[nodiscard]] bool pack();
    [[nodiscard]] bool stream() { return m_database.beginStream(m_definition->id); }
    [[nodiscard]] bool flush() { return m_database.flush(); }
    // The positions a query of them finds (its parameters with '?'), at most `limit`.
    [[nodiscard]] bool positions(const QString &query, const QVariantList &parameters, int limit,
                                 QList<qint64> &found);
    QString send(const QString &option);

    // Used by views: a walk with its own cursor that fills this table's buffer.
    bool read(Cursor &cursor, bool forward);
    // Every record the cursor's walk takes (its candidates, range and filter), in key order;
    // false with the error set when the query failed.
    bool findAll(const Cursor &cursor, KnownResult &result);
    // The records in file order after `after` and up to `upTo` that the cursor's walk takes,
    // added to `result` as found; false with the error set when the query failed.
    bool scanFileOrder(const Cursor &cursor, RecordPosition after, RecordPosition upTo,
                       KnownResult &result);
    // The row at a position with the cursor's fields (see Cursor::fields), leaving the buffer
    // and the current record alone; false with 35 when there is none.
    bool rowAt(const Cursor &cursor, RecordPosition position, Cursor::Row &row);
    RecordPosition lastPosition(); // the highest position in the file (0: none)
    bool checkOpen();
    QVariantList keyValues(int key, const Record &record) const;
    QVariantList keyValues(int key, const QVariantList &componentValues) const;
    // Rows read at once in key order while QUICKSCAN is on (one when it is off).
    void setReadAhead(int rows) { m_readAhead = qMax(1, rows); }
    static constexpr int DefaultReadAhead = 40;
    static constexpr int MaxWanted = 1000; // the most rows one fetch reads for a page
    // Records looked at in one go by a filtered walk before it lets the window breathe.
    static constexpr int FilterChunk = 2000;

private:
    bool fetch(Cursor &cursor, bool forward);
    struct Bounds
    {
        int bound; // sql::Bound
        RecordPosition position;
    };
    Bounds boundsOf(Cursor &cursor, bool forward);
    bool fetchPage(Cursor &cursor, bool forward, const QVariantList *cap);
    bool readWalk(Cursor &cursor, const sql::Walk &walk, RecordPosition boundPosition,
                  const QVariantList *cap);
    StatementSlot &walkSlot(const sql::Walk &walk, bool chunkEnd, const QString &fields);
    int batchOf(const Cursor &cursor) const;
    int bindWalk(sqlite3_stmt *statement, const Cursor &cursor, const sql::Walk &walk,
                 RecordPosition boundPosition, const QVariantList *cap);
    bool fetchFiltered(Cursor &cursor, bool forward);
    bool fetchKnown(Cursor &cursor, bool forward);
    bool readEntries(const Cursor &cursor, sqlite3_stmt *statement, KnownResult &result);
    bool findChunkEnd(Cursor &cursor, bool forward, QVariantList &cap, bool &found);
    // Binds a record's fields, memos and key texts from `first` on; the next index after them.
    int bindRecord(sqlite3_stmt *statement, int first, const Record &record) const;
    int addStaged(const QList<Record> &records);
    void loadRow(Cursor::Row &&row);
    Cursor::Row readRow(sqlite3_stmt *statement) const;
    Cursor::Row readRow(sqlite3_stmt *statement, const Cursor &cursor) const;
    sqlite3_stmt *byPosition(const Cursor &cursor);
    bool readOne(sqlite3_stmt *statement, const QVariantList &parameters);
    bool failWrite(int result);
    bool failUnchanged(RecordPosition position);
    static int stepReturning(sqlite3_stmt *statement, qint64 *values);
    QString schema() const { return Database::schemaName(*m_definition); }
    // The slot's statement, prepared from makeSql() when the slot is stale; reset and with
    // bindings cleared. Null with the error set when it cannot be prepared.
    sqlite3_stmt *prepared(StatementSlot &slot, const std::function<QString()> &makeSql);

    struct Statements
    {
        StatementSlot createStage, insertStaged, addStaged, clearStage;
        StatementSlot insert, update, updateWatched, remove, removeWatched, byPosition, revision,
            count, lastPosition;
        QHash<int, StatementSlot> updateField; // by field
        QList<StatementSlot> equalKey, duplicateOf;
        QHash<int, StatementSlot> highest;         // by key and field
        QHash<QString, StatementSlot> sums;        // by the query's text
        QList<std::array<StatementSlot, 6>> pages; // unfiltered walks: by order, direction, bound
        // Walks with a range, filter or candidates, by their shape and filter text: a view
        // opened again on the same walk finds its statement here instead of writing it anew.
        QHash<QString, StatementSlot> walks;
        QHash<QString, StatementSlot> rowsAt; // by position, by the fields read
    };
    Statements m_statements;
    int m_boundColumns = 0; // fields, memos and key texts written by ADD and PUT

    Database &m_database;
    const TableDef *m_definition;
    QString m_prefix;
    Record m_buffer;
    bool m_open = false;
    Cursor m_cursor;
    RecordPosition m_current = 0;
    qint64 m_currentRevision = 0;
    bool m_watchNextRead = false;
    std::optional<qint64> m_watchedRevision;
    int m_readAhead = DefaultReadAhead;
    bool m_fullBuild = false;
    std::unique_ptr<ServerTable> m_server; // the table on a server: every call goes there
};

void bindValue(sqlite3_stmt *statement, int index, const QVariant &value);

} // namespace sv
