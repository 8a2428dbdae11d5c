#include "pgdialect.h"

namespace sv::pgsql {

using sql::quote;

namespace {

const QString Position = QStringLiteral("\"sv_pos\"");
const QString Revision = QStringLiteral("\"sv_rev\"");

QString parameters(int first, qsizetype count)
{
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks.append(u'$' + QString::number(first + i));
    return marks.join(u", ");
}

QString keyTerms(const TableDef &table, int key, const QString &suffix = QString())
{
    QStringList terms;
    for (int field : table.keys.at(key).components)
        terms.append(keyTerm(table, field) + suffix);
    return terms.join(u", ");
}

QString orderBy(const TableDef &table, int key, sql::Direction direction)
{
    const QString suffix =
        direction == sql::Direction::Backward ? QStringLiteral(" DESC") : QString();
    if (key < 0)
        return Position + suffix;
    return keyTerms(table, key, suffix) + QStringLiteral(", ") + Position + suffix;
}

QString nextRevision()
{
    return QStringLiteral("nextval('%1')").arg(QString::fromLatin1(RevisionSequence));
}

QStringList writtenColumns(const TableDef &table)
{
    QStringList columns;
    for (const QString &name : sql::dataColumns(table))
        columns.append(quote(name));
    for (const QString &name : sql::keyTextFields(table))
        columns.append(quote(QStringLiteral("k_") + name));
    return columns;
}

QStringList keyEquals(const TableDef &table, int key)
{
    QStringList conditions;
    if (table.keys.at(key).optional)
        conditions.append(optionalCondition(table, key));
    int parameter = 1;
    for (int field : table.keys.at(key).components)
        conditions.append(keyTerm(table, field) + QStringLiteral(" = $") +
                          QString::number(parameter++));
    return conditions;
}

} // namespace

QString tableName(const TableDef &table)
{
    return quote(table.label);
}

QString keyTerm(const TableDef &table, int field)
{
    const FieldDef &def = table.fields.at(field);
    if (def.type != FieldType::String)
        return quote(def.name);
    if (sql::hasKeyText(table, field))
        return quote(QStringLiteral("k_") + def.name);
    return QStringLiteral("upper(%1 COLLATE \"C\")").arg(quote(def.name));
}

QString optionalCondition(const TableDef &table, int key)
{
    const KeyDef &def = table.keys.at(key);
    if (!def.optional)
        return QString();
    const int leading = def.components.first();
    const bool isText = table.fields.at(leading).type == FieldType::String;
    return u'(' + keyTerm(table, leading) +
           (isText ? QStringLiteral(" <> ''") : QStringLiteral(" <> 0")) + u')';
}

QStringList createTable(const TableDef &table)
{
    return createTableWithoutKeys(table) + createKeys(table);
}

QStringList createTableWithoutKeys(const TableDef &table)
{
    QStringList columns{Position +
                            QStringLiteral(" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY"),
                        Revision + QStringLiteral(" bigint NOT NULL")};
    for (const FieldDef &field : table.fields) {
        columns.append(quote(field.name) + (field.type == FieldType::String
                                                ? QStringLiteral(" text NOT NULL DEFAULT ''")
                                                : QStringLiteral(" bigint NOT NULL DEFAULT 0")));
    }
    for (const MemoDef &memo : table.memos)
        columns.append(quote(memo.name) + QStringLiteral(" text NOT NULL DEFAULT ''"));
    for (const QString &name : sql::keyTextFields(table))
        columns.append(quote(QStringLiteral("k_") + name) +
                       QStringLiteral(" text COLLATE \"C\" NOT NULL DEFAULT ''"));

    const QString structure = quote(QString::fromLatin1(StructureTable));
    return {
        QStringLiteral("CREATE SEQUENCE IF NOT EXISTS ") +
            quote(QString::fromLatin1(RevisionSequence)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS ") + structure +
            QStringLiteral(" (label text PRIMARY KEY, version integer NOT NULL)"),
        QStringLiteral("DROP TABLE IF EXISTS ") + tableName(table),
        QStringLiteral("CREATE TABLE ") + tableName(table) + QStringLiteral(" (") +
            columns.join(u", ") + u')',
        QStringLiteral("INSERT INTO ") + structure +
            QStringLiteral(" (label, version) VALUES ('%1', %2) ON CONFLICT (label) "
                           "DO UPDATE SET version = excluded.version")
                .arg(QString(table.label).replace(u'\'', QStringLiteral("''")))
                .arg(table.version),
    };
}

QStringList createKeys(const TableDef &table)
{
    QStringList statements;
    for (int key = 0; key < table.keys.size(); ++key) {
        const KeyDef &def = table.keys.at(key);
        // A unique index holds the key's own terms, or the position would make every row
        // unique; the others end with the position, the order's final tie-break.
        QString statement =
            QStringLiteral("CREATE ") + (def.unique ? QStringLiteral("UNIQUE ") : QString()) +
            QStringLiteral("INDEX ") + quote(sql::indexName(table, key)) + QStringLiteral(" ON ") +
            tableName(table) + QStringLiteral(" (") + keyTerms(table, key) +
            (def.unique ? QString() : QStringLiteral(", ") + Position) + u')';
        if (def.optional)
            statement += QStringLiteral(" WHERE ") + optionalCondition(table, key);
        statements.append(statement);
    }
    return statements;
}

QString structureVersion()
{
    return QStringLiteral("SELECT version FROM ") + quote(QString::fromLatin1(StructureTable)) +
           QStringLiteral(" WHERE label = $1");
}

QString tableExists()
{
    return QStringLiteral("SELECT to_regclass($1) IS NOT NULL");
}

QStringList copyColumns(const TableDef &table)
{
    return QStringList{Position} + writtenColumns(table);
}

QString copyIn(const TableDef &table)
{
    return QStringLiteral("COPY ") + tableName(table) + QStringLiteral(" (") +
           copyColumns(table).join(u", ") + QStringLiteral(") FROM STDIN");
}

QString revisionDefault(const TableDef &table)
{
    return QStringLiteral("ALTER TABLE ") + tableName(table) + QStringLiteral(" ALTER COLUMN ") +
           Revision + QStringLiteral(" SET DEFAULT ") + nextRevision();
}

QString noRevisionDefault(const TableDef &table)
{
    return QStringLiteral("ALTER TABLE ") + tableName(table) + QStringLiteral(" ALTER COLUMN ") +
           Revision + QStringLiteral(" DROP DEFAULT");
}

QString continuePositions(const TableDef &table)
{
    // An identity column's sequence: the next position given is one above the highest.
    QString literal = tableName(table);
    literal.replace(u'\'', QStringLiteral("''"));
    return QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'sv_pos'), "
                          "coalesce(max(%2), 0) + 1, false) FROM %3")
        .arg(literal, Position, tableName(table));
}

QString selectList(const TableDef &table)
{
    QStringList columns{Position, Revision};
    for (const QString &name : sql::dataColumns(table))
        columns.append(quote(name));
    return columns.join(u", ");
}

QString insert(const TableDef &table)
{
    const QStringList columns = writtenColumns(table);
    return QStringLiteral("INSERT INTO ") + tableName(table) + QStringLiteral(" (") +
           columns.join(u", ") + QStringLiteral(", ") + Revision + QStringLiteral(") VALUES (") +
           parameters(1, columns.size()) + QStringLiteral(", ") + nextRevision() +
           QStringLiteral(") ON CONFLICT DO NOTHING RETURNING ") + Position + QStringLiteral(", ") +
           Revision;
}

QString update(const TableDef &table, bool checkRevision)
{
    const QStringList columns = writtenColumns(table);
    QStringList assignments;
    int parameter = 1;
    for (const QString &column : columns)
        assignments.append(column + QStringLiteral(" = $") + QString::number(parameter++));
    assignments.append(Revision + QStringLiteral(" = ") + nextRevision());
    QString statement = QStringLiteral("UPDATE ") + tableName(table) + QStringLiteral(" SET ") +
                        assignments.join(u", ") + QStringLiteral(" WHERE ") + Position +
                        QStringLiteral(" = $") + QString::number(parameter++);
    if (checkRevision)
        statement += QStringLiteral(" AND ") + Revision + QStringLiteral(" = $") +
                     QString::number(parameter);
    return statement + QStringLiteral(" RETURNING ") + Revision;
}

QString remove(const TableDef &table, bool checkRevision)
{
    QString statement = QStringLiteral("DELETE FROM ") + tableName(table) +
                        QStringLiteral(" WHERE ") + Position + QStringLiteral(" = $1");
    if (checkRevision)
        statement += QStringLiteral(" AND ") + Revision + QStringLiteral(" = $2");
    return statement + QStringLiteral(" RETURNING ") + Position;
}

QString updateField(const TableDef &table, int field)
{
    return QStringLiteral("UPDATE ") + tableName(table) + QStringLiteral(" SET ") +
           quote(table.fields.at(field).name) + QStringLiteral(" = $1, ") + Revision +
           QStringLiteral(" = ") + nextRevision() + QStringLiteral(" WHERE ") + Position +
           QStringLiteral(" = $2 AND ") + Revision + QStringLiteral(" = $3 RETURNING ") + Revision;
}

QString highest(const TableDef &table, int key, int field)
{
    QString statement = QStringLiteral("SELECT ") + quote(table.fields.at(field).name) +
                        QStringLiteral(" FROM ") + tableName(table);
    if (table.keys.at(key).optional)
        statement += QStringLiteral(" WHERE ") + optionalCondition(table, key);
    return statement + QStringLiteral(" ORDER BY ") +
           orderBy(table, key, sql::Direction::Backward) + QStringLiteral(" LIMIT 1");
}

QString byPosition(const TableDef &table)
{
    return QStringLiteral("SELECT ") + selectList(table) + QStringLiteral(" FROM ") +
           tableName(table) + QStringLiteral(" WHERE ") + Position + QStringLiteral(" = $1");
}

QString revisionOf(const TableDef &table)
{
    return QStringLiteral("SELECT ") + Revision + QStringLiteral(" FROM ") + tableName(table) +
           QStringLiteral(" WHERE ") + Position + QStringLiteral(" = $1");
}

QString count(const TableDef &table)
{
    return QStringLiteral("SELECT count(*) FROM ") + tableName(table);
}

QString equalKey(const TableDef &table, int key)
{
    return QStringLiteral("SELECT ") + selectList(table) + QStringLiteral(" FROM ") +
           tableName(table) + QStringLiteral(" WHERE ") +
           keyEquals(table, key).join(QStringLiteral(" AND ")) + QStringLiteral(" ORDER BY ") +
           orderBy(table, key, sql::Direction::Forward) + QStringLiteral(" LIMIT 1");
}

QString duplicateOf(const TableDef &table, int key)
{
    const qsizetype values = table.keys.at(key).components.size();
    return QStringLiteral("SELECT 1 FROM ") + tableName(table) + QStringLiteral(" WHERE ") +
           keyEquals(table, key).join(QStringLiteral(" AND ")) + QStringLiteral(" AND ") +
           Position + QStringLiteral(" <> $") + QString::number(values + 1) +
           QStringLiteral(" LIMIT 1");
}

QString page(const TableDef &table, int key, sql::Direction direction, sql::Bound bound)
{
    QStringList conditions;
    if (key >= 0 && table.keys.at(key).optional)
        conditions.append(optionalCondition(table, key));
    int next = 1;
    if (bound != sql::Bound::None) {
        QString op =
            direction == sql::Direction::Forward ? QStringLiteral(">") : QStringLiteral("<");
        if (bound == sql::Bound::Inclusive)
            op += u'=';
        if (key < 0) {
            conditions.append(Position + u' ' + op + QStringLiteral(" $1"));
            next = 2;
        } else {
            const qsizetype n = table.keys.at(key).components.size() + 1;
            conditions.append(u'(' + keyTerms(table, key) + QStringLiteral(", ") + Position +
                              QStringLiteral(") ") + op + QStringLiteral(" (") + parameters(1, n) +
                              u')');
            next = int(n + 1);
        }
    }
    QString statement =
        QStringLiteral("SELECT ") + selectList(table) + QStringLiteral(" FROM ") + tableName(table);
    if (!conditions.isEmpty())
        statement += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    return statement + QStringLiteral(" ORDER BY ") + orderBy(table, key, direction) +
           QStringLiteral(" LIMIT $") + QString::number(next);
}

QString lockTables(const QList<const TableDef *> &tables)
{
    QStringList names;
    for (const TableDef *table : tables)
        names.append(tableName(*table));
    return QStringLiteral("LOCK TABLE ") + names.join(u", ") +
           QStringLiteral(" IN SHARE ROW EXCLUSIVE MODE");
}

} // namespace sv::pgsql
