#include "cddevice.h"

#include "discaudio.h"
#include "discimage.h"
#include "inifile.h"
#include "paths.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <discid/discid.h>

// After cdio.h, which declares the types it uses.
#include <cdio/audio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cerrno>
#include <utility>

#include <csignal>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sv {

// ---- Table of contents and disc identifiers ----

int CdToc::audioTrackCount() const
{
    for (qsizetype i = tracks.size(); i > 0; --i) {
        if (tracks.at(i - 1).audio)
            return int(i);
    }
    return 0;
}

qint32 CdToc::audioLeadOut() const
{
    const int count = audioTrackCount();
    if (count == tracks.size())
        return leadOut;
    if (count == 0)
        return tracks.first().start;
    const qint32 dataStart = tracks.at(count).start;
    const qint32 sessionEnd = dataStart - SessionGap;
    // A data track right after the audio (one session) leaves no gap to take off.
    return sessionEnd > tracks.at(count - 1).start ? sessionEnd : dataStart;
}

qint32 CdToc::trackLength(int track) const
{
    const qint32 end = track < audioTrackCount() ? trackStart(track + 1) : audioLeadOut();
    return qMax(0, end - trackStart(track));
}

qint32 CdToc::audioLength() const
{
    return audioTrackCount() == 0 ? 0 : qMax(0, audioLeadOut() - trackStart(1));
}

int CdToc::trackAt(qint32 lsn) const
{
    int track = 1;
    for (int i = 2; i <= audioTrackCount() && trackStart(i) <= lsn; ++i)
        track = i;
    return track;
}

namespace {

int digitSum(int number)
{
    int sum = 0;
    for (; number > 0; number /= 10)
        sum += number % 10;
    return sum;
}

int msfSeconds(qint32 lsn)
{
    return (lsn + MsfOffset) / FramesPerSecond;
}

QString freedbId(const CdToc &toc)
{
    int checksum = 0;
    for (const CdTrack &track : toc.tracks)
        checksum += digitSum(msfSeconds(track.start));
    const quint32 seconds = msfSeconds(toc.leadOut) - msfSeconds(toc.tracks.first().start);
    const quint32 id =
        quint32(checksum % 255) << 24 | seconds << 8 | quint32(toc.tracks.size() & 0xff);
    return QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0'));
}

QString musicBrainzId(const CdToc &toc)
{
    const int count = toc.audioTrackCount();
    const int last = toc.firstTrackNumber + count - 1;
    if (count == 0 || toc.firstTrackNumber < 1 || last > 99)
        return {};
    int offsets[100] = {};
    offsets[0] = toc.audioLeadOut() + MsfOffset;
    for (int i = 1; i <= count; ++i)
        offsets[toc.firstTrackNumber + i - 1] = toc.trackStart(i) + MsfOffset;
    DiscId *disc = discid_new();
    QString id;
    if (discid_put(disc, toc.firstTrackNumber, last, offsets))
        id = QString::fromLatin1(discid_get_id(disc));
    discid_free(disc);
    return id;
}

} // namespace

DiscIds discIds(const CdToc &toc)
{
    if (toc.tracks.isEmpty())
        return {};
    return {freedbId(toc), musicBrainzId(toc)};
}

CdToc makeAudioToc(const QList<qint32> &starts, qint32 leadOut)
{
    CdToc toc;
    for (qint32 start : starts)
        toc.tracks.append({start, true});
    toc.leadOut = leadOut;
    return toc;
}

// ---- Position clock ----

namespace {

std::function<qint64()> &timeSource()
{
    static std::function<qint64()> source;
    return source;
}

} // namespace

void PlayClock::setTimeSource(std::function<qint64()> milliseconds)
{
    timeSource() = std::move(milliseconds);
}

qint64 PlayClock::now()
{
    if (timeSource())
        return timeSource()();
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

void PlayClock::play(qint32 from, qint32 to)
{
    m_from = from;
    m_to = to;
    m_startedAt = now();
    m_state = State::Playing;
}

void PlayClock::pause()
{
    if (state() != State::Playing)
        return;
    m_from = position();
    m_state = State::Paused;
}

bool PlayClock::resume()
{
    if (state() != State::Paused)
        return false;
    m_startedAt = now();
    m_state = State::Playing;
    return true;
}

void PlayClock::stop()
{
    m_from = position();
    m_state = State::Stopped;
}

void PlayClock::seek(qint32 position)
{
    m_from = position;
    m_state = State::Stopped;
}

void PlayClock::settle() const
{
    if (m_state == State::Playing && position() >= m_to) {
        m_from = m_to;
        m_state = State::Stopped;
    }
}

PlayClock::State PlayClock::state() const
{
    settle();
    return m_state;
}

qint32 PlayClock::position() const
{
    if (m_state != State::Playing)
        return m_from;
    const qint64 played = (now() - m_startedAt) * FramesPerSecond / 1000;
    return qint32(qMin<qint64>(m_to, m_from + played));
}

// ---- Device base: keeping time ----

bool CdDevice::play(qint32 from, qint32 to)
{
    m_clock.play(from, to);
    return true;
}

void CdDevice::pause()
{
    m_clock.pause();
}

bool CdDevice::resume()
{
    return m_clock.resume();
}

void CdDevice::stop()
{
    m_clock.stop();
}

void CdDevice::seek(qint32 position)
{
    m_clock.seek(position);
}

CdDevice::PlayState CdDevice::playState()
{
    return m_clock.state();
}

qint32 CdDevice::position()
{
    return m_clock.position();
}

namespace {

QString &sourceSetting()
{
    static QString source;
    return source;
}

} // namespace

void CdDevice::setSource(const QString &source)
{
    sourceSetting() = source;
}

QString CdDevice::source()
{
    return sourceSetting();
}

// ---- libcdio: a drive or an image ----

namespace {

Q_LOGGING_CATEGORY(cdLog, "songvane.cd", QtWarningMsg)

void logThroughQt(cdio_log_level_t level, const char *message)
{
    if (level >= CDIO_LOG_ERROR)
        qCWarning(cdLog, "%s", message);
    else
        qCDebug(cdLog, "%s", message);
}

// A drive without a disc answers every look with warnings; they are debug output here, not
// lines on the terminal every time the player polls.
void routeLibcdioLog()
{
    static const bool routed = (cdio_log_set_handler(logThroughQt), true);
    Q_UNUSED(routed);
}

msf_t toMsf(qint32 lsn)
{
    msf_t msf;
    cdio_lsn_to_msf(lsn, &msf);
    return msf;
}

// A drive's audio read digitally, with the error correction of the paranoia reader, for
// drives that cannot play audio themselves.
class ParanoiaReader
{
public:
    explicit ParanoiaReader(CdIo_t *cdio)
    {
        m_drive = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (m_drive && cdio_cddap_open(m_drive) == 0) {
            m_paranoia = cdio_paranoia_init(m_drive);
            // Skipping a sector that will not read keeps the music going.
            cdio_paranoia_modeset(m_paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        }
    }
    ~ParanoiaReader()
    {
        if (m_paranoia)
            cdio_paranoia_free(m_paranoia);
        if (m_drive)
            cdio_cddap_close_no_free_cdio(m_drive);
    }
    ParanoiaReader(const ParanoiaReader &) = delete;
    ParanoiaReader &operator=(const ParanoiaReader &) = delete;

    bool read(qint32 lsn, QByteArray &sector)
    {
        if (!m_paranoia)
            return false;
        if (lsn != m_next)
            cdio_paranoia_seek(m_paranoia, lsn, SEEK_SET);
        const int16_t *samples = cdio_paranoia_read(m_paranoia, nullptr);
        if (!samples)
            return false;
        sector = QByteArray(reinterpret_cast<const char *>(samples), SectorBytes);
        m_next = lsn + 1;
        return true;
    }

private:
    cdrom_drive_t *m_drive = nullptr;
    cdrom_paranoia_t *m_paranoia = nullptr;
    qint32 m_next = -1;
};

class LibcdioDevice : public CdDevice
{
public:
    explicit LibcdioDevice(const QString &source)
        : m_source(source), m_audio([this](qint32 lsn, QByteArray &sector) {
              return m_paranoia ? m_paranoia->read(lsn, sector) : readAudioSector(lsn, sector);
          })
    {
        routeLibcdioLog();
    }
    ~LibcdioDevice() override { closeHandle(); }

    OpenResult open() override;
    Media media() override;
    CdToc toc() override { return m_toc; }
    bool readAudioSector(qint32 lsn, QByteArray &sector) override;

    bool play(qint32 from, qint32 to) override;
    void pause() override;
    bool resume() override;
    void stop() override;
    void seek(qint32 position) override;
    PlayState playState() override;
    qint32 position() override;
    QString playbackNote() override;

private:
    static QByteArray firstDrive();
    OpenResult openHandle();
    void closeHandle();
    bool readToc();
    bool readSubchannel(cdio_subchannel_t &subchannel);

    QString m_source;
    QByteArray m_path;
    CdIo_t *m_cdio = nullptr;
    bool m_drive = false;
    bool m_tocStale = true;
    bool m_drivePlays = false; // the drive itself plays (analogue or digital out)
    CdToc m_toc;
    std::unique_ptr<QTemporaryFile> m_sheet; // a toc sheet as the library is given it
    // An image file's size and time of change when it was last read.
    static std::pair<qint64, QDateTime> imageStamp(const QFileInfo &image)
    {
        return {image.size(), image.lastModified()};
    }
    std::pair<qint64, QDateTime> m_imageStamp;
    bool m_imageGone = false;
    // Audio the program plays itself: an image's, or a drive's read digitally.
    DiscAudio m_audio;
    std::unique_ptr<ParanoiaReader> m_paranoia;
    QString m_note;
};

QByteArray LibcdioDevice::firstDrive()
{
    char **drives = cdio_get_devices(DRIVER_DEVICE);
    QByteArray first = drives && drives[0] ? QByteArray(drives[0]) : QByteArray();
    cdio_free_device_list(drives);
    return first;
}

CdDevice::OpenResult LibcdioDevice::open()
{
    if (m_source.isEmpty()) {
        m_path = firstDrive();
        m_drive = true;
    } else {
        const QFileInfo info(m_source);
        if (!info.exists())
            return OpenResult::NoDevice;
        m_path = QFile::encodeName(info.absoluteFilePath());
        m_drive = !info.isFile();
        if (!m_drive)
            m_imageStamp = imageStamp(info);
    }
    if (m_path.isEmpty())
        return OpenResult::NoDevice;
    return openHandle();
}

driver_id_t imageDriver(DiscImageKind kind)
{
    switch (kind) {
    case DiscImageKind::Cue:
        return DRIVER_BINCUE;
    case DiscImageKind::Toc:
        return DRIVER_CDRDAO;
    case DiscImageKind::Nrg:
        return DRIVER_NRG;
    case DiscImageKind::None:
        break;
    }
    return DRIVER_UNKNOWN;
}

void ignoreLibcdioLog(cdio_log_level_t, const char *) {}

// The image readers trust the files they read; what the checks before cannot foresee is
// tried in a child process first, so that a file that makes a reader crash or hang ends
// that child and not the program. The child does nothing but read the image and leave.
bool imageOpensSafely(const QByteArray &path, driver_id_t driver)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // Only the exit status speaks: no handler of the parent's may run, nothing printed.
        for (const int signal : {SIGSEGV, SIGFPE, SIGABRT, SIGBUS, SIGILL, SIGALRM})
            ::signal(signal, SIG_DFL);
        if (const int null = ::open("/dev/null", O_WRONLY); null >= 0)
            ::dup2(null, STDERR_FILENO);
        ::alarm(2);                             // a reader caught in a loop
        cdio_log_set_handler(ignoreLibcdioLog); // Qt's logging may be locked by another thread
        CdIo_t *cdio = cdio_open(path.constData(), driver);
        bool read = cdio != nullptr;
        if (cdio) {
            const track_t count = cdio_get_num_tracks(cdio);
            const track_t first = cdio_get_first_track_num(cdio);
            read = count != CDIO_INVALID_TRACK && first != CDIO_INVALID_TRACK;
            for (int track = first; read && track < first + count; ++track) {
                cdio_get_track_format(cdio, track_t(track));
                cdio_get_track_lsn(cdio, track_t(track));
            }
            cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
            char sector[SectorBytes];
            if (read)
                cdio_read_audio_sector(cdio, sector, cdio_get_track_lsn(cdio, first));
            cdio_destroy(cdio);
        }
        ::_exit(read ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

CdDevice::OpenResult LibcdioDevice::openHandle()
{
    closeHandle();
    if (m_drive) {
        errno = 0;
        m_cdio = cdio_open(m_path.constData(), DRIVER_DEVICE);
    } else {
        const QString path = QFile::decodeName(m_path);
        const driver_id_t driver = imageDriver(discImageKind(path));
        QString reason;
        if (driver == DRIVER_UNKNOWN || !checkDiscImage(path, &reason)) {
            qCWarning(cdLog, "%s is not a disc image that can be read: %s", m_path.constData(),
                      qPrintable(reason));
            return OpenResult::NoDevice;
        }
        QByteArray descriptor = QFile::encodeName(discImageDescriptor(path));
        if (driver == DRIVER_CDRDAO) {
            // The library reads only sheets whose names end in ".toc".
            m_sheet = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                       QStringLiteral("/songvane-XXXXXX.toc"));
            if (!m_sheet->open() || m_sheet->write(tocWithFullPaths(path)) <= 0 ||
                !m_sheet->flush())
                return OpenResult::NoDevice;
            descriptor = QFile::encodeName(m_sheet->fileName());
        }
        if (!imageOpensSafely(descriptor, driver)) {
            qCWarning(cdLog, "%s cannot be read as a disc image", m_path.constData());
            return OpenResult::NoDevice;
        }
        errno = 0;
        m_cdio = cdio_open(descriptor.constData(), driver);
    }
    if (!m_cdio)
        return errno == EBUSY ? OpenResult::InUse : OpenResult::NoDevice;
    m_tocStale = !readToc();
    return OpenResult::Opened;
}

void LibcdioDevice::closeHandle()
{
    m_audio.stop();
    m_paranoia.reset();
    if (m_cdio)
        cdio_destroy(m_cdio);
    m_cdio = nullptr;
    m_drivePlays = false;
}

bool LibcdioDevice::readToc()
{
    m_toc = {};
    const track_t first = cdio_get_first_track_num(m_cdio);
    const track_t count = cdio_get_num_tracks(m_cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return false;
    m_toc.firstTrackNumber = first;
    for (int track = first; track < first + count; ++track) {
        const bool audio = cdio_get_track_format(m_cdio, track_t(track)) == TRACK_FORMAT_AUDIO;
        m_toc.tracks.append({cdio_get_track_lsn(m_cdio, track_t(track)), audio});
    }
    m_toc.leadOut = cdio_get_track_lsn(m_cdio, CDIO_CDROM_LEADOUT_TRACK);
    return m_toc.leadOut != CDIO_INVALID_LSN;
}

CdDevice::Media LibcdioDevice::media()
{
    if (!m_drive) {
        // An image stands for a disc: taking the file away takes the disc out, and a file
        // put back or replaced is read anew, as a new disc would be.
        const QFileInfo image(QFile::decodeName(m_path));
        if (!image.exists()) {
            if (!m_imageGone && m_audio.state() != PlayState::Stopped)
                m_note = QStringLiteral("The disc image is gone: play stopped.");
            m_audio.stop();
            m_imageGone = true;
            return Media::NotReady;
        }
        if (std::exchange(m_imageGone, false) || imageStamp(image) != m_imageStamp) {
            m_imageStamp = imageStamp(image);
            openHandle();
        }
        return m_cdio && !m_tocStale ? Media::Ready : Media::NotReady;
    }
    if (m_cdio && mmc_get_tray_status(m_cdio) == 1) {
        m_tocStale = true;
        return Media::DoorOpen;
    }
    // The drive keeps the contents it read first; a new disc needs a new handle.
    if (!m_cdio || m_tocStale || cdio_get_media_changed(m_cdio) == 1)
        openHandle();
    return m_cdio && !m_tocStale ? Media::Ready : Media::NotReady;
}

bool LibcdioDevice::readAudioSector(qint32 lsn, QByteArray &sector)
{
    sector.resize(SectorBytes);
    return m_cdio && cdio_read_audio_sector(m_cdio, sector.data(), lsn) == DRIVER_OP_SUCCESS;
}

// A drive plays audio itself where it can; otherwise, and for an image, the program reads the
// audio and plays it through the sound device.
bool LibcdioDevice::play(qint32 from, qint32 to)
{
    m_note.clear();
    if (m_drive && m_cdio) {
        msf_t start = toMsf(from);
        msf_t end = toMsf(to - 1);
        m_drivePlays = cdio_audio_play_msf(m_cdio, &start, &end) == DRIVER_OP_SUCCESS;
        if (m_drivePlays) {
            m_audio.stop();
            return CdDevice::play(from, to);
        }
        if (!m_paranoia)
            m_paranoia = std::make_unique<ParanoiaReader>(m_cdio);
    }
    m_audio.play(from, to);
    return true;
}

void LibcdioDevice::pause()
{
    if (m_drivePlays) {
        cdio_audio_pause(m_cdio);
        CdDevice::pause();
        return;
    }
    m_audio.pause();
}

bool LibcdioDevice::resume()
{
    if (m_drivePlays) {
        cdio_audio_resume(m_cdio);
        return CdDevice::resume();
    }
    return m_audio.resume();
}

void LibcdioDevice::stop()
{
    if (m_drivePlays) {
        cdio_audio_stop(m_cdio);
        CdDevice::stop();
        m_drivePlays = false;
        return;
    }
    m_audio.stop();
}

void LibcdioDevice::seek(qint32 position)
{
    stop();
    CdDevice::seek(position);
    m_audio.seek(position);
}

bool LibcdioDevice::readSubchannel(cdio_subchannel_t &subchannel)
{
    return m_drivePlays && cdio_audio_read_subchannel(m_cdio, &subchannel) == DRIVER_OP_SUCCESS;
}

CdDevice::PlayState LibcdioDevice::playState()
{
    if (!m_drivePlays)
        return m_audio.state();
    cdio_subchannel_t subchannel;
    if (!readSubchannel(subchannel))
        return CdDevice::playState();
    switch (subchannel.audio_status) {
    case CDIO_MMC_READ_SUB_ST_PLAY:
        return PlayState::Playing;
    case CDIO_MMC_READ_SUB_ST_PAUSED:
        return PlayState::Paused;
    default:
        return PlayState::Stopped;
    }
}

qint32 LibcdioDevice::position()
{
    if (!m_drivePlays)
        return m_audio.position();
    cdio_subchannel_t subchannel;
    if (!readSubchannel(subchannel))
        return CdDevice::position();
    return cdio_msf_to_lsn(&subchannel.abs_addr);
}

QString LibcdioDevice::playbackNote()
{
    if (!m_note.isEmpty())
        return m_note;
    return m_drivePlays ? QString() : m_audio.note();
}

CdDeviceFactory &factory()
{
    static CdDeviceFactory make;
    return make;
}

} // namespace

void setCdDeviceFactory(CdDeviceFactory make)
{
    factory() = std::move(make);
}

std::unique_ptr<CdDevice> createCdDevice()
{
    if (factory())
        return factory()();
    return std::make_unique<LibcdioDevice>(CdDevice::source());
}

QString configureCdDevice(const QStringList &arguments)
{
    QString source = optionValue(arguments, QStringLiteral("--cd-device"));
    if (source.isEmpty())
        source = qEnvironmentVariable("SONGVANE_CD_DEVICE");
    if (source.isEmpty())
        source = IniFile::get(QStringLiteral("Settings"), QStringLiteral("CDDevice"), {},
                              Paths::settingsFile());
    // A relative image path means one relative to where the program was started.
    if (!source.isEmpty() && QFileInfo(source).isRelative())
        source = QFileInfo(source).absoluteFilePath();
    CdDevice::setSource(source);
    return source;
}

// ---- Scripted device ----

ScriptedCdDevice::~ScriptedCdDevice()
{
    if (m_open)
        ++m_script->closed;
}

CdDevice::OpenResult ScriptedCdDevice::open()
{
    m_open = m_script->openResult == OpenResult::Opened;
    if (m_open)
        ++m_script->opened;
    return m_script->openResult;
}

bool ScriptedCdDevice::readAudioSector(qint32 lsn, QByteArray &sector)
{
    const CdToc &toc = m_script->toc;
    if (toc.tracks.isEmpty() || lsn < toc.tracks.first().start || lsn >= toc.leadOut)
        return false;
    sector.fill('\0', SectorBytes);
    return true;
}

void ScriptedCdDevice::install(std::shared_ptr<CdScript> script)
{
    setCdDeviceFactory([script] { return std::make_unique<ScriptedCdDevice>(script); });
}

} // namespace sv
