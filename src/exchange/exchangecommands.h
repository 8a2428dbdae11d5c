#pragma once

#include "app/program.h"

// Songs exchanged from the command line, for scripts and scheduled jobs:
//   songvane export --csv FILE --fields FIELD,... [--header] [--picture FIELD=PICTURE]...
//   songvane import --csv FILE (--auto | --map FIELD=COLUMN,...) [--header]
//                   [--picture FIELD=PICTURE]...
// Each runs the same steps, with the same rules and messages, as the export and import
// windows; the option naming the file chooses the format.
namespace sv::exchange {

// The "export" and "import" commands.
QList<ProgramCommand> exchangeCommands();

} // namespace sv::exchange
