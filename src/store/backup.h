#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace sv {

// One backup of the catalogue: a folder of its own in the backups folder, holding a copy of
// every table file as they all stood at one moment, and a note of when it was taken.
struct BackupEntry
{
    QString folder; // absolute path
    QDateTime taken;
    qint64 songs = -1; // -1: not known
};

// Which backups are kept: the newest `last`, and beyond them the newest of each of the last
// `days` days, `weeks` weeks and `months` months.
struct BackupRetention
{
    int last = 10;
    int days = 7;
    int weeks = 4;
    int months = 12;
};

// Takes one backup while the program and other stations go on working with the files. The
// files are copied a few pages at a time through the engine's online backup, and finished
// together inside one read of all of them, so that the copies agree with each other as the
// files did at that moment; a file another station changed meanwhile is copied again. The
// copy is made in a temporary folder and takes its final name only once it is complete and
// on disk, so a failure or a killed program never leaves a half backup among the others.
class CatalogueBackup
{
public:
    CatalogueBackup(const QString &catalogueFolder, const QString &backupsFolder);
    ~CatalogueBackup(); // unfinished: its temporary folder goes
    CatalogueBackup(const CatalogueBackup &) = delete;
    CatalogueBackup &operator=(const CatalogueBackup &) = delete;

    // Checks the backups folder and begins the copy. `createFolder`: a missing backups folder
    // is made (the default place); otherwise a missing one is a failure, as it may be a disk
    // that is not there. False with problem() set.
    [[nodiscard]] bool start(const QDateTime &now, bool createFolder);

    enum class Step { Going, Done, Failed };
    // Copies up to about `pages` pages. Done once the backup is complete under its final
    // name; Failed with problem() set, nothing of it left behind.
    [[nodiscard]] Step step(int pages);

    // For tests: called inside the sealing read each time a file's copy has been finished,
    // with the file's name, while the files still to finish wait.
    void setSealHook(std::function<void(const QString &fileName)> hook);

    qint64 pagesTotal() const; // as far as known
    qint64 pagesCopied() const;
    QString problem() const;
    const BackupEntry &entry() const; // once Done

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The backups in a folder, newest first. Folders without the note a finished backup leaves
// are not backups and are left out.
QList<BackupEntry> listBackups(const QString &backupsFolder);

// Those of `backups` (newest first) that the rule does not keep, as of `today`.
QList<BackupEntry> backupsBeyond(const QList<BackupEntry> &backups, const BackupRetention &rule,
                                 const QDate &today);

// Deletes a backup's own files and its folder; anything else found in it stays, and so does
// the folder then. False when something of the backup could not be deleted.
bool removeBackup(const BackupEntry &backup);

// Puts the backup's table files in the place of the catalogue's. The current files, with any
// journal beside them, are first moved into a new folder `asideName` in the catalogue folder;
// when the backup cannot be copied in whole nothing is changed. The caller makes sure no one
// has the files open. False with `problem` set.
[[nodiscard]] bool restoreBackup(const BackupEntry &backup, const QString &catalogueFolder,
                                 const QString &asideName, QString &problem);

// A few bytes that differ once any table file of the folder has changed: each file's change
// counter, which every committed transaction raises, and its size.
QByteArray catalogueStamp(const QString &catalogueFolder);

// The file names the catalogue's tables are kept in ("svpdata.tps" ...).
QStringList catalogueFileNames();

} // namespace sv
