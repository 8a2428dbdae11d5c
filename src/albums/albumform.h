#pragma once

#include "app/updateform.h"

#include "wizards/cdreader.h"

#include <QImage>
#include <QPointer>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace sv {

class AlbumSongs;
class SoundPlayer;

// The album form: one album over six tabs, with the album's songs on one of them. Besides
// what every form does it copies an album, keeps the album's sound file and picture, and
// reads the disc in the drive into the album and its songs.
class AlbumForm : public UpdateForm
{
    Q_OBJECT

public:
    // Request::Select is the copy request: a new album that starts as a copy of the album
    // in the shared buffer (as an insert with an album title in the buffer does).
    AlbumForm(Session &session, Request request, QWidget *parent = nullptr);
    ~AlbumForm() override;

    enum Tab { General, Songs, Notes, AssociatedFiles, CompactDisc, Other };
    QTabWidget *tabs() const { return m_tabs; }
    AlbumSongs *songs() const { return m_songs; }

    // The album as the fields show it now, put into the shared album buffer for the
    // windows this form calls.
    const Record &albumForCallees();

    void chooseSoundFile();
    void playSoundFile();
    void playWithAssociatedPlayer();
    void openWithAssociatedProgram();
    void chooseImage();
    void showImage();
    // "Read CD Information": the disc's identifier, times and numbers into the album, the
    // track times into its songs. Goes on from the event loop; the form waits meanwhile.
    void readDisc();
    // "Read": the disc's identifier only, saying whether it changed.
    void readIdentifier();
    bool isReading() const { return m_reading; }
    void openMusicBrainzPage();
    QString musicBrainzDiscId() const { return m_discIds.musicBrainz; }

    void recallHistory() override;
    QSize sizeHint() const override { return {780, 480}; }

protected:
    void primeDefaults(Record &album) override;
    void loadFields() override;
    void storeFields() override;
    bool checkFields() override;
    QString title(Request request) const override;
    QString duplicateKeyName(int key) const override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *generalTab();
    QWidget *notesTab();
    QWidget *filesTab();
    QWidget *discTab();
    QWidget *otherTab();
    QLineEdit *addLine(QFormLayout *form, const QString &prompt, int field,
                       const QString &picture = QString(), const QString &tip = QString());
    void fillMediaList();
    void fillCategoryList();
    bool checkMedia();
    bool checkCategory();
    bool checkRating();
    void copyTitle(Record &album);
    void readFromDisc(bool identifierOnly);
    void showDiscIds();
    void scalePicture();

    TableUses m_lookups; // songs, categories, media
    bool m_copy = false;
    QTabWidget *m_tabs = nullptr;
    AlbumSongs *m_songs = nullptr;
    QComboBox *m_media = nullptr;
    QComboBox *m_category = nullptr;
    QLineEdit *m_rating = nullptr;
    QLineEdit *m_soundFile = nullptr;
    QLineEdit *m_image = nullptr;
    QLabel *m_picture = nullptr;
    QImage m_pictureImage;
    QLineEdit *m_identifier = nullptr;
    QLabel *m_musicBrainz = nullptr;
    QPushButton *m_openMusicBrainz = nullptr;
    QPlainTextEdit *m_notes = nullptr;
    QPlainTextEdit *m_recording = nullptr;
    QPlainTextEdit *m_performance = nullptr;
    SoundPlayer *m_player = nullptr;
    DiscIds m_discIds;
    QPointer<CdReading> m_reading;
};

} // namespace sv
