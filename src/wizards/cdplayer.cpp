#include "cdplayer.h"

#include "addalbumwizard.h"
#include "cdplayerpreferences.h"
#include "cdreader.h"

#include "app/browselist.h"
#include "app/browser.h"
#include "app/eventlog.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/windowposition.h"
#include "platform/cddevice.h"
#include "platform/mcicommand.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "platform/stddate.h"
#include "songs/songform.h"
#include "songs/songtitle.h"
#include "store/warnings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace sv {

namespace {

const QString WindowName = u"IntegratedCDPlayer"_s;
const QString Caption = u"CD Player"_s;
const QString NotAvailable =
    u"CD player not available.  Ensure that no other program is using the CD-ROM drive."_s;
const QString LogLabel = u"CDPlayer"_s;
// Songs of no album are no tracks of a disc: an empty list asks for an album no song has.
constexpr qint64 NoAlbum = -1;

CdPlayer::AlbumFormFactory &albumFormFactory()
{
    static CdPlayer::AlbumFormFactory make;
    return make;
}

BrowseColumn fieldColumn(const QString &header, int field, const QString &picture,
                         Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    return BrowseColumn{
        header,
        [field, picture](const Record &song) { return format(song.value(field), picture); },
        alignment,
        {field}};
}

bool openedReply(const QString &reply)
{
    const QString first = reply.left(32).trimmed();
    return first == u"1" || first == u"2";
}

QString clipped(QString text)
{
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

QLabel *valueLabel()
{
    auto *label = new QLabel;
    label->setMinimumWidth(60);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    return label;
}

} // namespace

void PositionBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT clickedAt(int(event->position().x()));
    event->accept();
}

void CdPlayer::setAlbumFormFactory(AlbumFormFactory factory)
{
    albumFormFactory() = std::move(factory);
}

QString CdPlayer::formatShortTime(qint32 time)
{
    if (time == 0)
        return {};
    QString text = format(time, u"@t4").trimmed();
    while (text.size() > 4 && (text.startsWith(u'0') || text.startsWith(u':')))
        text.remove(0, 1);
    return text;
}

CdPlayer *CdPlayer::open(Session &session)
{
    auto *player = new CdPlayer(session);
    Store &store = session.store();
    player->m_tables =
        session.files().use({&store.table(TableId::Albums), &store.table(TableId::Songs)});
    if (!player->m_tables || !player->openDevice()) {
        delete player;
        return nullptr;
    }
    player->showAlbum();
    player->showState();
    return player;
}

CdPlayer::CdPlayer(Session &session) : m_session(session)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Caption);
    setMinimumSize(150, 100);
    buildWindow();
    connect(&m_timer, &QTimer::timeout, this, &CdPlayer::poll);
}

// A player that goes without being closed (its frame destroyed) still gives the device back.
CdPlayer::~CdPlayer()
{
    if (m_deviceOpen)
        send(u"close cdaudio"_s);
}

void CdPlayer::buildWindow()
{
    const auto addRow = [](QFormLayout *form, const QString &prompt) {
        QLabel *value = valueLabel();
        form->addRow(prompt, value);
        return value;
    };
    auto *current = new QGroupBox(u"Current"_s);
    auto *currentForm = new QFormLayout(current);
    m_track = addRow(currentForm, u"Track:"_s);
    m_trackPositionText = addRow(currentForm, u"Track Position:"_s);
    m_cdPositionText = addRow(currentForm, u"CD Position:"_s);

    auto *total = new QGroupBox(u"Total"_s);
    auto *totalForm = new QFormLayout(total);
    m_tracksOnCd = addRow(totalForm, u"Tracks on CD:"_s);
    m_trackLengthText = addRow(totalForm, u"Track Length:"_s);
    m_cdLengthText = addRow(totalForm, u"CD Length:"_s);

    Table &songs = m_session.store().table(TableId::Songs);
    m_model = new PageModel(songs, &m_session.store().bindings(), this);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    m_model->setColumns({
        fieldColumn(u"Track"_s, mus::TrackNumber, u"@n3"_s, right),
        fieldColumn(u"Time"_s, mus::Time, u"@t4"_s, right),
        BrowseColumn{u"Title"_s,
                     [](const Record &song) {
                         Record copy = song;
                         return SongDisplayTitle(copy);
                     },
                     Qt::AlignLeft | Qt::AlignVCenter,
                     {mus::Title, mus::Skips, mus::Mix}},
        fieldColumn(u"Artist"_s, mus::Artist, u"@s30"_s),
        fieldColumn(u"Release"_s, mus::ReleaseDate, Settings::global().datePicture(), right),
    });
    m_list = new BrowseList(m_model);
    m_list->setAccessibleName(u"Tracks on CD"_s);
    m_list->view()->setAccessibleName(u"Tracks on CD"_s);
    const int widths[] = {40, 60, 200, 150, 80};
    for (int column = 0; column < int(std::size(widths)); ++column)
        m_list->view()->horizontalHeader()->resizeSection(column, widths[column]);
    connect(m_list, &BrowseList::changePressed, this, &CdPlayer::playHighlighted);
    connect(m_list, &BrowseList::enterPressed, this, &CdPlayer::playHighlighted);
    connect(m_list, &BrowseList::typed, this, &CdPlayer::typeAhead);
    connect(m_list, &BrowseList::readFailed, this, [this] {
        standardWarning(warning::RecordRetrieval, m_session.store().table(TableId::Songs).label());
    });
    auto *listLabel = new QLabel(u"Tracks on CD"_s);
    listLabel->setBuddy(m_list->view());

    const auto makeButton = [this](const QString &caption, void (CdPlayer::*action)()) {
        auto *button = new QPushButton(caption);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, action);
        return button;
    };
    auto *moves = new QHBoxLayout;
    moves->addWidget(makeButton(u"Pre&vious"_s, &CdPlayer::previous));
    moves->addWidget(makeButton(u"&Next"_s, &CdPlayer::next));
    moves->addWidget(makeButton(u"Bac&k"_s, &CdPlayer::back));
    moves->addWidget(makeButton(u"Fo&rward"_s, &CdPlayer::forward));
    m_modeText = new QLabel;
    m_modeText->setMinimumWidth(80);
    moves->addStretch();
    moves->addWidget(m_modeText);

    auto *controls = new QHBoxLayout;
    controls->addWidget(makeButton(u"&Play"_s, &CdPlayer::play));
    controls->addWidget(makeButton(u"&Stop"_s, &CdPlayer::stop));
    controls->addWidget(makeButton(u"Pa&use"_s, &CdPlayer::pause));
    auto *closeButton = new QPushButton(u"Cl&ose"_s);
    closeButton->setAutoDefault(false);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    controls->addWidget(closeButton);
    auto *editSongButton = makeButton(u"&Edit"_s, &CdPlayer::editSong);
    editSongButton->setToolTip(u"Edit the highlighted song"_s);
    controls->addWidget(editSongButton);
    m_editAlbum = makeButton(u"Edit"_s, &CdPlayer::editAlbum);
    m_editAlbum->setToolTip(u"Edit the album"_s);
    controls->addWidget(m_editAlbum);

    m_bar = new PositionBar;
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setToolTip(u"click here to locate within the track"_s);
    connect(m_bar, &PositionBar::clickedAt, this, &CdPlayer::locate);

    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(makeButton(u"Set"_s, &CdPlayer::setPreferences));
    m_statusText = new QLabel;
    m_eventText = new QLabel;
    m_eventText->setMinimumWidth(40);
    m_performanceText = new QLabel;
    statusRow->addWidget(m_statusText);
    statusRow->addWidget(m_eventText);
    statusRow->addStretch();
    statusRow->addWidget(new QLabel(u"Performance:"_s));
    statusRow->addWidget(m_performanceText);

    m_noteText = new QLabel;
    m_noteText->setWordWrap(true);
    m_noteText->hide();

    auto *groups = new QHBoxLayout;
    groups->addWidget(current);
    groups->addWidget(total);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(listLabel);
    layout->addWidget(m_list, 1);
    layout->addLayout(moves);
    layout->addLayout(controls);
    layout->addWidget(m_bar);
    layout->addLayout(statusRow);
    layout->addWidget(m_noteText);
    resize(sizeHint());
}

QPushButton *CdPlayer::button(const QString &caption) const
{
    for (QPushButton *candidate : findChildren<QPushButton *>()) {
        if (candidate->text() == caption)
            return candidate;
    }
    return nullptr;
}

QString CdPlayer::send(const QString &command)
{
    return SendMCICommand(command);
}

qint32 CdPlayer::number(const QString &command)
{
    return send(command).trimmed().toInt();
}

// ---- Opening and closing ----

bool CdPlayer::openDevice()
{
    const QString shared = send(u"open cdaudio shareable"_s);
    if (!openedReply(shared)) {
        logEvent(LogLabel, u"open cdaudio shareable:  "_s + shared);
        const QString alone = send(u"open cdaudio"_s);
        if (alone.trimmed() != u"1") {
            logEvent(LogLabel, u"open cdaudio:  "_s + alone);
            ask({u"Error"_s, NotAvailable, Ok, Ok, Icon::Exclamation});
            logIncident();
            return false;
        }
    }
    m_deviceOpen = true;
    m_identifyNeeded = true;
    send(u"set cdaudio time format tmsf"_s);
    m_deviceStatus = u"(shared mode)"_s;
    if (Settings::global().cdTimer > 10)
        m_timer.start(Settings::global().cdTimer * 10);
    return true;
}

// What was on screen and which program it was, for whoever reads the log afterwards.
void CdPlayer::logIncident()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            logEvent(u"Open Windows"_s, window->windowTitle());
    }
    logEvent(u"Version"_s, QStringLiteral(SONGVANE_VERSION_TEXT));
    const QDateTime built = QFileInfo(QCoreApplication::applicationFilePath()).lastModified();
    logEvent(u"AppDate"_s, format(dateFromQDate(built.date()), u"@d1"));
    logEvent(u"AppTime"_s, format(timeFromQTime(built.time()), u"@t1"));
    logEvent(u"EndIncident"_s, QString(47, u'-'));
}

void CdPlayer::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    restoreWindowPosition(WindowName, placementWindow(this));
}

// While a window it called is open, that window decides when the player can go.
void CdPlayer::closeEvent(QCloseEvent *event)
{
    if (m_callee) {
        event->ignore();
        return;
    }
    m_timer.stop();
    if (isVisible())
        saveWindowPosition(WindowName, placementWindow(this));
    // The disc plays on: closing the window is not stopping the music.
    if (m_deviceOpen)
        send(u"close cdaudio"_s);
    m_deviceOpen = false;
    event->accept();
}

// ---- Watching the drive ----

void CdPlayer::readLengths(int track, bool whole)
{
    send(u"set cdaudio time format ms"_s);
    if (whole)
        m_cdLength = number(u"status cdaudio length"_s) / 10;
    m_trackLength = number(u"status cdaudio length track "_s + QString::number(track)) / 10;
    m_trackStart = number(u"status cdaudio position track "_s + QString::number(track)) / 10;
    send(u"set cdaudio time format tmsf"_s);
}

void CdPlayer::readPositions()
{
    send(u"set cdaudio time format ms"_s);
    if (m_currentTrack != 0) {
        m_discPosition = number(u"status cdaudio position"_s) / 10;
        m_trackPosition = m_discPosition - m_trackStart + 1;
    } else {
        m_trackLength = m_discPosition = m_trackPosition = m_trackStart = 0;
    }
    send(u"set cdaudio time format tmsf"_s);
}

void CdPlayer::poll()
{
    // "Do Not Check" chosen while the player is open stops the polls at once; so does a
    // window the player waits for, as it would if the player were waiting for it itself.
    if (Settings::global().cdTimer <= 0 || m_callee || !m_deviceOpen)
        return;
    const qint64 started = PlayClock::now();
    m_event.clear();
    m_mode = send(u"status cdaudio mode"_s);
    const bool discThere = m_mode == u"stopped" || m_mode == u"playing" || m_mode == u"seeking";
    if ((m_previousMode == u"open" || m_previousMode.isEmpty()) && discThere) {
        m_event = u"Init"_s;
        m_identifyNeeded = true;
        m_currentTrack = number(u"status cdaudio current track"_s);
        m_trackCount = number(u"status cdaudio number of tracks"_s);
        readLengths(m_currentTrack, true);
    }
    m_previousMode = m_mode;
    m_currentTrack = number(u"status cdaudio current track"_s);
    if (m_currentTrack != m_lastTrack && m_mode == u"playing") {
        const int track = number(u"status cdaudio current track"_s);
        if (track != 0) {
            m_event = u"Sync"_s;
            readLengths(track, false);
            highlightTrack(track);
        }
    }
    m_lastTrack = m_currentTrack;
    readPositions();
    if (m_trackPosition > m_trackLength)
        readPositions(); // the track changed between the queries
    m_percentage = m_trackLength == 0 ? 0 : qBound(0, m_trackPosition * 100 / m_trackLength, 100);
    m_performance = int(100 - (PlayClock::now() - started) / 10);
    if (m_identifyNeeded) {
        identify();
        m_identifyNeeded = false;
    }
    showState();
}

void CdPlayer::showState()
{
    m_track->setText(format(m_currentTrack, u"@n3").trimmed());
    m_tracksOnCd->setText(format(m_trackCount, u"@n3").trimmed());
    m_trackPositionText->setText(formatShortTime(m_trackPosition));
    // Lengths and the disc's position are counts of hundredths; shown as times they take the
    // one a time is above its count, or a track of 15 seconds would show as 0:14.
    const auto asTime = [](qint32 hundredths) { return hundredths > 0 ? hundredths + 1 : 0; };
    m_trackLengthText->setText(formatShortTime(asTime(m_trackLength)));
    m_cdPositionText->setText(formatShortTime(asTime(m_discPosition)));
    m_cdLengthText->setText(formatShortTime(asTime(m_cdLength)));
    m_bar->setValue(m_percentage);
    m_modeText->setText(m_mode);
    m_statusText->setText(m_deviceStatus);
    m_eventText->setText(m_event);
    m_performanceText->setText(format(m_performance, u"@n3").trimmed());
    const QString playing = note();
    m_noteText->setText(playing);
    m_noteText->setVisible(!playing.isEmpty());
    m_editAlbum->setEnabled(m_albumId > 0);
}

QString CdPlayer::note() const
{
    return m_deviceOpen ? cdaudioPlaybackNote() : QString();
}

QString CdPlayer::positionText(const QString &prompt) const
{
    const QHash<QString, QLabel *> texts = {{u"Track:"_s, m_track},
                                            {u"Track Position:"_s, m_trackPositionText},
                                            {u"CD Position:"_s, m_cdPositionText},
                                            {u"Tracks on CD:"_s, m_tracksOnCd},
                                            {u"Track Length:"_s, m_trackLengthText},
                                            {u"CD Length:"_s, m_cdLengthText},
                                            {u"Performance:"_s, m_performanceText},
                                            {u"mode"_s, m_modeText},
                                            {u"status"_s, m_statusText},
                                            {u"event"_s, m_eventText}};
    QLabel *label = texts.value(prompt);
    return label ? label->text() : QString();
}

// ---- Knowing the disc ----

void CdPlayer::identify()
{
    Table &albums = m_session.store().table(TableId::Albums);
    const QString remembered = m_identifier;
    m_trackCount = number(u"status cdaudio number of tracks"_s);
    if (m_trackCount == 0) {
        setWindowTitle(Caption);
        albums.buffer().setText(alb::CDIdentifier, u"0"_s);
        m_identifier = u"0"_s;
        m_albumId = 0;
        showAlbum();
        return;
    }
    send(u"set cdaudio time format tmsf"_s);
    const QString identifier = readDiscIdentifier();
    m_identifier = identifier;
    if (identifier.isEmpty()) {
        // The drive stopped answering part way: no identifier rather than one that could
        // name another disc, and no offer to add it.
        setWindowTitle(Caption);
        m_albumId = 0;
        showAlbum();
        return;
    }
    albums.buffer().clear();
    albums.buffer().setText(alb::CDIdentifier, identifier);
    if (!albums.get(alb::KeyCDIdentifier)) {
        albums.buffer().clear();
        albums.buffer().setText(alb::CDIdentifier, identifier);
        setWindowTitle(Caption);
        m_albumId = 0;
        m_albumTitle.clear();
        showAlbum();
        askNewCd();
        return;
    }
    const qint64 shown = m_albumId;
    m_albumId = albums.buffer().number(alb::AlbumID);
    m_albumPosition = albums.position();
    m_albumTitle = clipped(albums.buffer().text(alb::Album));
    // An album added for this disc since the last look is shown too.
    if (identifier != remembered || m_albumId != shown)
        showAlbum();
    setWindowTitle(Caption + u" - "_s + m_albumTitle);
    showState();
}

void CdPlayer::askNewCd()
{
    if (m_noDetection || m_trackCount <= 0 || m_askedFor == m_identifier)
        return;
    m_askedFor = m_identifier;
    const Button answer =
        ask({u"New CD Found"_s, u"Add this CD to the database"_s, Yes | No, Yes, Icon::Question});
    if (answer != Yes) {
        m_deviceStatus = u"(no detection)"_s;
        m_noDetection = true;
        showState();
        return;
    }
    send(u"stop cdaudio"_s);
    send(u"close cdaudio"_s);
    m_deviceOpen = false;
    m_deviceStatus = u"(closed)"_s;
    showState();
    const auto kind = Settings::global().defaultWizardCompilation
                          ? AddAlbumWizard::Kind::Compilation
                          : AddAlbumWizard::Kind::SingleArtist;
    AddAlbumWizard *wizard =
        AddAlbumWizard::open(m_session, kind, Request::Insert, property("instance").toInt());
    if (!wizard) {
        wizardEnded(false);
        return;
    }
    connect(wizard, &UpdateForm::finished, this, [this](const WindowResult &result) {
        m_callee = nullptr;
        setEnabled(true);
        wizardEnded(result.response == Response::Completed);
    });
    callWindow(wizard);
}

// The device back after the wizard: the wizard's reader had it meanwhile.
void CdPlayer::wizardEnded(bool added)
{
    if (!openedReply(send(u"open cdaudio shareable"_s))) {
        ask({u"Error"_s, u"CD player not available.\nYou may need to eject and re-insert the CD."_s,
             Ok, Ok, Icon::Exclamation});
        close();
        return;
    }
    m_deviceStatus = u"(shared mode)"_s;
    m_deviceOpen = true;
    send(u"set cdaudio time format tmsf"_s);
    // An album just added for this disc is shown at the next look; the question is not
    // asked again for the same disc.
    if (added)
        m_identifyNeeded = true;
    showAlbum();
    showState();
}

// ---- The song list ----

void CdPlayer::showAlbum()
{
    if (!m_model->setView(mus::KeyAlbumID, QString(), m_albumId > 0 ? m_albumId : NoAlbum))
        return;
    highlightTrack(m_currentTrack);
}

void CdPlayer::highlightTrack(int track)
{
    Table &songs = m_session.store().table(TableId::Songs);
    Record values = songs.buffer();
    values.clear();
    values.setNumber(mus::AlbumID, m_albumId > 0 ? m_albumId : NoAlbum);
    values.setNumber(mus::TrackNumber, track);
    songs.buffer().setNumber(mus::TrackNumber, track);
    RecordPosition found = 0;
    if (!m_model->fillFromKeyValues(values, found)) {
        Q_EMIT m_list->readFailed();
        return;
    }
    const int row = found ? m_model->rowOf(found) : -1;
    if (row < 0 || m_model->textAt(row, 0).trimmed() != QString::number(track))
        found = 0; // no song of that track: the first one stays highlighted
    m_list->highlight(found);
}

void CdPlayer::readHighlightedSong()
{
    const RecordPosition position = m_list->highlighted();
    if (position)
        (void)m_session.store().table(TableId::Songs).reget(position);
}

// A character moves on to the next song whose track number begins with it, round to the
// first when none follows. The list holds a page: the search steps through the album.
void CdPlayer::typeAhead(const QString &text)
{
    const QString typed = text.trimmed().left(1);
    if (typed.isEmpty() || m_model->rowCount() == 0)
        return;
    const RecordPosition start = m_list->highlighted();
    const auto trackText = [this] {
        const int row = m_list->highlightedRow();
        return row < 0 ? QString() : m_model->textAt(row, 0).trimmed();
    };
    // A disc holds at most 99 tracks; the bound keeps a list that cannot move from looping.
    for (int step = 0; step < 200; ++step) {
        const RecordPosition before = m_list->highlighted();
        if (!m_list->moveRows(1))
            return;
        if (m_list->highlighted() == before && !m_list->goTop())
            return;
        if (trackText().startsWith(typed))
            return;
        if (m_list->highlighted() == start)
            return;
    }
}

// ---- The controls ----

void CdPlayer::play()
{
    readHighlightedSong();
    if (m_trackCount != 0 && m_currentTrack > m_trackCount)
        m_currentTrack = m_trackCount;
    m_paused = false;
    send(u"play cdaudio from "_s + QString::number(m_currentTrack));
    showState();
}

void CdPlayer::playHighlighted()
{
    const RecordPosition position = m_list->highlighted();
    if (!position)
        return;
    Table &songs = m_session.store().table(TableId::Songs);
    if (!songs.reget(position))
        return;
    m_currentTrack = int(songs.buffer().number(mus::TrackNumber));
    play();
}

void CdPlayer::stop()
{
    readHighlightedSong();
    m_paused = false;
    send(u"stop cdaudio"_s);
    showState();
}

void CdPlayer::pause()
{
    readHighlightedSong();
    send(m_paused ? u"play cdaudio"_s : u"pause cdaudio"_s);
    m_paused = !m_paused;
    showState();
}

void CdPlayer::next()
{
    readHighlightedSong();
    ++m_currentTrack;
    m_paused = false;
    send(u"play cdaudio from "_s + QString::number(m_currentTrack));
    showState();
}

// Within the first three seconds of a track it goes to the one before; later it starts the
// track again.
void CdPlayer::previous()
{
    readHighlightedSong();
    send(u"status cdaudio position"_s);
    if (m_trackPosition < 300)
        m_currentTrack = qMax(1, m_currentTrack - 1);
    m_paused = false;
    send(u"play cdaudio from "_s + QString::number(m_currentTrack));
    showState();
}

void CdPlayer::back()
{
    readHighlightedSong();
    send(u"set cdaudio time format ms"_s);
    const qint64 at = number(u"status cdaudio position"_s);
    m_paused = false;
    send(u"play cdaudio from "_s + QString::number((at / 10 - 1000) * 10));
    send(u"set cdaudio time format tmsf"_s);
    showState();
}

void CdPlayer::forward()
{
    readHighlightedSong();
    send(u"set cdaudio time format ms"_s);
    const qint64 at = number(u"status cdaudio position"_s);
    m_paused = false;
    send(u"play cdaudio from "_s + QString::number((at / 10 + 1000) * 10));
    send(u"set cdaudio time format tmsf"_s);
    showState();
}

void CdPlayer::locate(int x)
{
    const int width = qMax(1, m_bar->width());
    const int percentage = qBound(0, x * 100 / width, 100);
    send(u"set cdaudio time format ms"_s);
    const qint64 start =
        number(u"status cdaudio position track "_s + QString::number(m_currentTrack)) / 10 + 1;
    const qint64 target = qint64(percentage) * m_trackLength / 100 + start;
    m_paused = false;
    send(u"play cdaudio from "_s + QString::number(target * 10));
    send(u"set cdaudio time format tmsf"_s);
    showState();
}

// ---- Windows the player calls ----

void CdPlayer::callWindow(QWidget *window)
{
    m_callee = window;
    setEnabled(false);
    showProcedureWindow(this, window);
}

void CdPlayer::calleeEnded()
{
    m_callee = nullptr;
    setEnabled(true);
    showAlbum();
    showState();
    m_list->view()->setFocus();
}

void CdPlayer::editSong()
{
    readHighlightedSong();
    const RecordPosition position = m_list->highlighted();
    if (!position || m_callee)
        return;
    Table &songs = m_session.store().table(TableId::Songs);
    songs.watch();
    if (!songs.reget(position))
        return;
    m_session.calledFromAlbumForm = false;
    auto *form = new SongForm(m_session, Request::Change);
    connect(form, &UpdateForm::finished, this, &CdPlayer::calleeEnded);
    if (form->start())
        callWindow(form);
}

void CdPlayer::editAlbum()
{
    readHighlightedSong();
    if (m_albumId <= 0 || m_callee || !albumFormFactory())
        return;
    Table &albums = m_session.store().table(TableId::Albums);
    albums.watch();
    if (!albums.reget(m_albumPosition))
        return;
    // The album form and the song forms it opens take the album as it stands; the flag is
    // only for the form being set up, not for windows opened later elsewhere.
    m_session.calledFromAlbumForm = true;
    UpdateForm *form = albumFormFactory()(m_session, Request::Change);
    connect(form, &UpdateForm::finished, this, &CdPlayer::calleeEnded);
    const bool opened = form->start();
    m_session.calledFromAlbumForm = false;
    if (opened)
        callWindow(form);
}

void CdPlayer::setPreferences()
{
    readHighlightedSong();
    if (m_callee)
        return;
    // The preferences are modal over the player, which does not look at the drive meanwhile.
    m_callee = CdPlayerPreferences::open(this, [this](bool) { calleeEnded(); });
}

} // namespace sv
