#include "settings.h"

#include "platform/inifile.h"
#include "platform/paths.h"

namespace sv {

namespace settings {

QString file()
{
    return Paths::settingsFile();
}

QString read(const QString &entry, const QString &defaultValue, const QString &section)
{
    return IniFile::get(section, entry, defaultValue, file());
}

qint64 readNumber(const QString &entry, qint64 defaultValue, const QString &section)
{
    return IniFile::getNumber(section, entry, defaultValue, file());
}

void write(const QString &entry, const QString &value, const QString &section)
{
    IniFile::put(section, entry, value, file());
}

void writeNumber(const QString &entry, qint64 value, const QString &section)
{
    IniFile::putNumber(section, entry, value, file());
}

} // namespace settings

namespace {

int readFlag(const char *entry, int defaultValue)
{
    return int(settings::readNumber(QString::fromLatin1(entry), defaultValue));
}

QString readText(const char *entry, const QString &defaultValue)
{
    return settings::read(QString::fromLatin1(entry), defaultValue);
}

void writeText(const char *entry, const QString &value)
{
    settings::write(QString::fromLatin1(entry), value);
}

void writeFlag(const char *entry, int value)
{
    settings::writeNumber(QString::fromLatin1(entry), value);
}

} // namespace

Settings &Settings::global()
{
    static Settings settings;
    return settings;
}

bool Settings::autoAddsToAlbums() const
{
    const QString value = autoAddToAlbums.trimmed();
    return !value.isEmpty() && value != u"0";
}

QChar Settings::addModeLetter() const
{
    const QString value = addMode.trimmed().toUpper();
    if (value.startsWith(u'A') || value.startsWith(u'C') || value.startsWith(u'S'))
        return value.at(0);
    return u'N';
}

void Settings::load()
{
    reportStyle = QStringLiteral("Standard");
    reportInclude = QStringLiteral("All");
    suAlbums = readFlag("SU_Albums", 0);
    suSongs = readFlag("SU_Songs", 0);
    suPlaylists = readFlag("SU_Playlists", 0);
    suLabels = readFlag("SU_Labels", 0);
    autoAddToAlbums = readText("AutoAddToAlbums", QStringLiteral("1"));
    addMode = readText("AddMode", QStringLiteral("1"));
    labelArtistTitleOrder = readText("LabelArtistTitleOrder", QStringLiteral("1"));
    delimiter = readText("GLO:Delimiter", QStringLiteral(".")).left(1);
    udkPrompt = readText("UDKPrompt", QStringLiteral("Custom")).left(24);
    notesLabel = readText("NotesLabel", QStringLiteral("Notes")).left(20);
    dateFormat = readText("DateFormat", QString()).left(6);
    logo = readText("Logo", QString()).left(255);
    mainLogo = readText("MainLogo", QString());
    useLog = readFlag("UseLog", 0);
    interface = readText("Interface", QStringLiteral("Standard")).left(20);
    cdTimer = readFlag("CDTimer", 150);
    setupWizardComplete = readFlag("SetupWizardComplete", 0);
    defaultWizardCompilation = readFlag("DefaultWizardCompilation", 0);
    saveLastTab = readFlag("SaveLastTab", 1);
    altCasFmt = readFlag("AltCasFmt", 0);
    dbgMode = readFlag("DbgMode", 0);
    showTips = readFlag("ShowTips", 1);
    backupFolder = readText("BackupFolder", QString());
    backupsKept = qBound(1, readFlag("BackupsKept", 10), int(MaxBackupsKept));
    autoBackup = readFlag("AutoBackup", 1);
}

void Settings::reloadStartUpEntries()
{
    suAlbums = readFlag("SU_Albums", 0);
    suSongs = readFlag("SU_Songs", 0);
    suPlaylists = readFlag("SU_Playlists", 0);
    suLabels = readFlag("SU_Labels", 0);
}

// The entries Preferences and the setup wizard both write, in the order both write them.
void Settings::writeSharedEntries() const
{
    writeText("AutoAddToAlbums", autoAddToAlbums);
    writeText("AddMode", addMode);
    writeText("LabelArtistTitleOrder", labelArtistTitleOrder);
    writeText("GLO:Delimiter", delimiter);
    writeText("UDKPrompt", udkPrompt);
    writeText("NotesLabel", notesLabel);
    writeFlag("Setup", 1);
    writeText("Interface", interface);
    writeFlag("SU_Albums", suAlbums);
    writeFlag("SU_Songs", suSongs);
    writeFlag("SU_Playlists", suPlaylists);
    writeFlag("SU_Labels", suLabels);
    writeText("Logo", logo);
}

void Settings::writePreferences() const
{
    writeSharedEntries();
    writeFlag("AltCasFmt", altCasFmt);
    writeFlag("UseLog", useLog);
    writeFlag("ShowTips", showTips);
    writeFlag("SaveLastTab", saveLastTab);
    writeFlag("DefaultWizardCompilation", defaultWizardCompilation);
    writeText("BackupFolder", backupFolder);
    writeFlag("BackupsKept", backupsKept);
    writeFlag("AutoBackup", autoBackup);
}

void Settings::writeSetupWizard() const
{
    writeSharedEntries();
    writeFlag("DefaultWizardCompilation", defaultWizardCompilation);
    writeFlag("SetupWizardComplete", 1);
}

void Settings::writeDateFormat() const
{
    writeText("DateFormat", dateFormat);
}

QString Settings::datePicture() const
{
    const QString chosen = dateFormat.trimmed();
    if (chosen.isEmpty())
        return QStringLiteral("@d17");
    return chosen.startsWith(u'@') ? chosen : u'@' + chosen;
}

const QList<DateFormatChoice> &dateFormatChoices()
{
    static const QList<DateFormatChoice> choices = {
        {QStringLiteral("Windows Default"), QStringLiteral("d17")},
        {YearOnlyText, YearOnlyPicture},
        {QStringLiteral("October 31, 1959"), QStringLiteral("d4")},
        {QStringLiteral("OCT 31,1959"), QStringLiteral("d3")},
        {QStringLiteral("10/31/59"), QStringLiteral("d1")},
        {QStringLiteral("10/31/1959"), QStringLiteral("d2")},
        {QStringLiteral("31 OCT 59"), QStringLiteral("d7")},
        {QStringLiteral("31 OCT 1959"), QStringLiteral("d8")},
        {QStringLiteral("31/10/59"), QStringLiteral("d5")},
        {QStringLiteral("31/10/1959"), QStringLiteral("d6")},
        {QStringLiteral("59/10"), QStringLiteral("d15")},
        {QStringLiteral("1959/10"), QStringLiteral("d16")},
        {QStringLiteral("10/59"), QStringLiteral("d13")},
        {QStringLiteral("10/1959"), QStringLiteral("d14")},
        {QStringLiteral("Windows Default 2"), QStringLiteral("d18")},
    };
    return choices;
}

QString dateFormatText(const QString &picture)
{
    const QString bare =
        picture.trimmed().startsWith(u'@') ? picture.trimmed().mid(1) : picture.trimmed();
    for (const DateFormatChoice &choice : dateFormatChoices()) {
        if (choice.picture.compare(bare, Qt::CaseInsensitive) == 0)
            return choice.text;
    }
    return QString();
}

QString dateFormatPicture(const QString &text)
{
    for (const DateFormatChoice &choice : dateFormatChoices()) {
        if (choice.text == text)
            return choice.picture;
    }
    return QString();
}

} // namespace sv
