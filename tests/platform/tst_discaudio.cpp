#include "platform/discaudio.h"
#include "platform/mcicommand.h"
#include "testsupport.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

QString send(const QString &command)
{
    return SendMCICommand(command, false);
}

// The sample pair of a sector: the sector's number in the left channel and its track in the
// right, so that what was played tells which sectors it came from.
QByteArray sectorOf(qint32 lsn, int track)
{
    QByteArray sector(SectorBytes, '\0');
    for (int at = 0; at < SectorBytes; at += 4) {
        const auto left = quint16(lsn & 0xffff);
        const auto right = quint16(track);
        sector[at] = char(left & 0xff);
        sector[at + 1] = char(left >> 8);
        sector[at + 2] = char(right & 0xff);
        sector[at + 3] = char(right >> 8);
    }
    return sector;
}

// A disc image of three audio tracks of 4, 3 and 2 seconds (300, 225 and 150 sectors), every
// sector marked as above; `keepSectors` cuts the bin short, as a copy that did not finish.
QString writeImage(const test::Workspace &workspace, qint32 keepSectors = -1)
{
    QFile cue(workspace.file(u"disc.cue"_s));
    cue.open(QIODevice::WriteOnly);
    cue.write("FILE \"disc.bin\" BINARY\n"
              "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n"
              "  TRACK 03 AUDIO\n    INDEX 01 00:07:00\n");
    QFile bin(workspace.file(u"disc.bin"_s));
    bin.open(QIODevice::WriteOnly);
    const qint32 sectors = keepSectors < 0 ? 675 : keepSectors;
    for (qint32 lsn = 0; lsn < sectors; ++lsn)
        bin.write(sectorOf(lsn, lsn < 300 ? 1 : lsn < 525 ? 2 : 3));
    return cue.fileName();
}

// Which sectors the played bytes were, in order; -1 for a sector that is not whole or mixed.
QList<qint32> sectorsIn(const QByteArray &played)
{
    QList<qint32> sectors;
    for (qsizetype at = 0; at + SectorBytes <= played.size(); at += SectorBytes) {
        const QByteArray sector = played.mid(at, SectorBytes);
        const qint32 lsn = quint8(sector[0]) | quint8(sector[1]) << 8;
        sectors.append(sector == sectorOf(lsn, quint8(sector[2])) ? lsn : -1);
    }
    return sectors;
}

QList<qint32> run(qint32 from, qint32 to)
{
    QList<qint32> sectors;
    for (qint32 lsn = from; lsn < to; ++lsn)
        sectors.append(lsn);
    return sectors;
}

// A sound device that breaks down when the test says so.
class BreakingSink : public SilentPcmSink
{
public:
    explicit BreakingSink(const bool &broken) : m_broken(broken) {}
    bool failed() override { return m_broken; }

private:
    const bool &m_broken;
};

} // namespace

class TestDiscAudio : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_workspace = std::make_unique<test::Workspace>();
        m_now = 0;
        PlayClock::setTimeSource([this] { return m_now; });
        setPcmSinkFactory([] { return std::make_unique<SilentPcmSink>(); });
        SilentPcmSink::keepPlayed(true);
    }

    void cleanup()
    {
        resetCdAudio();
        CdDevice::setSource({});
        setPcmSinkFactory({});
        SilentPcmSink::keepPlayed(false);
        PlayClock::setTimeSource({});
        m_workspace.reset();
    }

    // A generated image plays its sectors in order into the sink at the rate of the sound,
    // by the clock: after 2.5 seconds from track 2 the position is 187 sectors on (2.5 s is
    // 187.5 sectors), every byte played is the image's own, in order; pause holds the
    // position however long the clock runs, play resumes from there, and the track ends with
    // the mode "stopped" at the next track's start when playing only that track.
    void playsAnImageIntoASink()
    {
        CdDevice::setSource(writeImage(*m_workspace));
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"3"_s);
        QCOMPARE(send(u"set cdaudio time format tmsf"_s), QString());
        QCOMPARE(send(u"play cdaudio from 2 to 3"_s), QString());
        QCOMPARE(send(u"status cdaudio mode"_s), u"playing"_s);
        m_now += 2500;
        QCOMPARE(send(u"status cdaudio position"_s), u"02:00:02:37"_s);
        QCOMPARE(sectorsIn(SilentPcmSink::played()), run(300, 487));

        QCOMPARE(send(u"pause cdaudio"_s), QString());
        m_now += 60000;
        QCOMPARE(send(u"status cdaudio mode"_s), u"paused"_s);
        QCOMPARE(send(u"status cdaudio position"_s), u"02:00:02:37"_s);
        QCOMPARE(send(u"play cdaudio"_s), QString());
        m_now += 400;
        QCOMPARE(send(u"status cdaudio position"_s), u"02:00:02:67"_s);
        m_now += 5000;
        QCOMPARE(send(u"status cdaudio mode"_s), u"stopped"_s);
        QCOMPARE(send(u"status cdaudio current track"_s), u"3"_s);
        QCOMPARE(sectorsIn(SilentPcmSink::played()), run(300, 525));
        QVERIFY(cdaudioPlaybackNote().isEmpty());
    }

    // Seeking as the player's Back and position bar do: a play from a position in ms starts
    // the sound there, and what was played before it is not played again.
    void playFromAPosition()
    {
        CdDevice::setSource(writeImage(*m_workspace));
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"set cdaudio time format ms"_s), QString());
        QCOMPARE(send(u"play cdaudio"_s), QString());
        m_now += 1000;
        QCOMPARE(send(u"status cdaudio position"_s), u"3000"_s);
        // Two seconds on the disc's own clock is its start: 8000 is six seconds in.
        QCOMPARE(send(u"play cdaudio from 8000"_s), QString());
        m_now += 400;
        QCOMPARE(send(u"status cdaudio position"_s), u"8400"_s);
        QCOMPARE(sectorsIn(SilentPcmSink::played()), run(0, 75) + run(450, 480));
        QCOMPARE(send(u"stop cdaudio"_s), QString());
        m_now += 1000;
        QCOMPARE(send(u"status cdaudio position"_s), u"8400"_s);
        QCOMPARE(send(u"status cdaudio mode"_s), u"stopped"_s);
    }

    // An image cut short ends where its data ends: its last track, which would start
    // beyond, cannot be played (the command fails and is answered as such), the others play
    // up to the end of the data and stop; the device stays usable.
    void truncatedImageEndsEarly()
    {
        CdDevice::setSource(writeImage(*m_workspace, 400));
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"set cdaudio time format tmsf"_s), QString());
        QCOMPARE(send(u"play cdaudio from 3"_s).left(6), u"Error:"_s);
        QCOMPARE(send(u"play cdaudio from 2"_s), QString());
        m_now += 3000;
        QCOMPARE(send(u"status cdaudio mode"_s), u"stopped"_s);
        QCOMPARE(sectorsIn(SilentPcmSink::played()), run(300, 400));
        QCOMPARE(send(u"play cdaudio from 1"_s), QString());
        m_now += 1000;
        QCOMPARE(send(u"status cdaudio position"_s), u"01:00:01:00"_s);
    }

    // A sector that cannot be read (a disc scratched there, data that ends early) stops the
    // sound where it got to, saying so; a new play starts afresh without the note.
    void unreadableSectorStopsAndSaysSo()
    {
        DiscAudio audio([](qint32 lsn, QByteArray &sector) {
            if (lsn >= 350)
                return false;
            sector = sectorOf(lsn, 2);
            return true;
        });
        audio.play(300, 525);
        m_now += 500;
        QCOMPARE(audio.position(), 337);
        QCOMPARE(audio.state(), PlayClock::State::Playing);
        m_now += 2500;
        QCOMPARE(audio.state(), PlayClock::State::Stopped);
        QCOMPARE(audio.position(), 350);
        QCOMPARE(audio.note(), DiscAudio::readFailure());
        QCOMPARE(sectorsIn(SilentPcmSink::played()), run(300, 350));
        audio.play(0, 100);
        QVERIFY(audio.note().isEmpty());
        m_now += 1000;
        QCOMPARE(audio.position(), 75);
        QVERIFY(!audio.resume());
        audio.pause();
        QCOMPARE(audio.state(), PlayClock::State::Paused);
        QVERIFY(audio.resume());
    }

    // An image taken away while it plays stops the sound: the drive reports "not ready"
    // with a note that says why, and nothing is read from it any more.
    void vanishedImageStops()
    {
        CdDevice::setSource(writeImage(*m_workspace));
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"play cdaudio"_s), QString());
        m_now += 1000;
        QCOMPARE(send(u"status cdaudio mode"_s), u"playing"_s);
        QVERIFY(QFile::remove(m_workspace->file(u"disc.cue"_s)));
        QVERIFY(QFile::remove(m_workspace->file(u"disc.bin"_s)));
        QCOMPARE(send(u"status cdaudio mode"_s), u"not ready"_s);
        QCOMPARE(cdaudioPlaybackNote(), u"The disc image is gone: play stopped."_s);
        const qsizetype played = SilentPcmSink::played().size();
        m_now += 5000;
        QCOMPARE(send(u"status cdaudio position"_s), u"Error:276"_s);
        QCOMPARE(SilentPcmSink::played().size(), played);
        QCOMPARE(send(u"close cdaudio"_s), QString());
    }

    // A sound device lost while playing: the disc plays on in silence from where the device
    // got to, keeping its time, and says there is no sound device.
    void soundDeviceLostWhilePlaying()
    {
        bool broken = false;
        setPcmSinkFactory([&broken] { return std::make_unique<BreakingSink>(broken); });
        DiscAudio audio([](qint32 lsn, QByteArray &sector) {
            sector = sectorOf(lsn, 1);
            return true;
        });
        audio.play(0, 300);
        m_now += 1000;
        QCOMPARE(audio.position(), 75);
        broken = true;
        QCOMPARE(audio.position(), 75);
        QCOMPARE(audio.note(), DiscAudio::noSoundDevice());
        m_now += 1000;
        QCOMPARE(audio.position(), 150);
        QCOMPARE(audio.state(), PlayClock::State::Playing);
        QCOMPARE(sectorsIn(SilentPcmSink::played()), run(0, 150));
    }

    // Without a sound device the disc plays silently and keeps its time, and says so.
    void noSoundDevicePlaysSilently()
    {
        setPcmSinkFactory({});
        if (!QMediaDevices::audioOutputs().isEmpty())
            QSKIP("this machine has a sound device");
        CdDevice::setSource(writeImage(*m_workspace));
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"set cdaudio time format tmsf"_s), QString());
        QCOMPARE(send(u"play cdaudio from 3"_s), QString());
        QCOMPARE(cdaudioPlaybackNote(), DiscAudio::noSoundDevice());
        m_now += 1000;
        QCOMPARE(send(u"status cdaudio position"_s), u"03:00:01:00"_s);
        QCOMPARE(sectorsIn(SilentPcmSink::played()), run(525, 600));
    }

private:
    std::unique_ptr<test::Workspace> m_workspace;
    qint64 m_now = 0;
};

QTEST_GUILESS_MAIN(TestDiscAudio)
#include "tst_discaudio.moc"
