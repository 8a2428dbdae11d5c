#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QObject;
class QProcess;

namespace sv {

class Session;
class Table;

// Lets go of a table file this program has open, so that an action can have the file to
// itself, and takes it back when it goes: the windows using the table keep their open
// counts and buffers, and read on afterwards as before (positions survive every action).
class TableRelease
{
public:
    TableRelease(Session &session, Table &table);
    ~TableRelease() { reopen(); }
    TableRelease(const TableRelease &) = delete;
    TableRelease &operator=(const TableRelease &) = delete;

    // Opens again what was closed; false when a file could not be opened (the user has
    // been told). Done once.
    bool reopen();

private:
    QList<Table *> m_closed;
};

// A message with an OK button and the information icon.
void inform(const QString &caption, const QString &text);

// "This option requires exclusive file access." for an action another station keeps from
// having a file to itself.
void informExclusiveAccess();

// Whether a file can be a table file, perhaps a damaged one: the signature every table
// file starts with, or else at least the page structure of one. A text file, an empty
// file or a cut-off file is none.
bool mayBeTableFile(const QString &path);

// One run of the repair program on a table's file. Start checks that no other station has
// the file open and writes the layout example, the program's windows let go of the file,
// and the repair program runs without blocking anything; finish tells the user what it
// saved and lost (from its log) and gives the file back to the windows.
class FixRun
{
public:
    FixRun(Session &session, Table &table);
    ~FixRun();

    // False when there is nothing to wait for: the user has been told why.
    bool start();
    bool running() const;
    // Calls `done` from the event loop once the repair program has ended (at once when it
    // has already), unless `context` has gone by then.
    void whenFinished(QObject *context, std::function<void()> done);
    // Reports the outcome; true when the file was repaired.
    bool finish();

private:
    QString logSince() const;
    void reportRepaired(const QString &log);

    Session &m_session;
    Table &m_table;
    std::unique_ptr<TableRelease> m_release;
    std::unique_ptr<QProcess> m_process;
    qint64 m_logSize = 0;
};

} // namespace sv
