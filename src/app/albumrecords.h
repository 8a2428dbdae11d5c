#pragma once

#include "store/record.h"

namespace sv {

// A new album made from one of its songs: numbered `albumId`, with the song's file number,
// artist, album title, media, release date, category and notes.
void albumFromSong(const Record &song, qint64 albumId, Record &album);

} // namespace sv
