#include "servertable.h"

#include "keytext.h"
#include "pgdialect.h"

#include <limits>

namespace sv {

ServerTable::ServerTable(ServerDatabase &database, const TableDef &definition,
                         const QString &prefix)
    : m_database(database), m_definition(&definition), m_prefix(prefix), m_ownBuffer(definition),
      m_buffer(m_ownBuffer)
{}

ServerTable::ServerTable(ServerDatabase &database, const TableDef &definition,
                         const QString &prefix, Record &buffer)
    : m_database(database), m_definition(&definition), m_prefix(prefix), m_ownBuffer(definition),
      m_buffer(buffer)
{}

bool ServerTable::open(OpenMode)
{
    if (m_open) {
        setError(err::AlreadyOpen);
        return false;
    }
    if (!m_database.attach(*m_definition))
        return false;
    m_open = true;
    set(-1);
    m_current = 0;
    return true;
}

bool ServerTable::create()
{
    return m_database.createTable(*m_definition);
}

void ServerTable::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_current = 0;
    m_cursor = Cursor{};
    m_database.detach(*m_definition);
    clearError();
}

bool ServerTable::checkOpen()
{
    if (m_open)
        return true;
    setError(err::FileNotOpen);
    return false;
}

QVariantList ServerTable::recordValues(const Record &record) const
{
    QVariantList values;
    for (int field = 0; field < m_definition->fields.size(); ++field)
        values.append(record.value(field));
    return values;
}

// The values a key compares, from the values of every field of a record.
QVariantList ServerTable::keyValues(int key, const QVariantList &fieldValues) const
{
    QVariantList components;
    if (key >= 0) {
        for (const int field : m_definition->keys.at(key).components)
            components.append(fieldValues.at(field));
    }
    return keyValuesOf(*m_definition, key, components);
}

QVariantList ServerTable::writtenValues() const
{
    QVariantList values = recordValues(m_buffer);
    for (int memo = 0; memo < m_definition->memos.size(); ++memo)
        values.append(m_buffer.memo(memo));
    for (int field = 0; field < m_definition->fields.size(); ++field) {
        if (sql::hasKeyText(*m_definition, field))
            values.append(keyText(m_buffer.text(field)));
    }
    return values;
}

void ServerTable::set(int key)
{
    m_cursor = Cursor{};
    m_cursor.key = key;
}

void ServerTable::setFrom(int key)
{
    set(key);
    m_cursor.start = Cursor::Start::AtValues;
    m_cursor.boundValues = keyValues(key, recordValues(m_buffer));
}

bool ServerTable::reset(int key, RecordPosition position)
{
    if (!reget(position))
        return false;
    set(key);
    m_cursor.start = Cursor::Start::On;
    m_cursor.boundValues = keyValues(key, recordValues(m_buffer));
    m_cursor.boundPosition = position;
    return true;
}

bool ServerTable::next()
{
    return read(m_cursor, true);
}

bool ServerTable::previous()
{
    return read(m_cursor, false);
}

bool ServerTable::read(Cursor &cursor, bool forward)
{
    if (!checkOpen())
        return false;
    std::optional<Row> whole;
    if (!cursor.step(
            *m_definition, forward, m_database.generation(),
            [&] { return cursor.known ? fetchKnown(cursor, forward) : fetchPage(cursor, forward); },
            whole))
        return false;
    if (whole)
        loadRow(std::move(*whole));
    clearError();
    return true;
}

namespace {

sql::Walk walkOf(const Cursor &cursor, bool forward, sql::Bound bound)
{
    sql::Walk walk;
    walk.key = cursor.key;
    walk.direction = forward ? sql::Direction::Forward : sql::Direction::Backward;
    walk.bound = bound;
    walk.prefixed = !cursor.prefix.isEmpty();
    walk.filter = cursor.filterSql;
    walk.candidates = cursor.candidatesSql;
    walk.range = cursor.rangeSql;
    walk.fields = cursor.fields;
    return walk;
}

// The walk's parameters up to its filter's, in the order its conditions name them.
QVariantList walkParameters(const Cursor &cursor, const sql::Walk &walk, RecordPosition position)
{
    QVariantList parameters;
    if (!walk.candidates.isEmpty())
        parameters += cursor.candidatesParameters;
    parameters += cursor.prefix;
    if (!walk.range.isEmpty())
        parameters += cursor.rangeParameters;
    if (walk.bound != sql::Bound::None) {
        parameters += cursor.boundValues;
        parameters.append(position);
    }
    parameters += cursor.filterParameters;
    return parameters;
}

} // namespace

ServerDatabase::Result ServerTable::query(const QString &sql, const QVariantList &parameters)
{
    return m_database.run(pgsql::numbered(sql, parameters), parameters);
}

// One page from where the walk stands, in the key's order: one query, the server filtering
// as it goes and stopping at the page's last row.
bool ServerTable::fetchPage(Cursor &cursor, bool forward)
{
    sql::Bound bound = sql::Bound::None;
    RecordPosition position = cursor.boundPosition;
    switch (cursor.start) {
    case Cursor::Start::Beginning:
        break;
    case Cursor::Start::AtValues:
        bound = sql::Bound::Inclusive;
        position = forward ? 0 : std::numeric_limits<qint64>::max();
        break;
    case Cursor::Start::On:
        bound = sql::Bound::Inclusive;
        break;
    case Cursor::Start::After:
        bound = sql::Bound::Exclusive;
        if (cursor.boundValues.isEmpty())
            cursor.boundValues = keyValuesOf(*m_definition, cursor.key, cursor.lastKey);
        break;
    }
    const sql::Walk walk = walkOf(cursor, forward, bound);
    QVariantList parameters = walkParameters(cursor, walk, position);
    parameters.append(qint64(cursor.batch(ReadAhead)));
    const ServerDatabase::Result result = query(pgsql::page(*m_definition, walk), parameters);
    if (!result.ok())
        return false;
    for (int row = 0; row < result.rows(); ++row)
        cursor.readAhead.push_back(readRow(result, row, cursor.fields));
    cursor.shortPage = result.rows() < cursor.batch(ReadAhead);
    return true;
}

// The next rows of a known result, by their positions in one query; rows deleted since are
// passed over.
bool ServerTable::fetchKnown(Cursor &cursor, bool forward)
{
    const std::vector<KnownResult::Entry> &entries = cursor.known->entries;
    const int step = forward ? 1 : -1;
    const int wanted = cursor.batch(ReadAhead);
    qsizetype at = cursor.knownStart(*m_definition, forward);
    while (at >= 0 && at < qsizetype(entries.size()) && int(cursor.readAhead.size()) < wanted) {
        QList<qint64> positions;
        for (; at >= 0 && at < qsizetype(entries.size()) &&
               positions.size() < wanted - int(cursor.readAhead.size());
             at += step)
            positions.append(entries[size_t(at)].position);
        const ServerDatabase::Result result =
            query(pgsql::rowsAt(*m_definition, cursor.fields), {pgsql::positionArray(positions)});
        if (!result.ok())
            return false;
        QHash<qint64, Row> rows;
        for (int row = 0; row < result.rows(); ++row) {
            Row read = readRow(result, row, cursor.fields);
            rows.insert(read.position, std::move(read));
        }
        for (const qint64 position : std::as_const(positions)) {
            if (auto it = rows.find(position); it != rows.end())
                cursor.readAhead.push_back(std::move(*it));
        }
    }
    return true;
}

// Entries of a known result: the key's terms as the key compares them (texts as sent, UTF-8),
// then the position.
bool ServerTable::readEntries(const ServerDatabase::Result &result, int key, KnownResult &found)
{
    if (!result.ok())
        return false;
    QList<bool> isText;
    if (key >= 0) {
        for (const int field : m_definition->keys.at(key).components)
            isText.append(m_definition->fields.at(field).type == FieldType::String);
    }
    const int keyColumns = int(isText.size());
    for (int row = 0; row < result.rows(); ++row) {
        KnownResult::Entry entry;
        entry.key.reserve(keyColumns);
        for (int column = 0; column < keyColumns; ++column)
            entry.key.append(isText.at(column) ? QVariant(result.bytes(row, column))
                                               : QVariant(result.number(row, column)));
        entry.position = result.number(row, keyColumns);
        found.entries.push_back(std::move(entry));
    }
    clearError();
    return true;
}

bool ServerTable::findAll(const Cursor &cursor, KnownResult &result)
{
    if (!checkOpen())
        return false;
    const sql::Walk walk = walkOf(cursor, true, sql::Bound::None);
    result.entries.clear();
    if (!readEntries(query(pgsql::matches(*m_definition, walk), walkParameters(cursor, walk, 0)),
                     cursor.key, result))
        return false;
    result.index();
    return true;
}

bool ServerTable::scanFileOrder(const Cursor &cursor, RecordPosition after, RecordPosition upTo,
                                KnownResult &result)
{
    if (!checkOpen())
        return false;
    const sql::Walk walk = walkOf(cursor, true, sql::Bound::None);
    QVariantList parameters = walkParameters(cursor, walk, 0);
    parameters << after << upTo;
    return readEntries(query(pgsql::matchesInFileOrder(*m_definition, walk), parameters),
                       cursor.key, result);
}

bool ServerTable::rowAt(const Cursor &cursor, RecordPosition position, Cursor::Row &row)
{
    if (!checkOpen())
        return false;
    const ServerDatabase::Result result =
        query(pgsql::rowsAt(*m_definition, cursor.fields), {pgsql::positionArray({position})});
    if (!result.ok())
        return false;
    if (result.rows() == 0) {
        setError(err::RecordNotFound);
        return false;
    }
    row = readRow(result, 0, cursor.fields);
    clearError();
    return true;
}

RecordPosition ServerTable::lastPosition()
{
    if (!checkOpen())
        return 0;
    const ServerDatabase::Result result = query(pgsql::lastPosition(*m_definition), {});
    if (!result.ok())
        return 0;
    clearError();
    return result.number(0, 0);
}

bool ServerTable::positions(const QString &sql, const QVariantList &parameters, int limit,
                            QList<qint64> &found)
{
    found.clear();
    QVariantList limited = parameters;
    limited.append(qint64(limit));
    const ServerDatabase::Result result = query(
        QStringLiteral("SELECT * FROM (") + sql + QStringLiteral(") AS found LIMIT ?"), limited);
    if (!result.ok())
        return false;
    for (int row = 0; row < result.rows(); ++row)
        found.append(result.number(row, 0));
    clearError();
    return true;
}

// A row as the walk reads it: every field and memo, or only the walk's fields as stored
// (texts as UTF-8 bytes, decoded only when shown).
ServerTable::Row ServerTable::readRow(const ServerDatabase::Result &result, int row,
                                      const QList<int> &fields) const
{
    Row read{result.number(row, 0), result.number(row, 1), {}, {}};
    int column = 2;
    if (!fields.isEmpty()) {
        read.fields.reserve(fields.size());
        for (const int field : fields) {
            if (m_definition->fields.at(field).type == FieldType::String)
                read.fields.append(result.bytes(row, column++));
            else
                read.fields.append(result.number(row, column++));
        }
        return read;
    }
    read.fields.reserve(m_definition->fields.size());
    for (const FieldDef &field : m_definition->fields) {
        if (field.type == FieldType::String)
            read.fields.append(result.text(row, column++));
        else
            read.fields.append(result.number(row, column++));
    }
    for (qsizetype memo = 0; memo < m_definition->memos.size(); ++memo)
        read.memos.append(result.text(row, column++));
    return read;
}

void ServerTable::loadRow(Row &&row)
{
    m_buffer.loadStored(std::move(row.fields), std::move(row.memos));
    m_current = row.position;
    m_currentRevision = row.revision;
    if (m_watchNextRead) {
        m_watchedRevision = row.revision;
        m_watchNextRead = false;
    } else {
        m_watchedRevision.reset();
    }
}

bool ServerTable::readOne(const ServerDatabase::Result &result)
{
    if (!result.ok())
        return false;
    if (result.rows() == 0) {
        setError(err::RecordNotFound);
        return false;
    }
    loadRow(readRow(result, 0, {}));
    clearError();
    return true;
}

bool ServerTable::get(int key)
{
    if (!checkOpen())
        return false;
    return readOne(m_database.run(pgsql::equalKey(*m_definition, key),
                                  keyValues(key, recordValues(m_buffer))));
}

bool ServerTable::reget(RecordPosition position)
{
    if (!checkOpen())
        return false;
    return readOne(m_database.run(pgsql::byPosition(*m_definition), {position}));
}

void ServerTable::setCurrent(const CurrentRecord &record)
{
    m_current = record.position;
    m_currentRevision = record.revision;
    m_watchedRevision = record.watchedRevision;
}

bool ServerTable::add()
{
    if (!checkOpen() || !m_database.writable())
        return false;
    // Many records are added in a row (an import's batch): no savepoint round trips for them.
    const ServerDatabase::Result result =
        m_database.writeOnce(pgsql::insert(*m_definition), writtenValues());
    if (!result.ok() || result.rows() == 0) {
        m_current = 0; // the buffer holds a record that is not in the table
        if (result.ok())
            setError(err::DuplicateKey);
        return false;
    }
    m_current = result.number(0, 0);
    m_currentRevision = result.number(0, 1);
    m_database.noteWrite();
    m_watchedRevision.reset();
    clearError();
    return true;
}

bool ServerTable::put()
{
    if (!checkOpen() || !m_database.writable())
        return false;
    if (m_current == 0) {
        setError(err::RecordNotAvailable);
        return false;
    }
    const bool watched = m_watchedRevision.has_value();
    QVariantList parameters = writtenValues();
    parameters.append(m_current);
    if (watched)
        parameters.append(*m_watchedRevision);
    const ServerDatabase::Result result =
        m_database.write(pgsql::update(*m_definition, watched), parameters);
    if (!result.ok())
        return false;
    if (result.rows() == 0)
        return failUnchanged(m_current);
    m_database.noteWrite();
    m_currentRevision = result.number(0, 0);
    m_watchedRevision.reset();
    clearError();
    return true;
}

bool ServerTable::remove()
{
    if (!checkOpen() || !m_database.writable())
        return false;
    if (m_current == 0) {
        setError(err::RecordNotAvailable);
        return false;
    }
    const bool watched = m_watchedRevision.has_value();
    QVariantList parameters{m_current};
    if (watched)
        parameters.append(*m_watchedRevision);
    const ServerDatabase::Result result =
        m_database.write(pgsql::remove(*m_definition, watched), parameters);
    if (!result.ok())
        return false;
    if (result.rows() == 0)
        return failUnchanged(m_current);
    m_database.noteWrite();
    m_current = 0;
    m_watchedRevision.reset();
    clearError();
    return true;
}

bool ServerTable::putNumber(RecordPosition position, qint64 *revision, int field, qint64 value)
{
    if (!checkOpen() || !m_database.writable())
        return false;
    const FieldDef &def = m_definition->fields.at(field);
    if (def.type == FieldType::String) {
        setError(err::BadOption);
        return false;
    }
    const ServerDatabase::Result result =
        m_database.write(pgsql::updateField(*m_definition, field),
                         {fitNumber(def.type, def.size, value), position, *revision});
    if (!result.ok())
        return false;
    if (result.rows() == 0)
        return failUnchanged(position);
    m_database.noteWrite();
    *revision = result.number(0, 0);
    clearError();
    return true;
}

bool ServerTable::highest(int key, int field, qint64 &value)
{
    value = 0;
    if (!checkOpen())
        return false;
    const ServerDatabase::Result result = m_database.run(pgsql::highest(*m_definition, key, field));
    if (!result.ok())
        return false;
    if (result.rows() > 0)
        value = result.number(0, 0);
    clearError();
    return true;
}

// A write that found no record to change: 89 when the record is still there (another station
// changed it since it was read under WATCH), 35 when it is gone. Positions are never given
// twice, so a record another station added in its place is never the one written.
bool ServerTable::failUnchanged(RecordPosition position)
{
    const ServerDatabase::Result exists =
        m_database.run(pgsql::revisionOf(*m_definition), {position});
    if (!exists.ok())
        return false;
    setError(exists.rows() > 0 ? err::ChangedByAnotherStation : err::RecordNotFound);
    return false;
}

ServerTable::Found ServerTable::duplicate(int key)
{
    if (!checkOpen())
        return Found::Failed;
    const KeyDef &def = m_definition->keys.at(key);
    if (!def.unique || (def.optional && m_buffer.isBlank(def.components.first()))) {
        clearError();
        return Found::No;
    }
    QVariantList parameters = keyValues(key, recordValues(m_buffer));
    parameters.append(m_current);
    const ServerDatabase::Result result =
        m_database.run(pgsql::duplicateOf(*m_definition, key), parameters);
    if (!result.ok())
        return Found::Failed;
    clearError();
    return result.rows() > 0 ? Found::Yes : Found::No;
}

bool ServerTable::sumLinked(int rangeField, qint64 range, int linkField, const TableDef &linked,
                            int linkedField, int sumField, qint64 &total)
{
    total = 0;
    if (!checkOpen())
        return false;
    const ServerDatabase::Result result =
        query(pgsql::sumLinked(*m_definition, rangeField, linkField, linked, linkedField, sumField),
              {range});
    if (!result.ok())
        return false;
    total = result.number(0, 0);
    clearError();
    return true;
}

qint64 ServerTable::bytes()
{
    const ServerDatabase::Result result = query(pgsql::tableBytes(), {m_definition->label});
    return result.ok() && result.rows() > 0 ? result.number(0, 0) : 0;
}

bool ServerTable::build()
{
    if (!m_database.execute(pgsql::rebuildIndexes(*m_definition)))
        return false;
    m_database.noteWrite();
    clearError();
    return true;
}

bool ServerTable::pack()
{
    if (m_database.inTransaction()) {
        setError(err::LogoutActive); // the server packs a table only outside a transaction
        return false;
    }
    if (!m_database.execute(pgsql::pack(*m_definition)))
        return false;
    clearError();
    return true;
}

qint64 ServerTable::records()
{
    if (!checkOpen())
        return 0;
    // Counted again only when the table changed since: a count reads every record.
    const qint64 stamp = m_database.changeStamp(*m_definition);
    if (stamp >= 0 && stamp == m_counted.stamp && m_database.generation() == m_counted.generation) {
        clearError();
        return m_counted.records;
    }
    const ServerDatabase::Result result = m_database.run(pgsql::count(*m_definition));
    if (!result.ok())
        return 0;
    m_counted = {stamp, m_database.generation(), result.number(0, 0)};
    clearError();
    return m_counted.records;
}

} // namespace sv
