#pragma once

#include <QString>

namespace sv {

// The disc image formats the CD device reads, told apart by the file name's extension
// only: the library's own probing runs every reader over a file, and some of them crash
// on a few bytes they do not expect.
enum class DiscImageKind { None, Cue, Toc, Nrg };

// The kind of image a file name names; a ".bin" is read through the ".cue" beside it.
DiscImageKind discImageKind(const QString &path);

// The file the library is to open for an image: the ".cue" beside a ".bin", else the path
// itself.
QString discImageDescriptor(const QString &path);

// Whether an image file can be handed to the library: its size and signature, and for the
// text formats a light parse that refuses what the library's readers cannot handle (a track
// without a mode, a time that is no time, a data file that is missing or is no file).
// `reason` says what is wrong when the answer is no.
bool checkDiscImage(const QString &path, QString *reason = nullptr);

// A toc sheet's text with every data file named by its full path: the library looks for
// relative names in the current folder, the user means the folder of the sheet. Empty
// when the sheet cannot be read.
QByteArray tocWithFullPaths(const QString &path);

} // namespace sv
