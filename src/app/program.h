#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace sv {

class Session;

// Work done from the command line without a window: "songvane NAME ARGUMENT...", on the
// catalogue the program's options name. `run` receives the arguments after NAME (the
// program's own options taken out) and returns the exit status.
struct ProgramCommand
{
    QString name;
    QString usage; // lines for --help, each "NAME ..."
    std::function<int(Session &session, const QStringList &arguments)> run;
    // Whether the command draws (fonts, pages): it then runs with the graphics of an
    // offscreen display, still without a window.
    bool draws = false;
};

// What the program's entry supplies from the subsystems above this library: the windows the
// menus start, and a step run on the opened session before the frame appears that may end
// the program (the offer to repair files after a crash; true ends it).
struct ProgramParts
{
    std::function<void()> registerProcedures;
    std::function<bool(Session &session)> endsBeforeFrame;
    QList<ProgramCommand> commands;
};

// The whole run of the program: a command run without a window, or --version, the display check,
// the application and its settings folders, the session, the frame and its event loop. Returns the
// exit status.
[[nodiscard]] int runProgram(int argc, char *argv[], const ProgramParts &parts);

} // namespace sv
