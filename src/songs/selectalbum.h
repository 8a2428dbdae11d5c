#pragma once

#include "app/browser.h"

namespace sv {

// "Select An Album": the album list other windows pick an album from.
class SelectAlbum : public Browser
{
    Q_OBJECT

public:
    SelectAlbum(Session &session, Request request, QWidget *parent = nullptr);

protected:
    UpdateForm *createForm(Request) override { return nullptr; }
};

} // namespace sv
