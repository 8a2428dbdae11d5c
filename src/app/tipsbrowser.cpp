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

} // namespace

TipsBrowser::TipsBrowser(Session &session, QWidget *parent)
    : Browser(session, tipsSetup(), Request::None, parent)
{}

UpdateForm *TipsBrowser::createForm(Request request)
{
    return new TipForm(session(), request);
}

} // namespace sv
