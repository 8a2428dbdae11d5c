#include "store/backup.h"
#include "store/errors.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <sqlite3.h>

using namespace sv;

namespace {

const QDateTime Noon(QDate(2024, 5, 17), QTime(12, 0));

std::unique_ptr<QProcess> startStation(const QString &folder, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->start(test::helperProgram(QStringLiteral("station")), QStringList{folder} + arguments);
    if (!process->waitForStarted(10000))
        return nullptr;
    while (process->state() == QProcess::Running && !process->canReadLine())
        process->waitForReadyRead(100);
    if (process->readLine().trimmed() != "ready")
        return nullptr;
    return process;
}

// Songs numbered from `first`, with long notes so that the file spans many pages.
void addSongs(Table &songs, qint64 first, int count)
{
    QVERIFY(songs.stream());
    for (int i = 0; i < count; ++i) {
        test::newSong(songs, first + i);
        songs.buffer().setText(mus::Artist, QStringLiteral("Artist %1").arg(i % 97));
        songs.buffer().setText(mus::Title, QStringLiteral("Title %1").arg(i));
        songs.buffer().setMemo(mus::Notes, QString(600, QChar(u'a' + i % 26)));
        QVERIFY(songs.add());
    }
    QVERIFY(songs.flush());
}

// A catalogue with every table file and `songs` songs, none held open.
void makeCatalogue(const QString &folder, int songs)
{
    test::StoreCatalogue catalogue(folder);
    for (TableId id : allTables())
        catalogue.open(id);
    addSongs(catalogue.table(TableId::Songs), 10000000, songs);
}

// Runs a backup to its end; the outcome of the last step.
CatalogueBackup::Step runToEnd(CatalogueBackup &backup, int pages)
{
    CatalogueBackup::Step step = CatalogueBackup::Step::Going;
    while (step == CatalogueBackup::Step::Going)
        step = backup.step(pages);
    return step;
}

// The numbers a query gives from a file, opened read-only with the bare engine; asked again
// while another station's commits keep the file locked.
QSet<qint64> numbers(const QString &path, const char *query)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        QSet<qint64> found;
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_busy_timeout(db, 100);
        sqlite3_stmt *statement = nullptr;
        int result = sqlite3_prepare_v2(db, query, -1, &statement, nullptr);
        while (result == SQLITE_OK || result == SQLITE_ROW) {
            result = sqlite3_step(statement);
            if (result == SQLITE_ROW)
                found.insert(sqlite3_column_int64(statement, 0));
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        if (result == SQLITE_DONE)
            return found;
        QTest::qWait(10);
    }
    return {-1};
}

QString integrity(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *statement = nullptr;
    QString result = QStringLiteral("unreadable");
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        result =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

BackupEntry entryAt(const QDateTime &taken)
{
    return {taken.toString(Qt::ISODate), taken, 0};
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every table file is copied, readable on its own, and the backup notes its moment and
    // its songs; the catalogue itself does not change.
    void copiesEveryTableFile()
    {
        test::Workspace workspace;
        makeCatalogue(workspace.path(), 300);
        const QByteArray before = catalogueStamp(workspace.path());
        const QString backups = workspace.file(QStringLiteral("Backups"));
        CatalogueBackup backup(workspace.path(), backups);
        QVERIFY(backup.start(Noon, true));
        QCOMPARE(runToEnd(backup, 7), CatalogueBackup::Step::Done);
        QCOMPARE(backup.pagesCopied(), backup.pagesTotal());

        const QList<BackupEntry> listed = listBackups(backups);
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().taken, Noon);
        QCOMPARE(listed.first().songs, qint64(300));
        QCOMPARE(listed.first().folder, backup.entry().folder);
        for (const QString &name : catalogueFileNames()) {
            const QString copy = QDir(listed.first().folder).filePath(name);
            QVERIFY2(QFileInfo(copy).isFile(), qPrintable(name));
            QCOMPARE(integrity(copy), QStringLiteral("ok"));
        }
        QCOMPARE(numbers(QDir(listed.first().folder).filePath(QStringLiteral("svpdata.tps")),
                         "SELECT count(*) FROM Songvane"),
                 QSet<qint64>{300});
        QCOMPARE(catalogueStamp(workspace.path()), before);
        // Nothing but the backup's own folder is left in the backups folder.
        QCOMPARE(folderEntries(backups), QStringList{QFileInfo(listed.first().folder).fileName()});
    }

    // A backup taken while another station keeps adding a song, an album and a category in
    // each transaction holds every number in all three files or in none, and put back in
    // place it opens as a sound catalogue.
    void backupDuringWritesIsConsistent()
    {
        test::Workspace workspace;
        makeCatalogue(workspace.path(), 3000);
        auto station = startStation(workspace.path(), {QStringLiteral("transaction-loop")});
        QVERIFY(station);
        const QSet<qint64> counted =
            numbers(workspace.file(QStringLiteral("svpalbum.tps")), "SELECT count(*) FROM Album");
        QCOMPARE(counted.size(), 1);
        const qint64 albumsAtStart = *counted.cbegin();
        const QString backups = workspace.file(QStringLiteral("Backups"));
        CatalogueBackup backup(workspace.path(), backups);
        QVERIFY2(backup.start(Noon, true), qPrintable(backup.problem()));
        // Small steps, so that the station commits many times while the files are copied.
        QCOMPARE(runToEnd(backup, 4), CatalogueBackup::Step::Done);
        QCOMPARE(station->state(), QProcess::Running); // it wrote all along
        station->kill();
        station->waitForFinished();

        const QDir copy(backup.entry().folder);
        const QSet<qint64> songs = numbers(copy.filePath(QStringLiteral("svpdata.tps")),
                                           "SELECT ID FROM Songvane WHERE ID < 10000000");
        const QSet<qint64> albums =
            numbers(copy.filePath(QStringLiteral("svpalbum.tps")), "SELECT AlbumID FROM Album");
        const QSet<qint64> categories = numbers(copy.filePath(QStringLiteral("SVPCAT.tps")),
                                                "SELECT CategoryID FROM Categories");
        QVERIFY(songs.size() >= 20);
        QCOMPARE(albums, songs);
        QCOMPARE(categories, songs);
        for (const QString &name : catalogueFileNames())
            QCOMPARE(integrity(copy.filePath(name)), QStringLiteral("ok"));
        // The station wrote while the files were copied, and the backup has what it wrote.
        QVERIFY(albums.size() > albumsAtStart);

        QString problem;
        QVERIFY2(
            restoreBackup(backup.entry(), workspace.path(), QStringLiteral("Replaced"), problem),
            qPrintable(problem));
        test::StoreCatalogue restored(workspace.path());
        Table &restoredSongs = restored.open(TableId::Songs);
        QCOMPARE(restoredSongs.records(), qint64(3000 + songs.size()));
        QCOMPARE(restored.open(TableId::Albums).records(), qint64(albums.size()));
        QCOMPARE(restored.open(TableId::Categories).records(), qint64(categories.size()));
        restoredSongs.buffer().setNumber(mus::ID, 10000000 + 1234);
        QVERIFY(restoredSongs.get(mus::KeyID));
        QCOMPARE(restoredSongs.buffer().text(mus::Title), QStringLiteral("Title 1234"));
    }

    // While the copies are finished, one after the other, no station can commit: a
    // transaction over the songs, albums and categories tried after the songs' copy is done
    // waits until every copy is, so the backup never holds half of it.
    void noCommitBetweenFinishedFiles()
    {
        test::Workspace workspace;
        makeCatalogue(workspace.path(), 200);
        CatalogueBackup backup(workspace.path(), workspace.file(QStringLiteral("Backups")));
        bool committed = true;
        int hooks = 0;
        backup.setSealHook([&](const QString &fileName) {
            if (fileName != u"svpdata.tps")
                return;
            ++hooks;
            Store other(workspace.path());
            other.database().setOpenWait(0);
            Table &songs = other.table(TableId::Songs);
            Table &albums = other.table(TableId::Albums);
            Table &categories = other.table(TableId::Categories);
            QVERIFY(songs.open() && albums.open() && categories.open());
            QVERIFY(other.database().logout(0));
            test::newSong(songs, 4242);
            albums.buffer().clear();
            albums.buffer().setNumber(alb::AlbumID, 4242);
            QVERIFY(songs.add() && albums.add() &&
                    test::addCategory(categories, 4242, QStringLiteral("Late")));
            committed = other.database().commit();
            if (!committed)
                QVERIFY(other.database().rollback());
        });
        QVERIFY(backup.start(Noon, true));
        QCOMPARE(runToEnd(backup, 64), CatalogueBackup::Step::Done);
        QCOMPARE(hooks, 1);
        QVERIFY(!committed);
        const QDir copy(backup.entry().folder);
        QVERIFY(numbers(copy.filePath(QStringLiteral("svpalbum.tps")), "SELECT AlbumID FROM Album")
                    .isEmpty());
        QVERIFY(numbers(copy.filePath(QStringLiteral("SVPCAT.tps")),
                        "SELECT CategoryID FROM Categories")
                    .isEmpty());
    }

    // A folder the user chose that is not there is not made: the backup is refused with the
    // reason, and nothing is written anywhere. The default folder is made when missing.
    void missingFolder()
    {
        test::Workspace workspace;
        makeCatalogue(workspace.path(), 10);
        const QString chosen = workspace.file(QStringLiteral("usb/Backups"));
        CatalogueBackup refused(workspace.path(), chosen);
        QVERIFY(!refused.start(Noon, false));
        QVERIFY2(refused.problem().contains(QStringLiteral("does not exist")),
                 qPrintable(refused.problem()));
        QVERIFY(!QFileInfo::exists(workspace.file(QStringLiteral("usb"))));

        const QString fallback = workspace.file(QStringLiteral("Backups"));
        CatalogueBackup made(workspace.path(), fallback);
        QVERIFY(made.start(Noon, true));
        QCOMPARE(runToEnd(made, 64), CatalogueBackup::Step::Done);
        QCOMPARE(listBackups(fallback).size(), 1);
    }

    // A read-only backup folder and one on a disk that fills up: the reason is given, no
    // half backup is left, the backups taken before stay whole, the catalogue is untouched.
    void readOnlyAndFullFolders()
    {
        test::Workspace workspace;
        makeCatalogue(workspace.path(), 20);
        const QString folder = workspace.file(QStringLiteral("disk"));
        test::SmallDisk disk(folder, 1200);
        if (!disk.mounted())
            QSKIP("mounting a small file system is not allowed here");
        CatalogueBackup first(workspace.path(), folder);
        QVERIFY(first.start(Noon, false));
        QCOMPARE(runToEnd(first, 64), CatalogueBackup::Step::Done);
        const QString firstSongs =
            QDir(first.entry().folder).filePath(QStringLiteral("svpdata.tps"));
        const QByteArray kept = test::fileContents(firstSongs);

        {
            test::StoreCatalogue catalogue(workspace.path());
            addSongs(catalogue.open(TableId::Songs), 1, 1500); // about a megabyte more
        }
        const QByteArray before = catalogueStamp(workspace.path());
        CatalogueBackup full(workspace.path(), folder);
        QVERIFY(full.start(Noon.addSecs(60), false));
        QCOMPARE(runToEnd(full, 64), CatalogueBackup::Step::Failed);
        QVERIFY2(full.problem().contains(QStringLiteral("disk is full")),
                 qPrintable(full.problem()));
        QCOMPARE(folderEntries(folder), QStringList{QFileInfo(first.entry().folder).fileName()});
        QCOMPARE(test::fileContents(firstSongs), kept);
        QCOMPARE(catalogueStamp(workspace.path()), before);

        QVERIFY(disk.makeReadOnly());
        CatalogueBackup readOnly(workspace.path(), folder);
        QVERIFY(!readOnly.start(Noon.addSecs(120), false));
        QVERIFY2(readOnly.problem().contains(QStringLiteral("could not be written")),
                 qPrintable(readOnly.problem()));
        QCOMPARE(listBackups(folder).size(), 1);
    }

    // Taken every day for two years and thinned after each, the backups keep the newest
    // ones, one a day for a week, one a week for a month and one a month for a year, and
    // never grow past that.
    void retentionOverTwoYears()
    {
        const BackupRetention rule{3, 7, 4, 12};
        QList<BackupEntry> kept;
        const QDate first(2022, 1, 3);
        for (int day = 0; day < 730; ++day) {
            const QDate today = first.addDays(day);
            for (int hour : {9, 17}) // two a day
                kept.prepend(entryAt(QDateTime(today, QTime(hour, 0))));
            const QList<BackupEntry> beyond = backupsBeyond(kept, rule, today);
            for (const BackupEntry &old : beyond)
                kept.removeIf([&](const BackupEntry &e) { return e.taken == old.taken; });
            QVERIFY(kept.size() <= rule.last + rule.days + rule.weeks + rule.months);
        }
        const QDate today = first.addDays(729);
        // The newest three, whatever their day.
        QCOMPARE(kept.at(0).taken, QDateTime(today, QTime(17, 0)));
        QCOMPARE(kept.at(1).taken, QDateTime(today, QTime(9, 0)));
        QCOMPARE(kept.at(2).taken, QDateTime(today.addDays(-1), QTime(17, 0)));
        QSet<QDate> days;
        QSet<int> months;
        for (const BackupEntry &entry : std::as_const(kept)) {
            days.insert(entry.taken.date());
            months.insert(entry.taken.date().year() * 12 + entry.taken.date().month());
            // Beyond the newest, one a day: the last of that day.
            if (entry.taken.date() < today.addDays(-1))
                QCOMPARE(entry.taken.time(), QTime(17, 0));
        }
        for (int back = 0; back < 7; ++back)
            QVERIFY(days.contains(today.addDays(-back)));
        QCOMPARE(months.size(), 12); // every month of the last year, and nothing older
        // The oldest: the last of the month eleven months back.
        QCOMPARE(kept.last().taken, QDateTime(QDate(2023, 2, 28), QTime(17, 0)));
    }

    // Restoring puts the backup's files in place and the current ones, with a journal left
    // by a crash, in the folder aside; a damaged backup changes nothing.
    void restoreKeepsCurrentFilesAside()
    {
        test::Workspace workspace;
        makeCatalogue(workspace.path(), 5);
        const QString backups = workspace.file(QStringLiteral("Backups"));
        CatalogueBackup backup(workspace.path(), backups);
        QVERIFY(backup.start(Noon, true));
        QCOMPARE(runToEnd(backup, 64), CatalogueBackup::Step::Done);
        {
            test::StoreCatalogue catalogue(workspace.path());
            addSongs(catalogue.open(TableId::Songs), 1, 7);
        }
        const QByteArray current =
            test::fileContents(workspace.file(QStringLiteral("svpdata.tps")));
        QFile journal(workspace.file(QStringLiteral("svpdata.tps-journal")));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("left by a crash");
        journal.close();

        // A backup whose song file is not a table file: nothing moves.
        const QString damaged = workspace.file(QStringLiteral("Damaged"));
        QVERIFY(QDir().mkpath(damaged));
        QVERIFY(QFile::copy(QDir(backup.entry().folder).filePath(QStringLiteral("svpalbum.tps")),
                            QDir(damaged).filePath(QStringLiteral("svpalbum.tps"))));
        QFile bad(QDir(damaged).filePath(QStringLiteral("svpdata.tps")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(4096, 'x'));
        bad.close();
        QString problem;
        QVERIFY(!restoreBackup({damaged, Noon, 5}, workspace.path(), QStringLiteral("Aside1"),
                               problem));
        QVERIFY(problem.contains(QStringLiteral("damaged")));
        QCOMPARE(test::fileContents(workspace.file(QStringLiteral("svpdata.tps"))), current);
        QVERIFY(journal.exists());
        QVERIFY(!QFileInfo::exists(workspace.file(QStringLiteral("Aside1"))));

        QVERIFY2(restoreBackup(backup.entry(), workspace.path(), QStringLiteral("Aside2"), problem),
                 qPrintable(problem));
        const QDir aside(workspace.file(QStringLiteral("Aside2")));
        QCOMPARE(test::fileContents(aside.filePath(QStringLiteral("svpdata.tps"))), current);
        QVERIFY(aside.exists(QStringLiteral("svpdata.tps-journal")));
        QVERIFY(!journal.exists());
        for (const QString &name : catalogueFileNames())
            QVERIFY2(aside.exists(name), qPrintable(name));
        test::StoreCatalogue restored(workspace.path());
        QCOMPARE(restored.open(TableId::Songs).records(), qint64(5));
        // The backup itself stays as it was, for another restore.
        QCOMPARE(listBackups(backups).size(), 1);
    }

    // The stamp moves with a committed change and stays with reads.
    void stampFollowsChanges()
    {
        test::Workspace workspace;
        makeCatalogue(workspace.path(), 3);
        const QByteArray before = catalogueStamp(workspace.path());
        test::StoreCatalogue catalogue(workspace.path());
        Table &songs = catalogue.open(TableId::Songs);
        songs.set(mus::KeyID);
        QVERIFY(songs.next());
        QCOMPARE(catalogueStamp(workspace.path()), before);
        songs.buffer().setText(mus::Title, QStringLiteral("Changed"));
        QVERIFY(songs.put());
        QVERIFY(catalogueStamp(workspace.path()) != before);
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
