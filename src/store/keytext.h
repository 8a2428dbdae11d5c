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

} // namespace sv
