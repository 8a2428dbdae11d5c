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

ScriptedPrompter::ScriptedPrompter()
{
    setPrompter(this);
    setHaltHandler([this](const QString &text) { halts.append(text); });
}

ScriptedPrompter::~ScriptedPrompter()
{
    setPrompter(nullptr);
    setHaltHandler([](const QString &text) { qFatal("halt: %s", qPrintable(text)); });
}

Button ScriptedPrompter::ask(const Message &message)
{
    shown.append(message);
    return m_answers.isEmpty() ? message.defaultButton : m_answers.takeFirst();
}

QStringList ScriptedPrompter::captions() const
{
    QStringList list;
    for (const Message &message : shown)
        list.append(message.caption);
    return list;
}

} // namespace sv::test
