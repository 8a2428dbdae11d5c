#include "store.h"

#include "errors.h"
#include "pgdialect.h"
#include "serverdatabase.h"
#include "sqldialect.h"

#include <sqlite3.h>

#include <algorithm>

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

Store::Store(const QString &folder, std::unique_ptr<ServerDatabase> server)
    : m_database(server ? std::make_unique<Database>(folder, std::move(server))
                        : std::make_unique<Database>(folder))
{
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
        if (m_table.database().server())
            return pgsql::describeColumn(def, bare, column) ? std::optional(column) : std::nullopt;
        const QString schema = Database::schemaName(def);
        column.candidatesSql = sql::positionsWhere(schema, def);
        column.positionSql = sql::positionColumn();
        if (const int field = def.fieldIndex(bare); field >= 0) {
            const FieldDef &stored = def.fields.at(field);
            column.columnSql = sql::quote(stored.name);
            column.kind = stored.type == FieldType::String ? ValueKind::Text : ValueKind::Number;
            if (const int key = sql::searchKeyOf(def, field); key >= 0) {
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
        column.columnSql = m_table.database().server()
                               ? pgsql::linkedField(def, link, field)
                               : sql::linkedField(def, link, Database::schemaName(linked), field);
        column.kind =
            linked.fields.at(field).type == FieldType::String ? ValueKind::Text : ValueKind::Number;
        return column;
    }
    return m_bindings ? m_bindings->lookup(name) : std::nullopt;
}

bool View::open()
{
    m_filterError.clear();
    const CompiledFilter compiled = compileFilter(
        m_filter, [this](const QString &name) { return lookup(name); },
        m_table.database().server() ? FilterDialect::Server : FilterDialect::File);
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
    chooseFields();
    if (m_range.isValid()) {
        Record range(m_table.definition());
        const int leading = m_table.definition().keys.at(m_key).components.first();
        range.setValue(leading, m_range);
        m_cursor.prefix = {m_table.keyValues(m_key, range).first()};
    }
    m_cursor.filterSql = m_filter.trimmed().isEmpty() ? QString() : compiled.sql;
    m_cursor.filterParameters = compiled.parameters;
    m_candidates = compiled.candidates;
    m_filterSignature = compiled.sql;
    for (const QVariant &value : compiled.parameters)
        m_filterSignature += QChar(0x1f) + value.toString();
    m_scanning.reset();
    if (!m_table.checkOpen())
        return false;
    restart(Cursor::Start::Beginning);
    const std::shared_ptr<const KnownResult> matches = std::exchange(m_offeredMatches, nullptr);
    const auto current = [this](const std::shared_ptr<const KnownResult> &known) {
        return known && known->stamp == m_ends.stamp && known->filter == m_filterSignature;
    };
    if (current(m_offered)) {
        takeKnown(std::exchange(m_offered, nullptr));
    } else if (current(matches)) {
        QList<qint64> positions;
        positions.reserve(qsizetype(matches->entries.size()));
        for (const KnownResult::Entry &entry : matches->entries)
            positions.append(entry.position);
        findAmong(positions, true);
    }
    m_offered.reset();
    if (!m_cursor.known)
        chooseCandidates();
    clearError();
    return true;
}

// The positions of a set of candidates, as long as there are not more than a known result
// holds (one more tells that there are).
bool View::collectCandidates(const CompiledFilter::Candidates &candidates, QList<qint64> &positions)
{
    return m_table.positions(candidates.sql, candidates.parameters, MaxCandidates + 1, positions);
}

// The fields asked for and the key's, in field order: a page pages on by its key values.
void View::chooseFields()
{
    if (m_fields.isEmpty())
        return;
    const QList<int> keyFields =
        m_key >= 0 ? m_table.definition().keys.at(m_key).components : QList<int>();
    QList<int> fields = m_fields + keyFields;
    std::sort(fields.begin(), fields.end());
    fields.erase(std::unique(fields.begin(), fields.end()), fields.end());
    m_cursor.fields = fields;
    for (const int field : fields)
        m_cursor.fieldsSignature += QString::number(field) + u',';
    for (const int field : keyFields)
        m_cursor.keySlots.append(int(fields.indexOf(field)));
}

void View::takeKnown(std::shared_ptr<const KnownResult> known)
{
    m_cursor.known = std::move(known);
    m_cursor.candidatesSql.clear();
    m_cursor.candidatesParameters.clear();
    m_scanning.reset();
    const QPair<quint64, qint64> stamp = m_ends.stamp;
    m_ends = Ends{};
    m_ends.stamp = stamp;
    const std::vector<KnownResult::Entry> &entries = m_cursor.known->entries;
    m_ends.empty = entries.empty();
    const auto keyOf = [](const KnownResult::Entry &entry) {
        QVariantList key;
        for (const QVariant &value : entry.key)
            key.append(value.typeId() == QMetaType::QByteArray
                           ? QVariant(QString::fromUtf8(value.toByteArray()))
                           : value);
        return key;
    };
    if (!entries.empty()) {
        m_ends.first = entries.front().position;
        m_ends.firstKey = keyOf(entries.front());
        m_ends.last = entries.back().position;
        m_ends.lastKey = keyOf(entries.back());
    }
}

// A search that an index narrows to a few records finds them all at once, in the order of
// the view, and pages turn within them; one that a range of the walk's own key serves walks
// that range; one that leaves none is known to be empty at once. Otherwise the walk tests
// the filter on the records in key order, or a scan finds them all (see scan()).
void View::chooseCandidates()
{
    const TableDef &def = m_table.definition();
    const QString ownKey =
        m_key >= 0 ? sql::quote(sql::keyColumn(def, def.keys.at(m_key).components.first()))
                   : QString();
    QList<qint64> fewest;
    const CompiledFilter::Candidates *chosen = nullptr;
    bool ownRange = false;
    for (const CompiledFilter::Candidates &candidates : std::as_const(m_candidates)) {
        QList<qint64> positions;
        if (!collectCandidates(candidates, positions))
            continue;
        if (positions.isEmpty()) {
            auto none = std::make_shared<KnownResult>();
            none->stamp = m_ends.stamp;
            none->filter = m_filterSignature;
            takeKnown(std::move(none));
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
        if (positions.size() <= MaxCandidates && (!chosen || positions.size() < fewest.size())) {
            fewest = std::move(positions);
            chosen = &candidates;
        }
    }
    m_ownRange = ownRange;
    if (!chosen)
        return;
    findAmong(fewest, chosen->whole);
}

// The records among these positions that the view takes, in its order; `whole`: every one
// of them meets the filter (the index that found them, or another order of the same search,
// tested it), so only the view's own range and key are asked.
void View::findAmong(const QList<qint64> &positions, bool whole)
{
    // The positions go to the engine as one array, so that the index is asked once.
    Cursor all = m_cursor;
    if (m_table.database().server()) {
        all.candidatesSql = pgsql::positionsIn();
        all.candidatesParameters = {pgsql::positionArray(positions)};
    } else {
        QByteArray array = "[";
        for (const qint64 position : positions)
            array += QByteArray::number(position) + ',';
        if (positions.isEmpty())
            array += ']';
        else
            array.back() = ']';
        all.candidatesSql = sql::positionsIn();
        all.candidatesParameters = {QString::fromLatin1(array)};
    }
    if (whole)
        all.filterSql.clear();
    auto known = std::make_shared<KnownResult>();
    known->stamp = m_ends.stamp;
    known->filter = m_filterSignature;
    if (m_table.findAll(all, *known))
        takeKnown(std::move(known));
}

bool View::matchingPositions(std::vector<RecordPosition> &positions)
{
    positions.clear();
    if (!m_table.checkOpen())
        return false;
    if (m_cursor.known && !m_range.isValid()) {
        positions.reserve(m_cursor.known->entries.size());
        for (const KnownResult::Entry &entry : m_cursor.known->entries)
            positions.push_back(entry.position);
        std::sort(positions.begin(), positions.end());
        clearError();
        return true;
    }
    Cursor all;
    all.filterSql = m_cursor.filterSql;
    all.filterParameters = m_cursor.filterParameters;
    if (!m_candidates.isEmpty()) {
        const CompiledFilter::Candidates &candidates = m_candidates.first();
        if (candidates.whole) {
            // The index alone answers: the table itself is not read.
            QList<qint64> found;
            if (!m_table.positions(candidates.sql, candidates.parameters,
                                   std::numeric_limits<int>::max(), found))
                return false;
            positions.assign(found.begin(), found.end());
            std::sort(positions.begin(), positions.end());
            clearError();
            return true;
        }
        all.candidatesSql = candidates.sql;
        all.candidatesParameters = candidates.parameters;
    }
    KnownResult found;
    if (!m_table.findAll(all, found))
        return false;
    positions.reserve(found.entries.size());
    for (const KnownResult::Entry &entry : found.entries)
        positions.push_back(entry.position);
    return true;
}

bool View::takesEveryMatch() const
{
    return !m_range.isValid() && m_key >= 0 && !m_table.definition().keys.at(m_key).optional;
}

bool View::endsValid()
{
    const QPair<quint64, qint64> stamp = m_table.database().changeStamp(m_table.definition());
    if (stamp == m_ends.stamp)
        return true;
    m_ends = Ends{};
    m_ends.stamp = stamp;
    // What was found is out of date: an index finds it again at once, a scan starts afresh.
    m_scanning.reset();
    if (m_cursor.known) {
        m_cursor.known.reset();
        m_cursor.forgetReadAhead();
        m_cursor.rangeSql.clear();
        m_cursor.rangeParameters.clear();
        chooseCandidates();
    }
    return false;
}

View::Scan View::scan(const std::function<bool()> &keepReading)
{
    if (m_cursor.known)
        return Scan::Known;
    endsValid();
    if (!m_scanning) {
        m_scanning = std::make_shared<KnownResult>();
        m_scanning->stamp = m_ends.stamp;
        m_scanning->filter = m_filterSignature;
        m_scannedUpTo = 0;
        m_scanEnd = m_table.lastPosition();
        if (errorCode() != err::None)
            return Scan::Failed;
    }
    Cursor walk = m_cursor;
    walk.forgetReadAhead();
    do {
        if (m_scannedUpTo >= m_scanEnd) {
            std::shared_ptr<KnownResult> found = std::exchange(m_scanning, nullptr);
            found->sortByKey();
            takeKnown(std::move(found));
            return Scan::Known;
        }
        const RecordPosition upTo = std::min(m_scanEnd, m_scannedUpTo + ScanChunk);
        if (!m_table.scanFileOrder(walk, m_scannedUpTo, upTo, *m_scanning)) {
            m_scanning.reset();
            return Scan::Failed;
        }
        m_scannedUpTo = upTo;
        if (tooManyToKeep()) {
            // The key order finds the first of them soon enough.
            m_scanning.reset();
            return Scan::TooMany;
        }
    } while (keepReading());
    return Scan::Going;
}

// Too many found to keep, or foreseen from the share found so far: a dense filter is given
// up after a few chunks instead of after scanning a large part of the file.
bool View::tooManyToKeep() const
{
    const auto found = qsizetype(m_scanning->entries.size());
    if (found > MaxCandidates)
        return true;
    if (m_scannedUpTo < 4 * ScanChunk)
        return false;
    const double foreseen = double(found) / double(m_scannedUpTo) * double(m_scanEnd);
    return foreseen > 4.0 * MaxCandidates;
}

QList<RecordPosition> View::foundSoFar(int count) const
{
    return m_scanning ? m_scanning->firstInOrder(count) : QList<RecordPosition>();
}

void View::setEnds(const Ends &ends)
{
    if (endsValid() && ends.stamp == m_ends.stamp)
        m_ends = ends;
}

void View::restart(Cursor::Start start)
{
    m_cursor.start = start;
    m_cursor.forgetReadAhead();
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
    m_lastRead = m_cursor.fields.isEmpty() ? m_table.position() : m_cursor.row.position;
    if (fromEnd) {
        (forward ? m_ends.first : m_ends.last) = m_lastRead;
        (forward ? m_ends.firstKey : m_ends.lastKey) = m_table.keyValues(m_key, m_cursor.lastKey);
    }
    return true;
}

void View::setFrom(const Record &values)
{
    restart(Cursor::Start::AtValues);
    m_cursor.boundValues = m_table.keyValues(m_key, values);
}

bool View::reset(RecordPosition position)
{
    QVariantList bound;
    if (m_cursor.fields.isEmpty()) {
        if (!m_table.reget(position))
            return false;
        bound = m_table.keyValues(m_key, m_table.buffer());
    } else {
        // Only the key's fields are needed to stand on the record.
        Cursor::Row row;
        if (!m_table.rowAt(m_cursor, position, row))
            return false;
        bound = keyValuesOf(row.fields);
    }
    standAt(Cursor::Start::On, position, std::move(bound));
    return true;
}

void View::resetPast(RecordPosition position, const QVariantList &stored)
{
    standAt(Cursor::Start::After, position, keyValuesOf(stored));
}

void View::standAt(Cursor::Start start, RecordPosition position, QVariantList keyValues)
{
    restart(start);
    m_cursor.boundValues = std::move(keyValues);
    m_cursor.boundPosition = position;
}

QVariantList View::keyValuesOf(const QVariantList &stored) const
{
    QVariantList components;
    for (const int slot : std::as_const(m_cursor.keySlots))
        components.append(stored.at(slot));
    return m_table.keyValues(m_key, components);
}

} // namespace sv
