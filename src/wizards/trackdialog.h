#pragma once

#include "app/updateform.h"

class QShowEvent;

namespace sv {

// The dialog that adds, changes or deletes one track of a wizard run: its number, title
// and time, and for a compilation its artist. The caller leaves the row in the scratch
// table's buffer (for an insert: its instance, side and the next free track). Ctrl+' copies
// into the focused field the value the last completed dialog saved there.
class TrackDialog : public UpdateForm
{
    Q_OBJECT

public:
    TrackDialog(Session &session, bool withArtist, Request request, QWidget *parent = nullptr);

protected:
    QString title(Request request) const override;
    QString duplicateKeyName(int key) const override;
    void showEvent(QShowEvent *event) override;

private:
    qint64 m_track;
    QWidget *m_firstText = nullptr; // where typing starts: the artist, else the title
};

} // namespace sv
