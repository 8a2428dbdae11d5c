#include "filework.h"

#include "filemanager.h"

#include "app/session.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/stationlock.h"
#include "store/warnings.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace sv {

namespace {

const QString RepairLog = QStringLiteral("tpsfix.log");
constexpr int ListedLines = 12; // lines of the repair's report shown in the message

// The repair program's answers (its exit codes).
enum RepairExit { Repaired = 0, BadExample = 2, NotATableFile = 3, InUse = 5 };

} // namespace

void inform(const QString &caption, const QString &text)
{
    ask(Message{caption, text, Ok, Ok, Icon::Information});
}

void informExclusiveAccess()
{
    inform(QStringLiteral("File Access Error"),
           QStringLiteral("This option requires exclusive file access.\nPlease ensure no other "
                          "users are in the system."));
}

TableRelease::TableRelease(Session &session, Table &table)
{
    QList<Table *> users{&table};
    if (table.definition().id == TableId::Songs)
        users.append(&session.store().aliasSongs());
    for (Table *user : users) {
        if (user->isOpen()) {
            user->close();
            m_closed.append(user);
        }
    }
}

bool TableRelease::reopen()
{
    bool all = true;
    for (Table *table : std::as_const(m_closed)) {
        if (!table->open() && errorCode() != err::AlreadyOpen) {
            standardWarning(warning::FileAccessError, table->definition().fileName);
            all = false;
        }
    }
    m_closed.clear();
    return all;
}

bool mayBeTableFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    static const QByteArray signature("SQLite format 3\0", 16);
    if (file.read(16) == signature)
        return true;
    // A first page lost to damage: the pages may still hold the records.
    return file.size() >= 1024 && file.size() % 512 == 0;
}

FixRun::FixRun(Session &session, Table &table) : m_session(session), m_table(table) {}

FixRun::~FixRun()
{
    // The repair replaces the file at its very end; cutting it short there would leave the
    // file half swapped, so it is let run to its end.
    if (running())
        m_process->waitForFinished(-1);
}

bool FixRun::running() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

void FixRun::whenFinished(QObject *context, std::function<void()> done)
{
    // Queued: `done` may end this run, and with it the process still sending its signal.
    if (running())
        QObject::connect(
            m_process.get(), &QProcess::finished, context, [done] { done(); },
            Qt::QueuedConnection);
    else
        QTimer::singleShot(0, context, std::move(done));
}

bool FixRun::start()
{
    const TableDef &definition = m_table.definition();
    const QString path = m_table.fileName();
    // The layout example first: the answers of the step that writes it.
    if (!m_session.upgrades().isAnnounced(definition)) {
        inform(QStringLiteral("Error"), QStringLiteral("Unable to create TPE Example file."));
        return false;
    }
    if (!mayBeTableFile(path)) {
        inform(QStringLiteral("Error"), QStringLiteral("Not a catalogue table file."));
        return false;
    }
    const QString example = definition.fileName + QStringLiteral(".tpe");
    if (!m_session.upgrades().makeTpe(definition, Paths::inWorkingFolder(example))) {
        inform(QStringLiteral("Error"), QStringLiteral("Error creating TPE file : ") + errorText());
        return false;
    }
    // The repair replaces the file: this program lets go of it, and another station that
    // has it open is asked to leave first. The file is not opened here: opening checks the
    // pages the repair exists to get round.
    m_release = std::make_unique<TableRelease>(m_session, m_table);
    if (StationLock::heldElsewhere(path)) {
        m_release.reset();
        informExclusiveAccess();
        return false;
    }
    m_logSize = QFileInfo(Paths::inWorkingFolder(RepairLog)).size();
    m_process = std::make_unique<QProcess>();
    m_process->setWorkingDirectory(Paths::workingFolder());
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(FileManager::repairProgram(),
                     {definition.fileName + QStringLiteral(".tps"), QStringLiteral("/E:") + example,
                      QStringLiteral("/K")});
    if (!m_process->waitForStarted()) {
        m_process.reset();
        m_release.reset();
        inform(QStringLiteral("Error"),
               QStringLiteral("The Fix Utility (tpsfix) could not be started."));
        return false;
    }
    return true;
}

QString FixRun::logSince() const
{
    QFile log(Paths::inWorkingFolder(RepairLog));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logSize))
        return {};
    return QString::fromUtf8(log.readAll());
}

void FixRun::reportRepaired(const QString &log)
{
    QStringList lines = log.split(u'\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        lines.removeFirst(); // the line naming the run; the message names the file itself
    QStringList shown;
    for (const QString &line : std::as_const(lines)) {
        if (shown.size() == ListedLines) {
            shown.append(QStringLiteral("... and %1 more lines").arg(lines.size() - ListedLines));
            break;
        }
        shown.append(line.trimmed());
    }
    inform(QStringLiteral("Information"),
           QStringLiteral("The Fix Utility has repaired the file %1 (%2).\n\n")
                   .arg(m_table.definition().fileName + QStringLiteral(".tps"), m_table.label()) +
               shown.join(u'\n') +
               QStringLiteral("\n\nThe whole report is in %1.")
                   .arg(Paths::inWorkingFolder(RepairLog)));
}

bool FixRun::finish()
{
    if (!m_process)
        return false;
    const bool exited = m_process->exitStatus() == QProcess::NormalExit;
    const int code = exited ? m_process->exitCode() : -1;
    const QString output = QString::fromLocal8Bit(m_process->readAll()).trimmed();
    m_process.reset();
    // The windows take the file back before the user reads what happened to it.
    m_release.reset();
    switch (code) {
    case Repaired:
        FileAccess::noteRepaired(m_table.definition().fileName);
        reportRepaired(logSince());
        return true;
    case BadExample:
        inform(QStringLiteral("Error"), QStringLiteral("Unable to create TPE Example file."));
        return false;
    case NotATableFile:
        inform(QStringLiteral("Error"), QStringLiteral("Not a catalogue table file."));
        return false;
    case InUse:
        informExclusiveAccess();
        return false;
    default:
        inform(QStringLiteral("Error"),
               QStringLiteral("The Fix Utility could not repair the file %1: %2")
                   .arg(m_table.definition().fileName + QStringLiteral(".tps"),
                        output.isEmpty() ? QStringLiteral("it stopped") : output));
        return false;
    }
}

} // namespace sv
