#pragma once

#include "app/browser.h"
#include "codetables.h"

namespace sv {

// The main list of songs in eight orders, two of them limited to one media format or one
// category, with the song form, copying, and a search filter from the query builder.
class SongBrowser : public Browser
{
    Q_OBJECT

public:
    SongBrowser(Session &session, Request request = Request::None, QWidget *parent = nullptr,
                BrowserStyle style = BrowserStyle::Tabs);

    enum Tab { ByArtist, ByTitle, ByAlbum, ByMedia, ByCategory, ByChart, ByBpm, ByUdk };

    void copy();
    void selectMedia();
    void selectCategory();
    void setSearchFilter(const QString &filter); // "" clears it
    QString searchFilter() const { return m_search; }
    void search();
    // The report "&Print" starts: the one of the order shown, Songs by Artist for others.
    QString reportProcedure() const;

protected:
    UpdateForm *createForm(Request request) override;
    void primeRange(Record &song) override;
    QString viewFilter(const SortTab &tab) const override;
    void extendPopupMenu(QMenu *menu) override;
    void currentTabChanged(int tab) override;
    // While a search goes on, the songs found so far; "no songs match" when it found none.
    void updateTitle() override;
    void forgetLookups() override;

private:
    void buildSongButtons();
    void openReportsMenu();
    void startWindow(const QString &procedure); // a window of the frame: import, export

    TableUses m_lookups; // categories and media, shown through lookups
    QString m_search;
    CategoryNames m_categoryNames;
    QPushButton *m_resetSearch = nullptr;
    QPushButton *m_cancelSearch = nullptr; // shown while a search goes on
    QPushButton *m_selectMedia = nullptr;
    QPushButton *m_selectCategory = nullptr;
};

} // namespace sv
