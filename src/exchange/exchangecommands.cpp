#include "exchangecommands.h"

#include "catalogjsoncommands.h"
#include "songexport.h"
#include "songimport.h"

#include "app/housekeeping.h"
#include "app/session.h"
#include "app/terminal.h"

#include <QFileInfo>

namespace sv::exchange {

namespace {

using terminal::Arguments;

// One way of exchanging songs: "songvane VERB OPTION FILE ...". Adding a format is one
// more row.
struct Format
{
    const char *verb;   // "export" or "import"
    const char *option; // the option that names the file and chooses the format
    const char *usage;  // what follows FILE, for --help
    int (*run)(Session &session, const QString &file, Arguments &arguments);
};

// A usage error in the words the window uses for the same mistake.
int refuse(const QString &caption, const QString &text)
{
    terminal::fail(caption, text);
    return terminal::Usage;
}

// "NAME=VALUE" split at its first '='; false when there is none or either side is empty.
bool splitPair(const QString &pair, QString &name, QString &value)
{
    const qsizetype equals = pair.indexOf(u'=');
    name = pair.left(equals).trimmed();
    value = pair.mid(equals + 1).trimmed();
    return equals > 0 && !name.isEmpty() && !value.isEmpty();
}

// --- export -------------------------------------------------------------------------------

int exportCsv(Session &session, const QString &file, Arguments &arguments)
{
    const std::optional<QString> names = arguments.takeValue(QStringLiteral("--fields"));
    const QStringList pictures = arguments.takeValues(QStringLiteral("--picture"));
    const bool header = arguments.takeSwitch(QStringLiteral("--header"));
    if (!arguments.finish())
        return terminal::usage(arguments.error());
    if (!names || names->trimmed().isEmpty())
        return refuse(QStringLiteral("No Fields Selected for Export!"),
                      QStringLiteral("You must select one or more fields to export. Name them "
                                     "with --fields FIELD,... (MUS:Artist,MUS:Title ...)."));

    QList<ExportField> fields;
    const auto indexOf = [&fields](const QString &name) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return qsizetype(-1);
    };
    for (const QString &given : names->split(u',')) {
        const QString name = given.trimmed();
        const QList<ExportField> &available = availableExportFields();
        const auto found =
            std::find_if(available.cbegin(), available.cend(), [&name](const ExportField &f) {
                return f.name.compare(name, Qt::CaseInsensitive) == 0;
            });
        if (found == available.cend()) {
            QStringList known;
            for (const ExportField &field : available)
                known.append(field.name);
            return terminal::usage(QStringLiteral("--fields: there is no field \"%1\" to export; "
                                                  "the fields are %2")
                                       .arg(name, known.join(QStringLiteral(", "))));
        }
        if (indexOf(found->name) >= 0)
            return terminal::usage(
                QStringLiteral("--fields: %1 is named more than once").arg(found->name));
        fields.append(*found);
    }
    for (const QString &pair : pictures) {
        QString name, picture;
        if (!splitPair(pair, name, picture))
            return terminal::usage(
                QStringLiteral("--picture takes FIELD=PICTURE, not \"%1\"").arg(pair));
        const qsizetype at = indexOf(name);
        if (at < 0)
            return terminal::usage(
                QStringLiteral("--picture: %1 is not one of the fields in --fields").arg(name));
        if (const QString problem = pictureProblem(picture); !problem.isEmpty())
            return refuse(QStringLiteral("Invalid Picture!"), problem);
        fields[at].picture = picture;
    }

    SongExport exporter(session, fields, header);
    if (!exporter.begin(file)) {
        // A store failure has been told through the prompter already.
        if (!exporter.failure().caption.isEmpty())
            terminal::fail(exporter.failure().caption, exporter.failure().text);
        return terminal::Failed;
    }
    terminal::Progress progress(QStringLiteral("Exporting Records"));
    for (;;) {
        switch (exporter.next()) {
        case SongExport::Step::Line:
            progress.show(exporter.songsRead(), exporter.total());
            continue;
        case SongExport::Step::End:
            break;
        case SongExport::Step::WriteFailed: {
            // Nobody is there to free the disk and press Retry: the export ends as Abort
            // ends it, keeping the lines written.
            progress.finish();
            const Failure failure = exporter.failure();
            (void)exporter.end();
            return terminal::fail(failure.caption, failure.text);
        }
        case SongExport::Step::Failed:
            progress.finish();
            (void)exporter.end(); // the read failure has been told
            return terminal::Failed;
        }
        break;
    }
    progress.finish();
    if (!exporter.end())
        return terminal::fail(exporter.failure().caption, exporter.failure().text);
    terminal::say(QStringLiteral("Songs exported to %2: %1.").arg(exporter.songsRead()).arg(file));
    return 0;
}

// --- import -------------------------------------------------------------------------------

// The column a name on the command line means: its number, "Field_" and its number, or the
// text the first line holds in it (a header line's field name); -1 when none.
int columnNamed(const SongImport &import, const QString &name, bool &byHeader)
{
    const QList<ImportColumn> &columns = import.columns();
    bool number = false;
    const int given = name.toInt(&number);
    for (qsizetype c = 0; c < columns.size(); ++c) {
        if ((number && given == c + 1) ||
            columns.at(c).name.compare(name, Qt::CaseInsensitive) == 0)
            return int(c);
    }
    for (qsizetype c = 0; c < columns.size(); ++c) {
        if (columns.at(c).value.trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            byHeader = true;
            return int(c);
        }
    }
    return -1;
}

// The target a field name on the command line means; the category's name stands for its
// number, as the export writes it.
int targetNamed(const QString &name)
{
    const QString field = name.compare(CategoryNameField, Qt::CaseInsensitive) == 0
                              ? QStringLiteral("MUS:CategoryID")
                              : name;
    const QStringList &targets = importTargets();
    for (qsizetype t = 0; t < targets.size(); ++t) {
        if (targets.at(t).compare(field, Qt::CaseInsensitive) == 0)
            return int(t);
    }
    return -1;
}

// The album build the window offers at the end of an import; false when it stopped on an
// error (told through the prompter).
bool buildImportedAlbums(Session &session)
{
    terminal::Progress progress(QStringLiteral("Creating Albums"));
    const std::optional<qint64> added = buildAlbums(
        session, [&progress](qint64 done, qint64 total) { progress.show(done, total); });
    progress.finish();
    if (!added) {
        terminal::say(QStringLiteral("The albums built before it stay."));
        return false;
    }
    terminal::say(QStringLiteral("Albums added for the songs: %1.").arg(*added));
    return true;
}

int importCsv(Session &session, const QString &file, Arguments &arguments)
{
    const std::optional<QString> map = arguments.takeValue(QStringLiteral("--map"));
    const QStringList pictures = arguments.takeValues(QStringLiteral("--picture"));
    const bool automatic = arguments.takeSwitch(QStringLiteral("--auto"));
    bool header = arguments.takeSwitch(QStringLiteral("--header"));
    // The window's closing question, answered on the command line: albums are built from
    // the songs only when asked, since a script cannot take them back.
    const bool albums = arguments.takeSwitch(QStringLiteral("--albums"));
    if (!arguments.finish())
        return terminal::usage(arguments.error());
    if (automatic == map.has_value())
        return terminal::usage(QStringLiteral(
            "import --csv needs either --auto (the first line names the fields) or --map "
            "FIELD=COLUMN,..."));

    SongImport import(session);
    import.linesPerStep = SongImport::UnattendedLinesPerStep;
    switch (import.open(file)) {
    case SongImport::Opened::Ok:
        break;
    case SongImport::Opened::Empty:
        return terminal::fail(QStringLiteral("Attention!"),
                              QStringLiteral("That file is empty!  Please pick another file."));
    case SongImport::Opened::CannotOpen:
    case SongImport::Opened::Unreadable:
        return terminal::fail(import.failure().caption, import.failure().text);
    }

    if (automatic) {
        (void)import.autoAssign();
    } else {
        for (const QString &pair : map->split(u',', Qt::SkipEmptyParts)) {
            QString field, column;
            if (!splitPair(pair, field, column))
                return terminal::usage(
                    QStringLiteral("--map takes FIELD=COLUMN,..., not \"%1\"").arg(pair));
            const int target = targetNamed(field);
            if (target < 0)
                return terminal::usage(QStringLiteral("--map: there is no field \"%1\" to "
                                                      "import into; the fields are %2")
                                           .arg(field, importTargets().join(u", ")));
            if (import.assignments().at(target) >= 0)
                return terminal::usage(
                    QStringLiteral("--map: %1 is given more than once").arg(field));
            const int at = columnNamed(import, column, header);
            if (at < 0)
                return terminal::usage(
                    QStringLiteral("--map: %1 has no column \"%2\" (it has %3 columns)")
                        .arg(QFileInfo(file).fileName(), column)
                        .arg(import.columns().size()));
            import.assign(target, at);
        }
    }
    if (!import.anyAssigned())
        return refuse(QStringLiteral("No Fields Selected for Import!"),
                      automatic ? QStringLiteral("You must select one or more fields to "
                                                 "import. The first line names none of them.")
                                : QStringLiteral("You must select one or more fields to import."));
    for (const QString &pair : pictures) {
        QString name, picture;
        if (!splitPair(pair, name, picture))
            return terminal::usage(
                QStringLiteral("--picture takes FIELD=PICTURE, not \"%1\"").arg(pair));
        const int target = targetNamed(name);
        const int column =
            target >= 0 ? import.assignments().at(target) : columnNamed(import, name, header);
        if (column < 0)
            return terminal::usage(
                QStringLiteral("--picture: %1 is neither an imported field nor a column")
                    .arg(name));
        if (const QString problem = pictureProblem(picture); !problem.isEmpty())
            return refuse(QStringLiteral("Invalid Picture!"), problem);
        import.columns()[column].picture = picture;
    }
    import.stripHeader = import.stripHeader || header;

    if (!import.begin()) {
        if (!import.failure().caption.isEmpty())
            terminal::fail(import.failure().caption, import.failure().text);
        return terminal::Failed;
    }
    terminal::Progress progress(QStringLiteral("Importing Records"));
    bool completed = true;
    for (;;) {
        const SongImport::Step step = import.next();
        if (step == SongImport::Step::Line) {
            progress.show(import.bytesRead(), import.fileSize());
            continue;
        }
        progress.finish();
        import.end();
        switch (step) {
        case SongImport::Step::Line:
        case SongImport::Step::End:
            break;
        case SongImport::Step::Wait: // only a window holds a transaction open across steps
        case SongImport::Step::Failed:
            terminal::fail(import.failure().caption, import.failure().text);
            terminal::say(QStringLiteral("Songs imported before it: %1.").arg(import.songsAdded()));
            completed = false;
            break;
        }
        break;
    }
    if (completed)
        terminal::say(
            QStringLiteral("Songs imported from %2: %1.").arg(import.songsAdded()).arg(file));
    // A failure ends the import as if it had run to its end, as in the window: the songs
    // before it stay, and their albums are built as well.
    if (albums && !buildImportedAlbums(session))
        return terminal::Failed;
    return completed ? 0 : terminal::Failed;
}

constexpr Format formats[] = {
    {"export", "--csv", "--fields FIELD,... [--header] [--picture FIELD=PICTURE]...", exportCsv},
    {"import", "--csv",
     "(--auto | --map FIELD=COLUMN,...) [--header] [--picture FIELD=PICTURE]... "
     "[--albums]",
     importCsv},
    {"export", "--json", "", exportCatalogueCommand},
    {"import", "--json", "[--on-match replace|keep]", importCatalogueCommand},
};

int runVerb(const QString &verb, Session &session, const QStringList &given)
{
    Arguments arguments(given);
    const Format *chosen = nullptr;
    QString file;
    QStringList options;
    for (const Format &format : formats) {
        if (verb != QLatin1String(format.verb))
            continue;
        const QString option = QLatin1String(format.option);
        options.append(option);
        const std::optional<QString> value = arguments.takeValue(option);
        if (!value)
            continue;
        if (chosen)
            return terminal::usage(QStringLiteral("%1 takes one of %2, not both")
                                       .arg(verb, options.join(QStringLiteral(", "))));
        chosen = &format;
        file = *value;
    }
    if (!chosen) {
        // A missing value reads as an error of its own; else the format is missing.
        if (!arguments.finish() && arguments.error().contains(QStringLiteral("needs a value")))
            return terminal::usage(arguments.error());
        return terminal::usage(QStringLiteral("%1 needs the file to %1: %2 FILE")
                                   .arg(verb, options.join(QStringLiteral(" FILE, "))));
    }
    if (file.isEmpty())
        return terminal::usage(
            QStringLiteral("%1 needs a file name").arg(QLatin1String(chosen->option)));
    return chosen->run(session, file, arguments);
}

} // namespace

QList<ProgramCommand> exchangeCommands()
{
    QList<ProgramCommand> commands;
    for (const QString &verb : {QStringLiteral("export"), QStringLiteral("import")}) {
        QStringList usage;
        for (const Format &format : formats) {
            if (verb == QLatin1String(format.verb))
                usage.append(
                    QStringLiteral("%1 %2 FILE %3")
                        .arg(verb, QLatin1String(format.option), QLatin1String(format.usage))
                        .trimmed());
        }
        commands.append(
            {verb, usage.join(u'\n'), [verb](Session &session, const QStringList &arguments) {
                 return runVerb(verb, session, arguments);
             }});
    }
    return commands;
}

} // namespace sv::exchange
