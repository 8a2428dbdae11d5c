#pragma once

#include "store.h"
#include "upgrademanager.h"

#include <QHash>

#include <utility>
#include <vector>

namespace sv {

class FileAccess;

// One user's hold on an open table: the table stays open while any hold on it lives, and
// the last hold to go closes it. Holds move but are never copied, so every count taken is
// given back exactly once, whichever way the window or process that took it ends.
class [[nodiscard]] TableUse
{
public:
    TableUse() = default;
    TableUse(TableUse &&other) noexcept;
    TableUse &operator=(TableUse &&other) noexcept;
    TableUse(const TableUse &) = delete;
    TableUse &operator=(const TableUse &) = delete;
    ~TableUse() { reset(); }

    explicit operator bool() const { return m_table != nullptr; } // false: not opened
    Table *table() const { return m_table; }
    void reset(); // gives the hold back now

private:
    friend class FileAccess;
    TableUse(FileAccess *files, Table *table) : m_files(files), m_table(table) {}

    FileAccess *m_files = nullptr;
    Table *m_table = nullptr;
};

// Holds on several tables, taken together and given back in the reverse order.
class [[nodiscard]] TableUses
{
public:
    TableUses() = default;
    TableUses(TableUses &&other) noexcept
        : m_uses(std::move(other.m_uses)), m_complete(std::exchange(other.m_complete, false))
    {}
    TableUses &operator=(TableUses &&other) noexcept;
    ~TableUses() { reset(); }

    explicit operator bool() const { return m_complete; } // false: one could not be opened
    void reset();

private:
    friend class FileAccess;
    std::vector<TableUse> m_uses;
    bool m_complete = false;
};

// Opens tables for the procedures that use them: one count of users per table, the file
// opened when the first user comes and closed when the last one goes. Opening marks the
// file in the system INI (BadFile) so that a crash while opening is noticed at the next
// start, converts or creates files, offers to rebuild damaged keys, and reports through
// the standard warnings what it cannot mend.
class FileAccess
{
public:
    FileAccess(Store &store, UpgradeManager &upgrades);

    // Adds a user, opening the table when it is the first; an empty hold when it could not
    // be opened (the program has then been told to end).
    [[nodiscard]] TableUse use(Table &table);
    // Every table or none: on a failure the holds already taken are given back.
    [[nodiscard]] TableUses use(const QList<Table *> &tables);
    int users(const Table &table) const { return m_users.value(&table); }

    bool openRoutine(Table &table);
    bool createRoutine(Table &table);

    static QString badFile();
    static void setBadFile(const QString &fileName);

    // A file found damaged while it was being read: it stays marked in BadFile, whatever
    // files are opened afterwards, so that the next start offers to repair it. A repair
    // that mended it takes the mark away.
    static void noteDamaged(const QString &fileName);
    static void noteRepaired(const QString &fileName);

    // Tables the program can go on without (the tips): damage the open routine cannot mend
    // does not end the program there.
    static bool isEssential(const TableDef &table);

private:
    friend class TableUse;
    bool access(Table &table);
    void release(Table &table);

    enum class Outcome { Opened, Failed, Unresolved }; // Failed: reported to the user

    bool upgradeAndOpen(Table &table);
    Outcome openMissing(Table &table);
    Outcome upgradeOlderLayout(Table &table);
    Outcome rebuildKeysAndOpen(Table &table);
    Outcome reportUnopenable(Table &table);
    Outcome setAsideOrGoOn(Table &table, const QString &error);
    static void clearBadFile();

    Store &m_store;
    UpgradeManager &m_upgrades;
    QHash<const Table *, int> m_users;
};

} // namespace sv
