#include "reportcommands.h"

#include "catalogue.h"
#include "reportoutput.h"
#include "reportrun.h"

#include "app/session.h"
#include "app/terminal.h"
#include "store/errors.h"

namespace sv::reports {

namespace {

using namespace Qt::StringLiterals;
using terminal::Arguments;

QStringList reportTitles()
{
    QStringList titles;
    for (const ReportDef &report : reportCatalogue())
        titles.append(u'"' + report.title + u'"');
    return titles;
}

// The record of `table` whose text field equals `name` without regard to case or trailing
// blanks; false when there is none (or the table could not be read).
bool findByName(Session &session, TableId id, int key, int field, const QString &name,
                Record &found)
{
    Table &table = session.store().table(id);
    const TableUse use = session.files().use(table);
    if (!use)
        return false;
    View view(table, key, QString());
    if (!view.open())
        return false;
    const Record keep = table.buffer();
    view.set();
    bool matched = false;
    while (view.next()) {
        if (table.buffer().text(field).trimmed().compare(name.trimmed(), Qt::CaseInsensitive) ==
            0) {
            found = table.buffer();
            matched = true;
            break;
        }
    }
    table.buffer() = keep;
    return matched;
}

int runReport(Session &session, const QStringList &given)
{
    Arguments arguments(given.mid(1));
    const std::optional<QString> pdf = arguments.takeValue(u"--pdf"_s);
    const bool brief = arguments.takeSwitch(u"--brief"_s);
    const std::optional<QString> selected = arguments.takeValue(u"--selected"_s);
    const std::optional<QString> playlist = arguments.takeValue(u"--playlist"_s);
    const std::optional<QString> category = arguments.takeValue(u"--category"_s);
    const std::optional<QString> album = arguments.takeValue(u"--album"_s);
    const std::optional<QString> filter = arguments.takeValue(u"--filter"_s);
    if (given.isEmpty())
        return terminal::usage(u"report: name the report; the reports are "_s +
                               reportTitles().join(u", "_s));
    if (!arguments.finish())
        return terminal::usage(arguments.error());
    const ReportDef *report = findReport(given.first());
    if (!report)
        return terminal::usage(u"report: there is no report \"%1\"; the reports are %2"_s.arg(
            given.first(), reportTitles().join(u", "_s)));
    if (!pdf || pdf->isEmpty())
        return terminal::usage(u"report: name the PDF file to write with --pdf FILE"_s);

    RunChoice choice;
    choice.brief = brief && report->hasBrief;
    if (selected) {
        choice.criteria.include = u"Selected"_s;
        choice.criteria.selection = selected->left(30);
    } else {
        choice.criteria.include = u"All"_s;
    }
    switch (report->needs) {
    case Needs::Nothing:
        break;
    case Needs::Playlist: {
        if (!playlist)
            return terminal::usage(u"report: name the play list with --playlist NAME"_s);
        Record found(tableDef(TableId::PlaylistMaster));
        if (!findByName(session, TableId::PlaylistMaster, pld::KeyPlaylistDescription,
                        pld::PlaylistDescription, *playlist, found))
            return terminal::fail(u"Report"_s, u"There is no play list \"%1\"."_s.arg(*playlist));
        session.store().table(TableId::PlaylistMaster).buffer() = found;
        choice.id = found.number(pld::PlaylistID);
        choice.name = found.text(pld::PlaylistDescription);
        break;
    }
    case Needs::Category: {
        if (!category)
            return terminal::usage(u"report: name the category with --category NAME"_s);
        Record found(tableDef(TableId::Categories));
        if (!findByName(session, TableId::Categories, cat::KeyCategory, cat::Category, *category,
                        found))
            return terminal::fail(u"Report"_s, u"There is no category \"%1\"."_s.arg(*category));
        choice.id = found.number(cat::CategoryID);
        choice.name = found.text(cat::Category);
        break;
    }
    case Needs::Album: {
        bool number = false;
        choice.id = album ? album->toLongLong(&number) : 0;
        if (!number || choice.id <= 0)
            return terminal::usage(u"report: name the album by its number with --album NUMBER"_s);
        break;
    }
    case Needs::Query:
        choice.filter = filter.value_or(QString());
        break;
    }

    std::unique_ptr<ReportSource> source = makeSource(session, *report, choice);
    terminal::Progress progress(u"Generating Report"_s);
    QString error;
    const std::shared_ptr<PageList> pages = ReportRun::runToEnd(
        *source, error, [&progress](qint64 done, qint64 total) { progress.show(done, total); });
    progress.finish();
    if (!pages)
        return terminal::fail(u"Report"_s, error.isEmpty() ? errorText() : error);
    if (pages->isEmpty())
        return terminal::fail(u"NOTE..."_s, NothingToPrint);
    if (!writePdf(*pages, *pdf, error))
        return terminal::fail(u"Report"_s, error);
    terminal::say(
        u"%1: %2 pages written to %3"_s.arg(source->layout().title).arg(pages->count()).arg(*pdf));
    return 0;
}

} // namespace

ProgramCommand reportCommand()
{
    ProgramCommand command;
    command.name = u"report"_s;
    command.usage = u"report TITLE --pdf FILE [--brief] [--selected TEXT] [--playlist NAME]\n"
                    "report ... [--category NAME] [--album NUMBER] [--filter EXPRESSION]"_s;
    command.draws = true;
    command.run = runReport;
    return command;
}

} // namespace sv::reports
