#pragma once

#include "folderalbum.h"
#include "trackrows.h"

#include "app/reorder.h"
#include "app/request.h"
#include "store/fileaccess.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QPushButton;
class QVBoxLayout;

namespace sv {

class BrowseList;
class CdReading;
class FolderReading;
class PageModel;
class Session;

// The songs tab of an add-album wizard: the run's scratch rows by track, typed one after
// another in the track dialog, changed, deleted, moved, edited in turn, or read from the
// disc in the drive or from a folder of audio files. A compilation's list has an artist
// column.
class TrackList : public QWidget
{
    Q_OBJECT

public:
    // `form` is the window that waits while a track dialog or a disc reading is under way.
    TrackList(Session &session, bool compilation, int instance, QWidget *form);
    ~TrackList() override;

    TrackRows &rows() { return m_rows; }
    // Shows the rows of another run (the window's own number, once it has one).
    void setInstance(int instance);
    BrowseList *list() const { return m_list; }
    PageModel *model() const { return m_model; }
    QPushButton *button(const QString &caption) const;
    // Puts another button into the column, after the disc reading's.
    void addReadingButton(QPushButton *button);
    bool isBusy() const { return m_busy; }
    // Whether the table could be opened (the open routine has told the user if not).
    bool isUsable() const { return bool(m_use); }

    // Lists the rows again, keeping `keep` highlighted when it is there.
    void refresh(RecordPosition keep = 0);

    void add();
    void change();
    void remove();
    void editAll();
    void move(MoveMode mode);
    void readDisc();
    // Asks for a folder of audio files and reads its tracks into the rows.
    void readFolder();
    void readFolder(const QString &folder);

    // The most tracks an album's songs can number.
    static constexpr int MostTracks = 255;

Q_SIGNALS:
    // Just before the disc is read: the album buffer is what the reading takes the
    // artist of new rows from.
    void aboutToReadDisc();
    void discRead(const QString &identifier);
    // The folder's tracks are in the rows; what the files share is the album's.
    void folderRead(const FolderAlbum &album);

private:
    using Done = std::function<void(const WindowResult &, RecordPosition)>;

    Table &table() const { return m_rows.table(); }
    void buildButtons(QVBoxLayout *column);
    void callDialog(Request request, Done done);
    void setBusy(bool busy);
    bool readHighlighted(bool watch);
    void editNext();
    void swapError(const QString &section, qint64 track);
    void showMenu(const QPoint &at);
    void takeFolder(const FolderAlbum &album);
    void stopReadings();

    Session &m_session;
    bool m_compilation;
    TrackRows m_rows;
    TableUse m_use;
    QWidget *m_form;
    PageModel *m_model = nullptr;
    BrowseList *m_list = nullptr;
    QVBoxLayout *m_buttons = nullptr;
    QPushButton *m_readDisc = nullptr;
    QPointer<FolderReading> m_folderReading;
    QPointer<CdReading> m_discReading;
    bool m_busy = false;
    QList<RecordPosition> m_editQueue;
};

} // namespace sv
