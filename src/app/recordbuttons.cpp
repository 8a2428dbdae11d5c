#include "recordbuttons.h"

namespace sv {

namespace {

constexpr RecordButtonInfo Buttons[] = {
    {RecordButton::Insert, "Insert a new Record", QStyle::SP_FileIcon},
    {RecordButton::Change, "", QStyle::SP_FileDialogContentsView},
    {RecordButton::Delete, "", QStyle::SP_TrashIcon},
    {RecordButton::FirstPage, "Go to the First Page", QStyle::SP_MediaSkipBackward},
    {RecordButton::PriorPage, "Go to the Prior Page", QStyle::SP_MediaSeekBackward},
    {RecordButton::PriorRecord, "Go to the Prior Record", QStyle::SP_ArrowUp},
    {RecordButton::NextRecord, "Go to the Next Record", QStyle::SP_ArrowDown},
    {RecordButton::NextPage, "Go to the Next Page", QStyle::SP_MediaSeekForward},
    {RecordButton::LastPage, "Go to the Last Page", QStyle::SP_MediaSkipForward},
    {RecordButton::Locate, "", QStyle::SP_FileDialogStart},
    {RecordButton::History, "", QStyle::SP_BrowserReload},
    {RecordButton::Help, "", QStyle::SP_DialogHelpButton},
};

} // namespace

std::span<const RecordButtonInfo> recordButtons()
{
    return Buttons;
}

QString recordButtonTip(RecordButton button)
{
    for (const RecordButtonInfo &info : Buttons) {
        if (info.button == button)
            return QString::fromUtf8(info.tip);
    }
    return {};
}

} // namespace sv
