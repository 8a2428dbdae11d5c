#include "app/browselist.h"
#include "app/eventlog.h"
#include "app/helpwindow.h"
#include "app/mainframe.h"
#include "app/pagemodel.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "app/updateform.h"
#include "catalogue.h"
#include "platform/cddevice.h"
#include "platform/discaudio.h"
#include "platform/inifile.h"
#include "platform/instances.h"
#include "platform/mcicommand.h"
#include "platform/paths.h"
#include "platform/stddate.h"
#include "songs/songform.h"
#include "testsupport.h"
#include "wizards/addalbumwizard.h"
#include "wizards/cdplayer.h"
#include "wizards/cdplayerpreferences.h"
#include "wizards/cdreader.h"
#include "wizards/tracklist.h"
#include "wizardtest.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSignalSpy>
#include <QTableView>
#include <QToolBar>

using namespace sv;
using namespace sv::test;
using namespace Qt::StringLiterals;

namespace {

constexpr qint32 seconds(int count)
{
    return count * FramesPerSecond;
}

// A disc from its track lengths in seconds.
CdToc discOf(const QList<int> &lengths)
{
    QList<qint32> starts;
    qint32 at = 0;
    for (int length : lengths) {
        starts.append(at);
        at += seconds(length);
    }
    return makeAudioToc(starts, at);
}

CdToc threeTracks()
{
    return discOf({20, 15, 10});
}

CdToc twelveTracks()
{
    return discOf({30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41});
}

class Shelf : public test::Catalogue
{
public:
    Shelf()
        : test::Catalogue({TableId::Songs, TableId::Albums, TableId::AddWizard, TableId::Categories,
                           TableId::Media})
    {
        Table &media = table(TableId::Media);
        media.buffer().clear();
        media.buffer().setText(med::Media, u"CD"_s);
        QVERIFY(media.add());
    }

    void addAlbum(qint64 id, const QString &title, const QString &identifier, int tracks)
    {
        Record &album = table(TableId::Albums).buffer();
        album.clear();
        album.setNumber(alb::AlbumID, id);
        album.setText(alb::Album, title);
        album.setText(alb::Artist, u"Band"_s);
        album.setText(alb::CDIdentifier, identifier);
        QVERIFY(table(TableId::Albums).add());
        Table &songs = table(TableId::Songs);
        for (int track = 1; track <= tracks; ++track) {
            Record &song = songs.buffer();
            song.clear();
            song.setNumber(mus::ID, id * 100 + track);
            song.setNumber(mus::AlbumID, id);
            song.setNumber(mus::TrackNumber, track);
            song.setText(mus::Title, u"Song %1"_s.arg(track));
            song.setText(mus::Artist, u"Band"_s);
            song.setNumber(mus::Time, makeTime(0, 3, track));
            QVERIFY(songs.add());
        }
        album.clear();
    }

    QList<int> tableUsers()
    {
        QList<int> users;
        for (TableId id : {TableId::Songs, TableId::Albums, TableId::AddWizard})
            users.append(session.files().users(table(id)));
        return users;
    }
};

// The identifier the player and the reader build for a disc.
QString identifierOf(const std::shared_ptr<CdScript> &script, const CdToc &toc)
{
    const CdToc before = script->toc;
    const CdDevice::Media media = script->media;
    script->toc = toc;
    script->media = CdDevice::Media::Ready;
    SendMCICommand(u"open cdaudio shareable"_s);
    const QString identifier = readDiscIdentifier();
    SendMCICommand(u"close cdaudio"_s);
    script->toc = before;
    script->media = media;
    return identifier;
}

QStringList logLines(const Workspace &workspace)
{
    QFile file(workspace.file(u"SVPEvent.LOG"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty())
            lines.append(text.mid(22).simplified()); // the label and the data, without the stamp
    }
    return lines;
}

// The disc image of tests/wizards/discs/three-tracks.cue in the workspace, its bin sparse.
QString threeTrackImage(const Workspace &workspace)
{
    const QString cue = workspace.file(u"three-tracks.cue"_s);
    QFile::copy(QFINDTESTDATA(u"wizards/discs/three-tracks.cue"_s), cue);
    QFile bin(workspace.file(u"three-tracks.bin"_s));
    bin.open(QIODevice::WriteOnly);
    bin.resize(qint64(3375) * SectorBytes);
    return cue;
}

QString highlightedTrack(CdPlayer *player)
{
    const int row = player->list()->highlightedRow();
    return row < 0 ? QString() : player->list()->model()->textAt(row, 0).trimmed();
}

} // namespace

class TestCdPlayer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_shelf = std::make_unique<Shelf>();
        m_script = std::make_shared<CdScript>();
        m_script->toc = threeTracks();
        ScriptedCdDevice::install(m_script);
        m_now = 0;
        PlayClock::setTimeSource([this] { return m_now; });
        m_sent.clear();
        setMciTracer([this](const QString &command, const QString &reply) {
            m_sent.append(command + u" -> "_s + reply);
        });
        setMciLogger(logEvent);
    }

    void cleanup()
    {
        // A player waiting for a window it called goes once that window has gone.
        for (int round = 0; round < 2; ++round) {
            for (QWidget *window : QApplication::topLevelWidgets())
                window->close();
            settle();
        }
        CdPlayer::setAlbumFormFactory({});
        resetCdAudio();
        resetEventLog();
        setCdDeviceFactory({});
        setPcmSinkFactory({});
        CdDevice::setSource({});
        setMciTracer({});
        setMciLogger({});
        PlayClock::setTimeSource({});
        m_shelf.reset();
        m_prompter.reset();
    }

    // Times without their leading zeros and colons, down to m:ss.
    void shortTimeForm()
    {
        QCOMPARE(CdPlayer::formatShortTime(0), QString());
        QCOMPARE(CdPlayer::formatShortTime(makeTime(0, 4, 33)), u"4:33"_s);
        QCOMPARE(CdPlayer::formatShortTime(makeTime(0, 12, 5)), u"12:05"_s);
        QCOMPARE(CdPlayer::formatShortTime(makeTime(1, 2, 3)), u"1:02:03"_s);
        QCOMPARE(CdPlayer::formatShortTime(makeTime(0, 0, 7)), u"0:07"_s);
    }

    // A disc is detected only when the drive goes from an open tray (or nothing seen yet) to
    // a disc: "Init", the lengths and the album are read at that poll. A mode seen in
    // between (not ready while it spins up) hides the disc until the tray opens again.
    void detectionFollowsTheModeHistory()
    {
        const QString known = identifierOf(m_script, threeTracks());
        const QString other = identifierOf(m_script, twelveTracks());
        m_shelf->addAlbum(1, u"Three Tracks"_s, known, 3);
        m_shelf->addAlbum(2, u"Twelve Tracks"_s, other, 12);
        m_script->media = CdDevice::Media::DoorOpen;
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        QCOMPARE(player->windowTitle(), u"CD Player"_s);
        QCOMPARE(player->positionText(u"status"_s), u"(shared mode)"_s);
        player->poll();
        QCOMPARE(player->mode(), u"open"_s);
        QCOMPARE(player->eventWord(), QString());
        QCOMPARE(player->windowTitle(), u"CD Player"_s); // identified: no disc, no album

        m_script->media = CdDevice::Media::Ready;
        player->poll();
        QCOMPARE(player->mode(), u"stopped"_s);
        QCOMPARE(player->eventWord(), u"Init"_s);
        QCOMPARE(player->windowTitle(), u"CD Player - Three Tracks"_s);
        QCOMPARE(player->trackCount(), 3);
        QCOMPARE(player->positionText(u"CD Length:"_s), u"0:45"_s);
        QCOMPARE(player->positionText(u"Track Length:"_s), u"0:20"_s);
        QCOMPARE(player->list()->model()->rowCount(), 3);
        player->poll();
        QCOMPARE(player->eventWord(), QString());

        // Tray out, a new disc that is not ready at the first look: not detected.
        m_script->media = CdDevice::Media::DoorOpen;
        player->poll();
        m_script->toc = twelveTracks();
        m_script->media = CdDevice::Media::NotReady;
        player->poll();
        QCOMPARE(player->mode(), u"not ready"_s);
        m_script->media = CdDevice::Media::Ready;
        player->poll();
        QCOMPARE(player->eventWord(), QString());
        QCOMPARE(player->windowTitle(), u"CD Player - Three Tracks"_s);

        // Until the tray opens again.
        m_script->media = CdDevice::Media::DoorOpen;
        player->poll();
        m_script->media = CdDevice::Media::Ready;
        player->poll();
        QCOMPARE(player->eventWord(), u"Init"_s);
        QCOMPARE(player->windowTitle(), u"CD Player - Twelve Tracks"_s);
        QCOMPARE(player->list()->model()->rowCount(),
                 qMin(12, player->list()->model()->pageSize()));
        QVERIFY(m_prompter->shown.isEmpty());
    }

    // A disc on file: the playing track's song is highlighted as play moves on, with "Sync"
    // at the change, the positions in the short form and the bar following the track.
    void playingTrackHighlighted()
    {
        m_shelf->addAlbum(1, u"Three Tracks"_s, identifierOf(m_script, threeTracks()), 3);
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        player->poll();
        QCOMPARE(highlightedTrack(player), u"1"_s);
        player->list()->highlightRow(1);
        QTest::keyClick(player->list()->view(), Qt::Key_Return);
        QVERIFY(m_sent.contains(u"play cdaudio from 2 -> "_s));
        m_now += 1000;
        player->poll();
        QCOMPARE(player->mode(), u"playing"_s);
        QCOMPARE(player->eventWord(), u"Sync"_s);
        QCOMPARE(player->currentTrack(), 2);
        QCOMPARE(highlightedTrack(player), u"2"_s);
        QCOMPARE(player->positionText(u"Track Position:"_s), u"0:01"_s);
        QCOMPARE(player->positionText(u"Track Length:"_s), u"0:15"_s);
        QCOMPARE(player->positionText(u"CD Position:"_s), u"0:23"_s);
        QCOMPARE(player->percentage(), 6);
        QCOMPARE(player->positionBar()->value(), 6);
        QCOMPARE(player->performance(), 100);

        m_now += 14500; // into track 3
        player->poll();
        QCOMPARE(player->eventWord(), u"Sync"_s);
        QCOMPARE(highlightedTrack(player), u"3"_s);
        QCOMPARE(player->positionText(u"Track Length:"_s), u"0:10"_s);
        m_now += 1000;
        player->poll();
        QCOMPARE(player->eventWord(), QString());
        QCOMPARE(highlightedTrack(player), u"3"_s);
    }

    // An image of a disc on file, played into a silent sink by the test's clock: the album
    // is recognised, the playing track highlighted and the position follows the sound. When
    // the image goes away while it plays, the player says so and stays usable.
    void imageOfADiscOnFile()
    {
        setCdDeviceFactory({});
        setPcmSinkFactory([] { return std::make_unique<SilentPcmSink>(); });
        CdDevice::setSource(threeTrackImage(m_shelf->workspace));
        SendMCICommand(u"open cdaudio shareable"_s);
        const QString identifier = readDiscIdentifier();
        SendMCICommand(u"close cdaudio"_s);
        QCOMPARE(identifier, u" 34501200115011001"_s);
        m_shelf->addAlbum(3, u"Short Ones"_s, identifier, 3);
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        player->poll();
        QCOMPARE(player->eventWord(), u"Init"_s);
        QCOMPARE(player->windowTitle(), u"CD Player - Short Ones"_s);
        player->next();
        player->next();
        m_now += 3000;
        player->poll();
        QCOMPARE(player->mode(), u"playing"_s);
        QCOMPARE(highlightedTrack(player), u"3"_s);
        QCOMPARE(player->positionText(u"Track Position:"_s), u"0:03"_s);
        QCOMPARE(player->percentage(), 30);
        QVERIFY(player->note().isEmpty());

        QVERIFY(QFile::remove(m_shelf->workspace.file(u"three-tracks.cue"_s)));
        m_now += 1000;
        player->poll();
        QCOMPARE(player->mode(), u"not ready"_s);
        QCOMPARE(player->note(), u"The disc image is gone: play stopped."_s);
        player->play();
        player->stop();
        player->poll();
        QCOMPARE(player->mode(), u"not ready"_s);
        player->close();
        settle();
        QVERIFY(!player);
        setPcmSinkFactory({});
        CdDevice::setSource({});
    }

    // The controls send their commands: Play lowers a track beyond the disc to its last;
    // Previous goes back a track only within the first three seconds (never below 1); Next
    // has no bound; Back within the first ten seconds is refused by the drive and logged,
    // play going on; Pause and Play in turn; the bar plays from the place clicked.
    void controlsSendTheirCommands()
    {
        m_script->toc = twelveTracks();
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->positionBar()->setFixedWidth(400);
        player->show();
        m_prompter->answer(No);
        player->poll();
        QCOMPARE(m_prompter->shown.size(), 1); // not on file
        m_prompter->shown.clear();

        for (int i = 0; i < 14; ++i)
            player->next();
        QCOMPARE(player->currentTrack(), 15);
        m_sent.clear();
        player->play();
        QCOMPARE(m_sent, QStringList({u"play cdaudio from 12 -> "_s}));

        const auto playFrom = [&](int track, int secondsIn) {
            SendMCICommand(u"play cdaudio from %1"_s.arg(track));
            m_now += secondsIn * 1000;
            player->poll();
            QCOMPARE(player->currentTrack(), track);
            m_sent.clear();
            player->previous();
        };
        playFrom(5, 2);
        QCOMPARE(m_sent.last(), u"play cdaudio from 4 -> "_s);
        QCOMPARE(m_sent.first().left(23), u"status cdaudio position"_s);
        playFrom(5, 10);
        QCOMPARE(m_sent.last(), u"play cdaudio from 5 -> "_s);
        playFrom(1, 1);
        QCOMPARE(m_sent.last(), u"play cdaudio from 1 -> "_s);

        // Back at 4 seconds into the disc: 2000 + 4000 ms on its clock, ten seconds back.
        SendMCICommand(u"play cdaudio from 1"_s);
        m_now += 4000;
        m_sent.clear();
        player->back();
        QCOMPARE(m_sent.at(2), u"play cdaudio from -4000 -> Error:282"_s);
        QCOMPARE(SendMCICommand(u"status cdaudio mode"_s), u"playing"_s);
        QVERIFY(logLines(m_shelf->workspace).isEmpty()); // the log is off by default
        player->forward();
        QVERIFY(m_sent.contains(u"play cdaudio from 16000 -> "_s));

        m_sent.clear();
        player->pause();
        player->pause();
        QCOMPARE(m_sent, QStringList({u"pause cdaudio -> "_s, u"play cdaudio -> "_s}));
        player->stop();
        QCOMPARE(m_sent.last(), u"stop cdaudio -> "_s);

        // Half way along the bar of track 1 (30 seconds): 15 seconds in.
        SendMCICommand(u"play cdaudio from 1"_s);
        player->poll();
        m_sent.clear();
        player->locate(200);
        QCOMPARE(m_sent.at(2), u"play cdaudio from 17010 -> "_s);
        m_now += 1000;
        player->poll();
        QCOMPARE(player->positionText(u"Track Position:"_s), u"0:16"_s);
    }

    // A disc not on file asks once; No leaves "(no detection)" for the rest of the window's
    // life, so a second unknown disc is not offered.
    void unknownDiscAnsweredNo()
    {
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        m_prompter->answer(No);
        player->poll();
        QCOMPARE(m_prompter->captions(), QStringList({u"New CD Found"_s}));
        QCOMPARE(m_prompter->shown.first().text, u"Add this CD to the database"_s);
        QCOMPARE(player->deviceStatus(), u"(no detection)"_s);
        QCOMPARE(player->windowTitle(), u"CD Player"_s);
        QCOMPARE(player->list()->model()->rowCount(), 0);

        m_script->media = CdDevice::Media::DoorOpen;
        player->poll();
        m_script->toc = twelveTracks();
        m_script->media = CdDevice::Media::Ready;
        player->poll();
        QCOMPARE(player->eventWord(), u"Init"_s);
        QCOMPARE(m_prompter->shown.size(), 1);
        QCOMPARE(player->deviceStatus(), u"(no detection)"_s);
    }

    // Yes stops play and gives the device up for the wizard of the user's choice, which the
    // player waits for without looking at the drive; afterwards it takes the device again.
    // An album added there is recognised straight away; the question is not asked again.
    void unknownDiscAdded_data()
    {
        QTest::addColumn<int>("compilation");
        QTest::newRow("single artist") << 0;
        QTest::newRow("compilation") << 1;
    }
    void unknownDiscAdded()
    {
        QFETCH(int, compilation);
        Settings::global().defaultWizardCompilation = compilation;
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        m_prompter->answer(Yes);
        SendMCICommand(u"play cdaudio from 1"_s);
        m_sent.clear();
        player->poll();
        QVERIFY(m_sent.contains(u"stop cdaudio -> "_s));
        QVERIFY(m_sent.contains(u"close cdaudio -> "_s));
        QCOMPARE(m_script->closed, 1);
        QCOMPARE(player->deviceStatus(), u"(closed)"_s);
        QVERIFY(!player->deviceOpen());
        auto *wizard = qobject_cast<AddAlbumWizard *>(player->callee());
        QVERIFY(wizard);
        QCOMPARE(wizard->kind(), compilation ? AddAlbumWizard::Kind::Compilation
                                             : AddAlbumWizard::Kind::SingleArtist);
        QVERIFY(!player->isEnabled());
        m_sent.clear();
        player->poll();
        QVERIFY(m_sent.isEmpty());

        // The wizard reads the disc with the device its own, then adds the album.
        buttonOf(wizard->tracks(), u"&Read Compact Disc Information"_s)->click();
        QTRY_COMPARE(wizard->tracks()->model()->rowCount(), 3);
        QTRY_COMPARE(m_script->closed, 2);
        if (compilation) {
            lineAfter(wizard, u"&Compilation Name:"_s)->setText(u"Added Here"_s);
        } else {
            lineAfter(wizard, u"A&lbum:"_s)->setText(u"Added Here"_s);
            lineAfter(wizard, u"&Artist:"_s)->setText(u"Someone"_s);
        }
        buttonOf(wizard, u"&OK"_s)->click();
        settle();
        QVERIFY(!player->callee());
        QCOMPARE(player->deviceStatus(), u"(shared mode)"_s);
        QVERIFY(player->deviceOpen());
        QVERIFY(player->isEnabled());
        player->poll();
        QCOMPARE(player->windowTitle(), u"CD Player - Added Here"_s);
        QCOMPARE(player->list()->model()->rowCount(), 3);
        QCOMPARE(m_prompter->shown.size(), 1);
    }

    // The wizard cancelled: the device is taken again, the disc stays unknown and the
    // question is not asked again for it; a device that cannot be had again closes the
    // player with the message that says to re-insert the disc.
    void wizardCancelledAndDeviceLost()
    {
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        m_prompter->answer(Yes);
        player->poll();
        QPointer<UpdateForm> wizard = qobject_cast<UpdateForm *>(player->callee());
        QVERIFY(wizard);
        wizard->cancel();
        settle();
        QCOMPARE(player->deviceStatus(), u"(shared mode)"_s);
        player->poll();
        m_script->media = CdDevice::Media::DoorOpen;
        player->poll();
        m_script->media = CdDevice::Media::Ready;
        player->poll();
        QCOMPARE(player->eventWord(), u"Init"_s);
        QCOMPARE(m_prompter->shown.size(), 1);

        m_script->toc = twelveTracks();
        m_script->media = CdDevice::Media::DoorOpen;
        player->poll();
        m_script->media = CdDevice::Media::Ready;
        m_prompter->answer(Yes);
        player->poll();
        wizard = qobject_cast<UpdateForm *>(player->callee());
        QVERIFY(wizard);
        m_script->openResult = CdDevice::OpenResult::InUse;
        wizard->cancel();
        settle();
        QVERIFY(!player);
        QCOMPARE(m_prompter->shown.last().text,
                 u"CD player not available.\nYou may need to eject and re-insert the CD."_s);
        QCOMPARE(m_prompter->shown.last().caption, u"Error"_s);
    }

    // A disc without audio: no identifier but "0", no album, no question.
    void discWithoutAudio()
    {
        CdToc toc = threeTracks();
        for (CdTrack &track : toc.tracks)
            track.audio = false;
        m_script->toc = toc;
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        player->poll();
        QCOMPARE(player->trackCount(), 0);
        QCOMPARE(player->windowTitle(), u"CD Player"_s);
        QCOMPARE(m_shelf->table(TableId::Albums).buffer().text(alb::CDIdentifier), u"0"_s);
        QCOMPARE(player->list()->model()->rowCount(), 0);
        QVERIFY(m_prompter->shown.isEmpty());
        m_sent.clear();
        player->play();
        QCOMPARE(m_sent.first(), u"play cdaudio from 0 -> Error:282"_s);
    }

    // The timer runs on the CDTimer period above 10 hundredths only; "Do Not Check" chosen
    // while the player is open stops its looks at once.
    void pollPeriod()
    {
        for (const int period : {0, 10}) {
            Settings::global().cdTimer = period;
            QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
            QVERIFY(player && !player->isPolling());
            player->close();
            settle();
        }
        Settings::global().cdTimer = 11;
        m_prompter->answer(No);
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player && player->isPolling());
        QCOMPARE(player->pollPeriod(), 110);
        QTRY_COMPARE(player->mode(), u"stopped"_s);
        player->setPreferences();
        auto *preferences = qobject_cast<CdPlayerPreferences *>(player->callee());
        QVERIFY(preferences);
        preferences->periods()->button(0)->click(); // "Do Not Check"
        buttonOf(preferences, u"&Ok"_s)->click();
        settle();
        QVERIFY(!player->callee());
        QCOMPARE(Settings::global().cdTimer, 0);
        m_script->media = CdDevice::Media::DoorOpen;
        m_sent.clear();
        player->poll();
        QTest::qWait(50);
        QVERIFY(m_sent.isEmpty());
        QCOMPARE(player->mode(), u"stopped"_s);
    }

    // A device that cannot be had: the two opens are logged with their replies, the user is
    // told, the incident is logged with the program's windows and version, and no player
    // opens; one that another program holds says the same.
    void openFailures()
    {
        Settings::global().useLog = 1;
        m_script->openResult = CdDevice::OpenResult::NoDevice;
        QVERIFY(!CdPlayer::open(m_shelf->session));
        QCOMPARE(m_prompter->captions(), QStringList({u"Error"_s}));
        QCOMPARE(m_prompter->shown.first().text,
                 u"CD player not available.  Ensure that no other program is using the CD-ROM "
                 "drive."_s);
        const QStringList lines = logLines(m_shelf->workspace);
        QVERIFY2(lines.size() >= 11, qPrintable(lines.join(u'\n')));
        QCOMPARE(lines.at(3), u"CDPlayer open cdaudio shareable: Error:263"_s);
        QCOMPARE(lines.at(7), u"CDPlayer open cdaudio: Error:263"_s);
        QCOMPARE(lines.at(lines.size() - 4).section(u' ', 0, 0), u"Version"_s);
        QCOMPARE(lines.at(lines.size() - 3).section(u' ', 0, 0), u"AppDate"_s);
        QCOMPARE(lines.at(lines.size() - 2).section(u' ', 0, 0), u"AppTime"_s);
        QCOMPARE(lines.last(), u"EndIncident "_s + QString(47, u'-'));

        m_script->openResult = CdDevice::OpenResult::InUse;
        QVERIFY(!CdPlayer::open(m_shelf->session));
        QCOMPARE(m_prompter->shown.size(), 2);
        QVERIFY(logLines(m_shelf->workspace).contains(u"CDPlayer open cdaudio: Error:291"_s));
    }

    // A reader run while the player holds the device shares it and gives back only its own
    // open; the player closing leaves the device to a reader that still has it.
    void playerAndReaderShareTheDevice()
    {
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->show();
        m_prompter->answer(No);
        player->poll();
        CdReading *reading = ReadCompactDiscInformation(m_shelf->session, true, false);
        QSignalSpy finished(reading, &CdReading::finished);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(m_script->closed, 0);
        player->poll();
        QCOMPARE(player->mode(), u"stopped"_s);

        QCOMPARE(SendMCICommand(u"open cdaudio shareable"_s), u"1"_s); // a reader's
        player->close();
        settle();
        QVERIFY(!player);
        QCOMPARE(m_script->closed, 0);
        QCOMPARE(SendMCICommand(u"status cdaudio number of tracks"_s), u"3"_s);
        SendMCICommand(u"close cdaudio"_s);
        QCOMPARE(m_script->closed, 1);
    }

    // Typing a digit moves to the next song whose track begins with it, round again; Edit
    // opens the song form on the highlighted song and the album form on the album, the
    // player waiting for each and refreshing its list after.
    void typeAheadAndEdit()
    {
        m_script->toc = twelveTracks();
        m_shelf->addAlbum(7, u"Twelve"_s, identifierOf(m_script, twelveTracks()), 12);
        QPointer<CdPlayer> player = CdPlayer::open(m_shelf->session);
        QVERIFY(player);
        player->resize(640, 700);
        player->show();
        player->poll();
        QTableView *view = player->list()->view();
        QStringList visited;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClicks(view, u"1"_s);
            visited.append(highlightedTrack(player));
        }
        QCOMPARE(visited, QStringList({u"10"_s, u"11"_s, u"12"_s, u"1"_s, u"10"_s}));
        QTest::keyClicks(view, u"3"_s);
        QCOMPARE(highlightedTrack(player), u"3"_s);

        player->editSong();
        QPointer<SongForm> form = qobject_cast<SongForm *>(player->callee());
        QVERIFY(form);
        QCOMPARE(form->request(), Request::Change);
        QCOMPARE(form->record().number(mus::TrackNumber), 3);
        QVERIFY(!m_shelf->session.calledFromAlbumForm);
        player->close(); // waits for the form
        settle();
        QVERIFY(player);
        form->cancel();
        settle();
        QVERIFY(player->isEnabled() && !player->callee());

        bool flagSeen = false;
        CdPlayer::setAlbumFormFactory([&flagSeen](Session &session, Request request) {
            flagSeen = session.calledFromAlbumForm;
            return new UpdateForm(session, TableId::Albums, u"UpdateAlbum"_s, request);
        });
        player->editAlbum();
        QPointer<UpdateForm> albumForm = qobject_cast<UpdateForm *>(player->callee());
        QVERIFY(albumForm);
        QCOMPARE(albumForm->record().number(alb::AlbumID), 7);
        QVERIFY(flagSeen && !m_shelf->session.calledFromAlbumForm);
        albumForm->cancel();
        settle();
        QVERIFY(player->isEnabled());
    }

    // From the frame: File / CD Player and the toolbar's Play CD open the window; closing it
    // leaves no empty frame, gives back the tables and the device, and keeps its place.
    void windowLifetimeInTheFrame()
    {
        Procedures::clear();
        Procedures::add(
            u"CDPlayer"_s, Procedures::Placement::OwnWindow,
            [](Session &session, MainFrame &) -> QWidget * { return CdPlayer::open(session); });
        MainFrame frame(m_shelf->session);
        Instances::reset();
        settings::writeNumber(u"SetupWizardComplete"_s, 1);
        settings::writeNumber(u"ShowTips"_s, 0);
        QVERIFY(frame.openCatalogue());
        frame.resize(1000, 700);
        frame.showAndStart();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<SplashWindow *>(window))
                window->close();
        }
        settle();
        const QList<int> before = m_shelf->tableUsers();
        QAction *entry = frame.menuAction(u"CDPlayer"_s);
        QVERIFY(entry && entry->isEnabled());
        QCOMPARE(entry->text(), u"&CD Player"_s);
        QAction *playCd = nullptr;
        for (QToolBar *bar : frame.findChildren<QToolBar *>()) {
            for (QAction *action : bar->actions()) {
                if (action->text() == u"Play CD")
                    playCd = action;
            }
        }
        QVERIFY(playCd && playCd->isEnabled());
        QMdiArea *area = frame.mdiArea();
        for (const bool byButton : {false, true}) {
            (byButton ? playCd : entry)->trigger();
            settle();
            QCOMPARE(area->subWindowList().size(), 1);
            QPointer<CdPlayer> player =
                qobject_cast<CdPlayer *>(area->subWindowList().first()->widget());
            QVERIFY(player);
            QCOMPARE(m_script->opened, m_script->closed + 1);
            QVERIFY(m_shelf->tableUsers() != before);
            QCOMPARE(HelpWindow::topicFor(player), u"catalogue.html"_s);
            if (byButton)
                buttonOf(player, u"Cl&ose"_s)->click();
            else
                area->subWindowList().first()->close();
            settle();
            QVERIFY(!player);
            QVERIFY(area->subWindowList().isEmpty());
            QCOMPARE(m_shelf->tableUsers(), before);
            QCOMPARE(m_script->opened, m_script->closed);
        }
        QVERIFY(IniFile::sections(Paths::positionFile()).contains(u"IntegratedCDPlayer"_s));
        frame.close();
        settle();
        Procedures::clear();
    }

private:
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<Shelf> m_shelf;
    std::shared_ptr<CdScript> m_script;
    qint64 m_now = 0;
    QStringList m_sent;
};

QTEST_MAIN(TestCdPlayer)
#include "tst_cdplayer.moc"
