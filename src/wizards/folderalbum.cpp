#include "folderalbum.h"

#include "platform/stddate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <taglib/fileref.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cmath>

namespace sv {

namespace {

QString fromTag(const TagLib::String &text)
{
    return QString::fromUtf8(text.toCString(true)).trimmed();
}

// A field's values joined: some formats keep several artists or composers as a list.
QString tagText(const TagLib::PropertyMap &tags, const char *name)
{
    const auto found = tags.find(name);
    if (found == tags.end())
        return {};
    QStringList values;
    for (const TagLib::String &value : found->second) {
        const QString text = fromTag(value);
        if (!text.isEmpty() && !values.contains(text))
            values.append(text);
    }
    return values.join(QStringLiteral(", "));
}

// The leading number of "3", "03" or "3/12"; 0 when there is none.
int leadingNumber(const QString &text)
{
    qsizetype digits = 0;
    while (digits < text.size() && digits < 6 && text.at(digits).isDigit())
        ++digits;
    return digits == 0 ? 0 : text.left(digits).toInt();
}

void readDate(const QString &text, FolderTrack &track)
{
    static const QRegularExpression fullDate(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})"));
    static const QRegularExpression anyYear(QStringLiteral("(?:^|\\D)(\\d{4})(?:\\D|$)"));
    if (const auto match = fullDate.match(text); match.hasMatch()) {
        track.year = match.captured(1).toInt();
        track.releaseDate =
            makeDate(track.year, match.captured(2).toInt(), match.captured(3).toInt());
    } else if (const auto year = anyYear.match(text); year.hasMatch()) {
        track.year = year.captured(1).toInt();
    }
    if (track.year < 1 || track.year > 9999)
        track.year = 0;
}

// The playing time in whole seconds, rounded: the time is shown and typed as minutes and
// seconds, so a finer value would change when the user merely opens and saves the row.
qint32 playingTime(int milliseconds)
{
    if (milliseconds <= 0)
        return NoTime;
    const int seconds = (milliseconds + 500) / 1000;
    return makeTime(seconds / 3600, seconds / 60 % 60, seconds % 60);
}

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The value most tracks give (case aside), the earliest on a tie; `empty` when none does.
template <typename Value, typename Get>
Value mostCommon(const QList<FolderTrack> &tracks, Get get, Value empty)
{
    QList<Value> values;
    QList<int> counts;
    for (const FolderTrack &track : tracks) {
        const Value value = get(track);
        if (value == empty)
            continue;
        qsizetype at = 0;
        if constexpr (std::is_same_v<Value, QString>) {
            at = std::find_if(values.cbegin(), values.cend(),
                              [&value](const QString &seen) { return sameText(seen, value); }) -
                 values.cbegin();
        } else {
            at = values.indexOf(value);
            if (at < 0)
                at = values.size();
        }
        if (at == values.size()) {
            values.append(value);
            counts.append(0);
        }
        ++counts[at];
    }
    if (values.isEmpty())
        return empty;
    return values.at(std::max_element(counts.cbegin(), counts.cend()) - counts.cbegin());
}

// Names compare as people read them: "9 Intro" before "10 Outro", case aside. Runs of
// digits compare by their value; the locale's collation is not relied on for that.
int compareNames(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            const qsizetype startA = i;
            const qsizetype startB = j;
            while (i < a.size() && a.at(i).isDigit())
                ++i;
            while (j < b.size() && b.at(j).isDigit())
                ++j;
            QStringView digitsA = QStringView(a).mid(startA, i - startA);
            QStringView digitsB = QStringView(b).mid(startB, j - startB);
            while (digitsA.size() > 1 && digitsA.front() == u'0')
                digitsA = digitsA.mid(1);
            while (digitsB.size() > 1 && digitsB.front() == u'0')
                digitsB = digitsB.mid(1);
            if (digitsA.size() != digitsB.size())
                return digitsA.size() < digitsB.size() ? -1 : 1;
            if (const int order = digitsA.compare(digitsB); order != 0)
                return order;
            continue;
        }
        const qsizetype startA = i;
        const qsizetype startB = j;
        while (i < a.size() && !a.at(i).isDigit())
            ++i;
        while (j < b.size() && !b.at(j).isDigit())
            ++j;
        const int order = QStringView(a)
                              .mid(startA, i - startA)
                              .compare(QStringView(b).mid(startB, j - startB), Qt::CaseInsensitive);
        if (order != 0)
            return order;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}

int discOf(const FolderTrack &track)
{
    return qMax(track.disc, 1);
}

} // namespace

const QStringList &audioFileSuffixes()
{
    static const QStringList suffixes = {QStringLiteral("mp3"),  QStringLiteral("flac"),
                                         QStringLiteral("ogg"),  QStringLiteral("oga"),
                                         QStringLiteral("opus"), QStringLiteral("m4a"),
                                         QStringLiteral("wav")};
    return suffixes;
}

bool isAudioFileName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 && audioFileSuffixes().contains(name.mid(dot + 1).toLower());
}

bool readAudioFile(const QString &path, FolderTrack &track, bool *vanished)
{
    if (vanished)
        *vanished = false;
    const QByteArray name = QFile::encodeName(path);
    const TagLib::FileRef file(name.constData(), true, TagLib::AudioProperties::Fast);
    // A file that opens but holds no sound at all (no sample rate found) is no audio either.
    const TagLib::AudioProperties *properties = file.isNull() ? nullptr : file.audioProperties();
    if (!properties || !file.file()->isValid() || properties->sampleRate() <= 0) {
        if (vanished)
            *vanished = !QFileInfo::exists(path);
        return false;
    }
    const TagLib::PropertyMap tags = file.file()->properties();
    FolderTrack read;
    read.fileName = QFileInfo(path).fileName();
    read.title = tagText(tags, "TITLE");
    read.artist = tagText(tags, "ARTIST");
    read.album = tagText(tags, "ALBUM");
    read.albumArtist = tagText(tags, "ALBUMARTIST");
    read.track = leadingNumber(tagText(tags, "TRACKNUMBER"));
    read.disc = leadingNumber(tagText(tags, "DISCNUMBER"));
    readDate(tagText(tags, "DATE"), read);
    read.genre = tagText(tags, "GENRE");
    read.composer = tagText(tags, "COMPOSER");
    const double bpm = tagText(tags, "BPM").toDouble();
    read.beatsPerMinute = bpm > 0 && bpm < 10000 ? int(std::lround(bpm)) : 0;
    read.time = playingTime(properties->lengthInMilliseconds());
    read.tagged =
        !read.title.isEmpty() || !read.artist.isEmpty() || !read.album.isEmpty() || read.track > 0;
    if (read.title.isEmpty())
        read.title = QFileInfo(path).completeBaseName();
    track = std::move(read);
    return true;
}

bool FolderAlbum::isCompilation() const
{
    QString first;
    for (const FolderTrack &track : tracks) {
        if (track.artist.isEmpty())
            continue;
        if (first.isEmpty())
            first = track.artist;
        else if (!sameText(first, track.artist))
            return true;
    }
    return false;
}

QString FolderAlbum::agreedAlbumArtist() const
{
    QString agreed;
    for (const FolderTrack &track : tracks) {
        if (track.albumArtist.isEmpty() ||
            (!agreed.isEmpty() && !sameText(agreed, track.albumArtist)))
            return QString();
        if (agreed.isEmpty())
            agreed = track.albumArtist;
    }
    return agreed;
}

QString FolderAlbum::artist() const
{
    if (const QString agreed = agreedAlbumArtist(); !agreed.isEmpty())
        return agreed;
    if (isCompilation())
        return QStringLiteral("Various");
    return mostCommon<QString>(tracks, [](const FolderTrack &t) { return t.artist; }, {});
}

QString FolderAlbum::title() const
{
    return mostCommon<QString>(tracks, [](const FolderTrack &t) { return t.album; }, {});
}

int FolderAlbum::year() const
{
    return mostCommon<int>(
        tracks, [](const FolderTrack &t) { return t.year; }, 0);
}

qint32 FolderAlbum::releaseDate() const
{
    const int common = year();
    return mostCommon<qint32>(
        tracks, [common](const FolderTrack &t) { return t.year == common ? t.releaseDate : 0; }, 0);
}

QString FolderAlbum::genre() const
{
    return mostCommon<QString>(tracks, [](const FolderTrack &t) { return t.genre; }, {});
}

QList<int> FolderAlbum::trackNumbers() const
{
    QList<int> own;
    bool keep = !tracks.isEmpty();
    for (const FolderTrack &track : tracks) {
        if (track.track <= 0 || discOf(track) != discOf(tracks.first()) ||
            own.contains(track.track)) {
            keep = false;
            break;
        }
        own.append(track.track);
    }
    if (keep)
        return own;
    QList<int> numbers;
    for (qsizetype i = 0; i < tracks.size(); ++i)
        numbers.append(int(i + 1));
    return numbers;
}

FolderReader::FolderReader(const QString &folder)
{
    m_album.folder = folder;
    const QDir dir(folder);
    m_exists = dir.exists();
    if (!m_exists)
        return;
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (isAudioFileName(name))
            m_files.append(name);
    }
}

void FolderReader::readNext()
{
    if (atEnd())
        return;
    const QString name = m_files.at(m_next++);
    FolderTrack track;
    bool gone = false;
    if (readAudioFile(QDir(m_album.folder).filePath(name), track, &gone))
        m_album.tracks.append(std::move(track));
    else
        (gone ? m_album.vanished : m_album.unreadable).append(name);
}

FolderAlbum FolderReader::album() const
{
    FolderAlbum album = m_album;
    std::stable_sort(album.tracks.begin(), album.tracks.end(),
                     [](const FolderTrack &a, const FolderTrack &b) {
                         const bool aNumbered = a.track > 0;
                         if (aNumbered != (b.track > 0))
                             return aNumbered;
                         if (aNumbered && discOf(a) != discOf(b))
                             return discOf(a) < discOf(b);
                         if (aNumbered && a.track != b.track)
                             return a.track < b.track;
                         return compareNames(a.fileName, b.fileName) < 0;
                     });
    return album;
}

} // namespace sv
