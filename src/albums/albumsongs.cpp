#include "albumsongs.h"

#include "selectfilenumber.h"

#include "app/browselist.h"
#include "app/browser.h"
#include "app/movebuttons.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "songs/songform.h"
#include "songs/songtitle.h"
#include "store/errors.h"
#include "store/keytext.h"
#include "store/warnings.h"
#include "wizards/cdreader.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace sv {

namespace {

const QString SongIdType = QStringLiteral("application/x-songvane-song-id");
const QString Ended = QStringLiteral("OK");

// A column names the fields it shows, so that a page reads those and no others.
BrowseColumn column(const QString &header, const QList<int> &fields,
                    std::function<QString(const Record &)> text,
                    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    return BrowseColumn{header, std::move(text), alignment, fields};
}

BrowseColumn fieldColumn(const QString &header, int field, const QString &picture,
                         Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    return column(
        header, {field},
        [field, picture](const Record &song) { return format(song.value(field), picture); },
        alignment);
}

QList<BrowseColumn> songColumns()
{
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    return {
        fieldColumn(QStringLiteral("Track"), mus::Side, QStringLiteral("@p(<)p"), right),
        fieldColumn(QString(), mus::TrackNumber, QStringLiteral("@n3"), right),
        fieldColumn(QStringLiteral("Artist"), mus::Artist, QStringLiteral("@s30")),
        column(QStringLiteral("Title"), {mus::Title, mus::Skips, mus::Mix},
               [](const Record &song) {
                   Record copy = song;
                   return SongDisplayTitle(copy);
               }),
        column(
            QStringLiteral("Time"), {mus::Time},
            [](const Record &song) {
                return FormatTrackTime(qint32(song.number(mus::Time))).trimmed();
            },
            right),
        fieldColumn(QStringLiteral("Media"), mus::Media, QStringLiteral("@s20")),
        fieldColumn(QStringLiteral("File Number"), mus::FileNumber, QStringLiteral("@s20")),
        fieldColumn(QStringLiteral("Release Date"), mus::ReleaseDate,
                    Settings::global().datePicture(), right),
        fieldColumn(QStringLiteral("BPM"), mus::BeatsPerMinute, QStringLiteral("@n_4b"), right),
        fieldColumn(QStringLiteral("In/Out"), mus::InOut, QStringLiteral("@s20")),
    };
}

bool forwardMove(MoveMode mode)
{
    return mode == MoveMode::DownOne || mode == MoveMode::ToBottom;
}

QString clipped(const QString &text)
{
    QString result = text;
    while (result.endsWith(u' '))
        result.chop(1);
    return result;
}

// The reads of a walk over the song file, with read-ahead while it lasts.
class QuickScan
{
public:
    explicit QuickScan(Table &table) : m_table(table)
    {
        (void)m_table.send(QStringLiteral("QUICKSCAN=on"));
    }
    ~QuickScan() { (void)m_table.send(QStringLiteral("QUICKSCAN=off")); }
    QuickScan(const QuickScan &) = delete;
    QuickScan &operator=(const QuickScan &) = delete;

private:
    Table &m_table;
};

// The shared song buffer and current record, put back as they were when a walk ends.
class KeepSongBuffer
{
public:
    explicit KeepSongBuffer(Table &table)
        : m_table(table), m_buffer(table.buffer()), m_current(table.current())
    {}
    ~KeepSongBuffer()
    {
        m_table.buffer() = m_buffer;
        m_table.setCurrent(m_current);
    }
    KeepSongBuffer(const KeepSongBuffer &) = delete;
    KeepSongBuffer &operator=(const KeepSongBuffer &) = delete;

private:
    Table &m_table;
    Record m_buffer;
    Table::CurrentRecord m_current;
};

} // namespace

AlbumSongs::AlbumSongs(Session &session, std::function<const Record &()> album, QWidget *form)
    : m_session(session), m_album(std::move(album)), m_form(form)
{
    m_model = new PageModel(songs(), &session.store().bindings(), this);
    m_model->setColumns(songColumns());
    // Its songs can be dragged to a play list like those of the song list.
    m_model->setDragValue(SongIdType, {mus::ID},
                          [](const Record &song) { return QString::number(song.number(mus::ID)); });
    m_list = new BrowseList(m_model);
    m_list->view()->setDragEnabled(true);
    m_list->view()->viewport()->setAcceptDrops(true);
    m_list->view()->viewport()->installEventFilter(this);
    m_list->view()->setToolTip(QStringLiteral("Drop a song here to add it to this album"));
    const int widths[] = {34, 30, 120, 160, 52, 60, 84, 86, 44, 60};
    QHeaderView *header = m_list->view()->horizontalHeader();
    header->setMinimumSectionSize(20);
    for (int column = 0; column < int(std::size(widths)); ++column)
        header->resizeSection(column, widths[column]);
    connect(m_list, &BrowseList::insertPressed, this, &AlbumSongs::add);
    connect(m_list, &BrowseList::deletePressed, this, &AlbumSongs::remove);
    connect(m_list, &BrowseList::changePressed, this, &AlbumSongs::change);
    connect(m_list, &BrowseList::readFailed, this,
            [this] { standardWarning(warning::RecordRetrieval, songs().label()); });

    auto *buttons = new QVBoxLayout;
    buildButtons(buttons);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
}

void AlbumSongs::buildButtons(QLayout *column)
{
    const auto addButton = [&](const QString &caption, const QString &tip, auto action) {
        auto *pushButton = new QPushButton(caption);
        pushButton->setToolTip(tip);
        pushButton->setAutoDefault(false);
        connect(pushButton, &QPushButton::clicked, this, action);
        column->addWidget(pushButton);
        return pushButton;
    };
    addButton(QStringLiteral("&Add"), QString(), &AlbumSongs::add);
    addButton(QStringLiteral("Cop&y"), QStringLiteral("Copy record"), &AlbumSongs::copy);
    addButton(QStringLiteral("&Change"), QString(), &AlbumSongs::change);
    addButton(QStringLiteral("&Delete"), QString(), &AlbumSongs::remove);
    addButton(QStringLiteral("Edit All Son&gs"), QString(), &AlbumSongs::editAll);
    QHBoxLayout *moveRow = moveButtonRow(this, [this](MoveMode mode) { move(mode); });
    static_cast<QVBoxLayout *>(column)->addLayout(moveRow);
    m_readCd =
        addButton(QStringLiteral("Read CD &Information"), QString(), &AlbumSongs::readCdPressed);
    addButton(QStringLiteral("Re-assign Songs"), QString(), &AlbumSongs::reassign);
    static_cast<QVBoxLayout *>(column)->addStretch();
}

QPushButton *AlbumSongs::button(const QString &caption) const
{
    for (QPushButton *candidate : findChildren<QPushButton *>()) {
        if (candidate->text() == caption)
            return candidate;
    }
    return nullptr;
}

Table &AlbumSongs::songs() const
{
    return m_session.store().table(TableId::Songs);
}

void AlbumSongs::show(qint64 albumId, RecordPosition keep)
{
    m_albumId = albumId;
    if (!m_model->setView(mus::KeyAlbumID, QString(), albumId))
        return;
    refresh(keep);
}

void AlbumSongs::refresh(RecordPosition keep)
{
    if (!m_list->refill(keep ? keep : m_list->highlighted()))
        standardWarning(warning::RecordRetrieval, songs().label());
    if (keep)
        m_list->highlight(keep);
}

void AlbumSongs::setBusy(bool busy)
{
    m_busy = busy;
    m_form->setEnabled(!busy);
    if (!busy)
        m_list->view()->setFocus();
}

// The song form takes the album's values from the shared album buffer.
void AlbumSongs::prepareCall()
{
    m_album();
}

// The song form is told that the album form calls it only while it sets itself up: a song
// form that another window opens later must not take this album's values.
void AlbumSongs::callSong(Request request, Done done)
{
    m_session.calledFromAlbumForm = true;
    auto *form = new SongForm(m_session, request);
    setBusy(true);
    connect(form, &UpdateForm::finished, this,
            [this, done = std::move(done), form](const WindowResult &result) {
                setBusy(false);
                done(result, form->recordPosition());
            });
    const bool opened = form->start();
    m_session.calledFromAlbumForm = false;
    if (opened)
        showProcedureWindow(m_form, form);
}

bool AlbumSongs::readHighlighted(bool watch)
{
    const RecordPosition position = m_list->highlighted();
    if (!position)
        return false;
    if (watch)
        songs().watch();
    if (songs().reget(position))
        return true;
    if (errorCode() == err::RecordNotFound) {
        Integrity::reportDeletedElsewhere(Integrity::Deleted::Gone);
        refresh(0);
    } else {
        standardWarning(warning::RecordRetrieval, songs().label());
    }
    return false;
}

// A new song goes on the side of the song highlighted, and is moved up to follow it.
void AlbumSongs::add()
{
    if (m_busy)
        return;
    prepareCall();
    bool follows = false;
    qint64 side = 0;
    qint64 track = 0;
    if (m_list->highlighted() && readHighlighted(false)) {
        follows = true;
        side = songs().buffer().number(mus::Side);
        track = songs().buffer().number(mus::TrackNumber);
    }
    songs().buffer().clear();
    songs().buffer().setNumber(mus::Side, side);
    callSong(Request::Insert,
             [this, follows, side, track](const WindowResult &result, RecordPosition added) {
                 if (result.response != Response::Completed)
                     return refresh(0);
                 if (follows)
                     moveUpToFollow(added, side, track);
                 refresh(added);
             });
}

void AlbumSongs::copy()
{
    if (m_busy || !readHighlighted(false))
        return;
    const Record copied = songs().buffer();
    prepareCall();
    songs().buffer() = copied;
    callSong(Request::Insert, [this](const WindowResult &result, RecordPosition added) {
        refresh(result.response == Response::Completed ? added : 0);
    });
}

void AlbumSongs::change()
{
    if (m_busy || !readHighlighted(true))
        return;
    const Record song = songs().buffer();
    const Table::CurrentRecord current = songs().current();
    prepareCall();
    songs().buffer() = song;
    songs().setCurrent(current);
    callSong(Request::Change,
             [this](const WindowResult &, RecordPosition changed) { refresh(changed); });
}

void AlbumSongs::remove()
{
    if (m_busy || !readHighlighted(true))
        return;
    const Record song = songs().buffer();
    const Table::CurrentRecord current = songs().current();
    const qint64 side = song.number(mus::Side);
    const qint64 track = song.number(mus::TrackNumber);
    const int row = m_list->highlightedRow();
    const RecordPosition next =
        m_model->positionAt(row + 1) ? m_model->positionAt(row + 1) : m_model->positionAt(row - 1);
    prepareCall();
    songs().buffer() = song;
    songs().setCurrent(current);
    callSong(Request::Delete,
             [this, side, track, next](const WindowResult &result, RecordPosition) {
                 if (result.response == Response::Completed && track > 0)
                     renumberAfter(side, track);
                 refresh(result.response == Response::Completed ? next : 0);
             });
}

void AlbumSongs::editAll()
{
    if (m_busy)
        return;
    QList<Track> all;
    if (!readSide(-1, all))
        standardWarning(warning::RecordRetrieval, songs().label());
    m_editQueue.clear();
    for (const Track &song : std::as_const(all))
        m_editQueue.append(song.position);
    editNext();
}

// One song form after another, in track order, until one ends without OK.
void AlbumSongs::editNext()
{
    while (!m_editQueue.isEmpty()) {
        const RecordPosition position = m_editQueue.takeFirst();
        songs().watch();
        if (!songs().reget(position))
            continue; // gone meanwhile
        const Record song = songs().buffer();
        const Table::CurrentRecord current = songs().current();
        prepareCall();
        songs().buffer() = song;
        songs().setCurrent(current);
        m_list->highlight(position);
        callSong(Request::Change, [this](const WindowResult &result, RecordPosition changed) {
            refresh(changed);
            if (result.endedBy == Ended)
                editNext();
            else
                m_editQueue.clear();
        });
        return;
    }
}

// The songs of the album on one side (every side for -1), in key order; false with the
// store's error when the file could not be read to the end of the album.
bool AlbumSongs::readSide(qint64 side, QList<Track> &run)
{
    Table &table = songs();
    StoreError failure;
    {
        KeepSongBuffer keep(table);
        QuickScan scan(table);
        table.buffer().clear();
        table.buffer().setNumber(mus::AlbumID, albumId());
        table.setFrom(mus::KeyAlbumID);
        while (table.next() && table.buffer().number(mus::AlbumID) == albumId()) {
            if (side < 0 || table.buffer().number(mus::Side) == side)
                run.append(Track{table.position(), table.current().revision,
                                 table.buffer().number(mus::TrackNumber)});
        }
        failure = lastError();
    }
    restoreError(failure);
    return failure.code == err::None || failure.code == err::RecordNotAvailable;
}

void AlbumSongs::move(MoveMode mode)
{
    if (m_busy || !readHighlighted(false))
        return;
    const RecordPosition moving = songs().position();
    moveSong(moving, songs().buffer().number(mus::Side), songs().buffer().number(mus::TrackNumber),
             mode);
    refresh(moving);
}

void AlbumSongs::swapError(const QString &section, qint64 side, qint64 track)
{
    ask(Message{QStringLiteral("Error!"),
                QStringLiteral("Record swap error: ") + errorText() +
                    QStringLiteral("\nSongvane, MUS:KeyAlbumID\nKey Field MUS:AlbumID = ") +
                    QString::number(albumId()) + QStringLiteral("\nKey Field MUS:Side = ") +
                    QString::number(side) + QStringLiteral("\nKey Field MUS:TrackNumber = ") +
                    QString::number(track) + QStringLiteral("\nSection = ") + section,
                Ok, Ok, Icon::Exclamation});
}

// The writes of one renumbering, as one transaction on the song file that reads the side
// and writes it with no other station in between: rolled back unless committed, so a
// failure part way leaves every track as it was. Joined, and left to its owner to end,
// when one is open already.
class AlbumSongs::TrackBatch
{
public:
    explicit TrackBatch(Table &table)
        : m_database(table.database()), m_own(!m_database.inTransaction()), m_begun(table.stream())
    {}
    ~TrackBatch() { rollBack(); }
    TrackBatch(const TrackBatch &) = delete;
    TrackBatch &operator=(const TrackBatch &) = delete;

    bool begun() const { return m_begun; }
    [[nodiscard]] bool commit()
    {
        if (!m_own || m_database.flush()) {
            m_begun = false;
            return true;
        }
        return false;
    }
    // Keeps the error that made it necessary, for the message that follows.
    void rollBack()
    {
        if (m_own && m_begun && m_database.inTransaction()) {
            const StoreError error = lastError();
            (void)m_database.rollback();
            restoreError(error);
        }
        m_begun = false;
    }

private:
    Database &m_database;
    bool m_own;
    bool m_begun;
};

// A failed write ends the batch before the message shows: no other station waits on this
// one's lock while the user reads it.
bool AlbumSongs::writeTrack(TrackBatch &batch, Track &song, qint64 track, const QString &section,
                            qint64 side, qint64 shownTrack)
{
    if (songs().putNumber(song.position, &song.revision, mus::TrackNumber, track))
        return true;
    batch.rollBack();
    swapError(section, side, shownTrack);
    return false;
}

// The moved song is parked past the side's last track, the songs it passes take the tracks
// freed one after another, and it takes the last one. Songs of the album's other sides are
// passed over: the key orders the album by track alone, so sides interleave in it. Each song
// is written once with its new track alone, as it was read in the same transaction.
bool AlbumSongs::moveSong(RecordPosition moving, qint64 side, qint64 shownTrack, MoveMode mode)
{
    TrackBatch batch(songs());
    QList<Track> run;
    if (!batch.begun() || !readSide(side, run)) {
        batch.rollBack();
        swapError(QStringLiteral("Test Range"), side, shownTrack);
        return false;
    }
    qsizetype at = -1;
    for (qsizetype i = 0; i < run.size(); ++i) {
        if (run.at(i).position == moving)
            at = i;
    }
    const bool forward = forwardMove(mode);
    const qsizetype first = forward ? at + 1 : at - 1;
    if (at < 0 || first < 0 || first >= run.size())
        return false; // nothing to pass in that direction
    const qint64 parking = run.last().track + 1;
    Track &moved = run[at];
    const qint64 track = moved.track;
    if (!writeTrack(batch, moved, parking, QStringLiteral("Put Swap Out"), side, track))
        return false;

    qint64 freed = track;
    const bool oneStep = mode == MoveMode::UpOne || mode == MoveMode::DownOne;
    for (qsizetype i = first; i >= 0 && i < run.size(); i += forward ? 1 : -1) {
        Track &passed = run[i];
        if (!writeTrack(batch, passed, freed, QStringLiteral("Put Swap"), side, passed.track))
            return false;
        freed = passed.track;
        if (oneStep)
            break;
    }
    if (!writeTrack(batch, moved, freed, QStringLiteral("Final Put"), side, freed))
        return false;
    if (!batch.commit()) {
        batch.rollBack();
        swapError(QStringLiteral("Put Upd Seq"), side, freed);
        return false;
    }
    return true;
}

// A song added after the highlighted one goes right after it: it passes, one by one, the
// songs of its side numbered between the two.
void AlbumSongs::moveUpToFollow(RecordPosition added, qint64 side, qint64 followTrack)
{
    Table &table = songs();
    {
        KeepSongBuffer keep(table);
        if (!table.reget(added) || table.buffer().number(mus::Side) != side ||
            table.buffer().number(mus::AlbumID) != albumId())
            return;
    }
    for (int steps = 0; steps < 256; ++steps) {
        QList<Track> run;
        if (!readSide(side, run)) {
            standardWarning(warning::RecordRetrieval, table.label());
            return;
        }
        qsizetype at = -1;
        for (qsizetype i = 0; i < run.size(); ++i) {
            if (run.at(i).position == added)
                at = i;
        }
        if (at <= 0 || run.at(at - 1).track <= followTrack)
            return;
        if (!moveSong(added, side, run.at(at).track, MoveMode::UpOne))
            return;
    }
}

// The songs after a deleted one on its side close the gap: numbered on from its track.
void AlbumSongs::renumberAfter(qint64 side, qint64 fromTrack)
{
    const QString section = QStringLiteral("Put Upd Seq");
    TrackBatch batch(songs());
    QList<Track> run;
    if (!batch.begun() || !readSide(side, run)) {
        batch.rollBack();
        return swapError(section, side, fromTrack);
    }
    qint64 next = fromTrack;
    for (Track &song : run) {
        if (song.track <= fromTrack)
            continue;
        if (song.track != next && !writeTrack(batch, song, next, section, side, song.track))
            return;
        ++next;
    }
    if (!batch.commit()) {
        batch.rollBack();
        swapError(section, side, fromTrack);
    }
}

void AlbumSongs::reassign()
{
    if (m_busy)
        return;
    const Record album = m_album();
    const QString fileNumber = clipped(album.text(alb::FileNumber));
    if (fileNumber.isEmpty()) {
        selectFileNumber();
        return;
    }
    const Button answer =
        ask(Message{QStringLiteral("Assign Songs To Album"),
                    QStringLiteral("Do you want to assign all songs with file number \"") +
                        fileNumber + QStringLiteral("\" and media type \"") +
                        clipped(album.text(alb::Media)) + QStringLiteral("\" to this album?"),
                    Yes | No | Cancel, Yes, Icon::Question});
    if (answer == Yes)
        assignByFileNumber(album);
    else if (answer == No)
        selectFileNumber();
}

// Every song of the album's media and file number, read on from where the media key puts
// them, joins the album; the run ends at the first song that differs.
void AlbumSongs::assignByFileNumber(const Record &album)
{
    Table &table = songs();
    QList<RecordPosition> found;
    enum class Stop { EndOfTable, Media, FileNumber } stop = Stop::EndOfTable;
    {
        KeepSongBuffer keep(table);
        QuickScan scan(table);
        const QString media = keyText(album.text(alb::Media));
        const QString fileNumber = clipped(album.text(alb::FileNumber)).toUpper();
        table.buffer().clear();
        table.buffer().setText(mus::Media, album.text(alb::Media));
        table.buffer().setText(mus::FileNumber, album.text(alb::FileNumber));
        table.setFrom(mus::SongsByMedia);
        while (true) {
            if (!table.next()) {
                if (errorCode() != err::RecordNotAvailable) {
                    ask(Message{QStringLiteral("Assignment Cancelled"),
                                QStringLiteral("Error reading music database ") + errorText(), Ok,
                                Ok, Icon::Exclamation});
                    return;
                }
                break;
            }
            const Record &song = table.buffer();
            if (keyText(song.text(mus::Media)) != media) {
                stop = Stop::Media;
                break;
            }
            if (clipped(song.text(mus::FileNumber)).toUpper() != fileNumber) {
                stop = Stop::FileNumber;
                break;
            }
            found.append(table.position());
        }
    }
    if (found.isEmpty()) {
        const QString why =
            stop == Stop::EndOfTable
                ? QStringLiteral("No songs with that media type and file number were found.")
            : stop == Stop::Media ? QStringLiteral("No songs with that media type were found.")
                                  : QStringLiteral("No songs with that file number were found.");
        ask(Message{QStringLiteral("Process failed."), why, Ok, Ok, Icon::Exclamation});
        return;
    }
    // All of them or none: a failure part way leaves every song where it was.
    bool written = true;
    {
        KeepSongBuffer keep(table);
        written = table.stream();
        for (qsizetype i = 0; written && i < found.size(); ++i) {
            written = table.reget(found.at(i));
            table.buffer().setNumber(mus::AlbumID, albumId());
            written = written && table.put();
        }
        if (!written) {
            saveError();
            if (table.database().inTransaction())
                (void)table.database().rollback();
        } else {
            written = table.flush();
        }
    }
    if (!written) {
        ask(Message{QStringLiteral("Error"),
                    QStringLiteral("Error updating song database - ") + warningErrorText(), Ok, Ok,
                    Icon::Exclamation});
        return refresh(0);
    }
    ask(Message{QStringLiteral("Process complete."),
                QString::number(found.size()) + QStringLiteral(" songs assigned."), Ok, Ok,
                Icon::Information});
    refresh(found.first());
}

void AlbumSongs::selectFileNumber()
{
    auto *picker = new SelectFileNumber(m_session, Request::Select);
    if (!picker->start()) {
        delete picker;
        return;
    }
    setBusy(true);
    connect(picker, &Browser::finished, this, [this](const WindowResult &result) {
        setBusy(false);
        if (result.response != Response::Completed)
            return;
        Table &table = songs();
        const RecordPosition chosen = table.position();
        table.buffer().setNumber(mus::AlbumID, albumId());
        if (!table.put())
            ask(Message{QStringLiteral("Error"),
                        QStringLiteral("Error updating song database - ") + errorText(), Ok, Ok,
                        Icon::Exclamation});
        refresh(chosen);
    });
    showProcedureWindow(m_form, picker);
}

bool AlbumSongs::dropSong(qint64 songId)
{
    Table &table = songs();
    table.buffer().clear();
    table.buffer().setNumber(mus::ID, songId);
    if (!table.get(mus::KeyID))
        return false;
    Record song = table.buffer();
    song.setNumber(mus::AlbumID, albumId());
    const qint64 records = table.records();
    qint64 candidate = records + 1;
    bool newId = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        table.buffer() = song;
        table.buffer().setNumber(mus::ID, candidate);
        // The song's own ID counts as taken: it is still on file.
        if (candidate != songId && table.duplicate(mus::KeyID) == Table::Found::No) {
            newId = true;
            break;
        }
        candidate += attempt < 50 ? 1 : 3;
    }
    table.buffer() = song;
    if (newId)
        table.buffer().setNumber(mus::ID, candidate);
    const bool written = newId ? table.add() : table.put();
    if (!written) {
        ask(Message{QStringLiteral("Error"),
                    QStringLiteral("Error updating song database - ") + errorText(), Ok, Ok,
                    Icon::Exclamation});
        return false;
    }
    refresh(table.position());
    return true;
}

bool AlbumSongs::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->view()->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto *drag = static_cast<QDropEvent *>(event);
            // A song of this album dragged within its own list is already here.
            if (drag->mimeData()->hasFormat(SongIdType) && !m_busy &&
                drag->source() != m_list->view()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto *drop = static_cast<QDropEvent *>(event);
            bool ok = false;
            const qint64 id = QString::fromUtf8(drop->mimeData()->data(SongIdType)).toLongLong(&ok);
            if (ok && !m_busy && drop->source() != m_list->view()) {
                drop->acceptProposedAction();
                dropSong(id);
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace sv
