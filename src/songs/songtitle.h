#pragma once

#include "store/record.h"

namespace sv {

// How lists, reports and labels show a song: the title, " (Skips)" when the song skips,
// and the mix in parentheses. A title that itself says "(Skips)" sets the song's Skips flag
// in the record, so that the flag and the title agree from then on.
QString SongDisplayTitle(Record &song);

} // namespace sv
