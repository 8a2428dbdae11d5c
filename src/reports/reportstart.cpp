#include "reportstart.h"

#include "customfont.h"
#include "reportcriteria.h"
#include "reportrun.h"

#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/settings.h"
#include "app/windowposition.h"
#include "platform/prompter.h"
#include "songs/codetables.h"
#include "songs/querybuilder.h"

#include <QApplication>
#include <QMdiArea>
#include <QPointer>

namespace sv::reports {

namespace {

using namespace Qt::StringLiterals;

struct Start
{
    Session &session;
    const ReportDef &report;
    QPointer<QWidget> parent;
    QPointer<QMdiArea> area;
    RunChoice choice;
    bool preview = true;
};

void run(std::shared_ptr<Start> start, const std::optional<ReportFont> &font = std::nullopt)
{
    std::unique_ptr<ReportSource> source = makeSource(start->session, start->report, start->choice);
    if (font)
        source->useFont(*font);
    auto *runner = new ReportRun(start->session, std::move(source),
                                 start->preview ? ReportRun::Destination::Preview
                                                : ReportRun::Destination::Printer,
                                 start->parent);
    runner->setWorkArea(start->area);
    (void)runner->start();
}

// The custom font, when asked for: offered from the settings, stored again on Ok.
void withFont(std::shared_ptr<Start> start)
{
    const ReportDef &report = start->report;
    const bool hasFont = !report.fontOrder.isEmpty() && (!start->choice.brief || report.briefFont);
    if (!start->choice.criteria.customFont || !hasFont) {
        run(start);
        return;
    }
    const FontKeys keys{start->choice.brief ? u"Brief"_s : u"Print"_s, report.fontOrder};
    const ReportFont initial = readCustomFont(keys).value_or(ReportFont());
    chooseFont(initial, start->parent, [start, keys](std::optional<ReportFont> font) {
        if (!font) {
            run(start); // the report's own fonts
            return;
        }
        writeCustomFont(keys, *font);
        run(start, font);
    });
}

QWidget *askHow(std::shared_ptr<Start> start)
{
    const ReportDef &report = start->report;
    const QString noun = report.title == u"Songs by User Defined Key" ? userKeyNoun() : report.noun;
    if (!noun.isEmpty()) {
        return ReportCriteriaWindow::ask(start->session, noun, start->parent, [start](bool ok) {
            if (!ok)
                return;
            const ReportCriteria &criteria = reportCriteria();
            start->choice.criteria = criteria;
            start->choice.brief = criteria.style == u"Brief" && start->report.hasBrief;
            start->preview = criteria.preview;
            withFont(start);
        });
    }
    const Button answer = ask({u"Preview"_s, u"Do you wish to PREVIEW this Report?"_s,
                               Yes | No | Cancel, Yes, Icon::Question});
    if (answer == Cancel)
        return nullptr;
    start->preview = answer == Yes;
    start->choice.criteria = reportCriteria();
    withFont(start);
    return nullptr;
}

} // namespace

QString userKeyNoun()
{
    return Settings::global().udkPrompt.trimmed() + u" values"_s;
}

QWidget *startReport(Session &session, const ReportDef &report, QWidget *parent, QMdiArea *area)
{
    auto start = std::make_shared<Start>(Start{session, report, parent, area, {}});
    Store &store = session.store();
    switch (report.needs) {
    case Needs::Nothing:
        break;
    case Needs::Playlist: {
        const Record &playlist = store.table(TableId::PlaylistMaster).buffer();
        start->choice.id = playlist.number(pld::PlaylistID);
        start->choice.name = playlist.text(pld::PlaylistDescription);
        break;
    }
    case Needs::Album:
        start->choice.id = store.table(TableId::Albums).buffer().number(alb::AlbumID);
        break;
    case Needs::Category: {
        // The category first; closing its list without a choice ends the report.
        auto *categories = new CategoryBrowser(session, Request::Select);
        if (!categories->start()) {
            delete categories;
            return nullptr;
        }
        QObject::connect(
            categories, &Browser::finished, categories, [start](const WindowResult &result) {
                if (result.response != Response::Completed)
                    return;
                const Record &category = start->session.store().table(TableId::Categories).buffer();
                start->choice.id = category.number(cat::CategoryID);
                start->choice.name = category.text(cat::Category);
                // After the list has gone.
                QMetaObject::invokeMethod(
                    qApp, [start] { askHow(start); }, Qt::QueuedConnection);
            });
        if (area)
            showInWorkArea(area, categories);
        else
            categories->show();
        return categories;
    }
    case Needs::Query: {
        QueryBuilder *builder =
            QueryBuilder::open(parent, QString(), [start](bool finished, const QString &filter) {
                if (!finished)
                    return;
                start->choice.filter = filter;
                QMetaObject::invokeMethod(
                    qApp, [start] { askHow(start); }, Qt::QueuedConnection);
            });
        return builder;
    }
    }
    return askHow(start);
}

void registerReportProcedures()
{
    for (const ReportDef &report : reportCatalogue()) {
        if (report.procedure.isEmpty())
            continue;
        const ReportDef *def = &report;
        Procedures::add(report.procedure, Procedures::Placement::Direct,
                        [def](Session &session, MainFrame &frame) -> QWidget * {
                            return startReport(session, *def, &frame, frame.mdiArea());
                        });
    }
}

} // namespace sv::reports
