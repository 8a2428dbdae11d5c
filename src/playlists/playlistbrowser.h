#pragma once

#include "app/browser.h"

namespace sv {

// "Playlists": the play lists by name, added, changed and deleted through the play-list
// form. Printing them and the generator come with the reports and the generator.
class PlaylistBrowser : public Browser
{
    Q_OBJECT

public:
    PlaylistBrowser(Session &session, Request request = Request::None, QWidget *parent = nullptr);

protected:
    UpdateForm *createForm(Request request) override;
    void extendPopupMenu(QMenu *menu) override;

private:
    QPushButton *m_print = nullptr;
    QPushButton *m_top40 = nullptr;
};

} // namespace sv
