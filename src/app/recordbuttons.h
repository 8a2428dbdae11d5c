#pragma once

#include <QString>
#include <QStyle>

#include <span>

namespace sv {

// The frame's record and navigation buttons, which the window that has the focus takes over,
// by the numbers the windows know them by.
enum class RecordButton {
    Insert = 2000,
    Change = 2001,
    Delete = 2002,
    LastPage = 2004,
    FirstPage = 2005,
    NextPage = 2006,
    PriorPage = 2007,
    NextRecord = 2008,
    PriorRecord = 2009,
    Locate = 2010,
    History = 2011,
    Help = 2012,
};

struct RecordButtonInfo
{
    RecordButton button;
    const char *tip; // empty where the window taking the button over sets none
    QStyle::StandardPixmap icon;
};

// Every button in the order the toolbar shows them.
std::span<const RecordButtonInfo> recordButtons();
// The tool tip a button carries unless its window gives another (Change and Delete take
// the caption of the window's own buttons).
QString recordButtonTip(RecordButton button);

} // namespace sv
