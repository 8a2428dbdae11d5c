#include "preferences.h"

#include "backups.h"
#include "housekeeping.h"
#include "platform/prompter.h"
#include "progresswindow.h"
#include "session.h"
#include "settings.h"
#include "setupwizard.h"
#include "windowposition.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace sv {

namespace {

const QString WindowName = u"Preferences"_s;

Preferences::FileChooser &fileChooser()
{
    static Preferences::FileChooser chooser;
    return chooser;
}

Preferences::FileChooser &folderChooser()
{
    static Preferences::FileChooser chooser;
    return chooser;
}

QGroupBox *radioGroup(const QString &title, const QStringList &choices, QButtonGroup *&group,
                      QWidget *owner)
{
    auto *box = new QGroupBox(title);
    auto *layout = new QVBoxLayout(box);
    group = new QButtonGroup(owner);
    for (const QString &choice : choices) {
        auto *radio = new QRadioButton(choice);
        group->addButton(radio);
        layout->addWidget(radio);
    }
    return box;
}

// Leaves every radio cleared when none carries the text, as the stored value then names
// no choice.
void selectRadio(QButtonGroup *group, const QString &text)
{
    for (QAbstractButton *button : group->buttons()) {
        if (button->text().compare(text, Qt::CaseInsensitive) == 0) {
            button->setChecked(true);
            return;
        }
    }
}

QString chosenRadio(const QButtonGroup *group, const QString &unchanged)
{
    return group->checkedButton() ? group->checkedButton()->text() : unchanged;
}

QString addModeText(QChar letter)
{
    switch (letter.unicode()) {
    case u'C':
        return u"Compilation"_s;
    case u'S':
        return u"Single Artist"_s;
    case u'A':
        return u"Ask Each Time"_s;
    default:
        return u"Normal"_s;
    }
}

QString labelOrderText(const QString &stored)
{
    return stored.trimmed().startsWith(u'A', Qt::CaseInsensitive) ? u"Artist - Title"_s
                                                                  : u"Title - Artist"_s;
}

QLineEdit *lineEdit(int maxLength)
{
    auto *edit = new QLineEdit;
    edit->setMaxLength(maxLength);
    return edit;
}

} // namespace

Preferences *Preferences::open(Session &session, QWidget *frame,
                               std::function<void(QWidget *caller)> openFileManager,
                               std::function<void(QWidget *caller)> openFindDuplicates)
{
    if (Settings::global().setupWizardComplete == 0) {
        SetupWizard::open(session, frame, {});
        return nullptr;
    }
    auto *preferences =
        new Preferences(session, frame, std::move(openFileManager), std::move(openFindDuplicates));
    preferences->QDialog::open();
    return preferences;
}

void Preferences::setFileChooser(FileChooser chooser)
{
    fileChooser() = std::move(chooser);
}

void Preferences::setFolderChooser(FileChooser chooser)
{
    folderChooser() = std::move(chooser);
}

Preferences::Preferences(Session &session, QWidget *frame,
                         std::function<void(QWidget *caller)> openFileManager,
                         std::function<void(QWidget *caller)> openFindDuplicates)
    : QDialog(frame), m_session(session), m_openFileManager(std::move(openFileManager)),
      m_openFindDuplicates(std::move(openFindDuplicates))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(WindowName);
    auto *tabs = new QTabWidget;
    tabs->addTab(createGeneralTab(), u"General"_s);
    tabs->addTab(createStartUpTab(), u"Start Up"_s);
    tabs->addTab(createAddingTab(), u"Adding"_s);
    tabs->addTab(createLabelsTab(), u"Labels"_s);
    tabs->addTab(createHousekeepingTab(), u"Housekeeping"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(createLogoRow());
    layout->addLayout(createButtons());
    layout->setSizeConstraint(QLayout::SetFixedSize);
    loadFields();
    restoreWindowPosition(WindowName, this, false);
}

QWidget *Preferences::createGeneralTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(
        radioGroup(u"Interface"_s, {u"Standard"_s, u"Explorer"_s}, m_interface, this));
    auto *dateRow = new QFormLayout;
    m_dateFormat = new DateFormatList;
    dateRow->addRow(u"Date Format:"_s, m_dateFormat);
    layout->addLayout(dateRow);
    auto *prompts = new QGroupBox(u"Prompts (Field Labels)"_s);
    auto *form = new QFormLayout(prompts);
    m_udkPrompt = lineEdit(20);
    m_notesLabel = lineEdit(20);
    form->addRow(u"User Defined Key Field:"_s, m_udkPrompt);
    form->addRow(u"Notes Field (on DJ Log):"_s, m_notesLabel);
    layout->addWidget(prompts);
    layout->addStretch();
    return tab;
}

QCheckBox *Preferences::addCheckBox(QLayout *layout, const QString &text)
{
    auto *box = new QCheckBox(text);
    layout->addWidget(box);
    return box;
}

QWidget *Preferences::createStartUpTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    auto *show = new QGroupBox(u"Show At Start Up"_s);
    auto *showLayout = new QVBoxLayout(show);
    m_albums = addCheckBox(showLayout, u"Albums"_s);
    m_songs = addCheckBox(showLayout, u"Songs"_s);
    m_labels = addCheckBox(showLayout, u"Labels"_s);
    m_playlists = addCheckBox(showLayout, u"Playlists"_s);
    layout->addWidget(show);
    auto *tips = new QGroupBox(u"Tips"_s);
    m_showTips = addCheckBox(new QVBoxLayout(tips), u"Show tip at startup"_s);
    layout->addWidget(tips);
    m_saveLastTab = addCheckBox(layout, u"At start up, select last order tab used"_s);
    layout->addStretch();
    return tab;
}

QWidget *Preferences::createAddingTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(radioGroup(
        u"Add Mode"_s, {u"Normal"_s, u"Compilation"_s, u"Single Artist"_s, u"Ask Each Time"_s},
        m_addMode, this));
    m_compilationWizard =
        addCheckBox(layout, u"When adding from CD Player, use Add Compilation Wizard"_s);
    m_autoAddToAlbums =
        addCheckBox(layout, u"Automatically Add Album Information to Album Database"_s);
    layout->addStretch();
    return tab;
}

QWidget *Preferences::createLabelsTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(radioGroup(u"Label Wizard Order"_s,
                                 {u"Artist - Title"_s, u"Title - Artist"_s}, m_labelOrder, this));
    auto *form = new QFormLayout;
    m_delimiter = lineEdit(1);
    m_delimiter->setMaximumWidth(m_delimiter->fontMetrics().averageCharWidth() * 5);
    form->addRow(u"Track #/Song Delimiter"_s, m_delimiter);
    layout->addLayout(form);
    m_altCassetteFormat = addCheckBox(layout, u"Use Alternate Cassette Format"_s);
    layout->addStretch();
    return tab;
}

QWidget *Preferences::createHousekeepingTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    auto *warning = new QVBoxLayout;
    warning->setSpacing(0);
    warning->addWidget(
        new QLabel(u"These functions should only be used to correct known problems"_s));
    warning->addWidget(
        new QLabel(u"in earlier versions.  They can cause damage if used improperly.."_s));
    layout->addLayout(warning);
    auto *albumBuild = new QPushButton(u"Create Album Database from SongVane Database"_s);
    auto *linkTest = new QPushButton(u"Test Album Database Link Integrity"_s);
    auto *fileManager = new QPushButton(u"File Manager"_s);
    auto *duplicates = new QPushButton(u"Find Duplicates"_s);
    for (QPushButton *button : {albumBuild, linkTest, fileManager, duplicates}) {
        button->setAutoDefault(false);
        layout->addWidget(button);
    }
    connect(albumBuild, &QPushButton::clicked, this, [this] {
        storeFields();
        runAlbumBuild(m_session, true, this, housekeepingStarted());
    });
    connect(linkTest, &QPushButton::clicked, this, [this] {
        storeFields();
        runLinkTest(m_session, this, housekeepingStarted());
    });
    fileManager->setEnabled(bool(m_openFileManager));
    connect(fileManager, &QPushButton::clicked, this, [this] {
        storeFields();
        m_openFileManager(this);
    });
    duplicates->setEnabled(bool(m_openFindDuplicates));
    connect(duplicates, &QPushButton::clicked, this, [this] {
        storeFields();
        m_openFindDuplicates(this);
    });
    m_useLog = addCheckBox(layout, u"Log MCI traffic (Warning:  The log will be large!)"_s);
    layout->addWidget(createBackupsBox());
    layout->addStretch();
    return tab;
}

QGroupBox *Preferences::createBackupsBox()
{
    auto *box = new QGroupBox(u"Backups"_s);
    auto *form = new QFormLayout(box);
    m_backupFolder = new QLineEdit;
    m_backupFolder->setPlaceholderText(QDir::toNativeSeparators(defaultBackupsFolder(m_session)));
    m_backupFolder->setMinimumWidth(m_backupFolder->fontMetrics().averageCharWidth() * 40);
    // A line break or a NUL cannot be part of a folder's name.
    m_backupFolder->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"[^\\x{0}\\n\\r]*"_s), m_backupFolder));
    connect(m_backupFolder, &QLineEdit::editingFinished, this,
            [this] { static_cast<void>(checkBackupFolder()); });
    auto *browse = new QPushButton(u"Bro&wse..."_s);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &Preferences::chooseBackupFolder);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_backupFolder, 1);
    folderRow->addWidget(browse);
    auto *folderLabel = new QLabel(u"Backup &Folder:"_s);
    folderLabel->setBuddy(m_backupFolder);
    form->addRow(folderLabel, folderRow);
    m_backupsKept = new QSpinBox;
    m_backupsKept->setRange(1, Settings::MaxBackupsKept);
    m_backupsKept->setToolTip(u"The newest backups kept; older ones are thinned to one a day, "
                              u"a week and a month"_s);
    form->addRow(u"Backups &Kept:"_s, m_backupsKept);
    m_autoBackup = new QCheckBox(u"Back up the catalogue after a session that changed it"_s);
    form->addRow(m_autoBackup);
    auto *now = new QPushButton(u"Back &Up Now"_s);
    now->setAutoDefault(false);
    connect(now, &QPushButton::clicked, this, [this] {
        if (!checkBackupFolder())
            return;
        storeFields();
        runBackup(m_session, this, true, housekeepingStarted());
    });
    form->addRow(now);
    return box;
}

// A folder typed by hand must be there: backups are never made where no folder was meant.
bool Preferences::checkBackupFolder()
{
    const QString text = m_backupFolder->text().trimmed();
    if (text.isEmpty() || QFileInfo(text).isDir() || m_checkingFolder)
        return true;
    m_checkingFolder = true;
    ask(Message{u"Backups"_s,
                u"The folder \"%1\" does not exist.  Choose a folder that does, or leave the "
                u"field blank to keep backups beside the catalogue."_s.arg(text),
                Ok, Ok, Icon::Exclamation});
    m_checkingFolder = false;
    m_backupFolder->setFocus();
    m_backupFolder->selectAll();
    return false;
}

void Preferences::chooseBackupFolder()
{
    const QString start = m_backupFolder->text().trimmed().isEmpty()
                              ? m_session.store().database().folder()
                              : m_backupFolder->text().trimmed();
    if (folderChooser()) {
        const QString chosen = folderChooser()(start);
        if (!chosen.isEmpty())
            m_backupFolder->setText(QDir::toNativeSeparators(chosen));
        return;
    }
    auto *dialog = new QFileDialog(this, u"Choose the Backup Folder"_s, start);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    connect(dialog, &QFileDialog::fileSelected, m_backupFolder, [this](const QString &folder) {
        m_backupFolder->setText(QDir::toNativeSeparators(folder));
    });
    dialog->open();
}

QLayout *Preferences::createLogoRow()
{
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(u"Company Logo:"_s);
    m_logo = lineEdit(255);
    label->setBuddy(m_logo);
    auto *browse = new QPushButton(u"&Browse"_s);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &Preferences::chooseLogo);
    row->addWidget(label);
    row->addWidget(m_logo, 1);
    row->addWidget(browse);
    return row;
}

QLayout *Preferences::createButtons()
{
    auto *row = new QHBoxLayout;
    auto *wizard = new QPushButton(u"Use Setup Wi&zard"_s);
    m_ok = new QPushButton(u"&OK"_s);
    auto *cancel = new QPushButton(u"Cancel"_s);
    wizard->setAutoDefault(false);
    cancel->setAutoDefault(false);
    m_ok->setDefault(true);
    row->addWidget(wizard);
    row->addStretch();
    row->addWidget(m_ok);
    row->addWidget(cancel);
    connect(wizard, &QPushButton::clicked, this, &Preferences::useSetupWizard);
    connect(m_ok, &QPushButton::clicked, this, &Preferences::accept);
    connect(cancel, &QPushButton::clicked, this, &Preferences::reject);
    return row;
}

void Preferences::loadFields()
{
    Settings &settings = Settings::global();
    settings.reloadStartUpEntries();
    m_dateFormat->showPicture(settings.dateFormat);
    m_openingDateText = m_dateFormat->chosenText();
    selectRadio(m_interface, settings.interface.trimmed());
    m_udkPrompt->setText(settings.udkPrompt.left(20));
    m_notesLabel->setText(settings.notesLabel);
    m_albums->setChecked(settings.suAlbums != 0);
    m_songs->setChecked(settings.suSongs != 0);
    m_labels->setChecked(settings.suLabels != 0);
    m_playlists->setChecked(settings.suPlaylists != 0);
    m_showTips->setChecked(settings.showTips != 0);
    m_saveLastTab->setChecked(settings.saveLastTab != 0);
    selectRadio(m_addMode, addModeText(settings.addModeLetter()));
    m_compilationWizard->setChecked(settings.defaultWizardCompilation != 0);
    m_autoAddToAlbums->setChecked(settings.autoAddsToAlbums());
    selectRadio(m_labelOrder, labelOrderText(settings.labelArtistTitleOrder));
    m_delimiter->setText(settings.delimiter);
    m_altCassetteFormat->setChecked(settings.altCasFmt != 0);
    m_useLog->setChecked(settings.useLog != 0);
    m_logo->setText(settings.logo);
    m_backupFolder->setText(settings.backupFolder);
    m_backupsKept->setValue(qBound(1, settings.backupsKept, Settings::MaxBackupsKept));
    m_autoBackup->setChecked(settings.autoBackup != 0);
}

void Preferences::storeFields()
{
    Settings &settings = Settings::global();
    settings.interface = chosenRadio(m_interface, settings.interface);
    settings.udkPrompt = m_udkPrompt->text();
    settings.notesLabel = m_notesLabel->text();
    settings.suAlbums = m_albums->isChecked();
    settings.suSongs = m_songs->isChecked();
    settings.suLabels = m_labels->isChecked();
    settings.suPlaylists = m_playlists->isChecked();
    settings.showTips = m_showTips->isChecked();
    settings.saveLastTab = m_saveLastTab->isChecked();
    settings.addMode = chosenRadio(m_addMode, settings.addMode);
    settings.defaultWizardCompilation = m_compilationWizard->isChecked();
    settings.autoAddToAlbums = m_autoAddToAlbums->isChecked() ? u"1"_s : u"0"_s;
    settings.labelArtistTitleOrder = chosenRadio(m_labelOrder, settings.labelArtistTitleOrder);
    settings.delimiter = m_delimiter->text();
    settings.altCasFmt = m_altCassetteFormat->isChecked();
    settings.useLog = m_useLog->isChecked();
    settings.logo = m_logo->text();
    settings.backupFolder = m_backupFolder->text().trimmed();
    settings.backupsKept = m_backupsKept->value();
    settings.autoBackup = m_autoBackup->isChecked();
}

void Preferences::chooseLogo()
{
    if (fileChooser()) {
        const QString chosen = fileChooser()(m_logo->text());
        if (!chosen.isEmpty())
            m_logo->setText(chosen);
        return;
    }
    auto *dialog = new QFileDialog(this, u"Choose a File"_s, m_logo->text(), u"All Files (*.*)"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, m_logo, &QLineEdit::setText);
    dialog->open();
}

std::function<void(bool)> Preferences::housekeepingStarted()
{
    ++m_housekeeping;
    return [self = QPointer<Preferences>(this)](bool) {
        if (self)
            --self->m_housekeeping;
    };
}

bool Preferences::housekeepingAllowsClosing()
{
    if (m_housekeeping == 0)
        return true;
    const Message question{u"Housekeeping"_s,
                           u"A housekeeping process is still running.  Stop it now and close "
                           u"Preferences?  What it has done so far is kept."_s,
                           Yes | No, No, Icon::Question};
    if (ask(question) != Yes)
        return false;
    for (ProgressWindow *window : findChildren<ProgressWindow *>())
        window->cancel();
    return true;
}

void Preferences::useSetupWizard()
{
    if (!housekeepingAllowsClosing())
        return;
    storeFields();
    SetupWizard::open(m_session, parentWidget(), {});
    QDialog::done(Rejected);
}

void Preferences::accept()
{
    if (m_converting || !checkBackupFolder() || !housekeepingAllowsClosing())
        return;
    storeFields();
    Settings::global().writePreferences();
    const QString chosenText = m_dateFormat->chosenText();
    if (chosenText != m_openingDateText) {
        Message information;
        information.caption = u"Information"_s;
        information.text = u"Date format changes will not affect currently open windows.  You "
                           u"can close and re-open windows, or exit and restart SongVane Pro to "
                           u"view information using the new date format."_s;
        ask(information);
    }
    confirmDateFormat(chosenText);
}

void Preferences::confirmDateFormat(const QString &chosenText)
{
    const bool wasYearOnly = dateFormatText(Settings::global().dateFormat) == YearOnlyText;
    if (wasYearOnly || chosenText != YearOnlyText || !confirmYearOnlyConversion()) {
        saveDateFormatAndClose(chosenText);
        return;
    }
    m_converting = true;
    m_ok->setEnabled(false);
    QPointer<Preferences> self(this);
    runDateConversions(m_session, this, [self, chosenText](bool) {
        saveDateFormat(chosenText);
        if (self) {
            self->m_converting = false;
            self->QDialog::accept();
        }
    });
}

void Preferences::saveDateFormatAndClose(const QString &chosenText)
{
    saveDateFormat(chosenText);
    QDialog::accept();
}

void Preferences::reject()
{
    if (m_converting || !housekeepingAllowsClosing())
        return;
    Settings::global().load();
    QDialog::reject();
}

void Preferences::done(int result)
{
    saveWindowPosition(WindowName, this);
    QDialog::done(result);
}

} // namespace sv
