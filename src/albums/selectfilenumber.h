#pragma once

#include "app/browser.h"
#include "songs/codetables.h"

namespace sv {

// "Select File Number": the songs in six orders to pick one from, the category order
// limited to the category selected.
class SelectFileNumber : public Browser
{
    Q_OBJECT

public:
    SelectFileNumber(Session &session, Request request, QWidget *parent = nullptr);

    enum Tab { ByArtist, ByTitle, ByAlbum, ByMedia, ByCategory, ByChart };
    void selectCategory();

protected:
    UpdateForm *createForm(Request) override { return nullptr; }
    void currentTabChanged(int tab) override;
    void forgetLookups() override { m_categoryNames.forget(); }

private:
    TableUse m_lookups;
    CategoryNames m_categoryNames;
    QPushButton *m_selectCategory = nullptr;
};

} // namespace sv
