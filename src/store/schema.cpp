#include "schema.h"

#include <QHash>

namespace sv {

namespace {

FieldDef text(const char *name, int size, const char *picture = "")
{
    return {QString::fromLatin1(name), FieldType::String, size, QString::fromLatin1(picture)};
}

FieldDef number(const char *name, FieldType type, const char *picture = "")
{
    const int size = type == FieldType::Byte ? 1 : 4;
    return {QString::fromLatin1(name), type, size, QString::fromLatin1(picture)};
}

FieldDef byteField(const char *name, const char *picture = "")
{
    return number(name, FieldType::Byte, picture);
}

FieldDef longField(const char *name, const char *picture = "")
{
    return number(name, FieldType::Long, picture);
}

FieldDef decimal(const char *name, int bytes, const char *picture = "")
{
    return {QString::fromLatin1(name), FieldType::Decimal, bytes, QString::fromLatin1(picture)};
}

struct KeyOptions
{
    bool unique = false;
    bool optional = false;
    bool primary = false;
    bool onDemand = false;
};

KeyDef key(const char *name, QList<int> components, KeyOptions options)
{
    return {QString::fromLatin1(name), std::move(components), options.unique || options.primary,
            options.optional,          options.primary,       options.onDemand};
}

constexpr KeyOptions Duplicates{};
constexpr KeyOptions DuplicatesOptional{false, true, false};
constexpr KeyOptions Unique{true, false, false};
constexpr KeyOptions UniqueOptional{true, true, false};
constexpr KeyOptions Primary{true, false, true};
constexpr KeyOptions OnDemand{false, false, false, true};

MemoDef memo(const char *name, int maxLength)
{
    return {QString::fromLatin1(name), maxLength};
}

TableDef songs()
{
    using namespace mus;
    return {
        TableId::Songs,
        QStringLiteral("Songvane"),
        QStringLiteral("MUS"),
        QStringLiteral("svpdata"),
        5,
        {
            text("Artist", 50, "@s50"),
            text("Title", 50, "@s50"),
            text("Mix", 30, "@s30"),
            text("Album", 50, "@s50"),
            text("Media", 20, "@s20"),
            text("FileNumber", 20, "@s20"),
            longField("ReleaseDate", "@d17"),
            longField("CategoryID"),
            byteField("ChartNumber", "@n3b"),
            byteField("TrackNumber", "@n3"),
            byteField("Side", "@n2b"),
            longField("Time", "@t4"),
            text("UserDefinedKeyField", 30, "@s30"),
            text("AdditionalInformation1", 80, "@s80"),
            text("AdditionalInformation2", 80, "@s80"),
            text("AdditionalInformation3", 80, "@s80"),
            longField("BeatsPerMinute", "@n_4b"),
            text("Style", 30, "@s30"),
            text("Composer", 80, "@s80"),
            longField("LastPlayed", "@d17"),
            byteField("Skips"),
            text("EndType", 6),
            text("InOut", 20, "@s20"),
            byteField("Rating", "@n2b"),
            byteField("Live"),
            byteField("DoNotPlay"),
            longField("ID"),
            longField("AlbumID"),
        },
        {
            key("SongsByArtist", {Artist, Title, Mix}, Duplicates),
            key("SongsByTitle", {Title, Artist}, Duplicates),
            key("SongsByAlbum", {Album, Artist, Side, TrackNumber, Title}, Duplicates),
            key("SongsByMedia", {Media, FileNumber, Title}, Duplicates),
            key("SongsByCategory", {CategoryID, Artist, Title, Album}, DuplicatesOptional),
            key("SongsByChartNumber", {ChartNumber, Artist, Title}, DuplicatesOptional),
            key("SongsByUserDefinedKey", {UserDefinedKeyField, Artist, Title}, DuplicatesOptional),
            key("KeyID", {ID}, Primary),
            key("KeyAlbumID", {AlbumID, TrackNumber}, DuplicatesOptional),
            key("KeyBeatsPerMinute", {BeatsPerMinute, Title, Artist}, DuplicatesOptional),
            key("KeyFileNumber", {FileNumber}, DuplicatesOptional),
            key("KeyMix", {Mix, Title, Artist}, DuplicatesOptional),
            // The artist and title follow the chosen field: among the many songs of one
            // rating or style they give the list an order a reader expects, and they keep
            // the ties that the engine can only step through one by one few.
            key("OrderFileNumber", {FileNumber, Artist, Title}, OnDemand),
            key("OrderTime", {Time, Artist, Title}, OnDemand),
            key("OrderReleaseDate", {ReleaseDate, Artist, Title}, OnDemand),
            key("OrderBeatsPerMinute", {BeatsPerMinute, Artist, Title}, OnDemand),
            key("OrderUserDefinedKey", {UserDefinedKeyField, Artist, Title}, OnDemand),
            key("OrderLastPlayed", {LastPlayed, Artist, Title}, OnDemand),
            key("OrderStyle", {Style, Artist, Title}, OnDemand),
            key("OrderTrackNumber", {TrackNumber, Artist, Title}, OnDemand),
            key("OrderSide", {Side, Artist, Title}, OnDemand),
            key("OrderRating", {Rating, Artist, Title}, OnDemand),
        },
        {memo("Recording", 256), memo("PerformanceNotes", 256), memo("Notes", 2000)},
        {{CategoryID, TableId::Categories, cat::KeyCategoryID},
         {Media, TableId::Media, med::KeyMedia}},
        true};
}

TableDef categories()
{
    using namespace cat;
    return {TableId::Categories,
            QStringLiteral("Categories"),
            QStringLiteral("CAT"),
            QStringLiteral("SVPCAT"),
            1,
            {decimal("CategoryID", 6), text("Category", 30, "@s30")},
            {key("KeyCategoryID", {CategoryID}, Primary),
             key("KeyCategory", {Category}, UniqueOptional)},
            {}};
}

TableDef albums()
{
    using namespace alb;
    return {TableId::Albums,
            QStringLiteral("Album"),
            QStringLiteral("ALB"),
            QStringLiteral("svpalbum"),
            3,
            {
                longField("AlbumID"),
                text("Artist", 50, "@s50"),
                text("Album", 50, "@s50"),
                text("Media", 20, "@s20"),
                text("FileNumber", 20, "@s20"),
                longField("ReleaseDate", "@d2"),
                decimal("CategoryID", 6),
                text("ASSOCIATEDWAVFILE", 128, "@s128"),
                text("ASSOCIATEDIMAGE", 128, "@s128"),
                text("CDIdentifier", 24, "@s24"),
                text("XCCD", 32, "@s32"),
                text("PLAYLIST", 70, "@s70"),
                byteField("RATING", "@n2b"),
                longField("TOTALTIME", "@t4"),
            },
            {
                key("KeyAlbumID", {AlbumID}, Primary),
                key("KeyAlbum", {Album, Artist}, UniqueOptional),
                key("KEYARTIST", {Artist, Album}, UniqueOptional),
                key("KeyCDIdentifier", {CDIdentifier}, UniqueOptional),
                key("KEYFILENUMBER", {FileNumber}, DuplicatesOptional),
                key("KEYCATEGORY", {CategoryID, Album, Artist}, DuplicatesOptional),
                key("KEYCATEGORYARTIST", {CategoryID, Artist, Album}, DuplicatesOptional),
                key("OrderAlbum", {Album, Artist}, OnDemand),
                key("OrderArtist", {Artist, Album}, OnDemand),
                key("OrderMedia", {Media, Album, Artist}, OnDemand),
                key("OrderFileNumber", {FileNumber, Album, Artist}, OnDemand),
                key("OrderReleaseDate", {ReleaseDate, Album, Artist}, OnDemand),
                key("OrderXccd", {XCCD, Album, Artist}, OnDemand),
            },
            {memo("Recording", 256), memo("Performance", 256), memo("Notes", 2000)}};
}

TableDef labels()
{
    using namespace lab;
    return {TableId::Labels,
            QStringLiteral("Labels"),
            QStringLiteral("LAB"),
            QStringLiteral("svplabel"),
            2,
            {
                decimal("LabelID", 6),
                text("LABELDESCRIPTION", 30, "@s30"),
                text("LABELTYPE", 9),
                longField("ALBUMID"),
                text("CDSPINE", 100, "@S100"),
                longField("CDSPINEFONTID"),
                text("CDTITLE", 100, "@S100"),
                longField("CDTITLEFONTID"),
                longField("CDCOVERTEXTFONTID"),
                longField("CDINSIDETEXTFONTID"),
                text("CDSPINEJUSTIFICATION", 6),
                text("CDTEXTJUSTIFICATION", 6),
                text("CDBACKCOVERJUSTIFICATION", 6),
                longField("CASSETTEFLAPFONTID"),
                longField("CASSETTETITLEFONTID"),
                longField("CASSETTECONTENTSFONTID"),
                text("CASSETTEFORMAT", 20),
                text("IMAGENAME", 255, "@s255"),
                longField("IMAGEPOSITIONX", "@n-13"),
                longField("IMAGEPOSITIONY", "@n-13"),
                text("IMAGESIZE", 20),
                longField("IMAGESIZEX", "@n-13"),
                text("IMAGESIZEY", 20, "@s20"),
            },
            {
                key("KEYLABELID", {LabelID}, Primary),
                key("KeyLabelDescription", {LabelDescription}, UniqueOptional),
                key("KEYLABELTYPE", {LabelType, LabelDescription}, DuplicatesOptional),
            },
            {memo("CDCoverText", 3000), memo("CDInsideText", 3000), memo("CASSETTEFLAP", 1024),
             memo("CASSETTETITLE", 1024), memo("CassetteContentsA", 3000),
             memo("CassetteContentsB", 3000)}};
}

TableDef fonts()
{
    using namespace fon;
    return {TableId::Fonts,
            QStringLiteral("Fonts"),
            QStringLiteral("FON"),
            QStringLiteral("svpfont"),
            1,
            {decimal("FONTID", 6), text("TYPEFACE", 32, "@s32"), text("SIZE", 32, "@S32"),
             text("COLOUR", 32, "@S32"), text("STYLE", 32, "@S32")},
            {key("KEYFONTID", {FontID}, Primary),
             key("KeyTypeFace", {TypeFace, Size, Colour, Style}, UniqueOptional)},
            {}};
}

TableDef addWizard()
{
    using namespace aw;
    return {TableId::AddWizard,
            QStringLiteral("AddWizard"),
            QStringLiteral("AW"),
            QStringLiteral("SVPAdWiz"),
            // 2: artist and title as wide as a song's, and the disc, BPM and composer an
            // audio file's tags give a track.
            2,
            {decimal("INSTANCE", 6), text("SIDE", 1), decimal("TRACK", 2, "@n3"),
             text("ARTIST", 50), text("TITLE", 50), longField("TIME", "@t4b"),
             byteField("DISC", "@n2b"), longField("BPM", "@n_4b"), text("COMPOSER", 80, "@s80")},
            {key("KEYINSTANCE", {Instance, Side, Track}, Primary)},
            {}};
}

TableDef playlistMaster()
{
    using namespace pld;
    return {TableId::PlaylistMaster,
            QStringLiteral("PlaylistMaster"),
            QStringLiteral("PLD"),
            QStringLiteral("svpplist"),
            1,
            {longField("PlaylistID"), text("PLAYLISTDESCRIPTION", 30, "@S20"),
             longField("LASTEDITDATE", "@d18")},
            {key("KeyPlaylistID", {PlaylistID}, Primary),
             key("KEYPLAYLISTDESCRIPTION", {PlaylistDescription}, UniqueOptional)},
            {memo("Notes", 1000)}};
}

TableDef playlistDetails()
{
    using namespace pla;
    return {
        TableId::PlaylistDetails,
        QStringLiteral("PlaylistDetails"),
        QStringLiteral("PLA"),
        QStringLiteral("svppldet"),
        2,
        {longField("PlaylistID"), decimal("PLAYLISTSEQ", 6, "@n_5"), decimal("ID", 6),
         text("PLAYLISTNOTES", 40, "@s50"), text("LASTWEEK", 3), text("THISWEEK", 3),
         text("HIGHESTCHARTPOSITION", 3)},
        {key("KEYPLAYLISTID", {PlaylistID, PlaylistSeq}, Primary), key("KEYID", {ID}, Duplicates)},
        {}};
}

TableDef media()
{
    return {TableId::Media,
            QStringLiteral("Media"),
            QStringLiteral("MED"),
            QStringLiteral("svpmedia"),
            1,
            {text("Media", 20, "@s20")},
            {key("KeyMedia", {med::Media}, UniqueOptional)},
            {}};
}

TableDef tips()
{
    using namespace tip;
    return {TableId::Tips,
            QStringLiteral("SVPTips"),
            QStringLiteral("TIP"),
            QStringLiteral("SVPTIPS"),
            0,
            {text("TIP", 1024), longField("ID")},
            {key("KEYTIP", {Tip}, UniqueOptional), key("KEYID", {ID}, Primary)},
            {}};
}

QList<TableDef> buildDefinitions()
{
    return {songs(),     categories(),     albums(),          labels(), fonts(),
            addWizard(), playlistMaster(), playlistDetails(), media(),  tips()};
}

int indexByName(QStringView name, const QString &prefix, auto &&nameAt, int count)
{
    QStringView bare = name;
    if (bare.size() > prefix.size() && bare.at(prefix.size()) == u':' &&
        bare.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0)
        bare = bare.mid(prefix.size() + 1);
    for (int i = 0; i < count; ++i) {
        if (bare.compare(nameAt(i), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace

int TableDef::recordWidth() const
{
    int width = 0;
    for (const FieldDef &field : fields)
        width += field.size;
    return width;
}

int TableDef::fieldIndex(QStringView name) const
{
    return indexByName(
        name, prefix, [this](int i) { return fields.at(i).name; }, int(fields.size()));
}

int TableDef::keyIndex(QStringView name) const
{
    return indexByName(
        name, prefix, [this](int i) { return keys.at(i).name; }, int(keys.size()));
}

int TableDef::memoIndex(QStringView name) const
{
    return indexByName(
        name, prefix, [this](int i) { return memos.at(i).name; }, int(memos.size()));
}

int TableDef::primaryKey() const
{
    for (int i = 0; i < keys.size(); ++i) {
        if (keys.at(i).primary)
            return i;
    }
    return -1;
}

const TableDef &tableDef(TableId id)
{
    static const QList<TableDef> definitions = buildDefinitions();
    return definitions.at(int(id));
}

const QList<TableId> &allTables()
{
    static const QList<TableId> ids = {
        TableId::Songs, TableId::Categories, TableId::Albums,         TableId::Labels,
        TableId::Fonts, TableId::AddWizard,  TableId::PlaylistMaster, TableId::PlaylistDetails,
        TableId::Media, TableId::Tips};
    return ids;
}

const LineFileDef &eventLogDef()
{
    static const LineFileDef definition{
        QStringLiteral("EventLog"),
        QStringLiteral("EVL"),
        QStringLiteral("SVPEvent.LOG"),
        {text("LOGDATE", 12), text("LOGTIME", 10), text("LOGLABEL", 30), text("LOGDATA", 50)}};
    return definition;
}

} // namespace sv
