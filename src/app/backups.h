#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QWidget;

namespace sv {

class ProgressWindow;
class Session;

// Where backups go: the folder chosen in Preferences, else "Backups" beside the catalogue's
// files.
QString backupsFolder(Session &session);
QString defaultBackupsFolder(Session &session);

// Takes a backup of the catalogue in a progress window that copies a few megabytes a tick,
// then deletes the backups the retention rule no longer keeps. A failure is told in a message
// and leaves the catalogue and the earlier backups as they were; `tellWhenDone` also tells
// where a backup that was taken went. `done` receives whether it was taken. Returns the
// progress window, or null when the backup has already ended (`done` has been called).
ProgressWindow *runBackup(Session &session, QWidget *parent, bool tellWhenDone,
                          std::function<void(bool taken)> done);

// Whether the catalogue changed since this run began or since its last backup was taken:
// a run that changed nothing needs no backup at its end.
void noteCatalogueBaseline(Session &session);
bool catalogueChangedSinceBaseline(Session &session);

} // namespace sv
