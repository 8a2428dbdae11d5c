#include "sqldialect.h"

namespace sv::sql {

namespace {

const QString Position = QStringLiteral("sv_pos");
const QString Revision = QStringLiteral("sv_rev");

QString keyColumns(const TableDef &table, int key, const QString &suffix = QString())
{
    QStringList columns;
    for (int field : table.keys.at(key).components)
        columns.append(keyTerm(table, field) + suffix);
    return columns.join(u", ");
}

QString placeholders(qsizetype count)
{
    QStringList marks(count, QStringLiteral("?"));
    return marks.join(u", ");
}

QString sqlType(FieldType type)
{
    return type == FieldType::String ? QStringLiteral("TEXT NOT NULL DEFAULT ''")
                                     : QStringLiteral("INTEGER NOT NULL DEFAULT 0");
}

QString orderBy(const TableDef &table, int key, Direction direction)
{
    const QString suffix = direction == Direction::Backward ? QStringLiteral(" DESC") : QString();
    if (key < 0)
        return Position + suffix;
    return keyColumns(table, key, suffix) + QStringLiteral(", ") + Position + suffix;
}

// The order within one leading value: the key's other terms and the position. The leading
// term is left out, as the engine would otherwise sort what the index already gives in order.
QString orderAfterLead(const TableDef &table, int key, Direction direction)
{
    const QString suffix = direction == Direction::Backward ? QStringLiteral(" DESC") : QString();
    QStringList columns;
    for (int field : table.keys.at(key).components.mid(1))
        columns.append(keyTerm(table, field) + suffix);
    columns.append(Position + suffix);
    return columns.join(u", ");
}

QString boundCondition(const TableDef &table, int key, Direction direction, Bound bound)
{
    const bool forward = direction == Direction::Forward;
    QString op = forward ? QStringLiteral(">") : QStringLiteral("<");
    if (bound == Bound::Inclusive)
        op += u'=';
    if (key < 0)
        return Position + u' ' + op + QStringLiteral(" ?");
    const qsizetype n = table.keys.at(key).components.size() + 1;
    return u'(' + keyColumns(table, key) + QStringLiteral(", ") + Position + QStringLiteral(") ") +
           op + QStringLiteral(" (") + placeholders(n) + u')';
}

// The bound of one part of a walk led by a computed term (Walk::Part).
QString partBoundCondition(const TableDef &table, const Walk &walk)
{
    const bool forward = walk.direction == Direction::Forward;
    const QList<int> &components = table.keys.at(walk.key).components;
    const QString lead = keyTerm(table, components.first());
    if (walk.part == Walk::Part::PastLead)
        return lead + (forward ? QStringLiteral(" > ?") : QStringLiteral(" < ?"));
    QStringList rest;
    for (int field : components.mid(1))
        rest.append(keyTerm(table, field));
    rest.append(Position);
    QString op = forward ? QStringLiteral(">") : QStringLiteral("<");
    if (walk.bound == Bound::Inclusive)
        op += u'=';
    return lead + QStringLiteral(" = ? AND (") + rest.join(u", ") + QStringLiteral(") ") + op +
           QStringLiteral(" (") + placeholders(rest.size()) + u')';
}

} // namespace

QString quote(const QString &identifier)
{
    QString escaped = identifier;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString tableName(const QString &schema, const TableDef &table)
{
    return quote(schema) + u'.' + quote(table.label);
}

bool hasKeyText(const TableDef &table, int field)
{
    if (table.fields.at(field).type != FieldType::String)
        return false;
    for (const KeyDef &key : table.keys) {
        if (!key.onDemand && key.components.contains(field))
            return true;
    }
    return false;
}

QString keyTerm(const TableDef &table, int field)
{
    if (hasKeyText(table, field) || table.fields.at(field).type != FieldType::String)
        return quote(keyColumn(table, field));
    return QStringLiteral("upper(") + quote(table.fields.at(field).name) + u')';
}

bool ledByComputedTerm(const TableDef &table, int key)
{
    if (key < 0)
        return false;
    const int lead = table.keys.at(key).components.first();
    return table.fields.at(lead).type == FieldType::String && !hasKeyText(table, lead);
}

QString keyColumn(const TableDef &table, int field)
{
    const QString &name = table.fields.at(field).name;
    return hasKeyText(table, field) ? QStringLiteral("k_") + name : name;
}

QStringList dataColumns(const TableDef &table)
{
    QStringList columns;
    for (const FieldDef &field : table.fields)
        columns.append(field.name);
    for (const MemoDef &memo : table.memos)
        columns.append(memo.name);
    return columns;
}

QStringList keyTextFields(const TableDef &table)
{
    QStringList names;
    for (int field = 0; field < table.fields.size(); ++field) {
        if (hasKeyText(table, field))
            names.append(table.fields.at(field).name);
    }
    return names;
}

QStringList allColumns(const TableDef &table)
{
    QStringList columns{Position, Revision};
    columns += dataColumns(table);
    for (const QString &name : keyTextFields(table))
        columns.append(QStringLiteral("k_") + name);
    return columns;
}

QString createTable(const QString &schema, const TableDef &table)
{
    QStringList columns{quote(Position) + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT"),
                        quote(Revision) + QStringLiteral(" INTEGER NOT NULL DEFAULT 1")};
    for (const FieldDef &field : table.fields)
        columns.append(quote(field.name) + u' ' + sqlType(field.type));
    for (const MemoDef &memo : table.memos)
        columns.append(quote(memo.name) + u' ' + sqlType(FieldType::String));
    for (const QString &name : keyTextFields(table))
        columns.append(quote(QStringLiteral("k_") + name) + u' ' + sqlType(FieldType::String));
    return QStringLiteral("CREATE TABLE ") + tableName(schema, table) + QStringLiteral(" (") +
           columns.join(u", ") + u')';
}

namespace {

QString counters(const QString &schema)
{
    return quote(schema) + u'.' + quote(QString::fromLatin1(CountersTable));
}

// The revision the next write gets: one past the last the file gave.
QString nextRevision(const QString &schema)
{
    return QStringLiteral("(SELECT last_revision + 1 FROM ") + counters(schema) + u')';
}

QString triggerName(const QString &schema, const TableDef &table, const QString &event)
{
    return quote(schema) + u'.' + quote(table.label + u'_' + event);
}

const QStringList TriggerEvents{QStringLiteral("added"), QStringLiteral("deleted"),
                                QStringLiteral("revised")};

} // namespace

QStringList createBookkeeping(const QString &schema, const TableDef &table)
{
    // Inside a trigger, table names are those of the trigger's own file.
    const QString target = quote(QString::fromLatin1(CountersTable));
    const QString label = quote(table.label);
    const QString keepRevision =
        QStringLiteral("last_revision = max(last_revision + 1, new.") + Revision + u')';
    return {QStringLiteral("CREATE TABLE ") + counters(schema) +
                QStringLiteral(" (record_count INTEGER NOT NULL, last_revision INTEGER NOT NULL)"),
            QStringLiteral("INSERT INTO ") + counters(schema) + QStringLiteral(" VALUES (0, 0)"),
            QStringLiteral("CREATE TRIGGER ") + triggerName(schema, table, TriggerEvents.at(0)) +
                QStringLiteral(" AFTER INSERT ON ") + label + QStringLiteral(" BEGIN UPDATE ") +
                target + QStringLiteral(" SET record_count = record_count + 1, ") + keepRevision +
                QStringLiteral("; END"),
            QStringLiteral("CREATE TRIGGER ") + triggerName(schema, table, TriggerEvents.at(1)) +
                QStringLiteral(" AFTER DELETE ON ") + label + QStringLiteral(" BEGIN UPDATE ") +
                target + QStringLiteral(" SET record_count = record_count - 1; END"),
            QStringLiteral("CREATE TRIGGER ") + triggerName(schema, table, TriggerEvents.at(2)) +
                QStringLiteral(" AFTER UPDATE OF ") + Revision + QStringLiteral(" ON ") + label +
                QStringLiteral(" BEGIN UPDATE ") + target + QStringLiteral(" SET ") + keepRevision +
                QStringLiteral("; END"),
            QStringLiteral("PRAGMA %1.application_id = %2").arg(quote(schema)).arg(FileLayout)};
}

QStringList dropBookkeeping(const QString &schema, const TableDef &table)
{
    QStringList statements;
    for (const QString &event : TriggerEvents)
        statements.append(QStringLiteral("DROP TRIGGER IF EXISTS ") +
                          triggerName(schema, table, event));
    statements.append(QStringLiteral("DROP TABLE IF EXISTS ") + counters(schema));
    return statements;
}

QStringList recount(const QString &schema, const TableDef &table)
{
    return {QStringLiteral("INSERT INTO ") + counters(schema) +
                QStringLiteral(" SELECT 0, 0 WHERE NOT EXISTS (SELECT 1 FROM ") + counters(schema) +
                u')',
            QStringLiteral("UPDATE ") + counters(schema) +
                QStringLiteral(" SET record_count = (SELECT count(*) FROM ") +
                tableName(schema, table) +
                QStringLiteral("), last_revision = max(last_revision, ") +
                QStringLiteral("(SELECT ifnull(max(") + Revision + QStringLiteral("), 0) FROM ") +
                tableName(schema, table) + QStringLiteral("))")};
}

QString fileLayout(const QString &schema)
{
    return QStringLiteral("PRAGMA ") + quote(schema) + QStringLiteral(".application_id");
}

QString indexName(const TableDef &table, int key)
{
    return table.label + u'_' + table.keys.at(key).name;
}

QString optionalCondition(const TableDef &table, int key)
{
    const KeyDef &def = table.keys.at(key);
    if (!def.optional)
        return QString();
    const int leading = def.components.first();
    const bool isText = table.fields.at(leading).type == FieldType::String;
    return u'(' + quote(keyColumn(table, leading)) +
           (isText ? QStringLiteral(" <> ''") : QStringLiteral(" <> 0")) + u')';
}

QString linkedField(const TableDef &table, const LinkDef &link, const QString &linkedSchema,
                    int linkedField)
{
    const TableDef &linked = tableDef(link.table);
    const int matched = linked.keys.at(link.key).components.first();
    // Key text on both sides or on neither, so both compare by the same rule.
    const bool asKeys = hasKeyText(table, link.field) && hasKeyText(linked, matched);
    const QString ours = asKeys ? keyColumn(table, link.field) : table.fields.at(link.field).name;
    const QString theirs = asKeys ? keyColumn(linked, matched) : linked.fields.at(matched).name;
    QStringList conditions{quote(theirs) + QStringLiteral(" = ") + quote(table.label) + u'.' +
                           quote(ours)};
    if (linked.keys.at(link.key).optional)
        conditions.append(optionalCondition(linked, link.key));
    const bool isText = linked.fields.at(linkedField).type == FieldType::String;
    return QStringLiteral("COALESCE((SELECT ") + quote(linked.fields.at(linkedField).name) +
           QStringLiteral(" FROM ") + tableName(linkedSchema, linked) + QStringLiteral(" WHERE ") +
           conditions.join(QStringLiteral(" AND ")) + QStringLiteral(" LIMIT 1), ") +
           (isText ? QStringLiteral("''") : QStringLiteral("0")) + u')';
}

QString createIndex(const QString &schema, const TableDef &table, int key, IfMissing ifMissing)
{
    const KeyDef &def = table.keys.at(key);
    QString statement =
        QStringLiteral("CREATE ") + (def.unique ? QStringLiteral("UNIQUE ") : QString()) +
        QStringLiteral("INDEX ") +
        (ifMissing == IfMissing::Yes ? QStringLiteral("IF NOT EXISTS ") : QString()) +
        quote(schema) + u'.' + quote(indexName(table, key)) + QStringLiteral(" ON ") +
        quote(table.label) + QStringLiteral(" (") + keyColumns(table, key) + u')';
    if (def.optional)
        statement += QStringLiteral(" WHERE ") + optionalCondition(table, key);
    return statement;
}

QString dropIndex(const QString &schema, const TableDef &table, int key)
{
    return QStringLiteral("DROP INDEX IF EXISTS ") + quote(schema) + u'.' +
           quote(indexName(table, key));
}

QStringList fullTextColumns(const TableDef &table)
{
    QStringList columns;
    if (!table.fullText)
        return columns;
    for (const FieldDef &field : table.fields) {
        if (field.type == FieldType::String)
            columns.append(field.name);
    }
    for (const MemoDef &memo : table.memos)
        columns.append(memo.name);
    return columns;
}

QString fullTextName(const TableDef &table)
{
    return table.label + QStringLiteral("_text");
}

QStringList fullTextTriggers(const TableDef &table)
{
    const QString name = fullTextName(table);
    return {name + QStringLiteral("_added"), name + QStringLiteral("_changed"),
            name + QStringLiteral("_deleted")};
}

namespace {

// Adds to the index `into` the folded texts of the record `row` names in a trigger ("new."),
// or of every record of `from` when `row` is empty.
QString fullTextInsert(const TableDef &table, const QString &into, const QString &row,
                       const QString &from = QString())
{
    QStringList targets{QStringLiteral("rowid")};
    QStringList values{row + quote(Position)};
    for (const QString &column : fullTextColumns(table)) {
        targets.append(quote(column));
        values.append(QStringLiteral("sv_fold(") + row + quote(column) + u')');
    }
    const QString source = from.isEmpty() ? QStringLiteral("VALUES (") + values.join(u", ") + u')'
                                          : QStringLiteral("SELECT ") + values.join(u", ") +
                                                QStringLiteral(" FROM ") + from;
    return QStringLiteral("INSERT INTO ") + into + QStringLiteral(" (") + targets.join(u", ") +
           QStringLiteral(") ") + source;
}

} // namespace

QString fillFullText(const QString &schema, const TableDef &table, qint64 after, qint64 upTo)
{
    return fullTextInsert(table, quote(schema) + u'.' + quote(fullTextName(table)), QString(),
                          tableName(schema, table) + QStringLiteral(" WHERE %1 > %2 AND %1 <= %3")
                                                         .arg(quote(Position))
                                                         .arg(after)
                                                         .arg(upTo));
}

QStringList createFullText(const QString &schema, const TableDef &table, bool fill)
{
    const QStringList columns = fullTextColumns(table);
    if (columns.isEmpty())
        return {};
    QStringList quoted;
    for (const QString &column : columns)
        quoted.append(quote(column));
    const QString index = quote(fullTextName(table));
    const QString target = quote(schema) + u'.';
    const QStringList triggers = fullTextTriggers(table);
    // A trigger names tables of its own schema unqualified.
    QStringList changed{QStringLiteral("old.") + quote(Position) + QStringLiteral(" IS NOT new.") +
                        quote(Position)};
    for (const QString &column : columns)
        changed.append(QStringLiteral("old.") + quote(column) + QStringLiteral(" IS NOT new.") +
                       quote(column));
    const QString removeOld = QStringLiteral("DELETE FROM ") + index +
                              QStringLiteral(" WHERE rowid = old.") + quote(Position) +
                              QStringLiteral("; ");
    // Text is folded as searches fold it; the tokenizer compares exactly what it is given.
    QStringList statements{
        QStringLiteral("CREATE VIRTUAL TABLE ") + target + index + QStringLiteral(" USING fts5(") +
            quoted.join(u", ") +
            QStringLiteral(", tokenize = 'trigram case_sensitive 1', columnsize = 0)"),
        fullTextInsert(table, target + index, QString(), tableName(schema, table)),
        QStringLiteral("CREATE TRIGGER ") + target + quote(triggers.at(0)) +
            QStringLiteral(" AFTER INSERT ON ") + quote(table.label) + QStringLiteral(" BEGIN ") +
            fullTextInsert(table, index, QStringLiteral("new.")) + QStringLiteral("; END"),
        QStringLiteral("CREATE TRIGGER ") + target + quote(triggers.at(1)) +
            QStringLiteral(" AFTER UPDATE ON ") + quote(table.label) + QStringLiteral(" WHEN ") +
            changed.join(QStringLiteral(" OR ")) + QStringLiteral(" BEGIN ") + removeOld +
            fullTextInsert(table, index, QStringLiteral("new.")) + QStringLiteral("; END"),
        QStringLiteral("CREATE TRIGGER ") + target + quote(triggers.at(2)) +
            QStringLiteral(" AFTER DELETE ON ") + quote(table.label) + QStringLiteral(" BEGIN ") +
            removeOld + QStringLiteral("END"),
    };
    if (!fill)
        statements.removeAt(1);
    return statements;
}

QStringList dropFullText(const QString &schema, const TableDef &table)
{
    if (!table.fullText)
        return {};
    QStringList statements;
    for (const QString &trigger : fullTextTriggers(table))
        statements.append(QStringLiteral("DROP TRIGGER IF EXISTS ") + quote(schema) + u'.' +
                          quote(trigger));
    statements.append(QStringLiteral("DROP TABLE IF EXISTS ") + quote(schema) + u'.' +
                      quote(fullTextName(table)));
    return statements;
}

QString fullTextQuery(const QString &schema, const TableDef &table)
{
    return QStringLiteral("SELECT rowid FROM ") + quote(schema) + u'.' +
           quote(fullTextName(table)) + QStringLiteral(" WHERE ") + quote(fullTextName(table)) +
           QStringLiteral(" MATCH ?");
}

QString positionColumn()
{
    return quote(Position);
}

QString positionsWhere(const QString &schema, const TableDef &table)
{
    return QStringLiteral("SELECT ") + quote(Position) + QStringLiteral(" FROM ") +
           tableName(schema, table) + QStringLiteral(" WHERE ");
}

int searchKeyOf(const TableDef &table, int field)
{
    if (table.fields.at(field).type == FieldType::String && !hasKeyText(table, field))
        return -1;
    return keyLedBy(table, field);
}

int keyLedBy(const TableDef &table, int field)
{
    int led = -1;
    for (int key = 0; key < table.keys.size(); ++key) {
        const KeyDef &def = table.keys.at(key);
        if (!def.onDemand && def.components.first() == field &&
            (led < 0 || (table.keys.at(led).optional && !def.optional)))
            led = key;
    }
    return led;
}

QString selectList(const TableDef &table, const QList<int> &fields)
{
    QStringList columns{quote(Position), quote(Revision)};
    if (fields.isEmpty()) {
        for (const QString &name : dataColumns(table))
            columns.append(quote(name));
    }
    for (const int field : fields)
        columns.append(quote(table.fields.at(field).name));
    return columns.join(u", ");
}

QString insert(const QString &schema, const TableDef &table)
{
    QStringList columns;
    for (const QString &name : dataColumns(table))
        columns.append(quote(name));
    for (const QString &name : keyTextFields(table))
        columns.append(quote(QStringLiteral("k_") + name));
    return QStringLiteral("INSERT INTO ") + tableName(schema, table) + QStringLiteral(" (") +
           columns.join(u", ") + QStringLiteral(", ") + quote(Revision) +
           QStringLiteral(") VALUES (") + placeholders(columns.size()) + QStringLiteral(", ") +
           nextRevision(schema) + QStringLiteral(") RETURNING ") + quote(Position) +
           QStringLiteral(", ") + quote(Revision);
}

QString insertCopied(const QString &schema, const TableDef &table, int rows)
{
    QStringList columns{quote(Position), quote(Revision)};
    for (const QString &name : dataColumns(table))
        columns.append(quote(name));
    for (const QString &name : keyTextFields(table))
        columns.append(quote(QStringLiteral("k_") + name));
    const QString row = u'(' + placeholders(columns.size()) + u')';
    QStringList values;
    values.reserve(rows);
    for (int i = 0; i < rows; ++i)
        values.append(row);
    return QStringLiteral("INSERT INTO ") + tableName(schema, table) + QStringLiteral(" (") +
           columns.join(u", ") + QStringLiteral(") VALUES ") + values.join(u", ");
}

namespace {

// The columns an ADD writes, without the revision.
QStringList writtenColumns(const TableDef &table)
{
    QStringList columns;
    for (const QString &name : dataColumns(table))
        columns.append(quote(name));
    for (const QString &name : keyTextFields(table))
        columns.append(quote(QStringLiteral("k_") + name));
    return columns;
}

QString stageName(const TableDef &table)
{
    return QStringLiteral("temp.") + quote(QStringLiteral("sv_stage_") + table.label);
}

} // namespace

QString createStage(const TableDef &table)
{
    return QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS ") + stageName(table) +
           QStringLiteral(" (") + writtenColumns(table).join(u", ") + u')';
}

QString insertStaged(const TableDef &table)
{
    return QStringLiteral("INSERT INTO ") + stageName(table) + QStringLiteral(" VALUES (") +
           placeholders(writtenColumns(table).size()) + u')';
}

QString addStaged(const QString &schema, const TableDef &table)
{
    const QString columns = writtenColumns(table).join(u", ");
    // The counter is read once for the statement or again for each row, which the trigger
    // raises: either way the offsets keep the revisions apart and rising.
    return QStringLiteral("INSERT INTO ") + tableName(schema, table) + QStringLiteral(" (") +
           columns + QStringLiteral(", ") + quote(Revision) + QStringLiteral(") SELECT ") +
           columns + QStringLiteral(", (SELECT last_revision FROM ") + counters(schema) +
           QStringLiteral(") + rowid FROM ") + stageName(table) + QStringLiteral(" ORDER BY rowid");
}

QString clearStage(const TableDef &table)
{
    return QStringLiteral("DELETE FROM ") + stageName(table);
}

QString update(const QString &schema, const TableDef &table, bool checkRevision)
{
    QStringList assignments;
    for (const QString &name : dataColumns(table))
        assignments.append(quote(name) + QStringLiteral(" = ?"));
    for (const QString &name : keyTextFields(table))
        assignments.append(quote(QStringLiteral("k_") + name) + QStringLiteral(" = ?"));
    assignments.append(quote(Revision) + QStringLiteral(" = ") + nextRevision(schema));
    QString statement = QStringLiteral("UPDATE ") + tableName(schema, table) +
                        QStringLiteral(" SET ") + assignments.join(u", ") +
                        QStringLiteral(" WHERE ") + quote(Position) + QStringLiteral(" = ?");
    if (checkRevision)
        statement += QStringLiteral(" AND ") + quote(Revision) + QStringLiteral(" = ?");
    return statement + QStringLiteral(" RETURNING ") + quote(Revision);
}

QString updateField(const QString &schema, const TableDef &table, int field)
{
    return QStringLiteral("UPDATE ") + tableName(schema, table) + QStringLiteral(" SET ") +
           quote(table.fields.at(field).name) + QStringLiteral(" = ?, ") + quote(Revision) +
           QStringLiteral(" = ") + nextRevision(schema) + QStringLiteral(" WHERE ") +
           quote(Position) + QStringLiteral(" = ? AND ") + quote(Revision) +
           QStringLiteral(" = ? RETURNING ") + quote(Revision);
}

QString remove(const QString &schema, const TableDef &table, bool checkRevision)
{
    QString statement = QStringLiteral("DELETE FROM ") + tableName(schema, table) +
                        QStringLiteral(" WHERE ") + quote(Position) + QStringLiteral(" = ?");
    if (checkRevision)
        statement += QStringLiteral(" AND ") + quote(Revision) + QStringLiteral(" = ?");
    return statement;
}

QString byPosition(const QString &schema, const TableDef &table, const QList<int> &fields)
{
    return QStringLiteral("SELECT ") + selectList(table, fields) + QStringLiteral(" FROM ") +
           tableName(schema, table) + QStringLiteral(" WHERE ") + quote(Position) +
           QStringLiteral(" = ?");
}

QString revisionOf(const QString &schema, const TableDef &table)
{
    return QStringLiteral("SELECT ") + quote(Revision) + QStringLiteral(" FROM ") +
           tableName(schema, table) + QStringLiteral(" WHERE ") + quote(Position) +
           QStringLiteral(" = ?");
}

QString count(const QString &schema, const TableDef &)
{
    return QStringLiteral("SELECT record_count FROM ") + counters(schema);
}

namespace {

// The conditions of a walk before its filter, in the order of their parameters.
QStringList walkConditions(const TableDef &table, const Walk &walk)
{
    QStringList conditions;
    if (walk.key >= 0 && table.keys.at(walk.key).optional)
        conditions.append(optionalCondition(table, walk.key));
    if (walk.prefixed && walk.key >= 0)
        conditions.append(keyTerm(table, table.keys.at(walk.key).components.first()) +
                          QStringLiteral(" = ?"));
    if (!walk.range.isEmpty() && walk.key >= 0)
        conditions.append(u'(' + walk.range + u')');
    if (walk.bound != Bound::None)
        conditions.append(walk.part == Walk::Part::Whole
                              ? boundCondition(table, walk.key, walk.direction, walk.bound)
                              : partBoundCondition(table, walk));
    if (walk.capped) {
        // Not past the cap: the opposite comparison, inclusive.
        const Direction back =
            walk.direction == Direction::Forward ? Direction::Backward : Direction::Forward;
        conditions.append(boundCondition(table, walk.key, back, Bound::Inclusive));
    }
    return conditions;
}

// A walk reads through its key's index even when a filter would tempt the engine to take
// another index and sort: the order is the key's, and a page must stay one short scan.
QString throughKey(const TableDef &table, int key)
{
    return key >= 0 ? QStringLiteral(" INDEXED BY ") + quote(indexName(table, key)) : QString();
}

QString whereClause(const QStringList &conditions)
{
    return conditions.isEmpty()
               ? QString()
               : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

} // namespace

QString page(const QString &schema, const TableDef &table, const Walk &walk)
{
    QStringList conditions = walkConditions(table, walk);
    if (!walk.filter.isEmpty())
        conditions.append(u'(' + walk.filter + u')');
    QString access = throughKey(table, walk.key);
    if (!walk.candidates.isEmpty()) {
        // Looked up by position (which NOT INDEXED still allows) and sorted: a few records.
        conditions.prepend(quote(Position) + QStringLiteral(" IN (") + walk.candidates + u')');
        access = QStringLiteral(" NOT INDEXED");
    }
    return QStringLiteral("SELECT ") + selectList(table, walk.fields) + QStringLiteral(" FROM ") +
           tableName(schema, table) + access + whereClause(conditions) +
           QStringLiteral(" ORDER BY ") +
           (walk.part == Walk::Part::SameLead ? orderAfterLead(table, walk.key, walk.direction)
                                              : orderBy(table, walk.key, walk.direction)) +
           QStringLiteral(" LIMIT ?");
}

QString page(const QString &schema, const TableDef &table, int key, Direction direction,
             Bound bound, const QString &filter)
{
    Walk walk;
    walk.key = key;
    walk.direction = direction;
    walk.bound = bound;
    walk.filter = filter;
    return page(schema, table, walk);
}

QString matches(const QString &schema, const TableDef &table, const Walk &walk)
{
    QStringList conditions = walkConditions(table, walk);
    if (!walk.filter.isEmpty())
        conditions.append(u'(' + walk.filter + u')');
    QString access = throughKey(table, walk.key);
    if (!walk.candidates.isEmpty()) {
        conditions.prepend(quote(Position) + QStringLiteral(" IN (") + walk.candidates + u')');
        access = QStringLiteral(" NOT INDEXED");
    }
    const QString columns =
        walk.key >= 0 ? keyColumns(table, walk.key) + QStringLiteral(", ") + Position : Position;
    return QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") +
           tableName(schema, table) + access + whereClause(conditions) +
           QStringLiteral(" ORDER BY ") + orderBy(table, walk.key, walk.direction);
}

QString matchesInFileOrder(const QString &schema, const TableDef &table, const Walk &walk)
{
    QStringList conditions = walkConditions(table, walk);
    if (!walk.filter.isEmpty())
        conditions.append(u'(' + walk.filter + u')');
    conditions.append(Position + QStringLiteral(" > ? AND ") + Position + QStringLiteral(" <= ?"));
    const QString columns =
        walk.key >= 0 ? keyColumns(table, walk.key) + QStringLiteral(", ") + Position : Position;
    // The table's own order: the rows are read as they lie in the file, the cheapest way
    // through all of them.
    return QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") +
           tableName(schema, table) + QStringLiteral(" NOT INDEXED") + whereClause(conditions);
}

QString positionsIn()
{
    return QStringLiteral("SELECT value FROM json_each(?)");
}

QString lastPosition(const QString &schema, const TableDef &table)
{
    return QStringLiteral("SELECT max(") + Position + QStringLiteral(") FROM ") +
           tableName(schema, table);
}

QString chunkEnd(const QString &schema, const TableDef &table, const Walk &walk)
{
    const QString columns =
        walk.key >= 0 ? keyColumns(table, walk.key) + QStringLiteral(", ") + Position : Position;
    return QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM ") +
           tableName(schema, table) + throughKey(table, walk.key) +
           whereClause(walkConditions(table, walk)) + QStringLiteral(" ORDER BY ") +
           orderBy(table, walk.key, walk.direction) + QStringLiteral(" LIMIT 1 OFFSET ?");
}

namespace {

// The conditions of a record whose key values equal the parameters, within the key.
QStringList keyEquals(const TableDef &table, int key)
{
    QStringList conditions;
    if (table.keys.at(key).optional)
        conditions.append(optionalCondition(table, key));
    for (int field : table.keys.at(key).components)
        conditions.append(keyTerm(table, field) + QStringLiteral(" = ?"));
    return conditions;
}

} // namespace

QString equalKey(const QString &schema, const TableDef &table, int key)
{
    return QStringLiteral("SELECT ") + selectList(table) + QStringLiteral(" FROM ") +
           tableName(schema, table) + QStringLiteral(" WHERE ") +
           keyEquals(table, key).join(QStringLiteral(" AND ")) + QStringLiteral(" ORDER BY ") +
           orderBy(table, key, Direction::Forward) + QStringLiteral(" LIMIT 1");
}

QString highest(const QString &schema, const TableDef &table, int key, int field)
{
    QString statement = QStringLiteral("SELECT ") + quote(table.fields.at(field).name) +
                        QStringLiteral(" FROM ") + tableName(schema, table) +
                        throughKey(table, key);
    if (table.keys.at(key).optional)
        statement += QStringLiteral(" WHERE ") + optionalCondition(table, key);
    return statement + QStringLiteral(" ORDER BY ") + orderBy(table, key, Direction::Backward) +
           QStringLiteral(" LIMIT 1");
}

QString sumLinked(const QString &schema, const TableDef &table, int rangeField, int linkField,
                  const QString &linkedSchema, const TableDef &linked, int linkedField,
                  int sumField)
{
    const auto column = [](const QString &alias, const TableDef &def, int field) {
        return alias + u'.' + quote(def.fields.at(field).name);
    };
    return QStringLiteral("SELECT coalesce(sum(") + column(QStringLiteral("l"), linked, sumField) +
           QStringLiteral("), 0) FROM ") + tableName(schema, table) +
           QStringLiteral(" AS t JOIN ") + tableName(linkedSchema, linked) +
           QStringLiteral(" AS l ON ") + column(QStringLiteral("l"), linked, linkedField) +
           QStringLiteral(" = ") + column(QStringLiteral("t"), table, linkField) +
           QStringLiteral(" WHERE ") + column(QStringLiteral("t"), table, rangeField) +
           QStringLiteral(" = ?1");
}

QString duplicateOf(const QString &schema, const TableDef &table, int key)
{
    const QStringList conditions = keyEquals(table, key)
                                   << quote(Position) + QStringLiteral(" <> ?");
    return QStringLiteral("SELECT 1 FROM ") + tableName(schema, table) + QStringLiteral(" WHERE ") +
           conditions.join(QStringLiteral(" AND ")) + QStringLiteral(" LIMIT 1");
}

} // namespace sv::sql
