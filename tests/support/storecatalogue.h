#pragma once

#include "store/fileaccess.h"

#include <QFile>

namespace sv::test {

// The catalogue of a folder with every table announced for upgrades and opened through
// the open routine, as the program has it, without the rest of the program.
struct StoreCatalogue
{
    explicit StoreCatalogue(const QString &folder) : store(folder), files(store, upgrades)
    {
        for (TableId id : allTables()) {
            const TableDef &def = tableDef(id);
            upgrades.usingFile(def, def.label, def.prefix, def.version);
        }
    }
    UpgradeManager upgrades;
    Store store;
    FileAccess files;
};

inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace sv::test
