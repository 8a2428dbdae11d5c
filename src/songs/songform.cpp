#include "songform.h"

#include "app/albumrecords.h"

#include "codetables.h"
#include "selectalbum.h"
#include "songtitle.h"

#include "app/browser.h"
#include "app/fieldentry.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sv {

namespace {

const QStringList EndTypes = {QStringLiteral("Slow"), QStringLiteral("Fast"),
                              QStringLiteral("Abrupt")};

qint64 typedNumber(const QLineEdit *edit, const QString &picture)
{
    return deformat(edit->text(), picture).toLongLong();
}

AddModeDispatch &addModeDispatch()
{
    static AddModeDispatch dispatch;
    return dispatch;
}

} // namespace

void setAddModeDispatch(AddModeDispatch dispatch)
{
    addModeDispatch() = std::move(dispatch);
}

UpdateForm *createSongForm(Session &session, Request request, QWidget *caller)
{
    if (request == Request::Insert && !session.calledFromAlbumForm && addModeDispatch()) {
        if (UpdateForm *wizard = addModeDispatch()(session, caller))
            return wizard;
    }
    return new SongForm(session, request);
}

SongForm::SongForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::Songs, QStringLiteral("UpdateSong"),
                 request == Request::Select ? Request::Insert : request, parent),
      m_copy(request == Request::Select), m_copied(tableDef(TableId::Songs))
{
    Store &store = session.store();
    m_lookups =
        session.files().use({&store.table(TableId::Albums), &store.table(TableId::Categories),
                             &store.table(TableId::Media)});
    m_copied = session.store().table(TableId::Songs).buffer();

    m_tabs = new QTabWidget;
    m_tabs->addTab(generalTab(), QStringLiteral("&General"));
    m_tabs->addTab(djTab(), QStringLiteral("DJ"));
    m_tabs->addTab(recordingTab(), QStringLiteral("Recording/Performance"));
    m_tabs->addTab(customTab(), QStringLiteral("Custom"));
    m_tabs->addTab(notesTab(), QStringLiteral("&Notes"));

    m_albumDefaults = new QPushButton(QStringLiteral("Default with Album Information"));
    connect(m_albumDefaults, &QPushButton::clicked, this, &SongForm::defaultWithAlbumInformation);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_albumDefaults);
    buttons->addLayout(okCancelButtons(QStringLiteral("&OK")));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    checkWhenLeft(m_media, [this] { return checkMedia(); });
    checkWhenLeft(m_category, [this] { return checkCategory(); });
    checkWhenLeft(m_track, [this] { return checkTrack(); });
    checkWhenLeft(m_chart, [this] { return checkChart(); });
    checkWhenLeft(m_rating, [this] { return checkRating(); });

    if (session.calledFromAlbumForm) {
        m_albumDefaults->hide();
        m_album->setEnabled(false);
        m_media->setEnabled(false);
    }
}

QLineEdit *SongForm::addLine(QFormLayout *form, const QString &prompt, int field,
                             const QString &picture, const QString &tip)
{
    auto *edit = new QLineEdit;
    // The time is the song's length: typed as minutes and seconds, with the two-hour rule
    // for what reads as hours and minutes (see readPlayingTime).
    bindLineEdit(edit, field, picture, field == mus::Time);
    edit->setToolTip(tip);
    form->addRow(prompt, edit);
    return edit;
}

QWidget *SongForm::generalTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    addLine(form, QStringLiteral("&Artist:"), mus::Artist, QString());
    addLine(form, QStringLiteral("&Title:"), mus::Title, QString());
    m_album = addLine(form, QStringLiteral("&Album:"), mus::Album, QString());
    m_media = new QComboBox;
    m_media->setEditable(true);
    m_media->lineEdit()->setMaxLength(20);
    m_media->lineEdit()->setValidator(new FieldEntry(20, m_media));
    m_media->setInsertPolicy(QComboBox::NoInsert); // Enter presses OK, it adds nothing
    form->addRow(QStringLiteral("&Media:"), m_media);
    addLine(form, QStringLiteral("T&ime:"), mus::Time, QStringLiteral("@t4"));
    addLine(form, QStringLiteral("&File Number:"), mus::FileNumber, QString());
    addLine(form, QStringLiteral("&Release Date:"), mus::ReleaseDate,
            Settings::global().datePicture());
    m_category = new QComboBox;
    m_category->setEditable(true);
    m_category->lineEdit()->setMaxLength(30);
    m_category->lineEdit()->setValidator(new FieldEntry(30, m_category));
    // A name typed and entered stays a name to look up (or add), never an entry of the
    // list without a number.
    m_category->setInsertPolicy(QComboBox::NoInsert);
    form->addRow(QStringLiteral("&Category:"), m_category);
    m_track =
        addLine(form, QStringLiteral("Track &Number:"), mus::TrackNumber, QStringLiteral("@n3"));
    addLine(form, QStringLiteral("Side/Disc:"), mus::Side, QStringLiteral("@n2b"));
    return page;
}

QWidget *SongForm::djTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout;
    addLine(form, QStringLiteral("Beats Per Minute:"), mus::BeatsPerMinute,
            QStringLiteral("@n_4b"));
    m_chart = addLine(form, QStringLiteral("Highest Chart Number:"), mus::ChartNumber,
                      QStringLiteral("@n3b"));
    addLine(form, QStringLiteral("Mix:"), mus::Mix, QString(),
            QStringLiteral("Mix or version specific information"));
    addLine(form, QStringLiteral("Style:"), mus::Style, QString());
    m_rating = addLine(form, QStringLiteral("Rating:"), mus::Rating, QStringLiteral("@n2b"));
    addLine(form, QStringLiteral("In/Out:"), mus::InOut, QString(),
            QStringLiteral("In/Out information"));

    auto *flags = new QHBoxLayout;
    m_skips = new QCheckBox(QStringLiteral("Skips"));
    m_doNotPlay = new QCheckBox(QStringLiteral("Do Not Play"));
    m_live = new QCheckBox(QStringLiteral("Live"));
    for (QCheckBox *box : {m_skips, m_doNotPlay, m_live})
        flags->addWidget(box);
    auto *ending = new QGroupBox(QStringLiteral("Type of Ending"));
    auto *endings = new QHBoxLayout(ending);
    m_endType = new QButtonGroup(this);
    for (int i = 0; i < EndTypes.size(); ++i) {
        auto *choice = new QRadioButton(EndTypes.at(i));
        m_endType->addButton(choice, i);
        endings->addWidget(choice);
    }
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addLayout(flags);
    layout->addWidget(ending);
    layout->addStretch();
    return page;
}

QWidget *SongForm::recordingTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_recording = new QPlainTextEdit;
    m_recording->setToolTip(QStringLiteral("Recording Information (Engineer, Producer, Etc)"));
    bindMemo(m_recording, 256);
    form->addRow(QStringLiteral("Recording Information:"), m_recording);
    addLine(form, QStringLiteral("Composer:"), mus::Composer, QString());
    m_performance = new QPlainTextEdit;
    bindMemo(m_performance, 256);
    form->addRow(QStringLiteral("Performance Notes:"), m_performance);
    return page;
}

QWidget *SongForm::customTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    auto *udk = new QLineEdit;
    bindLineEdit(udk, mus::UserDefinedKeyField);
    udk->setToolTip(QStringLiteral(
        "See File/Preferences/Customization to label this field to suit your needs"));
    const QString prompt = Settings::global().udkPrompt.trimmed();
    m_udkPrompt =
        new QLabel(prompt.isEmpty() ? QStringLiteral("User Defined Key Field:") : prompt + u':');
    form->addRow(m_udkPrompt, udk);
    const int fields[] = {mus::AdditionalInformation1, mus::AdditionalInformation2,
                          mus::AdditionalInformation3};
    for (int i = 0; i < 3; ++i)
        addLine(form, QStringLiteral("Additional Information %1:").arg(i + 1), fields[i], QString(),
                QStringLiteral("Addition Information (%1)").arg(i + 1));
    return page;
}

QWidget *SongForm::notesTab()
{
    m_notes = new QPlainTextEdit;
    bindMemo(m_notes, 2000);
    return m_notes;
}

void SongForm::primeDefaults(Record &song)
{
    song.setText(mus::Media, QStringLiteral("CD"));
    if (!session().calledFromAlbumForm)
        return;
    const Record &album = session().store().table(TableId::Albums).buffer();
    song.setText(mus::FileNumber, album.text(alb::FileNumber));
    song.setText(mus::Album, album.text(alb::Album));
    song.setText(mus::Artist, album.text(alb::Artist));
    song.setNumber(mus::ReleaseDate, album.number(alb::ReleaseDate));
    song.setNumber(mus::AlbumID, album.number(alb::AlbumID));
}

void SongForm::afterPriming(Record &song)
{
    if (m_copy) {
        const qint64 id = song.number(mus::ID);
        song = m_copied;
        song.setNumber(mus::ID, id);
    } else {
        song.setNumber(mus::TrackNumber, nextTrackOf(song.number(mus::AlbumID)));
    }
    if (song.text(mus::Media).isEmpty())
        song.setText(mus::Media, QStringLiteral("CD"));
    if (session().calledFromAlbumForm)
        takeAlbumValues(session().store().table(TableId::Albums).buffer());
}

// One more than the last track of the album, or 1 for its first song.
qint64 SongForm::nextTrackOf(qint64 albumId)
{
    Table &songs = table();
    const Record keep = songs.buffer();
    songs.buffer().clear();
    songs.buffer().setNumber(mus::AlbumID, albumId);
    songs.buffer().setNumber(mus::TrackNumber, 255);
    songs.setFrom(mus::KeyAlbumID);
    qint64 track = 1;
    if (albumId != 0 && songs.previous() && songs.buffer().number(mus::AlbumID) == albumId)
        track = songs.buffer().number(mus::TrackNumber) + 1;
    songs.buffer() = keep;
    return track;
}

void SongForm::loadFields()
{
    SongDisplayTitle(record()); // a title that says "(Skips)" ticks the box
    UpdateForm::loadFields();
    fillMediaList();
    fillCategoryList();
    const Record &song = record();
    m_skips->setChecked(song.number(mus::Skips) != 0);
    m_doNotPlay->setChecked(song.number(mus::DoNotPlay) != 0);
    m_live->setChecked(song.number(mus::Live) != 0);
    const int ending = EndTypes.indexOf(song.text(mus::EndType));
    m_endType->setExclusive(false);
    for (QAbstractButton *button : m_endType->buttons())
        button->setChecked(m_endType->id(button) == ending);
    m_endType->setExclusive(true);
    m_recording->setPlainText(song.memo(mus::Recording));
    m_performance->setPlainText(song.memo(mus::PerformanceNotes));
    m_notes->setPlainText(song.memo(mus::Notes));
}

void SongForm::storeFields()
{
    UpdateForm::storeFields();
    Record &song = record();
    song.setText(mus::Media, oneLineText(m_media->currentText()));
    song.setNumber(mus::Skips, m_skips->isChecked() ? 1 : 0);
    song.setNumber(mus::DoNotPlay, m_doNotPlay->isChecked() ? 1 : 0);
    song.setNumber(mus::Live, m_live->isChecked() ? 1 : 0);
    const int ending = m_endType->checkedId();
    song.setText(mus::EndType, ending >= 0 ? EndTypes.at(ending) : QString());
    song.setMemo(mus::Recording, m_recording->toPlainText());
    song.setMemo(mus::PerformanceNotes, m_performance->toPlainText());
    song.setMemo(mus::Notes, m_notes->toPlainText());
}

void SongForm::fillMediaList()
{
    fillMediaChoices(session().store(), m_media, record().text(mus::Media));
}

void SongForm::fillCategoryList()
{
    fillCategoryChoices(session().store(), m_category, record().number(mus::CategoryID));
}

bool SongForm::checkFields()
{
    if (!checkMedia() || !checkCategory())
        return false;
    if (!checkTrack() || !checkChart() || !checkRating())
        return false;
    if (request() != Request::Delete)
        linkToAlbum();
    return true;
}

bool SongForm::checkTrack()
{
    return checkRange(m_track, typedNumber(m_track, QStringLiteral("@n3")), 0, 99,
                      QStringLiteral("Track"));
}

bool SongForm::checkChart()
{
    return checkRange(m_chart, typedNumber(m_chart, QStringLiteral("@n3b")), 0, 100,
                      QStringLiteral("Chart"));
}

bool SongForm::checkRating()
{
    return checkRange(m_rating, typedNumber(m_rating, QStringLiteral("@n2b")), 0, 10,
                      QStringLiteral("MUS:Rating"));
}

bool SongForm::checkMedia()
{
    Table &media = session().store().table(TableId::Media);
    if (m_media->count() == 0 && m_media->currentText().isEmpty())
        return true; // no formats on file at all
    const Record keep = media.buffer();
    media.buffer().setText(med::Media, m_media->currentText());
    const bool found = checkExists(m_media, media, med::KeyMedia, QStringLiteral("Media"),
                                   QStringLiteral("Media"));
    if (found)
        m_media->setCurrentText(media.buffer().text(med::Media));
    media.buffer() = keep;
    if (found)
        record().setText(mus::Media, m_media->currentText());
    return found;
}

bool SongForm::checkCategory()
{
    const std::optional<qint64> id = enteredCategory(session().store(), m_category);
    if (id)
        record().setNumber(mus::CategoryID, *id);
    return id.has_value();
}

// With AutoAddToAlbums on, a song without an album link is linked to the album of its
// artist and album title, which is created when there is none. A song with no album title
// has no album to link to.
void SongForm::linkToAlbum()
{
    Record &song = record();
    if (!Settings::global().autoAddsToAlbums() || song.number(mus::AlbumID) != 0 ||
        song.text(mus::Album).isEmpty())
        return;
    Table &albums = session().store().table(TableId::Albums);
    const Record keep = albums.buffer();
    albums.buffer().clear();
    albums.buffer().setText(alb::Artist, song.text(mus::Artist));
    albums.buffer().setText(alb::Album, song.text(mus::Album));
    if (albums.get(alb::KeyAlbum)) {
        song.setNumber(mus::AlbumID, albums.buffer().number(alb::AlbumID));
    } else {
        qint64 highest = 0;
        const bool numbered = albums.highest(alb::KeyAlbumID, alb::AlbumID, highest);
        albumFromSong(song, highest + 1, albums.buffer());
        // A song is never linked to an album that could not be written.
        if (numbered && albums.add())
            song.setNumber(mus::AlbumID, highest + 1);
        else
            standardWarning(warning::InsertError);
    }
    albums.buffer() = keep;
}

void SongForm::defaultWithAlbumInformation()
{
    storeFields();
    auto *picker = new SelectAlbum(session(), Request::Select);
    if (!picker->start()) {
        delete picker;
        return;
    }
    setEnabled(false);
    connect(picker, &Browser::finished, this, [this](const WindowResult &result) {
        setEnabled(true);
        if (result.response == Response::Completed)
            takeAlbumValues(session().store().table(TableId::Albums).buffer());
    });
    showProcedureWindow(this, picker);
}

void SongForm::takeAlbumValues(const Record &album)
{
    Record &song = record();
    if (song.memo(mus::Notes).isEmpty())
        song.setMemo(mus::Notes, album.memo(alb::Notes));
    if (song.text(mus::FileNumber).isEmpty())
        song.setText(mus::FileNumber, album.text(alb::FileNumber));
    if (song.text(mus::Artist).isEmpty())
        song.setText(mus::Artist, album.text(alb::Artist));
    if (song.number(mus::ReleaseDate) == 0)
        song.setNumber(mus::ReleaseDate, album.number(alb::ReleaseDate));
    if (song.number(mus::CategoryID) == 0)
        song.setNumber(mus::CategoryID, album.number(alb::CategoryID));
    song.setText(mus::Album, album.text(alb::Album));
    song.setText(mus::Media, album.text(alb::Media));
    song.setNumber(mus::AlbumID, album.number(alb::AlbumID));
    if (m_media)
        loadFields();
}

QString SongForm::duplicateKeyName(int key) const
{
    if (key == mus::KeyID)
        return QStringLiteral("Unique Song ID");
    return UpdateForm::duplicateKeyName(key);
}

} // namespace sv
