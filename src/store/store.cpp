#include "store.h"

#include "errors.h"
#include "sqldialect.h"

#include <sqlite3.h>

namespace sv {

void Bindings::bind(const QString &name, std::function<QVariant()> value, ValueKind kind)
{
    m_names.insert(name.toUpper(), {std::move(value), kind});
}

void Bindings::bindRecord(const QString &prefix, const Record &record)
{
    const TableDef &def = record.definition();
    for (int field = 0; field < def.fields.size(); ++field) {
        const ValueKind kind =
            def.fields.at(field).type == FieldType::String ? ValueKind::Text : ValueKind::Number;
        bind(
            prefix + u':' + def.fields.at(field).name,
            [&record, field] { return record.value(field); }, kind);
    }
    for (int memo = 0; memo < def.memos.size(); ++memo)
        bind(
            prefix + u':' + def.memos.at(memo).name,
            [&record, memo] { return QVariant(record.memo(memo)); }, ValueKind::Text);
}

void Bindings::unbind(const QString &name)
{
    m_names.remove(name.toUpper());
}

std::optional<FilterName> Bindings::lookup(const QString &name) const
{
    const auto it = m_names.constFind(name.toUpper());
    if (it == m_names.constEnd())
        return std::nullopt;
    FilterName bound;
    bound.value = it->value();
    bound.kind = it->kind;
    return bound;
}

Store::Store(const QString &folder) : m_database(std::make_unique<Database>(folder))
{
    registerFilterFunctions(m_database->handle());
    for (TableId id : allTables()) {
        const TableDef &def = tableDef(id);
        m_tables.push_back(std::make_unique<Table>(*m_database, def, def.prefix));
    }
    m_alias = std::make_unique<Table>(*m_database, tableDef(TableId::Songs), AliasSongsPrefix);
}

Store::~Store()
{
    m_alias->close();
    for (auto &table : m_tables)
        table->close();
}

Table *Store::tableByLabel(QStringView label)
{
    if (label.compare(AliasSongsLabel, Qt::CaseInsensitive) == 0)
        return m_alias.get();
    for (auto &table : m_tables) {
        if (label.compare(table->definition().label, Qt::CaseInsensitive) == 0)
            return table.get();
    }
    return nullptr;
}

View::View(Table &table, int key, const QString &filter, const Bindings *bindings)
    : m_table(table), m_key(key), m_filter(filter), m_bindings(bindings)
{
    m_cursor.key = key;
}

namespace {

// How searches for parts of a text column find it.
void searchText(FilterName &column, const TableDef &def, const QString &name)
{
    if (column.kind != ValueKind::Text)
        return;
    column.folded = true;
    if (sql::fullTextColumns(def).contains(name)) {
        column.fullTextColumn = name;
        column.fullTextSql = sql::fullTextQuery(Database::schemaName(def), def);
    }
}

} // namespace

std::optional<FilterName> View::lookup(const QString &name) const
{
    const TableDef &def = m_table.definition();
    const QString prefix = m_table.prefix() + u':';
    if (name.startsWith(prefix, Qt::CaseInsensitive)) {
        const QStringView bare = QStringView(name).mid(prefix.size());
        FilterName column;
        column.isColumn = true;
        const QString schema = Database::schemaName(def);
        column.candidatesSql = sql::positionsWhere(schema, def);
        column.positionSql = sql::positionColumn();
        if (const int field = def.fieldIndex(bare); field >= 0) {
            const FieldDef &stored = def.fields.at(field);
            column.columnSql = sql::quote(stored.name);
            column.kind = stored.type == FieldType::String ? ValueKind::Text : ValueKind::Number;
            if (const int key = sql::keyLedBy(def, field); key >= 0) {
                column.keySql = sql::quote(sql::keyColumn(def, field));
                column.keyCondition = sql::optionalCondition(def, key);
            }
            searchText(column, def, stored.name);
            return column;
        }
        if (const int memo = def.memoIndex(bare); memo >= 0) {
            column.columnSql = sql::quote(def.memos.at(memo).name);
            searchText(column, def, def.memos.at(memo).name);
            return column;
        }
    }
    // A field of a linked record: the record each walked row links to, never what a buffer
    // of that table happens to hold. It is read inside the walk, so the linked table must be
    // open; a name that cannot be served so is unknown rather than something else.
    for (const LinkDef &link : def.links) {
        const TableDef &linked = tableDef(link.table);
        if (!name.startsWith(linked.prefix + u':', Qt::CaseInsensitive))
            continue;
        const int field = linked.fieldIndex(QStringView(name).mid(linked.prefix.size() + 1));
        if (field < 0 || !m_table.database().isAttached(link.table))
            return std::nullopt;
        FilterName column;
        column.isColumn = true;
        column.columnSql = sql::linkedField(def, link, Database::schemaName(linked), field);
        column.kind =
            linked.fields.at(field).type == FieldType::String ? ValueKind::Text : ValueKind::Number;
        return column;
    }
    return m_bindings ? m_bindings->lookup(name) : std::nullopt;
}

bool View::open()
{
    m_filterError.clear();
    const CompiledFilter compiled =
        compileFilter(m_filter, [this](const QString &name) { return lookup(name); });
    if (!compiled.ok) {
        m_filterError = compiled.error;
        m_cursor.filterSql.clear();
        m_cursor.filterParameters.clear();
        setError(err::InvalidFilter);
        return false;
    }
    m_cursor = Cursor{};
    m_cursor.key = m_key;
    m_cursor.keepReading = m_keepReading;
    if (m_range.isValid()) {
        Record range(m_table.definition());
        const int leading = m_table.definition().keys.at(m_key).components.first();
        range.setValue(leading, m_range);
        m_cursor.prefix = {m_table.keyValues(m_key, range).first()};
    }
    m_cursor.filterSql = m_filter.trimmed().isEmpty() ? QString() : compiled.sql;
    m_cursor.filterParameters = compiled.parameters;
    if (!m_table.checkOpen())
        return false;
    restart(Cursor::Start::Beginning);
    chooseCandidates(compiled);
    clearError();
    return true;
}

qint64 View::countCandidates(const CompiledFilter::Candidates &candidates)
{
    sqlite3_stmt *count = m_table.database().statement(
        QStringLiteral("SELECT count(*) FROM (") + candidates.sql + QStringLiteral(" LIMIT ?)"));
    if (!count)
        return -1;
    bindFilterParameters(count, 1, candidates.parameters);
    sqlite3_bind_int(count, int(candidates.parameters.size()) + 1, MaxCandidates + 1);
    const qint64 found = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int64(count, 0) : -1;
    sqlite3_reset(count);
    return found;
}

// A search that an index narrows to a few records reads those records and sorts them; one
// that a range of the walk's own key serves walks that range; one that leaves none is known
// to be empty at once. Otherwise the walk tests the filter on the records in key order.
void View::chooseCandidates(const CompiledFilter &compiled)
{
    const TableDef &def = m_table.definition();
    const QString ownKey =
        m_key >= 0 ? sql::quote(sql::keyColumn(def, def.keys.at(m_key).components.first()))
                   : QString();
    qint64 fewest = -1;
    const CompiledFilter::Candidates *chosen = nullptr;
    bool ownRange = false;
    for (const CompiledFilter::Candidates &candidates : compiled.candidates) {
        const qint64 count = countCandidates(candidates);
        if (count == 0) {
            m_ends.empty = true;
            return;
        }
        if (candidates.keySql == ownKey && !candidates.rangeSql.isEmpty()) {
            // The walk keeps to the range: it starts at its first record and stops after
            // its last one, in either direction, instead of testing the records outside.
            ownRange = true;
            m_cursor.rangeSql +=
                (m_cursor.rangeSql.isEmpty() ? QString() : QStringLiteral(" AND ")) + u'(' +
                candidates.rangeSql + u')';
            m_cursor.rangeParameters += candidates.parameters;
        }
        if (count > 0 && count <= MaxCandidates && (fewest < 0 || count < fewest)) {
            fewest = count;
            chosen = &candidates;
        }
    }
    m_ownRange = ownRange;
    if (chosen && !ownRange) {
        m_cursor.candidatesSql = chosen->sql;
        m_cursor.candidatesParameters = chosen->parameters;
    }
}

bool View::endsValid()
{
    const QPair<quint64, qint64> stamp = m_table.database().changeStamp(m_table.definition());
    if (stamp == m_ends.stamp)
        return true;
    m_ends = Ends{};
    m_ends.stamp = stamp;
    return false;
}

void View::setEnds(const Ends &ends)
{
    if (endsValid() && ends.stamp == m_ends.stamp)
        m_ends = ends;
}

void View::restart(Cursor::Start start)
{
    m_cursor.start = start;
    m_cursor.readAhead.clear();
    m_cursor.boundValues.clear();
    m_cursor.boundPosition = 0;
    m_atBeginning = start == Cursor::Start::Beginning;
    m_lastRead = 0;
    endsValid();
}

bool View::read(bool forward)
{
    const RecordPosition end = forward ? m_ends.last : m_ends.first;
    if (m_ends.empty || (end != 0 && m_lastRead == end)) {
        setError(err::RecordNotAvailable);
        return false;
    }
    const bool fromEnd = std::exchange(m_atBeginning, false);
    if (fromEnd && (forward ? m_ends.first : m_ends.last) != 0) {
        // The records before the known end need not be searched again.
        m_cursor.start = Cursor::Start::On;
        m_cursor.boundValues = forward ? m_ends.firstKey : m_ends.lastKey;
        m_cursor.boundPosition = forward ? m_ends.first : m_ends.last;
    }
    const RecordPosition before = m_lastRead;
    if (!m_table.read(m_cursor, forward)) {
        if (m_cursor.paused) {
            m_atBeginning = fromEnd; // nothing found yet: still searching from the end
            return false;
        }
        m_lastRead = 0;
        if (errorCode() == err::RecordNotAvailable) {
            if (fromEnd) {
                m_ends.empty = true;
            } else if (before != 0) {
                (forward ? m_ends.last : m_ends.first) = before;
                (forward ? m_ends.lastKey : m_ends.firstKey) =
                    m_table.keyValues(m_key, m_cursor.lastKey);
            }
        }
        return false;
    }
    m_lastRead = m_table.position();
    if (fromEnd) {
        (forward ? m_ends.first : m_ends.last) = m_lastRead;
        (forward ? m_ends.firstKey : m_ends.lastKey) = m_table.keyValues(m_key, m_cursor.lastKey);
    }
    return true;
}

void View::setFrom()
{
    restart(Cursor::Start::AtValues);
    m_cursor.boundValues = m_table.keyValues(m_key, m_table.buffer());
}

bool View::reset(RecordPosition position)
{
    if (!m_table.reget(position))
        return false;
    restart(Cursor::Start::On);
    m_cursor.boundValues = m_table.keyValues(m_key, m_table.buffer());
    m_cursor.boundPosition = position;
    return true;
}

} // namespace sv
