#include "catalogjsonwindow.h"

#include "catalogjson.h"
#include "filechooser.h"

#include "app/progresswindow.h"
#include "platform/prompter.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include <memory>

namespace sv::exchange {

namespace {

const QString FileFilter = QStringLiteral("Catalogue Files (*.json *.JSON);;All Files (*)");
// Records handled a tick: each takes a few microseconds, so a tick still returns at once.
constexpr int RecordsPerTick = 200;

void tell(const Failure &failure)
{
    ask(Message{failure.caption, failure.text, Ok, Ok, Icon::Exclamation});
}

// What a run did, said once the event loop is back: a run ended because the program is
// closing (its window goes with the frame) says nothing to a user who has left.
void report(const QString &caption, const QString &text)
{
    QTimer::singleShot(0, qApp, [caption, text] {
        ask(Message{caption, text, Ok, Ok, Icon::Information});
    });
}

} // namespace

QWidget *exportWholeCatalogue(Session &session, QWidget *parent)
{
    QString path = chooseFile(parent, {QStringLiteral("Export Whole Catalogue"), FileFilter, true});
    if (path.isEmpty())
        return nullptr;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".json");
    auto run = std::make_shared<CatalogueExport>(session);
    if (!run->begin(path)) {
        tell(run->failure());
        return nullptr;
    }
    auto *progress = new ProgressWindow(path, parent);
    progress->setWindowTitle(QStringLiteral("Exporting Records"));
    progress->setRecordsPerTick(RecordsPerTick);
    progress->run(
        qMax<qint64>(run->total(), 1), 1,
        [run] {
            switch (run->next()) {
            case CatalogueExport::Step::Record:
                return ProgressWindow::Step::Continue;
            case CatalogueExport::Step::End:
                return ProgressWindow::Step::Finished;
            case CatalogueExport::Step::Failed:
                break;
            }
            tell(run->failure());
            return ProgressWindow::Step::Stopped;
        },
        [run, path](bool completed) {
            if (!completed) {
                run->cancel(); // no half file is left under the name chosen
                return;
            }
            if (!run->finish()) {
                tell(run->failure());
                return;
            }
            report(QStringLiteral("Export Complete"),
                   QStringLiteral("%1 records were written to %2.").arg(run->written()).arg(path));
        });
    return progress;
}

QWidget *importWholeCatalogue(Session &session, QWidget *parent)
{
    const QString path =
        chooseFile(parent, {QStringLiteral("Import Whole Catalogue"), FileFilter, false});
    if (path.isEmpty())
        return nullptr;
    auto run = std::make_shared<CatalogueImport>(session);
    if (!run->begin(path)) {
        tell(run->failure());
        return nullptr;
    }
    if (run->catalogueHasRecords()) {
        const Button choice = ask(Message{
            QStringLiteral("Import Whole Catalogue"),
            QStringLiteral("The catalogue already holds records. A record of the file whose "
                           "number (or name, for media) is already in the catalogue with other "
                           "values:\n\nReplace: takes the place of the catalogue's record.\n"
                           "Keep existing: is left out; the catalogue's record stays.\n"
                           "Cancel: nothing is imported."),
            Yes | No | Cancel,
            Cancel,
            Icon::Question,
            {{Yes, QStringLiteral("&Replace")}, {No, QStringLiteral("&Keep existing")}}});
        if (choice == Cancel)
            return nullptr;
        run->setOnMatch(choice == Yes ? CatalogueImport::OnMatch::Replace
                                      : CatalogueImport::OnMatch::Keep);
    }
    auto *progress = new ProgressWindow(path, parent);
    progress->setWindowTitle(QStringLiteral("Importing Records"));
    progress->setRecordsPerTick(RecordsPerTick);
    auto failed = std::make_shared<bool>(false);
    progress->run(
        qMax<qint64>(run->fileSize(), 1), 1,
        [run, progress, failed] {
            const CatalogueImport::Step step = run->next();
            progress->setUnitsDone(run->bytesRead());
            switch (step) {
            case CatalogueImport::Step::Record:
                return ProgressWindow::Step::Continue;
            case CatalogueImport::Step::End:
                return ProgressWindow::Step::Finished;
            case CatalogueImport::Step::Failed:
                break;
            }
            *failed = true;
            tell(run->failure());
            return ProgressWindow::Step::Stopped;
        },
        [run, failed](bool completed) {
            run->end(); // Cancel: the records read so far are kept, each whole
            if (*failed)
                return;
            report(completed ? QStringLiteral("Import Complete")
                             : QStringLiteral("Import Cancelled"),
                   completed ? run->summary()
                             : QStringLiteral("The import stopped before the end of the file; ") +
                                   run->summary());
        });
    return progress;
}

} // namespace sv::exchange
