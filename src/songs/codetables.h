#pragma once

#include "app/browser.h"
#include "app/updateform.h"

namespace sv {

// The category and media-format lists and their one-field forms.
class CategoryBrowser : public Browser
{
    Q_OBJECT

public:
    CategoryBrowser(Session &session, Request request, QWidget *parent = nullptr);

protected:
    UpdateForm *createForm(Request request) override;
};

class CategoryForm : public UpdateForm
{
    Q_OBJECT

public:
    CategoryForm(Session &session, Request request, QWidget *parent = nullptr);

protected:
    QString title(Request request) const override;
};

class MediaBrowser : public Browser
{
    Q_OBJECT

public:
    MediaBrowser(Session &session, Request request, QWidget *parent = nullptr);

protected:
    UpdateForm *createForm(Request request) override;
    void extendPopupMenu(QMenu *menu) override;
};

class MediaForm : public UpdateForm
{
    Q_OBJECT

public:
    MediaForm(Session &session, Request request, QWidget *parent = nullptr);

protected:
    QString title(Request request) const override;
};

} // namespace sv
