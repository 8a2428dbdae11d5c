#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace sv::exchange {

// The file dialogs of the import and the export. Tests install a chooser that answers
// them; an empty answer is a cancelled dialog.
struct FileQuestion
{
    QString title;
    QString filter; // "Import Files (*.CSV *.csv);;All Files (*)"
    bool save = false;
};
using FileChooser = std::function<QString(QWidget *parent, const FileQuestion &question)>;

void setFileChooser(FileChooser chooser); // an empty chooser restores the dialog
QString chooseFile(QWidget *parent, const FileQuestion &question);

} // namespace sv::exchange
