#pragma once

#include <QString>
#include <QStringList>

namespace sv {

// Profile files ("VUVur98.INI", "POSITION.INI", the system INI) read and written the way
// users and older tools expect: sections in [brackets], one "entry=value" per line.
//
// - Section and entry names match without regard to case and are trimmed of blanks. An
//   entry name is everything before the first '=' on its line, so ':', '?', '-', '.',
//   spaces, '#' and ';' may appear inside it; lines starting with ';' or '#' are comments.
// - A value is everything after that '=', trimmed of surrounding blanks and otherwise
//   taken verbatim: quotes are not stripped, so `7" Single` or a list format full of '"',
//   '~', '|' and '@' comes back as written. Blanks at either end of a value are lost.
// - A missing file, section or entry gives the caller's default; an entry that is present
//   but blank gives "" (a cleared check box is stored blank and must read as off).
// - The first of duplicate sections or entries is the one read and the one updated;
//   entries under a later repeat of a section header are not seen.
// - Text is UTF-8. A value or name that is not valid UTF-8 is taken as Windows-1252, the
//   code page older Windows tools wrote these files in, so such text is not mangled.
// - A write changes only the line it must: every other byte (comments, blank lines, junk,
//   the spelling and order of other entries, CRLF or LF line ends) stays as it was. Added
//   lines take the line end of the file's first line; a new file uses LF. The new file
//   replaces the old one atomically. Each write re-reads the file under an exclusive lock
//   on a side file ("<name>.lock", left in place), so writes from different processes at
//   the same time all persist.
class IniFile
{
public:
    static QString get(const QString &section, const QString &entry, const QString &defaultValue,
                       const QString &path);

    // The value as a whole decimal number (blanks around it allowed). A blank value is 0,
    // like a cleared setting; a missing entry or other text gives the default.
    static qint64 getNumber(const QString &section, const QString &entry, qint64 defaultValue,
                            const QString &path);

    // Stores the value, replacing the first matching entry in place (keeping its spelling)
    // or adding it after the last non-blank line of its section; a missing section is
    // added at the end of the file and a missing file or folder is created. Returns false,
    // leaving the file untouched, when the file cannot be read or written, when the value
    // holds a line break, or when a name cannot be stored (empty, a line break, or an
    // entry name holding '=' or starting with ';', '#' or '['). Storing the value that is
    // already there writes nothing.
    static bool put(const QString &section, const QString &entry, const QString &value,
                    const QString &path);
    static bool putNumber(const QString &section, const QString &entry, qint64 value,
                          const QString &path);

    // Removes the first matching entry line. True when it is gone afterwards.
    static bool removeEntry(const QString &section, const QString &entry, const QString &path);

    // Names as spelled in the file, in file order, first of duplicates only.
    static QStringList sections(const QString &path);
    static QStringList entries(const QString &section, const QString &path);
};

} // namespace sv
