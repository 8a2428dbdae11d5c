#include "albumrecords.h"

namespace sv {

void albumFromSong(const Record &song, qint64 albumId, Record &album)
{
    album.clear();
    album.setNumber(alb::AlbumID, albumId);
    album.setMemo(alb::Notes, song.memo(mus::Notes));
    album.setText(alb::FileNumber, song.text(mus::FileNumber));
    album.setText(alb::Artist, song.text(mus::Artist));
    album.setText(alb::Album, song.text(mus::Album));
    album.setText(alb::Media, song.text(mus::Media));
    album.setNumber(alb::ReleaseDate, song.number(mus::ReleaseDate));
    album.setNumber(alb::CategoryID, song.number(mus::CategoryID));
}

} // namespace sv
