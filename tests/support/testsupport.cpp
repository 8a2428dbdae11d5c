#include "testsupport.h"

#include "platform/paths.h"

#include <QDir>

namespace sv::test {

Workspace::Workspace()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("config"));
    Paths::setWorkingFolder(m_dir.path());
    Paths::setConfigFolder(m_dir.filePath(QStringLiteral("config")));
}

QString Workspace::file(const QString &name) const
{
    return m_dir.filePath(name);
}

QString helperProgram(const QString &name)
{
    return QDir(qEnvironmentVariable("SONGVANE_HELPERS")).filePath(name);
}

} // namespace sv::test
