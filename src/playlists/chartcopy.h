#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace sv {

class Session;
class ProgressWindow;

namespace playlists {

// An entry's notes with this week's position stamped in as last week's: the first "LW:"
// tag is taken out, and " LW:" with the position goes at the end of the remaining text,
// left-justified, within the field's 40 characters. A tag that does not fit whole is left
// out rather than cut, since a cut tag would read as another position.
QString chartNotes(const QString &notes, qint64 position);

inline constexpr int NotesWidth = 40;

// The chart copy of a play list: after the user's Ok, every entry's notes take its current
// position as last week's, under a progress window over `parent`. The entries are read
// while the window runs and written at the end in one transaction, so a Cancel or a
// failure changes nothing and another station sees the whole chart copied or none of it.
// `done` follows with true when the copy was stored; returns the progress window, or null
// when the user said Cancel or the entries could not be read.
ProgressWindow *copyChart(Session &session, qint64 playlistId, QWidget *parent,
                          std::function<void(bool copied)> done);

} // namespace playlists
} // namespace sv
