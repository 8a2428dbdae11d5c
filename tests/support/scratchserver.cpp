#include "scratchserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QVersionNumber>

#include <pwd.h>
#include <unistd.h>

namespace sv::test {

namespace {

// The newest installed server's programs (Debian keeps them per major version), or the
// folder named by SONGVANE_PG_BIN.
QString findBinDir()
{
    const QString chosen = qEnvironmentVariable("SONGVANE_PG_BIN");
    if (!chosen.isEmpty())
        return QFileInfo::exists(chosen + QStringLiteral("/initdb")) ? chosen : QString();
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QString best;
    QVersionNumber bestVersion;
    for (const QString &entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString bin = root.filePath(entry) + QStringLiteral("/bin");
        const QVersionNumber version = QVersionNumber::fromString(entry);
        if (QFileInfo::exists(bin + QStringLiteral("/initdb")) &&
            QFileInfo::exists(bin + QStringLiteral("/pg_ctl")) && version > bestVersion) {
            best = bin;
            bestVersion = version;
        }
    }
    return best;
}

} // namespace

ScratchServer::ScratchServer() : m_binDir(findBinDir())
{
    if (geteuid() == 0) {
        m_user = getpwnam("postgres") ? QStringLiteral("postgres") : QStringLiteral("nobody");
    }
}

ScratchServer::~ScratchServer()
{
    if (m_running) {
        run(m_binDir + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
    }
}

bool ScratchServer::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (m_user.isEmpty()) {
        process.start(program, arguments);
    } else {
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), m_user, QStringLiteral("--"), program} +
                          arguments);
    }
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
        m_error = QFileInfo(program).fileName() + QStringLiteral(" failed: ") +
                  QString::fromLocal8Bit(process.readAll()).trimmed() + process.errorString();
        return false;
    }
    return true;
}

bool ScratchServer::start()
{
    if (m_running)
        return true;
    if (!installed()) {
        m_error = skipReason();
        return false;
    }
    // The server's user must reach its folder: under a root process the usual temporary
    // folder may be one only root can enter.
    const QString base = m_user.isEmpty() ? QDir::tempPath() : QStringLiteral("/tmp");
    m_dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/svpg-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("no temporary folder for the cluster");
        return false;
    }
    if (!m_user.isEmpty()) {
        const passwd *user = getpwnam(m_user.toLocal8Bit().constData());
        if (!user ||
            chown(QFile::encodeName(m_dir->path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand the cluster's folder to ") + m_user;
            return false;
        }
    }
    const QString data = m_dir->filePath(QStringLiteral("data"));
    if (!run(m_binDir + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("postgres"),
              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
             120000))
        return false;
    // The password login is asked for its password on the socket; everyone else is trusted.
    QFile rules(data + QStringLiteral("/pg_hba.conf"));
    if (!rules.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read the cluster's pg_hba.conf");
        return false;
    }
    const QByteArray trusted = rules.readAll();
    rules.close();
    if (!rules.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        rules.write("local all " + passwordUser().toLatin1() + " scram-sha-256\n" + trusted) < 0) {
        m_error = QStringLiteral("cannot write the cluster's pg_hba.conf");
        return false;
    }
    rules.close();
    const QString options = QStringLiteral("-k %1 -c listen_addresses= -c fsync=off "
                                           "-c synchronous_commit=off -c full_page_writes=off")
                                .arg(m_dir->path());
    if (!run(m_binDir + QStringLiteral("/pg_ctl"),
             {QStringLiteral("-D"), data, QStringLiteral("-l"),
              m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-o"), options,
              QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
              QStringLiteral("start")},
             90000))
        return false;
    m_running = true;
    if (!run(
            m_binDir + QStringLiteral("/psql"),
            {QStringLiteral("-h"), m_dir->path(), QStringLiteral("-U"), QStringLiteral("postgres"),
             QStringLiteral("-d"), QStringLiteral("postgres"), QStringLiteral("-v"),
             QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-c"),
             QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(passwordUser(), password())}))
        return false;
    return true;
}

QString ScratchServer::createDatabase(const QString &name)
{
    if (!start())
        return QString();
    run(m_binDir + QStringLiteral("/dropdb"),
        {QStringLiteral("-h"), m_dir->path(), QStringLiteral("-U"), QStringLiteral("postgres"),
         QStringLiteral("--if-exists"), name});
    if (!run(m_binDir + QStringLiteral("/createdb"),
             {QStringLiteral("-h"), m_dir->path(), QStringLiteral("-U"), QStringLiteral("postgres"),
              name}))
        return QString();
    return QStringLiteral("postgresql:///%1?host=%2&user=postgres").arg(name, m_dir->path());
}

bool ScratchServer::restoreCopy(const QString &from, const QString &to)
{
    if (!start())
        return false;
    const QString dump = m_dir->path() + QStringLiteral("/") + from + QStringLiteral(".dump");
    const QStringList login{QStringLiteral("-h"), m_dir->path(), QStringLiteral("-U"),
                            QStringLiteral("postgres")};
    run(m_binDir + QStringLiteral("/dropdb"),
        login + QStringList{QStringLiteral("--if-exists"), to});
    return run(m_binDir + QStringLiteral("/pg_dump"),
               login + QStringList{QStringLiteral("-Fc"), QStringLiteral("-f"), dump, from}) &&
           run(m_binDir + QStringLiteral("/createdb"), login + QStringList{to}) &&
           run(m_binDir + QStringLiteral("/pg_restore"),
               login +
                   QStringList{QStringLiteral("--exit-on-error"), QStringLiteral("-d"), to, dump});
}

} // namespace sv::test
