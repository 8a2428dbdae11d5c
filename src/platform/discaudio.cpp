#include "discaudio.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <utility>

namespace sv {

namespace {

constexpr qint64 BytesPerSecond = 44100 * 4; // 16-bit stereo at 44.1 kHz
constexpr qint64 BytesPerFrame = 4;

struct Played
{
    bool keep = false;
    QByteArray bytes;
};

Played &playedRecord()
{
    static Played record;
    return record;
}

// The system's audio output.
class AudioDeviceSink : public PcmSink
{
public:
    [[nodiscard]] bool start(QIODevice *source) override
    {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return false;
        QAudioFormat format;
        format.setSampleRate(44100);
        format.setChannelCount(2);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format))
            return false;
        m_sink = std::make_unique<QAudioSink>(device, format);
        m_sink->start(source);
        return m_sink->error() == QAudio::NoError;
    }
    qint64 processedBytes() override
    {
        return m_sink ? m_sink->processedUSecs() * BytesPerSecond / 1000000 / BytesPerFrame *
                            BytesPerFrame
                      : 0;
    }
    void suspend() override
    {
        if (m_sink)
            m_sink->suspend();
    }
    void resume() override
    {
        if (m_sink)
            m_sink->resume();
    }
    void stop() override
    {
        if (m_sink)
            m_sink->stop();
    }
    bool failed() override
    {
        return m_sink &&
               (m_sink->error() == QAudio::FatalError || m_sink->error() == QAudio::OpenError);
    }

private:
    std::unique_ptr<QAudioSink> m_sink;
};

PcmSinkFactory &sinkFactory()
{
    static PcmSinkFactory make;
    return make;
}

} // namespace

// ---- Silent sink ----

bool SilentPcmSink::start(QIODevice *source)
{
    m_source = source;
    m_taken = 0;
    m_before = 0;
    m_startedAt = PlayClock::now();
    m_running = true;
    return true;
}

qint64 SilentPcmSink::due() const
{
    const qint64 milliseconds = m_before + (m_running ? PlayClock::now() - m_startedAt : 0);
    return milliseconds * BytesPerSecond / 1000 / BytesPerFrame * BytesPerFrame;
}

qint64 SilentPcmSink::processedBytes()
{
    char buffer[SectorBytes * 8];
    for (qint64 wanted = due() - m_taken; wanted > 0 && m_source;) {
        const qint64 got = m_source->read(buffer, qMin<qint64>(wanted, sizeof buffer));
        if (got <= 0)
            break;
        if (playedRecord().keep)
            playedRecord().bytes.append(buffer, got);
        m_taken += got;
        wanted -= got;
    }
    return m_taken;
}

void SilentPcmSink::suspend()
{
    if (!m_running)
        return;
    processedBytes();
    m_before += PlayClock::now() - m_startedAt;
    m_running = false;
}

void SilentPcmSink::resume()
{
    if (m_running)
        return;
    m_startedAt = PlayClock::now();
    m_running = true;
}

void SilentPcmSink::stop()
{
    suspend();
    m_source = nullptr;
}

void SilentPcmSink::keepPlayed(bool keep)
{
    playedRecord().keep = keep;
    playedRecord().bytes.clear();
}

QByteArray SilentPcmSink::played()
{
    return ::sv::playedRecord().bytes;
}

void setPcmSinkFactory(PcmSinkFactory factory)
{
    sinkFactory() = std::move(factory);
}

std::unique_ptr<PcmSink> createPcmSink()
{
    if (sinkFactory())
        return sinkFactory()();
    return std::make_unique<AudioDeviceSink>();
}

// ---- Reading the sectors as they are played ----

class DiscAudio::Source : public QIODevice
{
public:
    Source(SectorReader &read, qint32 from, qint32 to) : m_read(read), m_next(from), m_to(to)
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_ended && m_offset >= m_sector.size(); }
    qint64 bytesAvailable() const override
    {
        return (m_sector.size() - m_offset) + (m_ended ? 0 : SectorBytes) +
               QIODevice::bytesAvailable();
    }
    bool failed() const { return m_failed; }
    // Where the audio read so far ends: the failure's place once a read failed.
    qint32 readUpTo() const { return m_next; }

protected:
    qint64 readData(char *data, qint64 length) override
    {
        qint64 given = 0;
        while (given < length) {
            if (m_offset >= m_sector.size() && !nextSector())
                break;
            const qint64 part = qMin<qint64>(length - given, m_sector.size() - m_offset);
            memcpy(data + given, m_sector.constData() + m_offset, size_t(part));
            m_offset += part;
            given += part;
        }
        return given;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool nextSector()
    {
        if (m_ended)
            return false;
        if (m_next >= m_to || !m_read(m_next, m_sector) || m_sector.size() != SectorBytes) {
            m_failed = m_next < m_to;
            m_ended = true;
            m_sector.clear();
            m_offset = 0;
            return false;
        }
        ++m_next;
        m_offset = 0;
        return true;
    }

    SectorReader &m_read;
    qint32 m_next;
    qint32 m_to;
    QByteArray m_sector;
    qint64 m_offset = 0;
    bool m_ended = false;
    bool m_failed = false;
};

DiscAudio::DiscAudio(SectorReader read) : m_read(std::move(read)) {}

DiscAudio::~DiscAudio()
{
    release();
}

QString DiscAudio::noSoundDevice()
{
    return QStringLiteral("No sound device: the disc plays silently.");
}

QString DiscAudio::readFailure()
{
    return QStringLiteral("The disc could not be read any further: play stopped.");
}

void DiscAudio::release()
{
    if (m_sink)
        m_sink->stop();
    m_sink.reset();
    m_source.reset();
}

void DiscAudio::play(qint32 from, qint32 to)
{
    release();
    m_note.clear();
    m_from = from;
    m_to = to;
    m_source = std::make_unique<Source>(m_read, from, to);
    m_sink = createPcmSink();
    if (!m_sink->start(m_source.get())) {
        m_sink = std::make_unique<SilentPcmSink>();
        (void)m_sink->start(m_source.get());
        m_note = noSoundDevice();
    }
    m_state = PlayClock::State::Playing;
}

void DiscAudio::pause()
{
    settle();
    if (m_state != PlayClock::State::Playing)
        return;
    m_sink->suspend();
    m_state = PlayClock::State::Paused;
}

bool DiscAudio::resume()
{
    settle();
    if (m_state != PlayClock::State::Paused)
        return false;
    m_sink->resume();
    m_state = PlayClock::State::Playing;
    return true;
}

void DiscAudio::stop()
{
    m_stoppedAt = position();
    release();
    m_state = PlayClock::State::Stopped;
}

void DiscAudio::seek(qint32 position)
{
    release();
    m_stoppedAt = position;
    m_state = PlayClock::State::Stopped;
}

// A sound device lost while playing leaves the disc playing on in silence from where the
// device got to, rather than standing still as if it still played.
void DiscAudio::continueSilently()
{
    const qint32 at = qMin(m_to, m_from + qint32(m_sink->processedBytes() / SectorBytes));
    const bool paused = m_state == PlayClock::State::Paused;
    release();
    m_from = at;
    m_source = std::make_unique<Source>(m_read, at, m_to);
    m_sink = std::make_unique<SilentPcmSink>();
    (void)m_sink->start(m_source.get());
    if (paused)
        m_sink->suspend();
    m_note = noSoundDevice();
}

void DiscAudio::settle()
{
    if (m_state == PlayClock::State::Stopped || !m_sink)
        return;
    if (m_sink->failed())
        continueSilently();
    const qint32 at = m_from + qint32(m_sink->processedBytes() / SectorBytes);
    const qint32 end = m_source->failed() ? m_source->readUpTo() : m_to;
    if (at < end)
        return;
    if (m_source->failed())
        m_note = readFailure();
    m_stoppedAt = end;
    release();
    m_state = PlayClock::State::Stopped;
}

PlayClock::State DiscAudio::state()
{
    settle();
    return m_state;
}

qint32 DiscAudio::position()
{
    settle();
    if (m_state == PlayClock::State::Stopped)
        return m_stoppedAt;
    return qMin(m_to, m_from + qint32(m_sink->processedBytes() / SectorBytes));
}

} // namespace sv
