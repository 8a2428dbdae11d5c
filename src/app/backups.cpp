#include "backups.h"

#include "progresswindow.h"
#include "session.h"
#include "settings.h"

#include "platform/prompter.h"
#include "platform/stddate.h"
#include "store/backup.h"

#include <QDir>
#include <QLocale>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace sv {

namespace {

// About four megabytes of pages a step; a tick takes as many steps as fit in its time.
constexpr int PagesPerStep = 1024;
constexpr int TickMilliseconds = 40;

const QString Caption = QStringLiteral("Backup");

QByteArray &baseline()
{
    static QByteArray stamp;
    return stamp;
}

void tellFailure(const QString &problem)
{
    ask(Message{Caption,
                problem + QStringLiteral("\n\nThe catalogue is unchanged, and the backups taken "
                                         "before are kept."),
                Ok, Ok, Icon::Exclamation});
}

// Deletes the backups beyond the ones the settings keep; one that cannot be deleted stays.
void pruneBackups(const QString &folder)
{
    BackupRetention rule;
    rule.last = qBound(1, Settings::global().backupsKept, Settings::MaxBackupsKept);
    for (const BackupEntry &old : backupsBeyond(listBackups(folder), rule, Clock::now().date()))
        removeBackup(old);
}

} // namespace

QString defaultBackupsFolder(Session &session)
{
    return QDir(session.store().database().folder()).filePath(QStringLiteral("Backups"));
}

QString backupsFolder(Session &session)
{
    const QString chosen = Settings::global().backupFolder.trimmed();
    return chosen.isEmpty() ? defaultBackupsFolder(session) : QDir(chosen).absolutePath();
}

void noteCatalogueBaseline(Session &session)
{
    baseline() = catalogueStamp(session.store().database().folder());
}

bool catalogueChangedSinceBaseline(Session &session)
{
    return catalogueStamp(session.store().database().folder()) != baseline();
}

ProgressWindow *runBackup(Session &session, QWidget *parent, bool tellWhenDone,
                          std::function<void(bool)> done)
{
    if (const ServerDatabase *server = session.store().database().server()) {
        // Its files are the server's: backing up this station's folder would save nothing.
        if (tellWhenDone)
            ask(Message{Caption,
                        QStringLiteral("The catalogue is on the server %1, which keeps its own "
                                       "backups (pg_dump). File / Copy Catalogue from Server... "
                                       "copies it into a folder of table files.")
                            .arg(server->server()),
                        Ok, Ok, Icon::Information});
        done(false);
        return nullptr;
    }
    const QString folder = backupsFolder(session);
    const QString catalogue = session.store().database().folder();
    // What is backed up is at least what the files held now; a change made while the copy
    // runs counts as made after it.
    const QByteArray stampBefore = catalogueStamp(catalogue);
    auto backup = std::make_shared<CatalogueBackup>(catalogue, folder);
    if (!backup->start(Clock::now(), Settings::global().backupFolder.trimmed().isEmpty())) {
        tellFailure(backup->problem());
        done(false);
        return nullptr;
    }
    auto *window = new ProgressWindow(
        QStringLiteral("Backing up the catalogue to\n%1").arg(QDir::toNativeSeparators(folder)),
        parent);
    window->setWindowTitle(Caption);
    window->setProgressText(QStringLiteral("0% Completed"));
    window->setTickMilliseconds(TickMilliseconds);
    auto failed = std::make_shared<bool>(false);
    QPointer<ProgressWindow> guard(window);
    window->run(
        1, 1,
        [backup, guard, failed] {
            const CatalogueBackup::Step outcome = backup->step(PagesPerStep);
            if (guard) {
                guard->setTotal(qMax<qint64>(1, backup->pagesTotal()));
                guard->setUnitsDone(outcome == CatalogueBackup::Step::Done ? backup->pagesTotal()
                                                                           : backup->pagesCopied());
            }
            switch (outcome) {
            case CatalogueBackup::Step::Going:
                return ProgressWindow::Step::Continue;
            case CatalogueBackup::Step::Done:
                return ProgressWindow::Step::Finished;
            case CatalogueBackup::Step::Failed:
                break;
            }
            *failed = true;
            return ProgressWindow::Step::Stopped;
        },
        [backup, folder, stampBefore, tellWhenDone, failed, done](bool completed) {
            QString told;
            if (completed) {
                baseline() = stampBefore;
                pruneBackups(folder);
                const BackupEntry &entry = backup->entry();
                told = QStringLiteral("The catalogue was backed up to\n%1")
                           .arg(QDir::toNativeSeparators(entry.folder));
                if (entry.songs >= 0)
                    told += QStringLiteral("\n(%1 songs).").arg(QLocale().toString(entry.songs));
            }
            const QString problem = *failed ? backup->problem() : QString();
            // Told once the progress window has gone, not over what is left of it.
            QTimer::singleShot(0, [=] {
                if (completed && tellWhenDone)
                    ask(Message{Caption, told, Ok, Ok, Icon::Information});
                else if (!problem.isEmpty())
                    tellFailure(problem);
                done(completed);
            });
        });
    return window;
}

} // namespace sv
