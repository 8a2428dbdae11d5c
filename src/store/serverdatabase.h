#pragma once

#include "errors.h"
#include "schema.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariantList>

#include <functional>
#include <optional>
#include <utility>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace sv {

// Where the catalogue lives when it is on a PostgreSQL server: the URL from the command line
// (--server URL or --server=URL), else the environment (SONGVANE_SERVER), else the setting
// [Settings] Server. Empty: the catalogue is the folder of table files.
struct ServerChoice
{
    QString url;     // as given, password and all; never written back anywhere
    QString problem; // why the URL cannot be used (not a postgresql:// URL), else empty
};
ServerChoice chooseServer(const QStringList &arguments, const QString &environment,
                          const QString &setting);
// The URL as it may be shown or kept in a settings file: without any password in it.
QString withoutPassword(const QString &url);

// One station's connection to a catalogue on a PostgreSQL server, through libpq. Leaves the
// store's error codes as the file engine does: a unique violation is 40, a lock wait that
// ran out 32, a refused right 5, anything else 90 with the server's SQLSTATE and message,
// which names the server when the connection was refused or lost.
class ServerDatabase
{
public:
    // Asked for the password once when the server wants one that neither the URL nor
    // ~/.pgpass gave; no answer: the connection fails as refused.
    using PasswordPrompt = std::function<std::optional<QString>(const QString &server)>;
    explicit ServerDatabase(const QString &url, const PasswordPrompt &prompt = {});
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase &) = delete;
    ServerDatabase &operator=(const ServerDatabase &) = delete;

    bool isValid() const { return m_connection != nullptr; }
    QString server() const { return m_server; } // the URL without password

    // The rows of one statement, in text form, freed with it.
    class Result
    {
    public:
        Result() = default;
        explicit Result(PGresult *result) : m_result(result) {}
        ~Result();
        Result(Result &&other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}
        Result &operator=(Result &&other) noexcept;
        Result(const Result &) = delete;
        Result &operator=(const Result &) = delete;

        bool ok() const { return m_result != nullptr; }
        int rows() const;
        qint64 number(int row, int column) const;
        QString text(int row, int column) const;
        QByteArray bytes(int row, int column) const; // a text as sent: UTF-8

    private:
        PGresult *m_result = nullptr;
    };
    // Runs a statement with its parameters (qint64 or text), prepared once per connection;
    // a failed result has left the error. A connection the server dropped is made again
    // before the next statement outside a transaction, and a read that found it dropped is
    // tried once more.
    [[nodiscard]] Result run(const QString &sql, const QVariantList &parameters = {});
    // A write: within a transaction a failed one (a duplicate key) is undone alone, as the
    // file engine does, and leaves the transaction going.
    [[nodiscard]] Result write(const QString &sql, const QVariantList &parameters);
    // A write that tells its expected failures by the rows it returns instead (an insert
    // that does nothing on a duplicate): one round trip, as a failure of it ends the
    // transaction it is in.
    [[nodiscard]] Result writeOnce(const QString &sql, const QVariantList &parameters)
    {
        return runOnce(sql, parameters);
    }
    [[nodiscard]] bool execute(const QString &sql); // statements without parameters or rows
    // COPY ... FROM STDIN: begun by its statement, fed rows in the server's text form (a
    // line a row, fields tab-separated), then ended; ended with a reason it is abandoned
    // and fails, and nothing of it is kept. Inside a transaction a failure loses it.
    [[nodiscard]] bool beginCopyIn(const QString &sql);
    [[nodiscard]] bool putCopyData(const QByteArray &rows);
    [[nodiscard]] bool endCopyIn(const QString &abandonedBecause = QString());
    bool inCopyIn() const { return m_copyingIn; }

    // Tables opened through this connection, counted; opening one that was never made is 2,
    // one of a newer structure version than this program's 47.
    [[nodiscard]] bool attach(const TableDef &table);
    void detach(const TableDef &table);
    bool isAttached(TableId table) const { return m_attached.contains(table); }
    [[nodiscard]] bool createTable(const TableDef &table); // empty, in one transaction
    // Brings a table of an older structure version to this program's, every record kept
    // (position and revision too), in one transaction; makes a missing one. 47 for a newer
    // version, 46 for a table this program did not make; a unique key the records break
    // leaves the table as it was, with 40.
    [[nodiscard]] bool upgradeTable(const TableDef &table);

    // LOGOUT(seconds, tables) / COMMIT / ROLLBACK: the named tables (every open one when it
    // names none) are locked against other writers, waiting up to `seconds` for them.
    [[nodiscard]] bool logout(int seconds, const QList<TableId> &tables = {});
    [[nodiscard]] bool commit();
    [[nodiscard]] bool rollback();
    bool inTransaction() const { return m_transaction != Transaction::None; }
    bool inLogout() const { return m_transaction == Transaction::Logout; }
    // STREAM/FLUSH: a batch of writes to one table in one transaction, all or nothing; inside
    // a LOGOUT it adds nothing.
    [[nodiscard]] bool beginStream(TableId table);
    [[nodiscard]] bool flush();
    // How long a statement waits for another station's locks before it fails with 32.
    void setOpenWait(int seconds);
    // False, leaving the error that ended it, once the server ended the open transaction by
    // itself (the connection was lost): a write now would not belong to it.
    [[nodiscard]] bool writable();

    quint64 generation() const { return m_generation; }
    void noteWrite() { ++m_generation; }
    // Changes with every write to the table by any station (-1 when it cannot be read): what
    // a view learnt of the table's records holds while it stays the same.
    qint64 changeStamp(const TableDef &table);

private:
    enum class Transaction { None, Logout, Stream };

    bool fail(PGresult *result);
    bool connected(); // connects again when the server dropped the session
    bool applyOpenWait();
    Result runOnce(const QString &sql, const QVariantList &parameters);
    void failConnection(const QString &what);
    bool begin(int seconds, const QList<TableId> &tables);
    bool inOneTransaction(const std::function<bool()> &work);
    std::optional<int> notedVersion(const TableDef &table); // nullopt: the error is set
    bool moveAside(const TableDef &table);

    PGconn *m_connection = nullptr;
    QString m_server;
    QHash<QString, QByteArray> m_prepared; // statement text -> its prepared name
    QHash<TableId, int> m_attached;
    Transaction m_transaction = Transaction::None;
    int m_openWaitSeconds = 2;
    bool m_inSavepoint = false; // a failed write there is undone alone
    bool m_copyingIn = false;
    std::optional<StoreError> m_lostBy;
    quint64 m_generation = 0;
};

} // namespace sv
