#pragma once

#include "cddevice.h"

#include <QIODevice>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

namespace sv {

// Where the audio of a disc goes: 16-bit stereo PCM at 44.1 kHz, pulled from `source`.
class PcmSink
{
public:
    virtual ~PcmSink() = default;
    // False when there is nothing to play through (no sound device, or it refused to open).
    [[nodiscard]] virtual bool start(QIODevice *source) = 0;
    // Bytes taken from the source and played (or, for a silent sink, timed) so far.
    virtual qint64 processedBytes() = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    virtual void stop() = 0;
    // The device went away or broke down while playing.
    virtual bool failed() { return false; }
};

// Takes the audio at the rate it would be heard, by the position clock's time source
// (PlayClock::now), and plays nothing: how a disc keeps its time without a sound device, and
// what tests play into. It reads what it takes, so a disc that stops being readable is
// noticed as it would be when heard.
class SilentPcmSink : public PcmSink
{
public:
    [[nodiscard]] bool start(QIODevice *source) override;
    qint64 processedBytes() override;
    void suspend() override;
    void resume() override;
    void stop() override;

    // Everything taken so far, for tests that check what was played.
    static void keepPlayed(bool keep);
    static QByteArray played();

private:
    qint64 due() const;

    QPointer<QIODevice> m_source;
    qint64 m_taken = 0;
    qint64 m_startedAt = 0;
    qint64 m_before = 0; // milliseconds played before the last resume
    bool m_running = false;
};

// The sound device: the system's default audio output through Qt Multimedia. A factory of
// sinks replaces it (tests play into a silent sink); empty restores it.
using PcmSinkFactory = std::function<std::unique_ptr<PcmSink>()>;
void setPcmSinkFactory(PcmSinkFactory factory);
std::unique_ptr<PcmSink> createPcmSink();

// Plays a run of a disc's sectors through a sink, reading them as they are needed, and
// keeps the position, pause and resume as a drive would. When no sink can be opened the
// disc plays silently, in time; when a sector cannot be read (the image went away or ends
// early) play stops where it got to. Either way note() says what happened.
class DiscAudio
{
public:
    using SectorReader = std::function<bool(qint32 lsn, QByteArray &sector)>;
    explicit DiscAudio(SectorReader read);
    ~DiscAudio();
    DiscAudio(const DiscAudio &) = delete;
    DiscAudio &operator=(const DiscAudio &) = delete;

    void play(qint32 from, qint32 to);
    void pause();
    [[nodiscard]] bool resume();
    void stop();
    void seek(qint32 position);
    PlayClock::State state();
    qint32 position();
    // What the user should know about the last play: blank when all went well.
    QString note() const { return m_note; }

    static QString noSoundDevice();
    static QString readFailure();

private:
    class Source;
    void settle(); // notices the end of the run, a failed read and a lost sound device
    void continueSilently();
    void release();

    SectorReader m_read;
    std::unique_ptr<Source> m_source;
    std::unique_ptr<PcmSink> m_sink;
    PlayClock::State m_state = PlayClock::State::Stopped;
    qint32 m_from = 0;
    qint32 m_to = 0;
    qint32 m_stoppedAt = 0;
    QString m_note;
};

} // namespace sv
