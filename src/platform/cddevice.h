#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace sv {

// Addresses on a disc are logical sector numbers (LSN): 75 sectors ("frames") a second,
// sector 0 being the start of the first track's audio. The disc's own time stamps (MSF)
// count from two seconds earlier, so MSF 00:02:00 is LSN 0.
inline constexpr int FramesPerSecond = 75;
inline constexpr int MsfOffset = 150;
inline constexpr int SectorBytes = 2352;
// The gap between the audio session of an Enhanced CD and its data session: the first
// session's lead-out (6750), the second session's lead-in (4500) and its pregap (150).
inline constexpr int SessionGap = 11400;

struct CdTrack
{
    qint32 start = 0; // LSN
    bool audio = true;
};

// A disc's table of contents as the drive reports it: every track, data tracks included,
// and the lead-out. The "audio" view below is what a CD player sees.
struct CdToc
{
    int firstTrackNumber = 1; // the disc's own number of its first track
    QList<CdTrack> tracks;
    qint32 leadOut = 0; // LSN

    // Trailing data tracks (the data session of an Enhanced CD) are no tracks of the audio
    // view; data tracks before or between audio tracks stay, so track numbers keep
    // matching the disc. A disc without audio has no tracks in this view.
    int audioTrackCount() const;
    // Where the last track of the audio view ends: the lead-out, or for an Enhanced CD the
    // end of the audio session, SessionGap before the data session starts.
    qint32 audioLeadOut() const;
    // Track n of the audio view, 1-based; lengths in frames.
    qint32 trackStart(int track) const { return tracks.at(track - 1).start; }
    qint32 trackLength(int track) const;
    qint32 audioLength() const; // from the first track's start to the audio lead-out
    // The track holding the sector: the last track starting at or before it, at least 1.
    int trackAt(qint32 lsn) const;
};

// The identifiers on-line disc databases know a disc by: the freedb/CDDB number ("8 hex
// digits", from every track including data tracks and the real lead-out) and the
// MusicBrainz disc ID (from the audio view, through libdiscid). Empty when the table of
// contents holds no track.
struct DiscIds
{
    QString freedb;
    QString musicBrainz;
};
DiscIds discIds(const CdToc &toc);

// The position clock of a player that keeps time itself: while playing, the position
// advances 75 frames a second from where play started and stops at the end of the range.
class PlayClock
{
public:
    enum class State { Stopped, Playing, Paused };

    // Milliseconds from any fixed start; tests step it by hand. Empty: the system's
    // monotonic clock.
    static void setTimeSource(std::function<qint64()> milliseconds);
    static qint64 now();

    void play(qint32 from, qint32 to);
    void pause();
    bool resume(); // false when nothing was paused
    void stop();
    void seek(qint32 position);
    State state() const;
    qint32 position() const;
    qint32 end() const { return m_to; }

private:
    void settle() const; // turns a play that reached its end into a stop

    mutable State m_state = State::Stopped;
    mutable qint32 m_from = 0;
    qint32 m_to = 0;
    qint64 m_startedAt = 0;
};

// One CD drive or disc image. Opening is separate from construction so that "no drive"
// and "in use by another program" are answers, not failures of the program.
class CdDevice
{
public:
    enum class OpenResult { Opened, NoDevice, InUse };
    enum class Media { Ready, NotReady, DoorOpen };
    using PlayState = PlayClock::State;

    virtual ~CdDevice() = default;

    virtual OpenResult open() = 0;
    // Looks at the drive again; a disc that came in since the last look is read anew.
    virtual Media media() = 0;
    virtual CdToc toc() = 0; // meaningful while media() is Ready
    virtual bool readAudioSector(qint32 lsn, QByteArray &sector) = 0;

    // Playing from one sector to another (exclusive). The base keeps time with a clock,
    // which is how an image plays when there is nothing to hear it through.
    virtual bool play(qint32 from, qint32 to);
    virtual void pause();
    virtual bool resume();
    virtual void stop();
    virtual void seek(qint32 position);
    virtual PlayState playState();
    virtual qint32 position();
    // What the user should know about playing: no sound device, the disc stopped being
    // readable. Blank when all is well.
    virtual QString playbackNote() { return {}; }

    // The process-wide choice of device: a drive's device file or an image file (.cue,
    // .toc, .nrg, .bin); "" means the system's first drive.
    static void setSource(const QString &source);
    static QString source();

protected:
    PlayClock m_clock;
};

using CdDeviceFactory = std::function<std::unique_ptr<CdDevice>()>;
// Tests install a factory of scripted devices; an empty factory restores libcdio.
void setCdDeviceFactory(CdDeviceFactory factory);
std::unique_ptr<CdDevice> createCdDevice();

// The device named by --cd-device PATH (or --cd-device=PATH), else the environment
// variable SONGVANE_CD_DEVICE, else the entry CDDevice of section Settings in the
// settings file, else the first drive. Called by the program's main after the paths are
// configured; returns the source chosen.
QString configureCdDevice(const QStringList &arguments);

// A device that answers from a script the test holds and may change at any time: how
// opening goes, what the drive reports and the disc's table of contents. Counts its
// openings and closings (destructions) in the script.
struct CdScript
{
    CdDevice::OpenResult openResult = CdDevice::OpenResult::Opened;
    CdDevice::Media media = CdDevice::Media::Ready;
    CdToc toc;
    int opened = 0;
    int closed = 0;
};

class ScriptedCdDevice : public CdDevice
{
public:
    explicit ScriptedCdDevice(std::shared_ptr<CdScript> script) : m_script(std::move(script)) {}
    ~ScriptedCdDevice() override;

    OpenResult open() override;
    Media media() override { return m_script->media; }
    CdToc toc() override { return m_script->toc; }
    bool readAudioSector(qint32 lsn, QByteArray &sector) override;

    // Installs a factory that makes scripted devices over this script.
    static void install(std::shared_ptr<CdScript> script);

private:
    std::shared_ptr<CdScript> m_script;
    bool m_open = false;
};

// A table of contents from track starts (LSN) and the lead-out, every track audio.
CdToc makeAudioToc(const QList<qint32> &starts, qint32 leadOut);

} // namespace sv
