#include "filechooser.h"

#include "platform/prompter.h"

#include <QFileDialog>

namespace sv::exchange {

namespace {

FileChooser &installed()
{
    static FileChooser chooser;
    return chooser;
}

} // namespace

void setFileChooser(FileChooser chooser)
{
    installed() = std::move(chooser);
}

QString chooseFile(QWidget *parent, const FileQuestion &question)
{
    // A path a test script gave ahead answers the question without a dialog.
    if (const std::optional<QString> given = takeChosenPath())
        return *given;
    if (installed())
        return installed()(parent, question);
    if (question.save)
        return QFileDialog::getSaveFileName(parent, question.title, QString(), question.filter);
    return QFileDialog::getOpenFileName(parent, question.title, QString(), question.filter);
}

} // namespace sv::exchange
