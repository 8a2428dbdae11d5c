#include "albumfiles.h"

#include "store/schema.h"
#include "wizards/folderalbum.h"

#include <QAudioOutput>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMediaPlayer>

namespace sv {

namespace {

DesktopOpener &desktopOpener()
{
    static DesktopOpener opener;
    return opener;
}

QString accessProblem(const QString &path)
{
    const QFileInfo info(path);
    if (path.trimmed().isEmpty())
        return QStringLiteral("No file is named.");
    if (!info.exists())
        return QStringLiteral("The file ") + path + QStringLiteral(" does not exist.");
    if (!info.isFile())
        return path + QStringLiteral(" is not a file.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The file ") + path + QStringLiteral(" cannot be read.");
    return QString();
}

// The sound formats people keep their music in, told by their first bytes rather than by
// the name: WAV, MP3, FLAC, Ogg and MPEG-4 audio.
bool looksLikeSound(const QByteArray &head)
{
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WAVE")
        return true;
    if (head.startsWith("ID3") || head.startsWith("fLaC") || head.startsWith("OggS"))
        return true;
    if (head.mid(4, 4) == "ftyp")
        return true;
    return head.size() >= 2 && quint8(head.at(0)) == 0xFF && (quint8(head.at(1)) & 0xE0) == 0xE0;
}

// The first file of a folder that is a sound, in album order: by disc and track number as
// the tags give them, else by name.
QString firstSoundIn(const QString &folder)
{
    FolderReader reader(folder);
    while (!reader.atEnd())
        reader.readNext();
    const FolderAlbum album = reader.album();
    if (album.tracks.isEmpty())
        return QString();
    return QDir(folder).filePath(album.tracks.first().fileName);
}

} // namespace

QString soundToPlay(const QString &path)
{
    if (QFileInfo(path).isDir())
        return firstSoundIn(path);
    return path;
}

QString FolderSongFiles::find(const QString &folder, qint64 track, const QString &title)
{
    auto tracks = m_folders.find(folder);
    if (tracks == m_folders.end()) {
        FolderReader reader(folder);
        while (!reader.atEnd())
            reader.readNext();
        const FolderAlbum album = reader.album();
        const QList<int> numbers = album.trackNumbers();
        const int width = tableDef(TableId::Songs).fields.at(mus::Title).size;
        QList<Track> list;
        for (qsizetype i = 0; i < album.tracks.size(); ++i) {
            const FolderTrack &file = album.tracks.at(i);
            list.append({numbers.at(i), file.title.left(width).trimmed(),
                         QDir(folder).filePath(file.fileName)});
        }
        tracks = m_folders.insert(folder, list);
    }
    const QString wanted = title.trimmed();
    const auto sameTitle = [&wanted](const Track &candidate) {
        return candidate.title.compare(wanted, Qt::CaseInsensitive) == 0;
    };
    QString byTitle;
    int titled = 0;
    for (const Track &candidate : std::as_const(*tracks)) {
        if (!sameTitle(candidate))
            continue;
        if (candidate.number == track)
            return candidate.path;
        byTitle = candidate.path;
        ++titled;
    }
    return titled == 1 ? byTitle : QString();
}

QString soundFileProblem(const QString &path)
{
    if (!path.trimmed().isEmpty() && QFileInfo(path).isDir()) {
        if (!QFileInfo(path).isReadable())
            return QStringLiteral("The folder ") + path + QStringLiteral(" cannot be read.");
        if (firstSoundIn(path).isEmpty())
            return QStringLiteral("The folder ") + path +
                   QStringLiteral(" holds no sound file this program can read.");
        return QString();
    }
    QString problem = accessProblem(path);
    if (!problem.isEmpty())
        return problem;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The file ") + path + QStringLiteral(" cannot be read.");
    if (!looksLikeSound(file.read(12)))
        return path + QStringLiteral(" is not a sound file.");
    return QString();
}

QString imageFileProblem(const QString &path)
{
    QString problem = accessProblem(path);
    if (!problem.isEmpty())
        return problem;
    QImageReader reader(path);
    if (!reader.canRead())
        return path + QStringLiteral(" is not a picture this program can show.");
    return QString();
}

void setDesktopOpener(DesktopOpener opener)
{
    desktopOpener() = std::move(opener);
}

bool openOnDesktop(const QUrl &url)
{
    if (desktopOpener())
        return desktopOpener()(url);
    return QDesktopServices::openUrl(url);
}

SoundPlayer::SoundPlayer(QObject *parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer()
{
    stop();
}

void SoundPlayer::play(const QString &path)
{
    stop();
    m_path = path;
    m_reported = false;
    const QString sound = soundToPlay(path);
    if (sound.isEmpty() || !soundFileProblem(sound).isEmpty()) {
        reportFailure();
        return;
    }
    // Made on first use: a form whose sound is never played opens no audio device.
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(this);
        m_player->setAudioOutput(m_output);
        connect(m_player, &QMediaPlayer::errorOccurred, this, &SoundPlayer::reportFailure);
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus status) {
                    if (status == QMediaPlayer::InvalidMedia)
                        reportFailure();
                });
    }
    m_player->setSource(QUrl::fromLocalFile(QFileInfo(sound).absoluteFilePath()));
    m_player->play();
}

void SoundPlayer::stop()
{
    if (m_player) {
        m_player->stop();
        m_player->setSource(QUrl());
    }
}

bool SoundPlayer::isPlaying() const
{
    return m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

// Once per play: the decoder may report the same failure more than one way.
void SoundPlayer::reportFailure()
{
    if (m_reported)
        return;
    m_reported = true;
    Q_EMIT failed(m_path);
}

} // namespace sv
