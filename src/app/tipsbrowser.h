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
    UpdateForm *createForm(Request request) override;
};

} // namespace sv
