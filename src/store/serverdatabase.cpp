#include "serverdatabase.h"

#include "keytext.h"
#include "pgdialect.h"

#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

#include <vector>

namespace sv {

namespace {

bool isServerUrl(const QString &url)
{
    return url.startsWith(QStringLiteral("postgresql://")) ||
           url.startsWith(QStringLiteral("postgres://"));
}

int errorForState(const QByteArray &state)
{
    if (state == "23505")
        return err::DuplicateKey;
    if (state == "55P03" || state == "40P01" || state == "40001")
        return err::FileLocked;
    if (state == "42501")
        return err::AccessDenied;
    if (state == "42P01")
        return err::FileNotFound;
    return err::FileSystemError;
}

QByteArray parameterText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QByteArray::number(value.toLongLong());
    case QMetaType::QByteArray:
        return value.toByteArray();
    default:
        return value.toString().toUtf8();
    }
}

} // namespace

ServerChoice chooseServer(const QStringList &arguments, const QString &environment,
                          const QString &setting)
{
    QString url;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == u"--server" && i + 1 < arguments.size()) {
            url = arguments.at(i + 1);
            break;
        }
        if (argument.startsWith(QStringLiteral("--server="))) {
            url = argument.mid(9);
            break;
        }
    }
    if (url.isEmpty())
        url = environment.trimmed();
    if (url.isEmpty())
        url = setting.trimmed();
    ServerChoice choice{url, QString()};
    if (!url.isEmpty() && !isServerUrl(url))
        choice.problem =
            QStringLiteral("The server %1 is not a postgresql:// URL.").arg(withoutPassword(url));
    return choice;
}

QString withoutPassword(const QString &url)
{
    QUrl parsed(url);
    if (!parsed.isValid())
        return QString();
    parsed.setPassword(QString());
    QUrlQuery query(parsed);
    if (query.hasQueryItem(QStringLiteral("password"))) {
        query.removeAllQueryItems(QStringLiteral("password"));
        parsed.setQuery(query);
    }
    return parsed.toString();
}

ServerDatabase::ServerDatabase(const QString &url, const PasswordPrompt &prompt)
    : m_server(withoutPassword(url))
{
    if (!isServerUrl(url)) {
        restoreError({err::FileSystemError, standardErrorText(err::FileSystemError),
                      QStringLiteral("08001"),
                      QStringLiteral("%1 is not a postgresql:// URL").arg(m_server)});
        return;
    }
    const QByteArray address = url.toUtf8();
    PGconn *connection = PQconnectdb(address.constData());
    if (PQstatus(connection) != CONNECTION_OK && PQconnectionNeedsPassword(connection) && prompt) {
        if (const std::optional<QString> password = prompt(m_server)) {
            PQfinish(connection);
            const QByteArray secret = password->toUtf8();
            const char *keys[] = {"dbname", "password", nullptr};
            const char *values[] = {address.constData(), secret.constData(), nullptr};
            connection = PQconnectdbParams(keys, values, 1);
        }
    }
    if (PQstatus(connection) != CONNECTION_OK) {
        const QString message = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
        PQfinish(connection);
        restoreError(
            {err::FileSystemError, standardErrorText(err::FileSystemError), QStringLiteral("08001"),
             QStringLiteral("Cannot connect to the server %1: %2").arg(m_server, message)});
        return;
    }
    // Key texts are sent and read as UTF-8; a server speaking another encoding would garble
    // them.
    PQsetClientEncoding(connection, "UTF8");
    // The server's notices (a table dropped that was not there) are no news to anyone.
    PQsetNoticeProcessor(
        connection, [](void *, const char *) {}, nullptr);
    m_connection = connection;
    if (!applyOpenWait()) {
        const StoreError error = lastError();
        PQfinish(m_connection);
        m_connection = nullptr;
        restoreError(error);
        return;
    }
    clearError();
}

// A statement waits for another station's locks as long as the open wait, then fails with
// 32, as a write to a file another station holds does; never for ever behind a LOGOUT.
bool ServerDatabase::applyOpenWait()
{
    return execute(QStringLiteral("SET lock_timeout = %1").arg(qMax(1, m_openWaitSeconds * 1000)));
}

void ServerDatabase::setOpenWait(int seconds)
{
    m_openWaitSeconds = qMax(0, seconds);
    if (m_connection && !inTransaction())
        (void)applyOpenWait();
}

ServerDatabase::~ServerDatabase()
{
    if (m_connection)
        PQfinish(m_connection);
}

ServerDatabase::Result::~Result()
{
    if (m_result)
        PQclear(m_result);
}

ServerDatabase::Result &ServerDatabase::Result::operator=(Result &&other) noexcept
{
    if (this != &other) {
        if (m_result)
            PQclear(m_result);
        m_result = std::exchange(other.m_result, nullptr);
    }
    return *this;
}

int ServerDatabase::Result::rows() const
{
    return m_result ? PQntuples(m_result) : 0;
}

qint64 ServerDatabase::Result::number(int row, int column) const
{
    return QByteArray::fromRawData(PQgetvalue(m_result, row, column),
                                   PQgetlength(m_result, row, column))
        .toLongLong();
}

QString ServerDatabase::Result::text(int row, int column) const
{
    return QString::fromUtf8(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

QByteArray ServerDatabase::Result::bytes(int row, int column) const
{
    return QByteArray(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

void ServerDatabase::failConnection(const QString &what)
{
    restoreError({err::FileSystemError, standardErrorText(err::FileSystemError),
                  QStringLiteral("08006"),
                  QStringLiteral("Lost the connection to the server %1: %2")
                      .arg(m_server, what.section(u'\n', 0, 0).simplified())});
}

// Leaves the error of a failed statement; the transaction is lost when the server ended it.
bool ServerDatabase::fail(PGresult *result)
{
    const QByteArray state =
        result ? QByteArray(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QByteArray("XX000");
    const QString message =
        QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(m_connection))
            .trimmed();
    // A statement the connection failed under has no state of its own (or a connection one).
    if (PQstatus(m_connection) == CONNECTION_BAD || state.isEmpty() || state.startsWith("08")) {
        failConnection(QString::fromUtf8(PQerrorMessage(m_connection)).trimmed());
    } else {
        const int code = errorForState(state);
        restoreError({code, standardErrorText(code), QString::fromLatin1(state), message});
    }
    if (result)
        PQclear(result);
    const PGTransactionStatusType status = PQtransactionStatus(m_connection);
    const bool undoable = m_inSavepoint && status == PQTRANS_INERROR;
    if (inTransaction() && !m_lostBy && status != PQTRANS_INTRANS && !undoable) {
        // Aborted or gone: nothing of it can be committed any more.
        m_lostBy = lastError();
        ++m_generation;
    } else if (m_transaction == Transaction::Stream && !m_lostBy && !undoable &&
               lastError().code == err::FileSystemError) {
        // A batch is all or nothing: after a failed write nothing of it may be committed.
        m_lostBy = lastError();
    }
    return false;
}

bool ServerDatabase::connected()
{
    if (!m_connection) {
        failConnection(QStringLiteral("not connected"));
        return false;
    }
    if (PQstatus(m_connection) == CONNECTION_OK)
        return true;
    // Lost since the last statement. Within a transaction what it did is gone with the
    // session: the transaction stays lost until it is ended, and only then does a statement
    // connect again.
    if (inTransaction()) {
        failConnection(QStringLiteral("the transaction was lost with it"));
        return false;
    }
    PQreset(m_connection);
    if (PQstatus(m_connection) != CONNECTION_OK) {
        failConnection(QString::fromUtf8(PQerrorMessage(m_connection)).trimmed());
        return false;
    }
    PQsetClientEncoding(m_connection, "UTF8");
    m_prepared.clear(); // the new session has none of them
    ++m_generation;
    return applyOpenWait();
}

ServerDatabase::Result ServerDatabase::run(const QString &sql, const QVariantList &parameters)
{
    Result result = runOnce(sql, parameters);
    // A read outside a transaction is tried once more on a new session when the server went
    // away meanwhile; a write is not, as whether it was committed is unknown.
    if (!result.ok() && !inTransaction() && m_connection &&
        PQstatus(m_connection) == CONNECTION_BAD)
        result = runOnce(sql, parameters);
    return result;
}

ServerDatabase::Result ServerDatabase::runOnce(const QString &sql, const QVariantList &parameters)
{
    if (!connected())
        return Result();
    auto it = m_prepared.constFind(sql);
    if (it == m_prepared.cend()) {
        const QByteArray name = "sv" + QByteArray::number(m_prepared.size() + 1);
        PGresult *prepared =
            PQprepare(m_connection, name.constData(), sql.toUtf8().constData(), 0, nullptr);
        if (PQresultStatus(prepared) != PGRES_COMMAND_OK) {
            fail(prepared);
            return Result();
        }
        PQclear(prepared);
        it = m_prepared.insert(sql, name);
    }
    std::vector<QByteArray> texts;
    texts.reserve(parameters.size());
    std::vector<const char *> values;
    values.reserve(parameters.size());
    for (const QVariant &parameter : parameters) {
        texts.push_back(parameterText(parameter));
        values.push_back(texts.back().constData());
    }
    PGresult *result = PQexecPrepared(m_connection, it->constData(), int(values.size()),
                                      values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        fail(result);
        return Result();
    }
    return Result(result);
}

ServerDatabase::Result ServerDatabase::write(const QString &sql, const QVariantList &parameters)
{
    if (!inTransaction())
        return runOnce(sql, parameters);
    if (!execute(QStringLiteral("SAVEPOINT sv_write")))
        return Result();
    m_inSavepoint = true;
    Result result = runOnce(sql, parameters);
    m_inSavepoint = false;
    if (!result.ok()) {
        const StoreError error = lastError();
        if (!m_lostBy && !execute(QStringLiteral("ROLLBACK TO SAVEPOINT sv_write")))
            return result;
        if (m_transaction == Transaction::Stream && error.code == err::FileSystemError)
            m_lostBy = error; // a batch is all or nothing
        restoreError(error);
        return result;
    }
    if (!execute(QStringLiteral("RELEASE SAVEPOINT sv_write")))
        return Result();
    return result;
}

bool ServerDatabase::execute(const QString &sql)
{
    if (!connected())
        return false;
    PGresult *result = PQexec(m_connection, sql.toUtf8().constData());
    if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK)
        return fail(result);
    PQclear(result);
    return true;
}

bool ServerDatabase::beginCopyIn(const QString &sql)
{
    if (!connected())
        return false;
    PGresult *result = PQexec(m_connection, sql.toUtf8().constData());
    if (PQresultStatus(result) != PGRES_COPY_IN)
        return fail(result);
    PQclear(result);
    m_copyingIn = true;
    return true;
}

bool ServerDatabase::putCopyData(const QByteArray &rows)
{
    if (!m_copyingIn) {
        setError(err::FileNotOpen);
        return false;
    }
    if (PQputCopyData(m_connection, rows.constData(), int(rows.size())) == 1)
        return true;
    m_copyingIn = false;
    return fail(nullptr);
}

bool ServerDatabase::endCopyIn(const QString &abandonedBecause)
{
    if (!m_copyingIn) {
        setError(err::FileNotOpen);
        return false;
    }
    m_copyingIn = false;
    const QByteArray reason = abandonedBecause.toUtf8();
    const bool sent =
        PQputCopyEnd(m_connection, abandonedBecause.isEmpty() ? nullptr : reason.constData()) == 1;
    // Every result of the statement is read, or the connection stays busy with it.
    PGresult *outcome = nullptr;
    while (PGresult *result = PQgetResult(m_connection)) {
        if (outcome)
            PQclear(result);
        else
            outcome = result;
    }
    if (sent && outcome && PQresultStatus(outcome) == PGRES_COMMAND_OK) {
        PQclear(outcome);
        clearError();
        return true;
    }
    return fail(outcome);
}

qint64 ServerDatabase::changeStamp(const TableDef &table)
{
    const Result result = run(pgsql::changeStamp(table), {table.label});
    return result.ok() && result.rows() > 0 ? result.number(0, 0) : -1;
}

bool ServerDatabase::attach(const TableDef &table)
{
    if (auto it = m_attached.find(table.id); it != m_attached.end()) {
        ++*it;
        clearError();
        return true;
    }
    if (!m_connection) {
        failConnection(QStringLiteral("not connected"));
        return false;
    }
    const Result exists = run(pgsql::tableExists(), {pgsql::tableName(table)});
    if (!exists.ok())
        return false;
    if (exists.text(0, 0) != u"t") {
        setError(err::FileNotFound);
        return false;
    }
    const std::optional<int> version = notedVersion(table);
    if (!version)
        return false;
    if (*version != table.version) {
        setError(err::InvalidRecordDeclaration);
        return false;
    }
    m_attached.insert(table.id, 1);
    clearError();
    return true;
}

void ServerDatabase::detach(const TableDef &table)
{
    auto it = m_attached.find(table.id);
    if (it != m_attached.end() && --*it <= 0)
        m_attached.erase(it);
}

bool ServerDatabase::createTable(const TableDef &table)
{
    if (m_attached.contains(table.id)) {
        setError(err::AlreadyOpen);
        return false;
    }
    return inOneTransaction([&] {
        for (const QString &statement : pgsql::createTable(table)) {
            if (!execute(statement))
                return false;
        }
        return true;
    });
}

// Runs `work` as one transaction of its own, outside any other and with the table closed;
// statements prepared before it are forgotten, as it may have made tables anew.
bool ServerDatabase::inOneTransaction(const std::function<bool()> &work)
{
    if (inTransaction()) {
        setError(err::LogoutActive);
        return false;
    }
    if (!execute(QStringLiteral("BEGIN")))
        return false;
    if (!work()) {
        const StoreError error = lastError();
        (void)execute(QStringLiteral("ROLLBACK"));
        restoreError(error);
        return false;
    }
    if (!execute(QStringLiteral("COMMIT")))
        return false;
    // Statements prepared against a table of the same name that was dropped are stale.
    (void)execute(QStringLiteral("DEALLOCATE ALL"));
    m_prepared.clear();
    ++m_generation;
    clearError();
    return true;
}

std::optional<int> ServerDatabase::notedVersion(const TableDef &table)
{
    const Result structure =
        run(pgsql::tableExists(), {sql::quote(QString::fromLatin1(pgsql::StructureTable))});
    if (!structure.ok())
        return std::nullopt;
    if (structure.text(0, 0) != u"t") {
        setError(err::InvalidDataFile); // a table of that name another program made
        return std::nullopt;
    }
    const Result noted = run(pgsql::structureVersion(), {table.label});
    if (!noted.ok())
        return std::nullopt;
    if (noted.rows() == 0) {
        setError(err::InvalidDataFile);
        return std::nullopt;
    }
    return int(noted.number(0, 0));
}

bool ServerDatabase::upgradeTable(const TableDef &table)
{
    if (m_attached.contains(table.id)) {
        setError(err::AlreadyOpen);
        return false;
    }
    const Result exists = run(pgsql::tableExists(), {pgsql::tableName(table)});
    if (!exists.ok())
        return false;
    if (exists.text(0, 0) != u"t")
        return createTable(table);
    const std::optional<int> version = notedVersion(table);
    if (!version)
        return false;
    if (*version > table.version) {
        setError(err::InvalidRecordDeclaration); // going back would drop what it stores
        return false;
    }
    if (*version == table.version) {
        clearError();
        return true;
    }
    return inOneTransaction([&] {
        if (!moveAside(table))
            return false;
        const Result columns = run(pgsql::columnsAside(table));
        if (!columns.ok())
            return false;
        QStringList kept;
        for (int row = 0; row < columns.rows(); ++row)
            kept.append(columns.text(row, 0));
        for (const QString &statement : pgsql::createTable(table)) {
            if (!execute(statement))
                return false;
        }
        // A key text goes with its field: one left without it would order a blank field.
        QStringList copied;
        for (const QString &column : sql::allColumns(table)) {
            const bool keyTextOfLost = column.startsWith(u"k_") && !kept.contains(column.mid(2)) &&
                                       sql::keyTextFields(table).contains(column.mid(2));
            if (kept.contains(column) && !keyTextOfLost && column != u"sv_pos" &&
                column != u"sv_rev")
                copied.append(column);
        }
        return run(pgsql::copyAside(table, copied)).ok() &&
               run(pgsql::continuePositions(table)).ok() && execute(pgsql::dropAside(table));
    });
}

// The old table under another name, without its indexes (whose names the new table's take)
// and with every key text the new layout orders by.
bool ServerDatabase::moveAside(const TableDef &table)
{
    if (!execute(pgsql::setAside(table)))
        return false;
    const Result indexes = run(pgsql::indexesAside(table));
    if (!indexes.ok())
        return false;
    for (int row = 0; row < indexes.rows(); ++row) {
        if (!execute(pgsql::dropIndex(indexes.text(row, 0))))
            return false;
    }
    const Result columns = run(pgsql::columnsAside(table));
    if (!columns.ok())
        return false;
    QStringList present;
    for (int row = 0; row < columns.rows(); ++row)
        present.append(columns.text(row, 0));
    for (const QString &field : sql::keyTextFields(table)) {
        if (present.contains(QStringLiteral("k_") + field) || !present.contains(field))
            continue;
        if (!execute(pgsql::addKeyTextAside(table, field)))
            return false;
        const Result texts = run(pgsql::fieldAside(table, field));
        if (!texts.ok())
            return false;
        for (int row = 0; row < texts.rows(); ++row) {
            if (!run(pgsql::setKeyTextAside(table, field),
                     {keyText(texts.text(row, 1)), texts.number(row, 0)})
                     .ok())
                return false;
        }
    }
    return true;
}

bool ServerDatabase::begin(int seconds, const QList<TableId> &tables)
{
    QList<const TableDef *> locked;
    for (auto it = m_attached.cbegin(); it != m_attached.cend(); ++it) {
        if (tables.isEmpty() || tables.contains(it.key()))
            locked.append(&tableDef(it.key()));
    }
    if (!execute(QStringLiteral("BEGIN")))
        return false;
    bool ok = execute(QStringLiteral("SET LOCAL lock_timeout = %1").arg(qMax(1, seconds * 1000)));
    if (ok && !locked.isEmpty())
        ok = execute(pgsql::lockTables(locked));
    // Later statements of the transaction wait as long as any other statement.
    if (ok)
        ok = execute(
            QStringLiteral("SET LOCAL lock_timeout = %1").arg(qMax(1, m_openWaitSeconds * 1000)));
    if (!ok) {
        const StoreError error = lastError();
        if (PQstatus(m_connection) == CONNECTION_OK)
            (void)execute(QStringLiteral("ROLLBACK"));
        restoreError(error);
        return false;
    }
    m_lostBy.reset();
    return true;
}

bool ServerDatabase::logout(int seconds, const QList<TableId> &tables)
{
    if (m_transaction == Transaction::Logout) {
        setError(err::LogoutActive);
        return false;
    }
    if (m_transaction == Transaction::Stream && !flush())
        return false;
    if (!begin(seconds, tables))
        return false;
    m_transaction = Transaction::Logout;
    clearError();
    return true;
}

bool ServerDatabase::beginStream(TableId table)
{
    if (m_transaction != Transaction::None) {
        if (!writable())
            return false;
        clearError();
        return true;
    }
    if (!begin(m_openWaitSeconds, {table}))
        return false;
    m_transaction = Transaction::Stream;
    clearError();
    return true;
}

bool ServerDatabase::flush()
{
    if (m_transaction != Transaction::Stream) {
        clearError();
        return true;
    }
    return commit();
}

bool ServerDatabase::writable()
{
    if (m_lostBy) {
        restoreError(*m_lostBy);
        return false;
    }
    return true;
}

bool ServerDatabase::commit()
{
    if (m_transaction == Transaction::None) {
        setError(err::NoLogoutActive);
        return false;
    }
    if (m_lostBy) {
        const StoreError error = *m_lostBy;
        if (PQstatus(m_connection) == CONNECTION_OK &&
            PQtransactionStatus(m_connection) != PQTRANS_IDLE)
            (void)execute(QStringLiteral("ROLLBACK"));
        m_transaction = Transaction::None;
        m_lostBy.reset();
        restoreError(error);
        return false;
    }
    m_transaction = Transaction::None; // a failed COMMIT ends the transaction on the server too
    if (!execute(QStringLiteral("COMMIT")))
        return false;
    ++m_generation;
    clearError();
    return true;
}

bool ServerDatabase::rollback()
{
    if (m_transaction == Transaction::None) {
        setError(err::NoLogoutActive);
        return false;
    }
    m_transaction = Transaction::None;
    m_lostBy.reset();
    ++m_generation;
    if (PQstatus(m_connection) == CONNECTION_OK &&
        PQtransactionStatus(m_connection) != PQTRANS_IDLE && !execute(QStringLiteral("ROLLBACK")))
        return false;
    clearError();
    return true;
}

} // namespace sv
