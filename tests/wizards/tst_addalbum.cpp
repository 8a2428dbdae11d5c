#include "app/browselist.h"
#include "app/pagemodel.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "app/settings.h"
#include "catalogue.h"
#include "platform/cddevice.h"
#include "platform/discimage.h"
#include "platform/mcicommand.h"
#include "platform/stddate.h"
#include "songs/songform.h"
#include "testsupport.h"
#include "wizards/addalbumwizard.h"
#include "wizards/addmode.h"
#include "wizards/albumcommit.h"
#include "wizards/trackdialog.h"
#include "wizards/tracklist.h"
#include "wizardtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <csignal>

using namespace sv;
using namespace sv::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int Instance = 5;

struct Song
{
    qint64 id;
    qint64 albumId;
    qint64 track;
    QString artist;
    QString title;
    qint32 time;
    QString timeText;
};

class Shelf : public test::Catalogue
{
public:
    Shelf()
        : test::Catalogue({TableId::Songs, TableId::Albums, TableId::AddWizard, TableId::Categories,
                           TableId::Media})
    {
        Table &media = table(TableId::Media);
        for (const QString &name : {u"CD"_s, u"Vinyl"_s}) {
            media.buffer().clear();
            media.buffer().setText(med::Media, name);
            QVERIFY(media.add());
        }
    }
    Table &songs() { return table(TableId::Songs); }
    Table &albums() { return table(TableId::Albums); }

    void addRows(int instance, const QList<TrackRow> &rows)
    {
        QVERIFY(TrackRows(table(TableId::AddWizard), instance).write(rows));
    }
    int rowCount(int instance)
    {
        QList<TrackRow> rows;
        return TrackRows(table(TableId::AddWizard), instance).read(rows) ? int(rows.size()) : -1;
    }
    void addSong(qint64 id, const QString &title)
    {
        songs().buffer().clear();
        songs().buffer().setNumber(mus::ID, id);
        songs().buffer().setText(mus::Title, title);
        QVERIFY(songs().add());
    }
    qint64 addAlbum(const QString &artist, const QString &title, const QString &identifier = {})
    {
        qint64 highest = 0;
        [&] { QVERIFY(albums().highest(alb::KeyAlbumID, alb::AlbumID, highest)); }();
        Record &album = albums().buffer();
        album.clear();
        album.setNumber(alb::AlbumID, highest + 1);
        album.setText(alb::Artist, artist);
        album.setText(alb::Album, title);
        album.setText(alb::CDIdentifier, identifier);
        [&] { QVERIFY(albums().add()); }();
        return highest + 1;
    }
    QList<Song> allSongs()
    {
        QList<Song> list;
        songs().set(mus::KeyID);
        while (songs().next()) {
            const Record &song = songs().buffer();
            list.append({song.number(mus::ID), song.number(mus::AlbumID),
                         song.number(mus::TrackNumber), song.text(mus::Artist),
                         song.text(mus::Title), qint32(song.number(mus::Time)),
                         song.text(mus::AdditionalInformation1)});
        }
        return list;
    }
    QList<Record> allAlbums()
    {
        QList<Record> list;
        albums().set(alb::KeyAlbumID);
        while (albums().next())
            list.append(albums().buffer());
        return list;
    }
};

AddAlbumWizard *openWizard(Session &session, AddAlbumWizard::Kind kind, int instance = Instance)
{
    AddAlbumWizard *wizard = AddAlbumWizard::open(session, kind, Request::Insert, instance);
    if (wizard)
        wizard->show();
    return wizard;
}

void press(QWidget *window, const QString &caption)
{
    QPushButton *button = buttonOf(window, caption);
    QVERIFY2(button, qPrintable(caption));
    button->click();
}

void closeAndSettle(QPointer<AddAlbumWizard> wizard)
{
    QTRY_VERIFY(!wizard);
}

// A disc image of tests/wizards/discs in the workspace, its bin of zeros.
QString prepareImage(const Workspace &workspace, const QString &name)
{
    const QString cue = workspace.file(name + u".cue"_s);
    QFile::copy(QFINDTESTDATA(u"wizards/discs/"_s + name + u".cue"_s), cue);
    QFile file(cue);
    file.open(QIODevice::ReadOnly);
    const QRegularExpressionMatch sectors =
        QRegularExpression(u"Sectors: (\\d+)"_s).match(QString::fromUtf8(file.readAll()));
    QFile bin(workspace.file(name + u".bin"_s));
    bin.open(QIODevice::WriteOnly);
    bin.resize(sectors.captured(1).toLongLong() * SectorBytes);
    return cue;
}

AlbumCommit commitOf(const QString &artist, const QString &title, const QString &identifier,
                     int instance)
{
    AlbumCommit commit{Record(tableDef(TableId::Songs)), 0, false, true, identifier, instance};
    commit.song.setText(mus::Artist, artist);
    commit.song.setText(mus::Album, title);
    commit.song.setText(mus::Media, u"CD"_s);
    return commit;
}

// Closes the wizard as a reading's progress window is shown in `parent`, before the
// reading's first step.
class CloseOnProgress : public QObject
{
public:
    CloseOnProgress(QWidget *parent, QWidget *wizard, bool *shown)
        : m_wizard(wizard), m_shown(shown)
    {
        parent->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished &&
            qobject_cast<ProgressWindow *>(static_cast<QChildEvent *>(event)->child())) {
            watched->removeEventFilter(this);
            *m_shown = true;
            QTimer::singleShot(0, m_wizard, [wizard = m_wizard] { wizard->close(); });
        }
        return false;
    }

private:
    QPointer<QWidget> m_wizard;
    bool *m_shown;
};

} // namespace

class TestAddAlbum : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_shelf = std::make_unique<Shelf>();
    }
    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            window->close();
        settle();
        m_shelf.reset();
        m_prompter.reset();
        setAddModeDispatch({});
        setCdDeviceFactory({});
        CdDevice::setSource({});
        resetCdAudio();
    }

    // OK adds one album from the General tab and a song per row: a row without a title is
    // "Track n", a time goes with its text, a row without one has none; the first song's
    // number passes the held song's and the count of songs; the rows and the held song go.
    void singleArtistAlbum()
    {
        Shelf &shelf = *m_shelf;
        shelf.addSong(1, u"Older"_s);
        shelf.addSong(2, u"Old"_s);
        shelf.addRows(Instance, {{1, {}, u"Le Freak"_s, makeTime(0, 5, 30)},
                                 {7, {}, QString(), 0},
                                 {8, {}, u"Chic Cheer"_s, makeTime(0, 4, 33)}});
        settings::write(u"AutoAddToAlbums"_s, u"0"_s);
        Settings::global().autoAddToAlbums = u"0"_s;
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        QVERIFY(wizard);
        QCOMPARE(wizard->windowTitle(), u"Add Album by Single Artist"_s);
        QVERIFY(wizard->addToAlbums()->isChecked());
        QCOMPARE(Settings::global().autoAddToAlbums, u"1"_s);
        QCOMPARE(shelf.songs().records(), 3); // the held song
        QCOMPARE(wizard->tracks()->model()->rowCount(), 3);
        lineAfter(wizard, u"&Artist:"_s)->setText(u"Chic"_s);
        lineAfter(wizard, u"A&lbum:"_s)->setText(u"C'est Chic"_s);
        lineAfter(wizard, u"&File Number:"_s)->setText(u"A-12"_s);
        qobject_cast<QComboBox *>(fieldAfter(wizard, u"&Category:"_s))->setCurrentText(u"Disco"_s);
        m_prompter->answer(Yes); // add the new category
        press(wizard, u"&OK"_s);
        closeAndSettle(wizard);
        QCOMPARE(m_prompter->captions(), QStringList{u"Category not found"_s});
        QCOMPARE(Settings::global().autoAddToAlbums, u"0"_s); // read back from the file

        const QList<Record> albums = shelf.allAlbums();
        QCOMPARE(albums.size(), 1);
        QCOMPARE(albums.first().text(alb::Artist), u"Chic"_s);
        QCOMPARE(albums.first().text(alb::Album), u"C'est Chic"_s);
        QCOMPARE(albums.first().text(alb::FileNumber), u"A-12"_s);
        QCOMPARE(albums.first().text(alb::Media), u"CD"_s);
        QCOMPARE(albums.first().number(alb::CategoryID), 1);
        const QList<Song> songs = shelf.allSongs();
        QCOMPARE(songs.size(), 5);
        const Song &first = songs.at(2);
        QCOMPARE(first.id, 4);
        QCOMPARE(first.title, u"Le Freak"_s);
        QCOMPARE(first.albumId, 1);
        QCOMPARE(first.artist, u"Chic"_s);
        QCOMPARE(first.timeText, u"05:30"_s);
        QCOMPARE(songs.at(3).id, 5);
        QCOMPARE(songs.at(3).title, u"Track 7"_s);
        QCOMPARE(songs.at(3).track, 7);
        QCOMPARE(songs.at(3).time, 0);
        QCOMPARE(songs.at(3).timeText, QString());
        QCOMPARE(songs.at(4).time, makeTime(0, 4, 33));
        QCOMPARE(songs.at(4).timeText, u"04:33"_s);
        QCOMPARE(shelf.rowCount(Instance), 0);
    }

    // Three artists typed over tracks read from a disc image: one album of "Various" with
    // the disc's identifier, and one song per track with its artist, number and time.
    void compilationFromDiscImage()
    {
        Shelf &shelf = *m_shelf;
        CdDevice::setSource(prepareImage(shelf.workspace, u"three-tracks"_s));
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::Compilation);
        QVERIFY(wizard);
        QCOMPARE(wizard->windowTitle(), u"Add Compilation"_s);
        QVERIFY(!fieldAfter(wizard, u"&Artist:"_s));
        lineAfter(wizard, u"&Compilation Name:"_s)->setText(u"Short Ones"_s);
        wizard->tabs()->setCurrentIndex(1);
        QSignalSpy read(wizard->tracks(), &TrackList::discRead);
        press(wizard->tracks(), u"&Read Compact Disc Information"_s);
        QVERIFY(read.wait(20000));
        QCOMPARE(wizard->tracks()->model()->rowCount(), 3);
        press(wizard->tracks(), u"Edit All Son&gs"_s);
        const QStringList artists{u"Abba"_s, u"Blondie"_s, u"Chic"_s};
        for (const QString &artist : artists) {
            QTRY_COMPARE(shown<TrackDialog>().size(), 1);
            TrackDialog *dialog = shown<TrackDialog>().first();
            QCOMPARE(lineAfter(dialog, u"&Artist:"_s)->text().trimmed(), u"Various"_s);
            lineAfter(dialog, u"&Artist:"_s)->setText(artist);
            QPointer<TrackDialog> alive(dialog);
            press(dialog, u"&Ok"_s);
            QTRY_VERIFY(!alive);
        }
        QTRY_COMPARE(m_prompter->shown.size(), 1); // end of songs
        QTRY_VERIFY(wizard->isEnabled());
        press(wizard, u"&OK"_s);
        closeAndSettle(wizard);

        const QList<Record> albums = shelf.allAlbums();
        QCOMPARE(albums.size(), 1);
        QCOMPARE(albums.first().text(alb::Artist), u"Various"_s);
        QCOMPARE(albums.first().text(alb::Album), u"Short Ones"_s);
        QCOMPARE(albums.first().text(alb::CDIdentifier), u" 34501200115011001"_s);
        QCOMPARE(albums.first().number(alb::TotalTime), 0);
        const QList<Song> songs = shelf.allSongs();
        QCOMPARE(songs.size(), 3);
        const qint32 seconds[] = {20, 15, 10};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(songs.at(i).artist, artists.at(i));
            QCOMPARE(songs.at(i).track, i + 1);
            QCOMPARE(songs.at(i).title, u"Track %1"_s.arg(i + 1));
            QCOMPARE(songs.at(i).time, makeTime(0, 0, seconds[i]));
            QCOMPARE(songs.at(i).albumId, albums.first().number(alb::AlbumID));
        }
    }

    // The album's rules: a disc another album has is not taken again, a title the artist has
    // gets " (Copy)", and a third time adds no album but warns, its songs linked to none.
    void albumRecordRules()
    {
        Shelf &shelf = *m_shelf;
        const qint64 first = shelf.addAlbum(u"Chic"_s, u"Risque"_s, u"1234"_s);
        const Record keptAlbum = shelf.albums().buffer();
        CommitOutcome outcome;
        shelf.addRows(1, {{1, {}, u"Good Times"_s, 0}});
        const bool ok1 =
            commitAlbum(shelf.store(), commitOf(u"chic"_s, u"RISQUE"_s, u"1234"_s, 1), outcome);
        QVERIFY2(ok1, outcome.message ? qPrintable(outcome.message->text) : "no message");
        QVERIFY(outcome.albumAdded);
        QVERIFY(!outcome.message);
        QCOMPARE(outcome.albumId, first + 1);
        QCOMPARE(shelf.albums().buffer(), keptAlbum); // the shared buffer is left alone
        QList<Record> albums = shelf.allAlbums();
        QCOMPARE(albums.last().text(alb::Album), u"RISQUE (Copy)"_s);
        QCOMPARE(albums.last().text(alb::CDIdentifier), QString());

        shelf.addRows(2, {{1, {}, u"Good Times"_s, 0}});
        QVERIFY(
            commitAlbum(shelf.store(), commitOf(u"Chic"_s, u"Risque"_s, QString(), 2), outcome));
        QVERIFY(!outcome.albumAdded);
        QVERIFY(outcome.message);
        QCOMPARE(outcome.message->caption, u"Warning"_s);
        QCOMPARE(
            outcome.message->text,
            u"The artist and album information is a duplicate of information already in the database"_s);
        QCOMPARE(shelf.allAlbums().size(), 2);
        QCOMPARE(shelf.allSongs().size(), 2);
        QCOMPARE(shelf.allSongs().last().albumId, 0);

        // Without an album of its own the songs join the album of that artist and title.
        AlbumCommit linked = commitOf(u"Chic"_s, u"Risque"_s, QString(), 3);
        linked.addAlbum = false;
        shelf.addRows(3, {{1, {}, u"Will You Cry"_s, 0}});
        QVERIFY(commitAlbum(shelf.store(), linked, outcome));
        QCOMPARE(outcome.albumId, first);
        AlbumCommit loose = commitOf(u"Chic"_s, u"Real People"_s, QString(), 4);
        loose.addAlbum = false;
        shelf.addRows(4, {{1, {}, u"Rebels"_s, 0}});
        QVERIFY(commitAlbum(shelf.store(), loose, outcome));
        QCOMPARE(outcome.albumId, 0);
        QCOMPARE(shelf.allAlbums().size(), 2);
        QCOMPARE(shelf.allSongs().last().title, u"Rebels"_s);
    }

    // With the box cleared an existing artist and title links the songs to that album; the
    // box counts for this run only.
    void clearedBoxLinksToExistingAlbum()
    {
        Shelf &shelf = *m_shelf;
        const qint64 album = shelf.addAlbum(u"Various"_s, u"Disco Hits"_s);
        shelf.addRows(Instance, {{1, u"Sister Sledge"_s, u"Lost in Music"_s, 0}});
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::Compilation);
        lineAfter(wizard, u"&Compilation Name:"_s)->setText(u"Disco Hits"_s);
        wizard->addToAlbums()->setChecked(false);
        QCOMPARE(Settings::global().autoAddToAlbums, u"0"_s);
        press(wizard, u"&OK"_s);
        closeAndSettle(wizard);
        QCOMPARE(Settings::global().autoAddToAlbums, u"1"_s);
        QCOMPARE(shelf.allAlbums().size(), 1);
        QCOMPARE(shelf.allSongs().size(), 1);
        QCOMPARE(shelf.allSongs().first().albumId, album);
        QCOMPARE(shelf.allSongs().first().artist, u"Sister Sledge"_s);
    }

    // Cancel removes the held song and leaves the rows, which a later run with the same
    // number shows again; a run with another number does not.
    void cancelLeavesRowsForTheNextRun()
    {
        Shelf &shelf = *m_shelf;
        shelf.addRows(Instance, {{1, {}, u"Kept"_s, 0}});
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        QCOMPARE(shelf.songs().records(), 1);
        lineAfter(wizard, u"&Artist:"_s)->setText(u"Typed"_s);
        press(wizard, u"Cancel"_s);
        closeAndSettle(wizard);
        QCOMPARE(shelf.songs().records(), 0);
        QCOMPARE(shelf.rowCount(Instance), 1);
        wizard = openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        QCOMPARE(wizard->tracks()->model()->rowCount(), 1);
        wizard->close();
        closeAndSettle(wizard);
        QCOMPARE(shelf.songs().records(), 0);
        wizard = openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist, Instance + 1);
        QCOMPARE(wizard->tracks()->model()->rowCount(), 0);
    }

    // A wizard closed while the disc is read, in a window that stays (as the frame does):
    // the reading stops with the wizard, and no rows of that disc wait for the next run
    // with its number.
    void closedWhileReadingTheDisc()
    {
        Shelf &shelf = *m_shelf;
        CdDevice::setSource(prepareImage(shelf.workspace, u"three-tracks"_s));
        QWidget frame;
        auto *layout = new QVBoxLayout(&frame);
        QPointer<AddAlbumWizard> wizard = AddAlbumWizard::open(
            shelf.session, AddAlbumWizard::Kind::Compilation, Request::Insert, Instance);
        QVERIFY(wizard);
        layout->addWidget(wizard);
        frame.show();
        bool seen = false;
        CloseOnProgress close(&frame, wizard, &seen);
        press(wizard->tracks(), u"&Read Compact Disc Information"_s);
        closeAndSettle(wizard);
        QVERIFY(seen);
        QTRY_VERIFY(shown<ProgressWindow>().isEmpty());
        settle();
        QCOMPARE(shelf.rowCount(Instance), 0);
        QVERIFY(m_prompter->shown.isEmpty());
    }

    // Only inserts: a change or delete request is refused with its warning and no window.
    void invalidRequests()
    {
        Shelf &shelf = *m_shelf;
        QVERIFY(!AddAlbumWizard::open(shelf.session, AddAlbumWizard::Kind::Compilation,
                                      Request::Change));
        QVERIFY(!AddAlbumWizard::open(shelf.session, AddAlbumWizard::Kind::SingleArtist,
                                      Request::Delete));
        QCOMPARE(m_prompter->shown.size(), 2);
        QCOMPARE(m_prompter->shown.at(0).caption, u"Invalid Request"_s);
        QVERIFY(m_prompter->shown.at(0).text.contains(u"change"_s, Qt::CaseInsensitive));
        QVERIFY(m_prompter->shown.at(1).text.contains(u"delet"_s, Qt::CaseInsensitive));
        QCOMPARE(shelf.songs().records(), 0);
    }

    // A media format not on file: the single-artist wizard names the field and stays; the
    // compilation wizard refuses it without a message. Neither writes anything.
    void mediaMustBeOnFile()
    {
        Shelf &shelf = *m_shelf;
        shelf.addRows(Instance, {{1, {}, u"One"_s, 0}});
        for (const auto kind :
             {AddAlbumWizard::Kind::SingleArtist, AddAlbumWizard::Kind::Compilation}) {
            m_prompter->shown.clear();
            QPointer<AddAlbumWizard> wizard = openWizard(shelf.session, kind);
            qobject_cast<QComboBox *>(fieldAfter(wizard, u"&Media:"_s))
                ->setCurrentText(u"Shellac"_s);
            press(wizard, u"&OK"_s);
            settle();
            QVERIFY(wizard && wizard->isVisible());
            if (kind == AddAlbumWizard::Kind::SingleArtist) {
                QCOMPARE(m_prompter->captions(), QStringList{u"Field Contents Error"_s});
                QVERIFY(m_prompter->shown.first().text.contains(u"Media"_s));
            } else {
                QCOMPARE(m_prompter->shown.size(), 0);
                QVERIFY(!wizard->entryProblem().isEmpty());
            }
            QCOMPARE(shelf.allAlbums().size(), 0);
            QCOMPARE(shelf.rowCount(Instance), 1);
            qobject_cast<QComboBox *>(fieldAfter(wizard, u"&Media:"_s))->setCurrentText(u"vinyl"_s);
            wizard->close();
            closeAndSettle(wizard);
        }
        QCOMPARE(shelf.songs().records(), 0);
    }

    // The song list's Add follows the add mode: "C" and "S" open their wizard under the
    // list's number, "A" asks while the song is blank, anything else is the song form;
    // changes always open the song form, and so does Add from the album form.
    void addModeDispatch()
    {
        Shelf &shelf = *m_shelf;
        setAddModeDispatch(dispatchAddMode);
        QWidget caller;
        caller.setProperty("instance", 9);
        const auto formFor = [&](const QString &mode, Request request) {
            Settings::global().addMode = mode;
            shelf.songs().buffer().clear();
            return std::unique_ptr<UpdateForm>(createSongForm(shelf.session, request, &caller));
        };
        auto form = formFor(u"Compilation"_s, Request::Insert);
        auto *wizard = qobject_cast<AddAlbumWizard *>(form.get());
        QVERIFY(wizard);
        QCOMPARE(wizard->kind(), AddAlbumWizard::Kind::Compilation);
        QCOMPARE(wizard->tracks()->rows().instance(), 9);
        form = formFor(u"Single Artist"_s, Request::Insert);
        QCOMPARE(qobject_cast<AddAlbumWizard *>(form.get())->kind(),
                 AddAlbumWizard::Kind::SingleArtist);
        QVERIFY(qobject_cast<SongForm *>(formFor(u"Single Artist"_s, Request::Change).get()));
        QVERIFY(qobject_cast<SongForm *>(formFor(u"Normal"_s, Request::Insert).get()));
        shelf.session.calledFromAlbumForm = true;
        QVERIFY(qobject_cast<SongForm *>(formFor(u"Compilation"_s, Request::Insert).get()));
        shelf.session.calledFromAlbumForm = false;

        // Ask each time: the chooser starts on "Compilation" and its answer decides.
        QStringList titles;
        QTimer::singleShot(0, [&] { answerAddMode(u"Single Artist"_s, titles); });
        form = formFor(u"Ask Each Time"_s, Request::Insert);
        QCOMPARE(titles, (QStringList{u"Select Add Mode"_s, u"Compilation"_s}));
        QCOMPARE(qobject_cast<AddAlbumWizard *>(form.get())->kind(),
                 AddAlbumWizard::Kind::SingleArtist);
        QTimer::singleShot(0, [&] { answerAddMode(u"Normal"_s, titles); });
        QVERIFY(qobject_cast<SongForm *>(formFor(u"Ask Each Time"_s, Request::Insert).get()));
        // A song that already has a title is not asked about.
        Settings::global().addMode = u"A"_s;
        shelf.songs().buffer().clear();
        shelf.songs().buffer().setText(mus::Title, u"Given"_s);
        std::unique_ptr<UpdateForm> given(createSongForm(shelf.session, Request::Insert, &caller));
        QVERIFY(qobject_cast<SongForm *>(given.get()));
    }

    // A commit that cannot be completed (another station reads the scratch rows throughout)
    // writes nothing: the rows and the held song stay, and the wizard stays open.
    void failedCommitWritesNothing()
    {
        Shelf &shelf = *m_shelf;
        shelf.addRows(Instance, {{1, {}, u"One"_s, 0}, {2, {}, u"Two"_s, 0}});
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        lineAfter(wizard, u"&Artist:"_s)->setText(u"Chic"_s);
        lineAfter(wizard, u"A&lbum:"_s)->setText(u"Risque"_s);
        QProcess reader;
        reader.start(helperProgram(u"station"_s),
                     {shelf.path(), u"hold-read"_s, u"SVPAdWiz.tps"_s, u"AddWizard"_s});
        QVERIFY(reader.waitForReadyRead(10000));
        QCOMPARE(reader.readLine().trimmed(), QByteArray("ready"));
        press(wizard, u"&OK"_s);
        reader.kill();
        reader.waitForFinished();
        QVERIFY(wizard && wizard->isVisible());
        QCOMPARE(m_prompter->captions(), QStringList{u"Error!"_s});
        QCOMPARE(shelf.allAlbums().size(), 0);
        QCOMPARE(shelf.songs().records(), 1); // the held song alone
        QCOMPARE(shelf.rowCount(Instance), 2);
        press(wizard, u"&OK"_s);
        closeAndSettle(wizard);
        QCOMPARE(shelf.allAlbums().size(), 1);
        QCOMPARE(shelf.allSongs().size(), 2);
    }

    // The real program killed while it commits (another station's read keeps the commit
    // from ending): neither the album nor any song of its rows is left, and every row is
    // still there for the next run.
    void killedCommitLeavesNothing()
    {
        Shelf &shelf = *m_shelf;
        settings::writeNumber(u"SetupWizardComplete"_s, 1);
        settings::writeNumber(u"ShowTips"_s, 0);
        shelf.addRows(
            2,
            {{1, {}, u"One"_s, makeTime(0, 3, 0)}, {2, {}, u"Two"_s, 0}, {3, {}, u"Three"_s, 0}});
        shelf.release();
        QFile script(shelf.file(u"script.txt"_s));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("open AddSingleArtist\ntype &Artist:=Chic\ntype A&lbum:=Risque\n"
                     "say committing\npress &OK\nsay done\n");
        script.close();

        QProcess reader;
        reader.start(helperProgram(u"station"_s),
                     {shelf.path(), u"hold-read"_s, u"SVPAdWiz.tps"_s, u"AddWizard"_s});
        QVERIFY(reader.waitForReadyRead(10000));
        QCOMPARE(reader.readLine().trimmed(), QByteArray("ready"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"SONGVANE_TEST_SCRIPT"_s, script.fileName());
        program.setProcessEnvironment(environment);
        program.start(QDir(helperProgram(QString())).filePath(u"../../songvane"_s),
                      {u"--data"_s, shelf.path(), u"--config"_s, shelf.file(u"config"_s)});
        QVERIFY(program.waitForStarted(10000));
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += program.readAll()).contains("committing"), 60000);
        // The transaction's journal shows the commit under way.
        const QDir folder(shelf.path());
        QTRY_VERIFY_WITH_TIMEOUT(!folder.entryList({u"*-journal"_s}, QDir::Files).isEmpty(), 20000);
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(10000));
        reader.kill();
        QVERIFY(reader.waitForFinished(10000));
        output += program.readAll();
        QVERIFY2(!output.contains("question:"), output.constData());

        Session session(shelf.path());
        session.announceTables();
        Store &store = session.store();
        const TableUses use =
            session.files().use({&store.table(TableId::Songs), &store.table(TableId::Albums),
                                 &store.table(TableId::AddWizard)});
        QVERIFY(bool(use));
        QCOMPARE(store.table(TableId::Albums).records(), 0);
        Table &songs = store.table(TableId::Songs);
        songs.setFileOrder();
        while (songs.next()) // at most the song the wizard held while it was open
            QCOMPARE(songs.buffer().text(mus::Title), QString());
        QList<TrackRow> rows;
        QVERIFY(TrackRows(store.table(TableId::AddWizard), 2).read(rows));
        QCOMPARE(rows.size(), 3);
    }

private:
    static void answerAddMode(const QString &mode, QStringList &seen)
    {
        QTRY_VERIFY(qobject_cast<SelectAddMode *>(QApplication::activeModalWidget()));
        auto *chooser = qobject_cast<SelectAddMode *>(QApplication::activeModalWidget());
        seen = {chooser->windowTitle(), chooser->chosen()};
        for (QRadioButton *choice : chooser->findChildren<QRadioButton *>()) {
            if (choice->text() == mode)
                choice->setChecked(true);
        }
        buttonOf(chooser, u"&Ok"_s)->click();
    }

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<Shelf> m_shelf;
};

QTEST_MAIN(TestAddAlbum)
#include "tst_addalbum.moc"
