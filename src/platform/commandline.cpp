#include "commandline.h"

namespace sv {

namespace {

struct Option
{
    const char *name;
    const char *value; // nullptr: a switch
    const char *help;
};

// Every option the program takes; the parser and the help text both read this list.
constexpr Option options[] = {
    {"--data", "DIR",
     "the catalogue folder, as FOLDER (environment:\n"
     "SONGVANE_DATA); it also holds POSITION.INI, the\n"
     "saved queries (SPVQUERY) and the event log"},
    {"--config", "DIR",
     "the settings folder for VUVur98.INI and the system\n"
     "INI (environment: SONGVANE_CONFIG; default\n"
     "$XDG_CONFIG_HOME/songvane, else ~/.config/songvane)"},
    {"--server", "URL",
     "the catalogue on a PostgreSQL server instead of a\n"
     "folder: postgresql://[USER@]HOST[:PORT]/DATABASE\n"
     "(environment: SONGVANE_SERVER, or Server in section\n"
     "Settings of VUVur98.INI); the password comes from\n"
     "~/.pgpass or is asked for, and is never kept"},
    {"--cd-device", "PATH",
     "the CD drive, or a disc image (.cue/.bin, .toc,\n"
     ".nrg) to use as one (environment: SONGVANE_CD_DEVICE,\n"
     "or CDDevice in section Settings of VUVur98.INI;\n"
     "default: the system's first drive)"},
    {"--help", nullptr, "print this text and exit"},
    {"--version", nullptr, "print the version text and exit"},
};

const Option *findOption(const QString &name)
{
    for (const Option &option : options) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

CommandLine failed(const QString &error)
{
    CommandLine line;
    line.action = CommandLine::Action::Error;
    line.error = error;
    return line;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments, const QStringList &commands)
{
    CommandLine line;
    bool dataGiven = false;
    bool optionsEnded = false;
    line.programArguments.append(arguments.value(0));
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (line.command.isEmpty() && line.catalogue.isEmpty() && !optionsEnded &&
            commands.contains(argument)) {
            line.command = argument;
            line.action = CommandLine::Action::Command;
            continue;
        }
        if (!line.command.isEmpty()) {
            // The command reads its own arguments; the program's options keep their meaning.
            const Option *option =
                argument.startsWith(u"--") ? findOption(argument.section(u'=', 0, 0)) : nullptr;
            if (!option || !option->value) {
                line.commandArguments.append(argument);
                continue;
            }
        }
        line.programArguments.append(argument);
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            if (!line.catalogue.isEmpty())
                return failed(QStringLiteral("more than one catalogue folder given: %1 and %2")
                                  .arg(line.catalogue, argument));
            if (argument.isEmpty())
                return failed(QStringLiteral("the catalogue folder is empty"));
            line.catalogue = argument;
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (argument == u"-h")
            return CommandLine{CommandLine::Action::Help, {}, {}};
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals < 0 ? argument : argument.left(equals);
        const Option *option = findOption(name);
        if (!option)
            return failed(QStringLiteral("unknown option %1").arg(name));
        if (!option->value) {
            if (equals >= 0)
                return failed(QStringLiteral("%1 takes no value").arg(name));
            if (name == u"--help")
                return CommandLine{CommandLine::Action::Help, {}, {}};
            line.action = CommandLine::Action::Version;
            continue;
        }
        if (equals < 0) {
            if (i + 1 >= arguments.size())
                return failed(QStringLiteral("%1 needs a value (%1 %2)")
                                  .arg(name, QLatin1String(option->value)));
            ++i;
            line.programArguments.append(arguments.at(i));
        }
        if (name == u"--data")
            dataGiven = true;
    }
    if (dataGiven && !line.catalogue.isEmpty())
        return failed(QStringLiteral("the catalogue folder is given twice: as %1 and with --data")
                          .arg(line.catalogue));
    return line;
}

QString commandLineHelp()
{
    QString text = QStringLiteral(
        "Usage: songvane [OPTION]... [FOLDER]\n"
        "SongVane Pro 98, a catalogue of recorded music for disc jockeys and record\n"
        "collectors.\n"
        "\n"
        "FOLDER is the catalogue to open: the folder of its table files (*.tps), or\n"
        "one of those files. A new catalogue is made in it when it holds none, and the\n"
        "folder itself when it is missing. Without FOLDER, --data or SONGVANE_DATA, the\n"
        "catalogue in the current folder is opened when there is one (svpdata.tps),\n"
        "else the one in $XDG_DATA_HOME/songvane/catalogue (by default\n"
        "~/.local/share/songvane/catalogue). The title bar names the open catalogue.\n"
        "\n"
        "Options:\n");
    for (const Option &option : options) {
        QString head = QLatin1String(option.name);
        if (option.value)
            head += u' ' + QLatin1String(option.value);
        if (head == u"--help")
            head = QStringLiteral("-h, --help");
        const QStringList lines = QString::fromLatin1(option.help).split(u'\n');
        text += QStringLiteral("  %1%2\n").arg(head, -20).arg(lines.first());
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(22, u' ') + lines.at(i) + u'\n';
    }
    text += QStringLiteral(
        "\n"
        "Qt's own options (-platform, -style, -geometry ...) are accepted as well.\n"
        "\n"
        "The File Manager repairs a damaged table file with a separate command, which can\n"
        "also be run by hand from the catalogue folder:\n"
        "  tpsfix FILE.tps [/E:FILE.tpe] [/K]\n");
    return text;
}

} // namespace sv
