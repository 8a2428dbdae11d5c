#include "tracklist.h"

#include "cdreader.h"
#include "folderreading.h"
#include "trackdialog.h"

#include "app/browselist.h"
#include "app/browser.h"
#include "app/movebuttons.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "app/updateform.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace sv {

namespace {

const QString Ended = QStringLiteral("OK");

QList<BrowseColumn> trackColumns(bool compilation)
{
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const auto field = [](int column, const QString &picture) {
        return [column, picture](const Record &row) { return format(row.value(column), picture); };
    };
    QList<BrowseColumn> columns{
        {QStringLiteral("Track"), field(aw::Track, QStringLiteral("@n3")), right}};
    if (compilation)
        columns.append({QStringLiteral("Artist"), field(aw::Artist, QStringLiteral("@s50"))});
    columns.append({QStringLiteral("Title"), field(aw::Title, QStringLiteral("@s50"))});
    columns.append({QStringLiteral("Time"),
                    [](const Record &row) {
                        ShowTrackTime(qint32(row.number(aw::Time)));
                        return TrackTimeText().left(5);
                    },
                    right});
    return columns;
}

} // namespace

TrackList::TrackList(Session &session, bool compilation, int instance, QWidget *form)
    : m_session(session), m_compilation(compilation),
      m_rows(session.store().table(TableId::AddWizard), instance), m_form(form)
{
    m_use = session.files().use(table());
    m_model = new PageModel(table(), &session.store().bindings(), this);
    m_model->setColumns(trackColumns(compilation));
    m_list = new BrowseList(m_model);
    // The title takes the room the other columns leave, so the time always shows.
    QHeaderView *header = m_list->view()->horizontalHeader();
    header->setStretchLastSection(false);
    header->resizeSection(0, 44);
    if (compilation)
        header->resizeSection(1, 130);
    header->setSectionResizeMode(compilation ? 2 : 1, QHeaderView::Stretch);
    header->resizeSection(compilation ? 3 : 2, 48);
    connect(m_list, &BrowseList::insertPressed, this, &TrackList::add);
    connect(m_list, &BrowseList::deletePressed, this, &TrackList::remove);
    connect(m_list, &BrowseList::changePressed, this, &TrackList::change);
    connect(m_list, &BrowseList::contextMenuAt, this, &TrackList::showMenu);
    connect(m_list, &BrowseList::readFailed, this,
            [this] { standardWarning(warning::RecordRetrieval, table().label()); });

    m_buttons = new QVBoxLayout;
    buildButtons(m_buttons);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(m_buttons);
    setInstance(instance);
    if (auto *updateForm = qobject_cast<UpdateForm *>(form))
        connect(updateForm, &UpdateForm::ending, this, &TrackList::stopReadings);
}

TrackList::~TrackList()
{
    stopReadings();
}

// A reading still under way once the wizard ends has nowhere to put its tracks: it stops,
// saying nothing, and leaves no rows for a later run to find.
void TrackList::stopReadings()
{
    if (m_folderReading) {
        disconnect(m_folderReading, nullptr, this, nullptr);
        m_folderReading->cancel();
    }
    if (m_discReading) {
        disconnect(m_discReading, nullptr, this, nullptr);
        m_discReading->cancel();
    }
}

void TrackList::setInstance(int instance)
{
    m_rows.setInstance(instance);
    if (m_use && m_model->setView(aw::KeyInstance, QString(), instance))
        refresh();
}

void TrackList::buildButtons(QVBoxLayout *column)
{
    QHBoxLayout *moveRow = moveButtonRow(this, [this](MoveMode mode) { move(mode); });
    column->addLayout(moveRow);
    const auto addButton = [&](const QString &caption, auto action) {
        auto *pushButton = new QPushButton(caption);
        pushButton->setAutoDefault(false);
        connect(pushButton, &QPushButton::clicked, this, action);
        column->addWidget(pushButton);
        return pushButton;
    };
    addButton(QStringLiteral("&Add"), &TrackList::add);
    addButton(QStringLiteral("&Change"), &TrackList::change);
    addButton(QStringLiteral("&Delete"), &TrackList::remove);
    m_readDisc = addButton(QStringLiteral("&Read Compact Disc Information"), &TrackList::readDisc);
    addButton(QStringLiteral("Read &Folder..."), qOverload<>(&TrackList::readFolder));
    addButton(QStringLiteral("Edit All Son&gs"), &TrackList::editAll);
    column->addStretch();
}

void TrackList::addReadingButton(QPushButton *button)
{
    button->setAutoDefault(false);
    m_buttons->insertWidget(m_buttons->indexOf(m_readDisc) + 1, button);
}

QPushButton *TrackList::button(const QString &caption) const
{
    for (QPushButton *candidate : findChildren<QPushButton *>()) {
        if (candidate->text() == caption || candidate->accessibleName() == caption)
            return candidate;
    }
    return nullptr;
}

void TrackList::refresh(RecordPosition keep)
{
    if (!m_use)
        return;
    if (!m_list->refill(keep ? keep : m_list->highlighted()))
        standardWarning(warning::RecordRetrieval, table().label());
    if (keep)
        m_list->highlight(keep);
}

void TrackList::setBusy(bool busy)
{
    m_busy = busy;
    m_form->setEnabled(!busy);
    if (!busy)
        m_list->view()->setFocus();
}

void TrackList::showMenu(const QPoint &at)
{
    QMenu menu;
    menu.addAction(QStringLiteral("&Add"), this, &TrackList::add);
    const bool rows = !m_model->isEmpty();
    menu.addAction(QStringLiteral("&Change"), this, &TrackList::change)->setEnabled(rows);
    menu.addAction(QStringLiteral("&Delete"), this, &TrackList::remove)->setEnabled(rows);
    menu.exec(at);
}

void TrackList::callDialog(Request request, Done done)
{
    auto *dialog = new TrackDialog(m_session, m_compilation, request);
    setBusy(true);
    connect(dialog, &UpdateForm::finished, this,
            [this, done = std::move(done), dialog](const WindowResult &result) {
                setBusy(false);
                done(result, dialog->recordPosition());
            });
    if (dialog->start())
        showProcedureWindow(m_form, dialog);
}

bool TrackList::readHighlighted(bool watch)
{
    const RecordPosition position = m_list->highlighted();
    if (!position)
        return false;
    if (watch)
        table().watch();
    if (table().reget(position))
        return true;
    standardWarning(warning::RecordRetrieval, table().label());
    refresh();
    return false;
}

// Tracks are typed one after another: each completed dialog opens the next.
void TrackList::add()
{
    if (m_busy || !m_use)
        return;
    qint64 highest = 0;
    if (!m_rows.highestTrack(highest)) {
        standardWarning(warning::RecordRetrieval, table().label());
        return;
    }
    m_rows.keyOf(table().buffer(), highest + 1);
    callDialog(Request::Insert, [this](const WindowResult &result, RecordPosition added) {
        if (result.response != Response::Completed)
            return refresh();
        refresh(added);
        add();
    });
}

void TrackList::change()
{
    if (m_busy || !readHighlighted(true))
        return;
    callDialog(Request::Change,
               [this](const WindowResult &, RecordPosition changed) { refresh(changed); });
}

void TrackList::remove()
{
    if (m_busy || !readHighlighted(true))
        return;
    const int row = m_list->highlightedRow();
    const RecordPosition next =
        m_model->positionAt(row + 1) ? m_model->positionAt(row + 1) : m_model->positionAt(row - 1);
    callDialog(Request::Delete, [this, next](const WindowResult &result, RecordPosition) {
        refresh(result.response == Response::Completed ? next : 0);
    });
}

void TrackList::editAll()
{
    if (m_busy || !m_use)
        return;
    QList<TrackRow> rows;
    if (!m_rows.read(rows)) {
        ask(Message{QStringLiteral("Unexpected Error"), errorText() + u'\n' + table().fileName(),
                    Ok, Ok, Icon::Exclamation});
        return;
    }
    m_editQueue.clear();
    for (const TrackRow &row : std::as_const(rows))
        m_editQueue.append(row.position);
    editNext();
}

// One change dialog after another, in track order, until one ends without OK.
void TrackList::editNext()
{
    while (!m_editQueue.isEmpty()) {
        const RecordPosition position = m_editQueue.takeFirst();
        table().watch();
        if (!table().reget(position)) {
            if (errorCode() != err::RecordNotFound) // not deleted meanwhile: say why
                ask(Message{QStringLiteral("Unexpected Error"),
                            errorText() + u'\n' + table().fileName(), Ok, Ok, Icon::Exclamation});
            continue;
        }
        m_list->highlight(position);
        callDialog(Request::Change, [this](const WindowResult &result, RecordPosition changed) {
            refresh(changed);
            if (result.endedBy == Ended)
                editNext();
            else
                m_editQueue.clear();
        });
        return;
    }
    ask(Message{QStringLiteral("Information"), QStringLiteral("End of songs on this album."), Ok,
                Ok, Icon::Information});
}

void TrackList::swapError(const QString &section, qint64 track)
{
    ask(Message{QStringLiteral("Error!"),
                QStringLiteral("Record swap error: \n") + errorText() +
                    QStringLiteral("\nAddWizard, AW:KeyInstance\nKey Field AW:Instance = ") +
                    QString::number(m_rows.instance()) +
                    QStringLiteral("\nKey Field AW:Side = 0\nKey Field AW:Track = ") +
                    QString::number(track) + QStringLiteral("\nSection = ") + section + u'\n',
                Ok, Ok, Icon::Exclamation});
}

void TrackList::move(MoveMode mode)
{
    if (m_busy || !readHighlighted(false))
        return;
    const RecordPosition moving = table().position();
    const Record row = table().buffer();
    const ChildRun run{&table(), aw::KeyInstance, {aw::Instance, aw::Side}, aw::Track};
    moveChildRow(run, row, row.number(aw::Track), mode,
                 [this](const QString &section, qint64 track) { swapError(section, track); });
    refresh(moving);
}

void TrackList::readDisc()
{
    if (m_busy || !m_use)
        return;
    Q_EMIT aboutToReadDisc();
    CdReading *reading =
        ReadCompactDiscInformation(m_session, false, true, m_rows.instance(), window());
    m_discReading = reading;
    setBusy(true);
    connect(reading, &CdReading::finished, this, [this, reading](bool read) {
        setBusy(false);
        refresh();
        if (read)
            Q_EMIT discRead(reading->identifier());
    });
}

} // namespace sv

namespace sv {

namespace {

const QString FolderCaption = QStringLiteral("Read Folder");

TrackRow rowOf(const FolderTrack &track, qint64 number, const QString &albumArtist)
{
    TrackRow row;
    row.track = number;
    row.artist = track.artist.isEmpty() ? albumArtist : track.artist;
    row.title = track.title;
    row.time = track.time;
    row.disc = track.disc;
    row.beatsPerMinute = track.beatsPerMinute;
    row.composer = track.composer;
    return row;
}

} // namespace

void TrackList::readFolder()
{
    if (m_busy || !m_use)
        return;
    chooseAudioFolder(window(), [list = QPointer<TrackList>(this)](const QString &folder) {
        if (list)
            list->readFolder(folder);
    });
}

void TrackList::readFolder(const QString &folder)
{
    if (m_busy || !m_use)
        return;
    m_folderReading = FolderReading::start(folder, window());
    setBusy(true);
    connect(m_folderReading, &FolderReading::finished, this,
            [this, reading = m_folderReading.data()](bool read) {
                setBusy(false);
                if (read)
                    takeFolder(reading->album());
            });
}

// The folder's tracks go into the rows all at once, after the questions whose answers
// could leave everything as it was.
void TrackList::takeFolder(const FolderAlbum &album)
{
    if (album.tracks.size() > MostTracks) {
        ask({FolderCaption,
             QStringLiteral("The folder holds %1 tracks; an album can number at most %2, so "
                            "nothing was read. Put each disc of the album in a folder of its "
                            "own.")
                 .arg(album.tracks.size())
                 .arg(MostTracks),
             Ok, Ok, Icon::Exclamation});
        return;
    }
    // Files that name one album artist make one artist's album whatever their track
    // artists say ("featuring" ...).
    if (!m_compilation && album.isCompilation() && album.agreedAlbumArtist().isEmpty() &&
        ask({FolderCaption,
             QStringLiteral("The files in this folder are by different artists. Here every song "
                            "takes the one artist of the General tab; Add Compilation keeps "
                            "each track's artist.\n\nRead them here all the same?"),
             Yes | No, No, Icon::Question}) != Yes)
        return;
    qint64 highest = 0;
    if (!m_rows.highestTrack(highest)) {
        standardWarning(warning::RecordRetrieval, table().label());
        return;
    }
    bool replace = true;
    if (highest > 0) {
        const Button answer =
            ask({FolderCaption,
                 QStringLiteral("The list holds tracks already. Replace them with the %1 tracks of "
                                "the folder, or add these after them?")
                     .arg(album.tracks.size()),
                 Yes | No | Cancel,
                 Yes,
                 Icon::Question,
                 {{Yes, QStringLiteral("Replace")}, {No, QStringLiteral("Add After Them")}}});
        if (answer == Cancel)
            return;
        replace = answer == Yes;
        if (!replace && highest + album.tracks.size() > MostTracks) {
            ask({FolderCaption,
                 QStringLiteral("Numbered on from the list's last track, %1, the folder's %2 "
                                "tracks would pass the %3 an album can hold, so nothing was "
                                "read.")
                     .arg(highest)
                     .arg(album.tracks.size())
                     .arg(MostTracks),
                 Ok, Ok, Icon::Exclamation});
            return;
        }
    }
    QList<int> numbers = album.trackNumbers();
    // A song numbers its track in a byte: a file's own number past that counts the tracks
    // from 1 instead, in album order.
    if (std::any_of(numbers.cbegin(), numbers.cend(), [](int n) { return n > MostTracks; }))
        std::iota(numbers.begin(), numbers.end(), 1);
    const QString artist = album.artist();
    QList<TrackRow> rows;
    for (qsizetype i = 0; i < album.tracks.size(); ++i)
        rows.append(rowOf(album.tracks.at(i), numbers.at(i), artist));
    const bool written = replace ? m_rows.replaceAll(rows) : m_rows.append(rows);
    refresh();
    if (!written) {
        standardWarning(warning::ProcessError, QStringLiteral("Put"), table().label());
        return;
    }
    Q_EMIT folderRead(album);
}

} // namespace sv
