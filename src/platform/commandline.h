#pragma once

#include <QString>
#include <QStringList>

namespace sv {

// What the program's command line asks for: songvane [OPTION]... [FOLDER], or
// songvane [OPTION]... COMMAND [ARGUMENT]... for work done without a window. FOLDER names
// the catalogue to open, as --data does; it may also be one of the catalogue's table files,
// which is what a file manager passes when the user opens one.
struct CommandLine
{
    enum class Action { Run, Help, Version, Error, Command };
    Action action = Action::Run;
    QString catalogue; // FOLDER as given; "" when there is none
    QString error;     // what is wrong, for Action::Error
    // For Action::Command: its name, the arguments that follow it except the program's own
    // options, and the program's arguments without those (for finding the folders).
    QString command;
    QStringList commandArguments;
    QStringList programArguments;
};

// Reads the arguments, the program's name first. An option taking a value accepts
// "--option VALUE" and "--option=VALUE"; "--" ends the options. An unknown option, a
// missing value or a second folder is an error, never silently ignored. The first
// argument that is not an option and is one of `commands` starts a command: the arguments
// after it are the command's, except the program's own options (--data, --config ...),
// which may stand before or after it.
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments,
                                           const QStringList &commands = {});

// The --help text: the usage, every option with its environment variable, and where the
// catalogue is when none is named.
[[nodiscard]] QString commandLineHelp();

} // namespace sv
