#pragma once

#include "app/program.h"

// Reports from the command line, for scripts and scheduled jobs:
//   songvane report TITLE --pdf FILE [--brief] [--selected TEXT] [--playlist NAME]
//                   [--category NAME] [--album NUMBER] [--filter EXPRESSION]
// The report runs as from its menu entry, to a PDF file instead of the preview.
namespace sv::reports {

ProgramCommand reportCommand();

} // namespace sv::reports
