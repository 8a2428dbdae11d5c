#pragma once

#include <QDialog>

class QButtonGroup;

namespace sv {

class Session;
class UpdateForm;

// "Select Add Mode": how a new song is to be added, "Compilation" (chosen at first),
// "Single Artist" or "Normal".
class SelectAddMode : public QDialog
{
    Q_OBJECT

public:
    explicit SelectAddMode(QWidget *parent = nullptr);
    QString chosen() const;
    // Asks and returns the text chosen; "" when the window was closed without "&Ok".
    static QString choose(QWidget *parent);

private:
    QButtonGroup *m_modes;
};

// The add mode of the settings for a song list's insert: the compilation or single-artist
// wizard ("C", "S", or "A" with the answer to Select Add Mode when the song in the buffer
// is still blank), not started yet; null for the song form. The wizard keeps its rows
// under the number of the window that called it.
UpdateForm *dispatchAddMode(Session &session, QWidget *caller);

} // namespace sv
