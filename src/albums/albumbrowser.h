#pragma once

#include "app/browser.h"

namespace sv {

// The album list in five orders, two of them limited to one category, with the album
// form, copying, and the add-album wizards started from it.
class AlbumBrowser : public Browser
{
    Q_OBJECT

public:
    AlbumBrowser(Session &session, Request request = Request::None, QWidget *parent = nullptr,
                 BrowserStyle style = BrowserStyle::Tabs);

    enum Tab { ByAlbum, ByArtist, ByFileNumber, ByCategory, ByCategoryArtist };

    void copy();
    // "&Print": the album sheet of the highlighted album.
    void printAlbum();
    void selectCategory();
    // The add-album wizards, when the program has them: afterwards the list and the title
    // show what they added.
    void singleArtistWizard();
    void compilationWizard();

protected:
    UpdateForm *createForm(Request request) override;
    void primeRange(Record &album) override;
    void extendPopupMenu(QMenu *menu) override;
    void currentTabChanged(int tab) override;

private:
    void buildAlbumButtons();
    void updateAlbumButtons();
    void startWizard(const QString &procedure);
    // A procedure of the highlighted album: "Create Label..." and "Quick CD Insert".
    void startForAlbum(const QString &procedure);

    QPushButton *m_copy = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_singleArtist = nullptr;
    QPushButton *m_compilation = nullptr;
    QPushButton *m_selectCategory = nullptr;
};

} // namespace sv
