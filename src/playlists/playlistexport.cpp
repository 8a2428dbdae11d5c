#include "playlistexport.h"

#include "playlistentry.h"

#include "albums/albumfiles.h"
#include "store/errors.h"
#include "store/store.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QXmlStreamWriter>

namespace sv {

namespace {

struct Track
{
    QString title;
    QString artist;
    QString album;
    qint64 milliseconds = 0; // 0: not known
    QString location;        // a local file, or empty
};

// The album's sound file, looked up without moving the album file's buffer.
QString soundFileOf(Store &store, qint64 albumId)
{
    if (albumId == 0)
        return QString();
    Table &albums = store.table(TableId::Albums);
    const Record keep = albums.buffer();
    const Table::CurrentRecord current = albums.current();
    albums.buffer().clear();
    albums.buffer().setNumber(alb::AlbumID, albumId);
    const QString path = albums.get(alb::KeyAlbumID)
                             ? albums.buffer().text(alb::AssociatedWavFile).trimmed()
                             : QString();
    albums.buffer() = keep;
    albums.setCurrent(current);
    return path;
}

bool readTracks(Store &store, qint64 playlistId, QList<Track> &tracks, QString &error)
{
    Table &entries = store.table(TableId::PlaylistDetails);
    const Record keep = entries.buffer();
    const Table::CurrentRecord current = entries.current();
    QList<qint64> songIds;
    entries.buffer() = playlistRow(playlistId);
    entries.buffer().setNumber(pla::PlaylistSeq, 0);
    entries.setFrom(pla::KeyPlaylistID);
    while (entries.next() && entries.buffer().number(pla::PlaylistID) == playlistId)
        songIds.append(entries.buffer().number(pla::ID));
    const bool read = errorCode() == err::None || errorCode() == err::RecordNotAvailable;
    if (!read)
        error = errorText();
    entries.buffer() = keep;
    entries.setCurrent(current);
    if (!read)
        return false;
    SongLookup songs(store);
    Record song(tableDef(TableId::Songs));
    FolderSongFiles folders;
    for (qint64 id : std::as_const(songIds)) {
        if (!songs.find(id, song))
            continue; // a song deleted since has nothing to play
        Track track;
        track.title = song.text(mus::Title).trimmed();
        track.artist = song.text(mus::Artist).trimmed();
        track.album = song.text(mus::Album).trimmed();
        // Standard times count hundredths from 1.
        track.milliseconds = song.number(mus::Time) > 0 ? (song.number(mus::Time) - 1) * 10 : 0;
        track.location = soundFileOf(store, song.number(mus::AlbumID));
        // An album read from a folder names the folder: the song is one file in it.
        if (!track.location.isEmpty() && QFileInfo(track.location).isDir())
            track.location =
                folders.find(track.location, song.number(mus::TrackNumber), track.title);
        tracks.append(track);
    }
    return true;
}

QByteArray m3u8(const QList<Track> &tracks)
{
    QString text = QStringLiteral("#EXTM3U\n");
    for (const Track &track : tracks) {
        const qint64 seconds = track.milliseconds > 0 ? track.milliseconds / 1000 : -1;
        // One line each: a line break in a name would start a new entry.
        const auto line = [](QString value) { return value.replace(u'\n', u' '); };
        text += QStringLiteral("#EXTINF:%1,").arg(seconds) + line(track.artist) +
                QStringLiteral(" - ") + line(track.title) + u'\n';
        if (!track.album.isEmpty())
            text += QStringLiteral("#EXTALB:") + line(track.album) + u'\n';
        if (!track.location.isEmpty())
            text += line(track.location) + u'\n';
    }
    return text.toUtf8();
}

QByteArray xspf(const QString &name, const QList<Track> &tracks)
{
    QByteArray data;
    QXmlStreamWriter xml(&data);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("playlist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    xml.writeDefaultNamespace(QStringLiteral("http://xspf.org/ns/0/"));
    xml.writeTextElement(QStringLiteral("title"), name);
    xml.writeStartElement(QStringLiteral("trackList"));
    for (const Track &track : tracks) {
        xml.writeStartElement(QStringLiteral("track"));
        if (!track.location.isEmpty())
            xml.writeTextElement(QStringLiteral("location"),
                                 QUrl::fromLocalFile(track.location).toString(QUrl::FullyEncoded));
        xml.writeTextElement(QStringLiteral("title"), track.title);
        xml.writeTextElement(QStringLiteral("creator"), track.artist);
        if (!track.album.isEmpty())
            xml.writeTextElement(QStringLiteral("album"), track.album);
        if (track.milliseconds > 0)
            xml.writeTextElement(QStringLiteral("duration"), QString::number(track.milliseconds));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return data;
}

} // namespace

bool exportPlaylist(Store &store, qint64 playlistId, PlaylistFormat format, const QString &path,
                    QString &error)
{
    Table &masters = store.table(TableId::PlaylistMaster);
    const Record keep = masters.buffer();
    const Table::CurrentRecord current = masters.current();
    masters.buffer().clear();
    masters.buffer().setNumber(pld::PlaylistID, playlistId);
    const bool found = masters.get(pld::KeyPlaylistID);
    const QString name = masters.buffer().text(pld::PlaylistDescription).trimmed();
    masters.buffer() = keep;
    masters.setCurrent(current);
    if (!found) {
        error = errorText();
        return false;
    }
    QList<Track> tracks;
    if (!readTracks(store, playlistId, tracks, error))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    const QByteArray data = format == PlaylistFormat::M3u8 ? m3u8(tracks) : xspf(name, tracks);
    if (file.write(data) != data.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace sv
