#pragma once

#include "app/updateform.h"
#include "store/fileaccess.h"

class QCheckBox;
class QComboBox;
class QTabWidget;

namespace sv {

struct FolderAlbum;
class TrackList;

// An album entered in one window: what its songs share on the General tab, its tracks on
// the Songs tab, typed, read from the disc or from a folder of audio files. OK adds the
// album and one song per track.
// While it is open it holds a song of its own (numbered as a new song is), which every way
// out removes. Its "Add Information to Album Database" box starts ticked and counts for
// this run only. A single-artist album gives every song its artist; a compilation has an
// artist per track and "Various" on the album.
class AddAlbumWizard : public UpdateForm
{
    Q_OBJECT

public:
    enum class Kind { SingleArtist, Compilation };

    // The wizard for an insert; any other request is refused with its warning (null).
    // The wizard's scratch rows are those of `instance`; 0 takes the number of the window
    // it is shown in (its "instance" property) once it has one.
    static AddAlbumWizard *open(Session &session, Kind kind, Request request, int instance = 0);
    // The wizard for an insert, not started yet (see UpdateForm::start).
    AddAlbumWizard(Session &session, Kind kind, int instance = 0);
    ~AddAlbumWizard() override;

    Kind kind() const { return m_kind; }
    TrackList *tracks() const { return m_tracks; }
    QTabWidget *tabs() const { return m_tabs; }
    QCheckBox *addToAlbums() const { return m_addToAlbums; }
    QString identifier() const { return m_identifier; }
    // The folder the tracks were last read from: the album's sound file.
    QString soundFile() const { return m_soundFile; }
    void setInstance(int instance);

protected:
    void primeDefaults(Record &song) override;
    void afterPriming(Record &song) override;
    void loadFields() override;
    void storeFields() override;
    bool checkFields() override;
    bool writeInsert() override;
    QString title(Request request) const override;
    bool hasHistoryKey() const override { return false; }
    bool event(QEvent *event) override;

private:
    QWidget *generalTab();
    bool checkMedia();
    bool checkCategory();
    void prepareReading();
    void takeFolder(const FolderAlbum &album);

    Kind m_kind;
    TableUses m_lookups; // albums, categories, media
    QTabWidget *m_tabs = nullptr;
    TrackList *m_tracks = nullptr;
    QComboBox *m_media = nullptr;
    QComboBox *m_category = nullptr;
    QCheckBox *m_addToAlbums = nullptr;
    QString m_identifier;
    QString m_soundFile;
};

} // namespace sv
