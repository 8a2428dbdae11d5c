#include "paths.h"

#include <QDir>
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

QString defaultConfigFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/songvane");
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

void Paths::configure(const QStringList &arguments)
{
    QString data = optionValue(arguments, QStringLiteral("--data"));
    if (data.isEmpty())
        data = qEnvironmentVariable("SONGVANE_DATA");
    if (!data.isEmpty())
        setWorkingFolder(data);

    QString config = optionValue(arguments, QStringLiteral("--config"));
    if (config.isEmpty())
        config = qEnvironmentVariable("SONGVANE_CONFIG");
    if (!config.isEmpty())
        setConfigFolder(config);
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
