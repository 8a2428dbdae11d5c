#pragma once

#include "app/reorder.h"
#include "app/request.h"
#include "store/table.h"

#include <QWidget>

#include <functional>

class QPushButton;

namespace sv {

class BrowseList;
class PageModel;
class Session;

// The songs tab of the album form: the album's songs by track, added, copied, changed and
// deleted through the song form, edited one after another, moved within their side,
// gathered by file number, or dropped here from a song list.
class AlbumSongs : public QWidget
{
    Q_OBJECT

public:
    // `album` returns the album as its form shows it, put into the shared album buffer;
    // `form` is the window that waits while a song form or picker is open.
    AlbumSongs(Session &session, std::function<const Record &()> album, QWidget *form);

    BrowseList *list() const { return m_list; }
    PageModel *model() const { return m_model; }
    QPushButton *button(const QString &caption) const;
    QPushButton *readCdButton() const { return m_readCd; }

    // Lists the songs of this album again, keeping `keep` highlighted when it is there.
    void show(qint64 albumId, RecordPosition keep = 0);
    void refresh(RecordPosition keep);

    void add();
    void copy();
    void change();
    void remove();
    void editAll();
    void move(MoveMode mode);
    void reassign();
    // A song dragged here from a song list, by its ID: a copy of it joins this album.
    bool dropSong(qint64 songId);
    bool isBusy() const { return m_busy; }

Q_SIGNALS:
    void readCdPressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Track
    {
        RecordPosition position;
        qint64 revision; // as read: a write fails when another station changed it since
        qint64 track;
    };
    class TrackBatch;
    using Done = std::function<void(const WindowResult &, RecordPosition)>;

    Table &songs() const;
    qint64 albumId() const { return m_albumId; }
    void buildButtons(QLayout *column);
    void prepareCall();
    void callSong(Request request, Done done);
    void setBusy(bool busy);
    bool readHighlighted(bool watch);
    bool readSide(qint64 side, QList<Track> &run);
    bool moveSong(RecordPosition moving, qint64 side, qint64 shownTrack, MoveMode mode);
    void moveUpToFollow(RecordPosition added, qint64 side, qint64 followTrack);
    void renumberAfter(qint64 side, qint64 fromTrack);
    void swapError(const QString &section, qint64 side, qint64 track);
    bool writeTrack(TrackBatch &batch, Track &song, qint64 track, const QString &section,
                    qint64 side, qint64 shownTrack);
    void editNext();
    void assignByFileNumber(const Record &album);
    void selectFileNumber();

    Session &m_session;
    std::function<const Record &()> m_album;
    QWidget *m_form;
    PageModel *m_model = nullptr;
    BrowseList *m_list = nullptr;
    QPushButton *m_readCd = nullptr;
    qint64 m_albumId = 0;
    bool m_busy = false;
    QList<RecordPosition> m_editQueue;
};

} // namespace sv
