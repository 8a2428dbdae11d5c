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

class Writer
{
public:
    Writer(const Layout &layout, const TableDef *table) : m_layout(layout), m_table(table) {}
    ~Writer()
    {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_db);
    }
    bool open(const QString &path);
    bool insertAll(const std::map<qint64, Row> &rows, WriteResult &result);
    bool finish();
    const QString &error() const { return m_error; }

private:
    bool run(const QString &sql)
    {
        return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) ==
                   SQLITE_OK ||
               failed();
    }
    bool failed()
    {
        m_error = engineError();
        return false;
    }
    QString engineError() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }
    bool prepareInsert();
    // False only when the engine fails; a row the table refuses is noted in `result`.
    bool insert(qint64 rowid, const Row &row, WriteResult &result);

    const Layout &m_layout;
    const TableDef *m_table;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    QList<int> m_keyTextSources;
    bool m_rowidColumnAdded = false;
    QString m_error;
};

bool Writer::open(const QString &path)
{
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK)
        return failed();
    sqlite3_extended_result_codes(m_db, 1);
    tablefile::registerFunctions(m_db);
    // The example is meant to be empty; whatever it holds is not part of the repair.
    return run(u"BEGIN IMMEDIATE"_s) && run(u"DELETE FROM main."_s + sql::quote(m_layout.table)) &&
           prepareInsert();
}

bool Writer::prepareInsert()
{
    QStringList columns;
    QStringList marks;
    for (const Column &column : m_layout.columns) {
        columns.append(sql::quote(column.name));
        marks.append(u"?"_s);
    }
    m_rowidColumnAdded = m_layout.rowidAliasColumn() < 0;
    if (m_rowidColumnAdded) {
        columns.append(u"rowid"_s);
        marks.append(u"?"_s);
    }
    const QString text = u"INSERT INTO main."_s + sql::quote(m_layout.table) + u" ("_s +
                         columns.join(u", "_s) + u") VALUES ("_s + marks.join(u", "_s) + u')';
    m_keyTextSources = keyTextSources(m_layout, m_table);
    return sqlite3_prepare_v2(m_db, text.toUtf8().constData(), -1, &m_insert, nullptr) ==
               SQLITE_OK ||
           failed();
}

bool Writer::insertAll(const std::map<qint64, Row> &rows, WriteResult &result)
{
    for (const auto &[rowid, row] : rows) {
        if (!insert(rowid, row, result))
            return false;
    }
    return true;
}

bool Writer::insert(qint64 rowid, const Row &row, WriteResult &result)
{
    sqlite3_reset(m_insert);
    sqlite3_clear_bindings(m_insert);
    for (int i = 0; i < row.size(); ++i) {
        if (const int source = m_keyTextSources.at(i); source >= 0) {
            const QByteArray key = keyText(QString::fromUtf8(row.at(source).bytes)).toUtf8();
            sqlite3_bind_text(m_insert, i + 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        } else {
            bindValue(m_insert, i + 1, row.at(i));
        }
    }
    if (m_rowidColumnAdded)
        sqlite3_bind_int64(m_insert, int(row.size()) + 1, rowid);
    const int status = sqlite3_step(m_insert);
    if (status == SQLITE_DONE) {
        ++result.written;
        return true;
    }
    if ((status & 0xFF) != SQLITE_CONSTRAINT)
        return failed();
    const QString reason = status == SQLITE_CONSTRAINT_UNIQUE ? u"duplicate in a unique key"_s
                                                              : u"refused by the table"_s;
    result.leftOut.emplace(rowid, reason + u" ("_s + engineError() + u')');
    return true;
}

bool Writer::finish()
{
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_table && !tablefile::rebuildKeys(m_db, Main, *m_table, true)) {
        m_error = u"the keys cannot be rebuilt: "_s + errorText() + u' ' + fileError();
        return false;
    }
    return run(u"COMMIT"_s);
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

WriteResult writeRepaired(const QString &examplePath, const QString &target, const Layout &layout,
                          const TableDef *table, const std::map<qint64, Row> &rows)
{
    WriteResult result;
    if (!copyExample(examplePath, target)) {
        QFile::remove(target);
        result.error = u"cannot copy the layout example to %1"_s.arg(target);
        return result;
    }
    {
        Writer writer(layout, table);
        result.ok = writer.open(target) && writer.insertAll(rows, result) && writer.finish();
        if (!result.ok)
            result.error = writer.error();
    }
    if (!result.ok) {
        QFile::remove(target);
        QFile::remove(target + u"-journal"_s);
    }
    return result;
}

} // namespace sv::tpsfix
