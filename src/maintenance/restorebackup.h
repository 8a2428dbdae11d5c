#pragma once

#include "store/backup.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace sv {

class Session;

// "Restore Backup": the backups in the backup folder, newest first, each with the date it
// was taken and its number of songs. The one chosen replaces the catalogue after a
// question; the catalogue's current files are kept in a folder beside them.
class RestoreBackupWindow : public QDialog
{
    Q_OBJECT

public:
    RestoreBackupWindow(Session &session, QWidget *parent);

    QTreeWidget *list() const { return m_list; }
    const QList<BackupEntry> &backups() const { return m_backups; }
    // Asks about the highlighted backup and restores it; true when it was restored.
    bool restoreChosen();

Q_SIGNALS:
    void restored();

private:
    Session &m_session;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_restore = nullptr;
    QList<BackupEntry> m_backups;
};

// Puts a backup in the place of the catalogue: the program's windows let go of every file
// while it is done and take the restored ones afterwards; no other station may have a file
// open. The current files go into the folder `asideName` in the catalogue folder. False when
// nothing was changed; the user has been told why.
bool restoreCatalogue(Session &session, const BackupEntry &backup, const QString &asideName);

// How a backup's moment is shown: the user's date picture and the time.
QString backupTakenText(const QDateTime &taken);

} // namespace sv
