#pragma once

#include <QString>
#include <QTemporaryDir>

#include "platform/prompter.h"

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

// Overwrites with garbage a leaf page in the middle of a tree of a table file (its table,
// a key, the full-text index: `tree` as the file's schema names it), found from the schema
// and the interior pages above it, as a failing disk would; the file's change counter moves
// on, so no connection keeps reading the page from its cache. Returns the page; 0 when the
// tree is not in the file.
quint32 damageLeafInTheMiddle(const QString &path, const char *tree);

// A small file system of its own at `path`, so that it can be filled up or made read-only
// for real. Needs the right to mount; tests skip when mounted() is false.
class SmallDisk
{
public:
    SmallDisk(const QString &path, int kilobytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool mounted() const { return m_mounted; }
    bool makeReadOnly();

private:
    QString m_path;
    bool m_mounted = false;
};

// Answers message boxes from a queue (the default button once it is empty), keeps every
// message shown and every halt text, and ends no program. Installed while it lives.
class ScriptedPrompter : public Prompter
{
public:
    ScriptedPrompter();
    ~ScriptedPrompter() override;
    void answer(Button button) { m_answers.append(button); }
    Button ask(const Message &message) override;

    QList<Message> shown;
    QStringList halts;
    QStringList captions() const;

private:
    QList<Button> m_answers;
};

} // namespace sv::test
