#pragma once

#include "store/record.h"

#include <QList>
#include <QString>

namespace sv {

class Store;

namespace labels {

// A name stored surname first ("Doe, Jane") as a label prints it ("Jane Doe"); a group
// after " with " stays behind the turned name. A name without a comma is kept.
QString artistDisplayName(const QString &artist);

// The time a label gives a song: " (m:ss)" with hours left out, or the song's first extra
// field when it holds a time; empty when there is none.
QString songTimeSuffix(qint64 time, const QString &additionalInformation);

// One song as a label lists it.
struct LabelSong
{
    int track = 0;
    int side = 0; // 0: no side, listed on both sides of a cassette
    QString text; // title (and artist), with its time
};

// The song lines, ordered by side and track: the track number in three places, the
// delimiter ("." and a blank unless the user chose another character) and the text, one
// song to a line.
QString songLines(QList<LabelSong> songs, const QString &delimiterSetting,
                  bool (*wanted)(const LabelSong &) = nullptr);

// Whether headings put the artist before the title ("Artist - Title").
bool artistFirst(const QString &orderSetting);

inline constexpr int MostSongs = 51;

// Fills a label's texts from an album (and its songs, at most 51) or from the songs of a
// file number on one medium. The label's own fields not named are kept. Reads the song and
// album tables, which must be open, keeping their buffers and positions.
void fillFromAlbum(Store &store, const Record &album, Record &label);
void fillFromFileNumber(Store &store, const Record &song, Record &label);

// How a favourite font is named beside its button: typeface, size, colour and style, or
// "Default Font" for none (0, or a font no longer on file). Reads the fonts table, which
// must be open, without moving its buffer.
QString fontDescription(Store &store, qint64 fontId);
inline const QString DefaultFont = QStringLiteral("Default Font");
inline const QString NoSelectedFont = QStringLiteral("No Selected Font");

} // namespace labels
} // namespace sv
