#pragma once

#include <QString>

namespace sv {

// The form in which text takes part in keys. Every key compares text without regard to
// case, accented letters included, so "Björk" and "BJÖRK" are one value; an accented word
// sorts right after its plain spelling ("Bjork" < "Björk" < "Bjorka") instead of after
// "Z". Keys hold this form in columns of their own, so the files stay readable by any
// SQLite tool without custom collations.
QString keyText(const QString &text);

} // namespace sv
