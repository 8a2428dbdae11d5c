#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace sv {

// Reading an album from a folder of audio files: every MP3, FLAC, Ogg Vorbis, Opus, M4A and
// WAV file in it gives one track from its tags. No widgets: the progress window and the
// messages are FolderReading's; tests and the benchmark use this part alone.

// One audio file's track.
struct FolderTrack
{
    QString fileName; // the name within the folder
    QString title;    // the tag's, else the file's name without its extension
    QString artist;
    QString album;
    QString albumArtist;
    int disc = 0;  // 0 when the file names none
    int track = 0; // 0 when the file names none
    int year = 0;
    qint32 releaseDate = 0; // a full standard date when the tag gives day and month, else 0
    QString genre;
    qint32 time = 0; // the playing time as a standard time in whole seconds; 0 when unknown
    int beatsPerMinute = 0;
    QString composer;
    bool tagged = false; // the file had a title, artist, album or track number
};

// What a folder gave: its tracks in album order and the files that gave none.
struct FolderAlbum
{
    QString folder;
    QList<FolderTrack> tracks; // by disc and track number; files without a number by name
    QStringList unreadable;    // audio files whose contents could not be read
    QStringList vanished;      // audio files gone between listing the folder and reading them

    // The track artists differ (tracks without an artist do not count).
    bool isCompilation() const;
    // The album artist the files agree on, else their one track artist, else "Various"
    // for a compilation; empty when no file names an artist.
    QString artist() const;
    // The album artist every file names alike; empty when one names none or another.
    QString agreedAlbumArtist() const;
    // The album title, year, full date and genre most of the tracks name (the earliest in
    // album order on a tie); empty or 0 when none does.
    QString title() const;
    int year() const;
    qint32 releaseDate() const;
    QString genre() const;
    // The track numbers for the album's rows, in album order: the files' own when each
    // file has one, all on one disc and none twice; otherwise 1, 2, 3 ... in album order.
    QList<int> trackNumbers() const;
};

// The extensions read, in lower case and without the dot.
const QStringList &audioFileSuffixes();
bool isAudioFileName(const QString &name);

// Reads one file's tags and length. Returns false, leaving `track` untouched, when the file
// cannot be read as audio of the kind its name says; `vanished` then tells whether it is
// no longer there at all.
[[nodiscard]] bool readAudioFile(const QString &path, FolderTrack &track, bool *vanished = nullptr);

// Lists a folder's audio files at construction and reads them one call at a time, so that a
// caller can spread the work over turns of the event loop and stop at any point.
class FolderReader
{
public:
    explicit FolderReader(const QString &folder);

    bool folderExists() const { return m_exists; }
    int fileCount() const { return int(m_files.size()); }
    int filesRead() const { return m_next; }
    bool atEnd() const { return m_next >= m_files.size(); }

    // Reads the next file; does nothing at the end.
    void readNext();
    // The album from every file read so far, in album order.
    [[nodiscard]] FolderAlbum album() const;

private:
    FolderAlbum m_album;
    QStringList m_files; // by name
    qsizetype m_next = 0;
    bool m_exists = false;
};

} // namespace sv
