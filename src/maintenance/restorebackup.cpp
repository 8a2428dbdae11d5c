#include "restorebackup.h"

#include "filework.h"

#include "app/backups.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "platform/stddate.h"
#include "store/errors.h"
#include "store/stationlock.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace sv {

namespace {

const QString Caption = QStringLiteral("Restore Backup");

enum Column { TakenColumn, SongsColumn, FolderColumn };

QString songsText(qint64 songs)
{
    return songs < 0 ? QStringLiteral("?") : QLocale().toString(songs);
}

} // namespace

QString backupTakenText(const QDateTime &taken)
{
    // A year alone says too little of a backup: such a date picture gives way to the
    // system's own.
    QString picture = Settings::global().datePicture();
    if (!picture.startsWith(QStringLiteral("@d"), Qt::CaseInsensitive))
        picture = QStringLiteral("@d17");
    return format(dateFromQDate(taken.date()), picture) + u' ' +
           taken.time().toString(QStringLiteral("HH:mm:ss"));
}

bool restoreCatalogue(Session &session, const BackupEntry &backup, const QString &asideName)
{
    Database &database = session.store().database();
    if (database.inTransaction()) {
        inform(Caption, QStringLiteral("A window is writing to the catalogue.  Try again when it "
                                       "has finished."));
        return false;
    }
    std::vector<std::unique_ptr<TableRelease>> releases;
    for (TableId id : allTables())
        releases.push_back(std::make_unique<TableRelease>(session, session.store().table(id)));
    std::vector<StationLock> locks;
    for (const QString &name : catalogueFileNames()) {
        const QString path = QDir(database.folder()).filePath(name);
        if (!QFileInfo::exists(path))
            continue;
        StationLock lock;
        if (!lock.take(path, StationLock::Kind::Exclusive)) {
            if (errorCode() == err::FileLocked)
                informExclusiveAccess();
            else
                inform(QStringLiteral("Error"), QStringLiteral("Error opening file : ") + name +
                                                    QStringLiteral(" Error : ") + errorText());
            return false;
        }
        locks.push_back(std::move(lock));
    }
    QString problem;
    const bool restored = restoreBackup(backup, database.folder(), asideName, problem);
    locks.clear();
    if (!restored) {
        inform(Caption, problem);
        return false;
    }
    // What any window read before is of files that are gone.
    database.noteWrite();
    for (auto &release : releases)
        release->reopen();
    return true;
}

RestoreBackupWindow::RestoreBackupWindow(Session &session, QWidget *parent)
    : QDialog(parent), m_session(session)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Caption);
    const QString folder = backupsFolder(session);
    m_backups = listBackups(folder);

    m_list = new QTreeWidget;
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHeaderLabels(
        {QStringLiteral("Taken"), QStringLiteral("Songs"), QStringLiteral("Folder")});
    for (const BackupEntry &backup : std::as_const(m_backups)) {
        auto *row = new QTreeWidgetItem(m_list);
        row->setText(TakenColumn, backupTakenText(backup.taken));
        row->setText(SongsColumn, songsText(backup.songs));
        row->setTextAlignment(SongsColumn, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(FolderColumn, QFileInfo(backup.folder).fileName());
    }
    m_list->headerItem()->setTextAlignment(SongsColumn, Qt::AlignRight | Qt::AlignVCenter);
    m_list->setCurrentItem(m_list->topLevelItem(0));
    m_list->header()->resizeSection(TakenColumn, fontMetrics().averageCharWidth() * 24);
    m_list->header()->resizeSection(SongsColumn, fontMetrics().averageCharWidth() * 12);

    auto *where = new QLabel(
        m_backups.isEmpty()
            ? QStringLiteral("No backups were found in the folder\n%1")
                  .arg(QDir::toNativeSeparators(folder))
            : QStringLiteral("Backups in the folder %1:").arg(QDir::toNativeSeparators(folder)));
    where->setWordWrap(true);
    m_restore = new QPushButton(QStringLiteral("&Restore"));
    m_restore->setEnabled(!m_backups.isEmpty());
    m_restore->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setAutoDefault(false);
    connect(m_restore, &QPushButton::clicked, this, &RestoreBackupWindow::restoreChosen);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &RestoreBackupWindow::restoreChosen);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_restore);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(620, 340);
}

bool RestoreBackupWindow::restoreChosen()
{
    const int index = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (index < 0 || index >= m_backups.size())
        return false;
    const BackupEntry backup = m_backups.at(index);
    const QString asideName =
        QStringLiteral("Replaced ") + Clock::now().toString(u"yyyy-MM-dd HH-mm-ss");
    const QString aside = QDir(m_session.store().database().folder()).filePath(asideName);
    const Message question{
        Caption,
        QStringLiteral("Replace the catalogue with the backup taken %1 (%2 songs)?\n\nThe "
                       "catalogue's current files will be kept in the folder\n%3")
            .arg(backupTakenText(backup.taken), songsText(backup.songs),
                 QDir::toNativeSeparators(aside)),
        Yes | No, No, Icon::Question};
    if (ask(question) != Yes)
        return false;
    if (!restoreCatalogue(m_session, backup, asideName))
        return false;
    inform(Caption, QStringLiteral("The catalogue was restored from the backup taken %1.\nIts "
                                   "files from before are in the folder\n%2")
                        .arg(backupTakenText(backup.taken), QDir::toNativeSeparators(aside)));
    Q_EMIT restored();
    accept();
    return true;
}

} // namespace sv
