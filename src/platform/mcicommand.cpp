#include "mcicommand.h"

#include <QStringList>

namespace sv {

namespace {

constexpr int ReplyLength = 99;
constexpr qint64 MaxMilliseconds = 100 * 60 * 1000; // no disc runs longer

struct Reply
{
    int code = 0;
    QString text;
};

Reply failure(int code)
{
    return {code, {}};
}

Reply flag(bool value)
{
    return {0, value ? QStringLiteral("true") : QStringLiteral("false")};
}

Reply number(qint64 value)
{
    return {0, QString::number(value)};
}

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString msfText(qint32 frames)
{
    frames = qMax(0, frames);
    const int seconds = frames / FramesPerSecond;
    return twoDigits(seconds / 60) + u':' + twoDigits(seconds % 60) + u':' +
           twoDigits(frames % FramesPerSecond);
}

qint64 framesToMilliseconds(qint64 frames)
{
    return (frames * 1000 + FramesPerSecond / 2) / FramesPerSecond;
}

qint64 millisecondsToFrames(qint64 milliseconds)
{
    return (milliseconds * FramesPerSecond + 500) / 1000;
}

// Reads "a:b:c" of at most `parts` numbers; missing trailing parts are 0.
std::optional<QList<int>> readParts(const QString &text, int parts)
{
    const QStringList pieces = text.split(u':');
    if (pieces.size() > parts)
        return std::nullopt;
    QList<int> values(parts, 0);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        bool ok = false;
        values[i] = pieces.at(i).toInt(&ok);
        if (!ok || values.at(i) < 0)
            return std::nullopt;
    }
    return values;
}

// The one cdaudio device of the program and the state the commands leave on it.
class CdAudio
{
public:
    Reply execute(const QString &command);
    std::optional<CdToc> toc();
    QString playbackNote() { return m_device ? m_device->playbackNote() : QString(); }
    void reset()
    {
        m_device.reset();
        m_users = 0;
    }

private:
    enum class TimeFormat { Msf, Tmsf, Milliseconds };

    Reply open(const QStringList &options);
    struct Parsed
    {
        qint32 value = 0;
        int error = 0; // mci::Error, 0 when the value was read
    };

    Reply status(const QStringList &item);
    Reply discStatus(const QString &item);
    Reply trackStatus(const QString &item, const QString &trackText);
    Reply set(const QStringList &item);
    Reply play(const QStringList &options);
    Reply seek(const QStringList &options);
    Reply control(const QString &verb);

    bool discReady();
    QString mode();
    QString lengthText(qint32 frames) const;
    QString positionText(qint32 lsn) const;
    // A position in the current time format as a sector.
    Parsed readPosition(const QString &text) const;

    std::unique_ptr<CdDevice> m_device;
    int m_users = 0; // opens not yet closed
    TimeFormat m_format = TimeFormat::Msf;
    CdToc m_toc; // as read by the last discReady()
};

Reply CdAudio::execute(const QString &command)
{
    const QStringList words = command.simplified().toLower().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return failure(mci::MissingCommandString);
    static const QStringList verbs = {
        QStringLiteral("open"),  QStringLiteral("close"),  QStringLiteral("status"),
        QStringLiteral("set"),   QStringLiteral("play"),   QStringLiteral("stop"),
        QStringLiteral("pause"), QStringLiteral("resume"), QStringLiteral("seek")};
    const QString verb = words.first();
    if (!verbs.contains(verb))
        return failure(mci::UnrecognizedCommand);
    if (words.size() < 2)
        return failure(mci::MissingDeviceName);
    if (words.at(1) != u"cdaudio")
        return failure(mci::InvalidDeviceName);
    const QStringList rest = words.mid(2);
    if (verb == u"open")
        return open(rest);
    if (!m_device)
        return failure(mci::InvalidDeviceName);
    if (verb == u"close") {
        // Each close gives back one open: a reader that shared the device while the
        // player holds it leaves the player's open standing.
        if (--m_users == 0)
            m_device.reset();
        return {};
    }
    if (verb == u"status")
        return status(rest);
    if (verb == u"set")
        return set(rest);
    if (verb == u"play")
        return play(rest);
    if (verb == u"seek")
        return seek(rest);
    return control(verb);
}

Reply CdAudio::open(const QStringList &options)
{
    for (const QString &option : options) {
        if (option != u"shareable" && option != u"wait")
            return failure(mci::UnrecognizedKeyword);
    }
    if (m_device) {
        // A shareable open joins the users of the device as it stands; only an open that
        // asks for the device to itself is refused.
        if (!options.contains(QStringLiteral("shareable")))
            return failure(mci::DeviceOpen);
        ++m_users;
        return {0, QStringLiteral("1")};
    }
    std::unique_ptr<CdDevice> device = createCdDevice();
    switch (device->open()) {
    case CdDevice::OpenResult::NoDevice:
        return failure(mci::InvalidDeviceName);
    case CdDevice::OpenResult::InUse:
        return failure(mci::DeviceInUse);
    case CdDevice::OpenResult::Opened:
        break;
    }
    m_device = std::move(device);
    m_users = 1;
    m_format = TimeFormat::Msf;
    return {0, QStringLiteral("1")};
}

bool CdAudio::discReady()
{
    if (m_device->media() != CdDevice::Media::Ready)
        return false;
    m_toc = m_device->toc();
    return true;
}

QString CdAudio::mode()
{
    switch (m_device->media()) {
    case CdDevice::Media::DoorOpen:
        return QStringLiteral("open");
    case CdDevice::Media::NotReady:
        return QStringLiteral("not ready");
    case CdDevice::Media::Ready:
        break;
    }
    switch (m_device->playState()) {
    case CdDevice::PlayState::Playing:
        return QStringLiteral("playing");
    case CdDevice::PlayState::Paused:
        return QStringLiteral("paused");
    case CdDevice::PlayState::Stopped:
        break;
    }
    return QStringLiteral("stopped");
}

Reply CdAudio::status(const QStringList &words)
{
    if (words.isEmpty())
        return failure(mci::MissingParameter);
    const QString item = words.join(u' ');
    // The drive is ready to take commands with its tray open; only a disc it cannot read
    // (yet) makes it not ready.
    if (item == u"ready")
        return flag(m_device->media() != CdDevice::Media::NotReady);
    if (item == u"media present")
        return flag(m_device->media() == CdDevice::Media::Ready);
    if (item == u"mode")
        return {0, mode()};
    if (item == u"time format") {
        static const QString names[] = {QStringLiteral("msf"), QStringLiteral("tmsf"),
                                        QStringLiteral("milliseconds")};
        return {0, names[int(m_format)]};
    }
    static const QStringList discItems = {
        QStringLiteral("number of tracks"), QStringLiteral("current track"),
        QStringLiteral("length"), QStringLiteral("position"), QStringLiteral("start position")};
    static const QStringList trackItems = {QStringLiteral("length"), QStringLiteral("position"),
                                           QStringLiteral("type")};
    const bool perTrack =
        !discItems.contains(item) && words.size() > 1 && words.at(words.size() - 2) == u"track";
    const QString head = perTrack ? words.mid(0, words.size() - 2).join(u' ') : item;
    if (!perTrack && words.last() == u"track" && trackItems.contains(words.first()))
        return failure(mci::MissingParameter);
    if (!(perTrack ? trackItems : discItems).contains(head))
        return failure(mci::UnrecognizedKeyword);
    if (!discReady())
        return failure(mci::DeviceNotReady);
    return perTrack ? trackStatus(head, words.last()) : discStatus(head);
}

Reply CdAudio::discStatus(const QString &item)
{
    const int count = m_toc.audioTrackCount();
    if (item == u"number of tracks")
        return number(count);
    if (item == u"length")
        return {0, lengthText(m_toc.audioLength())};
    if (count == 0)
        return item == u"current track" ? number(0) : failure(mci::OutOfRange);
    if (item == u"current track")
        return number(m_toc.trackAt(m_device->position()));
    if (item == u"position")
        return {0, positionText(m_device->position())};
    return {0, positionText(m_toc.trackStart(1))};
}

Reply CdAudio::trackStatus(const QString &item, const QString &trackText)
{
    bool ok = false;
    const int track = trackText.toInt(&ok);
    if (!ok)
        return failure(mci::BadInteger);
    if (track < 1 || track > m_toc.audioTrackCount())
        return failure(mci::OutOfRange);
    if (item == u"length")
        return {0, lengthText(m_toc.trackLength(track))};
    if (item == u"position")
        return {0, positionText(m_toc.trackStart(track))};
    return {0,
            m_toc.tracks.at(track - 1).audio ? QStringLiteral("audio") : QStringLiteral("other")};
}

QString CdAudio::lengthText(qint32 frames) const
{
    if (m_format == TimeFormat::Milliseconds)
        return QString::number(framesToMilliseconds(frames));
    return msfText(frames);
}

QString CdAudio::positionText(qint32 lsn) const
{
    switch (m_format) {
    case TimeFormat::Milliseconds:
        return QString::number(framesToMilliseconds(qint64(lsn) + MsfOffset));
    case TimeFormat::Msf:
        return msfText(lsn + MsfOffset);
    case TimeFormat::Tmsf:
        break;
    }
    const int track = m_toc.trackAt(lsn);
    return twoDigits(track) + u':' + msfText(lsn - m_toc.trackStart(track));
}

CdAudio::Parsed CdAudio::readPosition(const QString &text) const
{
    if (m_format == TimeFormat::Milliseconds) {
        bool ok = false;
        const qint64 milliseconds = text.toLongLong(&ok);
        if (!ok)
            return {0, mci::BadInteger};
        if (milliseconds < 0 || milliseconds > MaxMilliseconds)
            return {0, mci::OutOfRange};
        return {qint32(millisecondsToFrames(milliseconds)) - MsfOffset, 0};
    }
    const std::optional<QList<int>> parts = readParts(text, m_format == TimeFormat::Tmsf ? 4 : 3);
    if (!parts)
        return {0, mci::BadInteger};
    const QList<int> &v = *parts;
    if (m_format == TimeFormat::Msf)
        return {(v[0] * 60 + v[1]) * FramesPerSecond + v[2] - MsfOffset, 0};
    if (v[0] < 1 || v[0] > m_toc.audioTrackCount())
        return {0, mci::OutOfRange};
    return {m_toc.trackStart(v[0]) + (v[1] * 60 + v[2]) * FramesPerSecond + v[3], 0};
}

Reply CdAudio::set(const QStringList &words)
{
    if (words.isEmpty())
        return failure(mci::MissingParameter);
    if (words.size() < 2 || words.at(0) != u"time" || words.at(1) != u"format")
        return failure(mci::UnrecognizedKeyword);
    if (words.size() != 3)
        return failure(words.size() < 3 ? mci::MissingParameter : mci::UnrecognizedKeyword);
    const QString name = words.at(2);
    if (name == u"tmsf")
        m_format = TimeFormat::Tmsf;
    else if (name == u"msf")
        m_format = TimeFormat::Msf;
    else if (name == u"ms" || name == u"milliseconds")
        m_format = TimeFormat::Milliseconds;
    else
        return failure(mci::BadTimeFormat);
    return {};
}

Reply CdAudio::play(const QStringList &options)
{
    QString fromText;
    QString toText;
    for (qsizetype i = 0; i < options.size(); i += 2) {
        if (options.at(i) != u"from" && options.at(i) != u"to")
            return failure(mci::UnrecognizedKeyword);
        if (i + 1 >= options.size())
            return failure(mci::MissingParameter);
        (options.at(i) == u"from" ? fromText : toText) = options.at(i + 1);
    }
    if (!discReady())
        return failure(mci::DeviceNotReady);
    if (m_toc.audioTrackCount() == 0)
        return failure(mci::OutOfRange);
    if (fromText.isEmpty() && toText.isEmpty() && m_device->resume())
        return {};
    const qint32 first = m_toc.trackStart(1);
    const qint32 end = m_toc.audioLeadOut();
    qint32 from = m_device->position();
    qint32 to = end;
    for (const auto &[text, target] : {std::pair{fromText, &from}, std::pair{toText, &to}}) {
        if (text.isEmpty())
            continue;
        const Parsed position = readPosition(text);
        if (position.error != 0)
            return failure(position.error);
        *target = position.value;
    }
    if (from < first || from >= end || to <= from || to > end)
        return failure(mci::OutOfRange);
    m_device->play(from, to);
    return {};
}

Reply CdAudio::seek(const QStringList &options)
{
    if (options.size() != 2 || options.at(0) != u"to")
        return failure(options.isEmpty() ? mci::MissingParameter : mci::UnrecognizedKeyword);
    if (!discReady())
        return failure(mci::DeviceNotReady);
    if (m_toc.audioTrackCount() == 0)
        return failure(mci::OutOfRange);
    qint32 target = 0;
    if (options.at(1) == u"start") {
        target = m_toc.trackStart(1);
    } else if (options.at(1) == u"end") {
        target = m_toc.audioLeadOut();
    } else {
        const Parsed position = readPosition(options.at(1));
        if (position.error != 0)
            return failure(position.error);
        target = position.value;
        if (target < m_toc.trackStart(1) || target > m_toc.audioLeadOut())
            return failure(mci::OutOfRange);
    }
    m_device->seek(target);
    return {};
}

Reply CdAudio::control(const QString &verb)
{
    if (!discReady())
        return failure(mci::DeviceNotReady);
    if (verb == u"stop")
        m_device->stop();
    else if (verb == u"pause")
        m_device->pause();
    else
        m_device->resume();
    return {};
}

std::optional<CdToc> CdAudio::toc()
{
    if (!m_device || !discReady())
        return std::nullopt;
    return m_toc;
}

CdAudio &cdAudio()
{
    static CdAudio device;
    return device;
}

MciLogger &logger()
{
    static MciLogger log;
    return log;
}

MciTracer &tracer()
{
    static MciTracer trace;
    return trace;
}

QString replyText(const Reply &reply)
{
    if (reply.code == mci::DeviceOpen)
        return QStringLiteral("Error:1");
    if (reply.code != 0)
        return QStringLiteral("Error:") + QString::number(reply.code);
    if (reply.text == u"true")
        return QStringLiteral("1");
    if (reply.text == u"false")
        return {};
    return reply.text.left(ReplyLength);
}

void logFailure(const QString &command, const Reply &reply)
{
    if (reply.code == 0 || reply.code == mci::DeviceOpen || !logger())
        return;
    logger()(QStringLiteral("MCI Request"), command);
    logger()(QStringLiteral("MCI Return"), reply.text);
    logger()(QStringLiteral("MCI Error"), QString::number(reply.code));
}

} // namespace

QString SendMCICommand(const QString &command, bool modeQuery)
{
    const QString sent = modeQuery ? QStringLiteral("status cdaudio mode") : command;
    const Reply reply = cdAudio().execute(sent);
    logFailure(sent, reply);
    const QString text = replyText(reply);
    if (tracer())
        tracer()(sent, text);
    return text;
}

void setMciLogger(MciLogger log)
{
    logger() = std::move(log);
}

void setMciTracer(MciTracer trace)
{
    tracer() = std::move(trace);
}

std::optional<CdToc> cdaudioTableOfContents()
{
    return cdAudio().toc();
}

QString cdaudioPlaybackNote()
{
    return cdAudio().playbackNote();
}

void resetCdAudio()
{
    cdAudio().reset();
}

} // namespace sv
