#pragma once

#include <QString>
#include <QStringList>

namespace sv {

// What the program's command line asks for: songvane [OPTION]... [FOLDER]. FOLDER names
// the catalogue to open, as --data does; it may also be one of the catalogue's table files,
// which is what a file manager passes when the user opens one.
struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString catalogue; // FOLDER as given; "" when there is none
    QString error;     // what is wrong, for Action::Error
};

// Reads the arguments, the program's name first. An option taking a value accepts
// "--option VALUE" and "--option=VALUE"; "--" ends the options. An unknown option, a
// missing value or a second folder is an error, never silently ignored.
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

// The --help text: the usage, every option with its environment variable, and where the
// catalogue is when none is named.
[[nodiscard]] QString commandLineHelp();

} // namespace sv
