// A whole catalogue copied from a folder of table files to a server and back: every table,
// field, memo and position arrives; each table is all or nothing, whether the copy is
// cancelled, the server goes away or the counts disagree.
#include "scratchserver.h"
#include "store/catalogcopy.h"
#include "store/errors.h"
#include "store/serverdatabase.h"
#include "store/servertable.h"
#include "store/sqldialect.h"
#include "store/table.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sqlite3.h>

#include <map>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

test::ScratchServer &server()
{
    static test::ScratchServer instance;
    return instance;
}

// One record as read back: its position, fields and memos.
struct Stored
{
    RecordPosition position;
    QVariantList fields;
    QStringList memos;
    bool operator==(const Stored &) const = default;
};
using Contents = std::map<TableId, QList<Stored>>;

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <class Handle> QList<Stored> readAll(Handle &table)
{
    QList<Stored> records;
    table.setFileOrder();
    while (table.next()) {
        Stored stored{table.position(), {}, {}};
        for (int field = 0; field < table.definition().fields.size(); ++field)
            stored.fields.append(table.buffer().value(field));
        for (int memo = 0; memo < table.definition().memos.size(); ++memo)
            stored.memos.append(table.buffer().memo(memo));
        records.append(stored);
    }
    return records;
}

Contents folderContents(const QString &folder)
{
    Database db(folder);
    Contents contents;
    for (TableId id : allTables()) {
        Table table(db, tableDef(id), tableDef(id).prefix);
        if (table.open(OpenMode::ReadOnly))
            contents[id] = readAll(table);
    }
    return contents;
}

Contents serverContents(const QString &url)
{
    ServerDatabase db(url);
    Contents contents;
    for (TableId id : allTables()) {
        ServerTable table(db, tableDef(id), tableDef(id).prefix);
        if (table.open())
            contents[id] = readAll(table);
    }
    return contents;
}

// Texts of every kind a catalogue holds: accents, other scripts, characters outside the
// basic plane, the characters a text transfer escapes, and nothing at all.
const QStringList Texts{u"Björk"_s,     u"Мумий Тролль"_s, u"坂本龍一"_s,  u"🎸 Riff 𝄞"_s,
                        u"Tab\there"_s, u"Back\\slash"_s,  u"Line\nend"_s, u""_s};

// Each table with `records` records, every field set (key fields unique, others sometimes
// blank), memos long, short or empty; every third record removed again so positions have
// gaps. `salt` makes the values of one catalogue differ from another's.
void fillFolder(const QString &folder, int records, int salt)
{
    Database db(folder);
    for (TableId id : allTables()) {
        const TableDef &def = tableDef(id);
        Table table(db, def, def.prefix);
        QVERIFY(table.create());
        QVERIFY(table.open());
        QSet<int> keyFields;
        for (const KeyDef &key : def.keys) {
            for (int field : key.components)
                keyFields.insert(field);
        }
        const int count = id == TableId::Songs ? records : qMax(1, records / 100) + 5;
        QVERIFY(db.logout(5));
        for (int i = 0; i < count; ++i) {
            Record &r = table.buffer();
            r.clear();
            for (int field = 0; field < def.fields.size(); ++field) {
                const FieldDef &f = def.fields.at(field);
                const bool key = keyFields.contains(field);
                if (!key && (i + field) % 5 == 0)
                    continue; // left blank
                if (f.type == FieldType::String)
                    r.setText(field, u"%1 %2 %3"_s.arg(Texts.at((i + field) % Texts.size()))
                                         .arg(i + 1)
                                         .arg(salt));
                else if (f.type == FieldType::Byte)
                    r.setNumber(field, key ? (i + 1) % 256 : (i + salt) % 256);
                else
                    r.setNumber(field, key ? i + 1 + salt * 100000 : i * 37 + salt);
            }
            for (int memo = 0; memo < def.memos.size(); ++memo) {
                const int kind = (i + memo) % 3;
                r.setMemo(memo, kind == 0 ? QString()
                                : kind == 1
                                    ? u"Short 𝄞 note %1"_s.arg(salt)
                                    : QString(qMin(def.memos.at(memo).maxLength / 4, 3000), u'ä') +
                                          u"\tend\n"_s);
            }
            QVERIFY2(table.add(), qPrintable(def.label + u": "_s + errorText() + fileError()));
        }
        QVERIFY(db.commit());
        table.setFileOrder();
        int n = 0;
        QVERIFY(db.logout(5));
        while (table.next()) {
            if (n++ % 3 == 1)
                QVERIFY(table.remove());
        }
        QVERIFY(db.commit());
    }
}

// The server connection of a test case, with a password in its URL that no message may
// repeat (the scratch server trusts the login and ignores it).
std::unique_ptr<ServerDatabase> openServer(const QString &url)
{
    return std::make_unique<ServerDatabase>(url + u"&password=Hush"_s);
}

bool dropOtherSessions(const QString &url, const QString &database)
{
    ServerDatabase admin(url);
    return admin.execute(u"SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                         "WHERE datname = '%1' AND pid <> pg_backend_pid()"_s.arg(database));
}

CatalogueCopy::Step copyAll(CatalogueCopy::Direction direction, const QString &folder,
                            ServerDatabase &db, CatalogueCopy::Replace replace,
                            const std::function<bool(const CopyProgress &)> &progress = {},
                            QString *message = nullptr)
{
    CatalogueCopy copy(direction, folder, db);
    if (!copy.start(replace)) {
        if (message)
            *message = copy.message();
        return CatalogueCopy::Step::Failed;
    }
    const CatalogueCopy::Step step = runCopy(copy, progress);
    if (message)
        *message = copy.message();
    return step;
}

} // namespace

class TestCatalogCopy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!server().installed())
            QSKIP(qPrintable(server().skipReason()));
        QVERIFY2(server().start(), qPrintable(server().error()));
    }

    // Files to a server and back into a new folder: each table equal field by field with
    // its positions, counts checked, and new records numbered above the copied ones.
    void roundTrip()
    {
        test::Workspace from;
        fillFolder(from.path(), 3200, 1);
        const Contents original = folderContents(from.path());
        QCOMPARE(original.size(), size_t(TableCount));
        const QString url = server().createDatabase(u"roundtrip"_s);
        auto db = openServer(url);
        QVERIFY(db->isValid());

        CatalogueCopy copy(CatalogueCopy::Direction::ToServer, from.path(), *db);
        QCOMPARE(copy.targetHoldsCatalogue(), std::optional<bool>(false));
        QVERIFY2(copy.start(CatalogueCopy::Replace::No), qPrintable(copy.message()));
        QList<CopyProgress> seen;
        QCOMPARE(runCopy(copy,
                         [&](const CopyProgress &p) {
                             seen.append(p);
                             return true;
                         }),
                 CatalogueCopy::Step::Finished);
        QCOMPARE(copy.finished().size(), TableCount);
        for (const CatalogueCopy::TableCount &count : copy.finished()) {
            QCOMPARE(count.copied, original.at(count.table).size());
            QCOMPARE(count.source, count.copied);
        }
        // Progress rises within the songs, whose records take two batches.
        QVERIFY(std::any_of(seen.cbegin(), seen.cend(), [](const CopyProgress &p) {
            return p.table == TableId::Songs && p.done == CatalogueCopy::BatchRows &&
                   p.total > p.done;
        }));
        QVERIFY(!copy.message().contains(u"Hush"_s));
        QCOMPARE(serverContents(url), original);

        test::Workspace back;
        const QString folder = QDir(back.path()).filePath(u"catalogue"_s);
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(
            copyAll(CatalogueCopy::Direction::FromServer, folder, *db, CatalogueCopy::Replace::No),
            CatalogueCopy::Step::Finished);
        QCOMPARE(folderContents(folder), original);
        QVERIFY(!QFileInfo::exists(QDir(folder).filePath(u".copying"_s)));

        // The copies number their next records above the highest copied position.
        const RecordPosition highest = original.at(TableId::Songs).last().position;
        Database files(folder);
        Table songs(files, tableDef(TableId::Songs), u"MUS"_s);
        QVERIFY(songs.open());
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, 999999);
        QVERIFY2(songs.add(), qPrintable(errorText()));
        QVERIFY(songs.position() > highest);
        // The song file's full-text index was made with every copied song, and its triggers
        // keep it as songs are added.
        const TableDef &songDef = tableDef(TableId::Songs);
        sqlite3_stmt *indexed = files.statement(u"SELECT count(*) FROM %1.%2"_s.arg(
            sql::quote(Database::schemaName(songDef)), sql::quote(sql::fullTextName(songDef))));
        QVERIFY(indexed);
        QCOMPARE(sqlite3_step(indexed), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int64(indexed, 0), original.at(TableId::Songs).size() + 1);
        sqlite3_reset(indexed);
        ServerTable serverSongs(*db, tableDef(TableId::Songs), u"MUS"_s);
        QVERIFY(serverSongs.open());
        serverSongs.buffer().clear();
        serverSongs.buffer().setNumber(mus::ID, 999999);
        QVERIFY2(serverSongs.add(), qPrintable(fileError()));
        QVERIFY(serverSongs.position() > highest);
    }

    // A target that holds a catalogue is replaced only when the caller says so.
    void replaceOnlyWhenAsked()
    {
        test::Workspace first, second;
        fillFolder(first.path(), 30, 1);
        fillFolder(second.path(), 40, 2);
        const QString url = server().createDatabase(u"replace"_s);
        auto db = openServer(url);
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, first.path(), *db,
                         CatalogueCopy::Replace::No),
                 CatalogueCopy::Step::Finished);
        const Contents onServer = serverContents(url);

        QString message;
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, second.path(), *db,
                         CatalogueCopy::Replace::No, {}, &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY2(message.contains(u"already holds a catalogue"_s), qPrintable(message));
        QCOMPARE(serverContents(url), onServer);

        const Contents inSecond = folderContents(second.path());
        QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, second.path(), *db,
                         CatalogueCopy::Replace::No, {}, &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY2(message.contains(u"already holds a catalogue"_s), qPrintable(message));
        QCOMPARE(folderContents(second.path()), inSecond);

        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, second.path(), *db,
                         CatalogueCopy::Replace::Yes),
                 CatalogueCopy::Step::Finished);
        QCOMPARE(serverContents(url), inSecond);
        QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, first.path(), *db,
                         CatalogueCopy::Replace::Yes),
                 CatalogueCopy::Step::Finished);
        QCOMPARE(folderContents(first.path()), inSecond);

        // A folder without a catalogue is no source.
        test::Workspace empty;
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, empty.path(), *db,
                         CatalogueCopy::Replace::Yes, {}, &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY2(message.contains(u"holds no catalogue"_s), qPrintable(message));
        QCOMPARE(serverContents(url), inSecond);

        // Nor is a catalogue of another structure version: nothing is copied from it.
        QVERIFY(
            db->execute(u"UPDATE sv_structure SET version = version + 1 WHERE label = 'Album'"_s));
        QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, empty.path(), *db,
                         CatalogueCopy::Replace::No, {}, &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY2(message.contains(u"another version"_s), qPrintable(message));
        QVERIFY(QDir(empty.path()).entryList({u"*.tps"_s}).isEmpty());
    }

    // Cancelled in the middle of a table: that table stays as it was on either side, the
    // tables before it are copied whole.
    void cancelMidTable()
    {
        test::Workspace older, newer;
        fillFolder(older.path(), 30, 1);
        fillFolder(newer.path(), 2500, 2);
        const QString url = server().createDatabase(u"cancel"_s);
        auto db = openServer(url);
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, older.path(), *db,
                         CatalogueCopy::Replace::No),
                 CatalogueCopy::Step::Finished);
        const Contents before = serverContents(url);
        const Contents wanted = folderContents(newer.path());

        const auto cancelInSongs = [](const CopyProgress &p) {
            return !(p.table == TableId::Songs && p.done > 0);
        };
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, newer.path(), *db,
                         CatalogueCopy::Replace::Yes, cancelInSongs),
                 CatalogueCopy::Step::Cancelled);
        QCOMPARE(serverContents(url), before);

        // Cancelled in the second table, after the first was copied.
        const TableId second = allTables().at(1);
        const auto cancelInSecond = [&](const CopyProgress &p) { return p.table != second; };
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, newer.path(), *db,
                         CatalogueCopy::Replace::Yes, cancelInSecond),
                 CatalogueCopy::Step::Cancelled);
        Contents after = serverContents(url);
        QCOMPARE(after.at(allTables().at(0)), wanted.at(allTables().at(0)));
        for (int i = 1; i < TableCount; ++i)
            QCOMPARE(after.at(allTables().at(i)), before.at(allTables().at(i)));

        // Into a folder: the file of the table under way is not touched, and the copy's own
        // files are gone.
        const QString songsFile =
            QDir(older.path()).filePath(tableDef(TableId::Songs).fileName + u".tps"_s);
        const QByteArray songsBefore = fileContents(songsFile);
        QVERIFY(!songsBefore.isEmpty());
        QVERIFY(copyAll(CatalogueCopy::Direction::ToServer, newer.path(), *db,
                        CatalogueCopy::Replace::Yes) == CatalogueCopy::Step::Finished);
        QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, older.path(), *db,
                         CatalogueCopy::Replace::Yes, cancelInSongs),
                 CatalogueCopy::Step::Cancelled);
        QCOMPARE(fileContents(songsFile), songsBefore);
        QVERIFY(!QFileInfo::exists(QDir(older.path()).filePath(u".copying"_s)));
    }

    // The server drops the copy's session mid-table: a clear message naming the server and
    // not its password; the tables copied before stay whole, the one under way as it was.
    // Reading from a server whose session was dropped goes on through a new one.
    void serverLostMidCopy()
    {
        test::Workspace older, newer;
        fillFolder(older.path(), 30, 1);
        fillFolder(newer.path(), 300, 2);
        const QString url = server().createDatabase(u"lost"_s);
        auto db = openServer(url);
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, older.path(), *db,
                         CatalogueCopy::Replace::No),
                 CatalogueCopy::Step::Finished);
        const Contents before = serverContents(url);
        const Contents wanted = folderContents(newer.path());

        const TableId second = allTables().at(1);
        bool dropped = false;
        QString message;
        QCOMPARE(copyAll(
                     CatalogueCopy::Direction::ToServer, newer.path(), *db,
                     CatalogueCopy::Replace::Yes,
                     [&](const CopyProgress &p) {
                         if (p.table == second && !dropped)
                             dropped = dropOtherSessions(url, u"lost"_s);
                         return true;
                     },
                     &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY(dropped);
        QVERIFY2(message.contains(u"Lost the connection to the server"_s) ||
                     message.contains(u"terminating connection"_s),
                 qPrintable(message));
        QVERIFY2(message.contains(db->server()), qPrintable(message));
        QVERIFY(!message.contains(u"Hush"_s));
        const Contents after = serverContents(url);
        QCOMPARE(after.at(allTables().at(0)), wanted.at(allTables().at(0)));
        for (int i = 1; i < TableCount; ++i)
            QCOMPARE(after.at(allTables().at(i)), before.at(allTables().at(i)));

        // From the server: the session dropped between two pages is made again.
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, newer.path(), *db,
                         CatalogueCopy::Replace::Yes),
                 CatalogueCopy::Step::Finished);
        test::Workspace back;
        dropped = false;
        QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, back.path(), *db,
                         CatalogueCopy::Replace::No,
                         [&](const CopyProgress &p) {
                             if (p.table == second && p.done > 0 && !dropped)
                                 dropped = dropOtherSessions(url, u"lost"_s);
                             return true;
                         }),
                 CatalogueCopy::Step::Finished);
        QVERIFY(dropped);
        QCOMPARE(folderContents(back.path()), wanted);
    }

    // A table file another station has open, or whose unfinished transaction a journal
    // holds, is not replaced: the copy fails there and leaves it as it was.
    void targetFilesInUse()
    {
        test::Workspace source, target;
        fillFolder(source.path(), 40, 1);
        fillFolder(target.path(), 30, 2);
        const QString url = server().createDatabase(u"inuse"_s);
        auto db = openServer(url);
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, source.path(), *db,
                         CatalogueCopy::Replace::No),
                 CatalogueCopy::Step::Finished);
        const QString songsFile =
            QDir(target.path()).filePath(tableDef(TableId::Songs).fileName + u".tps"_s);
        const QByteArray songsBefore = fileContents(songsFile);
        QString message;
        {
            Database station(target.path());
            Table songs(station, tableDef(TableId::Songs), u"MUS"_s);
            QVERIFY(songs.open());
            QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, target.path(), *db,
                             CatalogueCopy::Replace::Yes, {}, &message),
                     CatalogueCopy::Step::Failed);
            QVERIFY2(message.contains(u"is open at another station"_s), qPrintable(message));
            QCOMPARE(fileContents(songsFile), songsBefore);
        }

        QFile journal(songsFile + u"-journal"_s);
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write(QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8) + QByteArray(504, '\0'));
        journal.close();
        QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, target.path(), *db,
                         CatalogueCopy::Replace::Yes, {}, &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY2(message.contains(u"unfinished transaction"_s), qPrintable(message));
        QCOMPARE(fileContents(songsFile), songsBefore);
        QVERIFY(!QFileInfo::exists(QDir(target.path()).filePath(u".copying"_s)));

        QVERIFY(QFile::remove(songsFile + u"-journal"_s));
        QCOMPARE(copyAll(CatalogueCopy::Direction::FromServer, target.path(), *db,
                         CatalogueCopy::Replace::Yes),
                 CatalogueCopy::Step::Finished);
        QCOMPARE(folderContents(target.path()), folderContents(source.path()));
    }

    // Another station removes a record the copy has already read: the counts disagree, the
    // table is not kept and the message says so.
    void countsMustAgree()
    {
        test::Workspace older, newer;
        fillFolder(older.path(), 30, 1);
        fillFolder(newer.path(), 2500, 2);
        const QString url = server().createDatabase(u"counts"_s);
        auto db = openServer(url);
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, older.path(), *db,
                         CatalogueCopy::Replace::No),
                 CatalogueCopy::Step::Finished);
        const Contents before = serverContents(url);

        Database station(newer.path());
        Table songs(station, tableDef(TableId::Songs), u"MUS"_s);
        QVERIFY(songs.open());
        bool removed = false;
        QString message;
        QCOMPARE(copyAll(
                     CatalogueCopy::Direction::ToServer, newer.path(), *db,
                     CatalogueCopy::Replace::Yes,
                     [&](const CopyProgress &p) {
                         if (p.table == TableId::Songs && p.done > 0 && !removed) {
                             songs.setFileOrder();
                             removed = songs.next() && songs.remove();
                         }
                         return true;
                     },
                     &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY(removed);
        QVERIFY2(message.contains(u"but the source holds"_s), qPrintable(message));
        QCOMPARE(serverContents(url).at(TableId::Songs), before.at(TableId::Songs));

        // The other way: a song removed on the server under way leaves the folder's file.
        QCOMPARE(copyAll(CatalogueCopy::Direction::ToServer, newer.path(), *db,
                         CatalogueCopy::Replace::Yes),
                 CatalogueCopy::Step::Finished);
        const QString songsFile =
            QDir(older.path()).filePath(tableDef(TableId::Songs).fileName + u".tps"_s);
        const QByteArray songsBefore = fileContents(songsFile);
        ServerDatabase other(url);
        ServerTable serverSongs(other, tableDef(TableId::Songs), u"MUS"_s);
        QVERIFY(serverSongs.open());
        removed = false;
        QCOMPARE(copyAll(
                     CatalogueCopy::Direction::FromServer, older.path(), *db,
                     CatalogueCopy::Replace::Yes,
                     [&](const CopyProgress &p) {
                         if (p.table == TableId::Songs && p.done > 0 && !removed) {
                             serverSongs.setFileOrder();
                             removed = serverSongs.next() && serverSongs.remove();
                         }
                         return true;
                     },
                     &message),
                 CatalogueCopy::Step::Failed);
        QVERIFY(removed);
        QVERIFY2(message.contains(u"but the source holds"_s), qPrintable(message));
        QCOMPARE(fileContents(songsFile), songsBefore);
    }
};

QTEST_GUILESS_MAIN(TestCatalogCopy)
#include "tst_catalogcopy.moc"
