#include "paths.h"

#include "platform/commandline.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sv {

namespace {

QString &workingOverride()
{
    static QString folder;
    return folder;
}

QString &configOverride()
{
    static QString folder;
    return folder;
}

// An XDG base folder from its variable; a relative value is ignored, as the standard says.
QString xdgFolder(const char *variable, const QString &fallback)
{
    const QString base = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(base) ? base : QDir::homePath() + fallback;
}

QString defaultConfigFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QStringLiteral("/songvane");
}

// The song table is made on every first start, so its file marks a catalogue folder.
bool holdsCatalogue(const QString &folder)
{
    return QFileInfo::exists(QDir(folder).filePath(QStringLiteral("svpdata.tps")));
}

} // namespace

QString optionValue(const QStringList &arguments, const QString &option)
{
    const qsizetype at = arguments.indexOf(option);
    if (at >= 0 && at + 1 < arguments.size())
        return arguments.at(at + 1);
    const QString prefix = option + u'=';
    for (const QString &argument : arguments) {
        if (argument.startsWith(prefix))
            return argument.mid(prefix.size());
    }
    return {};
}

bool Paths::configure(const QStringList &arguments, QString &problem)
{
    QString data = parseCommandLine(arguments).catalogue;
    const QFileInfo named(data);
    if (!data.isEmpty() && named.exists() && !named.isDir()) {
        if (named.suffix().compare(u"tps", Qt::CaseInsensitive) != 0) {
            problem = QStringLiteral("%1 is neither a catalogue folder nor one of its table "
                                     "files (*.tps)")
                          .arg(data);
            return false;
        }
        data = named.absolutePath();
    }
    if (data.isEmpty())
        data = optionValue(arguments, QStringLiteral("--data"));
    if (data.isEmpty())
        data = qEnvironmentVariable("SONGVANE_DATA");
    if (data.isEmpty())
        data = holdsCatalogue(QDir::currentPath()) ? QDir::currentPath() : defaultCatalogueFolder();
    setWorkingFolder(data);
    if (!QDir().mkpath(workingFolder())) {
        problem = QStringLiteral("cannot create the catalogue folder %1").arg(workingFolder());
        return false;
    }

    QString config = optionValue(arguments, QStringLiteral("--config"));
    if (config.isEmpty())
        config = qEnvironmentVariable("SONGVANE_CONFIG");
    if (!config.isEmpty())
        setConfigFolder(config);
    return true;
}

QString Paths::defaultCatalogueFolder()
{
    return xdgFolder("XDG_DATA_HOME", QStringLiteral("/.local/share")) +
           QStringLiteral("/songvane/catalogue");
}

void Paths::setWorkingFolder(const QString &folder)
{
    workingOverride() = QDir(folder).absolutePath();
}

void Paths::setConfigFolder(const QString &folder)
{
    configOverride() = QDir(folder).absolutePath();
}

QString Paths::workingFolder()
{
    return workingOverride().isEmpty() ? QDir::currentPath() : workingOverride();
}

QString Paths::configFolder()
{
    const QString folder = configOverride().isEmpty() ? defaultConfigFolder() : configOverride();
    QDir().mkpath(folder);
    return folder;
}

QString Paths::inWorkingFolder(const QString &fileName)
{
    return QDir(workingFolder()).filePath(fileName);
}

QString Paths::settingsFile()
{
    return QDir(configFolder()).filePath(QStringLiteral("VUVur98.INI"));
}

QString Paths::systemIniFile()
{
    return QDir(configFolder()).filePath(QStringLiteral("system.ini"));
}

QString Paths::positionFile()
{
    return inWorkingFolder(QStringLiteral("POSITION.INI"));
}

} // namespace sv
