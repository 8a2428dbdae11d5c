#include "tipsbrowser.h"

#include "session.h"
#include "tipwindow.h"

namespace sv {

namespace {

BrowserSetup tipsSetup()
{
    BrowserSetup setup =
        BrowserSetup::oneList(QStringLiteral("BrowseTips"), QStringLiteral("Tips"), TableId::Tips,
                              tip::KeyID, tip::Tip, QStringLiteral("1020L(2)|M~Tip~@s255@"));
    setup.tabs.first().thumbAlphabet.digits = false;
    setup.addCaption = QStringLiteral("&Add");
    setup.minimumSize = QSize(200, 120);
    return setup;
}

TipWindow::Request tipRequest(Request request)
{
    switch (request) {
    case Request::Insert:
        return TipWindow::Request::Insert;
    case Request::Delete:
        return TipWindow::Request::Delete;
    default:
        return TipWindow::Request::Change;
    }
}

} // namespace

TipsBrowser::TipsBrowser(Session &session, QWidget *parent)
    : Browser(session, tipsSetup(), Request::None, parent)
{}

bool TipsBrowser::openForm(Request request, FormDone done)
{
    Table *tips = &table();
    TipWindow::openForm(session(), this, tipRequest(request), [done, tips](bool saved) {
        done(WindowResult{saved ? Response::Completed : Response::Cancelled, 0, QString()},
             tips->position());
    });
    return true;
}

} // namespace sv
