#include "albumform.h"

#include "albumfiles.h"
#include "albumsongs.h"
#include "songs/codetables.h"

#include "app/fieldentry.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/picture.h"
#include "platform/prompter.h"
#include "wizards/cdreader.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sv {

namespace {

constexpr int PathLength = 128;
const QString MusicBrainzPage = QStringLiteral("https://musicbrainz.org/cdtoc/");
const QString CopySuffix = QStringLiteral(" - Copy");

QString clipped(const QString &text)
{
    QString result = text;
    while (result.endsWith(u' '))
        result.chop(1);
    return result;
}

void showError(const QString &text)
{
    ask(Message{QStringLiteral("Error"), text, Ok, Ok, Icon::Exclamation});
}

QPushButton *plainButton(const QString &caption, const QString &tip = QString())
{
    auto *button = new QPushButton(caption);
    button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

} // namespace

AlbumForm::AlbumForm(Session &session, Request request, QWidget *parent)
    : UpdateForm(session, TableId::Albums, QStringLiteral("UpdateAlbum"),
                 request == Request::Select ? Request::Insert : request, parent),
      m_copy(request == Request::Select)
{
    Store &store = session.store();
    m_lookups =
        session.files().use({&store.table(TableId::Songs), &store.table(TableId::Categories),
                             &store.table(TableId::Media)});
    m_player = new SoundPlayer(this);
    connect(m_player, &SoundPlayer::failed, this, [](const QString &path) {
        showError(QStringLiteral("Could not play ") + clipped(path) + u'.');
    });

    m_tabs = new QTabWidget;
    m_tabs->addTab(generalTab(), QStringLiteral("General"));
    m_songs = new AlbumSongs(
        session, [this]() -> const Record & { return albumForCallees(); }, this);
    connect(m_songs, &AlbumSongs::readCdPressed, this, &AlbumForm::readDisc);
    m_tabs->addTab(m_songs, QStringLiteral("Songs"));
    m_tabs->addTab(notesTab(), QStringLiteral("Notes"));
    m_tabs->addTab(filesTab(), QStringLiteral("Associated Files"));
    m_tabs->addTab(discTab(), QStringLiteral("Compact Disc"));
    m_tabs->addTab(otherTab(), QStringLiteral("Other"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(okCancelButtons(QStringLiteral("&OK")));

    checkWhenLeft(m_media, [this] { return checkMedia(); });
    checkWhenLeft(m_category, [this] { return checkCategory(); });
    checkWhenLeft(m_rating, [this] { return checkRating(); });
    // It can be made larger, not smaller than it opens.
    setMinimumSize(sizeHint());
}

AlbumForm::~AlbumForm() = default;

QLineEdit *AlbumForm::addLine(QFormLayout *form, const QString &prompt, int field,
                              const QString &picture, const QString &tip)
{
    auto *edit = new QLineEdit;
    bindLineEdit(edit, field, picture);
    edit->setToolTip(tip);
    form->addRow(prompt, edit);
    return edit;
}

QWidget *AlbumForm::generalTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    addLine(form, QStringLiteral("&Artist:"), alb::Artist);
    addLine(form, QStringLiteral("A&lbum:"), alb::Album);
    m_media = new QComboBox;
    m_media->setEditable(true);
    m_media->lineEdit()->setMaxLength(20);
    m_media->lineEdit()->setValidator(new FieldEntry(20, m_media));
    m_media->setInsertPolicy(QComboBox::NoInsert);
    form->addRow(QStringLiteral("&Media:"), m_media);
    m_category = new QComboBox;
    m_category->setEditable(true);
    m_category->lineEdit()->setMaxLength(30);
    m_category->lineEdit()->setValidator(new FieldEntry(30, m_category));
    m_category->setInsertPolicy(QComboBox::NoInsert);
    form->addRow(QStringLiteral("&Category:"), m_category);
    addLine(form, QStringLiteral("&File Number:"), alb::FileNumber);
    addLine(form, QStringLiteral("&Release Date:"), alb::ReleaseDate,
            Settings::global().datePicture());
    return page;
}

QWidget *AlbumForm::notesTab()
{
    m_notes = new QPlainTextEdit;
    bindMemo(m_notes, 2000);
    return m_notes;
}

QWidget *AlbumForm::filesTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout;

    m_soundFile = new QLineEdit;
    m_soundFile->setObjectName(QStringLiteral("soundFile"));
    bindLineEdit(m_soundFile, alb::AssociatedWavFile);
    auto *chooseSound = plainButton(QStringLiteral("..."), QStringLiteral("Browse and select"));
    chooseSound->setObjectName(QStringLiteral("chooseSound"));
    connect(chooseSound, &QPushButton::clicked, this, &AlbumForm::chooseSoundFile);
    auto *soundRow = new QHBoxLayout;
    soundRow->addWidget(m_soundFile, 1);
    soundRow->addWidget(chooseSound);
    form->addRow(QStringLiteral("WAV/MP3 File:"), soundRow);
    auto *play = plainButton(QStringLiteral("Play WAV file"));
    connect(play, &QPushButton::clicked, this, &AlbumForm::playSoundFile);
    auto *playOutside = plainButton(QStringLiteral("Play using associated player"),
                                    QStringLiteral("Plays the file in the desktop's own player "
                                                   "for its type"));
    connect(playOutside, &QPushButton::clicked, this, &AlbumForm::playWithAssociatedPlayer);
    auto *open = plainButton(QStringLiteral("Open using associated program"),
                             QStringLiteral("Opens the file with the desktop's program for it"));
    connect(open, &QPushButton::clicked, this, &AlbumForm::openWithAssociatedProgram);
    auto *playRow = new QHBoxLayout;
    playRow->addWidget(play);
    playRow->addWidget(playOutside);
    playRow->addWidget(open);
    playRow->addStretch();
    form->addRow(QString(), playRow);

    m_image = new QLineEdit;
    m_image->setObjectName(QStringLiteral("imageFile"));
    bindLineEdit(m_image, alb::AssociatedImage);
    connect(m_image, &QLineEdit::editingFinished, this, &AlbumForm::showImage);
    auto *chooseImageButton =
        plainButton(QStringLiteral("..."), QStringLiteral("Browse and select"));
    chooseImageButton->setObjectName(QStringLiteral("chooseImage"));
    connect(chooseImageButton, &QPushButton::clicked, this, &AlbumForm::chooseImage);
    auto *imageRow = new QHBoxLayout;
    imageRow->addWidget(m_image, 1);
    imageRow->addWidget(chooseImageButton);
    form->addRow(QStringLiteral("Image:"), imageRow);
    addLine(form, QStringLiteral("Playlist:"), alb::Playlist);

    m_picture = new QLabel;
    m_picture->setObjectName(QStringLiteral("picture"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setFrameShape(QFrame::StyledPanel);
    m_picture->setMinimumSize(160, 160);
    m_picture->setWordWrap(true);
    // The box takes the room the tab leaves it; the picture follows the box, never the
    // other way round.
    m_picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_picture->installEventFilter(this);

    auto *layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addWidget(m_picture, 1);
    return page;
}

QWidget *AlbumForm::discTab()
{
    auto *page = new QWidget;
    auto *cddb = new QGroupBox(QStringLiteral("CDDB (Internet)"));
    auto *cddbForm = new QFormLayout(cddb);
    addLine(cddbForm, QStringLiteral("ID:"), alb::XCCD, QString(),
            QStringLiteral("CDDB Number (Internet)"));
    m_musicBrainz = new QLabel;
    m_musicBrainz->setObjectName(QStringLiteral("musicBrainzDiscId"));
    m_musicBrainz->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cddbForm->addRow(QStringLiteral("MusicBrainz disc ID:"), m_musicBrainz);
    m_openMusicBrainz = plainButton(QStringLiteral("Open MusicBrainz Page"),
                                    QStringLiteral("Shows the disc's page in the web browser"));
    connect(m_openMusicBrainz, &QPushButton::clicked, this, &AlbumForm::openMusicBrainzPage);
    cddbForm->addRow(QString(), m_openMusicBrainz);

    auto *serialForm = new QFormLayout;
    m_identifier = addLine(serialForm, QStringLiteral("CD Serial #:"), alb::CDIdentifier, QString(),
                           QStringLiteral("CD Serial Number"));
    auto *read = plainButton(QStringLiteral("Read"));
    connect(read, &QPushButton::clicked, this, &AlbumForm::readIdentifier);
    auto *load = plainButton(QStringLiteral("Load Song Information from CD Player"));
    connect(load, &QPushButton::clicked, this, &AlbumForm::readDisc);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(read);
    buttons->addWidget(load);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(cddb);
    layout->addLayout(serialForm);
    layout->addLayout(buttons);
    layout->addStretch();
    showDiscIds();
    return page;
}

QWidget *AlbumForm::otherTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_recording = new QPlainTextEdit;
    bindMemo(m_recording, 256);
    form->addRow(QStringLiteral("Recording:"), m_recording);
    m_performance = new QPlainTextEdit;
    bindMemo(m_performance, 256);
    form->addRow(QStringLiteral("Performance:"), m_performance);
    m_rating = addLine(form, QStringLiteral("Rating:"), alb::Rating, QStringLiteral("@n2b"));
    return page;
}

QString AlbumForm::title(Request request) const
{
    return request == Request::Insert ? QStringLiteral("Adding an Album Record")
                                      : QStringLiteral("Changing an Album Record");
}

QString AlbumForm::duplicateKeyName(int key) const
{
    switch (key) {
    case alb::KeyAlbumID:
        return QStringLiteral("ALB:KeyAlbumID");
    case alb::KeyAlbum:
        return QStringLiteral("ALB:KeyAlbum");
    case alb::KeyArtist:
        return QStringLiteral("ALB:KeyArtist");
    case alb::KeyCDIdentifier:
        return QStringLiteral("ALB:KeyCDIdentifier");
    default:
        return UpdateForm::duplicateKeyName(key);
    }
}

void AlbumForm::primeDefaults(Record &album)
{
    if (m_copy || !album.isBlank(alb::Album))
        copyTitle(album);
}

// A copy is titled after its original with " - Copy", cut so that the words fit, and
// numbered on when the artist already has an album of that title: the copy could not be
// written under a title that is taken.
void AlbumForm::copyTitle(Record &album)
{
    album.setText(alb::CDIdentifier, QString());
    const int width = tableDef(TableId::Albums).fields.at(alb::Album).size;
    const QString original = clipped(album.text(alb::Album));
    Table &albums = table();
    const Record keep = albums.buffer();
    const Table::CurrentRecord current = albums.current();
    for (int copy = 1; copy < 100; ++copy) {
        const QString suffix = copy == 1 ? CopySuffix : CopySuffix + u' ' + QString::number(copy);
        album.setText(alb::Album, clipped(original.left(width - suffix.size())) + suffix);
        albums.buffer() = album;
        if (albums.duplicate(alb::KeyAlbum) != Table::Found::Yes)
            break;
    }
    albums.buffer() = keep;
    albums.setCurrent(current);
}

void AlbumForm::loadFields()
{
    UpdateForm::loadFields();
    fillMediaList();
    fillCategoryList();
    const Record &album = record();
    m_notes->setPlainText(album.memo(alb::Notes));
    m_recording->setPlainText(album.memo(alb::Recording));
    m_performance->setPlainText(album.memo(alb::Performance));
    showImage();
    m_songs->show(album.number(alb::AlbumID));
}

void AlbumForm::storeFields()
{
    UpdateForm::storeFields();
    Record &album = record();
    album.setText(alb::Media, oneLineText(m_media->currentText()));
    const QString category = m_category->currentText().trimmed();
    if (category.isEmpty()) {
        album.setNumber(alb::CategoryID, 0);
    } else {
        for (int i = 0; i < m_category->count(); ++i) {
            if (m_category->itemText(i).compare(category, Qt::CaseInsensitive) == 0)
                album.setNumber(alb::CategoryID, m_category->itemData(i).toLongLong());
        }
    }
    album.setMemo(alb::Notes, m_notes->toPlainText());
    album.setMemo(alb::Recording, m_recording->toPlainText());
    album.setMemo(alb::Performance, m_performance->toPlainText());
}

const Record &AlbumForm::albumForCallees()
{
    storeFields();
    session().store().table(TableId::Albums).buffer() = record();
    return record();
}

void AlbumForm::fillMediaList()
{
    fillMediaChoices(session().store(), m_media, record().text(alb::Media));
}

void AlbumForm::fillCategoryList()
{
    fillCategoryChoices(session().store(), m_category, record().number(alb::CategoryID));
}

bool AlbumForm::checkFields()
{
    return checkMedia() && checkCategory() && checkRating();
}

// Only a format on file: no warning, the cursor goes back to the field.
bool AlbumForm::checkMedia()
{
    const QString name = m_media->currentText().trimmed();
    if (m_media->count() == 0 && name.isEmpty())
        return true;
    for (int i = 0; i < m_media->count(); ++i) {
        if (m_media->itemText(i).compare(name, Qt::CaseInsensitive) == 0) {
            m_media->setCurrentText(m_media->itemText(i));
            record().setText(alb::Media, m_media->itemText(i));
            return true;
        }
    }
    rejectEntry(m_media, QStringLiteral("Media: choose a format from the list"));
    return false;
}

// A category must already exist: the album form adds none.
bool AlbumForm::checkCategory()
{
    if (const std::optional<qint64> id = chosenCategory(m_category)) {
        record().setNumber(alb::CategoryID, *id);
        return true;
    }
    rejectEntry(m_category, QStringLiteral("Category: choose a category from the list"));
    return false;
}

bool AlbumForm::checkRating()
{
    const qint64 rating = deformat(m_rating->text(), u"@n2b").toLongLong();
    return checkRange(m_rating, rating, 0, 10, QStringLiteral("ALB:Rating"));
}

void AlbumForm::recallHistory()
{
    UpdateForm::recallHistory();
    const auto saved = session().lastSaved().constFind(QStringLiteral("UpdateAlbum"));
    if (saved != session().lastSaved().constEnd() && m_media->hasFocus())
        m_media->setCurrentText(saved->text(alb::Media));
}

void AlbumForm::chooseSoundFile()
{
    auto *dialog =
        new QFileDialog(this, QStringLiteral("Select WAV File"), m_soundFile->text(),
                        QStringLiteral("WAV Files (*.WAV *.wav);;MP3 Files (*.mp3 *.MP3);;"
                                       "FLAC Files (*.flac *.FLAC);;Ogg Files (*.ogg *.oga "
                                       "*.OGG);;M4A Files (*.m4a *.M4A);;All Files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        const QString problem =
            path.size() > PathLength
                ? QStringLiteral("The file's name is longer than the %1 characters an album "
                                 "can keep: ")
                          .arg(PathLength) +
                      path
                : soundFileProblem(path);
        if (!problem.isEmpty()) {
            showError(problem);
            return;
        }
        m_soundFile->setText(path);
    });
    dialog->open();
}

void AlbumForm::playSoundFile()
{
    m_player->play(clipped(m_soundFile->text()));
}

// A folder plays from its first track; opened, it shows in the desktop's file manager.
void AlbumForm::playWithAssociatedPlayer()
{
    const QString path = clipped(m_soundFile->text());
    const QString sound = soundToPlay(path);
    if (sound.isEmpty() || !soundFileProblem(sound).isEmpty() ||
        !openOnDesktop(QUrl::fromLocalFile(sound)))
        showError(QStringLiteral("Could not play ") + path + u'.');
}

void AlbumForm::openWithAssociatedProgram()
{
    const QString path = clipped(m_soundFile->text());
    const QString problem = soundFileProblem(path);
    if (!problem.isEmpty())
        showError(problem);
    else if (!openOnDesktop(QUrl::fromLocalFile(path)))
        showError(QStringLiteral("Could not open ") + path + u'.');
}

void AlbumForm::chooseImage()
{
    auto *dialog = new QFileDialog(this, QStringLiteral("Choose a File"), m_image->text(),
                                   QStringLiteral("All Files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        const QString problem =
            path.size() > PathLength
                ? QStringLiteral("The file's name is longer than the %1 characters an album "
                                 "can keep: ")
                          .arg(PathLength) +
                      path
                : imageFileProblem(path);
        if (!problem.isEmpty()) {
            showError(problem);
            return;
        }
        m_image->setText(path);
        showImage();
    });
    dialog->open();
}

// The picture scaled into its box, or what stands in its place and why.
void AlbumForm::showImage()
{
    const QString path = clipped(m_image->text());
    m_picture->setPixmap(QPixmap());
    m_pictureImage = QImage();
    if (path.isEmpty()) {
        m_picture->setText(QStringLiteral("No picture"));
        return;
    }
    const QString problem = imageFileProblem(path);
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = problem.isEmpty() ? reader.read() : QImage();
    if (image.isNull()) {
        m_picture->setText(QStringLiteral("No picture: ") +
                           (problem.isEmpty() ? reader.errorString() : problem));
        return;
    }
    m_pictureImage = image;
    scalePicture();
}

void AlbumForm::scalePicture()
{
    if (m_pictureImage.isNull())
        return;
    const QSize room = m_picture->contentsRect().size().expandedTo(QSize(150, 150));
    m_picture->setPixmap(QPixmap::fromImage(
        m_pictureImage.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

bool AlbumForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_picture && event->type() == QEvent::Resize)
        scalePicture();
    return UpdateForm::eventFilter(watched, event);
}

// The reader works on the shared album buffer and keeps what it found back until the disc
// was read whole; the form takes it only then, so a reading that failed or was cancelled
// leaves the album as the fields show it. The form waits meanwhile: its album is what the
// reading started from.
void AlbumForm::readFromDisc(bool identifierOnly)
{
    if (m_reading || m_songs->isBusy())
        return;
    const QString before = clipped(record().text(alb::CDIdentifier));
    const Record started = albumForCallees();
    m_reading = ReadCompactDiscInformation(session(), identifierOnly, false, 0, this);
    setEnabled(false);
    connect(m_reading, &CdReading::finished, this,
            [this, identifierOnly, before, started, reading = m_reading.data()](bool read) {
                setEnabled(true);
                Record &buffer = session().store().table(TableId::Albums).buffer();
                if (!read) {
                    buffer = started;
                    return;
                }
                Record &album = record();
                album.setText(alb::CDIdentifier, buffer.text(alb::CDIdentifier));
                if (!identifierOnly) {
                    album.setNumber(alb::TotalTime, buffer.number(alb::TotalTime));
                    album.setText(alb::XCCD, buffer.text(alb::XCCD));
                    m_discIds = reading->ids();
                }
                buffer = album;
                loadFields();
                showDiscIds();
                if (identifierOnly)
                    ask(Message{QStringLiteral("Process complete"),
                                clipped(album.text(alb::CDIdentifier)) != before
                                    ? QStringLiteral("CD Identification updated.")
                                    : QStringLiteral("CD Identification not updated."),
                                Ok, Ok, Icon::Information});
            });
}

void AlbumForm::readDisc()
{
    readFromDisc(false);
}

void AlbumForm::readIdentifier()
{
    readFromDisc(true);
}

void AlbumForm::showDiscIds()
{
    m_musicBrainz->setText(m_discIds.musicBrainz.isEmpty()
                               ? QStringLiteral("(read the disc to find it)")
                               : m_discIds.musicBrainz);
    m_openMusicBrainz->setEnabled(!m_discIds.musicBrainz.isEmpty());
}

void AlbumForm::openMusicBrainzPage()
{
    if (m_discIds.musicBrainz.isEmpty())
        return;
    if (!openOnDesktop(QUrl(MusicBrainzPage + m_discIds.musicBrainz)))
        showError(QStringLiteral("Could not open the web browser."));
}

} // namespace sv
