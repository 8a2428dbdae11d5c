// A second station for the tests: opens the catalogue in a folder as another process would
// and does one thing to it, printing "ready" when the test may go on.
#include "store/errors.h"
#include "store/fileaccess.h"
#include "store/integrity.h"
#include "store/store.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>

using namespace sv;

namespace {

void ready()
{
    std::printf("ready\n");
    std::fflush(stdout);
}

int fail(const char *what)
{
    std::printf("failed %s: %d %s\n", what, errorCode(), qPrintable(errorText()));
    return 1;
}

// Holds a transaction on the song file for the given milliseconds.
int holdLogout(Store &store, int milliseconds)
{
    Table &songs = store.table(TableId::Songs);
    if (!songs.open())
        return fail("open");
    if (!store.database().logout(1))
        return fail("logout");
    songs.buffer().clear();
    songs.buffer().setNumber(mus::ID, 999999);
    if (!songs.add())
        return fail("add");
    ready();
    QThread::msleep(milliseconds);
    return store.database().rollback() ? 0 : fail("rollback");
}

// Changes the title of the song with the given ID.
int changeSong(Store &store, qint64 id, const QString &title)
{
    Table &songs = store.table(TableId::Songs);
    if (!songs.open())
        return fail("open");
    songs.buffer().setNumber(mus::ID, id);
    if (!songs.get(mus::KeyID))
        return fail("get");
    songs.buffer().setText(mus::Title, title);
    if (!songs.put())
        return fail("put");
    ready();
    return 0;
}

// Adds a song with the given ID, artist and title.
int addSong(Store &store, qint64 id, const QString &artist, const QString &title)
{
    Table &songs = store.table(TableId::Songs);
    if (!songs.open())
        return fail("open");
    songs.buffer().clear();
    songs.buffer().setNumber(mus::ID, id);
    songs.buffer().setText(mus::Artist, artist);
    songs.buffer().setText(mus::Title, title);
    songs.buffer().setText(mus::Media, QStringLiteral("CD"));
    if (!songs.add())
        return fail("add");
    ready();
    return 0;
}

// Deletes the song with the given ID.
int deleteSong(Store &store, qint64 id)
{
    Table &songs = store.table(TableId::Songs);
    if (!songs.open())
        return fail("open");
    songs.buffer().setNumber(mus::ID, id);
    if (!songs.get(mus::KeyID))
        return fail("get");
    if (!songs.remove())
        return fail("delete");
    ready();
    return 0;
}

// Renames the category with the given number.
int changeCategory(Store &store, qint64 id, const QString &name)
{
    Table &categories = store.table(TableId::Categories);
    if (!categories.open())
        return fail("open");
    categories.buffer().setNumber(cat::CategoryID, id);
    if (!categories.get(cat::KeyCategoryID))
        return fail("get");
    categories.buffer().setText(cat::Category, name);
    if (!categories.put())
        return fail("put");
    ready();
    return 0;
}

// Holds a transaction on the tip file only for the given milliseconds.
int holdTips(Store &store, int milliseconds)
{
    Table &tips = store.table(TableId::Tips);
    if (!tips.open() || !store.table(TableId::Songs).open())
        return fail("open");
    if (!store.database().logout(1, {TableId::Tips}))
        return fail("logout");
    tips.buffer().clear();
    tips.buffer().setNumber(tip::ID, 999999);
    tips.buffer().setText(tip::Tip, QStringLiteral("held"));
    if (!tips.add())
        return fail("add");
    ready();
    QThread::msleep(milliseconds);
    return store.database().rollback() ? 0 : fail("rollback");
}

// Keeps a read of a table file (the song file unless named) going, a shared lock, until
// killed.
int holdRead(const QString &folder, const QString &file, const QString &table)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(folder + u'/' + file).constData(), &db, SQLITE_OPEN_READONLY,
                    nullptr);
    sqlite3_stmt *read = nullptr;
    sqlite3_prepare_v2(db, (QStringLiteral("SELECT sv_pos FROM ") + table).toUtf8().constData(), -1,
                       &read, nullptr);
    if (sqlite3_step(read) != SQLITE_ROW)
        return fail("read");
    ready();
    QThread::sleep(600);
    return 0;
}

// For every "go" read from its input, replaces the song with the given ID by a new one with
// the same ID: deletes it and adds another titled "B" and the round's number.
int replaceSong(Store &store, qint64 id)
{
    Table &songs = store.table(TableId::Songs);
    if (!songs.open())
        return fail("open");
    ready();
    QTextStream input(stdin);
    for (int round = 1; input.readLine() == u"go"; ++round) {
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, id);
        if (!songs.get(mus::KeyID))
            return fail("get");
        if (!songs.remove())
            return fail("delete");
        songs.buffer().setText(mus::Title, QStringLiteral("B%1").arg(round));
        if (!songs.add())
            return fail("add");
        std::printf("done\n");
        std::fflush(stdout);
    }
    return 0;
}

// Keeps the song file open in the given mode until killed.
int holdOpen(Store &store, const QString &mode)
{
    const OpenMode openMode =
        mode == u"exclusive" ? OpenMode::Exclusive : OpenMode::SharedReadWrite;
    if (!store.table(TableId::Songs).open(openMode))
        return fail("open");
    ready();
    QThread::sleep(600);
    return 0;
}

// Adds one song, one album and one category with the same number in each transaction,
// forever: the test kills it at a random moment and checks each number is all or nothing.
int transactionLoop(Store &store)
{
    Table &songs = store.table(TableId::Songs);
    Table &albums = store.table(TableId::Albums);
    Table &categories = store.table(TableId::Categories);
    if (!songs.open() || !albums.open() || !categories.open())
        return fail("open");
    for (qint64 n = 1;; ++n) {
        if (!store.database().logout(5))
            return fail("logout");
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, n);
        albums.buffer().clear();
        albums.buffer().setNumber(alb::AlbumID, n);
        categories.buffer().clear();
        categories.buffer().setNumber(cat::CategoryID, n);
        if (!songs.add() || !albums.add() || !categories.add())
            return fail("add");
        if (!store.database().commit())
            return fail("commit");
        if (n == 20)
            ready();
    }
}

// Adds a song, changes the texts of another and deletes a third in each transaction,
// forever: the test kills it at a random moment and checks the full-text index against
// the table.
int changeLoop(Store &store)
{
    Table &songs = store.table(TableId::Songs);
    if (!songs.open())
        return fail("open");
    for (qint64 n = 1;; ++n) {
        if (!store.database().logout(5))
            return fail("logout");
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, n);
        songs.buffer().setText(mus::Title, QStringLiteral("Chanson n° %1").arg(n));
        songs.buffer().setMemo(mus::Notes, QStringLiteral("Noël %1").arg(n));
        if (!songs.add())
            return fail("add");
        songs.buffer().setNumber(mus::ID, n / 2);
        if (n > 2 && songs.get(mus::KeyID)) {
            songs.buffer().setText(mus::Composer, QStringLiteral("Éric %1").arg(n));
            if (!songs.put())
                return fail("put");
        }
        songs.buffer().setNumber(mus::ID, n - 3);
        if (n % 4 == 0 && songs.get(mus::KeyID) && !songs.remove())
            return fail("remove");
        if (!store.database().commit())
            return fail("commit");
        if (n == 30)
            ready();
    }
}

// Merges groups of duplicate songs one after another, as Find Duplicates does: group g keeps
// song 100 * g and takes in songs 100 * g + 1 to 100 * g + 3. The test kills it at a random
// moment and checks that every group was merged whole or not at all.
int mergeLoop(Store &store, int groups)
{
    UpgradeManager upgrades;
    for (TableId id : allTables()) {
        const TableDef &def = tableDef(id);
        upgrades.usingFile(def, def.label, def.prefix, def.version);
    }
    FileAccess files(store, upgrades);
    Integrity integrity(store, files);
    Table &songs = store.table(TableId::Songs);
    const TableUses uses = files.use({&songs, &store.table(TableId::PlaylistDetails)});
    if (!uses)
        return fail("open");
    const auto version = [&](qint64 id, Integrity::SongVersion &found) {
        songs.buffer().setNumber(mus::ID, id);
        if (!songs.get(mus::KeyID))
            return false;
        found = {songs.position(), songs.current().revision};
        return true;
    };
    ready();
    for (int group = 1; group <= groups; ++group) {
        Integrity::SongVersion kept;
        QList<Integrity::SongVersion> others;
        if (!version(100 * group, kept))
            return fail("get");
        for (int n = 1; n <= 3; ++n) {
            Integrity::SongVersion other;
            if (!version(100 * group + n, other))
                return fail("get");
            others.append(other);
        }
        if (integrity.mergeSongs(kept, others) != Integrity::Written)
            return fail("merge");
    }
    std::printf("merged\n");
    std::fflush(stdout);
    return 0;
}

} // namespace

// Holds a transaction on the play-list files, with a play list added in it, for the given
// milliseconds.
int holdPlaylists(Store &store, int milliseconds)
{
    Table &master = store.table(TableId::PlaylistMaster);
    if (!master.open() || !store.table(TableId::PlaylistDetails).open())
        return fail("open");
    if (!store.database().logout(1))
        return fail("logout");
    master.buffer().clear();
    master.buffer().setNumber(pld::PlaylistID, 999999);
    if (!master.add())
        return fail("add");
    ready();
    QThread::msleep(milliseconds);
    return store.database().rollback() ? 0 : fail("rollback");
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    Store store(args.at(1));
    const QString command = args.at(2);
    if (command == u"hold-logout")
        return holdLogout(store, args.value(3).toInt());
    if (command == u"hold-playlists")
        return holdPlaylists(store, args.value(3).toInt());
    if (command == u"change-song")
        return changeSong(store, args.value(3).toLongLong(), args.value(4));
    if (command == u"add-song")
        return addSong(store, args.value(3).toLongLong(), args.value(4), args.value(5));
    if (command == u"delete-song")
        return deleteSong(store, args.value(3).toLongLong());
    if (command == u"change-category")
        return changeCategory(store, args.value(3).toLongLong(), args.value(4));
    if (command == u"hold-open")
        return holdOpen(store, args.value(3));
    if (command == u"hold-tips")
        return holdTips(store, args.value(3).toInt());
    if (command == u"hold-read")
        return holdRead(args.at(1), args.value(3, QStringLiteral("svpdata.tps")),
                        args.value(4, QStringLiteral("Songvane")));
    if (command == u"replace-song")
        return replaceSong(store, args.value(3).toLongLong());
    if (command == u"transaction-loop")
        return transactionLoop(store);
    if (command == u"change-loop")
        return changeLoop(store);
    if (command == u"merge-loop")
        return mergeLoop(store, args.value(3).toInt());
    return 2;
}
