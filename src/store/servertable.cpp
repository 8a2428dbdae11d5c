#include "servertable.h"

#include "keytext.h"
#include "pgdialect.h"

#include <limits>

namespace sv {

namespace {

// Upper case of plain ASCII letters only, as the order of a text without key text has it
// on both engines.
QString asciiUpper(const QString &stored)
{
    QString text = stored;
    for (QChar &c : text) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return text;
}

} // namespace

ServerTable::ServerTable(ServerDatabase &database, const TableDef &definition,
                         const QString &prefix)
    : m_database(database), m_definition(&definition), m_prefix(prefix), m_buffer(definition)
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
    m_readAhead.clear();
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
    QVariantList values;
    if (key < 0)
        return values;
    for (int field : m_definition->keys.at(key).components) {
        if (m_definition->fields.at(field).type != FieldType::String)
            values.append(fieldValues.at(field).toLongLong());
        else if (sql::hasKeyText(*m_definition, field))
            values.append(keyText(fieldValues.at(field).toString()));
        else
            values.append(asciiUpper(fieldValues.at(field).toString()));
    }
    return values;
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
    m_key = key;
    m_start = Start::Beginning;
    m_boundValues.clear();
    m_boundFields.clear();
    m_boundPosition = 0;
    m_readAhead.clear();
}

void ServerTable::setFrom(int key)
{
    set(key);
    m_start = Start::AtValues;
    m_boundValues = keyValues(key, recordValues(m_buffer));
}

bool ServerTable::reset(int key, RecordPosition position)
{
    if (!reget(position))
        return false;
    set(key);
    m_start = Start::On;
    m_boundValues = keyValues(key, recordValues(m_buffer));
    m_boundPosition = position;
    return true;
}

bool ServerTable::next()
{
    return read(true);
}

bool ServerTable::previous()
{
    return read(false);
}

bool ServerTable::read(bool forward)
{
    if (!checkOpen())
        return false;
    const bool usable = !m_readAhead.empty() && m_readAheadForward == forward &&
                        m_readAheadGeneration == m_database.generation();
    if (!usable) {
        m_readAhead.clear();
        if (!fetch(forward))
            return false;
    }
    if (m_readAhead.empty()) {
        setError(err::RecordNotAvailable);
        return false;
    }
    Row row = std::move(m_readAhead.front());
    m_readAhead.pop_front();
    // The key values of the record read are worked out only when the next page is fetched:
    // most reads are served from the page already read.
    m_start = Start::After;
    m_boundValues.clear();
    m_boundFields = row.fields;
    m_boundPosition = row.position;
    loadRow(std::move(row));
    clearError();
    return true;
}

// One page from where the walk stands, by the key's order from its bound: one indexed
// query, whatever the table's size.
bool ServerTable::fetch(bool forward)
{
    sql::Bound bound = sql::Bound::None;
    RecordPosition position = m_boundPosition;
    switch (m_start) {
    case Start::Beginning:
        break;
    case Start::AtValues:
        bound = sql::Bound::Inclusive;
        position = forward ? 0 : std::numeric_limits<qint64>::max();
        break;
    case Start::On:
        bound = sql::Bound::Inclusive;
        break;
    case Start::After:
        bound = sql::Bound::Exclusive;
        if (m_boundValues.isEmpty())
            m_boundValues = keyValues(m_key, m_boundFields);
        break;
    }
    QVariantList parameters;
    if (bound != sql::Bound::None) {
        parameters = m_boundValues;
        parameters.append(position);
    }
    parameters.append(qint64(ReadAhead));
    const ServerDatabase::Result result = m_database.run(
        pgsql::page(*m_definition, m_key,
                    forward ? sql::Direction::Forward : sql::Direction::Backward, bound),
        parameters);
    if (!result.ok())
        return false;
    for (int row = 0; row < result.rows(); ++row)
        m_readAhead.push_back(readRow(result, row));
    m_readAheadForward = forward;
    m_readAheadGeneration = m_database.generation();
    return true;
}

ServerTable::Row ServerTable::readRow(const ServerDatabase::Result &result, int row) const
{
    Row read{result.number(row, 0), result.number(row, 1), {}, {}};
    int column = 2;
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
    loadRow(readRow(result, 0));
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

qint64 ServerTable::records()
{
    if (!checkOpen())
        return 0;
    const ServerDatabase::Result result = m_database.run(pgsql::count(*m_definition));
    if (!result.ok())
        return 0;
    clearError();
    return result.number(0, 0);
}

} // namespace sv
