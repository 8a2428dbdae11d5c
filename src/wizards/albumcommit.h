#pragma once

#include "platform/prompter.h"
#include "store/record.h"

#include <QString>

#include <optional>

namespace sv {

class Store;

// What an add-album wizard hands over when OK is pressed.
struct AlbumCommit
{
    Record song;            // the wizard's song: the pattern of every song added
    qint64 placeholder = 0; // the number of the song the wizard holds while it is open
    bool compilation = false;
    bool addAlbum = true; // the wizard's "Add Information to Album Database"
    QString identifier;   // the disc's, once a reading found it
    int instance = 0;     // whose scratch rows become the songs
    QString soundFile;    // the album's sound file: the folder its tracks were read from
};

struct CommitOutcome
{
    qint64 albumId = 0; // the album the songs are linked to; 0 for none
    bool albumAdded = false;
    QList<qint64> songs; // the numbers of the songs added, in track order
    // Shown once the commit is over: the duplicate album's warning, or why nothing was
    // written.
    std::optional<Message> message;
};

// Adds the wizard's album and one song per scratch row of the run, deletes the rows and
// the wizard's held song, all in one transaction: a failure, or a program that ends part
// way, leaves the catalogue and the rows as they were. Returns whether it was written;
// the tables' shared buffers are left as they were.
[[nodiscard]] bool commitAlbum(Store &store, const AlbumCommit &commit, CommitOutcome &outcome);

} // namespace sv
