#pragma once

#include "browser.h"

namespace sv {

// The tip maintenance list: every tip by number, edited in the tip window.
class TipsBrowser : public Browser
{
    Q_OBJECT

public:
    TipsBrowser(Session &session, QWidget *parent = nullptr);

protected:
    UpdateForm *createForm(Request) override { return nullptr; }
    bool openForm(Request request, FormDone done) override;
};

} // namespace sv
