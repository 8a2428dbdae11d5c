#include "catalogue.h"

#include "listsource.h"
#include "reportcriteria.h"

#include "app/settings.h"
#include "platform/paths.h"
#include "platform/picture.h"
#include "platform/stddate.h"
#include "playlists/playlistentry.h"
#include "songs/codetables.h"
#include "songs/songtitle.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QFileInfo>
#include <QImageReader>

namespace sv::reports {

namespace {

using namespace Qt::StringLiterals;

QString trimmedRight(QString text)
{
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

// --- song columns ------------------------------------------------------------------------

enum class SongColumn {
    Artist,
    Title,
    TitleWithMix,
    Album,
    Media,
    Category,
    Track,
    Chart,
    ChartNumber,
    FileNumber,
    FileHash,
    ReleaseDate,
    Time,
    Trk,
    Bpm,
    UserKey,
    Year,
    Date,
};

Column songColumn(SongColumn column)
{
    switch (column) {
    case SongColumn::Artist:
        return {u"Artist"_s, 1500};
    case SongColumn::Title:
        return {u"Title"_s, 1800};
    case SongColumn::TitleWithMix:
        return {u"Title"_s, 2300};
    case SongColumn::Album:
        return {u"Album"_s, 1500};
    case SongColumn::Media:
        return {u"Media"_s, 700};
    case SongColumn::Category:
        return {u"Category"_s, 900};
    case SongColumn::Track:
        return {u"Track"_s, 380, Qt::AlignRight};
    case SongColumn::Chart:
        return {u"Chart"_s, 400, Qt::AlignRight};
    case SongColumn::ChartNumber:
        return {u"Chart #"_s, 450, Qt::AlignRight};
    case SongColumn::FileNumber:
        return {u"File Number"_s, 800};
    case SongColumn::FileHash:
        return {u"File #"_s, 600};
    case SongColumn::ReleaseDate:
        return {u"Release Date"_s, 900};
    case SongColumn::Date:
        return {u"Date"_s, 800};
    case SongColumn::Time:
        return {u"Time"_s, 380, Qt::AlignRight};
    case SongColumn::Trk:
        return {u"Trk"_s, 280, Qt::AlignRight};
    case SongColumn::Bpm:
        return {u"BPM"_s, 350, Qt::AlignRight};
    case SongColumn::UserKey:
        return {Settings::global().udkPrompt.left(24), 900};
    case SongColumn::Year:
        return {u"Year"_s, 450, Qt::AlignRight};
    }
    return {};
}

// What a song's line shows: the values a column takes from the song and its category.
class SongCells
{
public:
    explicit SongCells(Store &store) : m_categories(store) {}

    QString cell(SongColumn column, const Record &song)
    {
        switch (column) {
        case SongColumn::Artist:
            return song.text(mus::Artist).trimmed();
        case SongColumn::Title:
            return song.text(mus::Title).trimmed();
        case SongColumn::TitleWithMix: {
            Record copy = song; // the display title may set the copy's Skips flag
            return SongDisplayTitle(copy).left(255);
        }
        case SongColumn::Album:
            return song.text(mus::Album).trimmed();
        case SongColumn::Media:
            return song.text(mus::Media).trimmed();
        case SongColumn::Category:
            return m_categories.name(song.number(mus::CategoryID)).trimmed();
        case SongColumn::Track:
        case SongColumn::Trk:
            return format(song.number(mus::TrackNumber), u"@n3b").trimmed();
        case SongColumn::Chart:
        case SongColumn::ChartNumber:
            return format(song.number(mus::ChartNumber), u"@n3b").trimmed();
        case SongColumn::FileNumber:
        case SongColumn::FileHash:
            return song.text(mus::FileNumber).trimmed();
        case SongColumn::ReleaseDate:
        case SongColumn::Date:
            return releaseDate(song.number(mus::ReleaseDate), u"@d3b");
        case SongColumn::Time:
            return songTime(song.number(mus::Time));
        case SongColumn::Bpm:
            return format(song.number(mus::BeatsPerMinute), u"@n3b").trimmed();
        case SongColumn::UserKey:
            return song.text(mus::UserDefinedKeyField).trimmed();
        case SongColumn::Year:
            return releaseYear(song.number(mus::ReleaseDate));
        }
        return QString();
    }

    QStringList cells(const QList<SongColumn> &columns, const Record &song)
    {
        QStringList line;
        for (SongColumn column : columns)
            line.append(cell(column, song));
        return line;
    }

private:
    CategoryNames m_categories;
};

QList<Column> columnsOf(const QList<SongColumn> &columns)
{
    QList<Column> made;
    for (SongColumn column : columns)
        made.append(songColumn(column));
    return made;
}

// --- song lists --------------------------------------------------------------------------

enum class Selection { Artist, Title, Album, Media, Bpm, ChartNumber, UserKey };

QString selectionField(Selection selection, const Record &song)
{
    switch (selection) {
    case Selection::Artist:
        return song.text(mus::Artist);
    case Selection::Title:
        return song.text(mus::Title);
    case Selection::Album:
        return song.text(mus::Album);
    case Selection::Media:
        return song.text(mus::Media);
    case Selection::Bpm:
        return QString::number(song.number(mus::BeatsPerMinute));
    case Selection::ChartNumber:
        return QString::number(song.number(mus::ChartNumber));
    case Selection::UserKey:
        return song.text(mus::UserDefinedKeyField);
    }
    return QString();
}

struct SongList
{
    QString title;
    int key;
    Selection selection;
    bool songTest;
    QList<SongColumn> standard;
    QList<SongColumn> brief;
};

using C = SongColumn;

const QList<C> ArtistFirst{C::Artist, C::Title, C::Album,      C::Media,      C::Category,
                           C::Track,  C::Chart, C::FileNumber, C::ReleaseDate};

SongList songList(const QString &title)
{
    if (title == u"Songs by Artist")
        return {title,
                mus::SongsByArtist,
                Selection::Artist,
                true,
                ArtistFirst,
                {C::Time, C::FileNumber, C::Trk, C::Artist, C::Title, C::Album}};
    if (title == u"Songs by Title")
        return {title,
                mus::SongsByTitle,
                Selection::Title,
                true,
                {C::Title, C::Artist, C::Album, C::Media, C::Category, C::Track, C::Chart,
                 C::FileNumber, C::ReleaseDate},
                {C::Time, C::FileNumber, C::Trk, C::Title, C::Artist, C::Album}};
    if (title == u"Songs by Album")
        return {title,
                mus::SongsByAlbum,
                Selection::Album,
                false,
                {C::Album, C::Artist, C::Title, C::Media, C::Category, C::Track, C::Chart,
                 C::FileNumber, C::ReleaseDate},
                {C::FileNumber, C::Album, C::Artist, C::Title, C::Media}};
    if (title == u"Songs by Media")
        return {title,
                mus::SongsByMedia,
                Selection::Media,
                false,
                {C::Media, C::Title, C::Album, C::Artist, C::Category, C::Track, C::Chart,
                 C::FileNumber, C::ReleaseDate},
                {C::Media, C::Artist, C::Title, C::Album, C::FileNumber}};
    if (title == u"Music in Category")
        return {title,
                mus::SongsByCategory,
                Selection::Artist,
                false,
                {C::Artist, C::Title, C::Album, C::Media, C::FileNumber, C::ReleaseDate},
                {C::Artist, C::Title, C::Album, C::Media, C::FileNumber}};
    if (title == u"Songs by Beats Per Minute")
        return {title,
                mus::KeyBeatsPerMinute,
                Selection::Bpm,
                true,
                {C::Artist, C::Bpm, C::Title, C::Album, C::Media, C::Category, C::Track, C::Chart,
                 C::FileNumber, C::ReleaseDate},
                {C::Time, C::FileNumber, C::Trk, C::Artist, C::Title, C::Album, C::Bpm}};
    if (title == u"Songs by Chart Number")
        return {title,
                mus::SongsByChartNumber,
                Selection::ChartNumber,
                false,
                {C::Album, C::TitleWithMix, C::Artist, C::ChartNumber, C::Media, C::FileNumber,
                 C::ReleaseDate},
                {C::Album, C::TitleWithMix, C::Artist, C::ChartNumber}};
    // Songs by User Defined Key
    return {title,
            mus::SongsByUserDefinedKey,
            Selection::UserKey,
            false,
            {C::Artist, C::Title, C::Album, C::Media, C::UserKey, C::Category, C::Track, C::Chart,
             C::FileNumber, C::ReleaseDate},
            {C::Album, C::Title, C::Artist, C::UserKey}};
}

std::unique_ptr<ReportSource> songListSource(Session &session, const SongList &list,
                                             const RunChoice &choice)
{
    ListSource::Plan plan;
    plan.table = TableId::Songs;
    plan.lookups = {TableId::Categories};
    plan.key = list.key;
    if (list.key == mus::SongsByCategory)
        plan.range = choice.id;
    const QList<SongColumn> columns = choice.brief ? list.brief : list.standard;
    plan.layout.title = list.key == mus::SongsByCategory
                            ? u"Music in "_s + trimmedRight(choice.name) + u" Category"_s
                            : list.title;
    plan.layout.columns = columnsOf(columns);
    plan.layout.landscape = !choice.brief;
    auto cells = std::make_shared<SongCells>(session.store());
    const ReportCriteria criteria = choice.criteria;
    const bool selected = criteria.include == u"Selected";
    plan.line = [cells, columns, criteria, selected,
                 list](const Record &song, const Cursor::Row &) -> std::optional<QStringList> {
        if (list.songTest && songLeftOut(song))
            return std::nullopt;
        if (selected && list.selection == Selection::Bpm && song.number(mus::BeatsPerMinute) == 0)
            return std::nullopt;
        if (!passesSelection(criteria, selectionField(list.selection, song)))
            return std::nullopt;
        return cells->cells(columns, song);
    };
    return std::make_unique<ListSource>(session, std::move(plan));
}

// The two paper savers: every song that passes the test and the last criteria, in small
// type on few pages.
std::unique_ptr<ReportSource> paperSaverSource(Session &session, bool byTitle,
                                               const RunChoice &choice)
{
    ListSource::Plan plan;
    plan.table = TableId::Songs;
    plan.lookups = {TableId::Categories};
    plan.key = byTitle ? mus::SongsByTitle : mus::SongsByArtist;
    const QList<SongColumn> columns =
        byTitle
            ? QList<C>{C::Time, C::Bpm, C::Trk, C::FileHash, C::Title, C::Artist, C::Album}
            : QList<C>{C::Time, C::Bpm, C::Trk, C::FileHash, C::Artist, C::TitleWithMix, C::Album};
    plan.layout.title = byTitle ? u"Songs by Title"_s : u"Songs by Artist"_s;
    plan.layout.columns = columnsOf(columns);
    const ReportFont small{u"Small Fonts"_s, 6};
    plan.layout.detailFont = small;
    plan.layout.headingFont = ReportFont{u"Small Fonts"_s, 6, true};
    auto cells = std::make_shared<SongCells>(session.store());
    const ReportCriteria criteria = choice.criteria;
    plan.line = [cells, columns, criteria,
                 byTitle](const Record &song, const Cursor::Row &) -> std::optional<QStringList> {
        if (songLeftOut(song))
            return std::nullopt;
        if (!passesSelection(criteria, byTitle ? song.text(mus::Title) : song.text(mus::Artist)))
            return std::nullopt;
        QStringList line = cells->cells(columns, song);
        if (!byTitle)
            line[5] = line[5].left(60);
        return line;
    };
    return std::make_unique<ListSource>(session, std::move(plan));
}

// --- albums ------------------------------------------------------------------------------

std::unique_ptr<ReportSource> albumSource(Session &session, const ReportDef &report,
                                          const RunChoice &choice)
{
    enum class A { Artist, Album, Media, FileNumber, ReleaseDate, WavFile };
    struct AlbumList
    {
        int key;
        int selection;
        QList<A> standard;
        QList<A> brief;
        QString briefTitle;
    };
    AlbumList list;
    if (report.title == u"Albums by Artist")
        list = {alb::KeyArtist,
                alb::Artist,
                {A::Artist, A::Album, A::Media, A::FileNumber, A::ReleaseDate, A::WavFile},
                {A::FileNumber, A::Artist, A::Album, A::Media},
                u"Albums by Artist"_s};
    else if (report.title == u"Albums")
        list = {alb::KeyAlbum,
                alb::Album,
                {A::Album, A::Artist, A::Media, A::FileNumber, A::ReleaseDate, A::WavFile},
                {A::FileNumber, A::Album, A::Artist, A::Media},
                u"Albums by Album"_s};
    else if (report.title == u"Albums by File Number")
        list = {alb::KeyFileNumber,
                alb::FileNumber,
                {A::Album, A::Artist, A::Media, A::FileNumber, A::ReleaseDate, A::WavFile},
                {A::FileNumber, A::Album, A::Artist, A::Media},
                u"Albums by File Number"_s};
    else
        list = {alb::KeyCategoryArtist,
                alb::Artist,
                {A::Artist, A::Album, A::Media, A::FileNumber, A::ReleaseDate, A::WavFile},
                {A::FileNumber, A::Artist, A::Album, A::Media},
                u"Albums by Category"_s};

    ListSource::Plan plan;
    plan.table = TableId::Albums;
    plan.key = list.key;
    if (list.key == alb::KeyCategoryArtist)
        plan.range = choice.id;
    plan.layout.title = choice.brief ? list.briefTitle : report.title;
    if (list.key == alb::KeyCategoryArtist && !choice.brief)
        plan.layout.subtitles = {trimmedRight(choice.name)};
    const QList<A> columns = choice.brief ? list.brief : list.standard;
    for (A column : columns) {
        switch (column) {
        case A::Artist:
            plan.layout.columns.append({u"Artist"_s, 1700});
            break;
        case A::Album:
            plan.layout.columns.append({u"Album"_s, 1900});
            break;
        case A::Media:
            plan.layout.columns.append({u"Media"_s, 800});
            break;
        case A::FileNumber:
            plan.layout.columns.append({u"File Number"_s, 900});
            break;
        case A::ReleaseDate:
            plan.layout.columns.append({u"Release Date"_s, 900});
            break;
        case A::WavFile:
            plan.layout.columns.append({u"Associated WAV File"_s, 3000});
            break;
        }
    }
    plan.layout.landscape = !choice.brief;
    const ReportCriteria criteria = choice.criteria;
    const int selection = list.selection;
    plan.line = [columns, criteria, selection](const Record &album,
                                               const Cursor::Row &) -> std::optional<QStringList> {
        if (!passesSelection(criteria, album.text(selection)))
            return std::nullopt;
        QStringList line;
        for (A column : columns) {
            switch (column) {
            case A::Artist:
                line.append(album.text(alb::Artist).trimmed());
                break;
            case A::Album:
                line.append(album.text(alb::Album).trimmed());
                break;
            case A::Media:
                line.append(album.text(alb::Media).trimmed());
                break;
            case A::FileNumber:
                line.append(album.text(alb::FileNumber).trimmed());
                break;
            case A::ReleaseDate:
                line.append(releaseDate(album.number(alb::ReleaseDate), u"@d2b"));
                break;
            case A::WavFile:
                line.append(album.text(alb::AssociatedWavFile).trimmed().left(128));
                break;
            }
        }
        return line;
    };
    return std::make_unique<ListSource>(session, std::move(plan));
}

// The album sheet: the songs of one album.
std::unique_ptr<ReportSource> albumSheetSource(Session &session, const RunChoice &choice)
{
    ListSource::Plan plan;
    plan.table = TableId::Songs;
    plan.key = mus::SongsByAlbum;
    plan.filter = u"MUS:AlbumID = "_s + QString::number(choice.id);
    plan.layout.title = u"Songs by Album"_s;
    const QList<C> columns{C::Album, C::Title, C::Artist, C::Media};
    plan.layout.columns = columnsOf(columns);
    plan.layout.columns[0].width = 2000;
    plan.layout.columns[1].width = 2300;
    plan.layout.columns[2].width = 1800;
    auto cells = std::make_shared<SongCells>(session.store());
    plan.line = [cells, columns](const Record &song, const Cursor::Row &) {
        return std::optional<QStringList>(cells->cells(columns, song));
    };
    return std::make_unique<ListSource>(session, std::move(plan));
}

// The DJ log: the songs the query builder's filter takes, in media order.
std::unique_ptr<ReportSource> djLogSource(Session &session, const RunChoice &choice)
{
    ListSource::Plan plan;
    plan.table = TableId::Songs;
    plan.lookups = {TableId::Categories};
    plan.key = mus::SongsByMedia;
    plan.filter = choice.filter;
    plan.layout.title = u"DJ LOG"_s;
    const QList<C> columns{C::Artist, C::Title, C::Category, C::Album, C::Year, C::FileNumber};
    plan.layout.columns = columnsOf(columns);
    plan.layout.columns[1].width = 2000;
    plan.layout.columns[5].width = 700;
    auto cells = std::make_shared<SongCells>(session.store());
    plan.line = [cells, columns](const Record &song, const Cursor::Row &) {
        return std::optional<QStringList>(cells->cells(columns, song));
    };
    return std::make_unique<ListSource>(session, std::move(plan));
}

// --- play lists --------------------------------------------------------------------------

// The hours, minutes and seconds of a sum of playing times, hours growing past 24.
QString totalTimeText(qint64 hundredths)
{
    const qint64 seconds = hundredths / 100;
    return u"%1:%2:%3"_s.arg(seconds / 3600, 2, 10, QChar(u'0'))
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

qint64 hundredthsOf(qint64 time)
{
    return time > 0 ? time - 1 : 0;
}

QImage logoImage()
{
    QString file = Settings::global().logo.trimmed();
    if (file.isEmpty())
        file = u"LOGO.GIF"_s;
    if (QFileInfo(file).isRelative())
        file = Paths::inWorkingFolder(file);
    QImageReader reader(file);
    return reader.read(); // null when missing or unreadable: the page goes without it
}

struct Renumber
{
    RecordPosition position;
    qint64 revision;
    qint64 sequence;
};

// Writes the chart's new numbering in one transaction: all of it or none.
bool renumber(Session &session, const std::vector<Renumber> &changes)
{
    if (changes.empty())
        return true;
    Table &details = session.store().table(TableId::PlaylistDetails);
    Database &database = session.store().database();
    if (!database.logout(2, {TableId::PlaylistDetails})) {
        standardWarning(warning::ProcessError, u"Put"_s, u"PlaylistDetails"_s);
        return false;
    }
    bool written = true;
    for (const Renumber &change : changes) {
        qint64 revision = change.revision;
        if (!details.putNumber(change.position, &revision, pla::PlaylistSeq, change.sequence)) {
            written = false;
            break;
        }
    }
    if (written && !database.commit())
        written = false;
    if (!written) {
        saveError();
        (void)database.rollback();
        standardWarning(warning::ProcessError, u"Put"_s, u"PlaylistDetails"_s);
    }
    return written;
}

std::unique_ptr<ReportSource> playlistSource(Session &session, bool chart, const RunChoice &choice)
{
    ListSource::Plan plan;
    plan.table = TableId::PlaylistDetails;
    plan.lookups = {TableId::Songs, TableId::Categories};
    plan.key = pla::KeyPlaylistID;
    plan.range = choice.id;
    plan.layout.title = chart ? trimmedRight(choice.name) : u"Playlist"_s;
    plan.layout.subtitles = {chart ? format(today(), u"@d4") : trimmedRight(choice.name)};
    struct State
    {
        explicit State(Store &store) : songs(store), cells(store) {}
        SongLookup songs;
        SongCells cells;
        qint64 printed = 0;
        qint64 total = 0; // hundredths
        std::vector<Renumber> renumbered;
    };
    auto state = std::make_shared<State>(session.store());
    if (chart) {
        plan.layout.logo = logoImage();
        plan.layout.columns = {{u"Artist"_s, 1700},
                               {u"Title"_s, 2300},
                               {u"Time"_s, 380, Qt::AlignRight},
                               {u"BPM"_s, 350, Qt::AlignRight},
                               {u"Trk"_s, 280, Qt::AlignRight},
                               {u"TW"_s, 300, Qt::AlignRight},
                               {QString(), 120, Qt::AlignHCenter},
                               {u"LW"_s, 300, Qt::AlignRight},
                               {u"File"_s, 700}};
        plan.line = [state](const Record &entry,
                            const Cursor::Row &row) -> std::optional<QStringList> {
            const QString lastWeek = lastWeekText(entry.text(pla::PlaylistNotes));
            const qint64 position = ++state->printed;
            if (entry.number(pla::PlaylistSeq) != position)
                state->renumbered.push_back({row.position, row.revision, position});
            Record song(tableDef(TableId::Songs));
            state->songs.find(entry.number(pla::ID), song);
            state->total += hundredthsOf(song.number(mus::Time));
            return QStringList{song.text(mus::Artist).trimmed(),
                               song.text(mus::Title).trimmed(),
                               songTime(song.number(mus::Time)),
                               format(song.number(mus::BeatsPerMinute), u"@n3b").trimmed(),
                               format(song.number(mus::TrackNumber), u"@n3b").trimmed(),
                               QString::number(position),
                               movementMark(position, lastWeek),
                               lastWeek,
                               song.text(mus::FileNumber).trimmed()};
        };
        Session *owner = &session;
        plan.finish = [state, owner](ReportWriter &writer) {
            return writer.total(u"Total Time"_s, 2, totalTimeText(state->total)) &&
                   renumber(*owner, state->renumbered);
        };
    } else {
        const QList<C> columns{C::Artist, C::Title, C::Category,  C::Album,
                               C::Date,   C::Time,  C::FileNumber};
        plan.layout.columns = columnsOf(columns);
        plan.layout.columns[0].width = 1500;
        plan.layout.columns[1].width = 1700;
        plan.layout.columns[3].width = 1300;
        plan.layout.columns[6].width = 700;
        plan.line = [state, columns](const Record &entry,
                                     const Cursor::Row &) -> std::optional<QStringList> {
            Record song(tableDef(TableId::Songs));
            state->songs.find(entry.number(pla::ID), song);
            state->total += hundredthsOf(song.number(mus::Time));
            return state->cells.cells(columns, song);
        };
        plan.finish = [state](ReportWriter &writer) {
            return writer.total(u"Total Time"_s, 5, totalTimeText(state->total));
        };
    }
    return std::make_unique<ListSource>(session, std::move(plan));
}

} // namespace

QString songTime(qint64 time)
{
    if (time <= 0)
        return u"     "_s;
    const qint64 seconds = (time - 1) / 100;
    return u"%1:%2"_s.arg(seconds / 60, 2).arg(seconds % 60, 2, 10, QChar(u'0'));
}

QString releaseDate(qint64 value, QStringView datePicture)
{
    if (value <= 0)
        return QString();
    if (value < 3000) // a year only
        return QString::number(value);
    return format(value, datePicture);
}

QString releaseYear(qint64 value)
{
    if (value <= 0)
        return u" --"_s;
    if (value < 3000)
        return QString::number(value);
    const QDate date = dateToQDate(qint32(value));
    return date.isValid() ? QString::number(date.year()) : u" --"_s;
}

bool songLeftOut(const Record &song)
{
    return song.text(mus::Artist).contains(u"(*)"_s) ||
           song.text(mus::Title).contains(u"(Skips)"_s) || song.number(mus::Skips) != 0 ||
           song.number(mus::DoNotPlay) != 0;
}

QString lastWeekText(const QString &notes)
{
    const qsizetype at = notes.indexOf(u"LW:"_s);
    if (at < 0)
        return u"--"_s;
    return notes.mid(at + 3, 2);
}

QString movementMark(qint64 position, const QString &lastWeek)
{
    bool number = false;
    const qint64 last = lastWeek.trimmed().toLongLong(&number);
    const qint64 w = number ? last : 0;
    if (position < w - 10)
        return u"*"_s;
    if (w - 10 <= position && position < w)
        return u"^"_s;
    if (position == w)
        return u"="_s;
    return QString();
}

const QList<ReportDef> &reportCatalogue()
{
    static const QList<ReportDef> catalogue{
        {u"Songs by Artist"_s, u"ReportSongsByArtist"_s, u"artists"_s, u"MUS:SongsByArtist"_s},
        {u"Songs by Title"_s, u"ReportSongsByTitle"_s, u"titles"_s, u"MUS:SongsByTitle"_s},
        {u"Songs by Album"_s, u"ReportSongsByAlbum"_s, u"albums"_s, u"MUS:SongsByAlbum"_s, false},
        {u"Songs by Media"_s, u"ReportSongsByMedia"_s, u"media"_s, u"MUS:SongsByMedia"_s},
        {u"Music in Category"_s, u"ReportSongsByCategory"_s, u"artists"_s, u"ByCategory"_s, true,
         true, Needs::Category},
        {u"Songs by Beats Per Minute"_s, u"ReportSongsByBPM"_s, u"BPMs"_s, u"MUS:SongsByBPM"_s},
        {u"Songs by Chart Number"_s, u"ReportSongsByChartNumber"_s, u"chart numbers"_s, QString()},
        {u"Songs by User Defined Key"_s, u"ReportSongsByUDK"_s, QString(), u"MUS:SongsByUDK"_s,
         false},
        {u"Albums by Artist"_s, u"ReportAlbumsByArtist"_s, u"artist"_s, QString()},
        {u"Albums"_s, u"ReportAlbumsByAlbum"_s, u"albums"_s, QString()},
        {u"Albums by File Number"_s, u"ReportAlbumsByFileNumber"_s, u"file numbers"_s, QString()},
        {u"Albums by Category"_s, u"ReportAlbumsByCategory"_s, u"artists"_s, QString(), true, true,
         Needs::Category},
        {u"Paper Saver by Artist"_s, u"PaperSaverByArtist"_s, QString(), u"PaperSaver"_s, false,
         false},
        {u"Paper Saver by Title"_s, u"PaperSaverByTitle"_s, QString(), u"PaperSaverTitle"_s, false,
         false},
        {u"Playlist"_s, u"ReportPlaylist"_s, QString(), QString(), false, false, Needs::Playlist},
        {u"Top 40"_s, u"ReportTop40"_s, QString(), QString(), false, false, Needs::Playlist},
        {u"DJ LOG"_s, u"DJLog"_s, QString(), QString(), false, false, Needs::Query},
        {u"Album Sheet"_s, u"ReportAlbumSheet"_s, QString(), QString(), false, false, Needs::Album},
    };
    return catalogue;
}

const ReportDef *findReport(QStringView title)
{
    for (const ReportDef &report : reportCatalogue())
        if (report.title.compare(title, Qt::CaseInsensitive) == 0)
            return &report;
    return nullptr;
}

const ReportDef *reportForProcedure(QStringView name)
{
    for (const ReportDef &report : reportCatalogue())
        if (report.procedure == name)
            return &report;
    return nullptr;
}

std::unique_ptr<ReportSource> makeSource(Session &session, const ReportDef &report,
                                         const RunChoice &choice)
{
    const QString &title = report.title;
    if (title.startsWith(u"Songs by"_s) || title == u"Music in Category")
        return songListSource(session, songList(title), choice);
    if (title.startsWith(u"Albums"_s))
        return albumSource(session, report, choice);
    if (title == u"Paper Saver by Artist")
        return paperSaverSource(session, false, choice);
    if (title == u"Paper Saver by Title")
        return paperSaverSource(session, true, choice);
    if (title == u"Playlist")
        return playlistSource(session, false, choice);
    if (title == u"Top 40")
        return playlistSource(session, true, choice);
    if (title == u"DJ LOG")
        return djLogSource(session, choice);
    return albumSheetSource(session, choice);
}

} // namespace sv::reports
