#pragma once

#include "app/session.h"
#include "app/settings.h"
#include "testsupport.h"

#include <QTest>

#include <QList>
#include <vector>

namespace sv::test {

// A catalogue as the program has it, in a private temporary folder: its own working and
// settings folders, the settings at their defaults, a session with every versioned table
// announced, and the tables a test names held open through the open routine (which
// creates their files) for as long as the catalogue lives. A test that needs more of its
// own derives from it.
class Catalogue
{
public:
    explicit Catalogue(const QList<TableId> &tables = {}) : session(workspace.path())
    {
        Settings::global() = Settings();
        session.announceTables();
        if (!tables.isEmpty())
            QVERIFY2(hold(tables), "the catalogue's tables could not be opened");
    }

    // Holds more tables open, all or none, until the catalogue goes.
    [[nodiscard]] bool hold(const QList<TableId> &tables)
    {
        QList<Table *> list;
        for (TableId id : tables)
            list.append(&table(id));
        TableUses uses = session.files().use(list);
        if (!uses)
            return false;
        m_uses.push_back(std::move(uses));
        return true;
    }

    // Gives back every hold taken, the last first.
    void release()
    {
        while (!m_uses.empty())
            m_uses.pop_back();
    }

    Store &store() { return session.store(); }
    Table &table(TableId id) { return session.store().table(id); }
    QString path() const { return workspace.path(); }
    QString file(const QString &name) const { return workspace.file(name); }

    Workspace workspace; // first: the session opens its files in it
    Session session;

private:
    std::vector<TableUses> m_uses;
};

} // namespace sv::test
