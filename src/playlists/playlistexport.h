#pragma once

#include <QString>

namespace sv {

class Store;

// A play list written for media players: every entry in order with its song's title,
// artist, album and length, and where the song's album names a sound file, that file as
// the entry's location.
enum class PlaylistFormat {
    M3u8, // extended M3U in UTF-8: #EXTINF lines
    Xspf, // the XML shareable playlist format
};

// Writes the play list to `path` whole or not at all; false with the reason in `error`.
[[nodiscard]] bool exportPlaylist(Store &store, qint64 playlistId, PlaylistFormat format,
                                  const QString &path, QString &error);

} // namespace sv
