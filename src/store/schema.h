#pragma once

#include <QList>
#include <QString>

// The one definition of every stored table: fields, keys, memos, file names and structure
// versions. Everything else (SQL tables and indexes, record buffers, names bound for
// expressions, import and export, the layout example file for repairs) is derived from it.
namespace sv {

enum class FieldType {
    String,  // fixed width text, stored without trailing blanks
    Byte,    // 0..255
    Long,    // signed 32-bit; dates and times are Longs shown through their pictures
    Decimal, // whole number of at most 2 * bytes - 1 digits
};

struct FieldDef
{
    QString name; // without the prefix: "Artist"
    FieldType type;
    int size;        // characters for strings, bytes otherwise
    QString picture; // display picture, empty when the field is not shown by picture
};

struct KeyDef
{
    QString name;          // without the prefix: "SongsByArtist"
    QList<int> components; // field indexes in key order
    bool unique = false;
    bool optional = false; // records whose components are all blank or zero are left out
    bool primary = false;
    // An order a list may be sorted by at the user's choice: no part of the file's layout,
    // its index is made the first time the order is used and kept (see OrderMaker),
    // and searches do not count on it. A text field without key text orders by its upper
    // case.
    bool onDemand = false;
};

struct MemoDef
{
    QString name;
    int maxLength; // bytes of text
};

enum class TableId;

// A field that holds the key of a record in another table (a song's category number, its
// media name). A filter over the table may name that record's fields ("CAT:Category" in a
// walk of songs is the name of each song's category).
struct LinkDef
{
    int field;     // in the linking table
    TableId table; // the table linked to
    int key;       // its key, of one component, that the field's value is found by
};

enum class TableId {
    Songs,
    Categories,
    Albums,
    Labels,
    Fonts,
    AddWizard,
    PlaylistMaster,
    PlaylistDetails,
    Media,
    Tips,
};
inline constexpr int TableCount = 10;

struct TableDef
{
    TableId id;
    QString label;    // the name the upgrade manager knows it by: "Songvane"
    QString prefix;   // "MUS"
    QString fileName; // without extension: "svpdata"
    int version;
    QList<FieldDef> fields;
    QList<KeyDef> keys;
    QList<MemoDef> memos;
    QList<LinkDef> links = {};
    // Whether parts of its texts are searched through a full-text index (its text fields
    // and memos, as the searches fold them).
    bool fullText = false;

    int recordWidth() const;
    int fieldIndex(QStringView name) const; // "Artist" or "MUS:Artist", any case; -1 if none
    int keyIndex(QStringView name) const;
    int memoIndex(QStringView name) const;
    int primaryKey() const;
    QString fullName(int field) const { return prefix + u':' + fields.at(field).name; }
};

const TableDef &tableDef(TableId id);
const QList<TableId> &allTables();

// The song alias: a second buffer and position on the song file, under its own prefix.
inline const QString AliasSongsLabel = QStringLiteral("A_Songs");
inline const QString AliasSongsPrefix = QStringLiteral("A_S");

// The event log is a plain text file of fixed-width lines, not a keyed table.
struct LineFileDef
{
    QString label;
    QString prefix;
    QString fileName;
    QList<FieldDef> fields;
};
const LineFileDef &eventLogDef();

// Field indexes, in stored order, for code that addresses fields by id.
namespace mus {
enum Field {
    Artist,
    Title,
    Mix,
    Album,
    Media,
    FileNumber,
    ReleaseDate,
    CategoryID,
    ChartNumber,
    TrackNumber,
    Side,
    Time,
    UserDefinedKeyField,
    AdditionalInformation1,
    AdditionalInformation2,
    AdditionalInformation3,
    BeatsPerMinute,
    Style,
    Composer,
    LastPlayed,
    Skips,
    EndType,
    InOut,
    Rating,
    Live,
    DoNotPlay,
    ID,
    AlbumID,
};
enum Key {
    SongsByArtist,
    SongsByTitle,
    SongsByAlbum,
    SongsByMedia,
    SongsByCategory,
    SongsByChartNumber,
    SongsByUserDefinedKey,
    KeyID,
    KeyAlbumID,
    KeyBeatsPerMinute,
    KeyFileNumber,
    KeyMix,
    // The orders a list of songs may be sorted by besides the keys above.
    OrderFileNumber,
    OrderTime,
    OrderReleaseDate,
    OrderBeatsPerMinute,
    OrderUserDefinedKey,
    OrderLastPlayed,
    OrderStyle,
    OrderTrackNumber,
    OrderSide,
    OrderRating,
};
enum Memo { Recording, PerformanceNotes, Notes };
} // namespace mus

namespace cat {
enum Field { CategoryID, Category };
enum Key { KeyCategoryID, KeyCategory };
} // namespace cat

namespace alb {
enum Field {
    AlbumID,
    Artist,
    Album,
    Media,
    FileNumber,
    ReleaseDate,
    CategoryID,
    AssociatedWavFile,
    AssociatedImage,
    CDIdentifier,
    XCCD,
    Playlist,
    Rating,
    TotalTime,
};
enum Key {
    KeyAlbumID,
    KeyAlbum,
    KeyArtist,
    KeyCDIdentifier,
    KeyFileNumber,
    KeyCategory,
    KeyCategoryArtist,
    // The orders a list of albums may be sorted by besides the keys above.
    OrderAlbum,
    OrderArtist,
    OrderMedia,
    OrderFileNumber,
    OrderReleaseDate,
    OrderXccd,
};
enum Memo { Recording, Performance, Notes };
} // namespace alb

namespace lab {
enum Field {
    LabelID,
    LabelDescription,
    LabelType,
    AlbumID,
    CDSpine,
    CDSpineFontID,
    CDTitle,
    CDTitleFontID,
    CDCoverTextFontID,
    CDInsideTextFontID,
    CDSpineJustification,
    CDTextJustification,
    CDBackCoverJustification,
    CassetteFlapFontID,
    CassetteTitleFontID,
    CassetteContentsFontID,
    CassetteFormat,
    ImageName,
    ImagePositionX,
    ImagePositionY,
    ImageSize,
    ImageSizeX,
    ImageSizeY,
};
enum Key { KeyLabelID, KeyLabelDescription, KeyLabelType };
enum Memo {
    CDCoverText,
    CDInsideText,
    CassetteFlap,
    CassetteTitle,
    CassetteContentsA,
    CassetteContentsB,
};
} // namespace lab

namespace fon {
enum Field { FontID, TypeFace, Size, Colour, Style };
enum Key { KeyFontID, KeyTypeFace };
} // namespace fon

namespace aw {
enum Field { Instance, Side, Track, Artist, Title, Time, Disc, BeatsPerMinute, Composer };
enum Key { KeyInstance };
} // namespace aw

namespace pld {
enum Field { PlaylistID, PlaylistDescription, LastEditDate };
enum Key { KeyPlaylistID, KeyPlaylistDescription };
enum Memo { Notes };
} // namespace pld

namespace pla {
enum Field { PlaylistID, PlaylistSeq, ID, PlaylistNotes, LastWeek, ThisWeek, HighestChartPosition };
enum Key { KeyPlaylistID, KeyID };
} // namespace pla

namespace med {
enum Field { Media };
enum Key { KeyMedia };
} // namespace med

namespace tip {
enum Field { Tip, ID };
enum Key { KeyTip, KeyID };
} // namespace tip

namespace evl {
enum Field { LogDate, LogTime, LogLabel, LogData };
} // namespace evl

} // namespace sv
