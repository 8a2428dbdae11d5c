#include "app/windowposition.h"
#include "catalogue.h"
#include "platform/inifile.h"
#include "platform/randomsource.h"
#include "platform/stddate.h"
#include "playlists/generateplaylist.h"
#include "playlists/playlistgenerator.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QSpinBox>
#include <QTest>

using namespace sv;
using namespace sv::playlists;
using namespace Qt::StringLiterals;

namespace {

struct Entry
{
    qint64 sequence;
    qint64 songId;
};

class Catalogue : public test::Catalogue
{
public:
    Catalogue()
        : test::Catalogue({TableId::Songs, TableId::Categories, TableId::PlaylistMaster,
                           TableId::PlaylistDetails})
    {}

    Table &songs() { return table(TableId::Songs); }

    qint64 addCategory(const QString &name)
    {
        Table &categories = table(TableId::Categories);
        const qint64 id = categories.records() + 1;
        categories.buffer().clear();
        categories.buffer().setNumber(cat::CategoryID, id);
        categories.buffer().setText(cat::Category, name);
        return categories.add() ? id : 0;
    }

    // Adds songs with IDs following the highest, each set up by `fill` (given its ID).
    void addSongs(int count, const std::function<void(Record &, qint64 id)> &fill = {})
    {
        qint64 highest = 0;
        QVERIFY(songs().highest(mus::KeyID, mus::ID, highest));
        QVERIFY(songs().stream());
        for (int i = 1; i <= count; ++i) {
            Record &song = songs().buffer();
            song.clear();
            song.setNumber(mus::ID, highest + i);
            song.setText(mus::Artist, u"Artist %1"_s.arg(highest + i));
            song.setText(mus::Title, u"Title %1"_s.arg(highest + i));
            if (fill)
                fill(song, highest + i);
            QVERIFY(songs().add());
        }
        QVERIFY(songs().flush());
    }

    void deleteSongs(const std::function<bool(qint64 id)> &which)
    {
        QList<RecordPosition> doomed;
        songs().set(mus::KeyID);
        while (songs().next())
            if (which(songs().buffer().number(mus::ID)))
                doomed.append(songs().position());
        for (RecordPosition position : doomed) {
            QVERIFY(songs().reget(position));
            QVERIFY(songs().remove());
        }
    }

    void addPlaylist(qint64 id, const QString &description)
    {
        Table &master = table(TableId::PlaylistMaster);
        master.buffer().clear();
        master.buffer().setNumber(pld::PlaylistID, id);
        master.buffer().setText(pld::PlaylistDescription, description);
        QVERIFY(master.add());
    }

    QList<QPair<qint64, QString>> playlists()
    {
        QList<QPair<qint64, QString>> found;
        Table &master = table(TableId::PlaylistMaster);
        master.set(pld::KeyPlaylistID);
        while (master.next())
            found.append({master.buffer().number(pld::PlaylistID),
                          master.buffer().text(pld::PlaylistDescription)});
        return found;
    }

    QList<Entry> entries(qint64 playlistId)
    {
        QList<Entry> found;
        Table &details = table(TableId::PlaylistDetails);
        details.set(pla::KeyPlaylistID);
        while (details.next())
            if (details.buffer().number(pla::PlaylistID) == playlistId)
                found.append(
                    {details.buffer().number(pla::PlaylistSeq), details.buffer().number(pla::ID)});
        return found;
    }

    GeneratedPlaylist generate(const GeneratorChoices &choices)
    {
        PlaylistGenerator generator(session);
        return generator.generate(choices);
    }

    qint64 songOf(qint64 id, int field)
    {
        songs().buffer().setNumber(mus::ID, id);
        return songs().get(mus::KeyID) ? songs().buffer().number(field) : -1;
    }
};

GeneratorChoices wanting(int songs)
{
    GeneratorChoices choices;
    choices.songs = songs;
    return choices;
}

// Sequences 1 to n in order, and the song IDs in draw order.
QList<qint64> checkedIds(const QList<Entry> &entries)
{
    QList<qint64> ids;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).sequence != i + 1)
            return {-1};
        ids.append(entries.at(i).songId);
    }
    return ids;
}

} // namespace

class TestGenerator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { RandomSource::seed(20261208); }
    void cleanup()
    {
        RandomSource::useSystemSource();
        Clock::useSystemClock();
    }

    // An empty song table is refused with its message, and no play list is made.
    void emptySongTableWritesNothing()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        const GeneratedPlaylist made = catalogue.generate(wanting(10));
        QCOMPARE(made.outcome, GeneratedPlaylist::Outcome::NoSongs);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.at(0).caption, u"Error"_s);
        QCOMPARE(prompter.shown.at(0).text, u"There are no songs to select from"_s);
        QVERIFY(catalogue.playlists().isEmpty());
    }

    // The number follows the highest and skips one whose description is taken by hand, or
    // that entries left without their play list still hold; size 0 makes an empty list.
    void numberingAndNames()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addSongs(3);
        QCOMPARE(catalogue.generate(wanting(0)).playlistId, 1);
        QCOMPARE(catalogue.playlists(), (QList<QPair<qint64, QString>>{{1, u"Play List #1"_s}}));
        QVERIFY(catalogue.entries(1).isEmpty());

        catalogue.addPlaylist(2, u"Play List #3"_s);
        GeneratedPlaylist made = catalogue.generate(wanting(2));
        QCOMPARE(made.outcome, GeneratedPlaylist::Outcome::Written);
        QCOMPARE(made.playlistId, 4);
        QCOMPARE(made.description, u"Play List #4"_s);
        QCOMPARE(catalogue.playlists().last(), (QPair<qint64, QString>{4, u"Play List #4"_s}));
        Table &master = catalogue.table(TableId::PlaylistMaster);
        QCOMPARE(master.buffer().number(pld::LastEditDate), qint64(today()));

        // Entries of a play list 5 that is not there (a new play list cancelled elsewhere).
        Table &details = catalogue.table(TableId::PlaylistDetails);
        details.buffer().clear();
        details.buffer().setNumber(pla::PlaylistID, 5);
        details.buffer().setNumber(pla::PlaylistSeq, 1);
        details.buffer().setNumber(pla::ID, 1);
        QVERIFY(details.add());
        made = catalogue.generate(wanting(2));
        QCOMPARE(made.playlistId, 6);
        QCOMPARE(catalogue.entries(5).size(), 1);
        QCOMPARE(checkedIds(catalogue.entries(6)).size(), 2);
        QVERIFY(prompter.shown.isEmpty());
    }

    // Without filters a small table gives as many entries as asked, with repeats, each a
    // song of the table; the same seed draws the same play list again.
    void drawWithRepeatsAndFixedSeed()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addSongs(5);
        const GeneratedPlaylist first = catalogue.generate(wanting(20));
        const QList<qint64> ids = checkedIds(catalogue.entries(first.playlistId));
        QCOMPARE(ids.size(), 20);
        QCOMPARE(QSet<qint64>(ids.begin(), ids.end()), (QSet<qint64>{1, 2, 3, 4, 5}));

        RandomSource::seed(20261208);
        const GeneratedPlaylist again = catalogue.generate(wanting(20));
        QCOMPARE(checkedIds(catalogue.entries(again.playlistId)), ids);
        RandomSource::seed(7);
        const GeneratedPlaylist other = catalogue.generate(wanting(20));
        QVERIFY(checkedIds(catalogue.entries(other.playlistId)) != ids);
        QVERIFY(prompter.shown.isEmpty());
    }

    // Deleted songs leave gaps in the record numbers: a draw never takes one, and the play
    // list is still as long as asked, whether few or most of the songs are gone.
    void gapsInRecordNumbers_data()
    {
        QTest::addColumn<int>("keepEvery");
        QTest::newRow("a few gone") << 4;  // three of four kept: drawn by position
        QTest::newRow("most gone") << -10; // one of ten kept: drawn from a list
    }
    void gapsInRecordNumbers()
    {
        QFETCH(int, keepEvery);
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addSongs(200);
        catalogue.deleteSongs([keepEvery](qint64 id) {
            return keepEvery > 0 ? id % keepEvery == 0 : id % -keepEvery != 0;
        });
        const qint64 left = catalogue.songs().records();
        for (bool noTwice : {false, true}) {
            GeneratorChoices choices = wanting(GeneratorChoices::MaxSongs);
            choices.noSongTwice = noTwice;
            const GeneratedPlaylist made = catalogue.generate(choices);
            const QList<qint64> ids = checkedIds(catalogue.entries(made.playlistId));
            const int expected = noTwice ? int(qMin<qint64>(left, 99)) : 99;
            QCOMPARE(ids.size(), expected);
            QCOMPARE(made.entries, expected);
            for (qint64 id : ids)
                QVERIFY2(catalogue.songOf(id, mus::ID) == id, "a deleted song was drawn");
            if (noTwice)
                QCOMPARE(QSet<qint64>(ids.begin(), ids.end()).size(), ids.size());
        }
    }

    // A category narrows the draw to its songs without using up draws on others: a small
    // category among many songs fills the play list; one with no songs gives an empty one.
    void categoryFilter()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        const qint64 rare = catalogue.addCategory(u"Rare Groove"_s);
        const qint64 common = catalogue.addCategory(u"Pop"_s);
        QVERIFY(catalogue.addCategory(u"Empty"_s) > 0);
        catalogue.addSongs(3000, [&](Record &song, qint64 id) {
            song.setNumber(mus::CategoryID, id % 500 == 0 ? rare : common);
        });
        GeneratorChoices choices = wanting(30);
        choices.category = u"Rare Groove"_s;
        const GeneratedPlaylist made = catalogue.generate(choices);
        const QList<qint64> ids = checkedIds(catalogue.entries(made.playlistId));
        QCOMPARE(ids.size(), 30);
        for (qint64 id : ids)
            QCOMPARE(catalogue.songOf(id, mus::CategoryID), rare);

        choices.category = u"Empty"_s;
        const GeneratedPlaylist none = catalogue.generate(choices);
        QCOMPARE(none.outcome, GeneratedPlaylist::Outcome::Written);
        QCOMPARE(none.description, u"Play List #2"_s);
        QVERIFY(catalogue.entries(none.playlistId).isEmpty());
    }

    // Release dates bound the draw as stored: with a starting date, songs that hold only a
    // year never pass; an ending date keeps later songs out.
    void releaseDateBounds()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        const qint32 from = makeDate(1990, 1, 1);
        const qint32 to = makeDate(1999, 12, 31);
        catalogue.addSongs(40, [&](Record &song, qint64 id) {
            const qint32 dates[] = {1995, makeDate(1995, 6, 1), makeDate(2005, 1, 1),
                                    makeDate(1985, 1, 1)};
            song.setNumber(mus::ReleaseDate, dates[id % 4]);
        });
        GeneratorChoices choices = wanting(25);
        choices.startDate = from;
        choices.endDate = to;
        const QList<qint64> ids =
            checkedIds(catalogue.entries(catalogue.generate(choices).playlistId));
        QCOMPARE(ids.size(), 25);
        for (qint64 id : ids)
            QCOMPARE(catalogue.songOf(id, mus::ReleaseDate), qint64(makeDate(1995, 6, 1)));
    }

    // "Recent Addition" tilts the draw towards the songs added last and "Older Addition"
    // towards the first; the release weightings still fill the play list when every song
    // fails their test.
    void weightings()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 8), QTime(12, 0)); });
        catalogue.addSongs(1000, [](Record &song, qint64) {
            song.setNumber(mus::ReleaseDate, makeDate(1970, 1, 1));
        });
        const auto meanId = [&](Weighting weighting) {
            GeneratorChoices choices = wanting(99);
            choices.weighting = weighting;
            const QList<qint64> ids =
                checkedIds(catalogue.entries(catalogue.generate(choices).playlistId));
            qint64 sum = 0;
            for (qint64 id : ids)
                sum += id;
            return ids.size() == 99 ? double(sum) / 99 : -1.0;
        };
        const double recent = meanId(Weighting::RecentAddition);
        const double older = meanId(Weighting::OlderAddition);
        QVERIFY2(recent > 560, qPrintable(QString::number(recent)));
        QVERIFY2(older > 0 && older < 440, qPrintable(QString::number(older)));
        QVERIFY(meanId(Weighting::RecentRelease) > 0);
        QVERIFY(meanId(Weighting::OlderRelease) > 0);
    }

    // The DJ choices leave out what they say, and only that.
    void djChoices()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 8), QTime(12, 0)); });
        const qint32 now = today();
        // id % 5: 0 do-not-play, 1 skips, 2 played yesterday, 3 BPM 100, 4 fit for all
        catalogue.addSongs(100, [now](Record &song, qint64 id) {
            song.setNumber(mus::BeatsPerMinute, id % 5 == 3 ? 100 : 124);
            song.setNumber(mus::DoNotPlay, id % 5 == 0);
            song.setNumber(mus::Skips, id % 5 == 1);
            song.setNumber(mus::LastPlayed, id % 5 == 2 ? now - 1 : id % 5 == 4 ? now - 30 : 0);
        });
        GeneratorChoices choices = wanting(40);
        choices.leaveOutDoNotPlay = true;
        choices.bpmRange = true;
        choices.lowestBpm = 120;
        choices.highestBpm = 128;
        choices.notPlayedDays = 7;
        choices.noSongTwice = true;
        QCOMPARE(choices.inForce(),
                 (QStringList{u"no songs marked Do Not Play or Skips"_s, u"no song twice"_s,
                              u"BPM 120 to 128"_s, u"not played in the last 7 days"_s}));
        const QList<qint64> ids =
            checkedIds(catalogue.entries(catalogue.generate(choices).playlistId));
        QCOMPARE(ids.size(), 20); // only the twenty fit songs, each once
        QCOMPARE(QSet<qint64>(ids.begin(), ids.end()).size(), 20);
        for (qint64 id : ids)
            QCOMPARE(id % 5, 4);

        // Each choice alone, and none: the others' songs come back.
        const auto drawnKinds = [&](const GeneratorChoices &one) {
            QSet<qint64> kinds;
            for (qint64 id : checkedIds(catalogue.entries(catalogue.generate(one).playlistId)))
                kinds.insert(id % 5);
            return kinds;
        };
        GeneratorChoices leaveOut = wanting(99);
        leaveOut.leaveOutDoNotPlay = true;
        QCOMPARE(drawnKinds(leaveOut), (QSet<qint64>{2, 3, 4}));
        GeneratorChoices recent = wanting(99);
        recent.notPlayedDays = 1; // yesterday is not today
        QCOMPARE(drawnKinds(recent), (QSet<qint64>{0, 1, 2, 3, 4}));
        recent.notPlayedDays = 2;
        QCOMPARE(drawnKinds(recent), (QSet<qint64>{0, 1, 3, 4}));
        QCOMPARE(drawnKinds(wanting(99)), (QSet<qint64>{0, 1, 2, 3, 4}));
    }

    // Another station writing play lists makes the generation fail as a whole: the error is
    // shown and nothing of the play list is left.
    void lockedByAnotherStation()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addSongs(10);
        QProcess station;
        station.start(test::helperProgram(u"station"_s),
                      {catalogue.path(), u"hold-playlists"_s, u"4000"_s});
        QVERIFY(station.waitForReadyRead(10000));
        QCOMPARE(station.readLine().trimmed(), QByteArray("ready"));
        const GeneratedPlaylist made = catalogue.generate(wanting(5));
        QCOMPARE(made.outcome, GeneratedPlaylist::Outcome::Failed);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.at(0).caption, u"Error"_s);
        QVERIFY(prompter.shown.at(0).text.startsWith(u"There was an error ("_s));
        QVERIFY(prompter.shown.at(0).text.endsWith(u") adding to the Play List Master file"_s));
        QVERIFY(station.waitForFinished(10000));
        QVERIFY(catalogue.playlists().isEmpty());
        QVERIFY(catalogue.entries(1).isEmpty());
    }

    // The window: every value starts empty or off, categories in order of their names, an
    // unknown category refused, a category typed in other case taken in the list's
    // spelling, the DJ choices shown as they are set, and the place kept.
    void window()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addCategory(u"Soul"_s);
        catalogue.addCategory(u"Acid Jazz"_s);
        catalogue.addSongs(4, [](Record &song, qint64) { song.setNumber(mus::CategoryID, 1); });
        QWidget caller;
        caller.show();
        std::optional<GeneratedPlaylist> result;
        QPointer<GeneratePlaylistWindow> window = generatePlaylist(
            catalogue.session, &caller, [&](const GeneratedPlaylist &made) { result = made; });
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), u"Generate Play List"_s);
        QCOMPARE(window->sizeEntry()->text(), QString());
        QCOMPARE(window->startEntry()->text(), QString());
        QComboBox *category = window->categoryEntry();
        QCOMPARE(category->count(), 3);
        QCOMPARE(category->itemText(0), QString());
        QCOMPARE(category->itemText(1), u"Acid Jazz"_s);
        QCOMPARE(category->itemText(2), u"Soul"_s);
        QCOMPARE(category->currentText(), QString());
        QVERIFY(window->inForceLabel()->text().startsWith(u"In force: none"_s));
        window->noTwiceBox()->setChecked(true);
        window->bpmBox()->setChecked(true);
        window->lowestBpm()->setValue(118);
        QCOMPARE(window->inForceLabel()->text(), u"In force: no song twice; BPM 118 to 130."_s);

        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->sizeEntry()->setText(u"3"_s);
        category->setEditText(u"Funk"_s);
        window->ok();
        QVERIFY(window);
        QVERIFY(catalogue.playlists().isEmpty());
        QTRY_VERIFY(category->lineEdit()->hasFocus());

        category->setEditText(u"soul"_s);
        const std::optional<GeneratorChoices> chosen = window->choices();
        QVERIFY(chosen);
        QCOMPARE(chosen->category, u"Soul"_s);
        QCOMPARE(category->currentText(), u"Soul"_s);
        QVERIFY(chosen->noSongTwice && chosen->bpmRange && !chosen->leaveOutDoNotPlay);

        window->bpmBox()->setChecked(false);
        QWidget *frame = placementWindow(window);
        frame->move(40, 50);
        window->ok();
        QTRY_VERIFY(!window);
        QVERIFY(result);
        QCOMPARE(result->outcome, GeneratedPlaylist::Outcome::Written);
        QCOMPARE(result->entries, 3);
        QCOMPARE(catalogue.entries(result->playlistId).size(), 3);
        QVERIFY(prompter.shown.isEmpty());
        const QString positions = catalogue.file(u"POSITION.INI"_s);
        QVERIFY(IniFile::getNumber(u"GeneratePlaylist"_s, u"XPosit"_s, 0, positions) > 0);

        // Opened again, it starts empty at its kept place; Cancel writes nothing.
        result.reset();
        window = generatePlaylist(catalogue.session, &caller,
                                  [&](const GeneratedPlaylist &made) { result = made; });
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(placementWindow(window)->pos(), QPoint(40, 50));
        QVERIFY(!window->noTwiceBox()->isChecked());
        QCOMPARE(window->categoryEntry()->currentText(), QString());
        window->close();
        QTRY_VERIFY(!window);
        QCOMPARE(result->outcome, GeneratedPlaylist::Outcome::Cancelled);
        QCOMPARE(catalogue.playlists().size(), 1);
    }

    // Fewer songs than asked are reported rather than passed over in silence.
    void windowSaysWhenShort()
    {
        Catalogue catalogue;
        test::ScriptedPrompter prompter;
        catalogue.addSongs(4);
        QWidget caller;
        QPointer<GeneratePlaylistWindow> window = generatePlaylist(catalogue.session, &caller, {});
        QVERIFY(window);
        window->sizeEntry()->setText(u"10"_s);
        window->noTwiceBox()->setChecked(true);
        window->ok();
        QTRY_VERIFY(!window);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.at(0).text,
                 u"Play List #1 holds 4 of the 10 songs asked for: no other song meets the "
                 "choices made."_s);
        QCOMPARE(catalogue.entries(1).size(), 4);
    }
};

QTEST_MAIN(TestGenerator)
#include "tst_generator.moc"
