#include "app/session.h"
#include "catalogue.h"
#include "platform/mcicommand.h"
#include "platform/stddate.h"
#include "testsupport.h"
#include "wizards/cdreader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

qint32 minutes(int minutes, int seconds)
{
    return makeTime(minutes / 60, minutes % 60, seconds);
}

// A disc image of tests/wizards/discs in the workspace: the cue file with a zero-filled
// (sparse) bin of the size its REM line gives.
QString prepareImage(const test::Workspace &workspace, const QString &name)
{
    const QString cue = workspace.file(name + u".cue"_s);
    // Named from the tests folder, so that it is found even when the compiler saw this
    // file by a relative path (a compiler cache shared between checkouts does that).
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

QString twoDigits(int number)
{
    return QString::number(number).rightJustified(2, u'0');
}

// 99 tracks, track i lasting 2 seconds and i frames.
QString write99TrackImage(const test::Workspace &workspace)
{
    QString cue = u"FILE \"ninety-nine.bin\" BINARY\n"_s;
    qint32 start = 0;
    for (int track = 1; track <= 99; ++track) {
        const int frames = start % 75;
        const int seconds = start / 75;
        cue += u"  TRACK %1 AUDIO\n    INDEX 01 %2:%3:%4\n"_s.arg(
            twoDigits(track), twoDigits(seconds / 60), twoDigits(seconds % 60), twoDigits(frames));
        start += 150 + track;
    }
    QFile file(workspace.file(u"ninety-nine.cue"_s));
    file.open(QIODevice::WriteOnly);
    file.write(cue.toUtf8());
    QFile bin(workspace.file(u"ninety-nine.bin"_s));
    bin.open(QIODevice::WriteOnly);
    bin.resize(qint64(start) * SectorBytes);
    return file.fileName();
}

// A disc from its track lengths in frames.
CdToc discOfLengths(const QList<qint32> &lengths)
{
    QList<qint32> starts;
    qint32 at = 0;
    for (qint32 length : lengths) {
        starts.append(at);
        at += length;
    }
    return makeAudioToc(starts, at);
}

constexpr qint32 frames(int minutes, int seconds, int frames = 0)
{
    return (minutes * 60 + seconds) * 75 + frames;
}

// Twelve tracks: the disc 49:10 with tracks of 4:33, 3:58 and 5:02 first.
CdToc twelveTracks()
{
    QList<qint32> lengths = {frames(4, 33, 10), frames(3, 58, 20), frames(5, 2, 5)};
    for (int track = 4; track <= 12; ++track)
        lengths.append(17807);
    lengths.last() += 7; // to 49:10 and 30 frames in all
    return discOfLengths(lengths);
}

class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::Songs, TableId::Albums, TableId::AddWizard}) {}

    Record &album() { return table(TableId::Albums).buffer(); }
    Table &songs() { return table(TableId::Songs); }
    Table &rows() { return table(TableId::AddWizard); }

    void addSong(qint64 id, qint64 albumId, int track, const QString &title)
    {
        Record &song = songs().buffer();
        song.clear();
        song.setNumber(mus::ID, id);
        song.setNumber(mus::AlbumID, albumId);
        song.setNumber(mus::TrackNumber, track);
        song.setText(mus::Title, title);
        song.setText(mus::Artist, u"Someone"_s);
        QVERIFY(songs().add());
    }

    bool findSong(qint64 albumId, int track)
    {
        songs().buffer().clear();
        songs().buffer().setNumber(mus::AlbumID, albumId);
        songs().buffer().setNumber(mus::TrackNumber, track);
        return songs().get(mus::KeyAlbumID);
    }

    bool findRow(int instance, int track)
    {
        rows().buffer().clear();
        rows().buffer().setNumber(aw::Instance, instance);
        rows().buffer().setText(aw::Side, u"0"_s);
        rows().buffer().setNumber(aw::Track, track);
        return rows().get(aw::KeyInstance);
    }

    void addRow(int instance, int track)
    {
        Record &row = rows().buffer();
        row.clear();
        row.setNumber(aw::Instance, instance);
        row.setText(aw::Side, u"0"_s);
        row.setNumber(aw::Track, track);
        QVERIFY(rows().add());
    }

    qint64 count(Table &table) { return table.records(); }
};

ProgressWindow *readingWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == u"ReadingCd" && widget->isVisible())
            return qobject_cast<ProgressWindow *>(widget);
    }
    return nullptr;
}

enum class Outcome { Read, NotRead, NoEnd };

// What a reading reports to its caller besides the album buffer and the rows.
struct Found
{
    QString identifier;
    qint32 totalTime = -1;
    DiscIds ids;
    QList<qint32> times;
};

// Starts a reading and waits, in the event loop, for the one report of its end.
Outcome readDisc(Catalogue &catalogue, bool identifierOnly, bool forWizard, int instance = 0,
                 QWidget *parent = nullptr, Found *found = nullptr)
{
    CdReading *reading =
        ReadCompactDiscInformation(catalogue.session, identifierOnly, forWizard, instance, parent);
    QSignalSpy finished(reading, &CdReading::finished);
    if (found) {
        QObject::connect(reading, &CdReading::finished, [reading, found] {
            *found = {reading->identifier(), reading->totalTime(), reading->ids(),
                      reading->trackTimes()};
        });
    }
    if (!finished.wait(20000) || finished.size() != 1)
        return Outcome::NoEnd;
    return finished.first().first().toBool() ? Outcome::Read : Outcome::NotRead;
}

} // namespace

class TestCdReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_script = std::make_shared<CdScript>();
        m_script->toc = twelveTracks();
        ScriptedCdDevice::install(m_script);
        m_commands.clear();
        m_log.clear();
        m_onCommand = nullptr;
        setMciTracer([this](const QString &command, const QString &reply) {
            m_commands.append(command);
            if (m_onCommand)
                m_onCommand(command, reply);
        });
        setMciLogger([this](const QString &label, const QString &data) {
            m_log.append(label + u'=' + data);
        });
    }

    void cleanup()
    {
        resetCdAudio();
        setCdDeviceFactory({});
        setMciTracer({});
        setMciLogger({});
        CdDevice::setSource({});
    }

    // Published tables of contents of real discs, read from images through libcdio: the
    // identifier, the whole disc's time and the on-line identifiers. Guano Apes is an
    // Enhanced CD whose data session must not lengthen its last track; Lunar starts at
    // track 2; Korn hides audio before track 1. Times are whole seconds of the sectors
    // (75 a second) plus 1: Guano's disc of 258575 sectors is 57:27.
    void realDiscImages_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<qint32>("total");
        QTest::addColumn<qint32>("lastTrack");
        QTest::addColumn<QString>("freedb");
        QTest::addColumn<QString>("musicBrainz");
        QTest::newRow("enhanced") << u"guano-apes-dont-give-me-names"_s
                                  << u"15344701231012100116801"_s << minutes(57, 27)
                                  << minutes(5, 8) << u"c00e3710"_s
                                  << u"TqvKjMu7dMliSfmVEBtrL7sBSno-"_s;
        QTest::newRow("first track 2")
            << u"lunar-there-is-no-1"_s << u"10300801151013010122101"_s << minutes(50, 8)
            << minutes(5, 28) << u"840bc00a"_s << u"6RDuz0d7.M5SVMLe1z4DP0yaEC8-"_s;
        QTest::newRow("hidden pregap")
            << u"korn-see-you-on-the-other-side"_s << u"14360301188011960122901"_s << minutes(60, 3)
            << minutes(5, 5) << u"be0e130e"_s << u"CnkXRItZOUxex7JwyWmHfdbFdqE-"_s;
        QTest::newRow("one track")
            << u"single-track"_s << u" 15970159701"_s << minutes(9, 57) << minutes(9, 57)
            << u"02025501"_s << u"ANJa4DGYN_ktpzOwvVPtcjwP7mE-"_s;
        QTest::newRow("three tracks")
            << u"three-tracks"_s << u" 34501200115011001"_s << minutes(0, 45) << minutes(0, 10)
            << u"10002d03"_s << u"88xCnpplyQna6fWySDDamDbYay4-"_s;
    }

    void realDiscImages()
    {
        QFETCH(QString, image);
        QFETCH(QString, identifier);
        QFETCH(qint32, total);
        QFETCH(qint32, lastTrack);
        QFETCH(QString, freedb);
        QFETCH(QString, musicBrainz);
        setCdDeviceFactory({});
        Catalogue catalogue;
        CdDevice::setSource(prepareImage(catalogue.workspace, image));
        test::ScriptedPrompter prompter;

        Found found;
        QCOMPARE(readDisc(catalogue, false, true, 3, nullptr, &found), Outcome::Read);
        const DiscIds &ids = found.ids;
        QCOMPARE(found.identifier, identifier);
        QCOMPARE(found.totalTime, total);
        QCOMPARE(found.times.size(), identifier.left(2).trimmed().toInt());
        QCOMPARE(found.times.last(), lastTrack);
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), identifier);
        QCOMPARE(qint32(catalogue.album().number(alb::TotalTime)), total);
        QCOMPARE(catalogue.album().text(alb::XCCD), freedb);
        QCOMPARE(ids.freedb, freedb);
        QCOMPARE(ids.musicBrainz, musicBrainz);
        const int tracks = identifier.left(2).trimmed().toInt();
        QVERIFY(catalogue.findRow(3, tracks));
        QCOMPARE(qint32(catalogue.rows().buffer().number(aw::Time)), lastTrack);
        QVERIFY(!catalogue.findRow(3, tracks + 1));
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);
        QVERIFY(prompter.shown.isEmpty());
        QVERIFY(m_log.isEmpty());
    }

    // A 99-track disc: every track read into the wizard, the progress full only once the
    // last track was read, and the window gone afterwards.
    void ninetyNineTracks()
    {
        setCdDeviceFactory({});
        Catalogue catalogue;
        CdDevice::setSource(write99TrackImage(catalogue.workspace));
        QStringList statuses;
        QString progressAtClose;
        QString progressAtLastTrack;
        QString title;
        m_onCommand = [&](const QString &command, const QString &) {
            ProgressWindow *window = readingWindow();
            if (!window)
                return;
            title = window->windowTitle();
            if (command.startsWith(u"status cdaudio length track"_s))
                statuses.append(window->message());
            if (command == u"status cdaudio length track 99")
                progressAtLastTrack = window->progressText();
            if (command == u"close cdaudio")
                progressAtClose = window->progressText();
        };
        QCOMPARE(readDisc(catalogue, false, true, 2), Outcome::Read);
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), u"9926401201201201"_s);
        QCOMPARE(catalogue.count(catalogue.rows()), 99);
        QVERIFY(catalogue.findRow(2, 74));
        QCOMPARE(qint32(catalogue.rows().buffer().number(aw::Time)), minutes(0, 2));
        QVERIFY(catalogue.findRow(2, 99));
        QCOMPARE(qint32(catalogue.rows().buffer().number(aw::Time)), minutes(0, 3));
        QCOMPARE(catalogue.rows().buffer().text(aw::Title), u"Track 99"_s);
        QCOMPARE(statuses.size(), 102); // identifier's three, then one per track
        QCOMPARE(statuses.at(3), u"Track 1 of 99"_s);
        QCOMPARE(statuses.last(), u"Track 99 of 99"_s);
        // One step for the identifier and one a track: full with the last track, not before.
        QCOMPARE(progressAtLastTrack, u" 99% Completed"_s);
        QCOMPARE(progressAtClose, u"100% Completed"_s);
        QCOMPARE(title, u"Reading CD"_s);
        QVERIFY(!readingWindow());
    }

    // The identifier holds the count in two places and at most the first three tracks;
    // a nine-track disc starts with a blank, and long tracks make it too long to keep whole.
    void identifierEdgeCases_data()
    {
        QTest::addColumn<QList<qint32>>("lengths");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<int>("lengthQueries");
        QTest::newRow("one") << QList<qint32>{frames(4, 33)} << u" 12730127301"_s << 2;
        QTest::newRow("two") << QList<qint32>{frames(4, 33), frames(3, 58)}
                             << u" 2511012730123801"_s << 3;
        QTest::newRow("nine") << QList<qint32>(9, frames(3, 0)) << u" 9162001180011800118001"_s
                              << 4;
        QTest::newRow("long") << QList<qint32>{frames(17, 0), frames(18, 0), frames(19, 0)}
                              << u" 33240011020011080011140"_s << 4;
        QTest::newRow("twelve") << QList<qint32>() << u"12295001273012380130201"_s << 4;
    }

    void identifierEdgeCases()
    {
        QFETCH(QList<qint32>, lengths);
        QFETCH(QString, identifier);
        QFETCH(int, lengthQueries);
        if (!lengths.isEmpty())
            m_script->toc = discOfLengths(lengths);
        Catalogue catalogue;
        QCOMPARE(readDisc(catalogue, true, false), Outcome::Read);
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), identifier);
        QCOMPARE(m_commands.filter(u"status cdaudio length"_s).size(), lengthQueries);
    }

    // The CD player's identifier of the disc it holds is the reader's; a drive that stops
    // answering gives none, rather than one built of failed replies that could name another
    // album's disc.
    void playerIdentifier()
    {
        QCOMPARE(SendMCICommand(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(readDiscIdentifier(), u"12295001273012380130201"_s);
        m_script->media = CdDevice::Media::DoorOpen;
        QCOMPARE(readDiscIdentifier(), QString());
        QCOMPARE(SendMCICommand(u"close cdaudio"_s), QString());
    }

    // The drive's three checks: each shows its message, closes the device once and
    // changes nothing.
    void driveChecks_data()
    {
        QTest::addColumn<int>("condition");
        QTest::addColumn<QString>("message");
        const QString notAvailable = u"CD player not available.  Ensure that no other program "
                                     u"is using the CD-ROM drive."_s;
        QTest::newRow("no drive") << 0 << notAvailable;
        QTest::newRow("in use") << 1 << notAvailable;
        QTest::newRow("not ready") << 3 << u"CD player not ready."_s;
        QTest::newRow("door open") << 4 << u"CD player door open."_s;
    }

    void driveChecks()
    {
        QFETCH(int, condition);
        QFETCH(QString, message);
        if (condition == 0)
            m_script->openResult = CdDevice::OpenResult::NoDevice;
        if (condition == 1)
            m_script->openResult = CdDevice::OpenResult::InUse;
        if (condition == 3)
            m_script->media = CdDevice::Media::NotReady;
        if (condition == 4)
            m_script->media = CdDevice::Media::DoorOpen;
        m_commands.clear();
        Catalogue catalogue;
        catalogue.album().setText(alb::CDIdentifier, u"before"_s);
        test::ScriptedPrompter prompter;

        QCOMPARE(readDisc(catalogue, false, true, 1), Outcome::NotRead);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.first().caption, u"Error"_s);
        QCOMPARE(prompter.shown.first().text, message);
        QCOMPARE(prompter.shown.first().buttons, int(Ok));
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);
        QCOMPARE(m_commands.last(), u"close cdaudio"_s);
        QVERIFY(!cdaudioTableOfContents());
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), u"before"_s);
        QCOMPARE(catalogue.count(catalogue.rows()), 0);
        QVERIFY(!readingWindow());
    }

    // A reading while another user (the CD player) holds the device shares it and closes
    // only its own open: the holder's device still answers afterwards.
    void readingWhileTheDeviceIsHeld()
    {
        Catalogue catalogue;
        m_script->toc = discOfLengths({frames(4, 33), frames(3, 58)});
        QCOMPARE(SendMCICommand(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(readDisc(catalogue, false, true, 1), Outcome::Read);
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);
        QCOMPARE(m_script->opened, 1);
        QCOMPARE(m_script->closed, 0);
        QCOMPARE(SendMCICommand(u"status cdaudio number of tracks"_s), u"2"_s);
        QCOMPARE(SendMCICommand(u"close cdaudio"_s), QString());
        QCOMPARE(m_script->closed, 1);
    }

    // Reading twice into one wizard run keeps what was typed and refreshes only the times;
    // new rows take the album's artist or "Various"; another run's rows stay as they were.
    void wizardRows()
    {
        Catalogue catalogue;
        m_script->toc = discOfLengths({frames(4, 33), frames(3, 58)});
        QCOMPARE(readDisc(catalogue, false, true, 5), Outcome::Read);
        QVERIFY(catalogue.findRow(5, 1));
        QCOMPARE(catalogue.rows().buffer().text(aw::Artist), u"Various"_s);
        QCOMPARE(catalogue.rows().buffer().text(aw::Title), u"Track 1"_s);
        QCOMPARE(qint32(catalogue.rows().buffer().number(aw::Time)), minutes(4, 33));
        catalogue.rows().buffer().setText(aw::Title, u"Dancing Queen"_s);
        QVERIFY(catalogue.rows().put());
        catalogue.addRow(6, 1);

        catalogue.album().setText(alb::Artist, QString(40, u'A'));
        m_script->toc = discOfLengths({frames(4, 34), frames(3, 59), frames(5, 2)});
        QCOMPARE(readDisc(catalogue, false, true, 5), Outcome::Read);
        QVERIFY(catalogue.findRow(5, 1));
        QCOMPARE(catalogue.rows().buffer().text(aw::Title), u"Dancing Queen"_s);
        QCOMPARE(catalogue.rows().buffer().text(aw::Artist), u"Various"_s);
        QCOMPARE(qint32(catalogue.rows().buffer().number(aw::Time)), minutes(4, 34));
        QVERIFY(catalogue.findRow(5, 3));
        QCOMPARE(catalogue.rows().buffer().text(aw::Artist), QString(40, u'A'));
        QCOMPARE(catalogue.rows().buffer().text(aw::Title), u"Track 3"_s);
        QVERIFY(catalogue.findRow(6, 1));
        QCOMPARE(catalogue.rows().buffer().number(aw::Time), 0);
        QCOMPARE(catalogue.count(catalogue.rows()), 4);
    }

    // The album form's reading: existing tracks get their times and keep the rest, missing
    // tracks become songs with the album's data numbered after the highest song.
    void albumSongs()
    {
        Catalogue catalogue;
        for (int track = 1; track <= 10; ++track)
            catalogue.addSong(track, 7, track, u"Song %1"_s.arg(track));
        catalogue.addSong(40, 8, 1, u"Elsewhere"_s);
        Record &album = catalogue.album();
        album.setNumber(alb::AlbumID, 7);
        album.setText(alb::Artist, u"ABBA"_s);
        album.setText(alb::Album, u"Arrival"_s);
        album.setText(alb::Media, u"CD"_s);
        album.setText(alb::FileNumber, u"F-12"_s);
        album.setNumber(alb::ReleaseDate, makeDate(1976, 10, 11));
        album.setNumber(alb::CategoryID, 3);

        QCOMPARE(readDisc(catalogue, false, false), Outcome::Read);
        QCOMPARE(qint32(album.number(alb::TotalTime)), minutes(49, 10));
        QVERIFY(catalogue.findSong(7, 2));
        QCOMPARE(catalogue.songs().buffer().text(mus::Title), u"Song 2"_s);
        QCOMPARE(catalogue.songs().buffer().text(mus::Artist), u"Someone"_s);
        QCOMPARE(qint32(catalogue.songs().buffer().number(mus::Time)), minutes(3, 58));
        QVERIFY(catalogue.findSong(7, 12));
        const Record &song = catalogue.songs().buffer();
        QCOMPARE(song.number(mus::ID), 42);
        QCOMPARE(song.text(mus::Title), u"Track 12"_s);
        QCOMPARE(song.text(mus::Artist), u"ABBA"_s);
        QCOMPARE(song.text(mus::Album), u"Arrival"_s);
        QCOMPARE(song.text(mus::Media), u"CD"_s);
        QCOMPARE(song.text(mus::FileNumber), u"F-12"_s);
        QCOMPARE(song.number(mus::ReleaseDate), makeDate(1976, 10, 11));
        QCOMPARE(song.number(mus::CategoryID), 3);
        QVERIFY(catalogue.findSong(7, 11));
        QCOMPARE(catalogue.songs().buffer().number(mus::ID), 41);
        QCOMPARE(catalogue.count(catalogue.songs()), 13);
    }

    // An album without a number yet gets identifier and total time and no song; reading
    // only the identifier changes nothing else, and an empty catalogue numbers from 1.
    void albumWithoutSongsAndIdentifierOnly()
    {
        Catalogue catalogue;
        QCOMPARE(readDisc(catalogue, false, false), Outcome::Read);
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), u"12295001273012380130201"_s);
        QCOMPARE(qint32(catalogue.album().number(alb::TotalTime)), minutes(49, 10));
        QCOMPARE(catalogue.count(catalogue.songs()), 0);

        catalogue.album().setNumber(alb::TotalTime, 0);
        catalogue.album().setText(alb::XCCD, u"kept"_s);
        catalogue.album().setNumber(alb::AlbumID, 9);
        m_script->toc = discOfLengths({frames(4, 33)});
        m_commands.clear();
        QCOMPARE(readDisc(catalogue, true, false), Outcome::Read);
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), u" 12730127301"_s);
        QCOMPARE(catalogue.album().number(alb::TotalTime), 0);
        QCOMPARE(catalogue.album().text(alb::XCCD), u"kept"_s);
        QCOMPARE(catalogue.count(catalogue.songs()), 0);
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);

        QCOMPARE(readDisc(catalogue, false, false), Outcome::Read);
        QVERIFY(catalogue.findSong(9, 1));
        QCOMPARE(catalogue.songs().buffer().number(mus::ID), 1);
    }

    // A disc that stops answering part way (the tray opened while identifying, at track 2,
    // or before the disc's length): said plainly, the device closed once, and nothing of
    // the reading kept: the rows of an earlier reading and the album keep their values.
    void failureDuringReading_data()
    {
        // Commands of a twelve-track reading: 1-3 the drive's checks, 4-9 the identifier,
        // 10 the time format, 11-22 the tracks, 23 the disc's length.
        QTest::addColumn<int>("openAfter");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("where");
        QTest::newRow("identifying")
            << 5 << u"status cdaudio length"_s << u"while identifying the disc"_s;
        QTest::newRow("track 2") << 11 << u"status cdaudio length track 2"_s
                                 << u"at track 2 of 12"_s;
        QTest::newRow("disc length")
            << 22 << u"status cdaudio length"_s << u"after the last track"_s;
    }

    void failureDuringReading()
    {
        QFETCH(int, openAfter);
        QFETCH(QString, failing);
        QFETCH(QString, where);
        Catalogue catalogue;
        m_script->toc = discOfLengths({frames(1, 0), frames(2, 0)});
        QCOMPARE(readDisc(catalogue, false, true, 4), Outcome::Read);
        catalogue.album().setText(alb::CDIdentifier, u"before"_s);
        catalogue.album().setNumber(alb::TotalTime, 5);
        catalogue.album().setText(alb::XCCD, u"kept"_s);
        m_script->toc = twelveTracks();
        m_commands.clear();
        m_log.clear();
        m_onCommand = [&](const QString &, const QString &) {
            if (m_commands.size() == openAfter)
                m_script->media = CdDevice::Media::DoorOpen;
        };
        test::ScriptedPrompter prompter;

        Found found;
        QCOMPARE(readDisc(catalogue, false, true, 4, nullptr, &found), Outcome::NotRead);
        QVERIFY(found.identifier.isEmpty() && found.times.isEmpty());
        QCOMPARE(found.totalTime, 0);
        QVERIFY(found.ids.freedb.isEmpty());
        QCOMPARE(m_commands.value(openAfter), failing);
        QCOMPARE(m_log,
                 QStringList({u"MCI Request="_s + failing, u"MCI Return="_s, u"MCI Error=276"_s}));
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.first().caption, u"Error"_s);
        QCOMPARE(prompter.shown.first().text,
                 u"Reading the CD stopped "_s + where +
                     u". The disc can no longer be read: the tray was opened, or the disc or its "
                     u"image taken away. Nothing was changed."_s);
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);
        QCOMPARE(m_commands.last(), u"close cdaudio"_s);
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), u"before"_s);
        QCOMPARE(catalogue.album().number(alb::TotalTime), 5);
        QCOMPARE(catalogue.album().text(alb::XCCD), u"kept"_s);
        QCOMPARE(catalogue.count(catalogue.rows()), 2);
        QVERIFY(catalogue.findRow(4, 2));
        QCOMPARE(qint32(catalogue.rows().buffer().number(aw::Time)), minutes(2, 0));
        QVERIFY(!readingWindow());
    }

    // Reading goes on from the event loop: nothing is sent before the call returns, other
    // work runs between the progress window's ticks, and the window's Cancel stops the
    // reading at once with nothing kept and the device closed.
    void readingLeavesTheEventLoopFree()
    {
        setCdDeviceFactory({});
        Catalogue catalogue;
        CdDevice::setSource(write99TrackImage(catalogue.workspace));
        catalogue.album().setText(alb::CDIdentifier, u"before"_s);
        bool otherWorkRan = false;
        bool ranBeforeTrack60 = false;
        m_onCommand = [&](const QString &command, const QString &) {
            if (!command.startsWith(u"status cdaudio length track"_s) || !readingWindow())
                return;
            if (command.endsWith(u" 10"_s))
                QTimer::singleShot(0, [&] { otherWorkRan = true; });
            if (command.endsWith(u" 60"_s)) {
                ranBeforeTrack60 = otherWorkRan;
                QTest::mouseClick(readingWindow()->findChild<QPushButton *>(), Qt::LeftButton);
            }
        };
        CdReading *reading = ReadCompactDiscInformation(catalogue.session, false, true, 8);
        QVERIFY(m_commands.isEmpty());
        QSignalSpy finished(reading, &CdReading::finished);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(ranBeforeTrack60);
        // The click ends the reading after the current track.
        QCOMPARE(m_commands.filter(u"length track"_s).size(), 3 + 60);
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);
        QCOMPARE(m_commands.last(), u"close cdaudio"_s);
        QCOMPARE(catalogue.count(catalogue.rows()), 0);
        QCOMPARE(catalogue.album().text(alb::CDIdentifier), u"before"_s);
        QVERIFY(!readingWindow());
        QVERIFY(m_log.isEmpty());
    }

    // A disc image taken away part way through a reading is a disc taken out: reported, and
    // nothing kept. Put back, the device that holds it reads it again, and so does the next
    // reading.
    void imageTakenAwayDuringReading()
    {
        Catalogue catalogue;
        setCdDeviceFactory({});
        const QString cue = write99TrackImage(catalogue.workspace);
        CdDevice::setSource(cue);
        const QString away = cue + u".away"_s;
        m_onCommand = [&](const QString &command, const QString &) {
            if (command == u"status cdaudio length track 30")
                QVERIFY(QFile::rename(cue, away));
        };
        test::ScriptedPrompter prompter;
        QCOMPARE(readDisc(catalogue, false, true, 6), Outcome::NotRead);
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY2(prompter.shown.first().text.startsWith(
                     u"Reading the CD stopped at track 31 of 99. The disc can no longer be read"_s),
                 qPrintable(prompter.shown.first().text));
        QCOMPARE(catalogue.count(catalogue.rows()), 0);
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);

        m_onCommand = nullptr;
        QVERIFY(QFile::rename(away, cue));
        QCOMPARE(SendMCICommand(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(SendMCICommand(u"status cdaudio number of tracks"_s), u"99"_s);
        QVERIFY(QFile::rename(cue, away));
        QCOMPARE(SendMCICommand(u"status cdaudio ready"_s), QString());
        QVERIFY(QFile::rename(away, cue));
        QCOMPARE(SendMCICommand(u"status cdaudio number of tracks"_s), u"99"_s);
        QCOMPARE(SendMCICommand(u"close cdaudio"_s), QString());
        QCOMPARE(readDisc(catalogue, false, true, 6), Outcome::Read);
        QCOMPARE(catalogue.count(catalogue.rows()), 99);
    }

    // A reading cancelled by its caller before it began sends nothing to the drive and
    // still reports its end once.
    void cancelledBeforeItBegan()
    {
        Catalogue catalogue;
        CdReading *reading = ReadCompactDiscInformation(catalogue.session, false, true, 2);
        QSignalSpy finished(reading, &CdReading::finished);
        reading->cancel();
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(m_commands.isEmpty());
        QCOMPARE(m_script->opened, 0);
        QCOMPARE(catalogue.count(catalogue.rows()), 0);

        // So does one whose caller closed before it began.
        auto *caller = new QWidget;
        CdReading *orphan = ReadCompactDiscInformation(catalogue.session, false, true, 2, caller);
        QSignalSpy orphanFinished(orphan, &CdReading::finished);
        delete caller;
        QVERIFY(orphanFinished.wait(20000));
        QCOMPARE(orphanFinished.first().first().toBool(), false);
        QVERIFY(m_commands.isEmpty());
        QVERIFY(!readingWindow());
    }

    // The window that started a reading closes part way: the reading ends with it, keeps
    // nothing, says nothing and gives the device back; the next reading opens it again.
    void callerClosedDuringReading()
    {
        setCdDeviceFactory({});
        Catalogue catalogue;
        CdDevice::setSource(write99TrackImage(catalogue.workspace));
        auto *caller = new QWidget;
        caller->show();
        QPointer<QWidget> watched = caller;
        m_onCommand = [&](const QString &command, const QString &) {
            if (command == u"status cdaudio length track 30" && watched)
                watched->deleteLater();
        };
        test::ScriptedPrompter prompter;
        QCOMPARE(readDisc(catalogue, false, true, 3, caller), Outcome::NotRead);
        QVERIFY(!watched);
        const qsizetype tracksRead = m_commands.filter(u"length track"_s).size() - 3;
        QVERIFY(tracksRead >= 30 && tracksRead < 99);
        QCOMPARE(m_commands.count(u"close cdaudio"_s), 1);
        QCOMPARE(catalogue.count(catalogue.rows()), 0);
        QVERIFY(prompter.shown.isEmpty());
        QVERIFY(!readingWindow());

        m_onCommand = nullptr;
        QCOMPARE(readDisc(catalogue, false, true, 3), Outcome::Read);
        QCOMPARE(catalogue.count(catalogue.rows()), 99);
    }

    // Drive stamps to times: 99 frames carry into a second, 60 seconds into a minute, 60
    // minutes into an hour; what is no stamp is no time.
    void stampToTime_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<qint32>("time");
        QTest::newRow("plain") << u"04:33:17"_s << 27301;
        QTest::newRow("frames 99") << u"04:59:99"_s << minutes(5, 0);
        QTest::newRow("second 60") << u"04:60:10"_s << minutes(5, 0);
        QTest::newRow("hour") << u"61:00:00"_s << makeTime(1, 1, 0);
        QTest::newRow("both carries") << u"59:59:99"_s << makeTime(1, 0, 0);
        QTest::newRow("zero") << u"00:00:00"_s << 1;
        QTest::newRow("error") << u"Error:263"_s << 0;
        QTest::newRow("short") << u"4:33:17"_s << 0;
        QTest::newRow("blank") << QString() << 0;
    }

    void stampToTime()
    {
        QFETCH(QString, stamp);
        QFETCH(qint32, time);
        QCOMPARE(MSFToTime(stamp), time);
    }

    // Times as minutes and seconds in five characters, blank for no time; long mixes keep
    // every digit of their minutes.
    void trackTimeText_data()
    {
        QTest::addColumn<qint32>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << u"     "_s;
        QTest::newRow("4:33") << 27301 << u" 4:33"_s;
        QTest::newRow("hundredths dropped") << makeTime(0, 0, 59, 99) << u" 0:59"_s;
        QTest::newRow("61:00") << makeTime(1, 1, 0) << u"61:00"_s;
        QTest::newRow("74:05") << makeTime(1, 14, 5) << u"74:05"_s;
        QTest::newRow("150:00") << makeTime(2, 30, 0) << u"150:00"_s;
    }

    void trackTimeText()
    {
        QFETCH(qint32, time);
        QFETCH(QString, text);
        QCOMPARE(FormatTrackTime(time), text);
        ShowTrackTime(time);
        QCOMPARE(TrackTimeText(), text.leftJustified(8));
    }

    // ShowTrackTime can take the time of the current song.
    void trackTimeOfCurrentSong()
    {
        Catalogue catalogue;
        catalogue.songs().buffer().setNumber(mus::Time, minutes(3, 7));
        ShowTrackTime(0, true);
        QCOMPARE(TrackTimeText(), u" 3:07   "_s);
    }

private:
    std::shared_ptr<CdScript> m_script;
    QStringList m_commands;
    QStringList m_log;
    std::function<void(const QString &, const QString &)> m_onCommand;
};

QTEST_MAIN(TestCdReader)
#include "tst_cdreader.moc"
