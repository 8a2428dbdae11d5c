#pragma once

#include "app/reorder.h"
#include "app/updateform.h"

class QLineEdit;

namespace sv {

// A play list's entries as one numbered run of the entry file: the play list in the shared
// entry buffer's shape, numbered by position.
ChildRun playlistRun(Store &store);
Record playlistRow(qint64 playlistId);

// "Record swap error" for a failed step of a move or of a gap closing in a play list.
void showPlaylistSwapError(qint64 playlistId, const QString &section, qint64 sequence);

// The song an entry names, read without moving the song file's shared buffer and current
// record: a list's columns and the total time look songs up while a form works on one.
class SongLookup
{
public:
    explicit SongLookup(Store &store) : m_store(store) {}
    // False when no song has that number (the song record is then blank).
    bool find(qint64 songId, Record &song);

private:
    Store &m_store;
};

// "Update the PlaylistDetails File": one entry of a play list, its notes and the song it
// names, chosen from the song picker. A new entry takes the play list's next number at once.
class PlaylistEntryForm : public UpdateForm
{
    Q_OBJECT

public:
    PlaylistEntryForm(Session &session, Request request, QWidget *parent = nullptr);

    // "&Select Song": the song picker over this form; the chosen song is the entry's.
    void selectSong();
    QString artistShown() const;
    QString titleShown() const;

protected:
    int numberField() const override { return pla::PlaylistSeq; }
    bool nextNumber(qint64 &number) override;
    void loadFields() override;
    void storeFields() override;
    bool checkFields() override;
    QString title(Request request) const override;
    bool hasHistoryKey() const override { return false; }
    // The entry goes together with the gap it leaves, in one transaction.
    bool removeRecord() override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showSong();

    TableUse m_songs;
    QLineEdit *m_artist = nullptr;
    QLineEdit *m_title = nullptr;
    QPushButton *m_selectSong = nullptr;
    qint64 m_songId = 0;
    bool m_picking = false; // the song picker is open over this form
};

} // namespace sv
