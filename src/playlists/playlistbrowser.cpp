#include "playlistbrowser.h"

#include "generateplaylist.h"
#include "playlistexport.h"
#include "playlistform.h"

#include "app/browselist.h"
#include "app/mainframe.h"
#include "app/pagemodel.h"
#include "app/procedures.h"
#include "app/session.h"
#include "exchange/filechooser.h"
#include "platform/prompter.h"

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
    m_print = new QPushButton(QStringLiteral("&Print"));
    m_print->setToolTip(QStringLiteral("Print playlist (basic format)"));
    connect(m_print, &QPushButton::clicked, this,
            [this] { printReport(QStringLiteral("ReportPlaylist")); });
    m_top40 = new QPushButton(QStringLiteral("&Top 40"));
    m_top40->setToolTip(QStringLiteral("Print playlist in a top-?? chart format"));
    connect(m_top40, &QPushButton::clicked, this,
            [this] { printReport(QStringLiteral("ReportTop40")); });
    const auto updateReports = [this] {
        for (auto [button, procedure] :
             {std::pair{m_print, "ReportPlaylist"}, std::pair{m_top40, "ReportTop40"}})
            button->setEnabled(!model()->isEmpty() &&
                               Procedures::has(QString::fromUtf8(procedure)));
    };
    connect(model(), &QAbstractItemModel::modelReset, this, updateReports);
    updateReports();
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
    menu->addSeparator();
    const bool rows = !model()->isEmpty();
    menu->addAction(QStringLiteral("Export as M3U8..."), this, &PlaylistBrowser::exportM3u8)
        ->setEnabled(rows);
    menu->addAction(QStringLiteral("Export as XSPF..."), this, &PlaylistBrowser::exportXspf)
        ->setEnabled(rows);
}

void PlaylistBrowser::printReport(const QString &procedure)
{
    // The report reads the play list from the shared buffer, as this list leaves it.
    auto *frame = qobject_cast<MainFrame *>(window());
    const RecordPosition highlighted = list()->highlighted();
    if (!frame || !highlighted || !table().reget(highlighted))
        return;
    frame->startProcedure(procedure);
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

void PlaylistBrowser::exportM3u8()
{
    exportAs(int(PlaylistFormat::M3u8));
}

void PlaylistBrowser::exportXspf()
{
    exportAs(int(PlaylistFormat::Xspf));
}

void PlaylistBrowser::exportAs(int format)
{
    const RecordPosition highlighted = list()->highlighted();
    if (!highlighted || !table().reget(highlighted))
        return;
    const qint64 playlistId = table().buffer().number(pld::PlaylistID);
    Store &store = session().store();
    const TableUses uses =
        session().files().use({&store.table(TableId::PlaylistDetails), &store.table(TableId::Songs),
                               &store.table(TableId::Albums)});
    if (!uses) // the open routine has told the user
        return;
    const bool m3u = PlaylistFormat(format) == PlaylistFormat::M3u8;
    const QString path =
        exchange::chooseFile(this, {m3u ? QStringLiteral("Export Play List as M3U8")
                                        : QStringLiteral("Export Play List as XSPF"),
                                    m3u ? QStringLiteral("M3U8 Play Lists (*.m3u8);;All Files (*)")
                                        : QStringLiteral("XSPF Play Lists (*.xspf);;All Files (*)"),
                                    true});
    if (path.isEmpty())
        return;
    QString error;
    if (!exportPlaylist(store, playlistId, PlaylistFormat(format), path, error))
        ask(Message{QStringLiteral("Error"),
                    QStringLiteral("The play list could not be written to ") + path +
                        QStringLiteral(": ") + error,
                    Ok, Ok, Icon::Exclamation});
}

} // namespace sv
