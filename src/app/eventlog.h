#pragma once

#include <QString>

namespace sv {

// The event log: when the UseLog setting is 1, every event is one fixed-width line in
// "SVPEvent.LOG" in the working folder: the date (12 characters, "OCT 31,1959"), the time
// (10, the locale's short time), the label (30) and the data (50). Longer texts are cut
// and shorter ones padded with blanks, so the columns line up.
//
// The file is UTF-8 with CRLF line ends, the classic text file the log has always been.
// Widths count characters, not bytes: a line with accented letters is longer in bytes but
// its fields still start in the same columns of a text viewer. Line breaks and other
// control characters in a text become blanks, so one event is always one line.
//
// The file stays open between events and is closed after every 101st line, so that it is
// reopened from time to time; each line is written through at once, so a crash loses
// nothing. Failures to open or write are ignored: the log never stops its caller. The line
// count is shared by the whole process.
void logEvent(const QString &label, const QString &data);

// For tests: whether the log file is open now, and closing it with the count back at 0.
bool eventLogOpen();
void resetEventLog();

} // namespace sv
