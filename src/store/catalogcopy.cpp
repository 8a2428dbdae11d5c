#include "catalogcopy.h"

#include "database.h"
#include "keytext.h"
#include "pgdialect.h"
#include "serverdatabase.h"
#include "sqldialect.h"
#include "stationlock.h"
#include "table.h" // bindValue
#include "tablefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace sv {

namespace {

// One record as both engines store it, apart from its revision, which each side gives anew.
struct Row
{
    qint64 position = 0;
    QVariantList fields;
    QStringList memos;
};

// A failure's own words: the engine's message when there is one (a server's names the
// server), else the store's text for its code.
QString describe(const StoreError &error)
{
    if (!error.fileError.isEmpty())
        return error.fileError;
    return error.text.isEmpty() ? standardErrorText(error.code) : error.text;
}

QStringList keyTexts(const TableDef &table, const Row &row)
{
    QStringList texts;
    for (int field = 0; field < table.fields.size(); ++field) {
        if (sql::hasKeyText(table, field))
            texts.append(keyText(row.fields.at(field).toString()));
    }
    return texts;
}

// A text in the server's COPY text form: backslash, tab and line ends escaped.
void appendCopyText(QByteArray &out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype from = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        const char *escaped = c == '\\'   ? "\\\\"
                              : c == '\t' ? "\\t"
                              : c == '\n' ? "\\n"
                              : c == '\r' ? "\\r"
                                          : nullptr;
        if (!escaped)
            continue;
        out.append(bytes.constData() + from, i - from);
        out.append(escaped);
        from = i + 1;
    }
    out.append(bytes.constData() + from, bytes.size() - from);
}

QString columnText(sqlite3_stmt *statement, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                             sqlite3_column_bytes(statement, column));
}

} // namespace

// Where the records come from.
class CatalogueCopy::Source
{
public:
    virtual ~Source() = default;
    enum class Opened { Yes, Missing, Failed };
    virtual Opened open(const TableDef &table) = 0; // Failed leaves the error
    virtual void close() = 0;
    [[nodiscard]] virtual bool count(qint64 &records) = 0;
    // Up to `rows` records after a position, in position order.
    [[nodiscard]] virtual bool read(qint64 after, int rows, std::vector<Row> &out) = 0;
};

// Where they go: a table made anew and filled in one transaction.
class CatalogueCopy::Target
{
public:
    virtual ~Target() = default;
    virtual std::optional<bool> holdsCatalogue(const QList<TableId> &tables) = 0;
    [[nodiscard]] virtual bool begin(const TableDef &table) = 0;
    [[nodiscard]] virtual bool write(const std::vector<Row> &rows) = 0;
    // Ends the writing; the statements then left to run, one a step, still in the table's
    // transaction: its keys, each built in one go from the records in.
    [[nodiscard]] virtual bool endWriting(QStringList &finishing) = 0;
    [[nodiscard]] virtual bool execute(const QString &statement) = 0;
    // The table's records, still in its transaction.
    [[nodiscard]] virtual bool count(qint64 &records) = 0;
    [[nodiscard]] virtual bool commit() = 0;
    virtual void abandon() = 0; // the table as it was before begin()
};

namespace {

class FolderSource final : public CatalogueCopy::Source
{
public:
    explicit FolderSource(const QString &folder) : m_database(folder) {}
    ~FolderSource() override { close(); }

    Opened open(const TableDef &table) override
    {
        close();
        if (!QFileInfo::exists(m_database.filePath(table)))
            return Opened::Missing;
        if (!m_database.isValid() || !m_database.attach(table, OpenMode::ReadOnly))
            return Opened::Failed;
        m_table = &table;
        return Opened::Yes;
    }

    void close() override
    {
        if (m_table)
            m_database.detach(*std::exchange(m_table, nullptr));
    }

    bool count(qint64 &records) override
    {
        records = 0;
        if (!m_table)
            return true;
        sqlite3_stmt *statement =
            m_database.statement(sql::count(Database::schemaName(*m_table), *m_table));
        if (!statement)
            return false;
        const int result = sqlite3_step(statement);
        if (result != SQLITE_ROW)
            return m_database.setEngineErrorFromDb(result);
        records = sqlite3_column_int64(statement, 0);
        sqlite3_reset(statement);
        return true;
    }

    // A page at a time, each its own short read: other stations go on writing meanwhile.
    bool read(qint64 after, int rows, std::vector<Row> &out) override
    {
        out.clear();
        if (!m_table)
            return true;
        sqlite3_stmt *statement =
            m_database.statement(sql::page(Database::schemaName(*m_table), *m_table, -1,
                                           sql::Direction::Forward, sql::Bound::Exclusive, {}));
        if (!statement)
            return false;
        sqlite3_bind_int64(statement, 1, after);
        sqlite3_bind_int64(statement, 2, rows);
        int result;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            Row row;
            row.position = sqlite3_column_int64(statement, 0);
            int column = 2; // after the position and the revision
            row.fields.reserve(m_table->fields.size());
            for (const FieldDef &field : m_table->fields) {
                if (field.type == FieldType::String)
                    row.fields.append(columnText(statement, column++));
                else
                    row.fields.append(qint64(sqlite3_column_int64(statement, column++)));
            }
            for (qsizetype memo = 0; memo < m_table->memos.size(); ++memo)
                row.memos.append(columnText(statement, column++));
            out.push_back(std::move(row));
        }
        if (result != SQLITE_DONE)
            return m_database.setEngineErrorFromDb(result);
        sqlite3_reset(statement);
        return true;
    }

private:
    Database m_database;
    const TableDef *m_table = nullptr;
};

class ServerSource final : public CatalogueCopy::Source
{
public:
    explicit ServerSource(ServerDatabase &server) : m_server(server) {}
    ~ServerSource() override { close(); }

    Opened open(const TableDef &table) override
    {
        close();
        const ServerDatabase::Result exists =
            m_server.run(pgsql::tableExists(), {pgsql::tableName(table)});
        if (!exists.ok())
            return Opened::Failed;
        if (exists.text(0, 0) != u"t")
            return Opened::Missing;
        if (!m_server.attach(table))
            return Opened::Failed;
        m_table = &table;
        return Opened::Yes;
    }

    void close() override
    {
        if (m_table)
            m_server.detach(*std::exchange(m_table, nullptr));
    }

    bool count(qint64 &records) override
    {
        records = 0;
        if (!m_table)
            return true;
        const ServerDatabase::Result result = m_server.run(pgsql::count(*m_table));
        if (!result.ok())
            return false;
        records = result.number(0, 0);
        return true;
    }

    // A page by position at a time: a session the server dropped between two of them is
    // made again and the copy reads on from where it stood.
    bool read(qint64 after, int rows, std::vector<Row> &out) override
    {
        out.clear();
        if (!m_table)
            return true;
        const ServerDatabase::Result result =
            m_server.run(pgsql::page(*m_table, -1, sql::Direction::Forward, sql::Bound::Exclusive),
                         {after, qint64(rows)});
        if (!result.ok())
            return false;
        out.reserve(result.rows());
        for (int r = 0; r < result.rows(); ++r) {
            Row row;
            row.position = result.number(r, 0);
            int column = 2;
            row.fields.reserve(m_table->fields.size());
            for (const FieldDef &field : m_table->fields) {
                if (field.type == FieldType::String)
                    row.fields.append(result.text(r, column++));
                else
                    row.fields.append(result.number(r, column++));
            }
            for (qsizetype memo = 0; memo < m_table->memos.size(); ++memo)
                row.memos.append(result.text(r, column++));
            out.push_back(std::move(row));
        }
        return true;
    }

private:
    ServerDatabase &m_server;
    const TableDef *m_table = nullptr;
};

// Each table is made and filled as a file in a folder of the copy's own beside the target
// files, then put in place of the target's file in one rename: a table that fails or is
// cancelled never touches the file it would replace.
class FolderTarget final : public CatalogueCopy::Target
{
public:
    explicit FolderTarget(const QString &folder)
        : m_folder(folder), m_staging(QDir(folder).filePath(QStringLiteral(".copying")))
    {}
    ~FolderTarget() override
    {
        abandon();
        m_database.reset();
        QDir(m_staging).removeRecursively();
    }

    std::optional<bool> holdsCatalogue(const QList<TableId> &tables) override
    {
        for (TableId id : tables) {
            if (QFileInfo::exists(targetPath(tableDef(id))))
                return true;
        }
        return false;
    }

    bool begin(const TableDef &table) override
    {
        if (!QDir().mkpath(m_staging)) {
            setError(err::PathNotFound);
            return false;
        }
        if (!m_database) {
            m_database = std::make_unique<Database>(m_staging);
            if (!m_database->isValid())
                return false;
        }
        const QString path = m_database->filePath(table);
        QFile::remove(path); // left by a copy that was killed
        if (!tablefile::create(table, path) || !m_database->attach(table, OpenMode::Exclusive))
            return false;
        m_table = &table;
        m_revision = 0;
        m_lastWritten = 0;
        m_stretchEnds.clear();
        if (!m_database->logout(2, {table.id})) {
            abandon();
            return false;
        }
        // The keys and the full-text index are made once the records are in: built in one
        // go from sorted records instead of growing record by record.
        const QString schema = Database::schemaName(table);
        QStringList statements = sql::dropFullText(schema, table);
        for (int key = 0; key < table.keys.size(); ++key)
            statements.append(sql::dropIndex(schema, table, key));
        for (const QString &statement : std::as_const(statements)) {
            if (!m_database->execute(statement)) {
                abandon();
                return false;
            }
        }
        return true;
    }

    bool write(const std::vector<Row> &rows) override
    {
        const QString schema = Database::schemaName(*m_table);
        const int columns = int(2 + m_table->fields.size() + m_table->memos.size() +
                                sql::keyTextFields(*m_table).size());
        // As many records a statement as the engine takes parameters: every statement that
        // writes songs makes the full-text index write out what it gathered.
        const int perStatement = qBound(1, 32000 / columns, 500);
        for (size_t first = 0; first < rows.size(); first += size_t(perStatement)) {
            const int count = int(qMin(rows.size() - first, size_t(perStatement)));
            sqlite3_stmt *statement =
                m_database->statement(sql::insertCopied(schema, *m_table, count));
            if (!statement)
                return false;
            int index = 1;
            for (int i = 0; i < count; ++i) {
                const Row &row = rows.at(first + size_t(i));
                sqlite3_bind_int64(statement, index++, row.position);
                sqlite3_bind_int64(statement, index++, ++m_revision);
                if (m_revision % FullTextStretch == 0)
                    m_stretchEnds.append(row.position);
                m_lastWritten = row.position;
                for (const QVariant &value : row.fields)
                    bindValue(statement, index++, value);
                for (const QString &memo : row.memos)
                    bindValue(statement, index++, memo);
                for (const QString &text : keyTexts(*m_table, row))
                    bindValue(statement, index++, text);
            }
            const int result = sqlite3_step(statement);
            sqlite3_reset(statement);
            if (result != SQLITE_DONE)
                return m_database->setEngineErrorFromDb(result);
        }
        return true;
    }

    bool endWriting(QStringList &finishing) override
    {
        const QString schema = Database::schemaName(*m_table);
        finishing.clear();
        for (int key = 0; key < m_table->keys.size(); ++key) {
            if (!m_table->keys.at(key).onDemand)
                finishing.append(sql::createIndex(schema, *m_table, key));
        }
        // The full-text index a stretch of records a step, each step as short as a key's.
        finishing += sql::createFullText(schema, *m_table, false);
        if (!sql::fullTextColumns(*m_table).isEmpty()) {
            if (m_lastWritten > (m_stretchEnds.isEmpty() ? 0 : m_stretchEnds.last()))
                m_stretchEnds.append(m_lastWritten);
            qint64 after = 0;
            for (const qint64 upTo : std::as_const(m_stretchEnds)) {
                finishing.append(sql::fillFullText(schema, *m_table, after, upTo));
                after = upTo;
            }
        }
        // The counters as the records are, whatever the triggers kept before.
        finishing += sql::recount(schema, *m_table);
        return true;
    }

    bool execute(const QString &statement) override { return m_database->execute(statement); }

    bool count(qint64 &records) override
    {
        sqlite3_stmt *statement =
            m_database->statement(sql::count(Database::schemaName(*m_table), *m_table));
        if (!statement)
            return false;
        const int result = sqlite3_step(statement);
        if (result != SQLITE_ROW)
            return m_database->setEngineErrorFromDb(result);
        records = sqlite3_column_int64(statement, 0);
        sqlite3_reset(statement);
        return true;
    }

    bool commit() override
    {
        if (!m_database->commit()) {
            abandon();
            return false;
        }
        const TableDef &table = *std::exchange(m_table, nullptr);
        m_database->detach(table);
        const QString made = m_database->filePath(table);
        const QString target = targetPath(table);
        // The journal of a transaction another station left unfinished in the old file
        // would be played back into the new one.
        if (tablefile::hasHotJournal(target)) {
            QFile::remove(made);
            restoreError({err::FileLocked, standardErrorText(err::FileLocked), QString(),
                          QStringLiteral("%1 holds an unfinished transaction; repair it or "
                                         "remove it first")
                              .arg(QDir::toNativeSeparators(target))});
            return false;
        }
        // A station that has the old file open would go on working in a file no longer
        // there, and what it wrote would be lost: the file is replaced only while no other
        // station has it open, and held meanwhile.
        StationLock hold;
        if (QFileInfo::exists(target) && !hold.take(target, StationLock::Kind::Exclusive)) {
            const StoreError error = lastError();
            QFile::remove(made);
            restoreError({error.code, error.text, error.fileErrorCode,
                          error.code == err::FileLocked
                              ? QStringLiteral("%1 is open at another station; close it there "
                                               "first")
                                    .arg(QDir::toNativeSeparators(target))
                              : QDir::toNativeSeparators(target)});
            return false;
        }
        if (std::rename(QFile::encodeName(made).constData(),
                        QFile::encodeName(target).constData()) != 0) {
            const int code = errno;
            QFile::remove(made);
            restoreError({err::AccessDenied, standardErrorText(err::AccessDenied), QString(),
                          QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(target),
                                                       QString::fromLocal8Bit(strerror(code)))});
            return false;
        }
        clearError();
        return true;
    }

    void abandon() override
    {
        if (!m_table)
            return;
        const StoreError error = lastError();
        if (m_database->inTransaction())
            (void)m_database->rollback();
        const TableDef &table = *std::exchange(m_table, nullptr);
        m_database->detach(table);
        QFile::remove(m_database->filePath(table));
        restoreError(error);
    }

private:
    QString targetPath(const TableDef &table) const
    {
        return QDir(m_folder).filePath(table.fileName + QStringLiteral(".tps"));
    }

    QString m_folder;
    QString m_staging;
    std::unique_ptr<Database> m_database;
    const TableDef *m_table = nullptr;
    qint64 m_revision = 0;
    // Records a step of filling the full-text index takes: as many as a batch.
    static constexpr qint64 FullTextStretch = CatalogueCopy::BatchRows;
    QList<qint64> m_stretchEnds; // the position of every FullTextStretch-th record written
    qint64 m_lastWritten = 0;
};

// The table is dropped, made anew and filled in one transaction, so until it commits other
// stations go on seeing the table as it was.
class ServerTarget final : public CatalogueCopy::Target
{
public:
    explicit ServerTarget(ServerDatabase &server) : m_server(server) {}
    ~ServerTarget() override { abandon(); }

    std::optional<bool> holdsCatalogue(const QList<TableId> &tables) override
    {
        QStringList names{sql::quote(QString::fromLatin1(pgsql::StructureTable))};
        for (TableId id : tables)
            names.append(pgsql::tableName(tableDef(id)));
        for (const QString &name : names) {
            const ServerDatabase::Result exists = m_server.run(pgsql::tableExists(), {name});
            if (!exists.ok())
                return std::nullopt;
            if (exists.text(0, 0) == u"t")
                return true;
        }
        return false;
    }

    bool begin(const TableDef &table) override
    {
        // A table this connection does not hold open: the transaction locks nothing more.
        if (!m_server.logout(2, {table.id}))
            return false;
        m_table = &table;
        // The keys are made once the records are in (see count()).
        QStringList statements = pgsql::createTableWithoutKeys(table);
        statements.append(pgsql::revisionDefault(table));
        for (const QString &statement : std::as_const(statements)) {
            if (!m_server.execute(statement)) {
                abandon();
                return false;
            }
        }
        if (!m_server.beginCopyIn(pgsql::copyIn(table))) {
            abandon();
            return false;
        }
        return true;
    }

    bool write(const std::vector<Row> &rows) override
    {
        m_buffer.clear();
        for (const Row &row : rows) {
            m_buffer.append(QByteArray::number(row.position));
            for (const QVariant &value : row.fields) {
                m_buffer.append('\t');
                if (value.typeId() == QMetaType::QString)
                    appendCopyText(m_buffer, value.toString());
                else
                    m_buffer.append(QByteArray::number(value.toLongLong()));
            }
            for (const QString &memo : row.memos) {
                m_buffer.append('\t');
                appendCopyText(m_buffer, memo);
            }
            for (const QString &text : keyTexts(*m_table, row)) {
                m_buffer.append('\t');
                appendCopyText(m_buffer, text);
            }
            m_buffer.append('\n');
        }
        return m_server.putCopyData(m_buffer);
    }

    bool endWriting(QStringList &finishing) override
    {
        if (!m_server.endCopyIn())
            return false;
        finishing = pgsql::createKeys(*m_table);
        finishing.append(pgsql::noRevisionDefault(*m_table));
        finishing.append(pgsql::continuePositions(*m_table));
        return true;
    }

    bool execute(const QString &statement) override { return m_server.execute(statement); }

    bool count(qint64 &records) override
    {
        const ServerDatabase::Result result = m_server.run(pgsql::count(*m_table));
        if (!result.ok())
            return false;
        records = result.number(0, 0);
        return true;
    }

    bool commit() override
    {
        if (!m_server.commit()) {
            abandon();
            return false;
        }
        m_table = nullptr;
        return true;
    }

    void abandon() override
    {
        if (!m_table)
            return;
        const StoreError error = lastError();
        if (m_server.inCopyIn())
            (void)m_server.endCopyIn(QStringLiteral("the copy was abandoned"));
        if (m_server.inTransaction())
            (void)m_server.rollback();
        m_table = nullptr;
        restoreError(error);
    }

private:
    ServerDatabase &m_server;
    const TableDef *m_table = nullptr;
    QByteArray m_buffer;
};

} // namespace

CatalogueCopy::CatalogueCopy(Direction direction, const QString &folder, ServerDatabase &server)
    : m_direction(direction), m_folder(folder), m_server(server), m_tables(allTables())
{
    if (direction == Direction::ToServer) {
        m_source = std::make_unique<FolderSource>(folder);
        m_target = std::make_unique<ServerTarget>(server);
    } else {
        m_source = std::make_unique<ServerSource>(server);
        m_target = std::make_unique<FolderTarget>(folder);
    }
}

CatalogueCopy::~CatalogueCopy()
{
    abandonTable();
}

TableId CatalogueCopy::currentTable() const
{
    return m_tables.at(qMin(m_index, int(m_tables.size()) - 1));
}

QString CatalogueCopy::where() const
{
    const QString server = QStringLiteral("the server %1").arg(m_server.server());
    const QString folder = QStringLiteral("the folder %1").arg(QDir::toNativeSeparators(m_folder));
    return m_direction == Direction::ToServer ? server : folder;
}

std::optional<bool> CatalogueCopy::targetHoldsCatalogue()
{
    const std::optional<bool> holds = m_target->holdsCatalogue(m_tables);
    if (!holds) {
        m_error = lastError();
        m_message = QStringLiteral("Could not look into %1: %2").arg(where(), describe(m_error));
    }
    return holds;
}

bool CatalogueCopy::start(Replace replace)
{
    const QString source =
        m_direction == Direction::ToServer
            ? QStringLiteral("The folder %1").arg(QDir::toNativeSeparators(m_folder))
            : QStringLiteral("The server %1").arg(m_server.server());
    int present = 0;
    for (TableId id : std::as_const(m_tables)) {
        const TableDef &table = tableDef(id);
        const Source::Opened opened = m_source->open(table);
        m_source->close();
        if (opened == Source::Opened::Failed) {
            m_error = lastError();
            m_message = QStringLiteral("%1: the table %2 cannot be read: %3")
                            .arg(source, table.label, describe(m_error));
            if (m_error.code == err::InvalidRecordDeclaration)
                m_message += QStringLiteral(". Its structure is of another version than this "
                                            "program's: an older catalogue is brought up to "
                                            "date by opening it with this program first, a "
                                            "newer one needs a newer program.");
            m_state = State::Over;
            return false;
        }
        if (opened == Source::Opened::Yes)
            ++present;
    }
    if (present == 0) {
        m_error = {err::FileNotFound, standardErrorText(err::FileNotFound), {}, {}};
        m_message = QStringLiteral("%1 holds no catalogue.").arg(source);
        m_state = State::Over;
        return false;
    }
    const std::optional<bool> holds = targetHoldsCatalogue();
    if (!holds) {
        m_state = State::Over;
        return false;
    }
    if (*holds && replace == Replace::No) {
        m_error = {err::AccessDenied, standardErrorText(err::AccessDenied), {}, {}};
        QString target = where();
        target[0] = target.at(0).toUpper();
        m_message =
            QStringLiteral("%1 already holds a catalogue; it is replaced only when you say so.")
                .arg(target);
        m_state = State::Over;
        return false;
    }
    m_index = 0;
    m_state = State::Between;
    clearError();
    return true;
}

bool CatalogueCopy::beginTable()
{
    const TableDef &table = tableDef(m_tables.at(m_index));
    m_done = 0;
    m_total = 0;
    m_lastPosition = 0;
    if (m_source->open(table) == Source::Opened::Failed)
        return false;
    if (!m_source->count(m_total) || !m_target->begin(table)) {
        m_source->close();
        return false;
    }
    return true;
}

CatalogueCopy::Step CatalogueCopy::step()
{
    switch (m_state) {
    case State::Idle:
        m_message = QStringLiteral("The copy was not started.");
        return Step::Failed;
    case State::Over:
        if (m_cancelled)
            return Step::Cancelled;
        return m_error.code == err::None ? Step::Finished : Step::Failed;
    case State::Between:
        if (m_index >= m_tables.size()) {
            m_state = State::Over;
            qint64 records = 0;
            for (const TableCount &count : std::as_const(m_finished))
                records += count.copied;
            m_message = QStringLiteral("%1 tables with %2 records copied to %3.")
                            .arg(m_finished.size())
                            .arg(QLocale().toString(records))
                            .arg(where());
            m_error = {};
            return Step::Finished;
        }
        if (!beginTable())
            return fail(QString());
        m_state = State::Copying;
        return Step::Working;
    case State::Copying:
        return copyBatch();
    case State::Finishing:
        return finishBatch();
    }
    return Step::Failed;
}

CatalogueCopy::Step CatalogueCopy::copyBatch()
{
    std::vector<Row> rows;
    if (!m_source->read(m_lastPosition, BatchRows, rows))
        return fail(QString());
    if (rows.empty()) {
        if (!m_target->endWriting(m_finishing))
            return fail(QString());
        m_stepsDone = 0;
        m_state = State::Finishing;
        return Step::Working;
    }
    if (!m_target->write(rows))
        return fail(QString());
    m_done += qint64(rows.size());
    m_lastPosition = rows.back().position;
    return Step::Working;
}

CatalogueCopy::Step CatalogueCopy::finishBatch()
{
    if (m_stepsDone == m_finishing.size())
        return finishTable();
    if (!m_target->execute(m_finishing.at(m_stepsDone)))
        return fail(QString());
    ++m_stepsDone;
    return Step::Working;
}

CatalogueCopy::Step CatalogueCopy::finishTable()
{
    TableCount counts{m_tables.at(m_index)};
    // The source is counted again after it was read: a record another station added or
    // removed meanwhile where the copy had already passed shows here.
    if (!m_source->count(counts.source) || !m_target->count(counts.copied))
        return fail(QString());
    if (counts.source != counts.copied || counts.copied != m_done) {
        const QString label = tableDef(counts.table).label;
        return fail(QStringLiteral("%1 records of %2 were copied, but the source holds %3 now "
                                   "(another station changed it meanwhile?)")
                        .arg(counts.copied)
                        .arg(label)
                        .arg(counts.source));
    }
    if (!m_target->commit())
        return fail(QString());
    m_source->close();
    m_finished.append(counts);
    ++m_index;
    m_state = State::Between;
    return Step::TableDone;
}

CatalogueCopy::Step CatalogueCopy::fail(const QString &what)
{
    m_error =
        what.isEmpty()
            ? lastError()
            : StoreError{err::InvalidDataFile, standardErrorText(err::InvalidDataFile), {}, what};
    if (m_error.code == err::None)
        m_error = {err::FileSystemError, standardErrorText(err::FileSystemError), {}, {}};
    abandonTable();
    const QString label = tableDef(m_tables.at(m_index)).label;
    m_message = QStringLiteral("The table %1 could not be copied to %2: %3. It was left as it was "
                               "there; %4.")
                    .arg(label, where(), describe(m_error), tablesBefore());
    m_state = State::Over;
    restoreError(m_error);
    return Step::Failed;
}

QString CatalogueCopy::tablesBefore() const
{
    if (m_finished.isEmpty())
        return QStringLiteral("no table was copied");
    QStringList labels;
    for (const TableCount &count : m_finished)
        labels.append(tableDef(count.table).label);
    return QStringLiteral("the tables before it were copied whole (%1)").arg(labels.join(u", "));
}

void CatalogueCopy::abandonTable()
{
    if (m_state != State::Copying && m_state != State::Finishing)
        return;
    m_target->abandon();
    m_source->close();
    m_state = State::Between;
}

void CatalogueCopy::cancel()
{
    if (m_state == State::Over)
        return;
    abandonTable();
    m_state = State::Over;
    m_error = {err::None, {}, {}, {}};
    m_message = QStringLiteral("The copy was cancelled: %1 was left as it was; %2.")
                    .arg(tableDef(currentTable()).label, tablesBefore());
    m_cancelled = true;
}

CatalogueCopy::Step runCopy(CatalogueCopy &copy,
                            const std::function<bool(const CopyProgress &)> &progress)
{
    for (;;) {
        const CatalogueCopy::Step step = copy.step();
        if (step != CatalogueCopy::Step::Working && step != CatalogueCopy::Step::TableDone)
            return step;
        if (progress && !copy.isOver() &&
            !progress({copy.currentTable(), copy.tableIndex(), copy.tableCount(), copy.done(),
                       copy.total()})) {
            copy.cancel();
            return CatalogueCopy::Step::Cancelled;
        }
    }
}

} // namespace sv
