#pragma once

#include "app/request.h"
#include "store/fileaccess.h"

#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace sv {

class BrowseList;
class PageModel;
class Session;
class UpdateForm;

// The bar of how far the current track has played; a click asks to play from that place.
class PositionBar : public QProgressBar
{
    Q_OBJECT

public:
    using QProgressBar::QProgressBar;

Q_SIGNALS:
    void clickedAt(int x);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The "CD Player" window: plays the audio disc in the drive through the cdaudio command
// strings, watches the drive on the CDTimer period, recognises a disc on file by its
// identifier and lists the album's songs with the playing track highlighted; a disc not on
// file may be added through an add-album wizard. It writes nothing to the tables itself.
class CdPlayer : public QWidget
{
    Q_OBJECT

public:
    // Opens the tables and the device; null when the device could not be had (the user was
    // told and the incident logged) or a table could not be opened.
    static CdPlayer *open(Session &session);
    ~CdPlayer() override;

    // The album form for "Edit": registered by the albums, which build on this folder.
    using AlbumFormFactory = std::function<UpdateForm *(Session &, Request)>;
    static void setAlbumFormFactory(AlbumFormFactory factory);

    // One look at the drive, as the timer does it.
    void poll();
    bool isPolling() const { return m_timer.isActive(); }
    int pollPeriod() const { return m_timer.interval(); } // milliseconds

    // The controls, as the user presses them.
    void play();
    void stop();
    void pause();
    void next();
    void previous();
    void back();
    void forward();
    void locate(int x); // a click on the position bar, x within the bar
    void playHighlighted();
    void editSong();
    void editAlbum();
    void setPreferences();

    // What the window shows, for tests and the scripted hook.
    QString mode() const { return m_mode; }
    QString eventWord() const { return m_event; }
    QString deviceStatus() const { return m_deviceStatus; }
    bool deviceOpen() const { return m_deviceOpen; }
    int currentTrack() const { return m_currentTrack; }
    int trackCount() const { return m_trackCount; }
    int percentage() const { return m_percentage; }
    int performance() const { return m_performance; }
    QString positionText(const QString &prompt) const; // "Track Position:" and the others
    QString note() const;                              // about playing: no sound device ...
    qint64 albumId() const { return m_albumId; }
    BrowseList *list() const { return m_list; }
    PositionBar *positionBar() const { return m_bar; }
    QPushButton *button(const QString &caption) const;
    // The window that holds the player waiting: the wizard, a form or the preferences.
    QWidget *callee() const { return m_callee; }

    // "1:02:03", "12:05", "4:33": a time without its leading zeros; 0 gives "".
    static QString formatShortTime(qint32 time);

    QSize sizeHint() const override { return {640, 420}; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    explicit CdPlayer(Session &session);
    void buildWindow();
    [[nodiscard]] bool openDevice();
    void logIncident();
    void readLengths(int track, bool whole);
    void readPositions();
    void identify();
    void askNewCd();
    void wizardEnded(bool added);
    void showState();
    void showAlbum(); // the list of the album identified, on the current track
    void highlightTrack(int track);
    void readHighlightedSong();
    void typeAhead(const QString &text);
    void callWindow(QWidget *window);
    void calleeEnded();
    qint32 number(const QString &command);
    QString send(const QString &command);

    Session &m_session;
    TableUses m_tables;
    QTimer m_timer;

    // The player's state.
    bool m_deviceOpen = false;
    QString m_deviceStatus;
    QString m_mode;
    QString m_previousMode;
    QString m_event;
    int m_currentTrack = 0;
    int m_lastTrack = 0;
    int m_trackCount = 0;
    qint32 m_cdLength = 0;
    qint32 m_trackLength = 0;
    qint32 m_trackStart = 0;
    qint32 m_discPosition = 0;
    qint32 m_trackPosition = 0;
    int m_percentage = 0;
    int m_performance = 0;
    bool m_identifyNeeded = true;
    QString m_identifier;
    QString m_askedFor; // the disc the New CD question was asked for
    bool m_noDetection = false;
    bool m_paused = false;
    qint64 m_albumId = 0;
    qint64 m_albumPosition = 0;
    QString m_albumTitle;

    // The window.
    QLabel *m_track = nullptr;
    QLabel *m_trackPositionText = nullptr;
    QLabel *m_cdPositionText = nullptr;
    QLabel *m_tracksOnCd = nullptr;
    QLabel *m_trackLengthText = nullptr;
    QLabel *m_cdLengthText = nullptr;
    QLabel *m_modeText = nullptr;
    QLabel *m_statusText = nullptr;
    QLabel *m_eventText = nullptr;
    QLabel *m_performanceText = nullptr;
    QLabel *m_noteText = nullptr;
    PageModel *m_model = nullptr;
    BrowseList *m_list = nullptr;
    PositionBar *m_bar = nullptr;
    QPushButton *m_editAlbum = nullptr;
    QPointer<QWidget> m_callee;
    bool m_placed = false;
};

} // namespace sv
