#pragma once

#include "app/progresswindow.h"
#include "platform/cddevice.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace sv {

class Session;
class Table;

// One reading of the audio disc in the drive through SendMCICommand: checks the drive,
// takes the disc identifier and, unless only the identifier is asked for, every track's
// playing time, the whole disc's time and the freedb/CDDB number. It goes on from the event
// loop one drive command at a time, so every other window keeps working; a "Reading CD"
// progress window shows how far it got and its Cancel stops it.
//
// What a reading found is kept back until the last track was read: a drive that is busy,
// not ready or open, a disc that stops answering part way (the tray opened, the disc or
// image gone), a failed write and a Cancel all leave the album buffer and the tables as they
// were, the first four with a message saying so. Once the disc was read whole:
//  - ALB:CDIdentifier receives the identifier, and unless only that was asked for,
//    ALB:TOTALTIME the disc's time and ALB:XCCD its freedb number;
//  - forWizard: the track times go into the AddWizard rows of wizardInstance (new rows
//    "Track i" with the album's artist or "Various"; rows already there keep their titles,
//    only times change);
//  - otherwise, for an album that has an ALB:AlbumID: into the album's songs by track
//    number, with a new song for every track the album does not have yet.
// The album's number, artist and the other fields new songs copy are taken when the reading
// starts. The rows of a disc are written all or none. The device is closed again on every
// path. identifierOnly counts only when forWizard is false.
class CdReading : public QObject
{
    Q_OBJECT

public:
    // See ReadCompactDiscInformation.
    [[nodiscard]] static CdReading *start(Session &session, bool identifierOnly, bool forWizard,
                                          int wizardInstance, QWidget *parent);
    ~CdReading() override;

    // Once finished with true: what was read.
    QString identifier() const { return m_identifier; }
    qint32 totalTime() const { return m_totalTime; }
    DiscIds ids() const { return m_ids; }
    QList<qint32> trackTimes() const { return m_times; }

    // Stops the reading as its Cancel does: nothing is kept.
    void cancel();

Q_SIGNALS:
    // Emitted once, from the event loop, never before the call that started the reading
    // returned: true when the drive passed its checks and everything asked for was read and
    // stored. The reading deletes itself afterwards.
    void finished(bool read);

private:
    struct Album // the album fields a reading uses, as they were when it started
    {
        qint64 id = 0;
        QString artist;
        QString title;
        QString media;
        QString fileNumber;
        qint64 releaseDate = 0;
        qint64 categoryId = 0;
    };
    enum class Phase { Identify, Tracks, Store };

    CdReading(Session &session, bool identifierOnly, bool forWizard, int wizardInstance,
              QWidget *parent);
    void begin();
    [[nodiscard]] bool openDrive();
    void closeDrive();
    ProgressWindow::Step step();
    ProgressWindow::Step identify();
    ProgressWindow::Step readTrack();
    ProgressWindow::Step store();
    [[nodiscard]] bool toWizard();
    [[nodiscard]] bool toAlbumSongs();
    [[nodiscard]] bool abandonBatch(Table &table);
    void showStatus(const QString &text);
    void reportFailure(const QString &where, const QString &reply);
    void finish(bool read);

    Session &m_session;
    QPointer<QWidget> m_parent;
    const bool m_hadParent;
    QPointer<ProgressWindow> m_window;
    const bool m_identifierOnly;
    const bool m_forWizard;
    const int m_wizardInstance;
    Album m_album;
    Phase m_phase = Phase::Identify;
    bool m_driveOpen = false;
    bool m_done = false;
    int m_trackCount = 0;
    QString m_identifier;
    qint32 m_totalTime = 0;
    DiscIds m_ids;
    QList<qint32> m_times; // by track, track 1 first
};

// Starts reading the disc in the drive (see CdReading) and returns the reading; nothing is
// sent to the drive before control is back in the event loop.
[[nodiscard]] CdReading *ReadCompactDiscInformation(Session &session, bool identifierOnly,
                                                    bool forWizard, int wizardInstance = 0,
                                                    QWidget *parent = nullptr);

// The standard time of a drive's "mm:ss:ff" stamp: whole seconds, frames dropped except
// that 99 frames carry into a second, 60 seconds into a minute and 60 minutes into an hour.
// A reply that is no stamp (an "Error:" text) gives 0, no time.
qint32 MSFToTime(const QString &stamp);

// A playing time as minutes and seconds, " 4:33" or "74:05": five characters, minutes
// padded with a blank; five blanks for no time. Times of 100 minutes and more keep every
// digit of their minutes rather than lose them.
QString FormatTrackTime(qint32 time);

// Puts FormatTrackTime of `time`, or of the current song's MUS:Time when fromSong is
// true, into the shared track time text that lists, reports and labels show.
void ShowTrackTime(qint32 time, bool fromSong = false);
QString TrackTimeText(); // eight characters, blank-padded

// The disc identifier as it is built from the track count and the lengths of the disc
// and its first three tracks; the CD player uses it too. Sends its own commands. Empty
// when a command failed: no identifier rather than one that could name another disc.
QString readDiscIdentifier();

} // namespace sv
