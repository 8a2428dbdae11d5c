#pragma once

#include "store/table.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace sv {

class Session;

namespace playlists {

enum class Weighting { None, RecentAddition, RecentRelease, OlderAddition, OlderRelease };

// What the user asks the generator for. The last four are for working DJs; each is off
// unless set, so that without them the draw takes every song the other choices allow.
struct GeneratorChoices
{
    int songs = 0;        // wanted, 0 to MaxSongs
    qint32 startDate = 0; // lowest MUS:ReleaseDate as stored (date or year); 0: none
    qint32 endDate = 0;   // highest; 0: none
    QString category;     // a category name; blank: all
    Weighting weighting = Weighting::None;

    bool leaveOutDoNotPlay = false; // songs marked Do Not Play or Skips are left out
    bool noSongTwice = false;
    bool bpmRange = false; // MUS:BeatsPerMinute from lowestBpm to highestBpm
    qint32 lowestBpm = 0;
    qint32 highestBpm = 0;
    int notPlayedDays = 0; // > 0: songs played in the last so many days are left out

    static constexpr int MaxSongs = 99;

    // The DJ choices in force, one phrase each, for the window to show.
    QStringList inForce() const;
};

struct GeneratedPlaylist
{
    enum class Outcome {
        Written,   // the play list and its entries are stored
        NoSongs,   // the song table is empty: nothing was written
        Failed,    // an error was shown; nothing was written
        Cancelled, // the user closed the window without generating
    };
    Outcome outcome = Outcome::Failed;
    qint64 playlistId = 0;
    RecordPosition position = 0; // of the play list's record
    QString description;
    int entries = 0;
};

// Draws songs at random into a new play list "Play List #n", entries 1 to n in the order
// drawn, all written in one transaction: another station sees the whole play list or none
// of it.
//
// The draw is over the songs the choices allow (category, release dates and the DJ
// choices), numbered 1 to N in the order they were added: a draw always lands on such a
// song, so neither a deleted song's empty place nor songs of other categories use up
// draws, and the play list is as long as asked whenever one song qualifies (or, with "no
// song twice", as many as qualify). "Recent Addition" and "Older Addition" take half of
// the draws from the newer or older half of those numbers; the two release weightings
// pass a drawn song on a coin toss or by its release date, and at most 1,001 songs are
// drawn in all.
class PlaylistGenerator
{
public:
    explicit PlaylistGenerator(Session &session) : m_session(session) {}

    // Messages go through the prompter; the song table's buffer and current record are
    // left as they were.
    GeneratedPlaylist generate(const GeneratorChoices &choices);

    static constexpr int MaxDraws = 1001;

private:
    bool findCategory(const QString &name, qint64 &categoryId);
    QString filterFor(const GeneratorChoices &choices, qint64 categoryId) const;
    bool collectPool(const QString &filter);
    bool addMaster(GeneratedPlaylist &made);
    bool entriesExist(qint64 playlistId, bool &exist);
    bool draw(const GeneratorChoices &choices, GeneratedPlaylist &made);
    RecordPosition drawPosition(Weighting weighting, const std::vector<RecordPosition> &pool);
    static bool passesRelease(Weighting weighting, qint64 released);
    bool addEntry(qint64 playlistId, int sequence, qint64 songId);
    bool fail(const QString &message); // noted for when the transaction is rolled back

    Session &m_session;
    // The songs drawn among: listed positions, or every position from 1 to m_last when the
    // song file holds few gaps and no choice narrows the draw (a gap is then drawn again).
    std::vector<RecordPosition> m_pool;
    bool m_listed = true;
    RecordPosition m_last = 0;
    qint64 m_records = 0;
    QString m_failure;
};

// The message the generator shows when an ADD fails: `file` is "Master" or "Details".
QString addErrorText(const QString &file);

} // namespace playlists
} // namespace sv
