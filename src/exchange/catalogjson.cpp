#include "catalogjson.h"

#include "app/session.h"
#include "store/errors.h"

namespace sv::exchange {

namespace {

// Written out in blocks of about this size.
constexpr qsizetype BlockBytes = 1 << 16;

QString storeErrorText()
{
    return QStringLiteral("Error #%1 - %2").arg(errorCode()).arg(errorText());
}

QString fileErrorText(const QFileDevice &file)
{
    const int number =
        file.error() == QFileDevice::PermissionsError ? err::AccessDenied : err::FileSystemError;
    return QStringLiteral("Error #%1 - %2").arg(number).arg(file.errorString());
}

QString slotName(const TableDef &table, int slot)
{
    return slot >= 0 ? table.fullName(slot) : table.prefix + u':' + table.memos.at(-1 - slot).name;
}

} // namespace

QString catalogueFormatName()
{
    return QStringLiteral("SongVane catalogue");
}

const QList<TableId> &catalogueTables()
{
    static const QList<TableId> tables{
        TableId::Categories,     TableId::Media,           TableId::Albums, TableId::Songs,
        TableId::PlaylistMaster, TableId::PlaylistDetails, TableId::Fonts,  TableId::Labels,
        TableId::Tips,           TableId::AddWizard};
    return tables;
}

int identityKey(const TableDef &table)
{
    if (const int primary = table.primaryKey(); primary >= 0)
        return primary;
    for (int key = 0; key < table.keys.size(); ++key) {
        if (table.keys.at(key).unique)
            return key;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------
// Export

CatalogueExport::CatalogueExport(Session &session) : m_session(session) {}

CatalogueExport::~CatalogueExport()
{
    cancel();
}

bool CatalogueExport::begin(const QString &path)
{
    m_failure = {};
    m_path = path;
    Store &store = m_session.store();
    QList<Table *> tables;
    for (const TableId id : catalogueTables())
        tables.append(&store.table(id));
    m_uses = m_session.files().use(tables);
    if (!m_uses) {
        m_failure = {QStringLiteral("Cannot EXPORT ") + path,
                     QStringLiteral("The catalogue's tables could not be opened.")};
        return false;
    }
    m_total = 0;
    for (Table *table : tables) {
        const qint64 records = table->records();
        if (errorCode() != err::None) {
            fail(QStringLiteral("Cannot READ ") + table->label(), storeErrorText());
            release();
            return false;
        }
        m_total += records;
    }
    m_file = std::make_unique<QSaveFile>(path);
    if (!m_file->open(QIODevice::WriteOnly)) {
        fail(QStringLiteral("Cannot CREATE ") + path, fileErrorText(*m_file));
        cancel();
        return false;
    }
    m_pending = "{\"format\": ";
    appendJsonString(m_pending, catalogueFormatName());
    m_pending +=
        ", \"version\": " + QByteArray::number(CatalogueFormatVersion) + ", \"tables\": [\n";
    m_table = -1;
    m_written = 0;
    return startTable();
}

bool CatalogueExport::startTable()
{
    ++m_table;
    if (m_table >= catalogueTables().size())
        return true;
    const TableDef &def = tableDef(catalogueTables().at(m_table));
    if (m_table > 0)
        m_pending += ",\n";
    m_pending += "{\"table\": ";
    appendJsonString(m_pending, def.label);
    m_pending += ", \"prefix\": ";
    appendJsonString(m_pending, def.prefix);
    m_pending += ", \"fields\": [";
    for (int field = 0; field < def.fields.size(); ++field) {
        if (field > 0)
            m_pending += ", ";
        appendJsonString(m_pending, def.fields.at(field).name);
    }
    m_pending += "], \"memos\": [";
    for (int memo = 0; memo < def.memos.size(); ++memo) {
        if (memo > 0)
            m_pending += ", ";
        appendJsonString(m_pending, def.memos.at(memo).name);
    }
    m_pending += "], \"records\": [";
    m_cursor = Cursor{};
    m_cursor.key = -1; // file order: every record, whatever its keys hold
    m_firstRecord = true;
    return true;
}

CatalogueExport::Step CatalogueExport::fail(const QString &caption, const QString &text)
{
    m_failure = {caption, text};
    return Step::Failed;
}

bool CatalogueExport::writePending(bool force)
{
    if (m_pending.size() < BlockBytes && !force)
        return true;
    if (m_file->write(m_pending) != m_pending.size()) {
        fail(QStringLiteral("Cannot WRITE ") + m_path, fileErrorText(*m_file));
        return false;
    }
    m_pending.clear();
    return true;
}

CatalogueExport::Step CatalogueExport::next()
{
    if (!m_file || !m_uses)
        return fail(QStringLiteral("Cannot EXPORT ") + m_path,
                    QStringLiteral("The export has not begun."));
    while (m_table < catalogueTables().size()) {
        Table &table = m_session.store().table(catalogueTables().at(m_table));
        if (!table.read(m_cursor, true)) {
            if (errorCode() != err::RecordNotAvailable)
                return fail(QStringLiteral("Cannot READ ") + table.label(), storeErrorText());
            m_pending += m_firstRecord ? "]}" : "\n]}";
            if (!startTable())
                return Step::Failed;
            continue;
        }
        const Record &record = table.buffer();
        const TableDef &def = table.definition();
        m_pending += m_firstRecord ? "\n[" : ",\n[";
        m_firstRecord = false;
        for (int field = 0; field < def.fields.size(); ++field) {
            if (field > 0)
                m_pending += ", ";
            if (def.fields.at(field).type == FieldType::String)
                appendJsonString(m_pending, record.text(field));
            else
                m_pending += QByteArray::number(record.number(field));
        }
        for (int memo = 0; memo < def.memos.size(); ++memo) {
            m_pending += ", ";
            appendJsonString(m_pending, record.memo(memo));
        }
        m_pending += ']';
        ++m_written;
        return writePending(false) ? Step::Record : Step::Failed;
    }
    return Step::End;
}

bool CatalogueExport::finish()
{
    if (!m_file)
        return false;
    m_pending += "\n]}\n";
    if (!writePending(true)) {
        cancel();
        return false;
    }
    if (!m_file->commit()) {
        fail(QStringLiteral("Cannot WRITE ") + m_path, fileErrorText(*m_file));
        m_file.reset();
        release();
        return false;
    }
    m_file.reset();
    release();
    return true;
}

void CatalogueExport::cancel()
{
    if (m_file) {
        m_file->cancelWriting();
        m_file.reset(); // QSaveFile removes its unfinished copy
    }
    release();
}

void CatalogueExport::release()
{
    m_cursor = Cursor{};
    m_uses.reset();
}

// ---------------------------------------------------------------------------------------
// Import

CatalogueImport::CatalogueImport(Session &session) : m_session(session) {}

CatalogueImport::~CatalogueImport()
{
    end();
}

QString CatalogueImport::found(Token token) const
{
    switch (token) {
    case Token::BeginObject:
        return QStringLiteral("'{'");
    case Token::EndObject:
        return QStringLiteral("'}'");
    case Token::BeginArray:
        return QStringLiteral("'['");
    case Token::EndArray:
        return QStringLiteral("']'");
    case Token::Colon:
        return QStringLiteral("':'");
    case Token::Comma:
        return QStringLiteral("','");
    case Token::String:
        return QStringLiteral("the text \"%1\"").arg(m_reader->text().left(40));
    case Token::Number:
        return QStringLiteral("the number %1").arg(m_reader->text());
    case Token::True:
        return QStringLiteral("true");
    case Token::False:
        return QStringLiteral("false");
    case Token::Null:
        return QStringLiteral("null");
    case Token::End:
        return QStringLiteral("the end of the file");
    case Token::Error:
        break;
    }
    return m_reader->error();
}

bool CatalogueImport::shapeFailure(const QString &what)
{
    QString text = QStringLiteral("Line %1, column %2: %3.")
                       .arg(m_reader->line())
                       .arg(m_reader->column())
                       .arg(what);
    if (m_tableDef && (m_state == State::Records || m_state == State::AfterRecord))
        text += QStringLiteral("\nIn the records of %1, record %2.")
                    .arg(m_tableDef->label)
                    .arg(m_recordNumber);
    m_failure = {QStringLiteral("Cannot IMPORT ") + m_file.fileName(), text};
    return false;
}

bool CatalogueImport::expect(Token token, const QString &what)
{
    const Token got = m_reader->next();
    if (got == token)
        return true;
    if (got == Token::Error)
        return shapeFailure(m_reader->error() + QStringLiteral(" where ") + what +
                            QStringLiteral(" is expected"));
    return shapeFailure(what + QStringLiteral(" is expected, not ") + found(got));
}

bool CatalogueImport::begin(const QString &path)
{
    end();
    m_failure = {};
    m_added = m_replaced = m_kept = 0;
    m_seen.clear();
    m_tableDef = nullptr;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        const int number = m_file.error() == QFileDevice::OpenError && !m_file.exists()
                               ? err::FileNotFound
                           : m_file.error() == QFileDevice::PermissionsError ? err::AccessDenied
                                                                             : err::FileSystemError;
        m_failure = {QStringLiteral("Cannot OPEN ") + path,
                     QStringLiteral("Error #%1 - %2").arg(number).arg(m_file.errorString())};
        return false;
    }
    m_fileSize = m_file.size();
    m_reader = std::make_unique<JsonReader>(m_file);
    m_state = State::Tables;
    if (!readHeader()) {
        end();
        return false;
    }
    Store &store = m_session.store();
    QList<Table *> tables;
    for (const TableId id : catalogueTables())
        tables.append(&store.table(id));
    m_uses = m_session.files().use(tables);
    if (!m_uses) {
        m_failure = {QStringLiteral("Cannot IMPORT ") + path,
                     QStringLiteral("The catalogue's tables could not be opened.")};
        end();
        return false;
    }
    m_hadRecords = false;
    for (Table *table : tables) {
        const qint64 records = table->records();
        if (errorCode() != err::None) {
            m_failure = {QStringLiteral("Cannot READ ") + table->label(), storeErrorText()};
            end();
            return false;
        }
        m_hadRecords = m_hadRecords || records > 0;
    }
    m_onMatch = OnMatch::Unset;
    m_state = State::Tables;
    return true;
}

bool CatalogueImport::readEntryName(bool first, const QString &what, QString &name)
{
    if (!first && !expect(Token::Comma, QStringLiteral("','")))
        return false;
    if (!expect(Token::String, what))
        return false;
    name = m_reader->text();
    return expect(Token::Colon, QStringLiteral("':'"));
}

bool CatalogueImport::readHeader()
{
    if (!expect(Token::BeginObject, QStringLiteral("'{' (the beginning of a catalogue)")))
        return false;
    bool format = false;
    bool version = false;
    for (bool first = true;; first = false) {
        QString name;
        if (!readEntryName(first, QStringLiteral("the name of an entry"), name))
            return false;
        if (name == u"format") {
            if (!expect(Token::String, QStringLiteral("the name of the format")))
                return false;
            if (m_reader->text() != catalogueFormatName())
                return shapeFailure(
                    QStringLiteral("the file is not a catalogue: its format is \"%1\", not \"%2\"")
                        .arg(m_reader->text().left(60), catalogueFormatName()));
            format = true;
        } else if (name == u"version") {
            if (!expect(Token::Number, QStringLiteral("the format version")))
                return false;
            if (m_reader->text() != QString::number(CatalogueFormatVersion))
                return shapeFailure(
                    QStringLiteral("the file's format version is %1; this program reads "
                                   "version %2 only")
                        .arg(m_reader->text().left(20))
                        .arg(CatalogueFormatVersion));
            version = true;
        } else if (name == u"tables") {
            if (!format || !version)
                return shapeFailure(
                    QStringLiteral("the format and its version must come before the tables"));
            return expect(Token::BeginArray, QStringLiteral("'[' (the list of tables)"));
        } else {
            return shapeFailure(QStringLiteral("an unknown entry \"%1\"").arg(name.left(40)));
        }
    }
}

bool CatalogueImport::readNames(const TableDef &table, bool memos)
{
    if (!expect(Token::BeginArray, QStringLiteral("'[' (a list of names)")))
        return false;
    for (bool first = true;; first = false) {
        Token token = m_reader->next();
        if (token == Token::EndArray && first)
            return true;
        if (!first) {
            if (token == Token::EndArray)
                return true;
            if (token != Token::Comma)
                return shapeFailure(QStringLiteral("',' or ']' is expected, not ") + found(token));
            token = m_reader->next();
        }
        if (token != Token::String)
            return shapeFailure(
                QStringLiteral("the name of a %1 is expected, not %2")
                    .arg(memos ? QStringLiteral("memo") : QStringLiteral("field"), found(token)));
        const QString name = m_reader->text();
        const int index = memos ? table.memoIndex(name) : table.fieldIndex(name);
        if (index < 0)
            return shapeFailure(QStringLiteral("\"%1\" is not a %2 of %3")
                                    .arg(name.left(40),
                                         memos ? QStringLiteral("memo") : QStringLiteral("field"),
                                         table.label));
        const int slot = memos ? -1 - index : index;
        if (m_slots.contains(slot))
            return shapeFailure(QStringLiteral("%1 is named twice").arg(slotName(table, slot)));
        m_slots.append(slot);
    }
}

bool CatalogueImport::readTableHeader()
{
    m_tableDef = nullptr;
    m_slots.clear();
    m_recordNumber = 0;
    bool fields = false;
    for (bool first = true;; first = false) {
        QString name;
        if (!readEntryName(first, QStringLiteral("the name of an entry of a table"), name))
            return false;
        if (name == u"table") {
            if (m_tableDef)
                return shapeFailure(QStringLiteral("a table is named twice"));
            if (!expect(Token::String, QStringLiteral("the name of a table")))
                return false;
            const QString label = m_reader->text();
            for (const TableId id : catalogueTables()) {
                if (tableDef(id).label.compare(label, Qt::CaseInsensitive) == 0)
                    m_tableDef = &tableDef(id);
            }
            if (!m_tableDef)
                return shapeFailure(
                    QStringLiteral("\"%1\" is not a table of the catalogue").arg(label.left(40)));
            if (m_seen.contains(m_tableDef->id))
                return shapeFailure(
                    QStringLiteral("the table %1 comes a second time").arg(m_tableDef->label));
            m_seen.append(m_tableDef->id);
            continue;
        }
        if (!m_tableDef)
            return shapeFailure(QStringLiteral("a table must begin with its name"));
        if (name == u"prefix") {
            if (!expect(Token::String, QStringLiteral("the table's prefix")))
                return false;
            if (m_reader->text().compare(m_tableDef->prefix, Qt::CaseInsensitive) != 0)
                return shapeFailure(
                    QStringLiteral("the prefix of %1 is %2, not \"%3\"")
                        .arg(m_tableDef->label, m_tableDef->prefix, m_reader->text().left(20)));
        } else if (name == u"fields" || name == u"memos") {
            if (name == u"fields")
                fields = true;
            if (!readNames(*m_tableDef, name == u"memos"))
                return false;
        } else if (name == u"records") {
            if (!fields)
                return shapeFailure(QStringLiteral("the fields of %1 must be named before its "
                                                   "records")
                                        .arg(m_tableDef->label));
            // Without its identity a record could be neither matched nor numbered.
            const int key = identityKey(*m_tableDef);
            for (const int component : m_tableDef->keys.at(key).components) {
                if (!m_slots.contains(component))
                    return shapeFailure(
                        QStringLiteral("the fields of %1 do not name %2")
                            .arg(m_tableDef->label, m_tableDef->fullName(component)));
            }
            return expect(Token::BeginArray, QStringLiteral("'[' (the list of records)"));
        } else {
            return shapeFailure(QStringLiteral("an unknown entry \"%1\"").arg(name.left(40)));
        }
    }
}

bool CatalogueImport::readRecord(Record &record)
{
    record.clear();
    const TableDef &def = *m_tableDef;
    for (qsizetype i = 0; i < m_slots.size(); ++i) {
        if (i > 0) {
            const Token token = m_reader->next();
            if (token == Token::EndArray)
                return shapeFailure(QStringLiteral("the record holds %1 values; the table names "
                                                   "%2 fields and memos")
                                        .arg(i)
                                        .arg(m_slots.size()));
            if (token != Token::Comma)
                return shapeFailure(QStringLiteral("',' is expected, not ") + found(token));
        }
        const int slot = m_slots.at(i);
        const QString name = slotName(def, slot);
        const Token token = m_reader->next();
        if (token == Token::Error)
            return shapeFailure(m_reader->error() + QStringLiteral(" in ") + name);
        const QString &text = m_reader->text();
        if (slot < 0) {
            const MemoDef &memo = def.memos.at(-1 - slot);
            if (token != Token::String)
                return shapeFailure(
                    QStringLiteral("a text is expected for %1, not %2").arg(name, found(token)));
            if (text.size() > memo.maxLength)
                return shapeFailure(QStringLiteral("%1 holds %2 characters; it takes at most %3")
                                        .arg(name)
                                        .arg(text.size())
                                        .arg(memo.maxLength));
            record.setMemo(-1 - slot, text);
            continue;
        }
        const FieldDef &field = def.fields.at(slot);
        if (field.type == FieldType::String) {
            if (token != Token::String)
                return shapeFailure(
                    QStringLiteral("a text is expected for %1, not %2").arg(name, found(token)));
            // Trailing blanks are not stored, so only the text before them must fit.
            if (const qsizetype length = fitText(text, int(text.size())).size();
                length > field.size)
                return shapeFailure(QStringLiteral("%1 holds %2 characters; it takes at most %3")
                                        .arg(name)
                                        .arg(length)
                                        .arg(field.size));
            record.setText(slot, text);
            continue;
        }
        if (token != Token::Number)
            return shapeFailure(
                QStringLiteral("a number is expected for %1, not %2").arg(name, found(token)));
        bool whole = false;
        const qint64 number = text.toLongLong(&whole);
        if (!whole)
            return shapeFailure(
                QStringLiteral("%1 takes whole numbers, not %2").arg(name, text.left(40)));
        if (fitNumber(field.type, field.size, number) != number)
            return shapeFailure(QStringLiteral("%1 does not fit %2").arg(text, name));
        record.setNumber(slot, number);
    }
    const Token token = m_reader->next();
    if (token == Token::Comma)
        return shapeFailure(QStringLiteral("the record holds more values than the table names "
                                           "fields and memos (%1)")
                                .arg(m_slots.size()));
    if (token != Token::EndArray)
        return shapeFailure(QStringLiteral("']' is expected, not ") + found(token));
    return true;
}

bool CatalogueImport::commit()
{
    const bool open = m_inTransaction > 0;
    m_inTransaction = 0;
    if (!open)
        return true;
    Database &database = m_session.store().database();
    if (database.inTransaction() && database.writable() && database.commit()) {
        m_added += std::exchange(m_pendingAdded, 0);
        m_replaced += std::exchange(m_pendingReplaced, 0);
        return true;
    }
    const StoreError error = lastError();
    if (database.inTransaction())
        (void)database.rollback();
    restoreError(error);
    m_pendingAdded = m_pendingReplaced = 0;
    return false;
}

bool CatalogueImport::write(Record &record)
{
    const TableDef &def = *m_tableDef;
    Table &table = m_session.store().table(def.id);
    const auto storeFailure = [&](const QString &what) {
        m_failure = {QStringLiteral("Cannot IMPORT ") + m_file.fileName(),
                     QStringLiteral("Record %1 of %2 %3: %4")
                         .arg(m_recordNumber)
                         .arg(def.label, what, storeErrorText())};
        return false;
    };
    if (m_inTransaction == 0) {
        if (!m_session.store().database().logout(1, catalogueTables()))
            return storeFailure(QStringLiteral("could not be written"));
    }
    ++m_inTransaction;
    if (m_hadRecords) {
        table.buffer() = record;
        if (table.get(identityKey(def))) {
            if (table.buffer() == record || m_onMatch == OnMatch::Keep) {
                ++m_kept;
            } else {
                table.buffer() = record;
                if (!table.put())
                    return storeFailure(QStringLiteral("could not replace the record there"));
                ++m_pendingReplaced;
            }
            return m_inTransaction < RecordsPerTransaction || commit() ||
                   storeFailure(QStringLiteral("could not be saved"));
        }
        if (errorCode() != err::RecordNotFound)
            return storeFailure(QStringLiteral("could not be looked up"));
    }
    table.buffer() = record;
    if (!table.add()) {
        if (errorCode() == err::DuplicateKey) {
            const StoreError error = lastError();
            const int key = table.duplicateKey();
            restoreError(error);
            if (key >= 0)
                return storeFailure(QStringLiteral("duplicates the key %1:%2 of a record there")
                                        .arg(def.prefix, def.keys.at(key).name));
        }
        return storeFailure(QStringLiteral("could not be added"));
    }
    ++m_pendingAdded;
    return m_inTransaction < RecordsPerTransaction || commit() ||
           storeFailure(QStringLiteral("could not be saved"));
}

CatalogueImport::Step CatalogueImport::failStep()
{
    const Failure failure = m_failure;
    (void)commit(); // the records before the one that failed stay, each whole
    m_failure = failure;
    m_failure.text += QStringLiteral("\nNothing of this record was imported; ") + summary();
    m_state = State::Done;
    return Step::Failed;
}

CatalogueImport::Step CatalogueImport::next()
{
    if (!m_reader || !m_uses || m_state == State::Done) {
        m_failure = {QStringLiteral("Cannot IMPORT ") + m_file.fileName(),
                     QStringLiteral("The import has not begun.")};
        return Step::Failed;
    }
    if (m_hadRecords && m_onMatch == OnMatch::Unset) {
        m_failure = {QStringLiteral("Cannot IMPORT ") + m_file.fileName(),
                     QStringLiteral("The catalogue already holds records: say whether records of "
                                    "the file with the same identity replace them or are left "
                                    "out. Nothing was imported.")};
        m_state = State::Done;
        return Step::Failed;
    }
    for (;;) {
        switch (m_state) {
        case State::Tables:
        case State::AfterTable: {
            Token token = m_reader->next();
            if (token == Token::EndArray) {
                m_state = State::AfterTables;
                continue;
            }
            if (m_state == State::AfterTable) {
                if (token != Token::Comma) {
                    shapeFailure(QStringLiteral("',' or ']' is expected, not ") + found(token));
                    return failStep();
                }
                token = m_reader->next();
            }
            if (token != Token::BeginObject) {
                shapeFailure(QStringLiteral("'{' (a table) is expected, not ") + found(token));
                return failStep();
            }
            if (!readTableHeader())
                return failStep();
            m_state = State::Records;
            continue;
        }
        case State::Records:
        case State::AfterRecord: {
            Token token = m_reader->next();
            if (token == Token::EndArray) {
                m_state = State::AfterTable;
                if (!expect(Token::EndObject, QStringLiteral("'}' after the records")))
                    return failStep();
                continue;
            }
            if (m_state == State::AfterRecord) {
                if (token != Token::Comma) {
                    shapeFailure(QStringLiteral("',' or ']' is expected, not ") + found(token));
                    return failStep();
                }
                token = m_reader->next();
            }
            ++m_recordNumber;
            m_state = State::AfterRecord;
            if (token != Token::BeginArray) {
                shapeFailure(QStringLiteral("'[' (a record) is expected, not ") + found(token));
                return failStep();
            }
            Record record(*m_tableDef);
            if (!readRecord(record) || !write(record))
                return failStep();
            return Step::Record;
        }
        case State::AfterTables:
            if (!expect(Token::EndObject, QStringLiteral("'}' after the tables")) ||
                !expect(Token::End, QStringLiteral("the end of the file")))
                return failStep();
            m_state = State::Done;
            if (!commit()) {
                m_failure = {QStringLiteral("Cannot IMPORT ") + m_file.fileName(),
                             QStringLiteral("The last records could not be saved: ") +
                                 storeErrorText()};
                return failStep();
            }
            return Step::End;
        case State::Done:
            break;
        }
        return Step::End;
    }
}

QString CatalogueImport::summary() const
{
    return QStringLiteral("%1 records were added, %2 replaced and %3 left as the catalogue had "
                          "them.")
        .arg(m_added)
        .arg(m_replaced)
        .arg(m_kept);
}

void CatalogueImport::end()
{
    (void)commit();
    m_uses.reset();
    m_reader.reset();
    if (m_file.isOpen())
        m_file.close();
    m_state = State::Done;
}

} // namespace sv::exchange
