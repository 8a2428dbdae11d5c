#include "fileaccess.h"

#include "errors.h"
#include "warnings.h"

#include "platform/inifile.h"
#include "platform/paths.h"

#include <utility>

namespace sv {

namespace {

const QString BadFileSection = QStringLiteral("svp98");
const QString BadFileEntry = QStringLiteral("BadFile");

bool openedOrAlreadyOpen(Table &table)
{
    return table.open() || errorCode() == err::AlreadyOpen;
}

} // namespace

FileAccess::FileAccess(Store &store, UpgradeManager &upgrades)
    : m_store(store), m_upgrades(upgrades)
{}

QString FileAccess::badFile()
{
    return IniFile::get(BadFileSection, BadFileEntry, QString(), Paths::systemIniFile());
}

void FileAccess::setBadFile(const QString &fileName)
{
    IniFile::put(BadFileSection, BadFileEntry, fileName, Paths::systemIniFile());
}

TableUse::TableUse(TableUse &&other) noexcept
    : m_files(std::exchange(other.m_files, nullptr)), m_table(std::exchange(other.m_table, nullptr))
{}

TableUse &TableUse::operator=(TableUse &&other) noexcept
{
    if (this != &other) {
        reset();
        m_files = std::exchange(other.m_files, nullptr);
        m_table = std::exchange(other.m_table, nullptr);
    }
    return *this;
}

void TableUse::reset()
{
    if (m_table)
        m_files->release(*m_table);
    m_files = nullptr;
    m_table = nullptr;
}

TableUses &TableUses::operator=(TableUses &&other) noexcept
{
    if (this != &other) {
        reset();
        m_uses = std::move(other.m_uses);
        m_complete = std::exchange(other.m_complete, false);
    }
    return *this;
}

void TableUses::reset()
{
    while (!m_uses.empty())
        m_uses.pop_back();
    m_complete = false;
}

TableUse FileAccess::use(Table &table)
{
    if (!access(table))
        return {};
    return TableUse(this, &table);
}

TableUses FileAccess::use(const QList<Table *> &tables)
{
    TableUses uses;
    for (Table *table : tables) {
        TableUse one = use(*table);
        if (!one)
            return {}; // the holds taken so far go with `uses`
        uses.m_uses.push_back(std::move(one));
    }
    uses.m_complete = true;
    return uses;
}

bool FileAccess::access(Table &table)
{
    int &users = m_users[&table];
    if (users == 0 && !openRoutine(table))
        return false;
    ++users;
    return true;
}

void FileAccess::release(Table &table)
{
    auto it = m_users.find(&table);
    if (it == m_users.end() || it.value() == 0)
        return;
    if (--it.value() == 0)
        table.close();
}

bool FileAccess::openRoutine(Table &table)
{
    setBadFile(table.definition().fileName);
    Outcome outcome = openedOrAlreadyOpen(table) ? Outcome::Opened : Outcome::Unresolved;
    if (outcome == Outcome::Unresolved && errorCode() == err::FileLocked) {
        table.send(QStringLiteral("Recover=10"));
        if (openedOrAlreadyOpen(table))
            outcome = Outcome::Opened;
    }
    if (outcome == Outcome::Unresolved) {
        switch (errorCode()) {
        case err::FileNotFound:
            outcome = openMissing(table);
            break;
        case err::InvalidKeyFile:
            outcome = rebuildKeysAndOpen(table);
            break;
        case err::InvalidRecordDeclaration:
            outcome = upgradeOlderLayout(table);
            break;
        default:
            break;
        }
    }
    if (outcome == Outcome::Unresolved)
        outcome = reportUnopenable(table);
    if (outcome != Outcome::Opened)
        return false;
    setBadFile(QString());
    return true;
}

bool FileAccess::upgradeAndOpen(Table &table)
{
    setBadFile(QString());
    m_upgrades.upgradeFile(table.definition(), table.fileName());
    return openedOrAlreadyOpen(table);
}

FileAccess::Outcome FileAccess::openMissing(Table &table)
{
    if (upgradeAndOpen(table))
        return Outcome::Opened;
    return createRoutine(table) ? Outcome::Opened : Outcome::Failed;
}

FileAccess::Outcome FileAccess::upgradeOlderLayout(Table &table)
{
    if (upgradeAndOpen(table))
        return Outcome::Opened;
    standardWarning(warning::InvalidFile, table.definition().fileName);
    return Outcome::Failed;
}

bool FileAccess::createRoutine(Table &table)
{
    const QString fileName = table.definition().fileName;
    if (!table.create()) {
        standardWarning(warning::FileCreationError, fileName);
        return false;
    }
    if (!openedOrAlreadyOpen(table)) {
        standardWarning(warning::CreatedFileOpenError, fileName);
        return false;
    }
    return true;
}

FileAccess::Outcome FileAccess::rebuildKeysAndOpen(Table &table)
{
    const QString fileName = table.definition().fileName;
    if (standardWarning(warning::InvalidKey, fileName) != Yes)
        return Outcome::Failed;
    table.send(QStringLiteral("FULLBUILD=on"));
    if (!table.build()) {
        standardWarning(warning::KeyRebuildError, fileName);
        return Outcome::Failed;
    }
    return openedOrAlreadyOpen(table) ? Outcome::Opened : Outcome::Unresolved;
}

// Damage the steps above could not mend: one upgrade attempt for a damaged file, then the
// file access warning and the end of the program.
FileAccess::Outcome FileAccess::reportUnopenable(Table &table)
{
    const int code = errorCode();
    const bool damaged = code == err::InvalidDataFile || code == err::InvalidKeyLength ||
                         code == err::FileSystemError;
    if (damaged && upgradeAndOpen(table))
        return Outcome::Opened;
    const QString fileName = table.definition().fileName;
    standardWarning(warning::FileAccessError, fileName);
    // A damaged file stays marked so that the next start offers to repair it instead of
    // ending here again.
    setBadFile(damaged ? fileName : QString());
    halt(QStringLiteral("Disk Error"));
    return Outcome::Failed;
}

} // namespace sv
