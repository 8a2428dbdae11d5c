#include "writer.h"

#include "store/errors.h"
#include "store/keytext.h"
#include "store/sqldialect.h"
#include "store/tablefile.h"

#include <QFile>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace sv::tpsfix {

namespace {

const QString Main = u"main"_s;

// For each column, the column whose text it holds the key form of; -1 for other columns.
QList<int> keyTextSources(const Layout &layout, const TableDef *table)
{
    QList<int> sources(layout.columns.size(), -1);
    if (!table)
        return sources;
    for (const QString &field : sql::keyTextFields(*table)) {
        int source = -1;
        int target = -1;
        for (int i = 0; i < layout.columns.size(); ++i) {
            const QString &name = layout.columns.at(i).name;
            if (name.compare(field, Qt::CaseInsensitive) == 0)
                source = i;
            else if (name.compare(u"k_"_s + field, Qt::CaseInsensitive) == 0)
                target = i;
        }
        if (source >= 0 && target >= 0)
            sources[target] = source;
    }
    return sources;
}

void bindValue(sqlite3_stmt *statement, int index, const Value &value)
{
    switch (value.kind) {
    case Value::Kind::Null:
        sqlite3_bind_null(statement, index);
        break;
    case Value::Kind::Integer:
        sqlite3_bind_int64(statement, index, value.integer);
        break;
    case Value::Kind::Real:
        sqlite3_bind_double(statement, index, value.real);
        break;
    case Value::Kind::Text:
        sqlite3_bind_text(statement, index, value.bytes.constData(), int(value.bytes.size()),
                          SQLITE_TRANSIENT);
        break;
    case Value::Kind::Blob:
        sqlite3_bind_blob(statement, index, value.bytes.constData(), int(value.bytes.size()),
                          SQLITE_TRANSIENT);
        break;
    }
}

// The copy must be writable even when the example was made read-only.
bool copyExample(const QString &examplePath, const QString &target)
{
    QFile::remove(target);
    QFile::remove(target + u"-journal"_s); // never play an old journal into the copy
    if (!QFile::copy(examplePath, target))
        return false;
    return QFile::setPermissions(target,
                                 QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

RepairWriter::RepairWriter(const Layout &layout, const TableDef *table)
    : m_layout(layout), m_table(table)
{
    if (!table)
        return;
    const KeyDef *unique = nullptr;
    for (const KeyDef &key : table->keys) {
        if (key.primary || (key.unique && !unique))
            unique = &key;
        if (key.primary)
            break;
    }
    if (unique) {
        for (int field : unique->components)
            m_uniqueColumns.append(table->fields.at(field).name);
    }
}

RepairWriter::~RepairWriter()
{
    discard();
}

void RepairWriter::discard()
{
    sqlite3_finalize(m_insert);
    sqlite3_finalize(m_wait);
    m_insert = m_wait = nullptr;
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
        QFile::remove(m_target);
        QFile::remove(m_target + u"-journal"_s);
    }
}

bool RepairWriter::run(const QString &sql)
{
    return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK ||
           failed();
}

bool RepairWriter::failed()
{
    m_error = engineError();
    return false;
}

QString RepairWriter::engineError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

bool RepairWriter::open(const QString &examplePath, const QString &target)
{
    m_target = target;
    if (!copyExample(examplePath, target)) {
        QFile::remove(target);
        m_error = u"cannot copy the layout example to %1"_s.arg(target);
        return false;
    }
    if (sqlite3_open_v2(QFile::encodeName(target).constData(), &m_db, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK)
        return failed();
    sqlite3_extended_result_codes(m_db, 1);
    tablefile::registerFunctions(m_db);
    // The example is meant to be empty; whatever it holds is not part of the repair.
    return run(u"PRAGMA temp_store = FILE"_s) && run(u"BEGIN IMMEDIATE"_s) &&
           run(u"DELETE FROM main."_s + sql::quote(m_layout.table)) && dropRebuiltParts() &&
           run(u"CREATE TEMP TABLE sv_waiting AS SELECT * FROM main."_s +
               sql::quote(m_layout.table) + u" WHERE 0"_s) &&
           prepare();
}

// What the end makes anew from the records (the full-text index, the keys that allow
// duplicates) is not kept up record by record on the way: that would double the work. The
// unique keys stay, as they decide which of two colliding records is kept.
bool RepairWriter::dropRebuiltParts()
{
    if (!m_table)
        return true;
    for (const QString &statement : sql::dropFullText(Main, *m_table)) {
        if (!run(statement))
            return false;
    }
    for (int key = 0; key < m_table->keys.size(); ++key) {
        if (!m_table->keys.at(key).unique && !run(sql::dropIndex(Main, *m_table, key)))
            return false;
    }
    return true;
}

bool RepairWriter::prepare()
{
    QStringList columns;
    QStringList marks;
    for (const Column &column : m_layout.columns) {
        columns.append(sql::quote(column.name));
        marks.append(u"?"_s);
    }
    m_rowidColumnAdded = m_layout.rowidAliasColumn() < 0;
    // The side table has no alias of its own: it keeps every record's position as rowid.
    const QString waitingColumns = columns.join(u", "_s) + u", rowid"_s;
    const QString waitingMarks = marks.join(u", "_s) + u", ?"_s;
    if (m_rowidColumnAdded) {
        columns.append(u"rowid"_s);
        marks.append(u"?"_s);
    }
    const QString insert = u"INSERT INTO main."_s + sql::quote(m_layout.table) + u" ("_s +
                           columns.join(u", "_s) + u") VALUES ("_s + marks.join(u", "_s) + u')';
    const QString wait =
        u"INSERT INTO temp.sv_waiting ("_s + waitingColumns + u") VALUES ("_s + waitingMarks + u')';
    m_keyTextSources = keyTextSources(m_layout, m_table);
    return (sqlite3_prepare_v2(m_db, insert.toUtf8().constData(), -1, &m_insert, nullptr) ==
                SQLITE_OK &&
            sqlite3_prepare_v2(m_db, wait.toUtf8().constData(), -1, &m_wait, nullptr) ==
                SQLITE_OK) ||
           failed();
}

void RepairWriter::bindRow(sqlite3_stmt *statement, qint64 rowid, const Row &row)
{
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    for (int i = 0; i < row.size(); ++i) {
        if (const int source = m_keyTextSources.at(i); source >= 0) {
            const QByteArray key = sv::keyText(QString::fromUtf8(row.at(source).bytes)).toUtf8();
            sqlite3_bind_text(statement, i + 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        } else {
            bindValue(statement, i + 1, row.at(i));
        }
    }
    if (statement == m_wait || m_rowidColumnAdded)
        sqlite3_bind_int64(statement, int(row.size()) + 1, rowid);
}

// A row the table refuses is noted; the same position twice keeps the first.
bool RepairWriter::step(sqlite3_stmt *statement, qint64 rowid, bool reportRefusal)
{
    const int status = sqlite3_step(statement);
    if (status == SQLITE_DONE)
        return true;
    if ((status & 0xFF) != SQLITE_CONSTRAINT)
        return failed();
    if (status == SQLITE_CONSTRAINT_PRIMARYKEY || status == SQLITE_CONSTRAINT_ROWID ||
        !reportRefusal)
        return true;
    const QString reason = status == SQLITE_CONSTRAINT_UNIQUE ? u"duplicate in a unique key"_s
                                                              : u"refused by the table"_s;
    m_result.leftOut.emplace(rowid, reason + u" ("_s + engineError() + u')');
    return true;
}

bool RepairWriter::add(qint64 rowid, const Row &row, bool fromDamagedPage)
{
    sqlite3_stmt *statement = fromDamagedPage ? m_wait : m_insert;
    bindRow(statement, rowid, row);
    const int before = sqlite3_total_changes(m_db);
    if (!step(statement, rowid, !fromDamagedPage))
        return false;
    if (!fromDamagedPage && sqlite3_total_changes(m_db) > before)
        ++m_result.written;
    return true;
}

QString RepairWriter::keyText(qint64 rowid)
{
    if (m_uniqueColumns.isEmpty())
        return {};
    QStringList columns;
    for (const QString &name : m_uniqueColumns)
        columns.append(sql::quote(name));
    sqlite3_stmt *query = nullptr;
    const QString text =
        u"SELECT "_s + columns.join(u", "_s) + u" FROM temp.sv_waiting WHERE rowid = ?"_s;
    QStringList values;
    if (sqlite3_prepare_v2(m_db, text.toUtf8().constData(), -1, &query, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(query, 1, rowid);
        if (sqlite3_step(query) == SQLITE_ROW) {
            for (int i = 0; i < m_uniqueColumns.size(); ++i)
                values.append(m_uniqueColumns.at(i) + u' ' +
                              QString::fromUtf8(
                                  reinterpret_cast<const char *>(sqlite3_column_text(query, i))));
        }
    }
    sqlite3_finalize(query);
    return values.join(u", "_s);
}

// The records of damaged pages, once every intact one is in.
bool RepairWriter::addWaiting()
{
    QStringList columns;
    for (const Column &column : m_layout.columns)
        columns.append(sql::quote(column.name));
    if (m_rowidColumnAdded)
        columns.append(u"rowid"_s);
    const QString move = u"INSERT INTO main."_s + sql::quote(m_layout.table) + u" ("_s +
                         columns.join(u", "_s) + u") SELECT "_s + columns.join(u", "_s) +
                         u" FROM temp.sv_waiting WHERE rowid = ?"_s;
    sqlite3_stmt *walk = nullptr;
    sqlite3_stmt *insert = nullptr;
    bool ok =
        sqlite3_prepare_v2(m_db, "SELECT rowid FROM temp.sv_waiting ORDER BY rowid", -1, &walk,
                           nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(m_db, move.toUtf8().constData(), -1, &insert, nullptr) == SQLITE_OK;
    int status = SQLITE_DONE;
    while (ok && (status = sqlite3_step(walk)) == SQLITE_ROW) {
        const qint64 rowid = sqlite3_column_int64(walk, 0);
        sqlite3_reset(insert);
        sqlite3_bind_int64(insert, 1, rowid);
        const int before = sqlite3_total_changes(m_db);
        ok = step(insert, rowid, true);
        if (!ok)
            break;
        if (auto refused = m_result.leftOut.find(rowid); refused != m_result.leftOut.end()) {
            if (const QString key = keyText(rowid); !key.isEmpty())
                refused->second += u" ["_s + key + u" from a damaged page]"_s;
        } else if (sqlite3_total_changes(m_db) > before) {
            ++m_result.written;
            m_result.salvaged.emplace(rowid, keyText(rowid));
        }
    }
    if (ok && status != SQLITE_DONE)
        ok = failed();
    if (!ok && m_error.isEmpty())
        failed();
    sqlite3_finalize(walk);
    sqlite3_finalize(insert);
    return ok;
}

// Positions and revisions go on from where the damaged file left them.
bool RepairWriter::carryOver(const Counters &given)
{
    if (!m_table)
        return true;
    const QString label = u'\'' + QString(m_layout.table).replace(u'\'', u"''"_s) + u'\'';
    return run(u"UPDATE main.%1 SET last_revision = max(last_revision, %2)"_s
                   .arg(QString::fromLatin1(sql::CountersTable))
                   .arg(given.lastRevision)) &&
           run(u"INSERT INTO main.sqlite_sequence (name, seq) SELECT %1, 0 WHERE NOT EXISTS "
               "(SELECT 1 FROM main.sqlite_sequence WHERE name = %1)"_s.arg(label)) &&
           run(u"UPDATE main.sqlite_sequence SET seq = max(seq, %1) WHERE name = %2"_s
                   .arg(given.lastPosition)
                   .arg(label));
}

bool RepairWriter::finish(std::map<qint64, QString> &lost,
                          const std::vector<std::pair<qint64, qint64>> &unreadableRanges,
                          const Counters &given)
{
    if (!m_db)
        return false;
    sqlite3_finalize(m_insert);
    sqlite3_finalize(m_wait);
    m_insert = m_wait = nullptr;
    bool ok = addWaiting();
    if (ok) {
        sqlite3_stmt *holds = nullptr;
        const QString text =
            u"SELECT 1 FROM main."_s + sql::quote(m_layout.table) + u" WHERE rowid = ?"_s;
        ok =
            sqlite3_prepare_v2(m_db, text.toUtf8().constData(), -1, &holds, nullptr) == SQLITE_OK ||
            failed();
        std::erase_if(lost, [&](const auto &entry) {
            sqlite3_reset(holds);
            sqlite3_bind_int64(holds, 1, entry.first);
            return ok && sqlite3_step(holds) == SQLITE_ROW;
        });
        sqlite3_finalize(holds);
        sqlite3_stmt *count = nullptr;
        const QString counting = u"SELECT count(*) FROM main."_s + sql::quote(m_layout.table) +
                                 u" WHERE rowid > ? AND rowid <= ?"_s;
        ok = ok && (sqlite3_prepare_v2(m_db, counting.toUtf8().constData(), -1, &count, nullptr) ==
                        SQLITE_OK ||
                    failed());
        for (const auto &[after, upTo] : unreadableRanges) {
            if (!ok)
                break;
            sqlite3_reset(count);
            sqlite3_bind_int64(count, 1, after);
            sqlite3_bind_int64(count, 2, upTo);
            m_result.recoveredInRanges.push_back(
                sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int64(count, 0) : 0);
        }
        sqlite3_finalize(count);
    }
    ok = ok && run(u"DROP TABLE temp.sv_waiting"_s);
    if (ok && m_table && !tablefile::rebuildKeys(m_db, Main, *m_table, true)) {
        m_error = u"the keys cannot be rebuilt: "_s + errorText() + u' ' + fileError();
        ok = false;
    }
    ok = ok && carryOver(given) && run(u"COMMIT"_s);
    if (!ok) {
        discard();
        return false;
    }
    sqlite3_close(m_db);
    m_db = nullptr;
    return true;
}

} // namespace sv::tpsfix
