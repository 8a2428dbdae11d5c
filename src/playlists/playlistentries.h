#pragma once

#include "app/reorder.h"
#include "app/request.h"
#include "store/table.h"

#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;

namespace sv {

class BrowseList;
class PageModel;
class Session;

// The entries of one play list in the play-list form: listed by number with their songs,
// added after the highlighted entry, changed and deleted through the entry form, moved
// with the four move buttons or by dragging, and appended by dropping a song from a song
// list. Every change is written at once, each in one transaction, and the numbers of the
// play list stay 1 to n.
class PlaylistEntries : public QWidget
{
    Q_OBJECT

public:
    // `form` is the window that waits while an entry form or picker is open.
    PlaylistEntries(Session &session, QWidget *form);

    BrowseList *list() const { return m_list; }
    PageModel *model() const { return m_model; }
    QPushButton *button(const QString &caption) const;
    QPushButton *moveButton(MoveMode mode) const;
    QPushButton *chartButton() const { return m_chart; }

    // Lists the entries of this play list again, keeping `keep` highlighted.
    void show(qint64 playlistId, RecordPosition keep = 0);
    void reload(RecordPosition keep = 0);
    qint64 playlistId() const { return m_playlistId; }
    // The sum of the entries' playing times, as "Total Time:" shows it.
    qint32 totalTime() const { return m_totalTime; }
    QString totalTimeText() const;

    void add();
    void change();
    void remove();
    void move(MoveMode mode);
    // "Char&t": this play list's positions copied into the notes as last week's.
    void copyChart();
    // The entry numbered `from` dragged onto the entry numbered `to`: it takes that number
    // and the entries between shift by one.
    bool moveTo(qint64 from, qint64 to);
    // A song dropped here by its ID: appended as the last entry. False, after saying why,
    // when the text names no song on file.
    bool dropSong(const QString &payload);
    bool isBusy() const { return m_busy; }
    QMenu *buildPopupMenu();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Done = std::function<void(const WindowResult &, RecordPosition)>;

    Table &entries() const;
    void buildButtons(QLayout *column);
    void callEntry(Request request, Done done);
    void setBusy(bool busy);
    bool readHighlighted(bool watch);
    Moved runMove(const RunMove &move, RecordPosition *moved = nullptr);
    void swapError(const QString &section, qint64 sequence);
    void computeTotalTime();
    bool appendSong(qint64 songId);

    Session &m_session;
    QWidget *m_form;
    PageModel *m_model = nullptr;
    BrowseList *m_list = nullptr;
    QLabel *m_total = nullptr;
    QPushButton *m_chart = nullptr;
    QList<QPushButton *> m_moves;
    qint64 m_playlistId = 0;
    qint32 m_totalTime = 0;
    bool m_busy = false;
};

} // namespace sv
