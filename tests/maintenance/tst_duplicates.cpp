#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "catalogue.h"
#include "maintenance/duplicates.h"
#include "maintenance/duplicateswindow.h"
#include "platform/instances.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QApplication>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

using namespace sv;

namespace {

using IdGroups = QList<QList<qint64>>;

struct Song
{
    qint64 id;
    const char *artist;
    const char *title;
    const char *mix = "";
    int seconds = 0;
};

// Planted duplicates, and look-alikes that are other songs.
const Song Planted[] = {
    {1, "Beyoncé", "Halo"},
    {2, "BEYONCE", "halo"},
    {3, "The Beatles", "Let It Be"},
    {4, "Beatles, The", "Let it be"},
    {5, "Beatles", "Let It Be (Remastered 2009)"},
    {6, "Daft Punk feat. Pharrell Williams", "Get Lucky"},
    {7, "Daft Punk ft. Pharrell", "Get Lucky (Radio Edit)"},
    {8, "Daft Punk", "Get Lucky [featuring Pharrell Williams & Nile Rodgers]"},
    {9, "Simon & Garfunkel", "The Boxer"},
    {10, "Simon and Garfunkel", "The Boxer"},
    {11, "Motörhead", "Ace of Spades"},
    {12, "Motorhead", "Ace Of Spades!"},
    // Look-alikes.
    {20, "Blur", "Song 2"},
    {21, "Blur", "Song 3"},
    {22, "Oasis", "Live Forever"},
    {23, "Oasis", "Live Forever (Live)"},
    {24, "The Beatles", "Yesterday"},
    {25, "Ray Charles", "Yesterday"},
    {26, "Theatre of Tragedy", "Venus"},
    {27, "atre of Tragedy", "Venus"},
    {28, "Pink Floyd", "Shine On You Crazy Diamond (Part 1)"},
    {29, "Pink Floyd", "Shine On You Crazy Diamond (Part 2)"},
    {30, "The The", "This Is the Day"},
    {31, "Them", "This Is the Day"},
};

const IdGroups PlantedGroups = {{1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10}, {11, 12}};

class Catalogue : public test::Catalogue
{
public:
    Catalogue()
        : test::Catalogue({TableId::Songs, TableId::Albums, TableId::Categories,
                           TableId::PlaylistMaster, TableId::PlaylistDetails})
    {}
    void add(const Song &song)
    {
        Table &songs = table(TableId::Songs);
        Record &record = test::newSong(songs, song.id);
        record.setText(mus::Artist, QString::fromUtf8(song.artist));
        record.setText(mus::Title, QString::fromUtf8(song.title));
        record.setText(mus::Mix, QString::fromUtf8(song.mix));
        record.setNumber(mus::Time, song.seconds ? song.seconds * 100 + 1 : 0);
        QVERIFY(songs.add());
    }
    void addAll(const QList<Song> &songs)
    {
        for (const Song &song : songs)
            add(song);
    }
    void addEntry(qint64 playlist, qint64 sequence, qint64 song)
    {
        Table &details = table(TableId::PlaylistDetails);
        details.buffer().clear();
        details.buffer().setNumber(pla::PlaylistID, playlist);
        details.buffer().setNumber(pla::PlaylistSeq, sequence);
        details.buffer().setNumber(pla::ID, song);
        QVERIFY(details.add());
    }
    // The play-list entries in play-list and sequence order, as (sequence, song) pairs.
    QList<QPair<qint64, qint64>> entries()
    {
        Table &details = table(TableId::PlaylistDetails);
        QList<QPair<qint64, qint64>> found;
        details.set(pla::KeyPlaylistID);
        while (details.next())
            found.append(
                {details.buffer().number(pla::PlaylistSeq), details.buffer().number(pla::ID)});
        return found;
    }
    bool song(qint64 id)
    {
        Table &songs = table(TableId::Songs);
        songs.buffer().setNumber(mus::ID, id);
        return songs.get(mus::KeyID);
    }
    QList<qint64> songIds()
    {
        Table &songs = table(TableId::Songs);
        QList<qint64> ids;
        songs.set(mus::KeyID);
        while (songs.next())
            ids.append(songs.buffer().number(mus::ID));
        return ids;
    }
};

IdGroups scan(Catalogue &catalogue, const DuplicateRules &rules)
{
    NotDuplicates marks(catalogue.path());
    marks.load();
    DuplicateScan scan(catalogue.table(TableId::Songs), rules, marks);
    IdGroups found;
    if (!scan.start())
        return found;
    DuplicateScan::Step step = DuplicateScan::Step::Going;
    while (step == DuplicateScan::Step::Going)
        step = scan.step(3); // small slices: the walk goes on across them
    if (step != DuplicateScan::Step::Done)
        return {{-1}};
    for (const DuplicateGroup &group : scan.groups())
        found.append(group.ids);
    return found;
}

// Opens the window and waits for its search to end.
DuplicatesWindow *openWindow(Catalogue &catalogue)
{
    auto *window = new DuplicatesWindow(catalogue.session);
    QSignalSpy finished(window, &DuplicatesWindow::scanFinished);
    window->show();
    if (!window->find() || !finished.wait(20000))
        return nullptr;
    return window;
}

int rowOf(DuplicatesWindow &window, qint64 id)
{
    for (int row = 0; row < window.songTable()->rowCount(); ++row) {
        if (window.songTable()->item(row, 0)->text() == QString::number(id))
            return row;
    }
    return -1;
}

} // namespace

class TestDuplicates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    // Names compare without case, accents, punctuation, "The", credits and mix brackets,
    // and keep what tells songs apart.
    void comparisonTexts()
    {
        QCOMPARE(comparableArtist(QStringLiteral("Beatles, The")), QStringLiteral("beatles"));
        QCOMPARE(comparableArtist(QStringLiteral("The Beatles")), QStringLiteral("beatles"));
        QCOMPARE(comparableArtist(QStringLiteral("Sigur Rós")), QStringLiteral("sigur ros"));
        QCOMPARE(comparableArtist(QStringLiteral("Die Ärzte & Ørjan Straße")),
                 QStringLiteral("die arzte and orjan strasse"));
        QCOMPARE(comparableArtist(QStringLiteral("Daft Punk Featuring Pharrell")),
                 QStringLiteral("daft punk"));
        QCOMPARE(comparableArtist(QStringLiteral("The The")), QStringLiteral("the"));
        QCOMPARE(comparableArtist(QStringLiteral("The")), QStringLiteral("the"));
        QCOMPARE(comparableArtist(QStringLiteral("Ft. Knox")), QStringLiteral("ft knox"));
        QCOMPARE(comparableArtist(QStringLiteral("ＡＢＢＡ")), QStringLiteral("abba"));
        QCOMPARE(comparableTitle(QStringLiteral("Don't Stop (Extended Mix)")),
                 QStringLiteral("dont stop"));
        QCOMPARE(comparableTitle(QStringLiteral("Get Lucky feat. Pharrell")),
                 QStringLiteral("get lucky"));
        QCOMPARE(comparableTitle(QStringLiteral("Shine On (Part 2)")),
                 QStringLiteral("shine on part 2"));
        QCOMPARE(comparableTitle(QStringLiteral("Live Forever (Live)")),
                 QStringLiteral("live forever live"));
        QCOMPARE(comparableTitle(QStringLiteral("(I Can't Get No) Satisfaction")),
                 QStringLiteral("satisfaction i cant get no"));
        QCOMPARE(comparableMix(QStringLiteral("Original Mix"), QStringLiteral("Halo")), QString());
        QCOMPARE(comparableMix(QString(), QStringLiteral("Halo (Album Version)")), QString());
        QCOMPARE(comparableMix(QStringLiteral("Extended"), QStringLiteral("Halo")),
                 QStringLiteral("extended"));
        QCOMPARE(comparableMix(QString(), QStringLiteral("Halo [Extended Mix]")),
                 QStringLiteral("extended"));
    }

    // The planted duplicates are found, each group whole, and no look-alike is.
    void findsPlantedDuplicatesOnly()
    {
        Catalogue catalogue;
        catalogue.addAll(QList<Song>(std::begin(Planted), std::end(Planted)));
        QCOMPARE(scan(catalogue, {}), PlantedGroups);
    }

    // Times and mixes, when asked for, tell apart songs of the same name; a song without a
    // time goes with the others.
    void timesAndMixes()
    {
        Catalogue catalogue;
        catalogue.addAll({{1, "Chic", "Le Freak", "", 210},
                          {2, "Chic", "Le Freak", "", 212},
                          {3, "Chic", "Le Freak", "", 0},
                          {4, "Chic", "Le Freak (12\" Version)", "", 330},
                          {5, "Chic", "Le Freak", "12\"", 400},
                          {6, "Chic", "Le Freak", "Original Mix", 211},
                          {7, "Chic", "Le Freak", "Extended", 212}});
        QCOMPARE(scan(catalogue, {}), IdGroups({{1, 2, 3, 4, 5, 6, 7}}));
        DuplicateRules times;
        times.compareTimes = true;
        times.toleranceSeconds = 3;
        QCOMPARE(scan(catalogue, times), IdGroups({{1, 2, 3, 6, 7}}));
        DuplicateRules mixes;
        mixes.compareMixes = true;
        QCOMPARE(scan(catalogue, mixes), IdGroups({{1, 2, 3, 6}, {4, 5}}));
        mixes.compareTimes = true;
        QCOMPARE(scan(catalogue, mixes), IdGroups({{1, 2, 3, 6}}));
    }

    // A group marked "not duplicates" is not shown again, until another song joins it.
    void notDuplicatesMarks()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addAll({{1, "Ray Charles", "Yesterday"},
                          {2, "Ray Charles", "Yesterday"},
                          {3, "Blur", "Song 2"},
                          {4, "blur", "song 2"}});
        std::unique_ptr<DuplicatesWindow> window(openWindow(catalogue));
        QVERIFY(window);
        QCOMPARE(window->groups().size(), 2);
        window->groupList()->setCurrentIndex(window->groupList()->model()->index(0, 0));
        QCOMPARE(window->songTable()->rowCount(), 2);
        QVERIFY(window->markNotDuplicates());
        QCOMPARE(window->groups().size(), 1);
        QCOMPARE(scan(catalogue, {}), IdGroups({{3, 4}}));
        catalogue.add({5, "RAY CHARLES", "Yesterday"});
        QCOMPARE(scan(catalogue, {}), IdGroups({{1, 2, 5}, {3, 4}}));
        QVERIFY(prompter.shown.isEmpty());
    }

    // Keeping one song: the others' play-list entries move to it, its album link and empty
    // fields come from them, what it has stays, and the others are gone, in one step. The
    // window highlights the fields that differ and offers the song in most play lists.
    void mergeMovesEntriesAndAlbumLinks()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addAll({{1, "Chic", "Le Freak"},
                          {2, "CHIC", "Le Freak"},
                          {3, "Chic", "Le freak"},
                          {9, "Sister Sledge", "We Are Family"}});
        Table &songs = catalogue.table(TableId::Songs);
        QVERIFY(catalogue.song(1));
        songs.buffer().setText(mus::Composer, QStringLiteral("Rodgers"));
        songs.buffer().setNumber(mus::BeatsPerMinute, 120);
        QVERIFY(songs.put());
        QVERIFY(catalogue.song(2));
        songs.buffer().setNumber(mus::AlbumID, 77);
        songs.buffer().setText(mus::Album, QStringLiteral("C'est Chic"));
        songs.buffer().setText(mus::FileNumber, QStringLiteral("CD-0077"));
        songs.buffer().setNumber(mus::TrackNumber, 4);
        songs.buffer().setText(mus::Composer, QStringLiteral("Edwards"));
        songs.buffer().setNumber(mus::BeatsPerMinute, 119);
        songs.buffer().setText(mus::Style, QStringLiteral("Disco"));
        songs.buffer().setMemo(mus::Notes, QStringLiteral("Number one"));
        QVERIFY(songs.put());
        QVERIFY(catalogue.song(3));
        songs.buffer().setNumber(mus::AlbumID, 88);
        songs.buffer().setText(mus::Album, QStringLiteral("Greatest Hits"));
        songs.buffer().setNumber(mus::Rating, 5);
        QVERIFY(songs.put());
        catalogue.addEntry(1, 1, 2);
        catalogue.addEntry(1, 2, 9);
        catalogue.addEntry(1, 3, 3);
        catalogue.addEntry(2, 1, 3);
        catalogue.addEntry(2, 2, 1);

        std::unique_ptr<DuplicatesWindow> window(openWindow(catalogue));
        QVERIFY(window);
        QCOMPARE(window->groups().size(), 1);
        QTableWidget *table = window->songTable();
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->currentRow(), rowOf(*window, 3)); // two play-list entries
        const auto highlighted = [&](int column) {
            return table->item(0, column)->background().color() == QColor(255, 236, 160);
        };
        QVERIFY(highlighted(1));  // CHIC
        QVERIFY(highlighted(2));  // Le freak
        QVERIFY(!highlighted(3)); // no mix on any
        QVERIFY(highlighted(4));  // album

        prompter.answer(No);
        QVERIFY(!window->keepAndMerge(rowOf(*window, 1)));
        QCOMPARE(catalogue.songIds(), QList<qint64>({1, 2, 3, 9}));
        prompter.answer(Yes);
        QVERIFY(window->keepAndMerge(rowOf(*window, 1)));
        QVERIFY(prompter.shown.last().text.startsWith(
            QStringLiteral("Keep song 1, \"Chic - Le Freak\", and merge the other 2 songs")));
        QCOMPARE(window->groups().size(), 0);

        QCOMPARE(catalogue.songIds(), QList<qint64>({1, 9}));
        QCOMPARE(catalogue.entries(),
                 (QList<QPair<qint64, qint64>>{{1, 1}, {2, 9}, {3, 1}, {1, 1}, {2, 1}}));
        QVERIFY(catalogue.song(1));
        const Record &kept = songs.buffer();
        QCOMPARE(kept.text(mus::Composer), QStringLiteral("Rodgers"));
        QCOMPARE(kept.number(mus::BeatsPerMinute), 120);
        QCOMPARE(kept.number(mus::AlbumID), 77); // the album link of the first that had one
        QCOMPARE(kept.text(mus::Album), QStringLiteral("C'est Chic"));
        QCOMPARE(kept.text(mus::FileNumber), QStringLiteral("CD-0077"));
        QCOMPARE(kept.number(mus::TrackNumber), 4);
        QCOMPARE(kept.text(mus::Style), QStringLiteral("Disco"));
        QCOMPARE(kept.number(mus::Rating), 5);
        QCOMPARE(kept.memo(mus::Notes), QStringLiteral("Number one"));
        QCOMPARE(kept.text(mus::Artist), QStringLiteral("Chic"));
    }

    // A song another station changed after the window showed it stops the merge: nothing is
    // written, the user is told, and the group shows the songs as they now are.
    void changedElsewhereStopsTheMerge()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addAll({{1, "Chic", "Le Freak"}, {2, "Chic", "Le Freak"}});
        catalogue.addEntry(1, 1, 2);
        std::unique_ptr<DuplicatesWindow> window(openWindow(catalogue));
        QVERIFY(window);
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {catalogue.path(), QStringLiteral("change-song"), QStringLiteral("2"),
                       QStringLiteral("Le Freak")});
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.readAll().trimmed(), QByteArray("ready"));
        prompter.answer(Yes);
        QVERIFY(!window->keepAndMerge(rowOf(*window, 1)));
        QCOMPARE(prompter.shown.last().text,
                 QStringLiteral("This record was changed by another station."));
        QCOMPARE(catalogue.songIds(), QList<qint64>({1, 2}));
        QCOMPARE(catalogue.entries(), (QList<QPair<qint64, qint64>>{{1, 2}}));
        prompter.answer(Yes);
        QVERIFY(window->keepAndMerge(rowOf(*window, 1)));
        QCOMPARE(catalogue.entries(), (QList<QPair<qint64, qint64>>{{1, 1}}));
    }

    // Cancel stops the search at once and the window keeps working; closing the window in
    // the middle of a search takes its progress window with it.
    void cancelAndCloseDuringTheSearch()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Table &songs = catalogue.table(TableId::Songs);
        QVERIFY(songs.stream());
        for (int id = 1; id <= 20000; ++id) {
            test::newSong(songs, id).setText(mus::Title, QStringLiteral("T%1").arg(id % 15000));
            QVERIFY(songs.add());
        }
        QVERIFY(songs.flush());
        auto *window = new DuplicatesWindow(catalogue.session);
        window->show();
        QSignalSpy finished(window, &DuplicatesWindow::scanFinished);
        QVERIFY(window->find());
        QVERIFY(window->isScanning());
        auto *progress = window->findChild<ProgressWindow *>();
        QVERIFY(progress);
        progress->cancel();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(!window->isScanning());
        QVERIFY(window->groups().isEmpty());

        QVERIFY(window->find());
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.last().first().toBool(), true);
        QCOMPARE(window->groups().size(), 5000);

        QVERIFY(window->find());
        QPointer<ProgressWindow> running(window->findChild<ProgressWindow *>());
        QVERIFY(running);
        QPointer<DuplicatesWindow> closing(window);
        window->close();
        QTRY_VERIFY(closing.isNull() && running.isNull());
        QVERIFY(prompter.shown.isEmpty());
    }

    // Opened from the frame, the window lives in the work area and "Done" takes its frame
    // with it, giving back the tables it held.
    void doneLeavesNoEmptyFrame()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Instances::reset();
        Settings::global() = Settings();
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        Session session(workspace.path());
        session.announceTables();
        Procedures::clear();
        Procedures::add(
            QStringLiteral("FindDuplicates"), Procedures::Placement::OwnWindow,
            [](Session &s, MainFrame &) -> QWidget * { return DuplicatesWindow::create(s); });
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<SplashWindow *>(window))
                window->close();
        }
        Table &songs = session.store().table(TableId::Songs);
        const int users = session.files().users(songs);
        QPointer<DuplicatesWindow> window = qobject_cast<DuplicatesWindow *>(
            frame.startProcedure(QStringLiteral("FindDuplicates")));
        QVERIFY(window);
        QCOMPARE(frame.mdiArea()->subWindowList().size(), 1);
        QCOMPARE(session.files().users(songs), users + 1);
        QTRY_VERIFY(!window->isScanning() && window->groups().isEmpty());
        QPushButton *done = nullptr;
        for (QPushButton *button : window->findChildren<QPushButton *>()) {
            if (button->text() == u"&Done")
                done = button;
        }
        QVERIFY(done);
        done->click();
        QTRY_VERIFY(window.isNull());
        QTRY_VERIFY(frame.mdiArea()->subWindowList().isEmpty());
        QCOMPARE(session.files().users(songs), users);
        frame.close();
        Procedures::clear();
    }

    // A merge in a program killed at any moment is whole or not done at all: each group's
    // other songs are all there with their play-list entries, or all gone with the entries
    // moved and the kept song filled in.
    void killedMergeIsAllOrNothing()
    {
        test::Workspace workspace;
        constexpr int Groups = 200;
        {
            test::StoreCatalogue setup(workspace.path());
            Table &songs = setup.open(TableId::Songs);
            Table &details = setup.open(TableId::PlaylistDetails);
            QVERIFY(songs.stream());
            for (int group = 1; group <= Groups; ++group) {
                for (int n = 0; n <= 3; ++n) {
                    Record &song = test::newSong(songs, 100 * group + n);
                    song.setText(mus::Artist, QStringLiteral("Artist %1").arg(group));
                    song.setText(mus::Title, QStringLiteral("Title"));
                    if (n == 2)
                        song.setText(mus::Composer, QStringLiteral("Composer %1").arg(group));
                    QVERIFY(songs.add());
                    if (n > 0) {
                        details.buffer().clear();
                        details.buffer().setNumber(pla::PlaylistID, group);
                        details.buffer().setNumber(pla::PlaylistSeq, n);
                        details.buffer().setNumber(pla::ID, 100 * group + n);
                        QVERIFY(details.add());
                    }
                }
            }
            QVERIFY(songs.flush());
        }
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {workspace.path(), QStringLiteral("merge-loop"), QString::number(Groups)});
        QVERIFY(station.waitForReadyRead(10000));
        QCOMPARE(station.readLine().trimmed(), QByteArray("ready"));
        QTest::qWait(int(QRandomGenerator::global()->bounded(30, 250)));
        station.kill();
        station.waitForFinished();
        QVERIFY2(!station.readAll().contains("merged"), "every merge ended before the kill");

        test::StoreCatalogue after(workspace.path());
        Table &songs = after.open(TableId::Songs);
        Table &details = after.open(TableId::PlaylistDetails);
        int merged = 0;
        for (int group = 1; group <= Groups; ++group) {
            int others = 0;
            for (int n = 1; n <= 3; ++n) {
                songs.buffer().setNumber(mus::ID, 100 * group + n);
                others += songs.get(mus::KeyID) ? 1 : 0;
            }
            QVERIFY2(others == 0 || others == 3, qPrintable(QString::number(group)));
            songs.buffer().setNumber(mus::ID, 100 * group);
            QVERIFY(songs.get(mus::KeyID));
            QCOMPARE(songs.buffer().text(mus::Composer).isEmpty(), others == 3);
            QList<qint64> entries;
            details.buffer().clear();
            details.buffer().setNumber(pla::PlaylistID, group);
            details.setFrom(pla::KeyPlaylistID);
            while (details.next() && details.buffer().number(pla::PlaylistID) == group)
                entries.append(details.buffer().number(pla::ID));
            if (others == 3)
                QCOMPARE(entries,
                         QList<qint64>({100 * group + 1, 100 * group + 2, 100 * group + 3}));
            else
                QCOMPARE(entries, QList<qint64>({100 * group, 100 * group, 100 * group}));
            merged += others == 0 ? 1 : 0;
        }
        QVERIFY(merged >= 1);
    }
};

QTEST_MAIN(TestDuplicates)
#include "tst_duplicates.moc"
