#pragma once

#include "record.h"
#include "serverdatabase.h"
#include "table.h" // RecordPosition, OpenMode

#include <deque>

namespace sv {

// One handle on a table of a catalogue on a server: the same record buffer, current record,
// sequential walk and WATCH as a handle on a table file, with the same error codes, so that
// what runs on one engine runs alike on the other.
class ServerTable
{
public:
    ServerTable(ServerDatabase &database, const TableDef &definition, const QString &prefix);
    // Reads into and writes from a buffer its user keeps (a table handle on either engine).
    ServerTable(ServerDatabase &database, const TableDef &definition, const QString &prefix,
                Record &buffer);

    const TableDef &definition() const { return *m_definition; }
    const QString &prefix() const { return m_prefix; }
    Record &buffer() { return m_buffer; }
    const Record &buffer() const { return m_buffer; }
    ServerDatabase &database() { return m_database; }

    [[nodiscard]] bool open(OpenMode mode = OpenMode::SharedReadWrite);
    [[nodiscard]] bool create(); // empty, with the current layout; the table stays closed
    void close();
    bool isOpen() const { return m_open; }

    // As on a table file: set(key) starts at either end of the key's order, setFrom(key) at
    // the buffer's key values, setFileOrder() walks in the order records were added,
    // reset() stands on a record so that the next read in either direction returns it.
    void set(int key);
    void setFrom(int key);
    void setFileOrder() { set(-1); }
    bool reset(int key, RecordPosition position);
    bool next();       // 33 past the last record
    bool previous();   // 33 before the first record
    bool get(int key); // the first record whose key values equal the buffer's; 35 if none
    RecordPosition position() const { return m_current; }
    bool reget(RecordPosition position);

    struct CurrentRecord
    {
        RecordPosition position = 0;
        qint64 revision = 0;
        std::optional<qint64> watchedRevision;
    };
    CurrentRecord current() const { return {m_current, m_currentRevision, m_watchedRevision}; }
    void setCurrent(const CurrentRecord &record);

    // A PUT or DELETE of a watched record fails with 89 when another station changed it
    // since it was read, and with 35 when it deleted it.
    [[nodiscard]] bool add();
    [[nodiscard]] bool put();
    [[nodiscard]] bool remove();
    void watch() { m_watchNextRead = true; }
    // Writes one number field of the record at `position` as it was read at `*revision`,
    // leaving the buffer and the current record alone; 89 or 35 as a watched PUT, 75 for a
    // text field.
    [[nodiscard]] bool putNumber(RecordPosition position, qint64 *revision, int field,
                                 qint64 value);
    // The value of a number field in the last record of a key's order (0 for none).
    [[nodiscard]] bool highest(int key, int field, qint64 &value);
    // As a table file's sumLinked(): one query, buffers and walks left alone.
    [[nodiscard]] bool sumLinked(int rangeField, qint64 range, int linkField,
                                 const TableDef &linked, int linkedField, int sumField,
                                 qint64 &total);
    [[nodiscard]] bool stream() { return m_database.beginStream(m_definition->id); }
    [[nodiscard]] bool flush() { return m_database.flush(); }
    enum class Found { No, Yes, Failed };
    // Whether the buffer would duplicate another record in a unique key.
    [[nodiscard]] Found duplicate(int key);
    [[nodiscard]] qint64 records(); // 0 with the error set on failure
    qint64 bytes();                 // the table's size on the server with its indexes (0: unknown)
    [[nodiscard]] bool build();     // its indexes made anew
    [[nodiscard]] bool pack();      // its space given back

    // Walks of views, as a table file's: a cursor of their own, filters written for the
    // server with '?' for each parameter.
    bool read(Cursor &cursor, bool forward);
    bool findAll(const Cursor &cursor, KnownResult &result);
    bool scanFileOrder(const Cursor &cursor, RecordPosition after, RecordPosition upTo,
                       KnownResult &result);
    bool rowAt(const Cursor &cursor, RecordPosition position, Cursor::Row &row);
    RecordPosition lastPosition(); // the highest position in the table (0: none)
    // Positions from a query of them (with '?' parameters), at most `limit`.
    bool positions(const QString &query, const QVariantList &parameters, int limit,
                   QList<qint64> &found);
    bool checkOpen();

    // Rows a walk reads in one query: a browser's page.
    static constexpr int ReadAhead = 40;

private:
    using Row = Cursor::Row;

    QVariantList keyValues(int key, const QVariantList &fieldValues) const;
    QVariantList recordValues(const Record &record) const;
    QVariantList writtenValues() const; // data columns then key texts
    Row readRow(const ServerDatabase::Result &result, int row, const QList<int> &fields) const;
    void loadRow(Row &&row);
    bool readOne(const ServerDatabase::Result &result);
    bool fetchPage(Cursor &cursor, bool forward);
    bool fetchKnown(Cursor &cursor, bool forward);
    bool readEntries(const ServerDatabase::Result &result, int keyColumns, KnownResult &found);
    ServerDatabase::Result query(const QString &sql, const QVariantList &parameters);
    bool failUnchanged(RecordPosition position);

    ServerDatabase &m_database;
    const TableDef *m_definition;
    QString m_prefix;
    Record m_ownBuffer;
    Record &m_buffer;
    bool m_open = false;
    RecordPosition m_current = 0;
    qint64 m_currentRevision = 0;
    std::optional<qint64> m_watchedRevision;
    bool m_watchNextRead = false;

    Cursor m_cursor; // the walk of set(), next() and previous()
    struct Counted
    {
        qint64 stamp = -1;
        quint64 generation = 0;
        qint64 records = 0;
    };
    Counted m_counted; // the last count and the change stamp it was made at
};

} // namespace sv
