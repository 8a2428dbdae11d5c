#include "selectalbum.h"

#include <QPushButton>

namespace sv {

namespace {

BrowserSetup selectAlbumSetup()
{
    BrowserSetup setup;
    setup.procedure = QStringLiteral("SelectAlbum");
    setup.windowTitle = QStringLiteral("Select An Album");
    setup.table = TableId::Albums;
    thumb::Alphabet lettersAndDigits{true, false, true, false};
    setup.tabs = {{QStringLiteral("Album"), alb::KeyAlbum, {}, true, lettersAndDigits},
                  {QStringLiteral("Artist"), alb::KeyArtist, {}, true, lettersAndDigits},
                  {QStringLiteral("File #"), alb::KeyFileNumber, {}, true, lettersAndDigits}};
    setup.listFormat = QStringLiteral("120L(2)|M~Album~@s30@120L(2)|M~Artist~@s30@"
                                      "44L(2)|M~File Number~@s10@80L(2)|M~Media~@s20@"
                                      "60R(2)|M~Release Date~@d2@");
    setup.listSuffix = QStringLiteral(":1");
    setup.columnText = {BrowserSetup::field(alb::Album), BrowserSetup::field(alb::Artist),
                        BrowserSetup::field(alb::FileNumber), BrowserSetup::field(alb::Media),
                        BrowserSetup::field(alb::ReleaseDate)};
    setup.hasForms = false;
    return setup;
}

} // namespace

SelectAlbum::SelectAlbum(Session &session, Request request, QWidget *parent)
    : Browser(session, selectAlbumSetup(), request, parent)
{
    // Only choosing is offered here.
    for (const QString &caption :
         {QStringLiteral("&Insert"), QStringLiteral("&Change"), QStringLiteral("&Delete")})
        button(caption)->hide();
    // Outside select mode the Select button stays in sight, disabled.
    button(QStringLiteral("&Select"))->setVisible(true);
    button(QStringLiteral("&Select"))->setEnabled(isSelectMode());
}

} // namespace sv
