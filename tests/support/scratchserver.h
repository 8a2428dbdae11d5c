#pragma once

#include <QString>
#include <QTemporaryDir>

namespace sv::test {

// A throwaway PostgreSQL cluster for one test program: made with initdb in a temporary
// folder, reached only through a Unix socket in that folder (no TCP port, so test programs
// running side by side never meet), and stopped and removed when this is destroyed. As the
// server refuses to run as root, a root process runs it as the `postgres` user (or
// `nobody`) in a folder that user owns.
class ScratchServer
{
public:
    ScratchServer();
    ~ScratchServer();
    ScratchServer(const ScratchServer &) = delete;
    ScratchServer &operator=(const ScratchServer &) = delete;

    // False when the server programs are not installed: tests skip with skipReason().
    bool installed() const { return !m_binDir.isEmpty(); }
    QString skipReason() const { return QStringLiteral("PostgreSQL server programs not found"); }
    // Starts the cluster the first time; false with the reason in error() when it would not
    // start although installed (a real failure, never a skip).
    [[nodiscard]] bool start();
    bool running() const { return m_running; }
    QString error() const { return m_error; }

    // A login that must give its password (SCRAM), for tests of how the password is found;
    // it has no rights beyond connecting.
    static QString passwordUser() { return QStringLiteral("dj"); }
    static QString password() { return QStringLiteral("Waterloo74"); }

    // A database of its own for one test case, made afresh; its postgresql:// URL.
    [[nodiscard]] QString createDatabase(const QString &name);
    // A new database `to` made from a dump of `from` with the server's own pg_dump and
    // pg_restore, as a catalogue is backed up and restored; false with the reason in error()
    // when either reported a problem.
    [[nodiscard]] bool restoreCopy(const QString &from, const QString &to);
    QString socketFolder() const { return m_dir ? m_dir->path() : QString(); }

private:
    bool run(const QString &program, const QStringList &arguments, int timeoutMs = 60000);

    QString m_binDir;
    QString m_user; // runs the server when this process is root; empty: this process's user
    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_running = false;
    QString m_error;
};

} // namespace sv::test
