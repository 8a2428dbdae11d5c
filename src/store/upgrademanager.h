#pragma once

#include "schema.h"

#include <QHash>

namespace sv {

class Table;

// Keeps the files of announced tables at their current structure version: a missing file
// is created, an older one brought to the current layout in place with every record kept.
class UpgradeManager
{
public:
    void addDriver(const QString &driver, const QString &scratchTable);
    void ignoreDriver(const QString &what, int flag);
    void usingFile(const TableDef &table, const QString &label, const QString &prefix, int version);
    bool isAnnounced(const TableDef &table) const;

    // Leaves the store's error code; a table that was not announced is not touched (47).
    bool upgradeFile(const TableDef &table, const QString &path);
    // The same for a closed table on either engine: its file, or its table on the server.
    bool upgrade(Table &table);
    // Writes the layout example the repair utility rebuilds damaged files from: an empty
    // file of the table in its current layout.
    bool makeTpe(const TableDef &table, const QString &path);

private:
    struct Announced
    {
        QString label;
        QString prefix;
        int version;
    };
    QHash<TableId, Announced> m_files;
    QStringList m_drivers;
};

} // namespace sv
