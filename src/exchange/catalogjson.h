#pragma once

#include "jsonstream.h"
#include "songexport.h"

#include "store/fileaccess.h"
#include "store/record.h"

#include <QFile>
#include <QSaveFile>

#include <memory>
#include <optional>

namespace sv {

class Session;

namespace exchange {

// The whole catalogue as one JSON document, every table, field and memo:
//
//   {"format": "SongVane catalogue", "version": 1, "tables": [
//    {"table": "Categories", "prefix": "CAT", "fields": ["CategoryID", "Category"],
//     "memos": [], "records": [
//     [2, "Rock"],
//     ...]},
//    ...]}
//
// A record is the list of its values in the order the table names its fields and then its
// memos: texts as strings, numbers (dates and times too) as the whole numbers stored. One
// valid document, so any JSON tool reads it, yet written and read a record at a time: each
// record is a line of its own, and the reader is a pull parser that holds one record, so
// memory stays flat whatever the catalogue's size. Tables come parents first (categories,
// media and albums before the songs that name them, songs before the play lists that hold
// them), so an import stopped between two records leaves no record pointing at one that
// is not there yet.
inline constexpr int CatalogueFormatVersion = 1;
QString catalogueFormatName();
const QList<TableId> &catalogueTables(); // in the order they are written and read

// The key by which a record of the file matches one of the catalogue: the table's primary
// key, or its first unique key where it has none (the media names).
int identityKey(const TableDef &table);

// Writes every table to one file, a record a step. The file is written beside its final
// name and takes that name only when complete: a failed or cancelled export leaves no half
// file, and a file of that name from before stays as it was.
class CatalogueExport
{
public:
    explicit CatalogueExport(Session &session);
    ~CatalogueExport();

    // Opens the tables and starts the file; false with failure() set.
    [[nodiscard]] bool begin(const QString &path);
    enum class Step { Record, End, Failed };
    Step next();
    // Ends the document and gives the file its name; false with failure() set.
    [[nodiscard]] bool finish();
    void cancel(); // discards what was written

    qint64 total() const { return m_total; }
    qint64 written() const { return m_written; }
    const Failure &failure() const { return m_failure; }

private:
    bool startTable();
    bool writePending(bool force);
    Step fail(const QString &caption, const QString &text);
    void release();

    Session &m_session;
    TableUses m_uses;
    std::unique_ptr<QSaveFile> m_file;
    QString m_path;
    QByteArray m_pending;
    int m_table = -1; // into catalogueTables()
    Cursor m_cursor;
    bool m_firstRecord = true;
    qint64 m_total = 0;
    qint64 m_written = 0;
    Failure m_failure;
};

// Reads such a file back into the catalogue through the store's own writes (keys, full-text
// index, change counters), a record a step. Records are written in transactions of
// RecordsPerTransaction: a record is all or nothing, and whatever stops the import (a bad
// record, a full disk, Cancel, the program killed) leaves the records before it, in the
// parents-first order of the file, and none of the rest.
class CatalogueImport
{
public:
    explicit CatalogueImport(Session &session);
    ~CatalogueImport();

    // What becomes of a record of the file whose identity matches a record already in the
    // catalogue with other values (one with the same values is left as it is either way).
    enum class OnMatch { Unset, Replace, Keep };

    // Reads the file's format and version and opens the tables; false with failure() set
    // (nothing has been written).
    [[nodiscard]] bool begin(const QString &path);
    // Whether the catalogue held records when the import began: then a choice for matching
    // records must be made before the first step.
    bool catalogueHasRecords() const { return m_hadRecords; }
    void setOnMatch(OnMatch onMatch) { m_onMatch = onMatch; }

    enum class Step { Record, End, Failed };
    Step next();
    // Commits the records read so far and releases the tables (Cancel, or after the end).
    void end();

    qint64 fileSize() const { return m_fileSize; }
    qint64 bytesRead() const { return m_reader ? m_reader->bytesRead() : 0; }
    qint64 added() const { return m_added; }
    qint64 replaced() const { return m_replaced; }
    qint64 kept() const { return m_kept; } // matching records left as the catalogue had them
    qint64 imported() const { return m_added + m_replaced; }
    const Failure &failure() const { return m_failure; }
    QString summary() const; // what the import did, for the user

    static constexpr int RecordsPerTransaction = 500;

private:
    enum class State { Tables, AfterTable, Records, AfterRecord, AfterTables, Done };
    using Token = JsonReader::Token;

    // The name of the next entry of an object and its colon, after a comma unless first.
    bool readEntryName(bool first, const QString &what, QString &name);
    bool readHeader();
    bool readTableHeader();
    bool readNames(const TableDef &table, bool memos);
    bool readRecord(Record &record);
    bool write(Record &record);
    bool expect(Token token, const QString &what);
    bool shapeFailure(const QString &what);
    QString found(Token token) const;
    Step failStep();
    bool commit();

    Session &m_session;
    TableUses m_uses;
    QFile m_file;
    std::unique_ptr<JsonReader> m_reader;
    qint64 m_fileSize = 0;
    State m_state = State::Done;
    bool m_hadRecords = false;
    OnMatch m_onMatch = OnMatch::Unset;

    // The table being read: its slots in the file's order (field index, or memo index
    // after -1 - memo), the tables already read, and where its records are.
    const TableDef *m_tableDef = nullptr;
    QList<int> m_slots;
    QList<TableId> m_seen;
    qint64 m_recordNumber = 0;

    int m_inTransaction = 0;
    qint64 m_pendingAdded = 0;
    qint64 m_pendingReplaced = 0;
    qint64 m_added = 0;
    qint64 m_replaced = 0;
    qint64 m_kept = 0;
    Failure m_failure;
};

} // namespace exchange
} // namespace sv
