#include "platform/discaudio.h"
#include "platform/mcicommand.h"
#include "testsupport.h"

#include <QAudioDevice>
#include <QDir>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

QString send(const QString &command)
{
    return SendMCICommand(command, false);
}

// Three tracks of 4, 3 and 2 seconds of a quiet tone.
QString writeImage(const test::Workspace &workspace)
{
    QFile cue(workspace.file(u"tone.cue"_s));
    cue.open(QIODevice::WriteOnly);
    cue.write("FILE \"tone.bin\" BINARY\n"
              "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n"
              "  TRACK 03 AUDIO\n    INDEX 01 00:07:00\n");
    QFile bin(workspace.file(u"tone.bin"_s));
    bin.open(QIODevice::WriteOnly);
    QByteArray sector(SectorBytes, '\0');
    for (int at = 0; at < SectorBytes; at += 4) {
        const qint16 sample = (at / 4) % 100 < 50 ? 2000 : -2000;
        for (int channel = 0; channel < 2; ++channel) {
            sector[at + channel * 2] = char(sample & 0xff);
            sector[at + channel * 2 + 1] = char((sample >> 8) & 0xff);
        }
    }
    for (int lsn = 0; lsn < 675; ++lsn)
        bin.write(sector);
    return cue.fileName();
}

} // namespace

// The sound device path: an image played through Qt Multimedia into a sound server's null
// sink, started for this test in a folder of its own. Skipped where no sound server can run.
class TestSoundOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString server = QStandardPaths::findExecutable(u"pulseaudio"_s);
        if (server.isEmpty())
            QSKIP("no sound server to play into");
        QVERIFY(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Before anything of Qt Multimedia looks for devices: they are found once.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qputenv("PULSE_RUNTIME_PATH", QFile::encodeName(m_runtime.path() + u"/pulse"_s));
        m_server.start(server, {u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"-n"_s,
                                u"--load=module-null-sink sink_name=nullsink"_s,
                                u"--load=module-native-protocol-unix"_s});
        if (!m_server.waitForStarted(5000))
            QSKIP("the sound server does not start here");
        const QString socket = m_runtime.path() + u"/pulse/native"_s;
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || m_server.state() == QProcess::NotRunning,
                                 10000);
        if (!QFile::exists(socket))
            QSKIP("the sound server ended at once");
        if (QMediaDevices::audioOutputs().isEmpty())
            QSKIP("Qt Multimedia sees no output");
    }

    void cleanupTestCase()
    {
        resetCdAudio();
        CdDevice::setSource({});
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
        }
    }

    // A few seconds of the image go to the sound device: the position advances as the
    // device takes the sound, holds while paused, and play ends at the end of the track
    // asked for, with nothing to say about the playing.
    void playsThroughTheSoundDevice()
    {
        test::Workspace workspace;
        CdDevice::setSource(writeImage(workspace));
        QCOMPARE(send(u"open cdaudio shareable"_s), u"1"_s);
        QCOMPARE(send(u"set cdaudio time format ms"_s), QString());
        QCOMPARE(send(u"play cdaudio from 2000 to 6000"_s), QString());
        QVERIFY(cdaudioPlaybackNote().isEmpty());
        QCOMPARE(send(u"status cdaudio mode"_s), u"playing"_s);
        QTRY_VERIFY_WITH_TIMEOUT(send(u"status cdaudio position"_s).toInt() >= 3500, 20000);
        QCOMPARE(send(u"pause cdaudio"_s), QString());
        QCOMPARE(send(u"status cdaudio mode"_s), u"paused"_s);
        const int paused = send(u"status cdaudio position"_s).toInt();
        QTest::qWait(300);
        QCOMPARE(send(u"status cdaudio position"_s).toInt(), paused);
        QCOMPARE(send(u"play cdaudio"_s), QString());
        QTRY_COMPARE_WITH_TIMEOUT(send(u"status cdaudio mode"_s), u"stopped"_s, 20000);
        QCOMPARE(send(u"status cdaudio position"_s), u"6000"_s);
        QVERIFY(cdaudioPlaybackNote().isEmpty());
        QCOMPARE(send(u"close cdaudio"_s), QString());
    }

private:
    QTemporaryDir m_runtime;
    QProcess m_server;
};

QTEST_GUILESS_MAIN(TestSoundOutput)
#include "tst_soundoutput.moc"
