#pragma once

#include <functional>

namespace sv {

class Session;

// What the program's entry supplies from the subsystems above this library: the windows the
// menus start, and a step run on the opened session before the frame appears that may end
// the program (the offer to repair files after a crash; true ends it).
struct ProgramParts
{
    std::function<void()> registerProcedures;
    std::function<bool(Session &session)> endsBeforeFrame;
};

// The whole run of the program: --version, the display check, the application and its
// settings folders, the session, the frame and its event loop. Returns the exit status.
[[nodiscard]] int runProgram(int argc, char *argv[], const ProgramParts &parts);

} // namespace sv
