#include "ordermaker.h"

#include "database.h"
#include "sqldialect.h"
#include "table.h"

#include <sqlite3.h>

namespace sv {

namespace {

constexpr int WaitForWritersMs = 5000;

} // namespace

OrderMaker::OrderMaker(Table &table, int key)
{
    if (isReady(table, key)) {
        m_succeeded = true;
        m_finished = true;
        return;
    }
    const QString statement =
        sql::createIndex(QStringLiteral("main"), table.definition(), key, sql::IfMissing::Yes);
    const QByteArray path = table.fileName().toUtf8();
    // Opened here rather than on the thread, so that cancel() always has it to interrupt.
    if (sqlite3_open_v2(path.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        m_failure = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
        m_finished = true;
        return;
    }
    sqlite3_busy_timeout(m_db, WaitForWritersMs);
    m_thread = std::thread([this, statement] { make(statement); });
}

OrderMaker::~OrderMaker()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
    sqlite3_close(m_db);
}

void OrderMaker::make(const QString &statement)
{
    char *message = nullptr;
    const int result =
        sqlite3_exec(m_db, statement.toUtf8().constData(), nullptr, nullptr, &message);
    m_succeeded = result == SQLITE_OK;
    if (!m_succeeded)
        m_failure = QString::fromUtf8(message ? message : sqlite3_errstr(result));
    sqlite3_free(message);
    m_finished = true;
}

void OrderMaker::cancel()
{
    if (m_db && !m_finished)
        sqlite3_interrupt(m_db);
}

bool OrderMaker::isReady(Table &table, int key)
{
    const TableDef &definition = table.definition();
    // A server's table is made with the index of every order.
    if (key < 0 || !definition.keys.at(key).onDemand || table.database().server())
        return true;
    sqlite3_stmt *query = table.database().statement(
        QStringLiteral("SELECT 1 FROM %1.sqlite_master WHERE type = 'index' AND name = ?")
            .arg(sql::quote(Database::schemaName(definition))));
    if (!query)
        return false;
    const QByteArray name = sql::indexName(definition, key).toUtf8();
    sqlite3_bind_text(query, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    const bool found = sqlite3_step(query) == SQLITE_ROW;
    sqlite3_reset(query);
    return found;
}

} // namespace sv
