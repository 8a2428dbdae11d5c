#pragma once

#include "app/program.h"

#include <QList>

namespace sv::exchange {

// The whole catalogue to a server and back from the command line, through the copy the
// windows run:
//   songvane --data DIR copy-to-server URL [--replace]
//   songvane copy-from-server URL FOLDER [--replace]
// The password comes from the URL or ~/.pgpass; nobody is there to be asked. Without
// --replace a target that holds a catalogue is left alone and the command fails.
QList<ProgramCommand> catalogueCopyCommands();

} // namespace sv::exchange
