#include "store/errors.h"
#include "store/store.h"
#include "store/tablefile.h"
#include "store/upgrademanager.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <algorithm>

#include <sqlite3.h>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

void addSong(Table &songs, qint64 id, const QString &artist, const QString &title, int chart = 0,
             const QString &udk = QString())
{
    Record &r = songs.buffer();
    r.clear();
    r.setNumber(mus::ID, id);
    r.setText(mus::Artist, artist);
    r.setText(mus::Title, title);
    r.setNumber(mus::ChartNumber, chart);
    r.setText(mus::UserDefinedKeyField, udk);
    QVERIFY2(songs.add(), qPrintable(errorText()));
}

QList<qint64> walk(Table &table, int idField, bool forward = true)
{
    QList<qint64> ids;
    while (forward ? table.next() : table.previous())
        ids.append(table.buffer().number(idField));
    return ids;
}

QList<qint64> walkKey(Table &table, int key, int idField)
{
    table.set(key);
    return walk(table, idField);
}

// Starts a second station and waits for it to say it is ready.
std::unique_ptr<QProcess> startStation(const QString &folder, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->start(test::helperProgram(QStringLiteral("station")), QStringList{folder} + arguments);
    if (!process->waitForStarted(10000))
        return nullptr;
    while (process->state() == QProcess::Running && !process->canReadLine())
        process->waitForReadyRead(100);
    const QByteArray line = process->readLine().trimmed();
    if (line != "ready") {
        qWarning() << "station said" << line << process->readAllStandardError();
        return nullptr;
    }
    return process;
}

} // namespace

class TestTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The record widths are the sums of the field widths, as the stored layouts promise.
    void recordWidths()
    {
        QCOMPARE(tableDef(TableId::Songs).recordWidth(), 661);
        QCOMPARE(tableDef(TableId::Categories).recordWidth(), 36);
        QCOMPARE(tableDef(TableId::Albums).recordWidth(), 541);
        QCOMPARE(tableDef(TableId::Labels).recordWidth(), 622);
        QCOMPARE(tableDef(TableId::Fonts).recordWidth(), 134);
        QCOMPARE(tableDef(TableId::AddWizard).recordWidth(), 198);
        QCOMPARE(tableDef(TableId::PlaylistMaster).recordWidth(), 38);
        QCOMPARE(tableDef(TableId::PlaylistDetails).recordWidth(), 65);
        QCOMPARE(tableDef(TableId::Media).recordWidth(), 20);
        QCOMPARE(tableDef(TableId::Tips).recordWidth(), 1028);
        int eventLog = 0;
        for (const FieldDef &field : eventLogDef().fields)
            eventLog += field.size;
        QCOMPARE(eventLog, 102);
    }

    // Field, key and table names are found without regard to case, with or without prefix.
    void namesMatchWithoutCase()
    {
        const TableDef &songs = tableDef(TableId::Songs);
        QCOMPARE(songs.fieldIndex(u"mus:artist"), int(mus::Artist));
        QCOMPARE(songs.fieldIndex(u"MUS:ARTIST"), int(mus::Artist));
        QCOMPARE(songs.keyIndex(u"MUS:SONGSBYARTIST"), int(mus::SongsByArtist));
        QCOMPARE(songs.memoIndex(u"mus:notes"), int(mus::Notes));
        QCOMPARE(songs.fieldIndex(u"CAT:Artist"), -1);
        test::Workspace workspace;
        Store store(workspace.path());
        QCOMPARE(store.tableByLabel(u"a_songs")->prefix(), QStringLiteral("A_S"));
        QCOMPARE(store.tableByLabel(u"ALBUM")->definition().id, TableId::Albums);
    }

    // Text is cut to its width and memos to their maximum; bytes and longs wrap like
    // fixed-size fields; the stored record reads back equal.
    void widthsAndMemoLimits()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &wizard = catalogue.open(TableId::AddWizard);
        wizard.buffer().setText(aw::Artist, QString(60, u'x'));
        QCOMPARE(wizard.buffer().text(aw::Artist).size(), 50);

        Table &songs = catalogue.open(TableId::Songs);
        Record &song = songs.buffer();
        song.clear();
        song.setNumber(mus::ID, 1);
        song.setNumber(mus::ChartNumber, 300);
        QCOMPARE(song.number(mus::ChartNumber), 44);
        song.setMemo(mus::Notes, QString(2000, u'n'));
        song.setMemo(mus::Recording, QString(300, u'r'));
        QCOMPARE(song.memo(mus::Recording).size(), 256);
        song.setText(mus::Title, QStringLiteral("Ünïcödé  "));
        const Record written = song;
        QVERIFY(songs.add());
        song.clear();
        song.setNumber(mus::ID, 1);
        QVERIFY(songs.get(mus::KeyID));
        QCOMPARE(song, written);
        QCOMPARE(song.text(mus::Title), QStringLiteral("Ünïcödé"));
        QCOMPARE(song.memo(mus::Notes).size(), 2000);
    }

    // Optional keys leave out records whose leading component is blank or zero; the
    // artist order still lists them.
    void optionalKeysLeaveOutBlankRecords()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        addSong(songs, 1, QStringLiteral("Abba"), QStringLiteral("SOS"), 0, QString());
        addSong(songs, 2, QStringLiteral("Blondie"), QStringLiteral("Atomic"), 1,
                QStringLiteral("club"));
        addSong(songs, 3, QStringLiteral("Cher"), QStringLiteral("Believe"), 0,
                QStringLiteral("radio"));
        QCOMPARE(walkKey(songs, mus::SongsByChartNumber, mus::ID), (QList<qint64>{2}));
        QCOMPARE(walkKey(songs, mus::SongsByUserDefinedKey, mus::ID), (QList<qint64>{2, 3}));
        QCOMPARE(walkKey(songs, mus::SongsByArtist, mus::ID), (QList<qint64>{1, 2, 3}));

        songs.buffer().clear();
        QVERIFY(!songs.get(mus::SongsByChartNumber));
        QCOMPARE(errorCode(), err::RecordNotFound);
    }

    // A unique optional key lets any number of blank values in but refuses a second equal
    // non-blank one, comparing case and accents alike.
    void uniqueOptionalKeys()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &albums = catalogue.open(TableId::Albums);
        auto addAlbum = [&](qint64 id, const QString &artist, const QString &identifier) {
            albums.buffer().clear();
            albums.buffer().setNumber(alb::AlbumID, id);
            albums.buffer().setText(alb::Artist, artist);
            albums.buffer().setText(alb::Album, QStringLiteral("Album %1").arg(id));
            albums.buffer().setText(alb::CDIdentifier, identifier);
            return albums.add();
        };
        QVERIFY(addAlbum(1, QStringLiteral("A"), QString()));
        QVERIFY(addAlbum(2, QStringLiteral("B"), QString()));
        QVERIFY(addAlbum(3, QStringLiteral("C"), QStringLiteral("1234")));
        QVERIFY(!addAlbum(4, QStringLiteral("D"), QStringLiteral("1234")));
        QCOMPARE(errorCode(), err::DuplicateKey);
        QCOMPARE(albums.duplicateKey(), int(alb::KeyCDIdentifier));
        QCOMPARE(albums.records(), 3);

        Table &media = catalogue.open(TableId::Media);
        media.buffer().setText(med::Media, QStringLiteral("Björk"));
        QVERIFY(media.add());
        media.buffer().setText(med::Media, QStringLiteral("BJÖRK"));
        QVERIFY(!media.add());
        QCOMPARE(errorCode(), err::DuplicateKey);
        media.buffer().setText(med::Media, QStringLiteral("Bjork"));
        QVERIFY2(media.add(), "a different accent is a different value");
    }

    // Keys order text without regard to case, accented words beside their plain spelling,
    // and duplicates in the order they were added, forward and backward.
    void orderingWithAccentsCaseAndDuplicates()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        addSong(songs, 1, QStringLiteral("zappa"), QStringLiteral("T"));
        addSong(songs, 2, QStringLiteral("Björk"), QStringLiteral("T"));
        addSong(songs, 3, QStringLiteral("bjork"), QStringLiteral("T"));
        addSong(songs, 4, QStringLiteral("Bjorka"), QStringLiteral("T"));
        addSong(songs, 5, QStringLiteral("ABBA"), QStringLiteral("T"));
        addSong(songs, 6, QStringLiteral("BJÖRK"), QStringLiteral("T"));
        addSong(songs, 7, QStringLiteral("Élan"), QStringLiteral("T"));
        const QList<qint64> forward{5, 3, 2, 6, 4, 7, 1};
        QCOMPARE(walkKey(songs, mus::SongsByArtist, mus::ID), forward);
        songs.set(mus::SongsByArtist);
        QList<qint64> backward(forward.rbegin(), forward.rend());
        QCOMPARE(walk(songs, mus::ID, false), backward);
    }

    // SET from the buffer's values, reset onto a record and turning round mid-walk read
    // the neighbours a browser expects; every scan ends with 33.
    void positioningAndTurningRound()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        songs.send(QStringLiteral("QUICKSCAN=on"));
        for (int i = 1; i <= 200; ++i)
            addSong(songs, i, QStringLiteral("Artist %1").arg(i, 3, 10, QChar(u'0')),
                    QStringLiteral("T"));
        songs.buffer().setText(mus::Artist, QStringLiteral("artist 100"));
        songs.buffer().setText(mus::Title, QString());
        songs.buffer().setText(mus::Mix, QString());
        songs.setFrom(mus::SongsByArtist);
        QVERIFY(songs.next());
        QCOMPARE(songs.buffer().number(mus::ID), 100);
        QVERIFY(songs.next());
        QCOMPARE(songs.buffer().number(mus::ID), 101);
        QVERIFY(songs.previous());
        QCOMPARE(songs.buffer().number(mus::ID), 100);

        songs.buffer().setNumber(mus::ID, 150);
        QVERIFY(songs.get(mus::KeyID));
        const RecordPosition position = songs.position();
        QVERIFY(songs.reset(mus::SongsByArtist, position));
        QVERIFY(songs.previous());
        QCOMPARE(songs.buffer().number(mus::ID), 150);
        QVERIFY(songs.previous());
        QCOMPARE(songs.buffer().number(mus::ID), 149);

        songs.set(mus::SongsByArtist);
        QVERIFY(songs.previous());
        QCOMPARE(songs.buffer().number(mus::ID), 200);
        QVERIFY(!songs.next());
        QCOMPARE(errorCode(), err::RecordNotAvailable);

        songs.setFileOrder();
        QCOMPARE(walk(songs, mus::ID).size(), 200);
        QCOMPARE(errorCode(), err::RecordNotAvailable);
    }

    // Writes made during a walk are seen by the walk; a read-ahead page is not served stale.
    void walkSeesItsOwnWrites()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        for (int i = 1; i <= 10; ++i)
            addSong(songs, i, QStringLiteral("A%1").arg(i, 2, 10, QChar(u'0')),
                    QStringLiteral("T"));
        Table &alias = store.aliasSongs();
        QVERIFY(alias.open());
        songs.set(mus::SongsByArtist);
        QVERIFY(songs.next());
        alias.buffer().setNumber(mus::ID, 2);
        QVERIFY(alias.get(mus::KeyID));
        QVERIFY(alias.remove());
        QVERIFY(songs.next());
        QCOMPARE(songs.buffer().number(mus::ID), 3);
        QVERIFY2(songs.buffer().number(mus::ID) != alias.buffer().number(mus::ID) ||
                     songs.position() != alias.position(),
                 "the alias has a buffer of its own");
    }

    // PUT and DELETE act on the record last read; without one they fail with 33.
    void putAndDelete()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        QVERIFY(!songs.put());
        QCOMPARE(errorCode(), err::RecordNotAvailable);
        addSong(songs, 1, QStringLiteral("A"), QStringLiteral("Old"));
        addSong(songs, 2, QStringLiteral("B"), QStringLiteral("Other"));
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(songs.get(mus::KeyID));
        songs.buffer().setText(mus::Title, QStringLiteral("New"));
        QVERIFY(songs.put());
        songs.buffer().setNumber(mus::ID, 2);
        QVERIFY(songs.get(mus::KeyID));
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(!songs.put());
        QCOMPARE(errorCode(), err::DuplicateKey);
        QVERIFY(songs.reget(songs.position()));
        QVERIFY(songs.remove());
        QCOMPARE(songs.records(), 1);
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(songs.get(mus::KeyID));
        QCOMPARE(songs.buffer().text(mus::Title), QStringLiteral("New"));
    }

    // Records added together are stored as added one after another: every field, memo and
    // key text, positions in order, revisions never repeated. A record that cannot be
    // added stops it: the ones before it stay, it and the ones after are not added, the
    // error is its own, and the transaction goes on; the buffer is left alone.
    void addAllIsAddOneAfterAnother()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        addSong(songs, 5, u"Already"_s, u"There"_s);
        const qint64 firstRevision = songs.current().revision;
        QList<Record> records;
        for (int i = 0; i < 150; ++i) {
            Record song(songs.definition());
            song.setNumber(mus::ID, i == 99 ? 5 : 10 + i);
            song.setText(mus::Artist, i % 2 ? u"Sigur Rós %1"_s.arg(i) : u"abba %1"_s.arg(i));
            song.setText(mus::Title, u"Title \"%1\""_s.arg(i));
            song.setNumber(mus::TrackNumber, i % 100);
            song.setMemo(mus::Notes, QString(i, u'n'));
            records.append(song);
        }
        QVERIFY(store.database().logout(1, {TableId::Songs}));
        songs.buffer().clear();
        songs.buffer().setText(mus::Title, u"Held by a form"_s);
        qsizetype added = -1;
        QVERIFY(!songs.addAll(records, added));
        QCOMPARE(errorCode(), err::DuplicateKey);
        QCOMPARE(added, 99);
        QCOMPARE(songs.buffer().text(mus::Title), u"Held by a form"_s);
        QCOMPARE(songs.position(), 0);
        QVERIFY(songs.addAll(records.mid(100), added));
        QCOMPARE(added, 50);
        QVERIFY(store.database().commit());

        QCOMPARE(songs.records(), 150);
        songs.setFileOrder();
        QList<Record> stored;
        QSet<qint64> revisions;
        qint64 lastRevision = 0;
        while (songs.next()) {
            stored.append(songs.buffer());
            revisions.insert(songs.current().revision);
            lastRevision = qMax(lastRevision, songs.current().revision);
        }
        QCOMPARE(revisions.size(), 150);
        QVERIFY(*std::min_element(revisions.cbegin(), revisions.cend()) == firstRevision);
        QCOMPARE(stored.takeFirst().number(mus::ID), 5);
        records.removeAt(99);
        QCOMPARE(stored.size(), records.size());
        for (qsizetype i = 0; i < records.size(); ++i)
            QVERIFY2(stored.at(i) == records.at(i), qPrintable(u"record %1"_s.arg(i)));
        // Key texts as add() writes them: the accented and lower-case names in key order.
        songs.buffer().clear();
        songs.buffer().setText(mus::Artist, u"SIGUR RÓS 1"_s);
        songs.buffer().setText(mus::Title, u"title \"1\""_s);
        QVERIFY(songs.get(mus::SongsByArtist));
        QCOMPARE(songs.buffer().number(mus::ID), 11);
        songs.set(mus::SongsByArtist);
        QVERIFY(songs.next());
        QCOMPARE(songs.buffer().text(mus::Artist), u"abba 0"_s);
        // A record added alone afterwards takes a revision above them all.
        addSong(songs, 500, u"Later"_s, u"One"_s);
        QVERIFY(songs.current().revision > lastRevision);
    }

    // A bulk write's in-memory statement journals last while it does, through nested runs,
    // and the usual setting comes back after the last; records written meanwhile are kept
    // as ever.
    void bulkWriteSettingsComeBack()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Table &songs = catalogue.open(TableId::Songs);
        Database &database = catalogue.store.database();
        const auto pragma = [&](const QString &name) {
            sqlite3_stmt *query = database.statement(u"PRAGMA "_s + name);
            const qint64 value =
                query && sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : -1;
            sqlite3_reset(query);
            return value;
        };
        const auto songNumbered = [&](qint64 id) {
            Record song(songs.definition());
            song.setNumber(mus::ID, id);
            song.setText(mus::Artist, u"Staged"_s);
            return song;
        };
        qsizetype added = 0;
        QCOMPARE(pragma(u"temp_store"_s), 0);
        {
            BulkWrite outer(database);
            {
                BulkWrite inner(database);
                QCOMPARE(pragma(u"temp_store"_s), 2);
            }
            QCOMPARE(pragma(u"temp_store"_s), 2);
            QVERIFY(database.logout(1, {TableId::Songs}));
            addSong(songs, 1, u"A"_s, u"T"_s);
            songs.buffer().setText(mus::Artist, u"B"_s); // the same ID: undone alone
            QVERIFY(!songs.add());
            QCOMPARE(errorCode(), err::DuplicateKey);
            QVERIFY(songs.addAll({songNumbered(2)}, added));
            QVERIFY(database.commit());
            BulkWrite moved = std::move(outer);
            outer = std::move(moved);
        }
        QCOMPARE(pragma(u"temp_store"_s), 0);
        // Records added together are staged in the temporary schema, which the settings
        // coming back dropped: the stage is made again.
        QVERIFY(database.logout(1, {TableId::Songs}));
        QVERIFY(songs.addAll({songNumbered(3)}, added));
        QVERIFY(database.commit());
        QCOMPARE(songs.records(), 3);
    }

    // One number field written alone: the rest of the record stays as another station left
    // it, a stale revision gives 89, a deleted record 35, and the new revision is the one a
    // later watched write must match.
    void numberWrittenAlone()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Table &songs = catalogue.open(TableId::Songs);
        addSong(songs, 7, QStringLiteral("A"), QStringLiteral("Mine"));
        const RecordPosition at = songs.position();
        qint64 revision = songs.current().revision;
        auto station =
            startStation(workspace.path(), {QStringLiteral("change-song"), QStringLiteral("7"),
                                            QStringLiteral("Theirs")});
        QVERIFY(station);
        station->waitForFinished();
        const qint64 stale = revision;
        QVERIFY(!songs.putNumber(at, &revision, mus::TrackNumber, 4));
        QCOMPARE(errorCode(), err::ChangedByAnotherStation);
        QCOMPARE(revision, stale);

        QVERIFY(songs.reget(at));
        revision = songs.current().revision;
        QVERIFY(songs.putNumber(at, &revision, mus::TrackNumber, 4));
        QVERIFY(revision > songs.current().revision);
        QVERIFY(songs.putNumber(at, &revision, mus::TrackNumber, 300)); // wraps as a byte does
        QVERIFY(!songs.putNumber(at, &revision, mus::Title, 1));
        QCOMPARE(errorCode(), err::BadOption);
        QVERIFY(songs.reget(at));
        QCOMPARE(songs.buffer().number(mus::TrackNumber), 300 % 256);
        QCOMPARE(songs.buffer().text(mus::Title), QStringLiteral("Theirs"));
        QCOMPARE(songs.current().revision, revision);
        QVERIFY(songs.remove());
        QVERIFY(!songs.putNumber(at, &revision, mus::TrackNumber, 5));
        QCOMPARE(errorCode(), err::RecordNotFound);
    }

    // Opening twice gives 52; a missing file 2; another station's exclusive hold 32 and an
    // exclusive open is refused while another station has the file open.
    void openModes()
    {
        test::Workspace workspace;
        Store store(workspace.path());
        Table &media = store.table(TableId::Media);
        QVERIFY(!media.open());
        QCOMPARE(errorCode(), err::FileNotFound);
        QVERIFY(media.create());
        QVERIFY(media.open());
        QVERIFY(!media.open());
        QCOMPARE(errorCode(), err::AlreadyOpen);
        media.close();

        Table &songs = store.table(TableId::Songs);
        QVERIFY(songs.create());
        auto station =
            startStation(workspace.path(), {QStringLiteral("hold-open"), QStringLiteral("shared")});
        QVERIFY(station);
        QVERIFY(!songs.open(OpenMode::Exclusive));
        QCOMPARE(errorCode(), err::FileLocked);
        QVERIFY(songs.open(OpenMode::SharedReadWrite));
        songs.close();
        station->kill();
        station->waitForFinished();
        QVERIFY(songs.open(OpenMode::Exclusive));
        songs.close();

        QVERIFY(songs.open(OpenMode::ReadOnly));
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(!songs.add());
        QCOMPARE(errorCode(), err::AccessDenied);
    }

    // A watched record changed by another station refuses the PUT with 89; read again,
    // the next PUT goes through.
    void watchDetectsAnotherStation()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        addSong(songs, 7, QStringLiteral("A"), QStringLiteral("Mine"));
        songs.buffer().setNumber(mus::ID, 7);
        songs.watch();
        QVERIFY(songs.get(mus::KeyID));
        auto station =
            startStation(workspace.path(), {QStringLiteral("change-song"), QStringLiteral("7"),
                                            QStringLiteral("Theirs")});
        QVERIFY(station);
        station->waitForFinished();
        songs.buffer().setText(mus::Title, QStringLiteral("Edited"));
        QVERIFY(!songs.put());
        QCOMPARE(errorCode(), err::ChangedByAnotherStation);
        songs.watch();
        QVERIFY(songs.reget(songs.position()));
        QCOMPARE(songs.buffer().text(mus::Title), QStringLiteral("Theirs"));
        songs.buffer().setText(mus::Title, QStringLiteral("Edited"));
        QVERIFY(songs.put());
    }

    // Another station deletes a watched record and adds a new one, round after round: the
    // new record never takes the old one's place, so this station's PUT or DELETE finds
    // its record gone (35) and leaves the other station's record as it wrote it.
    void replacedRecordIsNeverMistakenForTheOld()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        addSong(songs, 7, QStringLiteral("A"), QStringLiteral("First"));
        auto station =
            startStation(workspace.path(), {QStringLiteral("replace-song"), QStringLiteral("7")});
        QVERIFY(station);
        QSet<RecordPosition> positions;
        for (int round = 1; round <= 60; ++round) {
            songs.buffer().clear();
            songs.buffer().setNumber(mus::ID, 7);
            songs.watch();
            QVERIFY(songs.get(mus::KeyID));
            positions.insert(songs.position());
            station->write("go\n");
            QVERIFY(station->waitForReadyRead(10000));
            QCOMPARE(station->readLine().trimmed(), QByteArray("done"));
            songs.buffer().setText(mus::Title, QStringLiteral("Mine"));
            QVERIFY(round % 2 ? !songs.put() : !songs.remove());
            QCOMPARE(errorCode(), err::RecordNotFound);
            songs.buffer().clear();
            songs.buffer().setNumber(mus::ID, 7);
            QVERIFY(songs.get(mus::KeyID));
            QCOMPARE(songs.buffer().text(mus::Title), QStringLiteral("B%1").arg(round));
        }
        QCOMPARE(positions.size(), 60);
        QCOMPARE(songs.records(), 1);
        station->closeWriteChannel();
        QVERIFY(station->waitForFinished(10000));
    }

    // Positions and revisions are never given twice in a file, not even after the last
    // record was deleted; the record count follows every write, however it was made.
    void positionsAndRevisionsNeverRepeat()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        QSet<qint64> revisions;
        RecordPosition last = 0;
        for (int round = 1; round <= 5; ++round) {
            addSong(songs, round, QStringLiteral("A"), QStringLiteral("T"));
            QVERIFY(songs.position() > last);
            last = songs.position();
            revisions.insert(songs.current().revision);
            songs.buffer().setText(mus::Title, QStringLiteral("Changed"));
            QVERIFY(songs.put());
            revisions.insert(songs.current().revision);
            QVERIFY(songs.remove()); // the last record of the file each time
            QCOMPARE(songs.records(), 0);
        }
        QCOMPARE(revisions.size(), 10);
        addSong(songs, 9, QStringLiteral("A"), QStringLiteral("T"));
        sqlite3 *db = nullptr;
        sqlite3_open(songs.fileName().toUtf8().constData(), &db);
        tablefile::registerFunctions(db);
        QCOMPARE(sqlite3_exec(db, "DELETE FROM Songvane; INSERT INTO Songvane (ID) VALUES (1), (2)",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        QCOMPARE(songs.records(), 2);
    }

    // A file of the layout before positions and revisions were made unique is brought up
    // to date when opened, keeping every record at its position; positions once given,
    // even to records deleted before, are not given again.
    void olderFileLayoutIsUpgradedInPlace()
    {
        test::Workspace workspace;
        QString sql;
        {
            test::StoreCatalogue setup(workspace.path());
            Table &songs = setup.open(TableId::Songs);
            for (int id = 1; id <= 6; ++id)
                addSong(songs, id, QStringLiteral("A%1").arg(id), QStringLiteral("T"));
            QVERIFY(songs.remove()); // position 6
        }
        const QString path = workspace.file(QStringLiteral("svpdata.tps"));
        sqlite3 *db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_stmt *create = nullptr;
        sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name = 'Songvane'", -1, &create,
                           nullptr);
        QCOMPARE(sqlite3_step(create), SQLITE_ROW);
        sql = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(create, 0)));
        sqlite3_finalize(create);
        sql.replace(QStringLiteral(" AUTOINCREMENT"), QString());
        const QByteArray old = "DROP TRIGGER Songvane_added; DROP TRIGGER Songvane_deleted; "
                               "DROP TRIGGER Songvane_revised; DROP TABLE sv_counters; ALTER TABLE "
                               "Songvane RENAME TO gone; " +
                               sql.toUtf8() +
                               "; INSERT INTO Songvane SELECT * FROM gone; DROP TABLE gone; "
                               "DELETE FROM sqlite_sequence; UPDATE Songvane SET sv_rev = 1; "
                               "PRAGMA application_id = 0;";
        QCOMPARE(sqlite3_exec(db, old.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);

        test::ScriptedPrompter prompter;
        test::StoreCatalogue catalogue(workspace.path());
        Table &songs = catalogue.store.table(TableId::Songs);
        const TableUse use = catalogue.files.use(songs);
        QVERIFY2(use, qPrintable(prompter.shown.value(0).text));
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(songs.records(), 5);
        QList<RecordPosition> positions;
        songs.setFileOrder();
        while (songs.next())
            positions.append(songs.position());
        QCOMPARE(positions, (QList<RecordPosition>{1, 2, 3, 4, 5}));
        QVERIFY(songs.remove()); // position 5, the last
        addSong(songs, 7, QStringLiteral("B"), QStringLiteral("T"));
        QVERIFY(songs.position() > 5);
        QVERIFY(songs.current().revision > 1);
    }

    // A look-up done for numbering or for a duplicate check neither moves a walk over the
    // same table nor changes its buffer.
    void lookUpsLeaveTheWalkAlone()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        for (int id = 1; id <= 5; ++id)
            addSong(songs, id * 10, QStringLiteral("A"), QStringLiteral("T%1").arg(id));
        songs.setReadAhead(1);
        songs.set(mus::KeyID);
        QVERIFY(songs.next());
        QVERIFY(songs.next());
        QCOMPARE(songs.buffer().number(mus::ID), 20);
        qint64 highest = 0;
        QVERIFY(songs.highest(mus::KeyID, mus::ID, highest));
        QCOMPARE(highest, 50);
        QCOMPARE(songs.buffer().number(mus::ID), 20);
        QCOMPARE(songs.duplicate(mus::KeyID), Table::Found::No);
        songs.buffer().setNumber(mus::ID, 40);
        QCOMPARE(songs.duplicate(mus::KeyID), Table::Found::Yes);
        songs.buffer().setNumber(mus::ID, 20);
        QVERIFY(songs.next());
        QCOMPARE(songs.buffer().number(mus::ID), 30);
        QCOMPARE(walk(songs, mus::ID), (QList<qint64>{40, 50}));
        songs.close();
        QCOMPARE(songs.duplicate(mus::KeyID), Table::Found::Failed);
        QVERIFY(!songs.highest(mus::KeyID, mus::ID, highest));
    }

    // A COMMIT that must wait for another station's read fails with the lock error and
    // keeps the transaction, so it can be committed once the reader is gone.
    void commitWaitingForAReaderCanBeRetried()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        addSong(songs, 1, QStringLiteral("A"), QStringLiteral("T"));
        auto station = startStation(workspace.path(), {QStringLiteral("hold-read")});
        QVERIFY(station);
        QVERIFY(store.database().logout(1));
        addSong(songs, 2, QStringLiteral("B"), QStringLiteral("T"));
        QVERIFY(!store.database().commit());
        QCOMPARE(errorCode(), err::FileLocked);
        QVERIFY(store.database().inTransaction());
        station->kill();
        station->waitForFinished();
        QVERIFY2(store.database().commit(), qPrintable(errorText()));
        QCOMPARE(songs.records(), 2);
    }

    // A transaction waits only for the files of the tables it names: another station's
    // transaction on the tip file does not hold up one on the song file.
    void transactionWaitsOnlyForItsTables()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        catalogue.open(TableId::Tips);
        auto station =
            startStation(workspace.path(), {QStringLiteral("hold-tips"), QStringLiteral("4000")});
        QVERIFY(station);
        QVERIFY2(store.database().logout(1, {TableId::Songs}), qPrintable(errorText()));
        addSong(songs, 1, QStringLiteral("A"), QStringLiteral("T"));
        QVERIFY(store.database().commit());
        QVERIFY(!store.database().logout(0, {TableId::Tips}));
        QCOMPARE(errorCode(), err::FileLocked);
        station->waitForFinished(20000);
    }

    // LOGOUT waits the given time for another station's transaction, then fails; once the
    // other station is done it succeeds.
    void logoutWaitsForAnotherStation()
    {
        test::Workspace workspace;
        {
            test::StoreCatalogue setup(workspace.path());
            setup.open(TableId::Songs);
        }
        auto station =
            startStation(workspace.path(), {QStringLiteral("hold-logout"), QStringLiteral("4000")});
        QVERIFY(station);
        Store store(workspace.path());
        Table &songs = store.table(TableId::Songs);
        QVERIFY(songs.open());
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!store.database().logout(1));
        QCOMPARE(errorCode(), err::FileLocked);
        QVERIFY(waited.elapsed() >= 900);
        QCOMPARE(songs.records(), 0); // reading still works meanwhile
        station->waitForFinished(20000);
        QVERIFY(store.database().logout(2));
        QVERIFY(store.database().commit());
    }

    // A transaction over three files is all or nothing: a station killed at a random
    // moment leaves every number in all three tables or in none.
    void killedStationLeavesAllOrNothing()
    {
        test::Workspace workspace;
        {
            test::StoreCatalogue setup(workspace.path());
            for (TableId id : {TableId::Songs, TableId::Albums, TableId::Categories})
                setup.open(id);
        }
        for (int round = 0; round < 3; ++round) {
            auto station = startStation(workspace.path(), {QStringLiteral("transaction-loop")});
            QVERIFY(station);
            QTest::qWait(int(QRandomGenerator::global()->bounded(50, 400)));
            station->kill();
            station->waitForFinished();

            Store store(workspace.path());
            Table &songs = store.table(TableId::Songs);
            Table &albums = store.table(TableId::Albums);
            Table &categories = store.table(TableId::Categories);
            QVERIFY(songs.open() && albums.open() && categories.open());
            const qint64 count = songs.records();
            QVERIFY(count >= 20);
            QCOMPARE(albums.records(), count);
            QCOMPARE(categories.records(), count);
            categories.buffer().setNumber(cat::CategoryID, count);
            QVERIFY(categories.get(cat::KeyCategoryID));
            // Clean up for the next round so numbers start at 1 again.
            for (Table *table : {&songs, &albums, &categories}) {
                table->setFileOrder();
                while (table->next())
                    QVERIFY(table->remove());
            }
        }
    }

    // ROLLBACK undoes every change since LOGOUT in every table, and the tables stay usable.
    void rollbackUndoesAcrossTables()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        Table &lists = catalogue.open(TableId::PlaylistDetails);
        addSong(songs, 1, QStringLiteral("A"), QStringLiteral("Kept"));
        QVERIFY(store.database().logout(2));
        addSong(songs, 2, QStringLiteral("B"), QStringLiteral("Gone"));
        lists.buffer().setNumber(pla::PlaylistID, 1);
        QVERIFY(lists.add());
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(songs.get(mus::KeyID));
        QVERIFY(songs.remove());
        lists.close(); // closing inside the transaction waits for its end
        QVERIFY(store.database().rollback());
        QCOMPARE(songs.records(), 1);
        QVERIFY(lists.open());
        QCOMPARE(lists.records(), 0);
        QVERIFY(!store.database().commit());
        QCOMPARE(errorCode(), err::NoLogoutActive);
    }

    // An older file version and a file with a missing field are brought to the current
    // layout in place with every record kept; a file of another program is left untouched.
    void upgradeKeepsRecords()
    {
        test::Workspace workspace;
        const QString path = workspace.file(QStringLiteral("svpmedia.tps"));
        sqlite3 *db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "CREATE TABLE Media (Media TEXT); INSERT INTO Media VALUES ('CD'), ('LP'), "
                     "('Tape'); PRAGMA user_version = 0;",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);

        Store store(workspace.path());
        Table &media = store.table(TableId::Media);
        QVERIFY(!media.open());
        QCOMPARE(errorCode(), err::InvalidRecordDeclaration);
        UpgradeManager upgrades;
        QVERIFY(!upgrades.upgradeFile(media.definition(), path));
        upgrades.usingFile(media.definition(), QStringLiteral("Media"), QStringLiteral("MED"), 1);
        QVERIFY2(upgrades.upgradeFile(media.definition(), path), qPrintable(errorText()));
        QVERIFY(media.open());
        QCOMPARE(media.records(), 3);
        media.buffer().setText(med::Media, QStringLiteral("lp"));
        QVERIFY(media.get(med::KeyMedia));
        QCOMPARE(media.buffer().text(med::Media), QStringLiteral("LP"));

        const QString foreign = workspace.file(QStringLiteral("svpfont.tps"));
        QFile file(foreign);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'J'));
        file.close();
        Table &fonts = store.table(TableId::Fonts);
        QVERIFY(!fonts.open());
        QCOMPARE(errorCode(), err::InvalidDataFile);
        upgrades.usingFile(fonts.definition(), QStringLiteral("Fonts"), QStringLiteral("FON"), 1);
        QVERIFY(!upgrades.upgradeFile(fonts.definition(), foreign));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(4096, 'J'));
    }

    // A dropped index is reported as keys needing a rebuild (46); BUILD restores it, PACK
    // keeps positions, RECORDS and BYTES report the file.
    void buildAndPack()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        for (int i = 1; i <= 50; ++i)
            addSong(songs, i, QStringLiteral("A%1").arg(i), QStringLiteral("T"));
        songs.buffer().setNumber(mus::ID, 40);
        QVERIFY(songs.get(mus::KeyID));
        const RecordPosition position = songs.position();
        for (int i = 1; i < 40; ++i) {
            songs.buffer().setNumber(mus::ID, i);
            QVERIFY(songs.get(mus::KeyID) && songs.remove());
        }
        songs.close();

        sqlite3 *db = nullptr;
        sqlite3_open(songs.fileName().toUtf8().constData(), &db);
        QCOMPARE(sqlite3_exec(db, "DROP INDEX Songvane_SongsByTitle", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        QVERIFY(!songs.open());
        QCOMPARE(errorCode(), err::InvalidKeyFile);
        songs.send(QStringLiteral("FULLBUILD=on"));
        QVERIFY2(songs.build(), qPrintable(errorText()));
        QVERIFY(songs.open());
        const qint64 before = songs.bytes();
        QVERIFY(songs.pack());
        QVERIFY(songs.bytes() <= before);
        QCOMPARE(songs.records(), 11);
        QVERIFY(songs.reget(position));
        QCOMPARE(songs.buffer().number(mus::ID), 40);
        QCOMPARE(walkKey(songs, mus::SongsByTitle, mus::ID).size(), 11);
    }

    // A filter that matches few records finds them across chunks of the key order, in
    // order both ways, and lets the caller in between chunks.
    void sparseFilterReadsInChunks()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        QVERIFY(songs.stream());
        for (int i = 1; i <= 3 * Table::FilterChunk; ++i)
            addSong(songs, i, QStringLiteral("A%1").arg(i, 5, 10, QChar(u'0')),
                    QStringLiteral("T"));
        QVERIFY(songs.flush());
        View view(songs, mus::SongsByArtist,
                  QStringLiteral("MUS:ID = 7 OR MUS:ID = 5999 OR MUS:ID = 3000"));
        int breaths = 0;
        view.setKeepReading([&breaths] {
            ++breaths;
            return true;
        });
        QVERIFY(view.open());
        QList<qint64> ids;
        while (view.next())
            ids.append(songs.buffer().number(mus::ID));
        QCOMPARE(ids, (QList<qint64>{7, 3000, 5999}));
        QVERIFY(breaths >= 2);
        view.set();
        ids.clear();
        while (view.previous())
            ids.append(songs.buffer().number(mus::ID));
        QCOMPARE(ids, (QList<qint64>{5999, 3000, 7}));

        View nothing(songs, mus::SongsByArtist, QStringLiteral("MUS:ID = 0"));
        QVERIFY(nothing.open());
        QVERIFY(!nothing.next());
        QCOMPARE(errorCode(), err::RecordNotAvailable);
    }

    // A view told its fields reads those and its key's, never a memo, and leaves them as
    // stored; it pages by those key values alone, in either direction and through a result
    // an index found, and never touches the buffer or current record a form works on.
    void viewOfSomeFieldsReadsThoseOnly()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Table &songs = catalogue.open(TableId::Songs);
        const QString notes(2000, u'n');
        // Accents and case variants: the next page starts after key texts made from the
        // stored bytes, which must order as the index does.
        const QStringList artists = {u"Ärger"_s, u"arger"_s, u"ARGER"_s, u"Zoë"_s, u"b"_s};
        for (int i = 1; i <= 25; ++i) {
            addSong(songs, i, artists.at(i % artists.size()), u"Tïtle %1"_s.arg(i % 4));
            songs.buffer().setMemo(mus::Notes, notes);
            songs.buffer().setText(mus::Composer, u"Composer"_s);
            QVERIFY(songs.put());
        }
        QList<qint64> expected = walkKey(songs, mus::SongsByArtist, mus::ID);
        QCOMPARE(expected.size(), 25);

        songs.buffer().clear();
        songs.buffer().setText(mus::Artist, u"In a form"_s);
        songs.buffer().setMemo(mus::Notes, u"being typed"_s);
        const Record inForm = songs.buffer();
        const RecordPosition formPosition = songs.position();

        View view(songs, mus::SongsByArtist, QString());
        view.setFields({mus::ID});
        QVERIFY(view.open());
        QVERIFY(!view.fields().contains(mus::Composer));
        const qsizetype idSlot = view.fields().indexOf(mus::ID);
        const qsizetype titleSlot = view.fields().indexOf(mus::Title); // a key field
        QVERIFY(idSlot >= 0 && titleSlot >= 0);
        const auto readAll = [&](bool forward) {
            QList<qint64> ids;
            view.set();
            while (forward ? view.next() : view.previous()) {
                const Cursor::Row &row = view.row();
                if (!row.memos.isEmpty() || row.fields.size() != view.fields().size())
                    return QList<qint64>{-1};
                ids.append(row.fields.at(idSlot).toLongLong());
            }
            return ids;
        };
        view.setWanted(3); // pages of three: every page starts after the one before
        QCOMPARE(readAll(true), expected);
        std::reverse(expected.begin(), expected.end());
        QCOMPARE(readAll(false), expected);
        QCOMPARE(QString::fromUtf8(view.row().fields.at(titleSlot).toByteArray()).left(4),
                 u"Tïtl"_s);

        // Standing on a record reads its key fields, then goes on from it.
        QVERIFY(view.reset(expected.at(5)));
        QVERIFY(view.next());
        QCOMPARE(view.row().position, expected.at(5));
        Cursor::Row row;
        QVERIFY(view.rowAt(expected.at(7), row));
        QCOMPARE(row.fields.size(), view.fields().size());
        QVERIFY(row.memos.isEmpty());
        QVERIFY(!view.rowAt(999, row));
        QCOMPARE(errorCode(), err::RecordNotFound);

        // A result found at once through an index reads the same rows.
        View found(songs, mus::SongsByArtist, u"MUS:ID <= 5"_s);
        found.setFields({mus::ID});
        QVERIFY(found.open());
        QVERIFY(found.readsCandidates());
        QList<qint64> ids;
        while (found.next()) {
            QCOMPARE(found.row().fields.size(), found.fields().size());
            ids.append(found.row().fields.at(found.fields().indexOf(mus::ID)).toLongLong());
        }
        QCOMPARE(ids.size(), 5);

        QCOMPARE(songs.buffer(), inForm);
        QCOMPARE(songs.position(), formPosition);
    }

    // Views of the same shape share one statement: interleaved, each still reads its own
    // range or filter values, in both directions, across reads that fetch a few rows at a
    // time, and a view opened again after another was destroyed reads the same.
    void viewsOfOneShapeKeepTheirOwnRows()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        for (int i = 1; i <= 10; ++i) {
            addSong(songs, i, QStringLiteral("A%1").arg(i % 2), QStringLiteral("T"));
            songs.buffer().setNumber(mus::AlbumID, i % 2 ? 1 : 2);
            songs.buffer().setNumber(mus::TrackNumber, 11 - i);
            QVERIFY(songs.put());
        }
        const auto readBoth = [&songs](View &one, View &two, bool forward) {
            QList<qint64> first, second;
            bool more = true;
            while (more) {
                more = false;
                if (forward ? one.next() : one.previous()) {
                    first.append(songs.buffer().number(mus::ID));
                    more = true;
                }
                if (forward ? two.next() : two.previous()) {
                    second.append(songs.buffer().number(mus::ID));
                    more = true;
                }
            }
            return std::pair{first, second};
        };
        for (int round = 0; round < 2; ++round) {
            View odd(songs, mus::KeyAlbumID, QString());
            View even(songs, mus::KeyAlbumID, QString());
            odd.setRange(1);
            even.setRange(2);
            QVERIFY(odd.open() && even.open());
            odd.setWanted(2);
            even.setWanted(2);
            odd.set();
            even.set();
            auto [oddIds, evenIds] = readBoth(odd, even, true);
            QCOMPARE(oddIds, (QList<qint64>{9, 7, 5, 3, 1}));
            QCOMPARE(evenIds, (QList<qint64>{10, 8, 6, 4, 2}));
            odd.set();
            even.set();
            std::tie(oddIds, evenIds) = readBoth(odd, even, false);
            QCOMPARE(oddIds, (QList<qint64>{1, 3, 5, 7, 9}));
            QCOMPARE(evenIds, (QList<qint64>{2, 4, 6, 8, 10}));
        }

        // One filter text, two bound values.
        Record chosen(tableDef(TableId::Songs));
        store.bindings().bind(
            QStringLiteral("Chosen:Artist"), [&chosen] { return chosen.value(mus::Artist); },
            ValueKind::Text);
        const QString filter = QStringLiteral("MUS:Artist = Chosen:Artist");
        View first(songs, mus::SongsByTitle, filter, &store.bindings());
        View second(songs, mus::SongsByTitle, filter, &store.bindings());
        chosen.setText(mus::Artist, QStringLiteral("A0"));
        QVERIFY(first.open());
        chosen.setText(mus::Artist, QStringLiteral("A1"));
        QVERIFY(second.open());
        first.setWanted(1);
        first.set();
        second.set();
        const auto [zeros, ones] = readBoth(first, second, true);
        QCOMPARE(zeros, (QList<qint64>{2, 4, 6, 8, 10}));
        QCOMPARE(ones, (QList<qint64>{1, 3, 5, 7, 9}));
    }

    // A view walks one key order through a filter over fields and bound names; a filter
    // that does not compile is refused with its reason, and hostile values stay values.
    void viewsFilterSafely()
    {
        test::Workspace workspace;
        test::StoreCatalogue catalogue(workspace.path());
        Store &store = catalogue.store;
        Table &songs = catalogue.open(TableId::Songs);
        Table &media = catalogue.open(TableId::Media);
        for (int i = 1; i <= 6; ++i) {
            addSong(songs, i, QStringLiteral("A%1").arg(i), QStringLiteral("T"));
            songs.buffer().setText(mus::Media, i % 2 ? QStringLiteral("cd") : QStringLiteral("LP"));
            QVERIFY(songs.put());
        }
        // A bound value (the media last selected), not a field of the song's own media record.
        const Record &selected = media.buffer();
        store.bindings().bind(
            QStringLiteral("Selected:Media"), [&selected] { return selected.value(med::Media); },
            ValueKind::Text);
        media.buffer().setText(med::Media, QStringLiteral("CD"));
        View view(songs, mus::SongsByArtist,
                  QStringLiteral("UPPER(MUS:Media) = UPPER(Selected:Media)"), &store.bindings());
        QVERIFY(view.open());
        QList<qint64> ids;
        while (view.next())
            ids.append(songs.buffer().number(mus::ID));
        QCOMPARE(ids, (QList<qint64>{1, 3, 5}));

        media.buffer().setText(med::Media, QStringLiteral("x'); DROP TABLE Songvane; --"));
        QVERIFY(view.open());
        QVERIFY(!view.next());
        QCOMPARE(songs.records(), 6);

        View broken(songs, mus::SongsByArtist, QStringLiteral("MUS:Nonsense = 1"),
                    &store.bindings());
        QVERIFY(!broken.open());
        QVERIFY(broken.filterError().contains(QStringLiteral("MUS:NONSENSE"), Qt::CaseInsensitive));
    }
};

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
