#include "cdreader.h"

#include "app/session.h"
#include "platform/mcicommand.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "platform/stddate.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace sv {

namespace {

// "Reading CD": a thermometer of 20 steps, a status line, a second line and a Cancel
// button that cannot stop a reading (the drive is read in one go), so it is shown disabled.
class ReadingCdWindow : public QDialog
{
public:
    static constexpr int Steps = 20;

    explicit ReadingCdWindow(QWidget *parent);
    void setStatus(const QString &text);
    void step();

private:
    QProgressBar *m_thermometer;
    QLabel *m_status;
    QLabel *m_detail;
    int m_steps = 0;
};

// Keeps the program's windows painted while the reader runs, without letting the user
// start anything else on the drive meanwhile.
void yieldToOtherWindows()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

ReadingCdWindow::ReadingCdWindow(QWidget *parent)
    : QDialog(parent), m_thermometer(new QProgressBar), m_status(new QLabel), m_detail(new QLabel)
{
    setObjectName(QStringLiteral("ReadingCd"));
    setWindowTitle(QStringLiteral("Reading CD"));
    m_thermometer->setRange(0, 100);
    m_thermometer->setValue(0);
    m_status->setObjectName(QStringLiteral("status"));
    m_detail->setObjectName(QStringLiteral("detail"));
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setEnabled(false);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_thermometer);
    layout->addWidget(m_status);
    layout->addWidget(m_detail);
    layout->addWidget(cancel, 0, Qt::AlignHCenter);
    setMinimumWidth(280);
    show();
}

void ReadingCdWindow::setStatus(const QString &text)
{
    m_status->setText(text);
    m_detail->clear();
}

void ReadingCdWindow::step()
{
    ++m_steps;
    m_thermometer->setValue(qMin(100, m_steps * 100 / Steps));
    yieldToOtherWindows();
}

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

struct Identification
{
    QString identifier;
    int tracks = 0;
};

Identification identify()
{
    constexpr int IdentifierLength = 24;
    SendMCICommand(QStringLiteral("set cdaudio time format tmsf"));
    Identification result;
    result.tracks = replyNumber(SendMCICommand(QStringLiteral("status cdaudio number of tracks")));
    QString identifier = format(result.tracks, u"@n2");
    QStringList queries = {QStringLiteral("status cdaudio length")};
    for (int track = 1; track <= qMin(3, qMax(1, result.tracks)); ++track)
        queries.append(QStringLiteral("status cdaudio length track ") + QString::number(track));
    for (const QString &query : queries) {
        while (identifier.endsWith(u' '))
            identifier.chop(1);
        identifier += QString::number(MSFToTime(SendMCICommand(query)));
    }
    result.identifier = identifier.left(IdentifierLength);
    return result;
}

class CdReader
{
public:
    CdReader(Session &session, QWidget *parent) : m_session(session), m_parent(parent) {}
    bool read(bool identifierOnly, bool forWizard, int wizardInstance, DiscIds *ids);

private:
    bool openDrive();
    static void closeDrive() { SendMCICommand(QStringLiteral("close cdaudio")); }
    void readTracks(int count, ReadingCdWindow &window);
    void readDiscTotals(DiscIds *ids);
    void toWizard(int instance);
    void toAlbumSongs();
    void abandonBatch(Table &table);
    Record &album() { return m_session.store().table(TableId::Albums).buffer(); }

    Session &m_session;
    QWidget *m_parent;
    QList<qint32> m_times; // by track, track 1 first
};

bool CdReader::openDrive()
{
    const int opened =
        replyNumber(SendMCICommand(QStringLiteral("open cdaudio shareable")).left(32));
    QString problem;
    if (opened != 1 && opened != 2)
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

bool CdReader::read(bool identifierOnly, bool forWizard, int wizardInstance, DiscIds *ids)
{
    if (!openDrive())
        return false;
    ReadingCdWindow window(m_parent);
    window.setStatus(QStringLiteral("Serial Number"));
    yieldToOtherWindows();
    const Identification disc = identify();
    album().setText(alb::CDIdentifier, disc.identifier);
    if (identifierOnly && !forWizard) {
        closeDrive();
        return true;
    }
    yieldToOtherWindows();
    window.step();
    readTracks(disc.tracks, window);
    readDiscTotals(ids);
    closeDrive();
    if (forWizard)
        toWizard(wizardInstance);
    else if (album().number(alb::AlbumID) != 0)
        toAlbumSongs();
    return true;
}

// Each track's time is taken as the drive reports it. Our device gives every track the
// length up to the next track, and ends the last audio track of an Enhanced CD with its
// own session, so no length runs on to the end of the disc and nothing needs subtracting:
// a correction keyed to the times adding up to more than 90 minutes would only ever fire
// on genuine long discs and ruin their times.
void CdReader::readTracks(int count, ReadingCdWindow &window)
{
    m_times.clear();
    SendMCICommand(QStringLiteral("set cdaudio time format tmsf"));
    for (int track = 1; track <= count; ++track) {
        window.setStatus(QStringLiteral("Track %1 of %2").arg(track).arg(count));
        const QString stamp =
            SendMCICommand(QStringLiteral("status cdaudio length track ") + QString::number(track));
        m_times.append(MSFToTime(stamp));
        window.step();
    }
}

void CdReader::readDiscTotals(DiscIds *ids)
{
    album().setNumber(alb::TotalTime,
                      MSFToTime(SendMCICommand(QStringLiteral("status cdaudio length"))));
    const std::optional<CdToc> toc = cdaudioTableOfContents();
    if (!toc)
        return;
    const DiscIds found = discIds(*toc);
    if (!found.freedb.isEmpty())
        album().setText(alb::XCCD, found.freedb);
    if (ids)
        *ids = found;
}

void CdReader::toWizard(int instance)
{
    Table &rows = m_session.store().table(TableId::AddWizard);
    const TableUse use = m_session.files().use(rows);
    if (!use)
        return;
    const QString artist = album().isBlank(alb::Artist) ? QStringLiteral("Various")
                                                        : album().text(alb::Artist).left(30);
    Record &row = rows.buffer();
    bool written = rows.stream();
    for (int track = 1; written && track <= m_times.size(); ++track) {
        row.clear();
        row.setNumber(aw::Instance, instance);
        row.setText(aw::Side, QStringLiteral("0"));
        row.setNumber(aw::Track, track);
        if (rows.get(aw::KeyInstance)) {
            row.setNumber(aw::Time, m_times.at(track - 1));
            written = rows.put();
            continue;
        }
        row.setNumber(aw::Instance, instance);
        row.setText(aw::Side, QStringLiteral("0"));
        row.setNumber(aw::Track, track);
        row.setText(aw::Artist, artist);
        row.setText(aw::Title, QStringLiteral("Track ") + QString::number(track));
        row.setNumber(aw::Time, m_times.at(track - 1));
        written = rows.add();
    }
    if (!written || !rows.flush())
        abandonBatch(rows);
}

// The rows of a disc are written all or none: a batch that failed part way is undone and
// reported.
void CdReader::abandonBatch(Table &table)
{
    saveError();
    Database &database = m_session.store().database();
    if (database.inTransaction() && !database.rollback())
        saveError();
    standardWarning(warning::ProcessError, QStringLiteral("Put"), table.label());
}

void CdReader::toAlbumSongs()
{
    Table &songs = m_session.store().table(TableId::Songs);
    const TableUse use = m_session.files().use(songs);
    if (!use)
        return;
    const Record &from = album();
    const qint64 albumId = from.number(alb::AlbumID);
    Record &song = songs.buffer();
    bool written = songs.stream();
    for (int track = 1; written && track <= m_times.size(); ++track) {
        song.clear();
        song.setNumber(mus::AlbumID, albumId);
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
        song.setNumber(mus::AlbumID, albumId);
        song.setNumber(mus::TrackNumber, track);
        song.setText(mus::Artist, from.text(alb::Artist));
        song.setText(mus::Album, from.text(alb::Album));
        song.setText(mus::Media, from.text(alb::Media));
        song.setText(mus::FileNumber, from.text(alb::FileNumber));
        song.setNumber(mus::ReleaseDate, from.number(alb::ReleaseDate));
        song.setNumber(mus::CategoryID, from.number(alb::CategoryID));
        song.setText(mus::Title, QStringLiteral("Track ") + QString::number(track));
        song.setNumber(mus::Time, m_times.at(track - 1));
        written = written && songs.add();
    }
    if (!written || !songs.flush())
        abandonBatch(songs);
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

bool ReadCompactDiscInformation(Session &session, bool identifierOnly, bool forWizard,
                                int wizardInstance, QWidget *parent, DiscIds *ids)
{
    return CdReader(session, parent).read(identifierOnly, forWizard, wizardInstance, ids);
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
    return identify().identifier;
}

} // namespace sv
