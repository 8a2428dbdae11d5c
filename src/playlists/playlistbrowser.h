#pragma once

#include "app/browser.h"

namespace sv {

// "Playlists": the play lists by name, added, changed and deleted through the play-list
// form, or drawn at random by the play-list generator, and printed as a list or a chart.
class PlaylistBrowser : public Browser
{
    Q_OBJECT

public:
    PlaylistBrowser(Session &session, Request request = Request::None, QWidget *parent = nullptr);

    // "Generate Play List": the generator's window over this list, which shows the new
    // play list highlighted when it closes.
    void generate();
    // "Export as M3U8..." and "Export as XSPF...": the highlighted play list written to a
    // file chosen in the save dialog, for media players.
    void exportM3u8();
    void exportXspf();
    // "&Print" and "&Top 40": the report of the highlighted play list.
    void printReport(const QString &procedure);

protected:
    UpdateForm *createForm(Request request) override;
    void extendPopupMenu(QMenu *menu) override;

private:
    void exportAs(int format);

    QPushButton *m_print = nullptr;
    QPushButton *m_top40 = nullptr;
};

} // namespace sv
