#include "addalbumwizard.h"

#include "albumcommit.h"
#include "folderalbum.h"
#include "tracklist.h"

#include "app/fieldentry.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/stddate.h"
#include "songs/codetables.h"
#include "store/errors.h"
#include "store/warnings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDynamicPropertyChangeEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sv {

namespace {

QString procedureOf(AddAlbumWizard::Kind kind)
{
    return kind == AddAlbumWizard::Kind::Compilation ? QStringLiteral("AddCompilation")
                                                     : QStringLiteral("AddSingleArtist");
}

QComboBox *choiceList(int width)
{
    auto *choices = new QComboBox;
    choices->setEditable(true);
    choices->lineEdit()->setMaxLength(width);
    choices->lineEdit()->setValidator(new FieldEntry(width, choices));
    choices->setInsertPolicy(QComboBox::NoInsert); // Enter presses OK, it adds nothing
    return choices;
}

} // namespace

AddAlbumWizard *AddAlbumWizard::open(Session &session, Kind kind, Request request, int instance)
{
    if (request == Request::Change || request == Request::Delete) {
        standardWarning(request == Request::Change ? warning::ChangesNotAllowed
                                                   : warning::DeletionsNotAllowed);
        return nullptr;
    }
    auto *wizard = new AddAlbumWizard(session, kind, instance);
    if (!wizard->start()) {
        delete wizard;
        return nullptr;
    }
    return wizard;
}

AddAlbumWizard::AddAlbumWizard(Session &session, Kind kind, int instance)
    : UpdateForm(session, TableId::Songs, procedureOf(kind), Request::Insert), m_kind(kind)
{
    Store &store = session.store();
    m_lookups =
        session.files().use({&store.table(TableId::Albums), &store.table(TableId::Categories),
                             &store.table(TableId::Media)});
    // The box stands for this run: it starts ticked whatever the settings say.
    Settings::global().autoAddToAlbums = QStringLiteral("1");

    m_tabs = new QTabWidget;
    m_tabs->addTab(generalTab(), QStringLiteral("&General"));
    m_tracks = new TrackList(session, kind == Kind::Compilation, instance, this);
    m_tabs->addTab(m_tracks, QStringLiteral("&Songs"));
    connect(m_tracks, &TrackList::aboutToReadDisc, this, &AddAlbumWizard::prepareReading);
    connect(m_tracks, &TrackList::discRead, this,
            [this](const QString &identifier) { m_identifier = identifier; });
    connect(m_tracks, &TrackList::folderRead, this, &AddAlbumWizard::takeFolder);

    m_addToAlbums = new QCheckBox(QStringLiteral("Add Information to Album Database"));
    m_addToAlbums->setChecked(true);
    connect(m_addToAlbums, &QCheckBox::toggled, this, [](bool on) {
        Settings::global().autoAddToAlbums = on ? QStringLiteral("1") : QStringLiteral("0");
    });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_addToAlbums);
    buttons->addLayout(okCancelButtons(QStringLiteral("&OK")));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    checkWhenLeft(m_media, [this] { return checkMedia(); });
    checkWhenLeft(m_category, [this] { return checkCategory(); });
    resize(700, 420);
}

AddAlbumWizard::~AddAlbumWizard()
{
    Settings::global().autoAddToAlbums =
        settings::read(QStringLiteral("AutoAddToAlbums"), QStringLiteral("1"));
}

QWidget *AddAlbumWizard::generalTab()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    const auto line = [&](const QString &prompt, int field, const QString &picture) {
        auto *edit = new QLineEdit;
        bindLineEdit(edit, field, picture);
        form->addRow(prompt, edit);
    };
    if (m_kind == Kind::SingleArtist) {
        line(QStringLiteral("&Artist:"), mus::Artist, QStringLiteral("@s50"));
        line(QStringLiteral("A&lbum:"), mus::Album, QStringLiteral("@s50"));
    } else {
        line(QStringLiteral("&Compilation Name:"), mus::Album, QStringLiteral("@s50"));
    }
    line(QStringLiteral("&Release Date:"), mus::ReleaseDate, Settings::global().datePicture());
    line(QStringLiteral("&File Number:"), mus::FileNumber, QStringLiteral("@s20"));
    m_category = choiceList(30);
    form->addRow(QStringLiteral("&Category:"), m_category);
    m_media = choiceList(20);
    form->addRow(QStringLiteral("&Media:"), m_media);
    return page;
}

void AddAlbumWizard::setInstance(int instance)
{
    m_tracks->setInstance(instance);
}

// A wizard shown as a window of its own learns its number from the window.
bool AddAlbumWizard::event(QEvent *event)
{
    if (event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() == "instance")
        setInstance(property("instance").toInt());
    return UpdateForm::event(event);
}

QString AddAlbumWizard::title(Request) const
{
    return m_kind == Kind::Compilation ? QStringLiteral("Add Compilation")
                                       : QStringLiteral("Add Album by Single Artist");
}

// The wizard's song is the pattern of every song it adds: it starts blank, on CD.
void AddAlbumWizard::primeDefaults(Record &song)
{
    song.clear();
    song.setText(mus::Media, QStringLiteral("CD"));
}

void AddAlbumWizard::afterPriming(Record &song)
{
    song.setNumber(mus::TrackNumber, 1);
}

void AddAlbumWizard::loadFields()
{
    UpdateForm::loadFields();
    fillMediaChoices(session().store(), m_media, record().text(mus::Media));
    fillCategoryChoices(session().store(), m_category, record().number(mus::CategoryID));
}

void AddAlbumWizard::storeFields()
{
    UpdateForm::storeFields();
    record().setText(mus::Media, oneLineText(m_media->currentText()));
}

bool AddAlbumWizard::checkFields()
{
    return checkMedia() && checkCategory();
}

// The format must be one of the list; the single-artist wizard also looks it up on file
// and says so when it is not there.
bool AddAlbumWizard::checkMedia()
{
    if (m_media->count() == 0 && m_media->currentText().isEmpty())
        return true; // no formats on file at all
    if (m_kind == Kind::SingleArtist) {
        Table &media = session().store().table(TableId::Media);
        const Record keep = media.buffer();
        media.buffer().setText(med::Media, m_media->currentText());
        const bool found = checkExists(m_media, media, med::KeyMedia, QStringLiteral("Media"),
                                       QStringLiteral("Media"));
        const QString name = media.buffer().text(med::Media);
        media.buffer() = keep;
        if (!found)
            return false;
        m_media->setCurrentText(name);
    } else {
        const int listed =
            m_media->findText(m_media->currentText().trimmed(), Qt::MatchFixedString);
        if (listed < 0) {
            rejectEntry(m_media, QStringLiteral("Media: choose a format of the list"));
            return false;
        }
        m_media->setCurrentIndex(listed);
    }
    record().setText(mus::Media, m_media->currentText());
    return true;
}

bool AddAlbumWizard::checkCategory()
{
    const std::optional<qint64> id = enteredCategory(session().store(), m_category);
    if (id)
        record().setNumber(mus::CategoryID, *id);
    return id.has_value();
}

// New rows read from the disc take the album's artist, a compilation's "Various".
void AddAlbumWizard::prepareReading()
{
    storeFields();
    Record &album = session().store().table(TableId::Albums).buffer();
    album.setNumber(alb::AlbumID, 0);
    album.setText(alb::Artist,
                  m_kind == Kind::Compilation ? QString() : record().text(mus::Artist));
}

// What the files of a folder share fills the General tab where they name it; a genre not yet
// on file is offered for adding as a typed category is, and left out when refused.
void AddAlbumWizard::takeFolder(const FolderAlbum &album)
{
    storeFields();
    Record &song = record();
    if (m_kind == Kind::SingleArtist && !album.artist().isEmpty())
        song.setText(mus::Artist, album.artist());
    if (!album.title().isEmpty())
        song.setText(mus::Album, album.title());
    if (album.year() > 0) {
        // A date needs a day: a year alone is the year's first, unless years are all that
        // the catalogue keeps.
        if (dateFormatText(Settings::global().dateFormat) == YearOnlyText)
            song.setNumber(mus::ReleaseDate, album.year());
        else if (album.releaseDate() != 0)
            song.setNumber(mus::ReleaseDate, album.releaseDate());
        else
            song.setNumber(mus::ReleaseDate, makeDate(album.year(), 1, 1));
    }
    loadFields();
    if (const QString genre = album.genre(); !genre.isEmpty()) {
        const QString before = m_category->currentText();
        m_category->setCurrentText(genre.left(m_category->lineEdit()->maxLength()));
        if (!checkCategory())
            m_category->setCurrentText(before);
    }
    const QString folder = QDir::toNativeSeparators(QDir(album.folder).absolutePath());
    const int room = tableDef(TableId::Albums).fields.at(alb::AssociatedWavFile).size;
    m_soundFile = folder.size() <= room ? folder : QString();
    if (m_soundFile.isEmpty())
        ask({QStringLiteral("Read Folder"),
             QStringLiteral("The folder's name is longer than the %1 characters an album can "
                            "keep, so the album will not name it as its sound file:\n")
                     .arg(room) +
                 folder,
             Ok, Ok, Icon::Exclamation});
}

// The album and its songs take the place of the song the wizard held; a failure keeps the
// wizard open with its rows, nothing written.
bool AddAlbumWizard::writeInsert()
{
    const AlbumCommit commit{record(),
                             record().number(mus::ID),
                             m_kind == Kind::Compilation,
                             m_addToAlbums->isChecked(),
                             m_identifier,
                             m_tracks->rows().instance(),
                             m_soundFile};
    CommitOutcome outcome;
    const bool written = commitAlbum(session().store(), commit, outcome);
    if (outcome.message)
        ask(*outcome.message);
    if (!written) {
        m_tracks->refresh();
        return false;
    }
    Table::CurrentRecord first;
    Table &songs = table();
    if (!outcome.songs.isEmpty()) {
        const Record keep = songs.buffer();
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, outcome.songs.first());
        if (songs.get(mus::KeyID))
            first = songs.current();
        songs.buffer() = keep;
    }
    setWrittenRecord(first);
    return true;
}

} // namespace sv
