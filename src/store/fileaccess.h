#pragma once

#include "store.h"
#include "upgrademanager.h"

#include <QHash>

namespace sv {

// Opens tables for the procedures that use them: one count of users per table, the file
// opened when the first user comes and closed when the last one goes. Opening marks the
// file in the system INI (BadFile) so that a crash while opening is noticed at the next
// start, converts or creates files, offers to rebuild damaged keys, and reports through
// the standard warnings what it cannot mend.
class FileAccess
{
public:
    FileAccess(Store &store, UpgradeManager &upgrades);

    // Adds a user, opening the table when it is the first; false when it could not be
    // opened (the program has then been told to end).
    bool access(Table &table);
    void release(Table &table);
    int users(const Table &table) const { return m_users.value(&table); }

    bool openRoutine(Table &table);
    bool createRoutine(Table &table);

    static QString badFile();
    static void setBadFile(const QString &fileName);

private:
    enum class Outcome { Opened, Failed, Unresolved }; // Failed: reported to the user

    bool upgradeAndOpen(Table &table);
    Outcome openMissing(Table &table);
    Outcome upgradeOlderLayout(Table &table);
    Outcome rebuildKeysAndOpen(Table &table);
    Outcome reportUnopenable(Table &table);

    Store &m_store;
    UpgradeManager &m_upgrades;
    QHash<const Table *, int> m_users;
};

} // namespace sv
