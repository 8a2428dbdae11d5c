#include "table.h"

#include "errors.h"
#include "filter.h"
#include "keytext.h"
#include "pgdialect.h"
#include "servertable.h"
#include "sqldialect.h"
#include "tablefile.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QStringEncoder>

#include <algorithm>
#include <limits>

#include <sqlite3.h>

namespace sv {

namespace {

QString columnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

// What SQL's upper() makes of a text: only the letters a to z change.
QString asciiUpper(const QVariant &stored)
{
    QString text = stored.toString();
    for (QChar &c : text) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return text;
}

bool isUniqueViolation(int result)
{
    return result == SQLITE_CONSTRAINT_UNIQUE || result == SQLITE_CONSTRAINT_PRIMARYKEY;
}

} // namespace

namespace {

// The engine copies a bound text: it is converted to UTF-8 in one buffer kept for it, not
// in a new one for every value of every record written.
void bindText(sqlite3_stmt *statement, int index, QStringView text)
{
    thread_local QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    thread_local QByteArray utf8;
    if (text.isEmpty()) {
        sqlite3_bind_text(statement, index, "", 0, SQLITE_STATIC); // empty, never NULL
        return;
    }
    utf8.resize(encoder.requiredSpace(text.size()));
    const char *end = encoder.appendToBuffer(utf8.data(), text);
    sqlite3_bind_text(statement, index, utf8.constData(), int(end - utf8.constData()),
                      SQLITE_TRANSIENT);
}

} // namespace

void bindValue(sqlite3_stmt *statement, int index, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        bindText(statement, index, value.toString());
        break;
    case QMetaType::Double:
        sqlite3_bind_double(statement, index, value.toDouble());
        break;
    default:
        sqlite3_bind_int64(statement, index, value.toLongLong());
    }
}

Table::Table(Database &database, const TableDef &definition, const QString &prefix)
    : m_database(database), m_definition(&definition), m_prefix(prefix), m_buffer(definition)
{
    m_statements.equalKey.resize(definition.keys.size());
    m_statements.duplicateOf.resize(definition.keys.size());
    m_statements.pages.resize(definition.keys.size() + 1);
    m_boundColumns = int(definition.fields.size() + definition.memos.size() +
                         sql::keyTextFields(definition).size());
    if (database.server())
        m_server = std::make_unique<ServerTable>(*database.server(), definition, prefix, m_buffer);
}

Table::~Table() = default;

QString Table::location() const
{
    if (const ServerDatabase *server = m_database.server())
        return QStringLiteral("%1 on %2").arg(pgsql::tableName(*m_definition), server->server());
    return fileName();
}

RecordPosition Table::position() const
{
    return m_server ? m_server->position() : m_current;
}

Table::CurrentRecord Table::current() const
{
    if (m_server) {
        const ServerTable::CurrentRecord record = m_server->current();
        return {record.position, record.revision, record.watchedRevision};
    }
    return {m_current, m_currentRevision, m_watchedRevision};
}

void Table::watch()
{
    if (m_server)
        m_server->watch();
    else
        m_watchNextRead = true;
}

sqlite3_stmt *Table::prepared(StatementSlot &slot, const std::function<QString()> &makeSql)
{
    if (slot.epoch == m_database.statementEpoch() && slot.statement) {
        sqlite3_reset(slot.statement);
        sqlite3_clear_bindings(slot.statement);
        return slot.statement;
    }
    slot.statement = m_database.statement(makeSql());
    slot.epoch = m_database.statementEpoch();
    return slot.statement;
}

QString Table::label() const
{
    return m_prefix == m_definition->prefix ? m_definition->label : AliasSongsLabel;
}

bool Table::open(OpenMode mode)
{
    if (m_server) {
        m_open = m_server->open(mode);
        return m_open;
    }
    if (m_open) {
        setError(err::AlreadyOpen);
        return false;
    }
    if (!m_database.attach(*m_definition, mode))
        return false;
    m_open = true;
    m_cursor = Cursor{};
    m_current = 0;
    return true;
}

void Table::close()
{
    if (m_server) {
        m_server->close();
        m_open = false;
        return;
    }
    if (!m_open)
        return;
    m_open = false;
    m_cursor = Cursor{};
    m_current = 0;
    m_database.detach(*m_definition);
    clearError();
}

bool Table::checkOpen()
{
    if (m_open)
        return true;
    setError(err::FileNotOpen);
    return false;
}

QVariantList Table::keyValues(int key, const Record &record) const
{
    QVariantList components;
    if (key >= 0) {
        for (int field : m_definition->keys.at(key).components)
            components.append(record.value(field));
    }
    return keyValues(key, components);
}

QVariantList Table::keyValues(int key, const QVariantList &componentValues) const
{
    return keyValuesOf(*m_definition, key, componentValues);
}

QVariantList keyValuesOf(const TableDef &table, int key, const QVariantList &componentValues)
{
    QVariantList values;
    if (key < 0)
        return values;
    const QList<int> &components = table.keys.at(key).components;
    for (qsizetype i = 0; i < components.size(); ++i) {
        const int field = components.at(i);
        if (sql::hasKeyText(table, field))
            values.append(keyText(componentValues.at(i).toString()));
        else if (table.fields.at(field).type == FieldType::String)
            values.append(asciiUpper(componentValues.at(i))); // as SQL's upper() has it
        else
            values.append(componentValues.at(i).toLongLong());
    }
    return values;
}

void Table::set(int key)
{
    if (m_server) {
        m_server->set(key);
        return;
    }
    m_cursor = Cursor{};
    m_cursor.key = key;
}

void Table::setFrom(int key)
{
    if (m_server) {
        m_server->setFrom(key);
        return;
    }
    set(key);
    m_cursor.start = Cursor::Start::AtValues;
    m_cursor.boundValues = keyValues(key, m_buffer);
}

void Table::setFileOrder()
{
    set(-1);
}

bool Table::reset(int key, RecordPosition position)
{
    if (m_server)
        return m_server->reset(key, position);
    if (!reget(position))
        return false;
    set(key);
    m_cursor.start = Cursor::Start::On;
    m_cursor.boundValues = keyValues(key, m_buffer);
    m_cursor.boundPosition = position;
    return true;
}

bool Table::next()
{
    if (m_server)
        return m_server->next();
    return read(m_cursor, true);
}

bool Table::previous()
{
    if (m_server)
        return m_server->previous();
    return read(m_cursor, false);
}

bool Table::read(Cursor &cursor, bool forward)
{
    if (m_server)
        return m_server->read(cursor, forward);
    if (!checkOpen())
        return false;
    std::optional<Cursor::Row> whole;
    if (!cursor.step(
            *m_definition, forward, m_database.generation(), [&] { return fetch(cursor, forward); },
            whole))
        return false;
    if (whole)
        loadRow(std::move(*whole));
    clearError();
    return true;
}

bool Cursor::step(const TableDef &table, bool forward, quint64 generation,
                  const std::function<bool()> &fetchPage, std::optional<Row> &whole)
{
    const bool sameRead = readAheadForward == forward && readAheadGeneration == generation;
    if (readAhead.empty() && sameRead && shortPage) {
        setError(err::RecordNotAvailable); // the last page ended the walk this way
        return false;
    }
    if (readAhead.empty() || !sameRead) {
        forgetReadAhead();
        paused = false;
        if (!fetchPage()) {
            forgetReadAhead();
            return false;
        }
        readAheadForward = forward;
        readAheadGeneration = generation;
    }
    if (readAhead.empty()) {
        setError(err::RecordNotAvailable);
        return false;
    }
    whole = takeNext(table);
    return true;
}

std::optional<Cursor::Row> Cursor::takeNext(const TableDef &table)
{
    Row taken = std::move(readAhead.front());
    readAhead.pop_front();
    lastKey.clear();
    const bool whole = fields.isEmpty();
    if (key >= 0) {
        if (whole) {
            for (int field : table.keys.at(key).components)
                lastKey.append(taken.fields.at(field));
        } else {
            for (const int slot : std::as_const(keySlots))
                lastKey.append(taken.fields.at(slot));
        }
    }
    start = Start::After;
    boundValues.clear(); // worked out from lastKey when the next page is fetched
    boundPosition = taken.position;
    if (whole)
        return taken;
    row = std::move(taken);
    return std::nullopt;
}

Table::Bounds Table::boundsOf(Cursor &cursor, bool forward)
{
    using sql::Bound;
    Bound bound = Bound::None;
    RecordPosition position = cursor.boundPosition;
    switch (cursor.start) {
    case Cursor::Start::Beginning:
        break;
    case Cursor::Start::AtValues:
        bound = Bound::Inclusive;
        position = forward ? 0 : std::numeric_limits<qint64>::max();
        break;
    case Cursor::Start::On:
        bound = Bound::Inclusive;
        break;
    case Cursor::Start::After:
        bound = Bound::Exclusive;
        break;
    }
    if (cursor.start == Cursor::Start::After && cursor.boundValues.isEmpty())
        cursor.boundValues = keyValues(cursor.key, cursor.lastKey);
    return {int(bound), position};
}

bool Table::fetch(Cursor &cursor, bool forward)
{
    return cursor.known ? fetchKnown(cursor, forward)
           : cursor.filterSql.isEmpty() || !cursor.candidatesSql.isEmpty()
               ? fetchPage(cursor, forward, nullptr)
               : fetchFiltered(cursor, forward);
}

namespace {

sql::Walk walkOf(const Cursor &cursor, bool forward, int bound, bool capped)
{
    sql::Walk walk;
    walk.key = cursor.key;
    walk.direction = forward ? sql::Direction::Forward : sql::Direction::Backward;
    walk.bound = sql::Bound(bound);
    walk.prefixed = !cursor.prefix.isEmpty();
    walk.capped = capped;
    walk.filter = cursor.filterSql;
    walk.candidates = cursor.candidatesSql;
    walk.range = cursor.rangeSql;
    walk.fields = cursor.fields;
    return walk;
}

// The number a walk's statement is told apart by within its order and filter.
int shapeCode(const sql::Walk &walk, bool chunkEnd)
{
    return int(walk.part) * 1000 + (chunkEnd ? 100 : 0) +
           (walk.direction == sql::Direction::Forward ? 0 : 10) + int(walk.bound) * 2 +
           (walk.capped ? 1 : 0);
}

} // namespace

StatementSlot &Table::walkSlot(const sql::Walk &walk, bool chunkEnd, const QString &fields)
{
    if (!chunkEnd && !walk.prefixed && walk.filter.isEmpty() && walk.candidates.isEmpty() &&
        walk.fields.isEmpty() && walk.part == sql::Walk::Part::Whole)
        return m_statements
            .pages[walk.key + 1]
                  [(walk.direction == sql::Direction::Forward ? 0 : 3) + int(walk.bound)];
    // Kept by the table, not by the walk: writing a walk's SQL costs more than reading a
    // page of a small range, and views come and go with every window that opens.
    const QString shape = QString::number(walk.key) + u' ' +
                          QString::number(shapeCode(walk, chunkEnd)) +
                          (walk.prefixed ? u'p' : u'-') + QChar(0x1f) + walk.filter + QChar(0x1f) +
                          walk.candidates + (chunkEnd ? QString() : QChar(0x1f) + fields);
    return m_statements.walks[shape];
}

int Table::batchOf(const Cursor &cursor) const
{
    return cursor.batch(m_readAhead);
}

int Table::bindWalk(sqlite3_stmt *statement, const Cursor &cursor, const sql::Walk &walk,
                    RecordPosition boundPosition, const QVariantList *cap)
{
    int index = 1;
    if (!walk.candidates.isEmpty()) {
        for (const QVariant &value : cursor.candidatesParameters)
            bindValue(statement, index++, value);
    }
    for (const QVariant &value : cursor.prefix)
        bindValue(statement, index++, value);
    if (!walk.range.isEmpty()) {
        for (const QVariant &value : cursor.rangeParameters)
            bindValue(statement, index++, value);
    }
    if (walk.bound != sql::Bound::None && walk.part == sql::Walk::Part::PastLead) {
        bindValue(statement, index++, cursor.boundValues.value(0));
    } else if (walk.bound != sql::Bound::None) {
        for (const QVariant &value : cursor.boundValues)
            bindValue(statement, index++, value);
        sqlite3_bind_int64(statement, index++, boundPosition);
    }
    if (cap) {
        for (const QVariant &value : *cap)
            bindValue(statement, index++, value);
    }
    return index;
}

// Reads up to the read-ahead's worth of rows after the cursor's bound (and not past `cap`).
bool Table::fetchPage(Cursor &cursor, bool forward, const QVariantList *cap)
{
    const Bounds bounds = boundsOf(cursor, forward);
    sql::Walk walk = walkOf(cursor, forward, bounds.bound, cap != nullptr);
    if (walk.bound == sql::Bound::None || cap || !sql::ledByComputedTerm(*m_definition, cursor.key))
        return readWalk(cursor, walk, bounds.position, cap);
    walk.part = sql::Walk::Part::SameLead;
    if (!readWalk(cursor, walk, bounds.position, nullptr))
        return false;
    if (int(cursor.readAhead.size()) >= batchOf(cursor))
        return true;
    walk.part = sql::Walk::Part::PastLead;
    return readWalk(cursor, walk, bounds.position, nullptr);
}

// Adds the rows of one walk to the read-ahead, up to its worth.
bool Table::readWalk(Cursor &cursor, const sql::Walk &walk, RecordPosition boundPosition,
                     const QVariantList *cap)
{
    sqlite3_stmt *statement = prepared(walkSlot(walk, false, cursor.fieldsSignature),
                                       [&] { return sql::page(schema(), *m_definition, walk); });
    if (!statement)
        return false;
    int index = bindWalk(statement, cursor, walk, boundPosition, cap);
    for (const QVariant &value : std::as_const(cursor.filterParameters))
        bindValue(statement, index++, value);
    sqlite3_bind_int(statement, index, batchOf(cursor) - int(cursor.readAhead.size()));

    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW)
        cursor.readAhead.push_back(readRow(statement, cursor));
    sqlite3_reset(statement);
    if (result != SQLITE_DONE)
        return m_database.setEngineErrorFromDb(result);
    return true;
}

// Where the next chunk of a filtered walk ends: the key values and position of the record
// a chunk's length on from the bound, as the key stores them.
bool Table::findChunkEnd(Cursor &cursor, bool forward, QVariantList &cap, bool &found)
{
    const Bounds bounds = boundsOf(cursor, forward);
    const sql::Walk walk = walkOf(cursor, forward, bounds.bound, false);
    sqlite3_stmt *statement = prepared(walkSlot(walk, true, QString()), [&] {
        return sql::chunkEnd(schema(), *m_definition, walk);
    });
    if (!statement)
        return false;
    const int index = bindWalk(statement, cursor, walk, bounds.position, nullptr);
    sqlite3_bind_int(statement, index, FilterChunk - 1);
    const int result = sqlite3_step(statement);
    found = result == SQLITE_ROW;
    cap.clear();
    if (found) {
        const int columns = sqlite3_column_count(statement);
        for (int column = 0; column < columns; ++column) {
            if (sqlite3_column_type(statement, column) == SQLITE_TEXT)
                cap.append(QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                    sqlite3_column_bytes(statement, column)));
            else
                cap.append(qint64(sqlite3_column_int64(statement, column)));
        }
    }
    sqlite3_reset(statement);
    return found || result == SQLITE_DONE || m_database.setEngineErrorFromDb(result);
}

// A filtered walk looks at the key order a chunk at a time, so a filter that matches few
// records never holds the program in one long query.
bool Table::fetchFiltered(Cursor &cursor, bool forward)
{
    while (true) {
        QVariantList cap;
        bool chunked = false;
        if (!findChunkEnd(cursor, forward, cap, chunked))
            return false;
        if (!fetchPage(cursor, forward, chunked ? &cap : nullptr))
            return false;
        if (int(cursor.readAhead.size()) >= batchOf(cursor) || !chunked)
            return true;
        cursor.start = Cursor::Start::After;
        cursor.boundPosition = cap.takeLast().toLongLong();
        cursor.boundValues = cap;
        if (cursor.keepReading && !cursor.keepReading()) {
            cursor.paused = cursor.readAhead.empty();
            return true;
        }
    }
}

// ---- Results known in full

namespace {

// Key values compare as the engine compares the stored columns: numbers by value, texts
// byte by byte (UTF-8), the position last.
int compareValue(const QVariant &left, const QVariant &right)
{
    if (left.typeId() == QMetaType::QByteArray && right.typeId() == QMetaType::QByteArray) {
        const int order = left.toByteArray().compare(right.toByteArray());
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    const qint64 a = left.toLongLong();
    const qint64 b = right.toLongLong();
    return a < b ? -1 : (a > b ? 1 : 0);
}

int compareKeys(const QVariantList &left, RecordPosition leftPosition, const QVariantList &right,
                RecordPosition rightPosition)
{
    for (qsizetype i = 0; i < left.size() && i < right.size(); ++i) {
        if (const int order = compareValue(left.at(i), right.at(i)); order != 0)
            return order;
    }
    return leftPosition < rightPosition ? -1 : (leftPosition > rightPosition ? 1 : 0);
}

QVariant storedValue(sqlite3_stmt *statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_TEXT)
        return QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                          sqlite3_column_bytes(statement, column));
    return qint64(sqlite3_column_int64(statement, column));
}

} // namespace

void KnownResult::sortByKey()
{
    std::sort(entries.begin(), entries.end(), [](const Entry &left, const Entry &right) {
        return compareKeys(left.key, left.position, right.key, right.position) < 0;
    });
    index();
}

QList<RecordPosition> KnownResult::firstInOrder(int count) const
{
    std::vector<Entry> first(std::min(entries.size(), size_t(qMax(0, count))));
    std::partial_sort_copy(entries.begin(), entries.end(), first.begin(), first.end(),
                           [](const Entry &left, const Entry &right) {
                               return compareKeys(left.key, left.position, right.key,
                                                  right.position) < 0;
                           });
    QList<RecordPosition> positions;
    for (const Entry &entry : first)
        positions.append(entry.position);
    return positions;
}

void KnownResult::index()
{
    places.clear();
    places.reserve(qsizetype(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i)
        places.insert(entries[i].position, qsizetype(i));
}

qsizetype KnownResult::seek(const QVariantList &key, RecordPosition position, bool forward,
                            bool inclusive) const
{
    QVariantList stored;
    stored.reserve(key.size());
    for (const QVariant &value : key)
        stored.append(value.typeId() == QMetaType::QString ? QVariant(value.toString().toUtf8())
                                                           : QVariant(value.toLongLong()));
    // The first entry after the values (or at them, when inclusive) ...
    const auto after = std::partition_point(entries.begin(), entries.end(), [&](const Entry &e) {
        const int order = compareKeys(e.key, e.position, stored, position);
        return forward == inclusive ? order < 0 : order <= 0;
    });
    const qsizetype place = after - entries.begin();
    // ... or, going backward, the last one before them.
    return forward ? place : place - 1;
}

// Reads the rows of the entries after the cursor's bound, up to the read-ahead's worth.
qsizetype Cursor::knownStart(const TableDef &table, bool forward)
{
    const qsizetype entries = qsizetype(known->entries.size());
    qsizetype at = forward ? 0 : entries - 1;
    const int step = forward ? 1 : -1;
    if (start != Start::Beginning) {
        const bool inclusive = start != Start::After;
        const auto place = known->places.constFind(boundPosition);
        if (start != Start::AtValues && place != known->places.constEnd()) {
            at = *place + (inclusive ? 0 : step);
        } else {
            if (start == Start::After && boundValues.isEmpty())
                boundValues = keyValuesOf(table, key, lastKey);
            const RecordPosition position = start == Start::AtValues
                                                ? (forward ? 0 : std::numeric_limits<qint64>::max())
                                                : boundPosition;
            at = known->seek(boundValues, position, forward, inclusive);
        }
    }
    return at;
}

int Cursor::batch(int readAheadRows) const
{
    return wanted > 0 ? qMin(wanted, Table::MaxWanted) : readAheadRows;
}

bool Table::fetchKnown(Cursor &cursor, bool forward)
{
    sqlite3_stmt *statement = byPosition(cursor);
    if (!statement)
        return false;
    const std::vector<KnownResult::Entry> &entries = cursor.known->entries;
    const int step = forward ? 1 : -1;
    for (qsizetype at = cursor.knownStart(*m_definition, forward);
         at >= 0 && at < qsizetype(entries.size()) &&
         int(cursor.readAhead.size()) < batchOf(cursor);
         at += step) {
        sqlite3_bind_int64(statement, 1, entries[size_t(at)].position);
        const int result = sqlite3_step(statement);
        if (result == SQLITE_ROW)
            cursor.readAhead.push_back(readRow(statement, cursor));
        sqlite3_reset(statement);
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            return m_database.setEngineErrorFromDb(result);
    }
    return true;
}

bool Table::readEntries(const Cursor &cursor, sqlite3_stmt *statement, KnownResult &result)
{
    const int keyColumns =
        cursor.key >= 0 ? int(m_definition->keys.at(cursor.key).components.size()) : 0;
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        KnownResult::Entry entry;
        entry.key.reserve(keyColumns);
        for (int column = 0; column < keyColumns; ++column)
            entry.key.append(storedValue(statement, column));
        entry.position = sqlite3_column_int64(statement, keyColumns);
        result.entries.push_back(std::move(entry));
    }
    sqlite3_reset(statement);
    if (step != SQLITE_DONE)
        return m_database.setEngineErrorFromDb(step);
    return true;
}

bool Table::findAll(const Cursor &cursor, KnownResult &result)
{
    if (m_server)
        return m_server->findAll(cursor, result);
    if (!checkOpen())
        return false;
    const sql::Walk walk = walkOf(cursor, true, int(sql::Bound::None), false);
    sqlite3_stmt *statement = m_database.statement(sql::matches(schema(), *m_definition, walk));
    if (!statement)
        return false;
    int index = bindWalk(statement, cursor, walk, 0, nullptr);
    for (const QVariant &value : cursor.filterParameters)
        bindValue(statement, index++, value);
    result.entries.clear();
    if (!readEntries(cursor, statement, result))
        return false;
    result.index();
    return true;
}

bool Table::scanFileOrder(const Cursor &cursor, RecordPosition after, RecordPosition upTo,
                          KnownResult &result)
{
    if (m_server)
        return m_server->scanFileOrder(cursor, after, upTo, result);
    if (!checkOpen())
        return false;
    const sql::Walk walk = walkOf(cursor, true, int(sql::Bound::None), false);
    sqlite3_stmt *statement =
        m_database.statement(sql::matchesInFileOrder(schema(), *m_definition, walk));
    if (!statement)
        return false;
    int index = bindWalk(statement, cursor, walk, 0, nullptr);
    for (const QVariant &value : cursor.filterParameters)
        bindValue(statement, index++, value);
    sqlite3_bind_int64(statement, index++, after);
    sqlite3_bind_int64(statement, index, upTo);
    return readEntries(cursor, statement, result);
}

sqlite3_stmt *Table::byPosition(const Cursor &cursor)
{
    StatementSlot &slot = cursor.fields.isEmpty() ? m_statements.byPosition
                                                  : m_statements.rowsAt[cursor.fieldsSignature];
    return prepared(slot, [&] { return sql::byPosition(schema(), *m_definition, cursor.fields); });
}

bool Table::rowAt(const Cursor &cursor, RecordPosition position, Cursor::Row &row)
{
    if (m_server)
        return m_server->rowAt(cursor, position, row);
    if (!checkOpen())
        return false;
    sqlite3_stmt *statement = byPosition(cursor);
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, position);
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        row = readRow(statement, cursor);
    sqlite3_reset(statement);
    if (result == SQLITE_ROW) {
        clearError();
        return true;
    }
    if (result == SQLITE_DONE) {
        setError(err::RecordNotFound);
        return false;
    }
    return m_database.setEngineErrorFromDb(result);
}

RecordPosition Table::lastPosition()
{
    if (m_server)
        return m_server->lastPosition();
    if (!checkOpen())
        return 0;
    sqlite3_stmt *statement = prepared(m_statements.lastPosition,
                                       [&] { return sql::lastPosition(schema(), *m_definition); });
    if (!statement)
        return 0;
    const int result = sqlite3_step(statement);
    const RecordPosition last = result == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
    sqlite3_reset(statement);
    if (result != SQLITE_ROW)
        m_database.setEngineErrorFromDb(result);
    else
        clearError();
    return last;
}

Cursor::Row Table::readRow(sqlite3_stmt *statement) const
{
    Cursor::Row row{sqlite3_column_int64(statement, 0), sqlite3_column_int64(statement, 1), {}, {}};
    const auto &fields = m_definition->fields;
    row.fields.reserve(fields.size());
    int column = 2;
    for (const FieldDef &field : fields) {
        if (field.type == FieldType::String)
            row.fields.append(columnText(statement, column++));
        else
            row.fields.append(qint64(sqlite3_column_int64(statement, column++)));
    }
    row.memos.reserve(m_definition->memos.size());
    for (qsizetype memo = 0; memo < m_definition->memos.size(); ++memo)
        row.memos.append(columnText(statement, column++));
    return row;
}

// The cursor's fields only, as stored: a text stays UTF-8 until someone shows it.
Cursor::Row Table::readRow(sqlite3_stmt *statement, const Cursor &cursor) const
{
    if (cursor.fields.isEmpty())
        return readRow(statement);
    Cursor::Row row{sqlite3_column_int64(statement, 0), sqlite3_column_int64(statement, 1), {}, {}};
    row.fields.reserve(cursor.fields.size());
    int column = 2;
    for (const int field : cursor.fields) {
        if (m_definition->fields.at(field).type == FieldType::String)
            row.fields.append(
                QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                           sqlite3_column_bytes(statement, column)));
        else
            row.fields.append(qint64(sqlite3_column_int64(statement, column)));
        ++column;
    }
    return row;
}

void Table::loadRow(Cursor::Row &&row)
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

bool Table::readOne(sqlite3_stmt *statement, const QVariantList &parameters)
{
    if (!statement)
        return false;
    for (int i = 0; i < parameters.size(); ++i)
        bindValue(statement, i + 1, parameters.at(i));
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW) {
        Cursor::Row row = readRow(statement);
        sqlite3_reset(statement);
        loadRow(std::move(row));
        clearError();
        return true;
    }
    sqlite3_reset(statement);
    if (result == SQLITE_DONE) {
        setError(err::RecordNotFound);
        return false;
    }
    return m_database.setEngineErrorFromDb(result);
}

bool Table::get(int key)
{
    if (m_server)
        return m_server->get(key);
    if (!checkOpen())
        return false;
    sqlite3_stmt *statement = prepared(m_statements.equalKey[key],
                                       [&] { return sql::equalKey(schema(), *m_definition, key); });
    return readOne(statement, keyValues(key, m_buffer));
}

void Table::setCurrent(const CurrentRecord &record)
{
    if (m_server) {
        m_server->setCurrent({record.position, record.revision, record.watchedRevision});
        return;
    }
    m_current = record.position;
    m_currentRevision = record.revision;
    m_watchedRevision = record.watchedRevision;
}

bool Table::reget(RecordPosition position)
{
    if (m_server)
        return m_server->reget(position);
    if (!checkOpen())
        return false;
    sqlite3_stmt *statement =
        prepared(m_statements.byPosition, [&] { return sql::byPosition(schema(), *m_definition); });
    return readOne(statement, {position});
}

int Table::bindRecord(sqlite3_stmt *statement, int first, const Record &record) const
{
    int index = first;
    for (int field = 0; field < m_definition->fields.size(); ++field)
        bindValue(statement, index++, record.value(field));
    for (int memo = 0; memo < m_definition->memos.size(); ++memo)
        bindValue(statement, index++, record.memo(memo));
    for (int field = 0; field < m_definition->fields.size(); ++field) {
        if (sql::hasKeyText(*m_definition, field))
            bindText(statement, index++, keyText(record.text(field)));
    }
    return index;
}

bool Table::failWrite(int result)
{
    if (isUniqueViolation(result)) {
        setError(err::DuplicateKey);
        return false;
    }
    return m_database.setEngineErrorFromDb(result);
}

bool Table::add()
{
    if (m_server)
        return m_server->add();
    if (!checkOpen() || !m_database.writable())
        return false;
    sqlite3_stmt *statement =
        prepared(m_statements.insert, [&] { return sql::insert(schema(), *m_definition); });
    if (!statement)
        return false;
    bindRecord(statement, 1, m_buffer);
    qint64 returned[2] = {};
    const int result = stepReturning(statement, returned);
    if (result != SQLITE_DONE) {
        m_current = 0; // the buffer holds a record that is not in the file
        return failWrite(result);
    }
    m_current = returned[0];
    m_currentRevision = returned[1];
    m_database.noteWrite();
    m_watchedRevision.reset();
    clearError();
    return true;
}

bool Table::addAll(const QList<Record> &records, qsizetype &added)
{
    added = 0;
    if (!checkOpen() || !m_database.writable())
        return false;
    const Record saved = m_buffer;
    const auto done = [&](bool result) {
        m_buffer = saved;
        setCurrent({});
        return result;
    };
    if (records.isEmpty())
        return done(true);
    if (!m_server) {
        const int result = addStaged(records);
        if (result == SQLITE_DONE) {
            added = records.size();
            m_database.noteWrite();
            clearError();
            return done(true);
        }
        // Undone whole: a transaction the engine ended on the way takes no more, else the
        // records are tried one by one to find the one to blame.
        if (!m_database.writable()) {
            failWrite(result);
            return done(false);
        }
    }
    for (const Record &record : records) {
        m_buffer = record;
        if (!add())
            return done(false);
        ++added;
    }
    clearError();
    return done(true);
}

// The records staged and added with one statement: SQLITE_DONE, or the engine's error with
// none of them added and the stage left empty.
int Table::addStaged(const QList<Record> &records)
{
    sqlite3_stmt *create =
        prepared(m_statements.createStage, [&] { return sql::createStage(*m_definition); });
    if (!create)
        return SQLITE_ERROR;
    int result = sqlite3_step(create);
    sqlite3_reset(create);
    if (result != SQLITE_DONE)
        return result;
    sqlite3_stmt *clear =
        prepared(m_statements.clearStage, [&] { return sql::clearStage(*m_definition); });
    if (!clear)
        return SQLITE_ERROR;
    const auto clearStage = qScopeGuard([clear] {
        sqlite3_step(clear);
        sqlite3_reset(clear);
    });
    sqlite3_stmt *stage =
        prepared(m_statements.insertStaged, [&] { return sql::insertStaged(*m_definition); });
    if (!stage)
        return SQLITE_ERROR;
    for (const Record &record : records) {
        bindRecord(stage, 1, record);
        result = sqlite3_step(stage);
        sqlite3_reset(stage);
        if (result != SQLITE_DONE)
            return result;
    }
    sqlite3_stmt *add =
        prepared(m_statements.addStaged, [&] { return sql::addStaged(schema(), *m_definition); });
    if (!add)
        return SQLITE_ERROR;
    result = sqlite3_step(add);
    const int reset = sqlite3_reset(add);
    return result == SQLITE_DONE ? (reset == SQLITE_OK ? SQLITE_DONE : reset) : result;
}

bool Table::put()
{
    if (m_server)
        return m_server->put();
    if (!checkOpen() || !m_database.writable())
        return false;
    if (m_current == 0) {
        setError(err::RecordNotAvailable);
        return false;
    }
    const bool watched = m_watchedRevision.has_value();
    sqlite3_stmt *statement =
        prepared(watched ? m_statements.updateWatched : m_statements.update,
                 [&] { return sql::update(schema(), *m_definition, watched); });
    if (!statement)
        return false;
    const int fieldsBound = m_boundColumns;
    bindRecord(statement, 1, m_buffer);
    sqlite3_bind_int64(statement, fieldsBound + 1, m_current);
    if (watched)
        sqlite3_bind_int64(statement, fieldsBound + 2, *m_watchedRevision);
    qint64 revision = 0;
    const int result = stepReturning(statement, &revision);
    if (result == SQLITE_ROW)
        return failUnchanged(m_current);
    if (result != SQLITE_DONE)
        return failWrite(result);
    m_database.noteWrite();
    m_currentRevision = revision;
    m_watchedRevision.reset();
    clearError();
    return true;
}

// Runs a write that returns one row of numbers into `values`: SQLITE_DONE once it is
// written, SQLITE_ROW when it wrote nothing (no row came back), else the engine's failure.
// Outside a transaction the engine commits only when the statement runs to its end, so the
// result is taken from there, never from the row.
int Table::stepReturning(sqlite3_stmt *statement, qint64 *values)
{
    int result = sqlite3_step(statement);
    if (result == SQLITE_DONE) {
        sqlite3_reset(statement);
        return SQLITE_ROW;
    }
    if (result == SQLITE_ROW) {
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            values[column] = sqlite3_column_int64(statement, column);
        result = sqlite3_step(statement);
    }
    const int reset = sqlite3_reset(statement);
    return result == SQLITE_DONE ? SQLITE_DONE : (reset != SQLITE_OK ? reset : result);
}

// A write that found no record to change: 89 when the record is still there (another station
// changed it since it was read under WATCH), 35 when it is gone. A record another station
// added after deleting this one has a position of its own and is never the one written.
bool Table::failUnchanged(RecordPosition position)
{
    sqlite3_stmt *exists =
        prepared(m_statements.revision, [&] { return sql::revisionOf(schema(), *m_definition); });
    if (!exists)
        return false;
    sqlite3_bind_int64(exists, 1, position);
    const int result = sqlite3_step(exists);
    sqlite3_reset(exists);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        return m_database.setEngineErrorFromDb(result);
    setError(result == SQLITE_ROW ? err::ChangedByAnotherStation : err::RecordNotFound);
    return false;
}

bool Table::putNumber(RecordPosition position, qint64 *revision, int field, qint64 value)
{
    if (m_server)
        return m_server->putNumber(position, revision, field, value);
    if (!checkOpen() || !m_database.writable())
        return false;
    const FieldDef &def = m_definition->fields.at(field);
    if (def.type == FieldType::String) {
        setError(err::BadOption);
        return false;
    }
    sqlite3_stmt *statement = prepared(m_statements.updateField[field], [&] {
        return sql::updateField(schema(), *m_definition, field);
    });
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, fitNumber(def.type, def.size, value));
    sqlite3_bind_int64(statement, 2, position);
    sqlite3_bind_int64(statement, 3, *revision);
    qint64 written = 0;
    const int result = stepReturning(statement, &written);
    if (result == SQLITE_ROW)
        return failUnchanged(position);
    if (result != SQLITE_DONE)
        return failWrite(result);
    m_database.noteWrite();
    *revision = written;
    clearError();
    return true;
}

bool Table::remove()
{
    if (m_server)
        return m_server->remove();
    if (!checkOpen() || !m_database.writable())
        return false;
    if (m_current == 0) {
        setError(err::RecordNotAvailable);
        return false;
    }
    const bool watched = m_watchedRevision.has_value();
    sqlite3_stmt *statement =
        prepared(watched ? m_statements.removeWatched : m_statements.remove,
                 [&] { return sql::remove(schema(), *m_definition, watched); });
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, m_current);
    if (watched)
        sqlite3_bind_int64(statement, 2, *m_watchedRevision);
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != SQLITE_DONE)
        return failWrite(result);
    if (sqlite3_changes(m_database.handle()) == 0)
        return failUnchanged(m_current);
    m_database.noteWrite();
    m_current = 0;
    m_watchedRevision.reset();
    clearError();
    return true;
}

Table::Found Table::duplicate(int key)
{
    if (m_server)
        return Found(int(m_server->duplicate(key)));
    if (!checkOpen())
        return Found::Failed;
    const KeyDef &def = m_definition->keys.at(key);
    if (!def.unique || (def.optional && m_buffer.isBlank(def.components.first()))) {
        clearError();
        return Found::No;
    }
    sqlite3_stmt *statement = prepared(m_statements.duplicateOf[key], [&] {
        return sql::duplicateOf(schema(), *m_definition, key);
    });
    if (!statement)
        return Found::Failed;
    int index = 1;
    for (const QVariant &value : keyValues(key, m_buffer))
        bindValue(statement, index++, value);
    sqlite3_bind_int64(statement, index, m_current);
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        m_database.setEngineErrorFromDb(result);
        return Found::Failed;
    }
    clearError();
    return result == SQLITE_ROW ? Found::Yes : Found::No;
}

bool Table::highest(int key, int field, qint64 &value)
{
    if (m_server)
        return m_server->highest(key, field, value);
    value = 0;
    if (!checkOpen())
        return false;
    sqlite3_stmt *statement = prepared(m_statements.highest[key * 1000 + field], [&] {
        return sql::highest(schema(), *m_definition, key, field);
    });
    if (!statement)
        return false;
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_reset(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        return m_database.setEngineErrorFromDb(result);
    clearError();
    return true;
}

bool Table::sumLinked(int rangeField, qint64 range, int linkField, Table &linked, int linkedField,
                      int sumField, qint64 &total)
{
    if (m_server)
        return m_server->sumLinked(rangeField, range, linkField, linked.definition(), linkedField,
                                   sumField, total);
    total = 0;
    if (!checkOpen() || !linked.checkOpen())
        return false;
    const QString text =
        sql::sumLinked(schema(), *m_definition, rangeField, linkField, linked.schema(),
                       linked.definition(), linkedField, sumField);
    sqlite3_stmt *statement = prepared(m_statements.sums[text], [&] { return text; });
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, range);
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        total = sqlite3_column_int64(statement, 0);
    sqlite3_reset(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        return m_database.setEngineErrorFromDb(result);
    clearError();
    return true;
}

int Table::duplicateKey()
{
    for (int key = 0; key < m_definition->keys.size(); ++key) {
        if (duplicate(key) == Found::Yes)
            return key;
    }
    return -1;
}

qint64 Table::records()
{
    if (m_server)
        return m_server->records();
    if (!checkOpen())
        return 0;
    sqlite3_stmt *statement =
        prepared(m_statements.count, [&] { return sql::count(schema(), *m_definition); });
    if (!statement)
        return 0;
    const int result = sqlite3_step(statement);
    const qint64 count = result == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
    sqlite3_reset(statement);
    if (result != SQLITE_ROW)
        m_database.setEngineErrorFromDb(result);
    else
        clearError();
    return count;
}

qint64 Table::bytes()
{
    return m_server ? m_server->bytes() : QFileInfo(fileName()).size();
}

bool Table::positions(const QString &query, const QVariantList &parameters, int limit,
                      QList<qint64> &found)
{
    if (m_server)
        return m_server->positions(query, parameters, limit, found);
    found.clear();
    sqlite3_stmt *statement = m_database.statement(QStringLiteral("SELECT * FROM (") + query +
                                                   QStringLiteral(") LIMIT ?"));
    if (!statement)
        return false;
    bindFilterParameters(statement, 1, parameters);
    sqlite3_bind_int(statement, int(parameters.size()) + 1, limit);
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW)
        found.append(sqlite3_column_int64(statement, 0));
    sqlite3_reset(statement);
    if (result != SQLITE_DONE)
        return m_database.setEngineErrorFromDb(result);
    clearError();
    return true;
}

QString Table::send(const QString &option)
{
    const QString name = option.section(u'=', 0, 0).trimmed().toUpper();
    const QString value = option.section(u'=', 1).trimmed().toUpper();
    clearError();
    if (name == u"QUICKSCAN") {
        // Rows read ahead are dropped by every write of this station, so reading ahead is
        // always safe: both settings keep the same read-ahead.
    } else if (name == u"FULLBUILD") {
        m_fullBuild = value == u"ON" || value == u"1";
    } else if (name == u"RECOVER") {
        // The engine rolls back a station's unfinished transaction by itself when the file
        // is next read; waiting longer for the file is all a recovery request needs.
        const int seconds = value.toInt();
        m_database.setOpenWait(seconds > 1 ? seconds : 2);
    } else if (name == u"HELDON") {
        return QStringLiteral("OFF"); // records are never held between statements
    } else if (name != u"IGNORESTATUS") {
        setError(err::BadOption);
    }
    return QString();
}

} // namespace sv

namespace sv {

bool Table::create()
{
    if (m_server)
        return m_server->create();
    if (m_database.isAttached(m_definition->id)) {
        setError(err::AlreadyOpen);
        return false;
    }
    return tablefile::create(*m_definition, fileName());
}

bool Table::build()
{
    if (m_server)
        return m_server->build();
    if (!m_database.writable())
        return false;
    const bool done =
        m_database.isAttached(m_definition->id)
            ? tablefile::rebuildKeys(m_database.handle(), schema(), *m_definition, m_fullBuild)
            : tablefile::rebuildKeys(*m_definition, fileName(), m_fullBuild);
    if (done) {
        m_database.noteWrite();
        clearError();
    }
    return done;
}

bool Table::pack()
{
    if (m_server)
        return m_server->pack();
    const bool done = m_database.isAttached(m_definition->id)
                          ? tablefile::pack(m_database.handle(), schema())
                          : tablefile::pack(*m_definition, fileName());
    if (done)
        clearError();
    return done;
}

} // namespace sv
