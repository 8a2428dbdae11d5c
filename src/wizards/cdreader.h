#pragma once

#include "platform/cddevice.h"

#include <QString>

class QWidget;

namespace sv {

class Session;

// Reads the audio disc in the drive through SendMCICommand: checks the drive, takes the
// disc identifier into ALB:CDIdentifier and, unless only the identifier is asked for, every
// track's playing time, the whole disc's time into ALB:TOTALTIME and the freedb/CDDB number
// into ALB:XCCD. The track times then go
//  - forWizard: into the AddWizard rows of wizardInstance (new rows "Track i" with the
//    album's artist or "Various"; rows already there keep their titles, only times change);
//  - otherwise, for an album that has an ALB:AlbumID: into the album's songs by track
//    number, with a new song for every track the album does not have yet.
// identifierOnly counts only when forWizard is false. Returns true when the drive passed
// its checks and the reading finished; a drive that is busy, not ready or open is reported
// to the user and gives false. The device is closed again on every path. A small "Reading
// CD" window shows the progress; other windows are repainted but take no input meanwhile.
// `ids`, when given, receives the disc's freedb and MusicBrainz identifiers once the
// tracks were read.
bool ReadCompactDiscInformation(Session &session, bool identifierOnly, bool forWizard,
                                int wizardInstance = 0, QWidget *parent = nullptr,
                                DiscIds *ids = nullptr);

// The standard time of a drive's "mm:ss:ff" stamp: whole seconds, frames dropped except
// that 99 frames carry into a second, 60 seconds into a minute and 60 minutes into an hour.
// A reply that is no stamp (an "Error:" text) gives 0, no time.
qint32 MSFToTime(const QString &stamp);

// A playing time as minutes and seconds, " 4:33" or "74:05": five characters, minutes
// padded with a blank; five blanks for no time. Times of 100 minutes and more keep every
// digit of their minutes rather than lose them.
QString FormatTrackTime(qint32 time);

// Puts FormatTrackTime of `time`, or of the current song's MUS:Time when fromSong is
// true, into the shared track time text that lists, reports and labels show.
void ShowTrackTime(qint32 time, bool fromSong = false);
QString TrackTimeText(); // eight characters, blank-padded

// The disc identifier as it is built from the track count and the lengths of the disc
// and its first three tracks; the CD player uses it too. Sends its own commands.
QString readDiscIdentifier();

} // namespace sv
