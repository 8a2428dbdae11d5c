#include "labelprocedures.h"

#include "binderpages.h"
#include "labelbrowser.h"
#include "labelform.h"

#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/session.h"
#include "store/store.h"

namespace sv::labels {

namespace {

LabelForm *openWizard(Session &session, bool fromAlbum)
{
    Store &store = session.store();
    store.table(TableId::Labels).buffer().clear();
    auto *wizard = new LabelForm(session, Request::Insert, LabelForm::Mode::Wizard);
    if (!wizard->start()) {
        delete wizard;
        return nullptr;
    }
    if (fromAlbum) {
        // Filled once the window stands in the frame, so the message shows over it.
        QMetaObject::invokeMethod(wizard, &LabelForm::fillFromAlbum, Qt::QueuedConnection);
    }
    return wizard;
}

} // namespace

void registerLabelProcedures()
{
    Procedures::addBrowser(QStringLiteral("BrowseLabels"),
                           [](Session &session) { return new LabelBrowser(session); });
    Procedures::add(
        QStringLiteral("LabelWizard"), Procedures::Placement::OwnWindow,
        [](Session &session, MainFrame &) -> QWidget * { return openWizard(session, false); });
    Procedures::add(
        QStringLiteral("CreateLabel"), Procedures::Placement::OwnWindow,
        [](Session &session, MainFrame &) -> QWidget * { return openWizard(session, true); });
    Procedures::add(
        QStringLiteral("CDBinderPages"), Procedures::Placement::OwnWindow,
        [](Session &session, MainFrame &) -> QWidget * { return new BinderPagesWindow(session); });
    Procedures::add(
        QStringLiteral("QuickCDInsert"), Procedures::Placement::Direct,
        [](Session &session, MainFrame &frame) -> QWidget * {
            BinderSelection &selection = binderSelection();
            const QString fileNumber =
                session.store().table(TableId::Albums).buffer().text(alb::FileNumber).trimmed();
            selection.style = QStringLiteral("Flap");
            selection.startingFileNumber = fileNumber;
            selection.endingFileNumber = fileNumber;
            return printBinderPages(session, selection, &frame, frame.mdiArea());
        });
}

} // namespace sv::labels
