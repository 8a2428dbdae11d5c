#include "backup.h"

#include "database.h"
#include "schema.h"
#include "sqldialect.h"

#include "platform/inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QSysInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sv {

namespace {

const QString NoteFile = QStringLiteral("backup.ini");
const QString NoteSection = QStringLiteral("Backup");
const QString IncomingPrefix = QStringLiteral(".incoming-");
const QString RestoringPrefix = QStringLiteral(".restoring-");
const QString TakenFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

// Rounds of copying before the files are copied once more inside the read that holds them
// all still: each round that another station's writes overtake is tried again as long as
// that costs the other stations nothing.
constexpr int FreeRounds = 3;
// How long the files may stay locked by other stations before the backup gives up.
constexpr int BusyLimitMs = 60000;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Flushes a file or folder to the disk; false with errno set.
bool syncPath(const QString &path, bool folder)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          (folder ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

// Deletes what a backup or an unfinished copy put in `folder`, then the folder when empty.
bool removeOwnFiles(const QString &folder)
{
    bool all = true;
    QDir dir(folder);
    QStringList own = catalogueFileNames();
    own.append(NoteFile);
    for (const QString &name : std::as_const(own)) {
        for (const QString &file : {name, name + QStringLiteral("-journal")}) {
            if (dir.exists(file) && !dir.remove(file))
                all = false;
        }
    }
    return QDir().rmdir(folder) && all;
}

bool isDiskFull(int result)
{
    return (result & 0xFF) == SQLITE_FULL;
}

bool isWriteFailure(int result)
{
    switch (result) {
    case SQLITE_IOERR_WRITE:
    case SQLITE_IOERR_FSYNC:
    case SQLITE_IOERR_TRUNCATE:
    case SQLITE_IOERR_DIR_FSYNC:
        return true;
    default:
        break;
    }
    switch (result & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        return true;
    default:
        return false;
    }
}

QString uriFor(const QString &path, bool readOnly)
{
    return QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/")) +
           (readOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw"));
}

} // namespace

QStringList catalogueFileNames()
{
    QStringList names;
    for (TableId id : allTables())
        names.append(tableDef(id).fileName + QStringLiteral(".tps"));
    return names;
}

struct CatalogueBackup::Impl
{
    struct FileCopy
    {
        QString schema;
        QString fileName;
        sqlite3 *destination = nullptr;
        sqlite3_backup *backup = nullptr;
        int remaining = -1; // pages left to copy; -1 before the first step
        int total = 0;
        int writeback = -1; // a descriptor of the copy, to start writing it to disk early
    };

    enum class Phase { NotStarted, Attaching, Copying, Sealing, Done, Failed };

    QString catalogueFolder;
    QString backupsFolder;
    QString incoming;
    sqlite3 *source = nullptr;
    std::vector<FileCopy> files;
    size_t attached = 0;
    Phase phase = Phase::NotStarted;
    int rounds = 0;
    qint64 busySince = -1; // ms of the clock when the files were first found locked
    QDateTime taken;
    QString problem;
    BackupEntry entry;
    std::function<void(const QString &)> sealHook;

    ~Impl() { abandon(); }

    void closeCopies()
    {
        for (FileCopy &file : files) {
            if (file.backup)
                sqlite3_backup_finish(file.backup);
            file.backup = nullptr;
            if (file.destination)
                sqlite3_close(file.destination);
            file.destination = nullptr;
            if (file.writeback >= 0)
                ::close(file.writeback);
            file.writeback = -1;
        }
        if (source) {
            if (sqlite3_get_autocommit(source) == 0)
                sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(source);
        }
        source = nullptr;
    }

    void abandon()
    {
        closeCopies();
        if (!incoming.isEmpty())
            removeOwnFiles(incoming);
        incoming.clear();
    }

    Step fail(const QString &reason)
    {
        problem = reason;
        phase = Phase::Failed;
        abandon();
        return Step::Failed;
    }

    Step failCopy(const FileCopy &file, int result)
    {
        const QString engine = QString::fromUtf8(sqlite3_errmsg(file.destination));
        if (isDiskFull(result))
            return fail(QStringLiteral("There is no room left for the backup in the folder "
                                       "\"%1\": the disk is full.")
                            .arg(backupsFolder));
        if (isWriteFailure(result))
            return fail(QStringLiteral("The backup could not be written to the folder \"%1\" (%2).")
                            .arg(backupsFolder, engine));
        return fail(
            QStringLiteral("The catalogue file \"%1\" could not be read for the backup (%2).")
                .arg(file.fileName, engine));
    }

    bool openSource();
    Step attach();
    Step waitWhileLocked();
    bool openCopies();
    Step copy(int pages);
    Step seal();
    Step complete(qint64 songs);
    void removeStaleIncoming();
};

CatalogueBackup::CatalogueBackup(const QString &catalogueFolder, const QString &backupsFolder)
    : d(std::make_unique<Impl>())
{
    d->catalogueFolder = QDir(catalogueFolder).absolutePath();
    d->backupsFolder = QDir(backupsFolder).absolutePath();
}

CatalogueBackup::~CatalogueBackup() = default;

void CatalogueBackup::setSealHook(std::function<void(const QString &)> hook)
{
    d->sealHook = std::move(hook);
}

qint64 CatalogueBackup::pagesTotal() const
{
    qint64 total = 0;
    for (const Impl::FileCopy &file : d->files)
        total += file.total;
    return total;
}

qint64 CatalogueBackup::pagesCopied() const
{
    qint64 copied = 0;
    for (const Impl::FileCopy &file : d->files)
        copied += file.remaining < 0 ? 0 : qMax(0, file.total - file.remaining);
    return copied;
}

QString CatalogueBackup::problem() const
{
    return d->problem;
}

const BackupEntry &CatalogueBackup::entry() const
{
    return d->entry;
}

bool CatalogueBackup::start(const QDateTime &now, bool createFolder)
{
    if (d->phase != Impl::Phase::NotStarted)
        return false;
    d->taken = now;
    const QFileInfo folder(d->backupsFolder);
    if (!folder.exists()) {
        if (!createFolder) {
            d->fail(QStringLiteral("The backup folder \"%1\" does not exist.  Connect the disk it "
                                   "is on, or choose another folder in Preferences.")
                        .arg(d->backupsFolder));
            return false;
        }
        if (!QDir().mkpath(d->backupsFolder)) {
            d->fail(QStringLiteral("The backup folder \"%1\" could not be made (%2).")
                        .arg(d->backupsFolder, systemReason(errno)));
            return false;
        }
    } else if (!folder.isDir()) {
        d->fail(QStringLiteral("\"%1\" is not a folder: backups cannot be kept there.")
                    .arg(d->backupsFolder));
        return false;
    }
    d->removeStaleIncoming();
    const QString incoming =
        QDir(d->backupsFolder)
            .filePath(IncomingPrefix + QSysInfo::machineHostName() + u'-' +
                      QString::number(::getpid()) + u'-' + now.toString(u"yyyyMMddHHmmsszzz"));
    if (::mkdir(QFile::encodeName(incoming).constData(), 0755) != 0) {
        const int error = errno;
        d->fail(error == ENOSPC ? QStringLiteral("There is no room left for the backup in the "
                                                 "folder \"%1\": the disk is full.")
                                      .arg(d->backupsFolder)
                                : QStringLiteral("The backup could not be written to the folder "
                                                 "\"%1\" (%2).")
                                      .arg(d->backupsFolder, systemReason(error)));
        return false;
    }
    d->incoming = incoming;
    if (!d->openSource())
        return false;
    d->phase = Impl::Phase::Attaching;
    return true;
}

// Another run of this machine that was killed leaves its temporary folder behind; one of a
// run still going, here or on another station sharing the folder, is left alone.
void CatalogueBackup::Impl::removeStaleIncoming()
{
    const QString host = QSysInfo::machineHostName();
    const QFileInfoList found =
        QDir(backupsFolder)
            .entryInfoList({IncomingPrefix + u'*'},
                           QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : found) {
        const QString rest = info.fileName().mid(IncomingPrefix.size());
        if (!rest.startsWith(host + u'-'))
            continue;
        const QString pidText = rest.mid(host.size() + 1).section(u'-', 0, 0);
        bool ok = false;
        const qint64 pid = pidText.toLongLong(&ok);
        if (!ok || pid <= 0)
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        removeOwnFiles(info.filePath());
    }
}

// A private connection reads the files: the program's own keeps serving its windows, and
// its transactions do not get in the way of the copy.
bool CatalogueBackup::Impl::openSource()
{
    if (sqlite3_open_v2(":memory:", &source,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        fail(QStringLiteral("The backup could not be started (%1).")
                 .arg(QString::fromUtf8(sqlite3_errmsg(source))));
        return false;
    }
    // Short waits: a locked file is tried again at the next step, the window going on
    // meanwhile.
    sqlite3_busy_timeout(source, 100);
    for (TableId id : allTables()) {
        const TableDef &table = tableDef(id);
        const QString fileName = table.fileName + QStringLiteral(".tps");
        // A table never opened has no file yet, and none in the backup.
        if (QFileInfo(QDir(catalogueFolder).filePath(fileName)).isFile())
            files.push_back({Database::schemaName(table), fileName});
    }
    if (files.empty()) {
        fail(QStringLiteral("The folder \"%1\" holds no catalogue to back up.")
                 .arg(catalogueFolder));
        return false;
    }
    return true;
}

// Attaching reads a file's schema, which a station committing at that moment keeps locked:
// what is not attached yet is tried again at the next step.
CatalogueBackup::Step CatalogueBackup::Impl::attach()
{
    for (; attached < files.size(); ++attached) {
        const FileCopy &file = files.at(attached);
        const QString path = QDir(catalogueFolder).filePath(file.fileName);
        // Read-write where allowed, so that a transaction a crashed station left half done
        // is rolled back before the file is read, as every station's first read does.
        const bool readOnly = ::access(QFile::encodeName(path).constData(), W_OK) != 0;
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(source, "ATTACH DATABASE ?1 AS ?2", -1, &statement, nullptr);
        const QByteArray uri = uriFor(path, readOnly).toUtf8();
        const QByteArray name = file.schema.toUtf8();
        sqlite3_bind_text(statement, 1, uri.constData(), int(uri.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        const int result = sqlite3_step(statement);
        sqlite3_finalize(statement);
        if ((result & 0xFF) == SQLITE_BUSY || (result & 0xFF) == SQLITE_LOCKED)
            return waitWhileLocked();
        if (result != SQLITE_DONE)
            return fail(QStringLiteral("The catalogue file \"%1\" could not be read for the "
                                       "backup (%2).")
                            .arg(file.fileName, QString::fromUtf8(sqlite3_errmsg(source))));
        busySince = -1;
    }
    if (!openCopies())
        return Step::Failed;
    phase = Phase::Copying;
    return Step::Going;
}

CatalogueBackup::Step CatalogueBackup::Impl::waitWhileLocked()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (busySince < 0)
        busySince = now;
    else if (now - busySince > BusyLimitMs)
        return fail(QStringLiteral("The catalogue was kept locked by another station for too "
                                   "long; the backup was not taken."));
    return Step::Going;
}

bool CatalogueBackup::Impl::openCopies()
{
    for (FileCopy &file : files) {
        const QByteArray path = QFile::encodeName(QDir(incoming).filePath(file.fileName));
        const int opened = sqlite3_open_v2(path.constData(), &file.destination,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        // Nothing needs undoing in a copy that is thrown away on any failure, and the copy
        // is flushed to disk once, when complete.
        if (opened == SQLITE_OK)
            sqlite3_exec(file.destination, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF",
                         nullptr, nullptr, nullptr);
        if (opened == SQLITE_OK)
            file.backup = sqlite3_backup_init(file.destination, "main", source,
                                              file.schema.toUtf8().constData());
        if (!file.backup) {
            const int result = sqlite3_extended_errcode(file.destination);
            failCopy(file, result == SQLITE_OK ? SQLITE_CANTOPEN : result);
            return false;
        }
        file.writeback = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    }
    return true;
}

CatalogueBackup::Step CatalogueBackup::step(int pages)
{
    switch (d->phase) {
    case Impl::Phase::Attaching:
        return d->attach();
    case Impl::Phase::Copying:
        return d->copy(qMax(1, pages));
    case Impl::Phase::Sealing:
        return d->seal();
    case Impl::Phase::Done:
        return Step::Done;
    case Impl::Phase::NotStarted:
    case Impl::Phase::Failed:
        break;
    }
    return Step::Failed;
}

// Copies every file but its last page: the files are finished together when sealed.
CatalogueBackup::Step CatalogueBackup::Impl::copy(int pages)
{
    int budget = pages;
    bool busy = false;
    bool tails = true;
    for (FileCopy &file : files) {
        if (budget <= 0) {
            tails = false;
            break;
        }
        int result = SQLITE_OK;
        if (file.remaining < 0) {
            result = sqlite3_backup_step(file.backup, 0);
        } else {
            const int count = qMin(budget, file.remaining - 1);
            if (count > 0) {
                result = sqlite3_backup_step(file.backup, count);
                budget -= count;
            }
        }
        if (result == SQLITE_BUSY || result == SQLITE_LOCKED) {
            busy = true;
            tails = false;
            continue;
        }
        if (result == SQLITE_DONE) {
            // The file shrank under the copy and it ran to its end outside the sealing
            // read: it is copied again from the start.
            sqlite3_backup_finish(file.backup);
            file.backup = sqlite3_backup_init(file.destination, "main", source,
                                              file.schema.toUtf8().constData());
            if (!file.backup)
                return failCopy(file, sqlite3_extended_errcode(file.destination));
            file.remaining = -1;
            tails = false;
            continue;
        }
        if (result != SQLITE_OK)
            return failCopy(file, result);
        const int before = file.remaining;
        file.remaining = sqlite3_backup_remaining(file.backup);
        // Another station's commit sends the copy of its file back to the start; once that
        // has happened a few times, the copy is finished inside the sealing read, where no
        // commit can overtake it.
        if (before >= 0 && file.remaining > before && ++rounds >= FreeRounds) {
            phase = Phase::Sealing;
            return Step::Going;
        }
        file.total = sqlite3_backup_pagecount(file.backup);
        if (file.remaining > 1)
            tails = false;
    }
    if (busy)
        return waitWhileLocked();
    busySince = -1;
    // What has reached the copies goes on to the disk while the rest is copied, instead of
    // all of it at the end, where waiting for it would hold up the window.
    for (const FileCopy &file : files) {
        if (file.writeback >= 0)
            ::sync_file_range(file.writeback, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    if (tails)
        phase = Phase::Sealing;
    return Step::Going;
}

// Inside one read of every file: what another station changed since its copy is copied
// again, then every copy runs to its end. While rounds are free, a file changed so much that
// copying it again would keep the other stations waiting goes back to copying outside the
// read instead.
CatalogueBackup::Step CatalogueBackup::Impl::seal()
{
    QString reads = QStringLiteral("BEGIN;");
    for (const FileCopy &file : files)
        reads +=
            QStringLiteral("SELECT count(*) FROM %1.sqlite_master;").arg(sql::quote(file.schema));
    const int began = sqlite3_exec(source, reads.toUtf8().constData(), nullptr, nullptr, nullptr);
    const auto endRead = [this] {
        if (sqlite3_get_autocommit(source) == 0)
            sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
    };
    if (began != SQLITE_OK) {
        endRead();
        if ((began & 0xFF) == SQLITE_BUSY || (began & 0xFF) == SQLITE_LOCKED) {
            return waitWhileLocked(); // sealed again at the next step
        }
        return fail(QStringLiteral("The catalogue could not be read for the backup (%1).")
                        .arg(QString::fromUtf8(sqlite3_errmsg(source))));
    }
    busySince = -1;
    if (rounds < FreeRounds) {
        bool overtaken = false;
        for (FileCopy &file : files) {
            const int result = sqlite3_backup_step(file.backup, 0);
            if (result != SQLITE_OK && result != SQLITE_DONE) {
                endRead();
                return failCopy(file, result);
            }
            file.remaining = sqlite3_backup_remaining(file.backup);
            file.total = sqlite3_backup_pagecount(file.backup);
            overtaken = overtaken || file.remaining > qMax(64, file.total / 16);
        }
        if (overtaken) {
            endRead();
            ++rounds;
            phase = Phase::Copying;
            return Step::Going;
        }
    }
    for (FileCopy &file : files) {
        const int result = sqlite3_backup_step(file.backup, -1);
        if (result != SQLITE_DONE) {
            endRead();
            return failCopy(file, result);
        }
        file.total = sqlite3_backup_pagecount(file.backup);
        file.remaining = 0;
        if (sealHook)
            sealHook(file.fileName);
    }
    qint64 songs = -1;
    const QString songSchema = Database::schemaName(tableDef(TableId::Songs));
    for (const FileCopy &file : files) {
        if (file.schema != songSchema)
            continue;
        sqlite3_stmt *count = nullptr;
        const QByteArray text = sql::count(file.schema, tableDef(TableId::Songs)).toUtf8();
        if (sqlite3_prepare_v2(source, text.constData(), -1, &count, nullptr) == SQLITE_OK &&
            sqlite3_step(count) == SQLITE_ROW)
            songs = sqlite3_column_int64(count, 0);
        sqlite3_finalize(count);
    }
    endRead();
    return complete(songs);
}

// Every copy on disk, the note written, then the folder takes its final name.
CatalogueBackup::Step CatalogueBackup::Impl::complete(qint64 songs)
{
    for (FileCopy &file : files) {
        const int finished = sqlite3_backup_finish(file.backup);
        file.backup = nullptr;
        if (finished != SQLITE_OK)
            return failCopy(file, finished);
        sqlite3_close(file.destination);
        file.destination = nullptr;
        if (!syncPath(QDir(incoming).filePath(file.fileName), false)) {
            const int error = errno;
            return fail(error == ENOSPC
                            ? QStringLiteral("There is no room left for the backup in the folder "
                                             "\"%1\": the disk is full.")
                                  .arg(backupsFolder)
                            : QStringLiteral("The backup could not be written to the folder "
                                             "\"%1\" (%2).")
                                  .arg(backupsFolder, systemReason(error)));
        }
    }
    QStringList fileNames;
    for (const FileCopy &file : files)
        fileNames.append(file.fileName);
    QSaveFile note(QDir(incoming).filePath(NoteFile));
    QByteArray text = "[" + NoteSection.toUtf8() + "]\n";
    text += "Taken=" + taken.toString(TakenFormat).toUtf8() + "\n";
    text += "Songs=" + QByteArray::number(songs) + "\n";
    text += "Files=" + fileNames.join(u',').toUtf8() + "\n";
    if (!note.open(QIODevice::WriteOnly) || note.write(text) != text.size() || !note.commit())
        return fail(QStringLiteral("The backup could not be written to the folder \"%1\" (%2).")
                        .arg(backupsFolder, note.errorString()));
    syncPath(QDir(incoming).filePath(NoteFile), false);

    const QString base = QStringLiteral("Backup ") + taken.toString(u"yyyy-MM-dd HH-mm-ss");
    QString finalFolder = QDir(backupsFolder).filePath(base);
    for (int n = 2; QFileInfo::exists(finalFolder); ++n)
        finalFolder = QDir(backupsFolder).filePath(base + QStringLiteral(" (%1)").arg(n));
    if (::rename(QFile::encodeName(incoming).constData(),
                 QFile::encodeName(finalFolder).constData()) != 0)
        return fail(QStringLiteral("The backup could not be written to the folder \"%1\" (%2).")
                        .arg(backupsFolder, systemReason(errno)));
    incoming.clear();
    syncPath(backupsFolder, true);
    sqlite3_close(source);
    source = nullptr;
    entry = {finalFolder, taken, songs};
    phase = Phase::Done;
    return Step::Done;
}

QList<BackupEntry> listBackups(const QString &backupsFolder)
{
    QList<BackupEntry> backups;
    const QFileInfoList folders =
        QDir(backupsFolder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : folders) {
        const QString note = QDir(info.filePath()).filePath(NoteFile);
        if (!QFileInfo(note).isFile())
            continue;
        const QDateTime taken = QDateTime::fromString(
            IniFile::get(NoteSection, QStringLiteral("Taken"), QString(), note), TakenFormat);
        if (!taken.isValid())
            continue;
        const qint64 songs = IniFile::getNumber(NoteSection, QStringLiteral("Songs"), -1, note);
        backups.append({info.absoluteFilePath(), taken, songs});
    }
    std::stable_sort(backups.begin(), backups.end(),
                     [](const BackupEntry &a, const BackupEntry &b) { return a.taken > b.taken; });
    return backups;
}

QList<BackupEntry> backupsBeyond(const QList<BackupEntry> &backups, const BackupRetention &rule,
                                 const QDate &today)
{
    const auto mondayOf = [](const QDate &date) { return date.addDays(1 - date.dayOfWeek()); };
    const QDate thisMonday = mondayOf(today);
    QSet<qint64> days;
    QSet<qint64> weeks;
    QSet<qint64> months;
    QList<BackupEntry> beyond;
    for (qsizetype i = 0; i < backups.size(); ++i) {
        const QDate date = backups.at(i).taken.date();
        const qint64 day = date.toJulianDay();
        const qint64 week = mondayOf(date).toJulianDay();
        const qint64 month = qint64(date.year()) * 12 + date.month() - 1;
        // Newest first: the first one met in a day, week or month is the newest of it.
        bool keep = i < rule.last;
        if (date.daysTo(today) < rule.days && !days.contains(day)) {
            days.insert(day);
            keep = true;
        }
        if (mondayOf(date).daysTo(thisMonday) / 7 < rule.weeks && !weeks.contains(week)) {
            weeks.insert(week);
            keep = true;
        }
        const qint64 thisMonth = qint64(today.year()) * 12 + today.month() - 1;
        if (thisMonth - month < rule.months && !months.contains(month)) {
            months.insert(month);
            keep = true;
        }
        if (!keep)
            beyond.append(backups.at(i));
    }
    return beyond;
}

bool removeBackup(const BackupEntry &backup)
{
    return removeOwnFiles(backup.folder);
}

bool restoreBackup(const BackupEntry &backup, const QString &catalogueFolder,
                   const QString &asideName, QString &problem)
{
    const QDir backupDir(backup.folder);
    const QDir catalogue(catalogueFolder);
    QStringList names;
    for (const QString &name : catalogueFileNames()) {
        if (QFileInfo(backupDir.filePath(name)).isFile())
            names.append(name);
    }
    if (names.isEmpty()) {
        problem = QStringLiteral("The folder \"%1\" holds no catalogue files.").arg(backup.folder);
        return false;
    }
    static const QByteArray signature("SQLite format 3\0", 16);
    for (const QString &name : std::as_const(names)) {
        QFile file(backupDir.filePath(name));
        if (!file.open(QIODevice::ReadOnly) || file.read(16) != signature) {
            problem = QStringLiteral("The backup's file \"%1\" is damaged; nothing was restored.")
                          .arg(file.fileName());
            return false;
        }
    }

    // The copies first, beside the files they replace: only renames are left once they are
    // all there and on disk.
    QStringList copied;
    const auto dropCopies = [&] {
        for (const QString &name : std::as_const(copied))
            QFile::remove(catalogue.filePath(RestoringPrefix + name));
    };
    for (const QString &name : std::as_const(names)) {
        const QString target = catalogue.filePath(RestoringPrefix + name);
        QFile::remove(target);
        QFile in(backupDir.filePath(name));
        QFile out(target);
        bool written = in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly);
        copied.append(name);
        while (written && !in.atEnd()) {
            const QByteArray chunk = in.read(1 << 20);
            written = !chunk.isEmpty() && out.write(chunk) == chunk.size();
        }
        written = written && out.flush();
        const QString reason = out.errorString();
        out.close();
        if (!written || !syncPath(target, false)) {
            dropCopies();
            problem = QStringLiteral("The backup could not be copied into \"%1\" (%2); nothing "
                                     "was restored.")
                          .arg(catalogueFolder, reason.isEmpty() ? systemReason(errno) : reason);
            return false;
        }
    }

    const QString aside = catalogue.filePath(asideName);
    if (!QDir().mkpath(aside)) {
        dropCopies();
        problem = QStringLiteral("The folder \"%1\" for the current files could not be made; "
                                 "nothing was restored.")
                      .arg(aside);
        return false;
    }
    // The current files go aside with their journals, which belong to them alone: a journal
    // left beside a restored file would be played back into it.
    QList<QPair<QString, QString>> moved;
    bool ok = true;
    for (const QString &name : catalogueFileNames()) {
        for (const QString &file : {name, name + QStringLiteral("-journal")}) {
            const QString from = catalogue.filePath(file);
            if (!QFileInfo::exists(from))
                continue;
            const QString to = QDir(aside).filePath(file);
            if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) !=
                0) {
                problem = QStringLiteral("\"%1\" could not be moved aside (%2); nothing was "
                                         "restored.")
                              .arg(from, systemReason(errno));
                ok = false;
                break;
            }
            moved.append({from, to});
        }
        if (!ok)
            break;
    }
    for (qsizetype i = 0; ok && i < names.size(); ++i) {
        const QString from = catalogue.filePath(RestoringPrefix + names.at(i));
        const QString to = catalogue.filePath(names.at(i));
        if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
            problem = QStringLiteral("\"%1\" could not be put in place (%2); nothing was restored.")
                          .arg(to, systemReason(errno));
            ok = false;
            // The files already put in place go back to being copies.
            for (qsizetype j = 0; j < i; ++j)
                ::rename(QFile::encodeName(catalogue.filePath(names.at(j))).constData(),
                         QFile::encodeName(catalogue.filePath(RestoringPrefix + names.at(j)))
                             .constData());
        }
    }
    if (!ok) {
        for (const auto &[from, to] : std::as_const(moved))
            ::rename(QFile::encodeName(to).constData(), QFile::encodeName(from).constData());
        dropCopies();
        QDir().rmdir(aside);
        return false;
    }
    syncPath(catalogueFolder, true);
    syncPath(aside, true);
    return true;
}

QByteArray catalogueStamp(const QString &catalogueFolder)
{
    QByteArray stamp;
    for (const QString &name : catalogueFileNames()) {
        QFile file(QDir(catalogueFolder).filePath(name));
        stamp += name.toUtf8() + ':';
        if (!file.open(QIODevice::ReadOnly)) {
            stamp += "-;";
            continue;
        }
        const QByteArray header = file.read(28);
        stamp += header.mid(24, 4).toHex() + ':' + QByteArray::number(file.size()) + ';';
    }
    return stamp;
}

} // namespace sv
