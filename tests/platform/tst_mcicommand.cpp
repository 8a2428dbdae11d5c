#include "platform/inifile.h"
#include "platform/mcicommand.h"
#include "platform/paths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

// Three tracks of 20, 15 and 10 seconds.
CdToc threeTracks()
{
    return makeAudioToc({0, 1500, 2625}, 3375);
}

QString send(const QString &command)
{
    return SendMCICommand(command, false);
}

} // namespace

class TestMciCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_script = std::make_shared<CdScript>();
        m_script->toc = threeTracks();
        ScriptedCdDevice::install(m_script);
        m_log.clear();
        setMciLogger([this](const QString &label, const QString &data) {
            m_log.append(label + u'=' + data);
        });
        m_now = 0;
        PlayClock::setTimeSource([this] { return m_now; });
    }

    void cleanup()
    {
        resetCdAudio();
        setCdDeviceFactory({});
        setMciLogger({});
        setMciTracer({});
        PlayClock::setTimeSource({});
        CdDevice::setSource({});
    }

    // A second open that asks for the device to itself while it is open says "Error:1" and
    // logs nothing; a shareable one joins it, and each close gives back one open: the device
    // stays for the first user until it closes too. After the last close the device is gone,
    // so commands fail as for an unknown device and are logged.
    void openTwiceAndClose()
    {
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"open cdaudio"_s), u"Error:1"_s);
        QVERIFY(m_log.isEmpty());
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(m_script->opened, 1);
        QCOMPARE(send(u"close cdaudio"_s), QString());
        QCOMPARE(m_script->closed, 0);
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"3"_s);

        QCOMPARE(send(u"close cdaudio"_s), QString());
        QCOMPARE(m_script->closed, 1);
        QCOMPARE(send(u"status cdaudio mode"_s), u"Error:263"_s);
        QCOMPARE(m_log, QStringList({u"MCI Request=status cdaudio mode"_s, u"MCI Return="_s,
                                     u"MCI Error=263"_s}));
        QCOMPARE(send(u"OPEN CDAudio"_s), u"1"_s);
    }

    // No drive and a drive held by another program are answers, not crashes; nothing is
    // left open, and without a logger nothing is logged.
    void noDriveAndDriveInUse()
    {
        m_script->openResult = CdDevice::OpenResult::NoDevice;
        QCOMPARE(send(u"open cdaudio shareable"_s), u"Error:263"_s);
        QCOMPARE(m_log.size(), 3);
        m_script->openResult = CdDevice::OpenResult::InUse;
        QCOMPARE(send(u"open cdaudio shareable"_s), u"Error:291"_s);
        QCOMPARE(m_log.last(), u"MCI Error=291"_s);
        QCOMPARE(send(u"close cdaudio"_s), u"Error:263"_s);

        setMciLogger({});
        m_log.clear();
        QCOMPARE(send(u"close cdaudio"_s), u"Error:263"_s);
        QVERIFY(m_log.isEmpty());
    }

    // The ready flag comes back as "1" or blank (an open tray still takes commands), the
    // mode as the drive's state; a query about the disc without a readable disc fails as
    // not ready. The mode query ignores
    // the command text it is given.
    void readyAndMode()
    {
        send(u"open cdaudio shareable"_s);
        QCOMPARE(send(u"status cdaudio ready"_s), u"1"_s);
        QCOMPARE(SendMCICommand(u"play cdaudio from 1"_s, true), u"stopped"_s);
        QCOMPARE(send(u"status cdaudio media present"_s), u"1"_s);

        m_script->media = CdDevice::Media::NotReady;
        QCOMPARE(send(u"status cdaudio ready"_s), QString());
        QCOMPARE(SendMCICommand({}, true), u"not ready"_s);
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"Error:276"_s);

        m_script->media = CdDevice::Media::DoorOpen;
        QCOMPARE(send(u"status cdaudio ready"_s), u"1"_s);
        QCOMPARE(send(u"status cdaudio media present"_s), QString());
        QCOMPARE(SendMCICommand({}, true), u"open"_s);
        QCOMPARE(send(u"status cdaudio length track 1"_s), u"Error:276"_s);
        QCOMPARE(send(u"play cdaudio from 1"_s), u"Error:276"_s);
        QCOMPARE(m_log.size(), 9);
    }

    // Lengths and positions in each time format, worked out from the sectors: opening
    // starts in msf, where positions run on the disc's own clock (two seconds ahead).
    void repliesInEachTimeFormat()
    {
        // Track 1 of 4:33 and 10 frames (20485 sectors), track 2 of 3:58 and 20 frames.
        m_script->toc = makeAudioToc({0, 20485}, 20485 + 17870);
        send(u"open cdaudio shareable"_s);
        QCOMPARE(send(u"status cdaudio time format"_s), u"msf"_s);
        QCOMPARE(send(u"status cdaudio position track 2"_s), u"04:35:10"_s);
        QCOMPARE(send(u"status cdaudio length"_s), u"08:31:30"_s);

        QCOMPARE(send(u"set cdaudio time format tmsf"_s), QString());
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"2"_s);
        QCOMPARE(send(u"status cdaudio length"_s), u"08:31:30"_s);
        QCOMPARE(send(u"status cdaudio length track 1"_s), u"04:33:10"_s);
        QCOMPARE(send(u"status cdaudio length track 2"_s), u"03:58:20"_s);
        QCOMPARE(send(u"status cdaudio position track 2"_s), u"02:00:00:00"_s);
        QCOMPARE(send(u"status cdaudio position"_s), u"01:00:00:00"_s);
        QCOMPARE(send(u"status cdaudio current track"_s), u"1"_s);
        QCOMPARE(send(u"status cdaudio type track 2"_s), u"audio"_s);

        QCOMPARE(send(u"set cdaudio time format ms"_s), QString());
        QCOMPARE(send(u"status cdaudio time format"_s), u"milliseconds"_s);
        QCOMPARE(send(u"status cdaudio length track 1"_s), u"273133"_s); // 20485 / 75 s
        QCOMPARE(send(u"status cdaudio position track 1"_s), u"2000"_s);
        QCOMPARE(send(u"status cdaudio position track 2"_s), u"275133"_s);
        QVERIFY(m_log.isEmpty());
    }

    // Each malformed or impossible command fails with its own code and the three log
    // entries in order, and leaves the device as it was.
    void errorReplies_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        QTest::newRow("empty") << u"   "_s << u"Error:267"_s;
        QTest::newRow("verb") << u"eject cdaudio"_s << u"Error:261"_s;
        QTest::newRow("no device") << u"status"_s << u"Error:292"_s;
        QTest::newRow("other device") << u"status waveaudio mode"_s << u"Error:263"_s;
        QTest::newRow("no item") << u"status cdaudio"_s << u"Error:273"_s;
        QTest::newRow("item") << u"status cdaudio colour"_s << u"Error:259"_s;
        QTest::newRow("track 0") << u"status cdaudio length track 0"_s << u"Error:282"_s;
        QTest::newRow("track 4") << u"status cdaudio length track 4"_s << u"Error:282"_s;
        QTest::newRow("track x") << u"status cdaudio length track x"_s << u"Error:270"_s;
        QTest::newRow("no track") << u"status cdaudio length track"_s << u"Error:273"_s;
        QTest::newRow("format") << u"set cdaudio time format frames"_s << u"Error:293"_s;
        QTest::newRow("play track 4") << u"play cdaudio from 4"_s << u"Error:282"_s;
        QTest::newRow("play from") << u"play cdaudio from"_s << u"Error:273"_s;
        QTest::newRow("play text") << u"play cdaudio from one"_s << u"Error:270"_s;
        QTest::newRow("open alias") << u"open cdaudio alias cd"_s << u"Error:259"_s;
    }

    void errorReplies()
    {
        QFETCH(QString, command);
        QFETCH(QString, reply);
        send(u"open cdaudio shareable"_s);
        send(u"set cdaudio time format tmsf"_s);
        QCOMPARE(send(command), reply);
        QCOMPARE(m_log, QStringList({u"MCI Request="_s + command, u"MCI Return="_s,
                                     u"MCI Error="_s + reply.mid(6)}));
        QCOMPARE(SendMCICommand({}, true), u"stopped"_s);
        QCOMPARE(send(u"status cdaudio time format"_s), u"tmsf"_s);
    }

    // Playing keeps time with the clock: the position advances 75 sectors a second, a
    // pause holds it, play resumes, stop keeps the place, and the end of the disc stops.
    void playKeepsTime()
    {
        send(u"open cdaudio shareable"_s);
        send(u"set cdaudio time format tmsf"_s);
        QCOMPARE(send(u"play cdaudio from 2"_s), QString());
        QCOMPARE(SendMCICommand({}, true), u"playing"_s);
        m_now += 5000;
        QCOMPARE(send(u"status cdaudio position"_s), u"02:00:05:00"_s);
        QCOMPARE(send(u"status cdaudio current track"_s), u"2"_s);

        QCOMPARE(send(u"pause cdaudio"_s), QString());
        m_now += 3000;
        QCOMPARE(SendMCICommand({}, true), u"paused"_s);
        QCOMPARE(send(u"status cdaudio position"_s), u"02:00:05:00"_s);
        QCOMPARE(send(u"play cdaudio"_s), QString());
        m_now += 12000; // past the start of track 3
        QCOMPARE(send(u"status cdaudio position"_s), u"03:00:02:00"_s);
        QCOMPARE(send(u"stop cdaudio"_s), QString());
        m_now += 1000;
        QCOMPARE(SendMCICommand({}, true), u"stopped"_s);
        QCOMPARE(send(u"status cdaudio current track"_s), u"3"_s);

        QCOMPARE(send(u"play cdaudio from 3:00:09:00"_s), QString());
        m_now += 2000;
        QCOMPARE(SendMCICommand({}, true), u"stopped"_s);
        QCOMPARE(send(u"status cdaudio position"_s), u"03:00:10:00"_s); // the lead-out
        QVERIFY(m_log.isEmpty());
    }

    // Ten seconds back from early on the disc asks for a negative position: the drive
    // refuses it, the failure is logged and play goes on where it was.
    void playInMillisecondsAndRefusedPositions()
    {
        send(u"open cdaudio shareable"_s);
        send(u"set cdaudio time format ms"_s);
        QCOMPARE(send(u"play cdaudio from 24000 to 30000"_s), QString()); // track 2 + 2 s
        m_now += 1000;
        QCOMPARE(send(u"status cdaudio position"_s), u"25000"_s);
        QCOMPARE(send(u"play cdaudio from -7000"_s), u"Error:282"_s);
        QCOMPARE(m_log.last(), u"MCI Error=282"_s);
        QCOMPARE(SendMCICommand({}, true), u"playing"_s);
        QCOMPARE(send(u"play cdaudio from 1000"_s), u"Error:282"_s); // before track 1
        m_now += 6000;
        QCOMPARE(SendMCICommand({}, true), u"stopped"_s);
        QCOMPARE(send(u"status cdaudio position"_s), u"30000"_s);
        QCOMPARE(send(u"seek cdaudio to start"_s), QString());
        QCOMPARE(send(u"status cdaudio position"_s), u"2000"_s);
    }

    // An Enhanced CD's data session is no track of the player, and its last audio track
    // ends with its own session; a data track ahead of the audio keeps its number.
    void dataTracks()
    {
        CdToc enhanced = threeTracks();
        enhanced.tracks.append({3375 + SessionGap, false});
        enhanced.leadOut = 3375 + SessionGap + 3000;
        m_script->toc = enhanced;
        send(u"open cdaudio shareable"_s);
        send(u"set cdaudio time format tmsf"_s);
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"3"_s);
        QCOMPARE(send(u"status cdaudio length track 3"_s), u"00:10:00"_s);
        QCOMPARE(send(u"status cdaudio length"_s), u"00:45:00"_s);

        CdToc mixed = makeAudioToc({0, 4500, 6000}, 7500);
        mixed.tracks[0].audio = false;
        m_script->toc = mixed;
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"3"_s);
        QCOMPARE(send(u"status cdaudio type track 1"_s), u"other"_s);
        QCOMPARE(send(u"status cdaudio length track 1"_s), u"01:00:00"_s);

        CdToc dataOnly;
        dataOnly.tracks.append({0, false});
        dataOnly.leadOut = 9000;
        m_script->toc = dataOnly;
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"0"_s);
        QCOMPARE(send(u"status cdaudio length"_s), u"00:00:00"_s);
        QCOMPARE(send(u"play cdaudio"_s), u"Error:282"_s);
    }

    // A real image through libcdio: its tracks, and a missing image as no drive.
    void imageThroughLibcdio()
    {
        test::Workspace workspace;
        QFile cue(workspace.file(u"three.cue"_s));
        QVERIFY(cue.open(QIODevice::WriteOnly));
        cue.write("FILE \"three.bin\" BINARY\n"
                  "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                  "  TRACK 02 AUDIO\n    INDEX 01 00:20:00\n"
                  "  TRACK 03 AUDIO\n    INDEX 01 00:35:00\n");
        cue.close();
        QFile bin(workspace.file(u"three.bin"_s));
        QVERIFY(bin.open(QIODevice::WriteOnly) && bin.resize(3375 * SectorBytes));
        bin.close();

        setCdDeviceFactory({});
        CdDevice::setSource(cue.fileName());
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"status cdaudio number of tracks"_s), u"3"_s);
        QCOMPARE(send(u"status cdaudio length track 2"_s), u"00:15:00"_s);
        const std::optional<CdToc> toc = cdaudioTableOfContents();
        QVERIFY(toc);
        QCOMPARE(toc->leadOut, 3375);
        QCOMPARE(discIds(*toc).freedb, u"10002d03"_s);
        QCOMPARE(discIds(*toc).musicBrainz, u"88xCnpplyQna6fWySDDamDbYay4-"_s);
        send(u"close cdaudio"_s);
        QVERIFY(!cdaudioTableOfContents());

        CdDevice::setSource(workspace.file(u"missing.cue"_s));
        QCOMPARE(send(u"open cdaudio shareable"_s), u"Error:263"_s);
    }

    // The device comes from the option, else the environment, else the settings file;
    // a relative image path is taken from where the program started.
    void deviceChoice()
    {
        test::Workspace workspace;
        IniFile::put(u"Settings"_s, u"CDDevice"_s, u"/dev/sr1"_s, Paths::settingsFile());
        qunsetenv("SONGVANE_CD_DEVICE");
        QCOMPARE(configureCdDevice({u"songvane"_s}), u"/dev/sr1"_s);
        qputenv("SONGVANE_CD_DEVICE", "/images/env.cue");
        QCOMPARE(configureCdDevice({u"songvane"_s}), u"/images/env.cue"_s);
        QCOMPARE(configureCdDevice({u"songvane"_s, u"--cd-device"_s, u"/images/a.cue"_s}),
                 u"/images/a.cue"_s);
        QCOMPARE(configureCdDevice({u"songvane"_s, u"--cd-device=disc.cue"_s}),
                 QDir::current().absoluteFilePath(u"disc.cue"_s));
        QCOMPARE(CdDevice::source(), QDir::current().absoluteFilePath(u"disc.cue"_s));
        qunsetenv("SONGVANE_CD_DEVICE");
    }

private:
    std::shared_ptr<CdScript> m_script;
    QStringList m_log;
    qint64 m_now = 0;
};

QTEST_GUILESS_MAIN(TestMciCommand)
#include "tst_mcicommand.moc"
