#include "upgrademanager.h"

#include "errors.h"
#include "serverdatabase.h"
#include "table.h"
#include "tablefile.h"

#include <QFile>

namespace sv {

void UpgradeManager::addDriver(const QString &driver, const QString &)
{
    if (!m_drivers.contains(driver, Qt::CaseInsensitive))
        m_drivers.append(driver);
}

void UpgradeManager::ignoreDriver(const QString &, int)
{
    // Every announced file is a table file of our own; there is nothing to skip.
}

void UpgradeManager::usingFile(const TableDef &table, const QString &label, const QString &prefix,
                               int version)
{
    m_files.insert(table.id, {label, prefix, version});
}

bool UpgradeManager::isAnnounced(const TableDef &table) const
{
    return m_files.contains(table.id);
}

bool UpgradeManager::upgradeFile(const TableDef &table, const QString &path)
{
    if (!isAnnounced(table)) {
        setError(err::InvalidRecordDeclaration);
        return false;
    }
    return tablefile::upgrade(table, path);
}

bool UpgradeManager::upgrade(Table &table)
{
    ServerDatabase *server = table.database().server();
    if (!server)
        return upgradeFile(table.definition(), table.fileName());
    if (!isAnnounced(table.definition())) {
        setError(err::InvalidRecordDeclaration);
        return false;
    }
    return server->upgradeTable(table.definition());
}

bool UpgradeManager::makeTpe(const TableDef &table, const QString &path)
{
    QFile::remove(path);
    return tablefile::create(table, path);
}

} // namespace sv
