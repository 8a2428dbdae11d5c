#include "layout.h"

#include "pagefile.h"
#include "store/sqldialect.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace sv::tpsfix {

namespace {

Affinity affinityOf(const QString &declaredType)
{
    const QString type = declaredType.toUpper();
    if (type.contains(u"INT"_s))
        return Affinity::Integer;
    if (type.contains(u"CHAR"_s) || type.contains(u"CLOB"_s) || type.contains(u"TEXT"_s))
        return Affinity::Text;
    return Affinity::Any;
}

QString columnText(sqlite3_stmt *statement, int column)
{
    return QString::fromUtf8(
        reinterpret_cast<const char *>(sqlite3_column_text(statement, column)));
}

// Runs one query and hands every row to `take`; false when the engine fails.
bool forEachRow(sqlite3 *db, const QString &sql, const std::function<void(sqlite3_stmt *)> &take)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        return false;
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW)
        take(statement);
    sqlite3_finalize(statement);
    return result == SQLITE_DONE;
}

bool readTableName(sqlite3 *db, Layout &layout, QString &error)
{
    QStringList tables;
    const bool ok = forEachRow(db,
                               u"SELECT name FROM main.sqlite_master AS t WHERE type = 'table' "
                               "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                               // A full-text index and the tables it keeps its data in.
                               "AND sql NOT LIKE 'CREATE VIRTUAL TABLE%' AND NOT EXISTS ("
                               "SELECT 1 FROM main.sqlite_master AS v WHERE v.type = 'table' "
                               "AND v.sql LIKE 'CREATE VIRTUAL TABLE%' "
                               "AND substr(t.name, 1, length(v.name) + 1) = v.name || '_') "
                               // The store's own counters, made again from the example.
                               "AND name <> '"_s +
                                   QString::fromLatin1(sql::CountersTable) + u'\'',
                               [&](sqlite3_stmt *row) { tables.append(columnText(row, 0)); });
    if (!ok) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    }
    if (tables.size() != 1) {
        error = u"it holds %1 tables instead of one"_s.arg(tables.size());
        return false;
    }
    layout.table = tables.first();
    return true;
}

bool readColumns(sqlite3 *db, Layout &layout, QString &error)
{
    int keyColumns = 0;
    const bool ok = forEachRow(
        db, u"PRAGMA main.table_info("_s + sql::quote(layout.table) + u')', [&](sqlite3_stmt *row) {
            const QString type = columnText(row, 2);
            const bool primary = sqlite3_column_int(row, 5) > 0;
            keyColumns += primary ? 1 : 0;
            layout.columns.append(
                {columnText(row, 1), affinityOf(type), sqlite3_column_int(row, 3) != 0,
                 primary && type.compare(u"INTEGER"_s, Qt::CaseInsensitive) == 0});
        });
    if (!ok || layout.columns.isEmpty()) {
        error = ok ? u"its table has no columns"_s : QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    }
    if (keyColumns > 1) { // a composite primary key has no rowid alias
        for (Column &column : layout.columns)
            column.rowidAlias = false;
    }
    if (!forEachRow(db, u"PRAGMA main.user_version"_s,
                    [&](sqlite3_stmt *row) { layout.version = sqlite3_column_int(row, 0); })) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    }
    return true;
}

// Page size, reserved bytes and text encoding, which the engine read the example with.
void readGeometry(const QString &path, Layout &layout)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray header = file.read(FileHeaderSize);
    const quint32 pageSize = bigEndian(header, 16, 2);
    layout.pageSize = pageSize == 1 ? 65536 : pageSize;
    layout.reservedBytes = bigEndian(header, 20, 1);
    const quint32 encoding = bigEndian(header, 56, 4);
    if (encoding >= 1 && encoding <= 3)
        layout.encoding = TextEncoding(encoding);
}

} // namespace

int Layout::rowidAliasColumn() const
{
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).rowidAlias)
            return i;
    }
    return -1;
}

std::optional<Layout> readLayout(const QString &path, QString &error)
{
    if (!QFileInfo(path).isFile()) {
        error = u"the layout example %1 does not exist"_s.arg(path);
        return std::nullopt;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        error = u"the layout example %1 cannot be opened: %2"_s.arg(
            path, QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_close(db);
        return std::nullopt;
    }
    Layout layout;
    QString reason;
    const bool ok = readTableName(db, layout, reason) && readColumns(db, layout, reason);
    sqlite3_close(db);
    if (!ok) {
        error = u"the layout example %1 cannot be used: %2"_s.arg(path, reason);
        return std::nullopt;
    }
    readGeometry(path, layout);
    return layout;
}

} // namespace sv::tpsfix
