#include "playlistentries.h"

#include "chartcopy.h"

#include "playlistentry.h"

#include "app/browselist.h"
#include "app/browser.h"
#include "app/movebuttons.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/integrity.h"
#include "store/warnings.h"

#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace sv {

namespace {

const QString SongIdType = QStringLiteral("application/x-songvane-song-id");
const QString EntryType = QStringLiteral("application/x-songvane-playlist-entry");

// The entry's song, looked up once per row and column set.
class EntrySongs
{
public:
    explicit EntrySongs(Store &store) : m_lookup(store) {}
    const Record &of(const Record &entry)
    {
        const qint64 id = entry.number(pla::ID);
        if (id != m_id || !m_valid) {
            m_id = id;
            m_valid = true;
            m_found = m_lookup.find(id, m_song);
        }
        return m_song;
    }
    bool found() const { return m_found; }
    void forget() { m_valid = false; }

private:
    SongLookup m_lookup;
    Record m_song{tableDef(TableId::Songs)};
    qint64 m_id = 0;
    bool m_valid = false;
    bool m_found = false;
};

QList<BrowseColumn> entryColumns(const std::shared_ptr<EntrySongs> &songs)
{
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    // Each column names the entry fields it shows, so that a page reads those and no others.
    return {
        {QStringLiteral("Seq"),
         [songs](const Record &entry) {
             songs->forget(); // the first column of a row: the song is looked up afresh
             return format(entry.value(pla::PlaylistSeq), u"@n_5").trimmed();
         },
         right,
         {pla::PlaylistSeq}},
        {QStringLiteral("Artist"),
         [songs](const Record &entry) { return songs->of(entry).text(mus::Artist).trimmed(); },
         left,
         {pla::ID}},
        {QStringLiteral("Title"),
         [songs](const Record &entry) {
             const Record &song = songs->of(entry);
             // A song another station deleted while the play list names it.
             return songs->found() ? song.text(mus::Title).trimmed()
                                   : QStringLiteral("(song no longer on file)");
         },
         left,
         {pla::ID}},
        {QStringLiteral("Time"),
         [songs](const Record &entry) {
             return format(songs->of(entry).value(mus::Time), u"@t4").trimmed();
         },
         right,
         {pla::ID}},
        {QStringLiteral("Notes"),
         [](const Record &entry) { return entry.text(pla::PlaylistNotes).trimmed(); },
         left,
         {pla::PlaylistNotes}},
    };
}

void refuse(const QString &text)
{
    ask(Message{QStringLiteral("Error"), text, Ok, Ok, Icon::Exclamation});
}

} // namespace

PlaylistEntries::PlaylistEntries(Session &session, QWidget *form) : m_session(session), m_form(form)
{
    m_model = new PageModel(entries(), &session.store().bindings(), this);
    m_model->setColumns(entryColumns(std::make_shared<EntrySongs>(session.store())));
    m_model->setDragValue(EntryType, {pla::PlaylistID, pla::PlaylistSeq}, [](const Record &entry) {
        return QString::number(entry.number(pla::PlaylistID)) + u':' +
               QString::number(entry.number(pla::PlaylistSeq));
    });
    m_list = new BrowseList(m_model);
    QTableView *view = m_list->view();
    view->setDragEnabled(true);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
    view->setToolTip(QStringLiteral("Drag from the \"Songs\" window and drop on the Playlist"));
    // The number and the time columns are as wide as their longest value ("@n_5", "@t4"),
    // the title takes what the time needs beyond that.
    const QFontMetrics metrics = view->fontMetrics();
    const int padding =
        2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 8;
    const int seq = qMax(44, metrics.horizontalAdvance(QStringLiteral("00000")) + padding);
    const int time = qMax(48, metrics.horizontalAdvance(QStringLiteral("00:00:00")) + padding);
    const int widths[] = {seq, 130, qMax(120, 170 - (time - 48) - (seq - 44)), time, 120};
    for (int column = 0; column < int(std::size(widths)); ++column)
        view->horizontalHeader()->resizeSection(column, widths[column]);
    connect(m_list, &BrowseList::insertPressed, this, &PlaylistEntries::add);
    connect(m_list, &BrowseList::deletePressed, this, &PlaylistEntries::remove);
    connect(m_list, &BrowseList::changePressed, this, &PlaylistEntries::change);
    connect(m_list, &BrowseList::readFailed, this,
            [this] { standardWarning(warning::RecordRetrieval, entries().label()); });
    connect(m_list, &BrowseList::contextMenuAt, this, [this](const QPoint &at) {
        QMenu *menu = buildPopupMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(at);
    });

    m_total = new QLabel;
    m_total->setObjectName(QStringLiteral("totalTime"));
    auto *totalRow = new QHBoxLayout;
    totalRow->addStretch();
    totalRow->addWidget(new QLabel(QStringLiteral("Total Time:")));
    totalRow->addWidget(m_total);
    auto *listColumn = new QVBoxLayout;
    listColumn->addWidget(m_list, 1);
    listColumn->addLayout(totalRow);

    auto *buttons = new QVBoxLayout;
    buildButtons(buttons);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(listColumn, 1);
    layout->addLayout(buttons);
}

void PlaylistEntries::buildButtons(QLayout *column)
{
    QHBoxLayout *moveRow = moveButtonRow(
        this, [this](MoveMode mode) { move(mode); }, &m_moves);
    static_cast<QVBoxLayout *>(column)->addLayout(moveRow);
    m_chart = new QPushButton(QStringLiteral("Char&t"));
    m_chart->setToolTip(QStringLiteral("Copy the current chart order into the last week column"));
    m_chart->setAutoDefault(false);
    connect(m_chart, &QPushButton::clicked, this, &PlaylistEntries::copyChart);
    column->addWidget(m_chart);
    const auto addButton = [&](const QString &caption, auto action) {
        auto *pushButton = new QPushButton(caption);
        pushButton->setAutoDefault(false);
        connect(pushButton, &QPushButton::clicked, this, action);
        column->addWidget(pushButton);
    };
    addButton(QStringLiteral("&Add"), &PlaylistEntries::add);
    addButton(QStringLiteral("&Change"), &PlaylistEntries::change);
    addButton(QStringLiteral("&Delete"), &PlaylistEntries::remove);
    static_cast<QVBoxLayout *>(column)->addStretch();
}

QPushButton *PlaylistEntries::button(const QString &caption) const
{
    for (QPushButton *candidate : findChildren<QPushButton *>()) {
        if (candidate->text() == caption)
            return candidate;
    }
    return nullptr;
}

QPushButton *PlaylistEntries::moveButton(MoveMode mode) const
{
    const qsizetype index = MoveButtonOrder.indexOf(mode);
    return index >= 0 && index < m_moves.size() ? m_moves.at(index) : nullptr;
}

QMenu *PlaylistEntries::buildPopupMenu()
{
    auto *menu = new QMenu(this);
    const bool rows = !m_model->isEmpty();
    menu->addAction(QStringLiteral("&Add"), this, &PlaylistEntries::add);
    menu->addAction(QStringLiteral("&Change"), this, &PlaylistEntries::change)->setEnabled(rows);
    menu->addAction(QStringLiteral("&Delete"), this, &PlaylistEntries::remove)->setEnabled(rows);
    return menu;
}

Table &PlaylistEntries::entries() const
{
    return m_session.store().table(TableId::PlaylistDetails);
}

void PlaylistEntries::show(qint64 playlistId, RecordPosition keep)
{
    m_playlistId = playlistId;
    if (!m_model->setView(pla::KeyPlaylistID, QString(), playlistId))
        return;
    reload(keep);
}

void PlaylistEntries::reload(RecordPosition keep)
{
    if (!m_list->refill(keep ? keep : m_list->highlighted()))
        standardWarning(warning::RecordRetrieval, entries().label());
    if (keep)
        m_list->highlight(keep);
    computeTotalTime();
}

// Every entry's song time added up, in one query; an entry whose song is gone adds nothing.
void PlaylistEntries::computeTotalTime()
{
    qint64 total = 0;
    if (!entries().sumLinked(pla::PlaylistID, m_playlistId, pla::ID,
                             m_session.store().table(TableId::Songs), mus::ID, mus::Time, total))
        standardWarning(warning::RecordRetrieval, entries().label());
    m_totalTime = qint32(std::clamp<qint64>(total, 0, std::numeric_limits<qint32>::max()));
    m_total->setText(totalTimeText());
}

// An empty play list shows a total of nothing as zero, not as a blank. A play list longer
// than a day has its hours go on past 24, as the play-list report's total does: a time of
// day past midnight would show blank.
QString PlaylistEntries::totalTimeText() const
{
    constexpr qint32 Day = 24 * 360000;
    if (m_totalTime <= Day)
        return format(qMax<qint32>(m_totalTime, 1), u"@T4").trimmed();
    const qint32 seconds = (m_totalTime - 1) / 100;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

void PlaylistEntries::setBusy(bool busy)
{
    m_busy = busy;
    m_form->setEnabled(!busy);
    if (!busy)
        m_list->view()->setFocus();
}

void PlaylistEntries::copyChart()
{
    if (m_busy || m_playlistId == 0)
        return;
    setBusy(true);
    // The progress window stands beside the form, which waits for it, so its Cancel works.
    const QPointer<PlaylistEntries> self(this);
    (void)playlists::copyChart(m_session, m_playlistId, m_form->window(), [self](bool) {
        if (!self)
            return;
        self->setBusy(false);
        self->reload();
    });
}

void PlaylistEntries::callEntry(Request request, Done done)
{
    auto *form = new PlaylistEntryForm(m_session, request);
    setBusy(true);
    connect(form, &UpdateForm::finished, this,
            [this, done = std::move(done), form](const WindowResult &result) {
                setBusy(false);
                done(result, form->recordPosition());
            });
    if (form->start())
        showProcedureWindow(m_form, form);
}

// The highlighted entry read again into the shared entry buffer; an entry another
// station deleted meanwhile is said to be gone and the list shows what is left.
bool PlaylistEntries::readHighlighted(bool watch)
{
    const RecordPosition position = m_list->highlighted();
    if (!position)
        return false;
    if (watch)
        entries().watch();
    if (entries().reget(position) && entries().buffer().number(pla::PlaylistID) == m_playlistId)
        return true;
    if (errorCode() == err::RecordNotFound || errorCode() == err::None) {
        Integrity::reportDeletedElsewhere(Integrity::Deleted::Gone);
        reload(0);
    } else {
        standardWarning(warning::RecordRetrieval, entries().label());
    }
    return false;
}

// The new entry is numbered last and then moved up to follow the highlighted one.
void PlaylistEntries::add()
{
    if (m_busy)
        return;
    qint64 after = 0;
    if (m_list->highlighted()) {
        if (!readHighlighted(false))
            return;
        after = entries().buffer().number(pla::PlaylistSeq);
    }
    entries().buffer().clear();
    entries().buffer().setNumber(pla::PlaylistID, m_playlistId);
    callEntry(Request::Insert, [this, after](const WindowResult &result, RecordPosition added) {
        if (result.response != Response::Completed)
            return reload(0);
        if (after > 0)
            (void)runMove(RunMove{MoveMode::Insert, 0, added, after});
        reload(added);
    });
}

void PlaylistEntries::change()
{
    if (m_busy || !readHighlighted(true))
        return;
    callEntry(Request::Change,
              [this](const WindowResult &, RecordPosition changed) { reload(changed); });
}

// The entry form deletes the entry and closes the gap it leaves, in one transaction.
void PlaylistEntries::remove()
{
    if (m_busy || !readHighlighted(true))
        return;
    const int row = m_list->highlightedRow();
    const RecordPosition next =
        m_model->positionAt(row + 1) ? m_model->positionAt(row + 1) : m_model->positionAt(row - 1);
    callEntry(Request::Delete, [this, next](const WindowResult &result, RecordPosition) {
        reload(result.response == Response::Completed ? next : 0);
    });
}

void PlaylistEntries::move(MoveMode mode)
{
    if (m_busy)
        return;
    const RecordPosition moving = m_list->highlighted();
    if (!moving)
        return;
    if (runMove(RunMove{mode, 0, moving, 0}) == Moved::Gone) {
        Integrity::reportDeletedElsewhere(Integrity::Deleted::Gone);
        return reload(0);
    }
    reload(moving);
}

Moved PlaylistEntries::runMove(const RunMove &move, RecordPosition *moved)
{
    return moveRunRow(
        playlistRun(m_session.store()), playlistRow(m_playlistId), move,
        [this](const QString &section, qint64 sequence) { swapError(section, sequence); }, moved);
}

bool PlaylistEntries::moveTo(qint64 from, qint64 to)
{
    if (m_busy || to == from || to <= 0)
        return false;
    // Up: passing the entries numbered from `to` on; down: those up to `to`.
    const RunMove move = to < from ? RunMove{MoveMode::Insert, from, 0, to - 1}
                                   : RunMove{MoveMode::DownTo, from, 0, to};
    RecordPosition movedEntry = 0;
    const bool moved = runMove(move, &movedEntry) == Moved::Yes;
    reload(moved ? movedEntry : 0);
    return moved;
}

void PlaylistEntries::swapError(const QString &section, qint64 sequence)
{
    showPlaylistSwapError(m_playlistId, section, sequence);
}

bool PlaylistEntries::dropSong(const QString &payload)
{
    bool number = false;
    const qint64 songId = payload.trimmed().toLongLong(&number);
    if (!number || songId <= 0) {
        refuse(QStringLiteral("Only songs can be added to a play list: drag a song from a song "
                              "list and drop it on the play list."));
        return false;
    }
    Record song(tableDef(TableId::Songs));
    if (!SongLookup(m_session.store()).find(songId, song)) {
        refuse(QStringLiteral("The dropped song (ID %1) is no longer on file.").arg(songId));
        return false;
    }
    return appendSong(songId);
}

// The song becomes the play list's last entry, numbered one past the highest: three
// attempts (another window may take the number meanwhile), then the retry question.
bool PlaylistEntries::appendSong(qint64 songId)
{
    Table &table = entries();
    const ChildRun run = playlistRun(m_session.store());
    const Record row = playlistRow(m_playlistId);
    while (true) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            qint64 last = 0;
            if (!lastInRun(run, row, last)) {
                standardWarning(warning::RecordRetrieval, table.label());
                return false;
            }
            table.buffer() = row;
            table.buffer().setNumber(pla::PlaylistSeq, last + 1);
            table.buffer().setNumber(pla::ID, songId);
            if (table.add()) {
                const RecordPosition added = table.position();
                reload(added);
                return true;
            }
        }
        if (standardWarning(warning::AutoIncrementError) != Retry)
            return false;
    }
}

bool PlaylistEntries::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_list->view()->viewport())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto *drag = static_cast<QDropEvent *>(event);
        const bool ownEntry =
            drag->mimeData()->hasFormat(EntryType) && drag->source() == m_list->view();
        if (!m_busy &&
            (ownEntry || drag->mimeData()->hasFormat(SongIdType) || drag->mimeData()->hasText())) {
            drag->setDropAction(ownEntry ? Qt::MoveAction : Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        if (m_busy)
            return true;
        const QMimeData *payload = drop->mimeData();
        if (payload->hasFormat(EntryType) && drop->source() == m_list->view()) {
            drop->setDropAction(Qt::MoveAction);
            drop->accept();
            const QModelIndex target = m_list->view()->indexAt(drop->position().toPoint());
            const QStringList dragged = QString::fromUtf8(payload->data(EntryType)).split(u':');
            const qint64 from = dragged.value(1).toLongLong();
            qint64 to = 0;
            if (target.isValid()) {
                to = m_model->textAt(target.row(), 0).toLongLong();
            } else {
                (void)lastInRun(playlistRun(m_session.store()), playlistRow(m_playlistId), to);
            }
            if (dragged.value(0).toLongLong() == m_playlistId)
                moveTo(from, to);
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        dropSong(payload->hasFormat(SongIdType) ? QString::fromUtf8(payload->data(SongIdType))
                                                : QString());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace sv
