#include "catalogjsoncommands.h"

#include "catalogjson.h"

#include "app/terminal.h"

namespace sv::exchange {

int exportCatalogueCommand(Session &session, const QString &file, terminal::Arguments &arguments)
{
    if (!arguments.finish())
        return terminal::usage(arguments.error());
    CatalogueExport run(session);
    if (!run.begin(file))
        return terminal::fail(run.failure().caption, run.failure().text);
    terminal::Progress progress(QStringLiteral("Exporting Records"));
    for (;;) {
        const CatalogueExport::Step step = run.next();
        if (step == CatalogueExport::Step::Record) {
            progress.show(run.written(), run.total());
            continue;
        }
        progress.finish();
        if (step == CatalogueExport::Step::Failed) {
            const Failure failure = run.failure();
            run.cancel(); // no half file is left under that name
            return terminal::fail(failure.caption, failure.text);
        }
        break;
    }
    if (!run.finish())
        return terminal::fail(run.failure().caption, run.failure().text);
    terminal::say(QStringLiteral("Records exported to %2: %1.").arg(run.written()).arg(file));
    return 0;
}

int importCatalogueCommand(Session &session, const QString &file, terminal::Arguments &arguments)
{
    const std::optional<QString> onMatch = arguments.takeValue(QStringLiteral("--on-match"));
    if (!arguments.finish())
        return terminal::usage(arguments.error());
    CatalogueImport::OnMatch choice = CatalogueImport::OnMatch::Unset;
    if (onMatch) {
        if (onMatch->compare(u"replace", Qt::CaseInsensitive) == 0)
            choice = CatalogueImport::OnMatch::Replace;
        else if (onMatch->compare(u"keep", Qt::CaseInsensitive) == 0)
            choice = CatalogueImport::OnMatch::Keep;
        else
            return terminal::usage(
                QStringLiteral("--on-match takes replace or keep, not \"%1\"").arg(*onMatch));
    }
    CatalogueImport run(session);
    if (!run.begin(file))
        return terminal::fail(run.failure().caption, run.failure().text);
    if (run.catalogueHasRecords() && choice == CatalogueImport::OnMatch::Unset) {
        run.end();
        return terminal::fail(QStringLiteral("Cannot IMPORT ") + file,
                              QStringLiteral("The catalogue already holds records. Say with "
                                             "--on-match replace or --on-match keep whether "
                                             "records of the file with the same identity "
                                             "replace them or are left out. Nothing was "
                                             "imported."));
    }
    run.setOnMatch(choice);
    terminal::Progress progress(QStringLiteral("Importing Records"));
    for (;;) {
        const CatalogueImport::Step step = run.next();
        if (step == CatalogueImport::Step::Record) {
            progress.show(run.bytesRead(), run.fileSize());
            continue;
        }
        progress.finish();
        run.end();
        if (step == CatalogueImport::Step::Failed)
            return terminal::fail(run.failure().caption, run.failure().text);
        break;
    }
    terminal::say(run.summary());
    return 0;
}

} // namespace sv::exchange
