#pragma once

#include <QList>
#include <QString>

namespace sv {

// The user's settings, read once into one shared place by the settings loader and written
// back by Preferences, the setup wizard and a few windows. A missing entry gives its
// default; a cleared check box reads as off in every reader.
struct Settings
{
    // Section "Settings" of the settings file, in the loader's order.
    int suAlbums = 0;
    int suSongs = 0;
    int suPlaylists = 0;
    int suLabels = 0;
    QString autoAddToAlbums = QStringLiteral("1");
    QString addMode = QStringLiteral("1");
    QString labelArtistTitleOrder = QStringLiteral("1");
    QString delimiter = QStringLiteral(".");
    QString udkPrompt = QStringLiteral("Custom");
    QString notesLabel = QStringLiteral("Notes");
    QString dateFormat;
    QString logo;
    QString mainLogo;
    int useLog = 0;
    QString interface = QStringLiteral("Standard");
    int cdTimer = 150;
    int setupWizardComplete = 0;
    int defaultWizardCompilation = 0;
    int saveLastTab = 1;
    int altCasFmt = 0;
    int dbgMode = 0;
    int showTips = 1;
    // Backups: the folder they go to (blank: "Backups" beside the catalogue's files), how
    // many of the newest are kept, and whether one is taken after a run that changed the
    // catalogue.
    QString backupFolder;
    int backupsKept = 10;
    int autoBackup = 1;
    static constexpr int MaxBackupsKept = 999;

    // Report criteria defaults set by the loader.
    QString reportStyle = QStringLiteral("Standard");
    QString reportInclude = QStringLiteral("All");

    // "1" (or any text but blank and "0") means on.
    bool autoAddsToAlbums() const;
    // First letters decide: A asks each time, C compilation, S single artist, else normal.
    QChar addModeLetter() const;
    // The picture release dates are typed and shown in: the chosen date format, the
    // system's short date when none is chosen.
    QString datePicture() const;

    void load();                   // the settings loader
    void reloadStartUpEntries();   // SU_* read again from the file
    void writePreferences() const; // what Preferences OK writes, in its order
    void writeSetupWizard() const; // what the setup wizard's Finish writes
    void writeDateFormat() const;

    static Settings &global();

private:
    void writeSharedEntries() const;
};

// Section names and the settings file.
namespace settings {
QString file();
inline const QString Section = QStringLiteral("Settings");
inline const QString GlobalSection = QStringLiteral("Global Settings");
QString read(const QString &entry, const QString &defaultValue, const QString &section = Section);
qint64 readNumber(const QString &entry, qint64 defaultValue, const QString &section = Section);
void write(const QString &entry, const QString &value, const QString &section = Section);
void writeNumber(const QString &entry, qint64 value, const QString &section = Section);
} // namespace settings

// The date formats the user chooses from, with the picture each stores in DateFormat.
struct DateFormatChoice
{
    QString text;
    QString picture;
};
const QList<DateFormatChoice> &dateFormatChoices();
QString dateFormatText(const QString &picture); // "" for a picture not in the list
QString dateFormatPicture(const QString &text); // "" for a text not in the list
inline const QString YearOnlyText = QStringLiteral("Year Only");
inline const QString YearOnlyPicture = QStringLiteral("n4b");

} // namespace sv
