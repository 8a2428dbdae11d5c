#include "labeltext.h"

#include "app/settings.h"
#include "platform/picture.h"
#include "store/store.h"
#include "store/table.h"

#include <algorithm>

namespace sv::labels {

namespace {

// Keeps a table's buffer and position for whoever had them while a look-up reads it.
class KeepPlace
{
public:
    explicit KeepPlace(Table &table)
        : m_table(table), m_buffer(table.buffer()), m_current(table.current())
    {}
    ~KeepPlace()
    {
        m_table.buffer() = m_buffer;
        m_table.setCurrent(m_current);
    }
    KeepPlace(const KeepPlace &) = delete;
    KeepPlace &operator=(const KeepPlace &) = delete;

private:
    Table &m_table;
    Record m_buffer;
    Table::CurrentRecord m_current;
};

bool sameText(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

QString heading(const QString &album, const QString &artist, bool artistFirst)
{
    return artistFirst ? artist + QStringLiteral(" - ") + album
                       : album + QStringLiteral(" - ") + artist;
}

LabelSong songOf(const Record &song, const QString &text, int place)
{
    LabelSong made;
    const int track = int(song.number(mus::TrackNumber));
    made.track = track != 0 ? track : place + 1;
    made.side = int(song.number(mus::Side)) % 10;
    made.text =
        text + songTimeSuffix(song.number(mus::Time), song.text(mus::AdditionalInformation1));
    return made;
}

void writeSongs(const QList<LabelSong> &songs, const QString &image, Record &label)
{
    const QString delimiter = Settings::global().delimiter;
    const QString all = songLines(songs, delimiter);
    label.setMemo(lab::CDCoverText, all);
    label.setMemo(lab::CDInsideText, all);
    label.setMemo(lab::CassetteContentsA,
                  songLines(songs, delimiter, [](const LabelSong &s) { return s.side != 2; }));
    label.setMemo(lab::CassetteContentsB,
                  songLines(songs, delimiter, [](const LabelSong &s) { return s.side != 1; }));
    label.setText(lab::ImageName, image);
}

QString albumImage(Store &store, qint64 albumId)
{
    if (albumId == 0)
        return QString();
    Table &albums = store.table(TableId::Albums);
    if (!albums.isOpen())
        return QString();
    KeepPlace keep(albums);
    albums.buffer().clear();
    albums.buffer().setNumber(alb::AlbumID, albumId);
    return albums.get(alb::KeyAlbumID) ? albums.buffer().text(alb::AssociatedImage).trimmed()
                                       : QString();
}

} // namespace

QString artistDisplayName(const QString &artist)
{
    const QString name = artist.trimmed();
    const qsizetype comma = name.indexOf(u',');
    if (comma < 0)
        return name;
    const QString before = name.left(comma).trimmed();
    QString after = name.mid(comma + 1);
    QString group;
    const qsizetype with = after.indexOf(QStringLiteral(" with "), 0, Qt::CaseInsensitive);
    if (with >= 0) {
        group = after.mid(with).trimmed();
        after = after.left(with);
    }
    QString turned = after.trimmed() + u' ' + before;
    if (!group.isEmpty())
        turned += u' ' + group;
    return turned.trimmed();
}

QString songTimeSuffix(qint64 time, const QString &additionalInformation)
{
    if (time != 0) {
        const qint64 seconds = (time - 1) / 100;
        return QStringLiteral(" (%1:%2)")
            .arg((seconds / 60) % 60)
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    const QString extra = additionalInformation;
    if (extra.contains(u':') && !extra.contains(QStringLiteral("00:00")))
        return QStringLiteral(" (") + extra.trimmed() + u')';
    return QString();
}

QString songLines(QList<LabelSong> songs, const QString &delimiterSetting,
                  bool (*wanted)(const LabelSong &))
{
    std::stable_sort(songs.begin(), songs.end(), [](const LabelSong &a, const LabelSong &b) {
        return a.side != b.side ? a.side < b.side : a.track < b.track;
    });
    const QString setting = delimiterSetting.trimmed();
    const QString delimiter =
        setting.isEmpty() ? QStringLiteral(". ") : setting.left(1) + QLatin1Char(' ');
    QStringList lines;
    for (const LabelSong &song : std::as_const(songs))
        if (!wanted || wanted(song))
            lines.append(format(song.track, u"@n_3") + delimiter + song.text);
    return lines.join(QStringLiteral("\r\n"));
}

bool artistFirst(const QString &orderSetting)
{
    return orderSetting.trimmed().startsWith(u'A', Qt::CaseInsensitive);
}

void fillFromAlbum(Store &store, const Record &album, Record &label)
{
    const bool first = artistFirst(Settings::global().labelArtistTitleOrder);
    const QString title = album.text(alb::Album).trimmed();
    const QString artist = album.text(alb::Artist).trimmed();
    const QString shownArtist = artistDisplayName(artist);
    const QString head = heading(title, shownArtist, first);
    label.setText(lab::LabelDescription, head);
    label.setText(lab::CDSpine, head);
    label.setText(lab::CDTitle, head);
    const QString twoLines = first ? shownArtist + QStringLiteral("\r\n") + title
                                   : title + QStringLiteral("\r\n") + shownArtist;
    label.setMemo(lab::CassetteTitle, twoLines);
    label.setMemo(lab::CassetteFlap, twoLines);
    label.setNumber(lab::AlbumID, album.number(alb::AlbumID));

    QList<LabelSong> songs;
    Table &table = store.table(TableId::Songs);
    if (table.isOpen()) {
        KeepPlace keep(table);
        table.buffer().clear();
        table.buffer().setText(mus::Album, title);
        table.buffer().setText(mus::Artist, artist);
        table.setFrom(mus::SongsByAlbum);
        while (songs.size() < MostSongs && table.next()) {
            const Record &song = table.buffer();
            if (!sameText(song.text(mus::Album), title) ||
                !sameText(song.text(mus::Artist), artist))
                break;
            songs.append(songOf(song, song.text(mus::Title).trimmed(), int(songs.size())));
        }
    }
    writeSongs(songs, album.text(alb::AssociatedImage).trimmed(), label);
}

void fillFromFileNumber(Store &store, const Record &picked, Record &label)
{
    const bool first = artistFirst(Settings::global().labelArtistTitleOrder);
    const QString fileNumber = picked.text(mus::FileNumber).trimmed();
    const QString media = picked.text(mus::Media).trimmed();
    const QString title = picked.text(mus::Album).trimmed();
    const QString shownArtist = artistDisplayName(picked.text(mus::Artist));
    const QString numbered = QStringLiteral("File Number ") + fileNumber;
    label.setText(lab::LabelDescription, numbered);
    const QString head = numbered + u' ' + heading(title, shownArtist, first);
    label.setText(lab::CDSpine, head);
    label.setText(lab::CDTitle, head);
    const QString lines =
        numbered + QStringLiteral("\r\n") + title + QStringLiteral("\r\n") + shownArtist;
    label.setMemo(lab::CassetteTitle, lines);
    label.setMemo(lab::CassetteFlap, lines);
    label.setNumber(lab::AlbumID, picked.number(mus::AlbumID));
    const QString image = albumImage(store, picked.number(mus::AlbumID));

    QList<LabelSong> songs;
    Table &table = store.table(TableId::Songs);
    if (table.isOpen()) {
        KeepPlace keep(table);
        table.buffer().clear();
        table.buffer().setText(mus::Media, media);
        table.buffer().setText(mus::FileNumber, fileNumber);
        table.setFrom(mus::SongsByMedia);
        while (songs.size() < MostSongs && table.next()) {
            const Record &song = table.buffer();
            if (!sameText(song.text(mus::Media), media) ||
                !sameText(song.text(mus::FileNumber), fileNumber))
                break;
            const QString songTitle = song.text(mus::Title).trimmed();
            const QString songArtist = artistDisplayName(song.text(mus::Artist));
            songs.append(songOf(song,
                                first ? songArtist + QStringLiteral(" - ") + songTitle
                                      : songTitle + QStringLiteral(" - ") + songArtist,
                                int(songs.size())));
        }
    }
    writeSongs(songs, image.isEmpty() ? label.text(lab::ImageName) : image, label);
}

QString fontDescription(Store &store, qint64 fontId)
{
    if (fontId == 0)
        return DefaultFont;
    Table &fonts = store.table(TableId::Fonts);
    if (!fonts.isOpen())
        return DefaultFont;
    KeepPlace keep(fonts);
    fonts.buffer().clear();
    fonts.buffer().setNumber(fon::FontID, fontId);
    if (!fonts.get(fon::KeyFontID))
        return DefaultFont;
    const Record &font = fonts.buffer();
    const QString text = font.text(fon::TypeFace).trimmed() + u' ' +
                         font.text(fon::Size).trimmed() + QStringLiteral("  Colour:  ") +
                         font.text(fon::Colour).trimmed() + QStringLiteral("  Style:  ") +
                         font.text(fon::Style).trimmed();
    return text.left(60);
}

} // namespace sv::labels
