#include "playlistbrowser.h"

#include "generateplaylist.h"
#include "playlistform.h"

#include <QBoxLayout>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableView>

namespace sv {

namespace {

BrowserSetup playlistSetup()
{
    BrowserSetup setup = BrowserSetup::oneList(
        QStringLiteral("BrowsePlayLists"), QStringLiteral("Playlists"), TableId::PlaylistMaster,
        pld::KeyPlaylistDescription, pld::PlaylistDescription,
        QStringLiteral("160L(2)|M~Playlist Description~@S20@"));
    setup.addCaption = QStringLiteral("&Add");
    setup.minimumSize = QSize(320, 200);
    return setup;
}

} // namespace

PlaylistBrowser::PlaylistBrowser(Session &session, Request request, QWidget *parent)
    : Browser(session, playlistSetup(), request, parent)
{
    list()->view()->setToolTip(QStringLiteral("Right-Click for Options"));
    // The two play-list reports come with the reports.
    m_print = new QPushButton(QStringLiteral("&Print"));
    m_print->setToolTip(QStringLiteral("Print playlist (basic format)"));
    m_print->setEnabled(false);
    m_top40 = new QPushButton(QStringLiteral("&Top 40"));
    m_top40->setToolTip(QStringLiteral("Print playlist in a top-?? chart format"));
    m_top40->setEnabled(false);
    auto *rows = static_cast<QVBoxLayout *>(layout());
    auto *recordRow = static_cast<QBoxLayout *>(rows->itemAt(rows->count() - 1)->layout());
    const int close = recordRow->indexOf(button(QStringLiteral("Cl&ose")));
    recordRow->insertWidget(close - 1, m_print);
    recordRow->insertWidget(close, m_top40);
    resize(420, 360);
}

UpdateForm *PlaylistBrowser::createForm(Request request)
{
    return new PlaylistForm(session(), request);
}

void PlaylistBrowser::extendPopupMenu(QMenu *menu)
{
    for (QPushButton *report : {m_print, m_top40})
        menu->addAction(report->text(), report, &QPushButton::click)
            ->setEnabled(report->isEnabled());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Generate Play List"), this, &PlaylistBrowser::generate);
}

void PlaylistBrowser::generate()
{
    setEnabled(false);
    const QPointer<PlaylistBrowser> self(this);
    const auto *window = playlists::generatePlaylist(
        session(), this, [self](const playlists::GeneratedPlaylist &made) {
            if (!self)
                return;
            self->setEnabled(true);
            if (made.outcome == playlists::GeneratedPlaylist::Outcome::Written)
                self->rebuildView(made.position);
            else
                self->refresh();
        });
    if (!window)
        setEnabled(true);
}

} // namespace sv
