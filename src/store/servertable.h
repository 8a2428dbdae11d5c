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
    [[nodiscard]] bool stream() { return m_database.beginStream(m_definition->id); }
    [[nodiscard]] bool flush() { return m_database.flush(); }
    enum class Found { No, Yes, Failed };
    // Whether the buffer would duplicate another record in a unique key.
    [[nodiscard]] Found duplicate(int key);
    [[nodiscard]] qint64 records(); // 0 with the error set on failure

    // Rows a walk reads in one query: a browser's page.
    static constexpr int ReadAhead = 40;

private:
    struct Row
    {
        RecordPosition position;
        qint64 revision;
        QVariantList fields;
        QStringList memos;
    };
    enum class Start { Beginning, AtValues, On, After };

    bool checkOpen();
    QVariantList keyValues(int key, const QVariantList &fieldValues) const;
    QVariantList recordValues(const Record &record) const;
    QVariantList writtenValues() const; // data columns then key texts
    Row readRow(const ServerDatabase::Result &result, int row) const;
    void loadRow(Row &&row);
    bool readOne(const ServerDatabase::Result &result);
    bool read(bool forward);
    bool fetch(bool forward);
    bool failUnchanged(RecordPosition position);

    ServerDatabase &m_database;
    const TableDef *m_definition;
    QString m_prefix;
    Record m_buffer;
    bool m_open = false;
    RecordPosition m_current = 0;
    qint64 m_currentRevision = 0;
    std::optional<qint64> m_watchedRevision;
    bool m_watchNextRead = false;

    // The walk.
    int m_key = -1;
    Start m_start = Start::Beginning;
    QVariantList m_boundValues; // key values as the key compares them
    QVariantList m_boundFields; // the fields of the record read last, when the walk is after it
    RecordPosition m_boundPosition = 0;
    std::deque<Row> m_readAhead;
    bool m_readAheadForward = true;
    quint64 m_readAheadGeneration = 0;
};

} // namespace sv
