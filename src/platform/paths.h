#pragma once

#include <QString>
#include <QStringList>

namespace sv {

// The value given to a command-line option, as "--option VALUE" or "--option=VALUE"; ""
// when the option is not there.
QString optionValue(const QStringList &arguments, const QString &option);

// Where the program's files live. The catalogue, "POSITION.INI", the event log and the
// saved queries sit in the working folder; the settings file and the system INI (which
// holds BadFile) sit in the per-user configuration folder. Both can be moved by a
// command-line option or an environment variable, which is how tests work in
// temporary folders.
class Paths
{
public:
    // Reads --data DIR and --config DIR from the arguments, then SONGVANE_DATA and
    // SONGVANE_CONFIG from the environment; an option wins over the environment.
    static void configure(const QStringList &arguments);
    static void setWorkingFolder(const QString &folder);
    static void setConfigFolder(const QString &folder);

    static QString workingFolder();
    static QString configFolder();

    static QString inWorkingFolder(const QString &fileName);
    static QString settingsFile();  // "VUVur98.INI"
    static QString systemIniFile(); // holds section svp98, entry BadFile
    static QString positionFile();  // "POSITION.INI"
};

} // namespace sv
