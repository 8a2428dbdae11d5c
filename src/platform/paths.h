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
    // Chooses the working folder: the command line's FOLDER (a table file stands for its
    // folder) or --data DIR, else SONGVANE_DATA, else the current folder when it holds a
    // catalogue, else defaultCatalogueFolder(); the folder is created when missing. Reads
    // --config DIR, else SONGVANE_CONFIG. An option wins over the environment. False, with
    // the reason in `problem`, when the folder named cannot be used.
    [[nodiscard]] static bool configure(const QStringList &arguments, QString &problem);
    // $XDG_DATA_HOME/songvane/catalogue, else ~/.local/share/songvane/catalogue: where a
    // catalogue goes when the program is started without one, so that table files are not
    // strewn over whatever folder it was started from.
    static QString defaultCatalogueFolder();
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
