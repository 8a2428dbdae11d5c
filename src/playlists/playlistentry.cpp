#include "playlistentry.h"

#include "albums/selectfilenumber.h"
#include "app/browser.h"
#include "app/session.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/integrity.h"
#include "store/warnings.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sv {

ChildRun playlistRun(Store &store)
{
    return ChildRun{&store.table(TableId::PlaylistDetails),
                    pla::KeyPlaylistID,
                    {pla::PlaylistID},
                    pla::PlaylistSeq};
}

Record playlistRow(qint64 playlistId)
{
    Record row(tableDef(TableId::PlaylistDetails));
    row.setNumber(pla::PlaylistID, playlistId);
    return row;
}

void showPlaylistSwapError(qint64 playlistId, const QString &section, qint64 sequence)
{
    ask(Message{QStringLiteral("Error!"),
                QStringLiteral("Record swap error: \n") + errorText() +
                    QStringLiteral("\nPlaylistDetails, PLA:KeyPlaylistID") +
                    QStringLiteral("\nKey Field PLA:PlaylistID = ") + QString::number(playlistId) +
                    QStringLiteral("\nKey Field PLA:PlaylistSeq = ") + QString::number(sequence) +
                    QStringLiteral("\nSection = ") + section + u'\n',
                Ok, Ok, Icon::Exclamation});
}

bool SongLookup::find(qint64 songId, Record &song)
{
    Table &songs = m_store.table(TableId::Songs);
    const Record keep = songs.buffer();
    const Table::CurrentRecord current = songs.current();
    songs.buffer().clear();
    songs.buffer().setNumber(mus::ID, songId);
    const bool found = songId != 0 && songs.get(mus::KeyID);
    song = found ? songs.buffer() : Record(tableDef(TableId::Songs));
    songs.buffer() = keep;
    songs.setCurrent(current);
    return found;
}

PlaylistEntryForm::PlaylistEntryForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::PlaylistDetails, QStringLiteral("UpdatePlaylistDetails"),
                 request, parent)
{
    m_songs = session.files().use(session.store().table(TableId::Songs));
    auto *general = new QWidget;
    auto *form = new QFormLayout(general);
    auto *notes = new QLineEdit;
    bindLineEdit(notes, pla::PlaylistNotes, QStringLiteral("@s50"));
    form->addRow(QStringLiteral("&Playlist Notes:"), notes);
    m_artist = new QLineEdit;
    m_artist->setReadOnly(true);
    m_artist->setFocusPolicy(Qt::NoFocus);
    form->addRow(QStringLiteral("&Artist:"), m_artist);
    m_title = new QLineEdit;
    m_title->setReadOnly(true);
    m_title->setFocusPolicy(Qt::NoFocus);
    form->addRow(QStringLiteral("&Title:"), m_title);
    m_selectSong = new QPushButton(QStringLiteral("&Select Song"));
    m_selectSong->setAutoDefault(false);
    connect(m_selectSong, &QPushButton::clicked, this, &PlaylistEntryForm::selectSong);
    auto *selectRow = new QHBoxLayout;
    selectRow->addWidget(m_selectSong);
    selectRow->addStretch();
    form->addRow(QString(), selectRow);

    auto *tabs = new QTabWidget;
    tabs->addTab(general, QStringLiteral("General"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(okCancelButtons());
    setMinimumSize(420, 200);
}

QString PlaylistEntryForm::title(Request request) const
{
    return request == Request::Insert ? QStringLiteral("Adding a Playlist Detail")
                                      : QStringLiteral("Changing a Playlist Detail");
}

// The play list's highest number plus one, 1 for an empty play list.
bool PlaylistEntryForm::nextNumber(qint64 &number)
{
    const Record keep = table().buffer();
    qint64 last = 0;
    const bool read = lastInRun(playlistRun(session().store()),
                                playlistRow(record().number(pla::PlaylistID)), last);
    table().buffer() = keep;
    number = last + 1;
    return read;
}

void PlaylistEntryForm::loadFields()
{
    UpdateForm::loadFields();
    m_songId = record().number(pla::ID);
    showSong();
}

void PlaylistEntryForm::storeFields()
{
    UpdateForm::storeFields();
    record().setNumber(pla::ID, m_songId);
}

void PlaylistEntryForm::showSong()
{
    Record song(tableDef(TableId::Songs));
    SongLookup(session().store()).find(m_songId, song);
    m_artist->setText(song.text(mus::Artist).trimmed());
    m_title->setText(song.text(mus::Title).trimmed());
}

QString PlaylistEntryForm::artistShown() const
{
    return m_artist->text();
}

QString PlaylistEntryForm::titleShown() const
{
    return m_title->text();
}

// An entry stands for a song: one that names none, or a song no longer on file, would be
// a blank line in the play list and in every report of it.
bool PlaylistEntryForm::checkFields()
{
    Record song(tableDef(TableId::Songs));
    if (SongLookup(session().store()).find(m_songId, song))
        return true;
    rejectEntry(m_selectSong, m_songId == 0
                                  ? QStringLiteral("Song: choose the song with Select Song")
                                  : QStringLiteral("Song: the song is no longer on file; "
                                                   "choose another with Select Song"));
    return false;
}

void PlaylistEntryForm::selectSong()
{
    auto *picker = new SelectFileNumber(session(), Request::Select);
    if (!picker->start()) {
        delete picker;
        return;
    }
    setEnabled(false);
    m_picking = true;
    connect(picker, &Browser::finished, this, [this](const WindowResult &result) {
        setEnabled(true);
        m_picking = false;
        if (result.response != Response::Completed)
            return;
        m_songId = session().store().table(TableId::Songs).buffer().number(mus::ID);
        showSong();
        m_selectSong->setFocus();
    });
    showProcedureWindow(this, picker);
}

// A play list's entries stay numbered 1 to n: the entries after the deleted one close the
// gap in the same transaction, so a failure, or a station killed between the two, never
// leaves one. An entry another station deleted first is said to be gone.
bool PlaylistEntryForm::removeRecord()
{
    const qint64 playlistId = record().number(pla::PlaylistID);
    switch (removeRunRow(playlistRun(session().store()), playlistRow(playlistId),
                         table().position(), [playlistId](const QString &section, qint64 sequence) {
                             showPlaylistSwapError(playlistId, section, sequence);
                         })) {
    case Removed::Yes:
        return true;
    case Removed::Gone:
        Integrity::reportDeletedElsewhere(Integrity::Deleted::Gone);
        return true;
    case Removed::Failed:
        standardWarning(warning::DeleteError, table().label());
        return false;
    case Removed::GapFailed:
        break;
    }
    return false;
}

// The form stays while the song picker it opened is open: the chosen song comes back here.
void PlaylistEntryForm::closeEvent(QCloseEvent *event)
{
    if (m_picking && !hasEnded()) {
        event->ignore();
        return;
    }
    UpdateForm::closeEvent(event);
}

} // namespace sv
