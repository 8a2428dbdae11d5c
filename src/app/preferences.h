#pragma once

#include <QDialog>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace sv {

class DateFormatList;
class Session;

// The user's preferences over several tabs, plus the housekeeping tools that mend the
// catalogue. OK writes the settings; Cancel reads them all again from the file so that
// nothing edited here stays in effect.
class Preferences : public QDialog
{
    Q_OBJECT

public:
    // Opens Preferences (modal, without waiting) and returns it, or, while the setup has
    // never been completed, opens the setup wizard instead and returns null.
    // `openFileManager` serves the Housekeeping tab's button, disabled when it is empty.
    // `openFindDuplicates` likewise serves "Find Duplicates".
    static Preferences *open(Session &session, QWidget *frame,
                             std::function<void(QWidget *caller)> openFileManager = {},
                             std::function<void(QWidget *caller)> openFindDuplicates = {});

    // Replaces the file dialog of "&Browse": gets the current logo path, returns the chosen
    // one or "" when none was chosen. Empty (the default) means the real dialog.
    using FileChooser = std::function<QString(const QString &startPath)>;
    static void setFileChooser(FileChooser chooser);
    // Replaces the folder dialog of the backup folder's "Browse..." in the same way.
    static void setFolderChooser(FileChooser chooser);

public Q_SLOTS:
    void accept() override; // OK
    void reject() override; // Cancel, Escape and the close box
    void done(int result) override;

private:
    Preferences(Session &session, QWidget *frame,
                std::function<void(QWidget *caller)> openFileManager,
                std::function<void(QWidget *caller)> openFindDuplicates);
    QWidget *createGeneralTab();
    QWidget *createStartUpTab();
    QWidget *createAddingTab();
    QWidget *createLabelsTab();
    QWidget *createHousekeepingTab();
    QGroupBox *createBackupsBox();
    bool checkBackupFolder();
    void chooseBackupFolder();
    QLayout *createLogoRow();
    QLayout *createButtons();
    QCheckBox *addCheckBox(QLayout *layout, const QString &text);
    void loadFields();
    void storeFields();
    void chooseLogo();
    void useSetupWizard();
    void confirmDateFormat(const QString &chosenText);
    void saveDateFormatAndClose(const QString &chosenText);
    // An album build or link test runs in a window of this one: closing Preferences first
    // asks whether to stop it (what it wrote stays), and stays open when told No.
    std::function<void(bool)> housekeepingStarted();
    bool housekeepingAllowsClosing();

    Session &m_session;
    std::function<void(QWidget *caller)> m_openFileManager;
    std::function<void(QWidget *caller)> m_openFindDuplicates;
    QString m_openingDateText;
    bool m_converting = false; // OK's date conversion runs; the window closes when it ends
    int m_housekeeping = 0;    // album builds and link tests running

    QButtonGroup *m_interface = nullptr;
    DateFormatList *m_dateFormat = nullptr;
    QLineEdit *m_udkPrompt = nullptr;
    QLineEdit *m_notesLabel = nullptr;
    QCheckBox *m_albums = nullptr;
    QCheckBox *m_songs = nullptr;
    QCheckBox *m_labels = nullptr;
    QCheckBox *m_playlists = nullptr;
    QCheckBox *m_showTips = nullptr;
    QCheckBox *m_saveLastTab = nullptr;
    QButtonGroup *m_addMode = nullptr;
    QCheckBox *m_compilationWizard = nullptr;
    QCheckBox *m_autoAddToAlbums = nullptr;
    QButtonGroup *m_labelOrder = nullptr;
    QLineEdit *m_delimiter = nullptr;
    QCheckBox *m_altCassetteFormat = nullptr;
    QCheckBox *m_useLog = nullptr;
    QLineEdit *m_logo = nullptr;
    QLineEdit *m_backupFolder = nullptr;
    QSpinBox *m_backupsKept = nullptr;
    QCheckBox *m_autoBackup = nullptr;
    bool m_checkingFolder = false; // its message is on screen
    QPushButton *m_ok = nullptr;
};

} // namespace sv
