#include "playlistform.h"

#include "playlistentries.h"
#include "playlistentry.h"

#include "app/browselist.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "platform/stddate.h"
#include "store/errors.h"
#include "store/integrity.h"
#include "store/warnings.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sv {

PlaylistForm::PlaylistForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::PlaylistMaster, QStringLiteral("UpdatePlaylist"), request,
                 parent)
{
    Store &store = session.store();
    m_lookups =
        session.files().use({&store.table(TableId::PlaylistDetails), &store.table(TableId::Songs)});

    auto *page = new QWidget;
    auto *form = new QFormLayout;
    m_description = new QLineEdit;
    bindLineEdit(m_description, pld::PlaylistDescription, QStringLiteral("@S20"));
    form->addRow(QStringLiteral("&Playlist Description:"), m_description);
    m_entries = new PlaylistEntries(session, this);
    m_lastEdit = new QLabel;
    m_lastEdit->setObjectName(QStringLiteral("lastEditDate"));
    m_markPlayed = new QPushButton(QStringLiteral("Mark as &Played"));
    m_markPlayed->setToolTip(QStringLiteral("Mark every song of this play list played today"));
    m_markPlayed->setAutoDefault(false);
    connect(m_markPlayed, &QPushButton::clicked, this, &PlaylistForm::markAsPlayed);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("Last Edit Date:")));
    bottom->addWidget(m_lastEdit);
    bottom->addStretch();
    bottom->addWidget(m_markPlayed);
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->addLayout(form);
    pageLayout->addWidget(m_entries, 1);
    pageLayout->addLayout(bottom);

    m_notes = new QPlainTextEdit;
    bindMemo(m_notes, 1000);

    m_tabs = new QTabWidget;
    m_tabs->addTab(page, QStringLiteral("Play List"));
    m_tabs->addTab(m_notes, QStringLiteral("Notes"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(okCancelButtons());
    setMinimumSize(560, 360);
}

QString PlaylistForm::title(Request request) const
{
    return request == Request::Insert ? QStringLiteral("Adding a Playlist Record")
                                      : QStringLiteral("Changing a Playlist Record");
}

QString PlaylistForm::duplicateKeyName(int key) const
{
    return key == pld::KeyPlaylistDescription ? QStringLiteral("Playlists")
                                              : QStringLiteral("PLD:KeyPlaylistID");
}

void PlaylistForm::loadFields()
{
    UpdateForm::loadFields();
    const Record &playlist = record();
    m_notes->setPlainText(playlist.memo(pld::Notes));
    m_lastEdit->setText(format(playlist.value(pld::LastEditDate), u"@d18").trimmed());
    m_entries->show(playlist.number(pld::PlaylistID));
}

// Saving stamps the play list with today's date.
void PlaylistForm::storeFields()
{
    UpdateForm::storeFields();
    record().setMemo(pld::Notes, m_notes->toPlainText());
    record().setNumber(pld::LastEditDate, today());
}

// The list of play lists is ordered by name, and a play list without one would not be in
// it: a name is required.
bool PlaylistForm::checkFields()
{
    if (!record().text(pld::PlaylistDescription).trimmed().isEmpty())
        return true;
    rejectEntry(m_description, QStringLiteral("Playlist Description: enter a name"));
    return false;
}

// A new play list given up takes its entries with it: a later play list given the same
// number must not inherit them.
// The form stays while a window it opened for its entries is open (an entry form, the
// chart copy's progress): that window's result comes back here, and the entry a new play
// list's entry form writes must never outlive the play list.
void PlaylistForm::closeEvent(QCloseEvent *event)
{
    if (m_entries->isBusy() && !hasEnded()) {
        event->ignore();
        return;
    }
    UpdateForm::closeEvent(event);
}

bool PlaylistForm::removePrimed()
{
    return session().integrity().remove(TableId::PlaylistMaster);
}

QString PlaylistForm::totalTimeShown() const
{
    return m_entries->totalTimeText();
}

QString PlaylistForm::lastEditDateShown() const
{
    return m_lastEdit->text();
}

void PlaylistForm::markAsPlayed()
{
    if (m_entries->isBusy())
        return;
    Table &entries = session().store().table(TableId::PlaylistDetails);
    QList<qint64> songIds;
    {
        const Record keep = entries.buffer();
        const Table::CurrentRecord current = entries.current();
        entries.buffer() = playlistRow(m_entries->playlistId());
        entries.buffer().setNumber(pla::PlaylistSeq, 0);
        entries.setFrom(pla::KeyPlaylistID);
        while (entries.next() &&
               entries.buffer().number(pla::PlaylistID) == m_entries->playlistId()) {
            const qint64 id = entries.buffer().number(pla::ID);
            if (!songIds.contains(id))
                songIds.append(id);
        }
        entries.buffer() = keep;
        entries.setCurrent(current);
    }
    if (songIds.isEmpty()) {
        ask(Message{QStringLiteral("Mark as Played"),
                    QStringLiteral("This play list has no songs to mark."), Ok, Ok,
                    Icon::Information});
        return;
    }
    const QString question =
        QStringLiteral("Mark the %1 songs of this play list as played today (%2)?")
            .arg(songIds.size())
            .arg(format(today(), u"@d18").trimmed());
    if (ask(Message{QStringLiteral("Mark as Played"), question, Yes | No, No, Icon::Question}) !=
        Yes)
        return;
    if (!markSongs(songIds))
        ask(Message{QStringLiteral("Error"),
                    QStringLiteral("The songs could not be marked as played; none was "
                                   "changed.\n") +
                        warningErrorText(),
                    Ok, Ok, Icon::Exclamation});
}

// All the songs or none: a song another station deleted meanwhile is left out, any other
// failure undoes every mark.
bool PlaylistForm::markSongs(const QList<qint64> &songIds)
{
    Table &songs = session().store().table(TableId::Songs);
    const Record keep = songs.buffer();
    const Table::CurrentRecord current = songs.current();
    const qint32 day = today();
    bool written = songs.stream();
    for (qsizetype i = 0; written && i < songIds.size(); ++i) {
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, songIds.at(i));
        if (!songs.get(mus::KeyID)) {
            written = errorCode() == err::RecordNotFound;
            continue;
        }
        songs.buffer().setNumber(mus::LastPlayed, day);
        written = songs.put();
    }
    if (written) {
        written = songs.flush();
    } else {
        saveError();
        if (songs.database().inTransaction())
            (void)songs.database().rollback();
    }
    songs.buffer() = keep;
    songs.setCurrent(current);
    return written;
}

} // namespace sv
