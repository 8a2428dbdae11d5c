#pragma once

#include "app/updateform.h"

#include <functional>

class QButtonGroup;
class QFormLayout;
class QLineEdit;
class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace sv {

// The song form: one song over five tabs. Besides what every form does it numbers a new
// song's track within its album, lets a category be added on the spot, copies a song, takes
// an album's values, and on OK links the song to its album, creating the album when there
// is none yet.
class SongForm : public UpdateForm
{
    Q_OBJECT

public:
    // Request::Select is the copy request: a new song that starts as a copy of the song in
    // the shared buffer.
    SongForm(Session &session, Request request, QWidget *parent = nullptr);

    QTabWidget *tabs() const { return m_tabs; }
    void defaultWithAlbumInformation(); // the button: pick an album, take its values
    void takeAlbumValues(const Record &album);

protected:
    void primeDefaults(Record &song) override;
    void afterPriming(Record &song) override;
    void loadFields() override;
    void storeFields() override;
    bool checkFields() override;
    bool redisplayOnConflict() const override { return false; }
    bool hasHistoryKey() const override { return false; }
    QString duplicateKeyName(int key) const override;

private:
    QWidget *generalTab();
    QWidget *djTab();
    QWidget *recordingTab();
    QWidget *customTab();
    QWidget *notesTab();
    QLineEdit *addLine(QFormLayout *form, const QString &prompt, int field, const QString &picture,
                       const QString &tip = QString());
    void fillMediaList();
    void fillCategoryList();
    bool checkMedia();
    bool checkTrack();
    bool checkChart();
    bool checkRating();
    bool checkCategory();
    void linkToAlbum();
    qint64 nextTrackOf(qint64 albumId);

    TableUses m_lookups; // albums, categories, media
    bool m_copy = false;
    Record m_copied;
    QTabWidget *m_tabs = nullptr;
    QComboBox *m_media = nullptr;
    QComboBox *m_category = nullptr;
    QLineEdit *m_album = nullptr;
    QLineEdit *m_track = nullptr;
    QLineEdit *m_chart = nullptr;
    QLineEdit *m_rating = nullptr;
    QLabel *m_udkPrompt = nullptr;
    QCheckBox *m_skips = nullptr;
    QCheckBox *m_doNotPlay = nullptr;
    QCheckBox *m_live = nullptr;
    QButtonGroup *m_endType = nullptr;
    QPlainTextEdit *m_recording = nullptr;
    QPlainTextEdit *m_performance = nullptr;
    QPlainTextEdit *m_notes = nullptr;
    QPushButton *m_albumDefaults = nullptr;
};

// Hands a song list's insert to an add-album wizard when the user's add mode asks for one:
// returns the wizard, not started, or null for the song form. Registered by the wizards.
using AddModeDispatch = std::function<UpdateForm *(Session &session, QWidget *caller)>;
void setAddModeDispatch(AddModeDispatch dispatch);

// The form a song list opens for a request: for an insert, the add mode's wizard when
// there is one, except from the album form, where a song joins the album shown.
UpdateForm *createSongForm(Session &session, Request request, QWidget *caller);

} // namespace sv
