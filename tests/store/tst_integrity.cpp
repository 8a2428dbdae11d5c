#include "store/errors.h"
#include "store/integrity.h"
#include "testsupport.h"

#include <QProcess>
#include <QTest>

using namespace sv;

namespace {

// A catalogue of two albums and their songs, a play list holding one song, media and
// categories, in a temporary folder.
class Fixture
{
public:
    explicit Fixture(const QString &folder)
        : store(folder), files(store, upgrades), integrity(store, files)
    {
        for (TableId id : allTables()) {
            const TableDef &def = tableDef(id);
            upgrades.usingFile(def, def.label, def.prefix, def.version);
            holds.push_back(files.use(store.table(id)));
        }
        holds.push_back(files.use(store.aliasSongs()));
    }

    Table &table(TableId id) { return store.table(id); }

    void addSong(qint64 id, const QString &media, qint64 category, qint64 album,
                 const QString &fileNumber)
    {
        Record &song = table(TableId::Songs).buffer();
        song.clear();
        song.setNumber(mus::ID, id);
        song.setText(mus::Title, QStringLiteral("Song %1").arg(id));
        song.setText(mus::Media, media);
        song.setNumber(mus::CategoryID, category);
        song.setNumber(mus::AlbumID, album);
        song.setText(mus::FileNumber, fileNumber);
        QVERIFY(table(TableId::Songs).add());
    }

    void addAlbum(qint64 id, const QString &fileNumber, qint64 category)
    {
        Record &album = table(TableId::Albums).buffer();
        album.clear();
        album.setNumber(alb::AlbumID, id);
        album.setText(alb::Album, QStringLiteral("Album %1").arg(id));
        album.setText(alb::FileNumber, fileNumber);
        album.setNumber(alb::CategoryID, category);
        QVERIFY(table(TableId::Albums).add());
    }

    void addPlaylistEntry(qint64 list, qint64 sequence, qint64 song)
    {
        Record &entry = table(TableId::PlaylistDetails).buffer();
        entry.clear();
        entry.setNumber(pla::PlaylistID, list);
        entry.setNumber(pla::PlaylistSeq, sequence);
        entry.setNumber(pla::ID, song);
        QVERIFY(table(TableId::PlaylistDetails).add());
    }

    bool find(TableId id, int key, int field, const QVariant &value)
    {
        Table &t = table(id);
        t.buffer().clear();
        t.buffer().setValue(field, value);
        return t.get(key);
    }

    qint64 count(TableId id) { return table(id).records(); }

    UpgradeManager upgrades;
    Store store;
    FileAccess files;
    Integrity integrity;
    std::vector<TableUse> holds;
};

} // namespace

class TestIntegrity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Deleting a play list deletes every entry of it and no other.
    void playlistDeleteCascades()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        Record &list = f.table(TableId::PlaylistMaster).buffer();
        list.setNumber(pld::PlaylistID, 1);
        QVERIFY(f.table(TableId::PlaylistMaster).add());
        for (int seq = 1; seq <= 5; ++seq)
            f.addPlaylistEntry(1, seq, seq);
        f.addPlaylistEntry(2, 1, 9);
        QVERIFY(f.find(TableId::PlaylistMaster, pld::KeyPlaylistID, pld::PlaylistID, 1));
        QVERIFY(f.integrity.remove(TableId::PlaylistMaster));
        QCOMPARE(f.count(TableId::PlaylistMaster), 0);
        QCOMPARE(f.count(TableId::PlaylistDetails), 1);
        QVERIFY(prompter.shown.isEmpty());
        QVERIFY(!f.store.database().inTransaction());
    }

    // A song in a play list cannot be deleted, and nothing changes.
    void songInPlaylistIsRestricted()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        f.addSong(1, QStringLiteral("CD"), 0, 0, QString());
        f.addPlaylistEntry(1, 1, 1);
        f.addPlaylistEntry(1, 2, 1); // the same song twice in one list
        QVERIFY(f.find(TableId::Songs, mus::KeyID, mus::ID, 1));
        QVERIFY(!f.integrity.remove(TableId::Songs));
        QCOMPARE(prompter.captions(),
                 QStringList{QStringLiteral("Referential Integrity Delete Error")});
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("This record is referenced from the file PlaylistDetails.  This "
                                "record cannot be deleted while these references exist."));
        QCOMPARE(f.count(TableId::Songs), 1);
        QCOMPARE(f.count(TableId::PlaylistDetails), 2);
        QVERIFY(!f.store.database().inTransaction());
    }

    // A media format in use cannot be deleted; renaming it renames it in every song, and
    // the song buffer keeps what it held.
    void mediaRestrictAndCascade()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        Table &media = f.table(TableId::Media);
        media.buffer().setText(med::Media, QStringLiteral("Tape"));
        QVERIFY(media.add());
        media.buffer().setText(med::Media, QStringLiteral("CD"));
        QVERIFY(media.add());
        for (int id = 1; id <= 60; ++id)
            f.addSong(id, id % 3 ? QStringLiteral("Tape") : QStringLiteral("CD"), 0, 0, QString());
        f.addSong(61, QStringLiteral("tape"), 0, 0, QString());
        QVERIFY(f.find(TableId::Media, med::KeyMedia, med::Media, QStringLiteral("Tape")));
        QVERIFY(!f.integrity.remove(TableId::Media));
        QCOMPARE(prompter.shown.value(0).text.contains(QStringLiteral("file Songvane.")), true);
        QCOMPARE(f.count(TableId::Media), 2);

        const Record songBefore = f.table(TableId::Songs).buffer();
        QVERIFY(f.find(TableId::Media, med::KeyMedia, med::Media, QStringLiteral("Tape")));
        f.integrity.saveOriginals(TableId::Media);
        media.buffer().setText(med::Media, QStringLiteral("Cassette"));
        QCOMPARE(f.integrity.update(TableId::Media, true), Integrity::Written);
        QCOMPARE(f.table(TableId::Songs).buffer(), songBefore);
        View renamed(f.table(TableId::Songs), mus::SongsByMedia,
                     QStringLiteral("MUS:Media = 'Cassette'"));
        QVERIFY(renamed.open());
        int count = 0;
        while (renamed.next())
            ++count;
        QCOMPARE(count, 41); // 40 plus the one spelled in lower case
    }

    // Deleting an album deletes its songs (by file number and by album number); if one of
    // them is in a play list nothing at all is deleted.
    void albumDeleteCascadesOrRefusesWhole()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        f.addAlbum(1, QStringLiteral("F1"), 0);
        f.addAlbum(2, QStringLiteral("F2"), 0);
        f.addSong(1, QString(), 0, 1, QStringLiteral("F1"));
        f.addSong(2, QString(), 0, 0, QStringLiteral("F1"));
        f.addSong(3, QString(), 0, 1, QString());
        f.addSong(4, QString(), 0, 2, QStringLiteral("F2"));
        f.addSong(5, QString(), 0, 2, QString());
        f.addSong(6, QString(), 0, 0, QStringLiteral("F2"));
        f.addPlaylistEntry(1, 1, 5);

        QVERIFY(f.find(TableId::Albums, alb::KeyAlbumID, alb::AlbumID, 1));
        QVERIFY(f.integrity.remove(TableId::Albums));
        QCOMPARE(f.count(TableId::Albums), 1);
        QCOMPARE(f.count(TableId::Songs), 3);

        QVERIFY(f.find(TableId::Albums, alb::KeyAlbumID, alb::AlbumID, 2));
        QVERIFY(!f.integrity.remove(TableId::Albums));
        QCOMPARE(prompter.captions(),
                 QStringList{QStringLiteral("Referential Integrity Delete Error")});
        QCOMPARE(f.count(TableId::Albums), 1);
        QCOMPARE(f.count(TableId::Songs), 3);
        QVERIFY(!f.store.database().inTransaction());
    }

    // An album with a blank file number deletes no song by file number, and a song filed
    // under the album's number that sits in a play list stops the delete too.
    void albumFileNumberEdgeCases()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        f.addAlbum(1, QString(), 0);
        f.addSong(1, QString(), 0, 0, QString());
        f.addSong(2, QString(), 0, 1, QString());
        QVERIFY(f.find(TableId::Albums, alb::KeyAlbumID, alb::AlbumID, 1));
        QVERIFY(f.integrity.remove(TableId::Albums));
        QCOMPARE(f.count(TableId::Songs), 1);

        f.addAlbum(3, QStringLiteral("F3"), 0);
        f.addSong(3, QString(), 0, 0, QStringLiteral("F3"));
        f.addPlaylistEntry(1, 1, 3);
        QVERIFY(f.find(TableId::Albums, alb::KeyAlbumID, alb::AlbumID, 3));
        QVERIFY(!f.integrity.remove(TableId::Albums));
        QCOMPARE(f.count(TableId::Songs), 2);
    }

    // Changing an album's file number and number carries both to its songs.
    void albumUpdateCascades()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        f.addAlbum(1, QStringLiteral("OLD"), 0);
        f.addSong(1, QString(), 0, 1, QStringLiteral("OLD"));
        f.addSong(2, QString(), 0, 0, QStringLiteral("old"));
        f.addSong(3, QString(), 0, 1, QString());
        QVERIFY(f.find(TableId::Albums, alb::KeyAlbumID, alb::AlbumID, 1));
        f.integrity.saveOriginals(TableId::Albums);
        f.table(TableId::Albums).buffer().setText(alb::FileNumber, QStringLiteral("NEW"));
        f.table(TableId::Albums).buffer().setNumber(alb::AlbumID, 7);
        QCOMPARE(f.integrity.update(TableId::Albums, true), Integrity::Written);
        for (qint64 id : {1, 2}) {
            QVERIFY(f.find(TableId::Songs, mus::KeyID, mus::ID, id));
            QCOMPARE(f.table(TableId::Songs).buffer().text(mus::FileNumber), QStringLiteral("NEW"));
        }
        for (qint64 id : {1, 3}) {
            QVERIFY(f.find(TableId::Songs, mus::KeyID, mus::ID, id));
            QCOMPARE(f.table(TableId::Songs).buffer().number(mus::AlbumID), 7);
        }
    }

    // A category number still used by an album is restored and nothing is written; one used
    // only by songs is carried to them.
    void categoryUpdateRestrictThenCascade()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        Record &category = f.table(TableId::Categories).buffer();
        category.setNumber(cat::CategoryID, 5);
        category.setText(cat::Category, QStringLiteral("Dance"));
        QVERIFY(f.table(TableId::Categories).add());
        f.addAlbum(1, QString(), 5);
        f.addSong(1, QString(), 5, 0, QString());

        QVERIFY(f.find(TableId::Categories, cat::KeyCategoryID, cat::CategoryID, 5));
        f.integrity.saveOriginals(TableId::Categories);
        category.setNumber(cat::CategoryID, 6);
        QCOMPARE(f.integrity.update(TableId::Categories, true), Integrity::Failed);
        QCOMPARE(prompter.captions(),
                 QStringList{QStringLiteral("Referential Integrity Update Error")});
        QCOMPARE(category.number(cat::CategoryID), 5);
        QVERIFY(f.find(TableId::Categories, cat::KeyCategoryID, cat::CategoryID, 5));

        QVERIFY(f.find(TableId::Albums, alb::KeyAlbumID, alb::AlbumID, 1));
        QVERIFY(f.table(TableId::Albums).remove());
        QVERIFY(f.find(TableId::Categories, cat::KeyCategoryID, cat::CategoryID, 5));
        f.integrity.saveOriginals(TableId::Categories);
        category.setNumber(cat::CategoryID, 6);
        QCOMPARE(f.integrity.update(TableId::Categories, true), Integrity::Written);
        QVERIFY(f.find(TableId::Songs, mus::KeyID, mus::ID, 1));
        QCOMPARE(f.table(TableId::Songs).buffer().number(mus::CategoryID), 6);
    }

    // A song changed by another station since it was read is not written: the form is told,
    // the buffer shows the other station's version, and saving again succeeds.
    void conflictShowsTheOtherVersion()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        f.addSong(7, QString(), 0, 0, QString());
        Table &songs = f.table(TableId::Songs);
        songs.watch();
        QVERIFY(f.find(TableId::Songs, mus::KeyID, mus::ID, 7));
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {workspace.path(), QStringLiteral("change-song"), QStringLiteral("7"),
                       QStringLiteral("Theirs")});
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.readAll().trimmed(), QByteArray("ready"));
        songs.buffer().setText(mus::Title, QStringLiteral("Mine"));
        QCOMPARE(f.integrity.update(TableId::Songs, false), Integrity::ChangedElsewhere);
        QCOMPARE(prompter.shown.value(0).text,
                 QStringLiteral("This record was changed by another station."));
        QCOMPARE(songs.buffer().text(mus::Title), QStringLiteral("Theirs"));
        songs.buffer().setText(mus::Title, QStringLiteral("Mine"));
        QCOMPARE(f.integrity.update(TableId::Songs, false), Integrity::Written);
        QVERIFY(f.find(TableId::Songs, mus::KeyID, mus::ID, 7));
        QCOMPARE(songs.buffer().text(mus::Title), QStringLiteral("Mine"));
    }

    // Another station's transaction on the tip file does not hold up a song update.
    void unrelatedLockDoesNotStopAnUpdate()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        f.addSong(7, QString(), 0, 0, QString());
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {workspace.path(), QStringLiteral("hold-tips"), QStringLiteral("5000")});
        QVERIFY(station.waitForReadyRead(10000));
        QCOMPARE(station.readLine().trimmed(), QByteArray("ready"));
        QVERIFY(f.find(TableId::Songs, mus::KeyID, mus::ID, 7));
        f.table(TableId::Songs).buffer().setText(mus::Title, QStringLiteral("Changed"));
        QCOMPARE(f.integrity.update(TableId::Songs, true), Integrity::Written);
        QVERIFY(prompter.shown.isEmpty());
        station.waitForFinished(20000);
    }

    // Tables locked by another station for longer than two seconds give the transaction
    // framing warning and write nothing.
    void lockedByAnotherStation()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Fixture f(workspace.path());
        Table &media = f.table(TableId::Media);
        media.buffer().setText(med::Media, QStringLiteral("CD"));
        QVERIFY(media.add());
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {workspace.path(), QStringLiteral("hold-logout"), QStringLiteral("5000")});
        QVERIFY(station.waitForReadyRead(10000));
        QVERIFY(f.find(TableId::Media, med::KeyMedia, med::Media, QStringLiteral("CD")));
        f.integrity.saveOriginals(TableId::Media);
        media.buffer().setText(med::Media, QStringLiteral("Compact Disc"));
        QCOMPARE(f.integrity.update(TableId::Media, true), Integrity::Failed);
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Transaction Framing Error")});
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("Error: (File Is Already Locked (32)) attempting to frame the "
                                "update transaction on Media.  Update transaction cancelled."));
        station.waitForFinished(20000);
        QVERIFY(f.find(TableId::Media, med::KeyMedia, med::Media, QStringLiteral("CD")));
        QVERIFY(!f.store.database().inTransaction());
    }
};

QTEST_GUILESS_MAIN(TestIntegrity)
#include "tst_integrity.moc"
