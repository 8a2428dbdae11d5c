#pragma once

#include "errors.h"
#include "schema.h"

#include <QHash>
#include <QPair>
#include <QString>

#include <memory>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace sv {

class ServerDatabase;

enum class OpenMode {
    SharedReadWrite, // other stations may read and write the same file
    Exclusive,       // no other station may have the file open
    ReadOnly,
};

// One station's connection to the catalogue in a working folder. Each table file is
// attached when it is opened, so one transaction can span several files and stays
// all-or-nothing across them. The main database is a small anchor file in the same
// folder that holds no data: the engine keeps the journal of a transaction over several
// files next to it, and every station must find that journal after a crash.
class Database
{
public:
    explicit Database(const QString &folder);
    // The catalogue on a server instead: tables, transactions and change stamps go to its
    // connection; the folder keeps only this station's own files (backups, marks).
    Database(const QString &folder, std::unique_ptr<ServerDatabase> server);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    QString folder() const { return m_folder; }
    QString filePath(const TableDef &table) const; // "<folder>/<file name>.tps"
    sqlite3 *handle() const { return m_db; }
    bool isValid() const { return m_db != nullptr; }
    ServerDatabase *server() const { return m_server.get(); } // null: the folder's files

    // Attaches the table's file (counted: the song alias shares the songs' attachment).
    // Leaves the error (2, 3, 32, 36, 46, 47, 90) and returns false when the file cannot be
    // used as it stands.
    [[nodiscard]] bool attach(const TableDef &table, OpenMode mode);
    void detach(const TableDef &table);
    bool isAttached(TableId table) const;
    static QString schemaName(const TableDef &table);
    void setOpenWait(int seconds);
    static constexpr int PageCacheKiB = 8192; // per attached file

    // A cached prepared statement, reset and with its bindings cleared; null with the
    // engine error set when it cannot be prepared.
    sqlite3_stmt *statement(const QString &sql);
    [[nodiscard]] bool execute(const QString &sql); // runs statements that return no rows
    // Leaves the error for an engine result and notes whether it ended the transaction;
    // always false.
    bool setEngineErrorFromDb(int resultCode);

    // Transactions: LOGOUT(seconds, tables) / COMMIT / ROLLBACK, and STREAM/FLUSH batches.
    // A transaction waits for the files of the tables it names (every attached one when it
    // names none) and for no other. COMMIT leaves the engine's own error; when the engine
    // keeps the transaction open after a failed COMMIT (a lock), COMMIT may be tried again.
    [[nodiscard]] bool logout(int seconds, const QList<TableId> &tables = {});
    [[nodiscard]] bool commit();
    [[nodiscard]] bool rollback();
    bool inTransaction() const;
    bool inLogout() const;
    [[nodiscard]] bool beginStream(TableId table);
    [[nodiscard]] bool flush();
    // False, leaving the error that ended it, once the engine has rolled back the open
    // transaction by itself (a full disk, an I/O error): a write now would commit on its
    // own, outside the transaction its caller framed. Every write asks first.
    [[nodiscard]] bool writable();

    // Raised by every write through this connection; cached read-ahead rows from before a
    // write are dropped.
    quint64 generation() const;
    // Raised whenever cached statements are finalized (a file attached or detached).
    quint64 statementEpoch() const { return m_statementEpoch; }
    void noteWrite();
    // Changes with every write to the table's file, by this station or any other: what a
    // view learnt of its records holds while this stays the same.
    QPair<quint64, qint64> changeStamp(const TableDef &table);

    // A long run of writes, such as an import, asks for statement
    // journals kept in memory while it runs (see BulkWrite): a statement that writes records
    // keeps the pages it changes until it ends, so that a failure undoes it alone, and in a
    // temporary file that costs a write for each page of each statement. Only a matter of
    // speed: the usual setting comes back when the last run ends. (A larger page cache for
    // the run was tried too: each commit then wrote out more, and a million-song import
    // took 91 s instead of 67.)
    void beginBulkWrite();
    void endBulkWrite();

private:
    enum class Transaction { None, Logout, Stream };

    struct Attachment
    {
        int users = 0;
        int lockFd = -1;
        OpenMode mode = OpenMode::SharedReadWrite;
    };

    bool attachFile(const TableDef &table, OpenMode mode);
    bool checkLayout(const TableDef &table);
    bool checkPages(const TableDef &table);
    bool probe(const QString &query, int errorCode);
    bool takeStationLock(Attachment &attachment, const QString &path, OpenMode mode);
    void releaseStationLock(Attachment &attachment);
    void finalizeStatements();
    void detachNow(const QString &schema);
    bool begin(int waitMs, const QList<TableId> &tables);
    void endTransaction();
    void removeOrphanSuperJournals();

    QString m_folder;
    std::unique_ptr<ServerDatabase> m_server;
    sqlite3 *m_db = nullptr;
    QHash<QString, sqlite3_stmt *> m_statements;
    // Each file's data-version query, asked before every page a browser reads: kept by
    // table so that its text is not written and looked up anew each time.
    QHash<TableId, sqlite3_stmt *> m_dataVersion;
    QHash<TableId, Attachment> m_attachments;
    struct PendingDetach
    {
        QString schema;
        TableId table;
        Attachment attachment;
    };
    QList<PendingDetach> m_pendingDetach; // closed during a transaction: let go when it ends
    void detachPending();
    Transaction m_transaction = Transaction::None;
    std::optional<StoreError> m_lostBy; // the failure with which the engine ended it
    int m_openWaitMs = 2000;
    quint64 m_generation = 0;
    quint64 m_statementEpoch = 1;
    int m_bulkWrites = 0; // runs under way
};

// The settings of a bulk write (Database::beginBulkWrite) while it lives.
class BulkWrite
{
public:
    BulkWrite() = default;
    explicit BulkWrite(Database &database) : m_database(&database) { database.beginBulkWrite(); }
    ~BulkWrite() { reset(); }
    BulkWrite(const BulkWrite &) = delete;
    BulkWrite &operator=(const BulkWrite &) = delete;
    BulkWrite(BulkWrite &&other) noexcept : m_database(std::exchange(other.m_database, nullptr)) {}
    BulkWrite &operator=(BulkWrite &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_database = std::exchange(other.m_database, nullptr);
        }
        return *this;
    }
    void reset()
    {
        if (m_database)
            std::exchange(m_database, nullptr)->endBulkWrite();
    }

private:
    Database *m_database = nullptr;
};

// Reads made while one lives see the files as they stood at the first of them: a page
// and the checks made just before it agree with each other, and the files are locked
// once for all of them rather than for each statement. Within a transaction it adds
// nothing.
class ReadTogether
{
public:
    explicit ReadTogether(Database &database);
    ~ReadTogether();
    ReadTogether(const ReadTogether &) = delete;
    ReadTogether &operator=(const ReadTogether &) = delete;

private:
    Database &m_database;
    bool m_began = false;
};

} // namespace sv
