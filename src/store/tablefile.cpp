#include "tablefile.h"

#include "errors.h"
#include "keytext.h"
#include "sqldialect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sqlite3.h>

namespace sv::tablefile {

namespace {

const QString Main = QStringLiteral("main");

void keyTextFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
    const QByteArray folded =
        keyText(QString::fromUtf8(text, sqlite3_value_bytes(arguments[0]))).toUtf8();
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

void foldFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
    const int bytes = sqlite3_value_bytes(arguments[0]);
    // Plain ASCII, the common case, is upper-cased straight into the result: the full-text
    // index folds every text of every record written.
    auto *ascii = static_cast<char *>(sqlite3_malloc64(sqlite3_uint64(bytes) + 1));
    if (!ascii) {
        sqlite3_result_error_nomem(context);
        return;
    }
    int at = 0;
    for (; at < bytes; ++at) {
        const char c = text[at];
        if (static_cast<unsigned char>(c) >= 0x80)
            break;
        ascii[at] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
    if (at == bytes) {
        sqlite3_result_text64(context, ascii, sqlite3_uint64(bytes), sqlite3_free, SQLITE_UTF8);
        return;
    }
    sqlite3_free(ascii);
    const QByteArray folded = foldText(QString::fromUtf8(text, bytes)).toUtf8();
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

bool fail(sqlite3 *db, int result)
{
    const int primary = result & 0xFF;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        setError(err::FileLocked);
    else if (primary == SQLITE_NOTADB)
        setError(err::InvalidDataFile);
    else if (primary == SQLITE_CONSTRAINT)
        setError(err::DuplicateKey);
    else
        setEngineError(result, QString::fromUtf8(sqlite3_errmsg(db)));
    return false;
}

bool run(sqlite3 *db, const QString &sql)
{
    const int result = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    return result == SQLITE_OK || fail(db, result);
}

// A private connection to one file; closes itself.
class FileConnection
{
public:
    FileConnection(const QString &path, bool mayCreate)
    {
        const int flags = SQLITE_OPEN_READWRITE | (mayCreate ? SQLITE_OPEN_CREATE : 0);
        m_result = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, 2000);
        registerFunctions(m_db);
    }
    ~FileConnection() { sqlite3_close(m_db); }
    bool ok() const { return m_result == SQLITE_OK; }
    bool failure() const { return fail(m_db, m_result); }
    sqlite3 *db() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
    int m_result = SQLITE_OK;
};

bool inTransaction(sqlite3 *db, const std::function<bool()> &work)
{
    const bool own = sqlite3_get_autocommit(db) != 0;
    if (own && !run(db, QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    if (!work()) {
        const StoreError error = lastError();
        if (own)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        restoreError(error);
        return false;
    }
    return !own || run(db, QStringLiteral("COMMIT"));
}

// Drops the full-text index of the table, if any, and makes it anew from the records.
bool remakeFullText(sqlite3 *db, const QString &schema, const TableDef &table)
{
    for (const QString &statement :
         sql::dropFullText(schema, table) + sql::createFullText(schema, table)) {
        if (!run(db, statement))
            return false;
    }
    return true;
}

enum class FullText { Made, Later };

bool createLayout(sqlite3 *db, const QString &schema, const TableDef &table,
                  FullText fullText = FullText::Made)
{
    if (!run(db, sql::createTable(schema, table)))
        return false;
    for (int key = 0; key < table.keys.size(); ++key) {
        if (!table.keys.at(key).onDemand && !run(db, sql::createIndex(schema, table, key)))
            return false;
    }
    for (const QString &statement : sql::createBookkeeping(schema, table)) {
        if (!run(db, statement))
            return false;
    }
    if (fullText == FullText::Made && !remakeFullText(db, schema, table))
        return false;
    return run(
        db,
        QStringLiteral("PRAGMA %1.user_version = %2").arg(sql::quote(schema)).arg(table.version));
}

QString literal(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\'', QStringLiteral("''"));
    return u'\'' + escaped + u'\'';
}

// A single number read by a query; `fallback` when there is no row.
qint64 readNumber(sqlite3 *db, const QString &query, qint64 fallback)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &statement, nullptr);
    const qint64 value = statement && sqlite3_step(statement) == SQLITE_ROW
                             ? sqlite3_column_int64(statement, 0)
                             : fallback;
    sqlite3_finalize(statement);
    return value;
}

QStringList existingColumns(sqlite3 *db, const TableDef &table)
{
    QStringList columns;
    sqlite3_stmt *info = nullptr;
    const QByteArray text =
        (QStringLiteral("PRAGMA main.table_info(") + sql::quote(table.label) + u')').toUtf8();
    sqlite3_prepare_v2(db, text.constData(), -1, &info, nullptr);
    while (info && sqlite3_step(info) == SQLITE_ROW)
        columns.append(
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info, 1))));
    sqlite3_finalize(info);
    return columns;
}

bool hasCurrentColumns(const TableDef &table, const QStringList &columns)
{
    QStringList have;
    for (const QString &column : columns)
        have.append(column.toLower());
    QStringList want;
    for (const QString &column : sql::allColumns(table))
        want.append(column.toLower());
    std::sort(have.begin(), have.end());
    std::sort(want.begin(), want.end());
    return have == want;
}

bool lacksFullText(sqlite3 *db, const TableDef &table)
{
    if (!table.fullText)
        return false;
    QStringList names = sql::fullTextTriggers(table);
    names.append(sql::fullTextName(table));
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM main.sqlite_master WHERE name = ?", -1, &query,
                       nullptr);
    bool lacking = false;
    for (const QString &name : std::as_const(names)) {
        const QByteArray utf8 = name.toUtf8();
        sqlite3_bind_text(query, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        lacking =
            lacking || (sqlite3_step(query) == SQLITE_ROW && sqlite3_column_int(query, 0) == 0);
        sqlite3_reset(query);
    }
    sqlite3_finalize(query);
    return lacking;
}

int fileVersion(sqlite3 *db)
{
    return int(readNumber(db, QStringLiteral("PRAGMA main.user_version"), -1));
}

// The expression that brings one stored column of an older layout into the current one.
QString carriedValue(const FieldDef &field, const QString &column)
{
    if (field.type == FieldType::String)
        return QStringLiteral("rtrim(substr(CAST(%1 AS TEXT), 1, %2))")
            .arg(sql::quote(column))
            .arg(field.size);
    return QStringLiteral("CAST(%1 AS INTEGER)").arg(sql::quote(column));
}

bool copyIntoCurrentLayout(sqlite3 *db, const TableDef &table, const QStringList &oldColumns)
{
    // Positions and revisions the file gave before, deleted records' included, are never
    // given again.
    const QString label = sql::quote(table.label);
    const QString counters = QStringLiteral("main.") + QString::fromLatin1(sql::CountersTable);
    const qint64 lastPosition =
        qMax(readNumber(db, QStringLiteral("SELECT ifnull(max(rowid), 0) FROM main.") + label, 0),
             readNumber(db,
                        QStringLiteral("SELECT seq FROM main.sqlite_sequence WHERE name = ") +
                            literal(table.label),
                        0));
    const qint64 lastRevision =
        readNumber(db, QStringLiteral("SELECT last_revision FROM ") + counters, 0);
    const QString oldTable = sql::quote(table.label + QStringLiteral("_old"));
    if (!run(db, QStringLiteral("ALTER TABLE main.%1 RENAME TO %2").arg(label, oldTable)))
        return false;
    // Index and trigger names must be free for the new table.
    for (int key = 0; key < table.keys.size(); ++key) {
        if (!run(db, sql::dropIndex(Main, table, key)))
            return false;
    }
    for (const QString &statement : sql::dropFullText(Main, table)) {
        if (!run(db, statement))
            return false;
    }
    for (const QString &statement : sql::dropBookkeeping(Main, table)) {
        if (!run(db, statement))
            return false;
    }
    // The full-text index is made once the records are in, by the key rebuild below.
    if (!createLayout(db, Main, table, FullText::Later))
        return false;

    QHash<QString, QString> present; // lower-case name -> stored spelling
    for (const QString &column : oldColumns)
        present.insert(column.toLower(), column);
    QStringList targets{QStringLiteral("sv_pos"), QStringLiteral("sv_rev")};
    QStringList sources{present.contains(QStringLiteral("sv_pos")) ? QStringLiteral("sv_pos")
                                                                   : QStringLiteral("rowid"),
                        present.contains(QStringLiteral("sv_rev")) ? QStringLiteral("sv_rev")
                                                                   : QStringLiteral("1")};
    for (const FieldDef &field : table.fields) {
        if (const QString old = present.value(field.name.toLower()); !old.isEmpty()) {
            targets.append(sql::quote(field.name));
            sources.append(carriedValue(field, old));
        }
    }
    for (const MemoDef &memo : table.memos) {
        if (const QString old = present.value(memo.name.toLower()); !old.isEmpty()) {
            targets.append(sql::quote(memo.name));
            sources.append(carriedValue({memo.name, FieldType::String, memo.maxLength, {}}, old));
        }
    }
    if (!run(db,
             QStringLiteral("INSERT INTO main.%1 (%2) SELECT %3 FROM main.%4")
                 .arg(sql::quote(table.label), targets.join(u", "), sources.join(u", "), oldTable)))
        return false;
    return run(db, QStringLiteral("DROP TABLE main.%1").arg(oldTable)) &&
           run(db, QStringLiteral("UPDATE %1 SET last_revision = max(last_revision, %2)")
                       .arg(counters)
                       .arg(lastRevision)) &&
           run(db, QStringLiteral("DELETE FROM main.sqlite_sequence WHERE name = ") +
                       literal(table.label)) &&
           run(db, QStringLiteral("INSERT INTO main.sqlite_sequence (name, seq) SELECT %1, "
                                  "max(%2, ifnull(max(rowid), 0)) FROM main.%3")
                       .arg(literal(table.label))
                       .arg(lastPosition)
                       .arg(label)) &&
           rebuildKeys(db, Main, table, true);
}

} // namespace

void registerFunctions(sqlite3 *db)
{
    // Innocuous: the full-text index's triggers call sv_fold whatever the schema's trust.
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function(db, "sv_keytext", 1, flags, nullptr, keyTextFunction, nullptr, nullptr);
    sqlite3_create_function(db, "sv_fold", 1, flags, nullptr, foldFunction, nullptr, nullptr);
}

// A journal is played back only when its header is intact: the engine zeroes the header to
// end a transaction in some modes, and a crash can leave a journal that never got one.
bool hasHotJournal(const QString &path)
{
    static constexpr char Magic[] = "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7";
    QFile journal(path + QStringLiteral("-journal"));
    if (!journal.open(QIODevice::ReadOnly))
        return false;
    return journal.read(8) == QByteArray(Magic, 8);
}

bool create(const TableDef &table, const QString &path)
{
    if (hasHotJournal(path)) {
        // Replacing the file would let the journal of an unfinished transaction be played
        // into the new one.
        setError(err::FileLocked);
        return false;
    }
    // A journal left without a valid header holds nothing to play back; gone, it cannot be
    // mistaken for one later.
    QFile::remove(path + QStringLiteral("-journal"));
    const QString scratch = path + QStringLiteral(".new");
    QFile::remove(scratch);
    {
        FileConnection connection(scratch, true);
        if (!connection.ok())
            return connection.failure();
        if (!inTransaction(connection.db(),
                           [&] { return createLayout(connection.db(), Main, table); })) {
            QFile::remove(scratch);
            return false;
        }
    }
    if (::rename(QFile::encodeName(scratch).constData(), QFile::encodeName(path).constData()) !=
        0) {
        QFile::remove(scratch);
        setError(err::AccessDenied);
        return false;
    }
    clearError();
    return true;
}

bool rebuildKeys(sqlite3 *db, const QString &schema, const TableDef &table, bool full)
{
    return inTransaction(db, [&] {
        for (int key = 0; key < table.keys.size(); ++key) {
            if (!run(db, sql::dropIndex(schema, table, key)))
                return false;
        }
        if (full) {
            QStringList assignments;
            for (const QString &name : sql::keyTextFields(table))
                assignments.append(
                    QStringLiteral("%1 = sv_keytext(%2)")
                        .arg(sql::quote(QStringLiteral("k_") + name), sql::quote(name)));
            if (!assignments.isEmpty() &&
                !run(db, QStringLiteral("UPDATE %1 SET %2")
                             .arg(sql::tableName(schema, table), assignments.join(u", "))))
                return false;
        }
        // The orders made on demand are made again when next used.
        for (int key = 0; key < table.keys.size(); ++key) {
            if (!table.keys.at(key).onDemand && !run(db, sql::createIndex(schema, table, key)))
                return false;
        }
        for (const QString &statement : sql::recount(schema, table)) {
            if (!run(db, statement))
                return false;
        }
        return remakeFullText(db, schema, table);
    });
}

bool pack(sqlite3 *db, const QString &schema)
{
    if (sqlite3_get_autocommit(db) == 0) {
        setError(err::LogoutActive);
        return false;
    }
    if (!run(db, QStringLiteral("VACUUM %1").arg(sql::quote(schema))))
        return false;
    clearError();
    return true;
}

namespace {

// Runs work on a private connection to an existing file.
bool onFile(const QString &path, const std::function<bool(sqlite3 *)> &work)
{
    if (!QFileInfo(path).isFile()) {
        setError(err::FileNotFound);
        return false;
    }
    FileConnection connection(path, false);
    if (!connection.ok())
        return connection.failure();
    if (!work(connection.db()))
        return false;
    clearError();
    return true;
}

} // namespace

bool rebuildKeys(const TableDef &table, const QString &path, bool full)
{
    return onFile(path, [&](sqlite3 *db) { return rebuildKeys(db, Main, table, full); });
}

bool pack(const TableDef &, const QString &path)
{
    return onFile(path, [](sqlite3 *db) { return pack(db, Main); });
}

bool upgrade(const TableDef &table, const QString &path)
{
    if (!QFileInfo::exists(path))
        return create(table, path);
    if (QFileInfo(path).size() == 0 && !hasHotJournal(path)) {
        // Every table file this store writes holds at least its layout: an empty one lost
        // its contents, which a new empty table would hide.
        setError(err::InvalidDataFile);
        return false;
    }
    FileConnection connection(path, false);
    if (!connection.ok())
        return connection.failure();
    sqlite3 *db = connection.db();
    const bool upgraded = inTransaction(db, [&] {
        const int version = fileVersion(db);
        if (version < 0)
            return fail(db, sqlite3_errcode(db));
        if (version > table.version || readNumber(db, sql::fileLayout(Main), 0) > sql::FileLayout) {
            // A newer program wrote this file; going back would drop what it stores.
            setError(err::InvalidRecordDeclaration);
            return false;
        }
        const QStringList columns = existingColumns(db, table);
        if (columns.isEmpty())
            return createLayout(db, Main, table);
        if (version == table.version && hasCurrentColumns(table, columns) &&
            readNumber(db, sql::fileLayout(Main), 0) == sql::FileLayout && lacksFullText(db, table))
            return remakeFullText(db, Main, table); // all the layout lacks
        return copyIntoCurrentLayout(db, table, columns);
    });
    if (upgraded)
        clearError();
    return upgraded;
}

} // namespace sv::tablefile
