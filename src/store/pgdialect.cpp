#include "pgdialect.h"

#include "keytext.h"

#include <QVariant>

#include <utility>

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

// The table's label as an SQL string literal.
QString quotedLabel(const TableDef &table)
{
    return u'\'' + QString(table.label).replace(u'\'', QStringLiteral("''")) + u'\'';
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
    const QString changes = quote(QString::fromLatin1(ChangesTable));
    const QString label = quotedLabel(table);
    // The functions the table's filters and full-text indexes call come with every table, so
    // that a catalogue is never without them.
    return createFunctions() +
           QStringList{
               QStringLiteral("CREATE SEQUENCE IF NOT EXISTS ") +
                   quote(QString::fromLatin1(RevisionSequence)),
               QStringLiteral("CREATE TABLE IF NOT EXISTS ") + structure +
                   QStringLiteral(" (label text PRIMARY KEY, version integer NOT NULL)"),
               // One row added per statement that deletes, never a row updated: a row that
               // every write updated would make each such update in a long transaction walk
               // all its versions before it.
               QStringLiteral("CREATE TABLE IF NOT EXISTS ") + changes +
                   QStringLiteral(" (label text NOT NULL, deleted bigint NOT NULL)"),
               QStringLiteral("CREATE INDEX IF NOT EXISTS sv_changes_by_label ON ") + changes +
                   QStringLiteral(" (label, deleted)"),
               QStringLiteral(
                   "CREATE OR REPLACE FUNCTION sv_note_delete() RETURNS trigger LANGUAGE "
                   "plpgsql AS $$ BEGIN INSERT INTO %1 (label, deleted) VALUES (TG_ARGV[0], %2); "
                   "RETURN NULL; END $$")
                   .arg(changes, nextRevision()),
               QStringLiteral("DROP TABLE IF EXISTS ") + tableName(table),
               QStringLiteral("CREATE TABLE ") + tableName(table) + QStringLiteral(" (") +
                   columns.join(u", ") + u')',
               QStringLiteral("CREATE TRIGGER sv_deleted AFTER DELETE ON ") + tableName(table) +
                   QStringLiteral(" FOR EACH STATEMENT EXECUTE FUNCTION sv_note_delete(") + label +
                   u')',
               // A table made anew is a change too.
               QStringLiteral("INSERT INTO ") + changes +
                   QStringLiteral(" (label, deleted) VALUES (") + label + QStringLiteral(", ") +
                   nextRevision() + u')',
               QStringLiteral("INSERT INTO ") + structure +
                   QStringLiteral(" (label, version) VALUES (%1, %2) ON CONFLICT (label) "
                                  "DO UPDATE SET version = excluded.version")
                       .arg(label)
                       .arg(table.version),
           };
}

QStringList createKeys(const TableDef &table)
{
    // The change stamp's highest revision is read from the end of this index.
    QStringList statements{QStringLiteral("CREATE INDEX ON ") + tableName(table) +
                           QStringLiteral(" (") + Revision + u')'};
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
    // The full-text indexes are built with the keys, once the records are in.
    statements += createFullText(table);
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

QString asideName(const TableDef &table)
{
    return quote(table.label + QStringLiteral(" sv_upgraded"));
}

QString setAside(const TableDef &table)
{
    return QStringLiteral("ALTER TABLE ") + tableName(table) + QStringLiteral(" RENAME TO ") +
           asideName(table);
}

QString indexesAside(const TableDef &table)
{
    return QStringLiteral("SELECT quote_ident(c.relname) FROM pg_index i JOIN pg_class c ON "
                          "c.oid = i.indexrelid WHERE i.indrelid = to_regclass('%1') AND NOT "
                          "i.indisprimary")
        .arg(QString(asideName(table)).replace(u'\'', QStringLiteral("''")));
}

QString dropIndex(const QString &index)
{
    return QStringLiteral("DROP INDEX ") + index;
}

QString columnsAside(const TableDef &table)
{
    return QStringLiteral("SELECT attname FROM pg_attribute WHERE attrelid = to_regclass('%1') "
                          "AND attnum > 0 AND NOT attisdropped")
        .arg(QString(asideName(table)).replace(u'\'', QStringLiteral("''")));
}

QString addKeyTextAside(const TableDef &table, const QString &field)
{
    return QStringLiteral("ALTER TABLE ") + asideName(table) + QStringLiteral(" ADD COLUMN ") +
           quote(QStringLiteral("k_") + field) +
           QStringLiteral(" text COLLATE \"C\" NOT NULL DEFAULT ''");
}

QString fieldAside(const TableDef &table, const QString &field)
{
    return QStringLiteral("SELECT ") + Position + QStringLiteral(", ") + quote(field) +
           QStringLiteral(" FROM ") + asideName(table);
}

QString setKeyTextAside(const TableDef &table, const QString &field)
{
    return QStringLiteral("UPDATE ") + asideName(table) + QStringLiteral(" SET ") +
           quote(QStringLiteral("k_") + field) + QStringLiteral(" = $1 WHERE ") + Position +
           QStringLiteral(" = $2");
}

QString copyAside(const TableDef &table, const QStringList &columns)
{
    QStringList quoted{Position, Revision};
    for (const QString &column : columns)
        quoted.append(quote(column));
    const QString list = quoted.join(u", ");
    return QStringLiteral("INSERT INTO ") + tableName(table) + QStringLiteral(" (") + list +
           QStringLiteral(") OVERRIDING SYSTEM VALUE SELECT ") + list + QStringLiteral(" FROM ") +
           asideName(table) + QStringLiteral(" ORDER BY ") + Position;
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

QString dropAside(const TableDef &table)
{
    return QStringLiteral("DROP TABLE ") + asideName(table);
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

QString linkedField(const TableDef &table, const LinkDef &link, int linkedField)
{
    const TableDef &linked = tableDef(link.table);
    const int matched = linked.keys.at(link.key).components.first();
    // Key text on both sides or on neither, so both compare by the same rule.
    const bool asKeys = sql::hasKeyText(table, link.field) && sql::hasKeyText(linked, matched);
    const QString ours =
        asKeys ? sql::keyColumn(table, link.field) : table.fields.at(link.field).name;
    const QString theirs =
        asKeys ? sql::keyColumn(linked, matched) : linked.fields.at(matched).name;
    QStringList conditions{QStringLiteral("l.") + quote(theirs) + QStringLiteral(" = ") +
                           tableName(table) + u'.' + quote(ours)};
    if (linked.keys.at(link.key).optional)
        conditions.append(optionalCondition(linked, link.key));
    const bool isText = linked.fields.at(linkedField).type == FieldType::String;
    return QStringLiteral("COALESCE((SELECT l.") + quote(linked.fields.at(linkedField).name) +
           QStringLiteral(" FROM ") + tableName(linked) + QStringLiteral(" AS l WHERE ") +
           conditions.join(QStringLiteral(" AND ")) + QStringLiteral(" LIMIT 1), ") +
           (isText ? QStringLiteral("''") : QStringLiteral("0")) + u')';
}

QString sumLinked(const TableDef &table, int rangeField, int linkField, const TableDef &linked,
                  int linkedField, int sumField)
{
    const auto column = [](const QString &alias, const TableDef &def, int field) {
        return alias + u'.' + quote(def.fields.at(field).name);
    };
    return QStringLiteral("SELECT coalesce(sum(") + column(QStringLiteral("l"), linked, sumField) +
           QStringLiteral("), 0) FROM ") + tableName(table) + QStringLiteral(" AS t JOIN ") +
           tableName(linked) + QStringLiteral(" AS l ON ") +
           column(QStringLiteral("l"), linked, linkedField) + QStringLiteral(" = ") +
           column(QStringLiteral("t"), table, linkField) + QStringLiteral(" WHERE ") +
           column(QStringLiteral("t"), table, rangeField) + QStringLiteral(" = ?");
}

QString tableBytes()
{
    return QStringLiteral("SELECT pg_total_relation_size(quote_ident(?))");
}

QString rebuildIndexes(const TableDef &table)
{
    return QStringLiteral("REINDEX TABLE ") + tableName(table);
}

QString pack(const TableDef &table)
{
    return QStringLiteral("VACUUM (FULL, ANALYZE) ") + tableName(table);
}

QString changeStamp(const TableDef &table)
{
    return QStringLiteral("SELECT greatest((SELECT max(%1) FROM %2), (SELECT max(deleted) FROM %3 "
                          "WHERE label = $1), 0)")
        .arg(Revision, tableName(table), quote(QString::fromLatin1(ChangesTable)));
}

namespace {

QString selectFields(const TableDef &table, const QList<int> &fields)
{
    if (fields.isEmpty())
        return selectList(table);
    QStringList columns{Position, Revision};
    for (const int field : fields)
        columns.append(quote(table.fields.at(field).name));
    return columns.join(u", ");
}

QString placeholders(qsizetype count)
{
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks.append(QStringLiteral("?"));
    return marks.join(u", ");
}

QString boundCondition(const TableDef &table, int key, sql::Direction direction, sql::Bound bound)
{
    QString op = direction == sql::Direction::Forward ? QStringLiteral(">") : QStringLiteral("<");
    if (bound == sql::Bound::Inclusive)
        op += u'=';
    if (key < 0)
        return Position + u' ' + op + QStringLiteral(" ?");
    const qsizetype n = table.keys.at(key).components.size() + 1;
    return u'(' + keyTerms(table, key) + QStringLiteral(", ") + Position + QStringLiteral(") ") +
           op + QStringLiteral(" (") + placeholders(n) + u')';
}

// Conditions in the order of the walk's parameters: candidates, prefix, range, bound, cap,
// filter.
QStringList walkConditions(const TableDef &table, const sql::Walk &walk)
{
    QStringList conditions;
    if (!walk.candidates.isEmpty())
        conditions.append(Position + QStringLiteral(" IN (") + walk.candidates + u')');
    if (walk.key >= 0 && table.keys.at(walk.key).optional)
        conditions.append(optionalCondition(table, walk.key));
    if (walk.prefixed && walk.key >= 0)
        conditions.append(keyTerm(table, table.keys.at(walk.key).components.first()) +
                          QStringLiteral(" = ?"));
    if (!walk.range.isEmpty() && walk.key >= 0)
        conditions.append(u'(' + walk.range + u')');
    if (walk.bound != sql::Bound::None)
        conditions.append(boundCondition(table, walk.key, walk.direction, walk.bound));
    if (walk.capped) {
        const sql::Direction back = walk.direction == sql::Direction::Forward
                                        ? sql::Direction::Backward
                                        : sql::Direction::Forward;
        conditions.append(boundCondition(table, walk.key, back, sql::Bound::Inclusive));
    }
    if (!walk.filter.isEmpty())
        conditions.append(u'(' + walk.filter + u')');
    return conditions;
}

QString whereClause(const QStringList &conditions)
{
    return conditions.isEmpty()
               ? QString()
               : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

QString entryColumns(const TableDef &table, int key)
{
    return key >= 0 ? keyTerms(table, key) + QStringLiteral(", ") + Position : Position;
}

} // namespace

QString page(const TableDef &table, const sql::Walk &walk)
{
    return QStringLiteral("SELECT ") + selectFields(table, walk.fields) + QStringLiteral(" FROM ") +
           tableName(table) + whereClause(walkConditions(table, walk)) +
           QStringLiteral(" ORDER BY ") + orderBy(table, walk.key, walk.direction) +
           QStringLiteral(" LIMIT ?");
}

QString matches(const TableDef &table, const sql::Walk &walk)
{
    return QStringLiteral("SELECT ") + entryColumns(table, walk.key) + QStringLiteral(" FROM ") +
           tableName(table) + whereClause(walkConditions(table, walk)) +
           QStringLiteral(" ORDER BY ") + orderBy(table, walk.key, walk.direction);
}

QString matchesInFileOrder(const TableDef &table, const sql::Walk &walk)
{
    QStringList conditions = walkConditions(table, walk);
    conditions.append(Position + QStringLiteral(" > ? AND ") + Position + QStringLiteral(" <= ?"));
    return QStringLiteral("SELECT ") + entryColumns(table, walk.key) + QStringLiteral(" FROM ") +
           tableName(table) + whereClause(conditions);
}

QString rowsAt(const TableDef &table, const QList<int> &fields)
{
    return QStringLiteral("SELECT ") + selectFields(table, fields) + QStringLiteral(" FROM ") +
           tableName(table) + QStringLiteral(" WHERE ") + Position +
           QStringLiteral(" = ANY (CAST(? AS bigint[]))");
}

QString positionsIn()
{
    return QStringLiteral("SELECT unnest(CAST(? AS bigint[]))");
}

QString lastPosition(const TableDef &table)
{
    return QStringLiteral("SELECT coalesce(max(") + Position + QStringLiteral("), 0) FROM ") +
           tableName(table);
}

QString positionArray(const QList<qint64> &positions)
{
    QString array = QStringLiteral("{");
    for (const qint64 position : positions)
        array += QString::number(position) + u',';
    if (positions.isEmpty())
        array += u'}';
    else
        array.back() = u'}';
    return array;
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

// ---------------------------------------------------------------------------------------------
// Filters

namespace sv::pgsql {

namespace {

enum class Mapping { Upper, Lower, Fold };

QString mapped(Mapping mapping, const QString &text)
{
    switch (mapping) {
    case Mapping::Upper:
        return text.toUpper();
    case Mapping::Lower:
        return text.toLower();
    case Mapping::Fold:
        return foldText(text);
    }
    return text;
}

// Whether a character may map to anything but itself in some mapping: a letter, a mark, a
// character with a simple case mapping (circled letters, roman numerals) or a decomposition.
bool mayMap(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Mark_NonSpacing:
        return true;
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
        return false;
    default:
        return QChar::toUpper(c) != c || QChar::toLower(c) != c ||
               QChar::decompositionTag(c) != QChar::NoDecomposition;
    }
}

void appendJsonString(QString &json, const QString &text)
{
    json += u'"';
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            json += u'\\';
        if (c.unicode() < 0x20)
            json += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
        else
            json += c;
    }
    json += u'"';
}

// Every character that the program's mapping changes, as a JSON object from
// the character to what it becomes (possibly several characters, or none for a mark that
// folding leaves out). Mapping text character by character gives what mapping it whole
// gives: none of the three mappings looks at a character's neighbours.
QString mappingJson(Mapping mapping)
{
    QString json = QStringLiteral("{");
    bool first = true;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
        if (!mayMap(c))
            continue;
        const QString from = QString::fromUcs4(&c, 1);
        const QString to = mapped(mapping, from);
        if (to == from)
            continue;
        if (!std::exchange(first, false))
            json += u',';
        appendJsonString(json, from);
        json += u':';
        appendJsonString(json, to);
    }
    return json + u'}';
}

// A mapping as two functions: the one filters and indexes call maps plain ASCII text in
// place, as the program does without Unicode tables; other text goes character by character
// through a table generated from the program's own mapping.
QStringList mappingFunctions(const QString &name, Mapping mapping, const QString &ascii)
{
    const QString mapper = name + QStringLiteral("_mapped");
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION %1(t text) RETURNS text LANGUAGE plpgsql "
                       "IMMUTABLE STRICT PARALLEL SAFE AS $fn$ BEGIN RETURN (SELECT "
                       "coalesce(string_agg(coalesce($map$%2$map$::jsonb ->> c, c), '' ORDER BY "
                       "n), '') FROM unnest(string_to_array(t, NULL)) WITH ORDINALITY AS s(c, "
                       "n)); END $fn$")
            .arg(mapper, mappingJson(mapping)),
        // Not STRICT, so that the server writes the body in place of each call (a scan pays
        // no call per row); NULL still gives NULL. From version 14 on the body is kept parsed,
        // naming the mapper itself rather than looking it up by name, as a restore must have
        // it: it runs with an empty search path while it builds the indexes that call this.
        QStringLiteral(
            "DO $do$ BEGIN IF current_setting('server_version_num')::int >= 140000 THEN EXECUTE "
            "$f$CREATE OR REPLACE FUNCTION %1(t text) RETURNS text LANGUAGE sql IMMUTABLE "
            "PARALLEL SAFE RETURN %2$f$; ELSE EXECUTE $f$CREATE OR REPLACE FUNCTION %1(t text) "
            "RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $fn$ SELECT %2 $fn$$f$; END "
            "IF; END $do$")
            .arg(name,
                 QStringLiteral("CASE WHEN octet_length(t) = char_length(t) THEN %1(t COLLATE "
                                "\"C\") ELSE %2(t) END")
                     .arg(ascii, mapper)),
    };
}

QString parameterType(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
        return QStringLiteral("bigint");
    case QMetaType::Double:
    case QMetaType::Float:
        return QStringLiteral("float8");
    default:
        return QStringLiteral("text");
    }
}

void searchText(FilterName &column, const TableDef &table, const QString &name)
{
    if (column.kind != ValueKind::Text)
        return;
    column.folded = true;
    if (sql::fullTextColumns(table).contains(name)) {
        column.fullTextColumn = name;
        column.fullTextSql =
            column.candidatesSql + QStringLiteral("sv_fold(%1) LIKE ?").arg(quote(name));
    }
}

} // namespace

QStringList createFunctions()
{
    // Generated once: it walks every character.
    static const QStringList mappings = [] {
        QStringList statements;
        statements
            << mappingFunctions(QStringLiteral("sv_upper"), Mapping::Upper, QStringLiteral("upper"))
            << mappingFunctions(QStringLiteral("sv_lower"), Mapping::Lower, QStringLiteral("lower"))
            << mappingFunctions(QStringLiteral("sv_fold"), Mapping::Fold, QStringLiteral("upper"));
        return statements;
    }();
    QStringList statements{
        // A login without the right to add extensions still gets a working catalogue.
        QStringLiteral(
            "DO $do$ BEGIN CREATE EXTENSION IF NOT EXISTS pg_trgm; EXCEPTION WHEN "
            "insufficient_privilege OR undefined_file OR feature_not_supported THEN NULL; "
            "END $do$"),
        // SQLite's CAST(text AS NUMERIC): the number the text starts with after blanks, 0 for
        // none; an integer (scale 0) when it is written as one and fits 64 bits, or when it is
        // written as a real that is a whole number below 2^51; else a real (scale 1 at least).
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION sv_number(t text) RETURNS numeric LANGUAGE plpgsql "
            "IMMUTABLE STRICT PARALLEL SAFE AS $fn$ DECLARE m text := substring(t from "
            "'^[ \\t\\n\\f\\r\\v]*([+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?)'); "
            "n numeric; BEGIN IF m IS NULL THEN RETURN 0; END IF; n := m::numeric; "
            "IF m ~ '^[+-]?[0-9]+$' AND n BETWEEN -9223372036854775808 AND 9223372036854775807 "
            "THEN RETURN n; END IF; IF n = trunc(n) AND abs(n) < 2251799813685248 THEN RETURN "
            "trunc(n); END IF; RETURN CASE WHEN scale(n) = 0 THEN n + 0.0 ELSE n END; END $fn$"),
        // SQLite's CAST(real AS TEXT): 15 significant digits, always a decimal point.
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION sv_text(v double precision) RETURNS text LANGUAGE "
            "plpgsql IMMUTABLE STRICT PARALLEL SAFE SET extra_float_digits = 0 AS $fn$ DECLARE "
            "s text; m text; BEGIN IF v = 'Infinity'::float8 THEN RETURN 'Inf'; END IF; IF v = "
            "'-Infinity'::float8 THEN RETURN '-Inf'; END IF; IF v = 0 THEN RETURN '0.0'; END IF; "
            "s := v::text; m := split_part(s, 'e', 1); IF position('.' in m) = 0 THEN m := m || "
            "'.0'; END IF; IF position('e' in s) > 0 THEN RETURN m || 'e' || split_part(s, 'e', "
            "2); END IF; RETURN m; END $fn$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION sv_text(v bigint) RETURNS text LANGUAGE sql "
                       "IMMUTABLE STRICT PARALLEL SAFE AS $fn$ SELECT v::text $fn$"),
        QStringLiteral("CREATE OR REPLACE FUNCTION sv_text(v numeric) RETURNS text LANGUAGE sql "
                       "IMMUTABLE STRICT PARALLEL SAFE AS $fn$ SELECT CASE WHEN scale(v) = 0 THEN "
                       "v::text WHEN abs(v) >= 1e308 THEN CASE WHEN v > 0 THEN 'Inf' ELSE '-Inf' "
                       "END ELSE sv_text(v::float8) END $fn$"),
        // SQLite's substr(text, start, length), negative starts and lengths included; the
        // numbers are cut to whole ones toward zero.
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION sv_substr(t text, a double precision, b double "
            "precision) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $fn$ "
            "DECLARE p1 bigint := trunc(least(greatest(a, -2147483647), 2147483647)); p2 bigint "
            ":= trunc(least(greatest(b, -2147483647), 2147483647)); negative boolean := p2 < 0; "
            "BEGIN IF negative THEN p2 := -p2; END IF; IF p1 < 0 THEN p1 := p1 + "
            "char_length(t); IF p1 < 0 THEN p2 := greatest(p2 + p1, 0); p1 := 0; END IF; ELSIF "
            "p1 > 0 THEN p1 := p1 - 1; ELSIF p2 > 0 THEN p2 := p2 - 1; END IF; IF negative THEN "
            "p1 := p1 - p2; IF p1 < 0 THEN p2 := p2 + p1; p1 := 0; END IF; END IF; RETURN "
            "substr(t, (p1 + 1)::int, p2::int); END $fn$"),
    };
    return statements + mappings;
}

QString numbered(const QString &sql, const QVariantList &parameters, int first)
{
    QString result;
    result.reserve(sql.size() + parameters.size() * 12);
    QChar quoted; // the quote of the quoted text or name being read, else null
    qsizetype index = 0;
    for (const QChar c : sql) {
        if (!quoted.isNull()) {
            if (c == quoted)
                quoted = QChar();
        } else if (c == u'\'' || c == u'"') {
            quoted = c;
        } else if (c == u'?') {
            result += u'$' + QString::number(first + index) + QStringLiteral("::") +
                      parameterType(parameters.value(index));
            ++index;
            continue;
        }
        result += c;
    }
    return result;
}

bool describeColumn(const TableDef &table, QStringView name, FilterName &column)
{
    FilterName described;
    described.isColumn = true;
    described.candidatesSql = QStringLiteral("SELECT ") + Position + QStringLiteral(" FROM ") +
                              tableName(table) + QStringLiteral(" WHERE ");
    described.positionSql = Position;
    if (const int field = table.fieldIndex(name); field >= 0) {
        const FieldDef &stored = table.fields.at(field);
        described.columnSql = quote(stored.name);
        described.kind = stored.type == FieldType::String ? ValueKind::Text : ValueKind::Number;
        if (const int key = sql::searchKeyOf(table, field); key >= 0) {
            described.keySql = keyTerm(table, field);
            described.keyCondition = optionalCondition(table, key);
        }
        searchText(described, table, stored.name);
    } else if (const int memo = table.memoIndex(name); memo >= 0) {
        described.columnSql = quote(table.memos.at(memo).name);
        searchText(described, table, table.memos.at(memo).name);
    } else {
        return false;
    }
    column = std::move(described);
    return true;
}

QString fullTextIndexName(const TableDef &table, const QString &column)
{
    return table.label + QStringLiteral("_text_") + column;
}

QStringList createFullText(const TableDef &table)
{
    QStringList statements;
    for (const QString &column : sql::fullTextColumns(table)) {
        // Without pg_trgm (or with it out of reach of the search path) searches read the
        // table.
        statements.append(
            QStringLiteral("DO $do$ BEGIN IF to_regprocedure('sv_fold(text)') IS NOT NULL THEN "
                           "EXECUTE $ix$CREATE INDEX IF NOT EXISTS ") +
            quote(fullTextIndexName(table, column)) + QStringLiteral(" ON ") + tableName(table) +
            QStringLiteral(" USING gin (sv_fold(") + quote(column) +
            QStringLiteral(") gin_trgm_ops)$ix$; END IF; EXCEPTION WHEN undefined_object OR "
                           "undefined_function THEN NULL; END $do$"));
    }
    return statements;
}

} // namespace sv::pgsql
