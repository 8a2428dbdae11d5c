#pragma once

#include <QString>
#include <QTemporaryDir>

namespace sv::test {

// A private working folder and configuration folder for one test, so that no test reads
// or writes the user's own catalogue or settings.
class Workspace
{
public:
    Workspace();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const;

private:
    QTemporaryDir m_dir;
};

// Full path of a helper program built with the tests (a second station).
QString helperProgram(const QString &name);

} // namespace sv::test
