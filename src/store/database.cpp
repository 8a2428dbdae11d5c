#include "database.h"

#include "serverdatabase.h"

#include "errors.h"
#include "filter.h"
#include "sqldialect.h"
#include "tablefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QUrl>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace sv {

namespace {

// Byte of each table file on which stations hold an advisory lock while they have the
// file open: shared for a normal open, exclusive for an exclusive one. It lies far from
// the bytes the engine locks, and past the end of any real file.
constexpr off_t StationLockOffset = 0x60000000;

const QString AnchorFile = QStringLiteral("svpmain.db");

QByteArray uriFor(const QString &path, OpenMode mode)
{
    const QByteArray encoded = QUrl::toPercentEncoding(path, "/");
    return "file:" + encoded + (mode == OpenMode::ReadOnly ? "?mode=ro" : "?mode=rw");
}

void bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

int errorForEngineResult(int result)
{
    switch (result & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return err::FileLocked;
    case SQLITE_NOTADB:
        return err::InvalidDataFile;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
        return err::AccessDenied;
    default:
        return err::FileSystemError;
    }
}

} // namespace

Database::Database(const QString &folder) : m_folder(QDir(folder).absolutePath())
{
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    const QByteArray anchor = QDir(m_folder).filePath(AnchorFile).toUtf8();
    if (sqlite3_open_v2(anchor.constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        // A folder we cannot write to still allows reading; only the journal of a
        // transaction over several files loses its anchor.
        sqlite3_close(m_db);
        m_db = nullptr;
        sqlite3_open_v2(":memory:", &m_db, flags, nullptr);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, m_openWaitMs);
    tablefile::registerFunctions(m_db);
    registerFilterFunctions(m_db);
    removeOrphanSuperJournals();
}

Database::Database(const QString &folder, std::unique_ptr<ServerDatabase> server)
    : m_folder(QDir(folder).absolutePath()), m_server(std::move(server))
{
    // No table file is attached to it; it runs what the store computes locally.
    sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_extended_result_codes(m_db, 1);
}

// A transaction over several files keeps the list of their journals in a super-journal
// beside the anchor file. A station killed at the wrong moment leaves it behind; it is
// needed only while one of those journals still exists, for the engine plays a journal
// back or deletes the super-journal when it meets that journal. A super-journal written
// this last minute may belong to a commit under way and is left alone.
void Database::removeOrphanSuperJournals()
{
    const QDir folder(m_folder);
    const QFileInfoList found =
        folder.entryInfoList({AnchorFile + QStringLiteral("-mj*")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &info : found) {
        if (info.lastModified().secsTo(QDateTime::currentDateTime()) < 60)
            continue;
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> journals = file.readAll().split('\0');
        bool referred = false;
        for (const QByteArray &journal : journals)
            referred =
                referred || (!journal.isEmpty() && QFileInfo::exists(QFile::decodeName(journal)));
        file.close();
        if (!referred)
            QFile::remove(info.filePath());
    }
}

Database::~Database()
{
    // Closing the connection rolls back whatever a failed ROLLBACK left open.
    if (inTransaction())
        static_cast<void>(rollback());
    finalizeStatements();
    sqlite3_close(m_db);
    // Only now: closing a descriptor of a file drops every lock this process holds on it.
    for (auto it = m_attachments.begin(); it != m_attachments.end(); ++it)
        releaseStationLock(it.value());
}

QString Database::filePath(const TableDef &table) const
{
    return QDir(m_folder).filePath(table.fileName + QStringLiteral(".tps"));
}

QString Database::schemaName(const TableDef &table)
{
    return table.fileName.toLower();
}

bool Database::isAttached(TableId table) const
{
    if (m_server)
        return m_server->isAttached(table);
    return m_attachments.contains(table);
}

bool Database::setEngineErrorFromDb(int resultCode)
{
    const int code = errorForEngineResult(resultCode);
    if (code == err::FileSystemError)
        setEngineError(resultCode, QString::fromUtf8(sqlite3_errmsg(m_db)));
    else
        setError(code);
    if (m_transaction == Transaction::None || m_lostBy)
        return false;
    if (sqlite3_get_autocommit(m_db) != 0) {
        m_lostBy = lastError();
    } else if (m_transaction == Transaction::Stream && code == err::FileSystemError) {
        // A batch is all or nothing: after a failed write nothing of it may be committed.
        m_lostBy = lastError();
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        ++m_generation;
    }
    return false;
}

bool Database::attach(const TableDef &table, OpenMode mode)
{
    if (m_server)
        return m_server->attach(table);
    if (auto it = m_attachments.find(table.id); it != m_attachments.end()) {
        ++it->users;
        clearError();
        return true;
    }
    for (qsizetype i = 0; i < m_pendingDetach.size(); ++i) {
        if (m_pendingDetach.at(i).table == table.id) {
            Attachment attachment = m_pendingDetach.takeAt(i).attachment;
            attachment.users = 1;
            m_attachments.insert(table.id, attachment);
            clearError();
            return true;
        }
    }
    if (inTransaction()) {
        setError(err::LogoutActive);
        return false;
    }
    return attachFile(table, mode);
}

bool Database::attachFile(const TableDef &table, OpenMode mode)
{
    const QString path = filePath(table);
    if (!QFileInfo(m_folder).isDir()) {
        setError(err::PathNotFound);
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        setError(err::FileNotFound);
        return false;
    }
    if (QFileInfo(path).size() == 0 && !tablefile::hasHotJournal(path)) {
        // The engine would take it for a new empty file; it is a table file that lost all
        // it held.
        setError(err::InvalidDataFile);
        return false;
    }
    if (mode != OpenMode::ReadOnly && ::access(QFile::encodeName(path).constData(), W_OK) != 0) {
        setError(err::AccessDenied);
        return false;
    }
    finalizeStatements();
    const QString schema = schemaName(table);
    sqlite3_stmt *attach = nullptr;
    sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS ?2", -1, &attach, nullptr);
    const QByteArray uri = uriFor(path, mode);
    sqlite3_bind_text(attach, 1, uri.constData(), int(uri.size()), SQLITE_TRANSIENT);
    bindText(attach, 2, schema);
    const int result = sqlite3_step(attach);
    sqlite3_finalize(attach);
    if (result != SQLITE_DONE)
        return setEngineErrorFromDb(result);

    Attachment attachment{1, -1, mode};
    if (!checkLayout(table) || !takeStationLock(attachment, path, mode)) {
        const StoreError error = lastError();
        detachNow(schema);
        restoreError(error);
        return false;
    }
    m_attachments.insert(table.id, attachment);
    // The page cache of every file is the same few megabytes, however large the file: a
    // page read touches a handful of pages, and a search that walks the whole table must
    // not keep what it walked. Reads go through that cache, never through a mapping of the
    // file, which would hold every page ever read.
    // Only a matter of speed and memory: the engine's defaults serve when this fails.
    static_cast<void>(execute(QStringLiteral("PRAGMA %1.cache_size = -%2; PRAGMA %1.mmap_size = 0")
                                  .arg(sql::quote(schema))
                                  .arg(PageCacheKiB)));
    clearError();
    return true;
}

void Database::beginBulkWrite()
{
    if (m_bulkWrites++ > 0)
        return;
    const StoreError error = lastError(); // the setting leaves no error of its own
    const auto restore = qScopeGuard([&] { restoreError(error); });
    // Taken by each transaction as it begins. Changing it drops the temporary schema, where
    // only the stage of records added together lives, made again on its next use.
    static_cast<void>(execute(QStringLiteral("PRAGMA temp_store = MEMORY")));
}

void Database::endBulkWrite()
{
    if (m_bulkWrites == 0 || --m_bulkWrites > 0)
        return;
    const StoreError error = lastError();
    const auto restore = qScopeGuard([&] { restoreError(error); });
    static_cast<void>(execute(QStringLiteral("PRAGMA temp_store = DEFAULT")));
}

// Tells a file that can be used as it is from one that needs its keys rebuilt (46), its
// layout upgraded (47) or that is not a table file at all (36).
bool Database::checkLayout(const TableDef &table)
{
    const QString schema = sql::quote(schemaName(table));
    sqlite3_stmt *query = nullptr;
    const QByteArray text =
        (QStringLiteral("SELECT type, name FROM ") + schema + QStringLiteral(".sqlite_master"))
            .toUtf8();
    int result = sqlite3_prepare_v2(m_db, text.constData(), -1, &query, nullptr);
    if (result != SQLITE_OK)
        return setEngineErrorFromDb(result);
    QSet<QString> tables;
    QSet<QString> indexes;
    while ((result = sqlite3_step(query)) == SQLITE_ROW) {
        const QString type =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(query, 0)));
        const QString name =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(query, 1)));
        (type == u"table" ? tables : indexes).insert(name.toLower());
    }
    sqlite3_finalize(query);
    if (result != SQLITE_DONE)
        return setEngineErrorFromDb(result);

    if (!tables.contains(table.label.toLower())) {
        setError(err::InvalidRecordDeclaration);
        return false;
    }
    // A file another station holds just then is busy, not of another layout: such a failure
    // is the engine's (32), never a wrong record declaration.
    int failed = SQLITE_OK;
    const auto pragma = [&](const QString &sql) {
        sqlite3_stmt *statement = nullptr;
        int step = sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr);
        if (step == SQLITE_OK)
            step = sqlite3_step(statement);
        const int value = step == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
        sqlite3_finalize(statement);
        if (step != SQLITE_ROW && step != SQLITE_DONE && failed == SQLITE_OK)
            failed = step;
        return value;
    };
    const int version =
        pragma(QStringLiteral("PRAGMA ") + schema + QStringLiteral(".user_version"));
    const int layout = pragma(sql::fileLayout(schemaName(table)));
    if (failed != SQLITE_OK)
        return setEngineErrorFromDb(failed);
    if (version != table.version || layout != sql::FileLayout ||
        !tables.contains(QString::fromLatin1(sql::CountersTable))) {
        setError(err::InvalidRecordDeclaration);
        return false;
    }

    QSet<QString> columns;
    sqlite3_stmt *info = nullptr;
    int step = sqlite3_prepare_v2(m_db,
                                  (QStringLiteral("PRAGMA ") + schema +
                                   QStringLiteral(".table_info(") + sql::quote(table.label) + u')')
                                      .toUtf8()
                                      .constData(),
                                  -1, &info, nullptr);
    if (step == SQLITE_OK) {
        while ((step = sqlite3_step(info)) == SQLITE_ROW)
            columns.insert(
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info, 1)))
                    .toLower());
    }
    sqlite3_finalize(info);
    if (step != SQLITE_DONE)
        return setEngineErrorFromDb(step);
    QSet<QString> expected;
    for (const QString &name : sql::allColumns(table))
        expected.insert(name.toLower());
    if (columns != expected) {
        setError(err::InvalidRecordDeclaration);
        return false;
    }

    for (int key = 0; key < table.keys.size(); ++key) {
        if (!table.keys.at(key).onDemand &&
            !indexes.contains(sql::indexName(table, key).toLower())) {
            setError(err::InvalidKeyFile);
            return false;
        }
    }
    // A file written before the table had its full-text index: the upgrade makes it.
    if (table.fullText) {
        bool complete = tables.contains(sql::fullTextName(table).toLower());
        for (const QString &trigger : sql::fullTextTriggers(table))
            complete = complete && indexes.contains(trigger.toLower());
        if (!complete) {
            setError(err::InvalidRecordDeclaration);
            return false;
        }
    }
    return checkPages(table);
}

// A quick look at the places a damaged file shows first: the length the file should have,
// both ends of the records, and the first entry of every key. Damage further in is reported
// by the read that meets it.
bool Database::checkPages(const TableDef &table)
{
    QFile file(filePath(table));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray header = file.read(100);
        if (header.size() == 100) {
            const auto byteAt = [&](int i) { return quint32(quint8(header.at(i))); };
            quint32 pageSize = byteAt(16) << 8 | byteAt(17);
            if (pageSize == 1)
                pageSize = 65536;
            const quint32 pages =
                byteAt(28) << 24 | byteAt(29) << 16 | byteAt(30) << 8 | byteAt(31);
            if (pageSize > 0 && qint64(pageSize) * pages > file.size()) {
                setError(err::InvalidDataFile);
                return false;
            }
        }
    }
    const QString schema = schemaName(table);
    // The record count comes from the counters row, which a key rebuild sets again.
    sqlite3_stmt *counted = nullptr;
    int result = sqlite3_prepare_v2(m_db, sql::count(schema, table).toUtf8().constData(), -1,
                                    &counted, nullptr);
    if (result == SQLITE_OK)
        result = sqlite3_step(counted);
    sqlite3_finalize(counted);
    if (result == SQLITE_DONE || (result & 0xFF) == SQLITE_CORRUPT) {
        setError(err::InvalidKeyFile);
        return false;
    }
    if (result != SQLITE_ROW)
        return setEngineErrorFromDb(result);
    for (const auto direction : {sql::Direction::Forward, sql::Direction::Backward}) {
        if (!probe(sql::page(schema, table, -1, direction, sql::Bound::None, QString()), 0))
            return false;
    }
    for (int key = 0; key < table.keys.size(); ++key) {
        if (!table.keys.at(key).onDemand &&
            !probe(
                sql::page(schema, table, key, sql::Direction::Forward, sql::Bound::None, QString()),
                err::InvalidKeyFile))
            return false;
    }
    return true;
}

// Reads the first row of a query; a failure is the engine's error, or `errorCode` when given.
bool Database::probe(const QString &query, int errorCode)
{
    sqlite3_stmt *statement = nullptr;
    const QByteArray text = query.toUtf8();
    int result = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr);
    if (result == SQLITE_OK) {
        sqlite3_bind_int(statement, 1, 1);
        result = sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    if (result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE)
        return true;
    if (errorCode != 0 && (result & 0xFF) == SQLITE_CORRUPT) {
        setError(errorCode);
        return false;
    }
    return setEngineErrorFromDb(result);
}

bool Database::takeStationLock(Attachment &attachment, const QString &path, OpenMode mode)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          (mode == OpenMode::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0) {
        setError(err::AccessDenied);
        return false;
    }
    struct flock lock = {};
    lock.l_type = mode == OpenMode::Exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = StationLockOffset;
    lock.l_len = 1;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        setError(err::FileLocked);
        return false;
    }
    attachment.lockFd = fd;
    return true;
}

void Database::releaseStationLock(Attachment &attachment)
{
    if (attachment.lockFd >= 0)
        ::close(attachment.lockFd);
    attachment.lockFd = -1;
}

void Database::detach(const TableDef &table)
{
    if (m_server) {
        m_server->detach(table);
        return;
    }
    auto it = m_attachments.find(table.id);
    if (it == m_attachments.end() || --it->users > 0)
        return;
    Attachment attachment = it.value();
    m_attachments.erase(it);
    if (inTransaction()) {
        // The file takes part in the transaction: it is let go when the transaction ends.
        // Its station lock stays until then, since closing that descriptor would also drop
        // the engine's own locks on the file.
        m_pendingDetach.append({schemaName(table), table.id, attachment});
        return;
    }
    detachNow(schemaName(table));
    releaseStationLock(attachment);
}

void Database::detachNow(const QString &schema)
{
    finalizeStatements();
    sqlite3_stmt *detach = nullptr;
    sqlite3_prepare_v2(m_db, "DETACH DATABASE ?1", -1, &detach, nullptr);
    bindText(detach, 1, schema);
    sqlite3_step(detach);
    sqlite3_finalize(detach);
}

void Database::finalizeStatements()
{
    for (sqlite3_stmt *statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    m_statements.clear();
    m_dataVersion.clear();
    ++m_statementEpoch;
}

sqlite3_stmt *Database::statement(const QString &sql)
{
    if (sqlite3_stmt *cached = m_statements.value(sql)) {
        sqlite3_reset(cached);
        sqlite3_clear_bindings(cached);
        return cached;
    }
    sqlite3_stmt *prepared = nullptr;
    const QByteArray text = sql.toUtf8();
    const int result = sqlite3_prepare_v3(m_db, text.constData(), int(text.size()),
                                          SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
    if (result != SQLITE_OK) {
        sqlite3_finalize(prepared);
        setEngineErrorFromDb(result);
        return nullptr;
    }
    m_statements.insert(sql, prepared);
    return prepared;
}

QPair<quint64, qint64> Database::changeStamp(const TableDef &table)
{
    if (m_server)
        return {m_server->generation(), m_server->changeStamp(table)};
    // Another station's commit changes the file's data version; this station's own writes
    // do not, and raise the generation instead.
    qint64 version = -1;
    sqlite3_stmt *&query = m_dataVersion[table.id];
    if (!query)
        query =
            statement(QStringLiteral("PRAGMA %1.data_version").arg(sql::quote(schemaName(table))));
    if (query) {
        if (sqlite3_step(query) == SQLITE_ROW)
            version = sqlite3_column_int64(query, 0);
        sqlite3_reset(query);
    }
    return {m_generation, version};
}

bool Database::execute(const QString &sql)
{
    char *message = nullptr;
    const int result = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (result != SQLITE_OK)
        return setEngineErrorFromDb(result);
    return true;
}

bool Database::begin(int waitMs, const QList<TableId> &tables)
{
    QStringList schemas;
    for (auto it = m_attachments.cbegin(); it != m_attachments.cend(); ++it) {
        if (tables.isEmpty() || tables.contains(it.key()))
            schemas.append(schemaName(tableDef(it.key())));
    }
    if (!execute(QStringLiteral("BEGIN")))
        return false;
    // A write that changes nothing still takes the file's write lock, the lock an immediate
    // transaction would take on every attached file.
    sqlite3_busy_timeout(m_db, waitMs);
    bool locked = true;
    for (const QString &schema : std::as_const(schemas)) {
        if (!execute(QStringLiteral("UPDATE %1.%2 SET record_count = record_count WHERE 0")
                         .arg(sql::quote(schema),
                              sql::quote(QString::fromLatin1(sql::CountersTable))))) {
            locked = false;
            break;
        }
    }
    sqlite3_busy_timeout(m_db, m_openWaitMs);
    if (!locked) {
        const StoreError error = lastError();
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        restoreError(error);
    }
    return locked;
}

bool Database::logout(int seconds, const QList<TableId> &tables)
{
    if (m_server)
        return m_server->logout(seconds, tables);
    if (m_transaction == Transaction::Logout) {
        setError(err::LogoutActive);
        return false;
    }
    if (m_transaction == Transaction::Stream && !flush())
        return false;
    if (!begin(qMax(0, seconds) * 1000, tables))
        return false;
    m_transaction = Transaction::Logout;
    clearError();
    return true;
}

bool Database::writable()
{
    if (m_server)
        return m_server->writable();
    if (m_transaction != Transaction::None && !m_lostBy && sqlite3_get_autocommit(m_db) != 0)
        m_lostBy = StoreError{err::FileSystemError, standardErrorText(err::FileSystemError),
                              QString::number(SQLITE_ABORT),
                              QStringLiteral("transaction rolled back by the engine")};
    if (!m_lostBy)
        return true;
    restoreError(*m_lostBy);
    return false;
}

void Database::endTransaction()
{
    m_transaction = Transaction::None;
    m_lostBy.reset();
    ++m_generation;
    detachPending();
}

bool Database::commit()
{
    if (m_server)
        return m_server->commit();
    if (m_transaction == Transaction::None) {
        setError(err::NoLogoutActive);
        return false;
    }
    if (m_lostBy) {
        // Nothing of it is left to commit.
        const StoreError error = *m_lostBy;
        endTransaction();
        restoreError(error);
        return false;
    }
    const int result = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) {
        setEngineErrorFromDb(result);
        if (sqlite3_get_autocommit(m_db) != 0) {
            const StoreError error = lastError();
            endTransaction();
            restoreError(error);
        }
        // Otherwise the engine keeps the transaction (another station still reads the file):
        // the caller may commit again or roll back.
        return false;
    }
    endTransaction();
    clearError();
    return true;
}

void Database::detachPending()
{
    for (PendingDetach &pending : m_pendingDetach) {
        detachNow(pending.schema);
        releaseStationLock(pending.attachment);
    }
    m_pendingDetach.clear();
}

bool Database::rollback()
{
    if (m_server)
        return m_server->rollback();
    if (m_transaction == Transaction::None) {
        setError(err::NoLogoutActive);
        return false;
    }
    if (sqlite3_get_autocommit(m_db) == 0) {
        const int result = sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        if (result != SQLITE_OK && sqlite3_get_autocommit(m_db) == 0) {
            setEngineErrorFromDb(result);
            return false; // still open: nothing was undone yet
        }
    }
    // Undone, by this ROLLBACK or by the engine before it; no write went past the
    // transaction since, as writes are refused once the engine has ended it.
    endTransaction();
    clearError();
    return true;
}

bool Database::beginStream(TableId table)
{
    if (m_server)
        return m_server->beginStream(table);
    if (m_transaction != Transaction::None) {
        if (!writable())
            return false;
        clearError();
        return true;
    }
    if (!begin(m_openWaitMs, {table}))
        return false;
    m_transaction = Transaction::Stream;
    clearError();
    return true;
}

bool Database::flush()
{
    if (m_server)
        return m_server->flush();
    if (m_transaction != Transaction::Stream) {
        clearError();
        return true;
    }
    return commit();
}

bool Database::inTransaction() const
{
    return m_server ? m_server->inTransaction() : m_transaction != Transaction::None;
}

bool Database::inLogout() const
{
    return m_server ? m_server->inLogout() : m_transaction == Transaction::Logout;
}

quint64 Database::generation() const
{
    return m_server ? m_server->generation() : m_generation;
}

void Database::noteWrite()
{
    if (m_server)
        m_server->noteWrite();
    else
        ++m_generation;
}

void Database::setOpenWait(int seconds)
{
    if (m_server)
        m_server->setOpenWait(seconds);
    m_openWaitMs = seconds * 1000;
}

ReadTogether::ReadTogether(Database &database) : m_database(database)
{
    if (database.server() || !database.isValid() || database.inTransaction() ||
        sqlite3_get_autocommit(database.handle()) == 0)
        return;
    if (sqlite3_stmt *begin = database.statement(QStringLiteral("BEGIN"))) {
        m_began = sqlite3_step(begin) == SQLITE_DONE;
        sqlite3_reset(begin);
    }
}

ReadTogether::~ReadTogether()
{
    if (!m_began || sqlite3_get_autocommit(m_database.handle()) != 0)
        return;
    // Nothing was written: should the end fail, giving the reads up loses nothing.
    sqlite3_stmt *commit = m_database.statement(QStringLiteral("COMMIT"));
    const bool ended = commit && sqlite3_step(commit) == SQLITE_DONE;
    if (commit)
        sqlite3_reset(commit);
    if (!ended)
        sqlite3_exec(m_database.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace sv
