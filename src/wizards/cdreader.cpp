#include "cdreader.h"

#include "app/session.h"
#include "platform/mcicommand.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "platform/stddate.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QTimer>

#include <utility>

namespace sv {

namespace {

// The steps of the progress shown until the disc's track count is known.
constexpr int ThermometerSteps = 20;

QString &trackTimeText()
{
    static QString text(8, u' ');
    return text;
}

void showError(const QString &text)
{
    ask({QStringLiteral("Error"), text, Ok, Ok, Icon::Exclamation});
}

// A reply read as a number: the text "12" is 12, anything else 0.
int replyNumber(const QString &reply)
{
    bool ok = false;
    const int value = reply.trimmed().toInt(&ok);
    return ok ? value : 0;
}

bool isFailure(const QString &reply)
{
    return reply.startsWith(QStringLiteral("Error:"));
}

// What a failed reply means to someone holding the disc.
QString failureReason(const QString &reply)
{
    switch (replyNumber(reply.mid(6))) {
    case mci::DeviceNotReady:
        return QStringLiteral("The disc can no longer be read: the tray was opened, or the disc "
                              "or its image taken away.");
    case mci::InvalidDeviceName:
        return QStringLiteral("The CD drive or disc image is no longer there.");
    case mci::OutOfRange:
        return QStringLiteral("The disc no longer has the tracks it had.");
    default:
        break;
    }
    return QStringLiteral("The CD drive reported error ") + reply.mid(6) + u'.';
}

struct Identification
{
    QString identifier;
    int tracks = 0;
    QString failure; // the first reply that was an error, empty when there was none
};

// Stops at the first command that fails: the rest would fail too, and an identifier built
// from failed replies could name another disc.
Identification identifyDisc()
{
    constexpr int IdentifierLength = 24;
    Identification result;
    const auto send = [&result](const QString &command) {
        const QString reply = SendMCICommand(command);
        if (isFailure(reply))
            result.failure = reply;
        return reply;
    };
    SendMCICommand(QStringLiteral("set cdaudio time format tmsf"));
    result.tracks = replyNumber(send(QStringLiteral("status cdaudio number of tracks")));
    QString identifier = format(result.tracks, u"@n2");
    QStringList queries = {QStringLiteral("status cdaudio length")};
    for (int track = 1; track <= qMin(3, qMax(1, result.tracks)); ++track)
        queries.append(QStringLiteral("status cdaudio length track ") + QString::number(track));
    for (const QString &query : queries) {
        if (!result.failure.isEmpty())
            return result;
        while (identifier.endsWith(u' '))
            identifier.chop(1);
        identifier += QString::number(MSFToTime(send(query)));
    }
    if (result.failure.isEmpty())
        result.identifier = identifier.left(IdentifierLength);
    return result;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isStamp(const QString &stamp)
{
    if (stamp.size() < 8 || stamp.at(2) != u':' || stamp.at(5) != u':')
        return false;
    for (int at : {0, 1, 3, 4, 6, 7}) {
        if (!isDigit(stamp.at(at)))
            return false;
    }
    return true;
}

} // namespace

CdReading *ReadCompactDiscInformation(Session &session, bool identifierOnly, bool forWizard,
                                      int wizardInstance, QWidget *parent)
{
    return CdReading::start(session, identifierOnly, forWizard, wizardInstance, parent);
}

CdReading *CdReading::start(Session &session, bool identifierOnly, bool forWizard,
                            int wizardInstance, QWidget *parent)
{
    auto *reading = new CdReading(session, identifierOnly, forWizard, wizardInstance, parent);
    QTimer::singleShot(0, reading, &CdReading::begin);
    return reading;
}

CdReading::CdReading(Session &session, bool identifierOnly, bool forWizard, int wizardInstance,
                     QWidget *parent)
    : m_session(session), m_parent(parent), m_hadParent(parent != nullptr),
      m_identifierOnly(identifierOnly && !forWizard), m_forWizard(forWizard),
      m_wizardInstance(wizardInstance)
{
    const Record &album = m_session.store().table(TableId::Albums).buffer();
    m_album.id = album.number(alb::AlbumID);
    m_album.artist = album.text(alb::Artist);
    m_album.title = album.text(alb::Album);
    m_album.media = album.text(alb::Media);
    m_album.fileNumber = album.text(alb::FileNumber);
    m_album.releaseDate = album.number(alb::ReleaseDate);
    m_album.categoryId = album.number(alb::CategoryID);
}

CdReading::~CdReading()
{
    // Gone before its end (the program closing): the window must not call back into a
    // reading that no longer is, and the drive is given back.
    m_done = true;
    delete m_window.data();
    closeDrive();
}

void CdReading::begin()
{
    // A caller that went before the reading began wants nothing read any more.
    if (m_done || (m_hadParent && !m_parent)) {
        finish(false);
        return;
    }
    if (!openDrive()) {
        finish(false);
        return;
    }
    m_window = new ProgressWindow(QStringLiteral("Serial Number"), m_parent);
    m_window->setObjectName(QStringLiteral("ReadingCd"));
    m_window->setWindowTitle(QStringLiteral("Reading CD"));
    m_window->run(
        ThermometerSteps, 1, [this] { return step(); },
        [this](bool completed) {
            if (!m_done)
                finish(completed);
        });
}

void CdReading::cancel()
{
    if (m_window)
        m_window->cancel();
    else if (!m_done)
        finish(false);
}

bool CdReading::openDrive()
{
    const int answer =
        replyNumber(SendMCICommand(QStringLiteral("open cdaudio shareable")).left(32));
    // From here every path out of the reading ends with one close, a failed open included.
    m_driveOpen = true;
    QString problem;
    if (answer != 1 && answer != 2)
        problem = QStringLiteral("CD player not available.  Ensure that no other program is "
                                 "using the CD-ROM drive.");
    else if (SendMCICommand(QStringLiteral("status cdaudio ready")).isEmpty())
        problem = QStringLiteral("CD player not ready.");
    else if (SendMCICommand({}, true) == u"open")
        problem = QStringLiteral("CD player door open.");
    if (problem.isEmpty())
        return true;
    showError(problem);
    closeDrive();
    return false;
}

void CdReading::closeDrive()
{
    if (!std::exchange(m_driveOpen, false))
        return;
    SendMCICommand(QStringLiteral("close cdaudio"));
}

ProgressWindow::Step CdReading::step()
{
    switch (m_phase) {
    case Phase::Identify:
        return identify();
    case Phase::Tracks:
        return readTrack();
    case Phase::Store:
        break;
    }
    return store();
}

ProgressWindow::Step CdReading::identify()
{
    const Identification disc = identifyDisc();
    if (!disc.failure.isEmpty()) {
        reportFailure(QStringLiteral("while identifying the disc"), disc.failure);
        return ProgressWindow::Step::Stopped;
    }
    m_identifier = disc.identifier;
    m_trackCount = disc.tracks;
    // One step for the identifier and one a track, so that the window reaches 100% with
    // the last track and not before, whatever the number of tracks.
    if (m_window)
        m_window->setTotal(1 + m_trackCount);
    if (m_identifierOnly) {
        closeDrive();
        return store();
    }
    m_times.clear();
    SendMCICommand(QStringLiteral("set cdaudio time format tmsf"));
    m_phase = m_trackCount > 0 ? Phase::Tracks : Phase::Store;
    return ProgressWindow::Step::Continue;
}

// Each track's time is taken as the drive reports it. Our device gives every track the
// length up to the next track, and ends the last audio track of an Enhanced CD with its
// own session, so no length runs on to the end of the disc and nothing needs subtracting:
// a correction keyed to the times adding up to more than 90 minutes would only ever fire
// on genuine long discs and ruin their times.
ProgressWindow::Step CdReading::readTrack()
{
    const int track = int(m_times.size()) + 1;
    showStatus(QStringLiteral("Track %1 of %2").arg(track).arg(m_trackCount));
    const QString stamp =
        SendMCICommand(QStringLiteral("status cdaudio length track ") + QString::number(track));
    if (isFailure(stamp)) {
        reportFailure(QStringLiteral("at track %1 of %2").arg(track).arg(m_trackCount), stamp);
        return ProgressWindow::Step::Stopped;
    }
    m_times.append(MSFToTime(stamp));
    if (track == m_trackCount)
        m_phase = Phase::Store;
    return ProgressWindow::Step::Continue;
}

// The disc's totals, then everything found at once: the album buffer and the rows.
ProgressWindow::Step CdReading::store()
{
    if (!m_identifierOnly) {
        const QString length = SendMCICommand(QStringLiteral("status cdaudio length"));
        const std::optional<CdToc> toc = cdaudioTableOfContents();
        if (isFailure(length) || !toc) {
            reportFailure(QStringLiteral("after the last track"),
                          isFailure(length) ? length : QStringLiteral("Error:276"));
            return ProgressWindow::Step::Stopped;
        }
        m_totalTime = MSFToTime(length);
        m_ids = discIds(*toc);
        closeDrive();
    }
    bool written = true;
    if (m_forWizard)
        written = toWizard();
    else if (m_album.id != 0 && !m_identifierOnly)
        written = toAlbumSongs();
    if (!written)
        return ProgressWindow::Step::Stopped;
    Record &album = m_session.store().table(TableId::Albums).buffer();
    album.setText(alb::CDIdentifier, m_identifier);
    if (m_identifierOnly)
        return ProgressWindow::Step::Finished;
    album.setNumber(alb::TotalTime, m_totalTime);
    if (!m_ids.freedb.isEmpty())
        album.setText(alb::XCCD, m_ids.freedb);
    return ProgressWindow::Step::Finished;
}

bool CdReading::toWizard()
{
    Table &rows = m_session.store().table(TableId::AddWizard);
    const TableUse use = m_session.files().use(rows);
    if (!use)
        return false; // the open routine has said why
    const QString artist =
        m_album.artist.trimmed().isEmpty() ? QStringLiteral("Various") : m_album.artist;
    Record &row = rows.buffer();
    bool written = rows.stream();
    for (int track = 1; written && track <= m_times.size(); ++track) {
        row.clear();
        row.setNumber(aw::Instance, m_wizardInstance);
        row.setText(aw::Side, QStringLiteral("0"));
        row.setNumber(aw::Track, track);
        if (rows.get(aw::KeyInstance)) {
            row.setNumber(aw::Time, m_times.at(track - 1));
            written = rows.put();
            continue;
        }
        row.setNumber(aw::Instance, m_wizardInstance);
        row.setText(aw::Side, QStringLiteral("0"));
        row.setNumber(aw::Track, track);
        row.setText(aw::Artist, artist);
        row.setText(aw::Title, QStringLiteral("Track ") + QString::number(track));
        row.setNumber(aw::Time, m_times.at(track - 1));
        written = rows.add();
    }
    return (written && rows.flush()) || abandonBatch(rows);
}

// The rows of a disc are written all or none: a batch that failed part way is undone and
// reported. Always false, for the reading did not store what it read.
bool CdReading::abandonBatch(Table &table)
{
    saveError();
    Database &database = m_session.store().database();
    if (database.inTransaction() && !database.rollback())
        saveError();
    standardWarning(warning::ProcessError, QStringLiteral("Put"), table.label());
    return false;
}

bool CdReading::toAlbumSongs()
{
    Table &songs = m_session.store().table(TableId::Songs);
    const TableUse use = m_session.files().use(songs);
    if (!use)
        return false;
    Record &song = songs.buffer();
    bool written = songs.stream();
    for (int track = 1; written && track <= m_times.size(); ++track) {
        song.clear();
        song.setNumber(mus::AlbumID, m_album.id);
        song.setNumber(mus::TrackNumber, track);
        if (songs.get(mus::KeyAlbumID)) {
            song.setNumber(mus::Time, m_times.at(track - 1));
            written = songs.put();
            continue;
        }
        qint64 highest = 0;
        written = songs.highest(mus::KeyID, mus::ID, highest);
        song.clear();
        song.setNumber(mus::ID, highest + 1);
        song.setNumber(mus::AlbumID, m_album.id);
        song.setNumber(mus::TrackNumber, track);
        song.setText(mus::Artist, m_album.artist);
        song.setText(mus::Album, m_album.title);
        song.setText(mus::Media, m_album.media);
        song.setText(mus::FileNumber, m_album.fileNumber);
        song.setNumber(mus::ReleaseDate, m_album.releaseDate);
        song.setNumber(mus::CategoryID, m_album.categoryId);
        song.setText(mus::Title, QStringLiteral("Track ") + QString::number(track));
        song.setNumber(mus::Time, m_times.at(track - 1));
        written = written && songs.add();
    }
    return (written && songs.flush()) || abandonBatch(songs);
}

void CdReading::showStatus(const QString &text)
{
    if (m_window)
        m_window->setMessage(text);
}

// A disc that stopped answering part way: said plainly, and nothing of it kept.
void CdReading::reportFailure(const QString &where, const QString &reply)
{
    closeDrive();
    showError(QStringLiteral("Reading the CD stopped ") + where + QStringLiteral(". ") +
              failureReason(reply) + QStringLiteral(" Nothing was changed."));
}

void CdReading::finish(bool read)
{
    if (std::exchange(m_done, true))
        return;
    closeDrive();
    if (!read) {
        m_identifier.clear();
        m_totalTime = 0;
        m_ids = {};
        m_times.clear();
    }
    // The signal goes out from the event loop, after the window closed.
    QTimer::singleShot(0, this, [this, read] {
        Q_EMIT finished(read);
        deleteLater();
    });
}

qint32 MSFToTime(const QString &stamp)
{
    if (!isStamp(stamp))
        return NoTime;
    int minutes = stamp.mid(0, 2).toInt();
    int seconds = stamp.mid(3, 2).toInt();
    if (stamp.mid(6, 2) == u"99")
        ++seconds;
    if (seconds >= 60) {
        seconds -= 60;
        ++minutes;
    }
    const int hours = minutes > 59 ? 1 : 0;
    return makeTime(hours, minutes - hours * 60, seconds);
}

QString FormatTrackTime(qint32 time)
{
    if (time <= 0)
        return QString(5, u' ');
    const qint64 seconds = (qint64(time) - 1) / 100;
    const QString minutes = QString::number(seconds / 60).rightJustified(2, u' ');
    return minutes + u':' + QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void ShowTrackTime(qint32 time, bool fromSong)
{
    if (fromSong) {
        Session *session = Session::current();
        time = session ? qint32(session->store().table(TableId::Songs).buffer().number(mus::Time))
                       : NoTime;
    }
    trackTimeText() = FormatTrackTime(time).leftJustified(8, u' ');
}

QString TrackTimeText()
{
    return trackTimeText();
}

QString readDiscIdentifier()
{
    return identifyDisc().identifier;
}

} // namespace sv
