#pragma once

#include <QString>

namespace sv {

// The form in which text takes part in keys. Every key compares text without regard to
// case, accented letters included, so "Björk" and "BJÖRK" are one value; an accented word
// sorts right after its plain spelling ("Bjork" < "Björk" < "Bjorka") instead of after
// "Z". Keys hold this form in columns of their own, so the files stay readable by any
// SQLite tool without custom collations.
QString keyText(const QString &text);

// The plain spelling in upper case, with accents and other marks left out: what searches
// for a part of a text compare ("björk" and "BJORK" are alike). Every key text begins
// with it.
QString foldText(const QString &text);

// Plain ASCII text in upper (or lower) case, byte by byte: the common case, which needs no
// Unicode tables. False, with `mapped` untouched, when the text holds any other character.
// foldText and upper case are alike for such text.
bool mapAsciiCase(const char *utf8, qsizetype bytes, bool upper, QByteArray &mapped);

} // namespace sv
