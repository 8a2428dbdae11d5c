#pragma once

#include "salvage.h"

#include "store/schema.h"

namespace sv::tpsfix {

struct WriteResult
{
    bool ok = false;
    QString error; // why the file could not be written
    int written = 0;
    std::map<qint64, QString> leftOut; // rowids the table refused, with the reason
};

// Makes `target` from a copy of the layout example holding the recovered rows, its keys
// rebuilt, in one transaction. `table` (may be null) is the definition the key texts are
// recomputed from. On failure `target` is removed.
WriteResult writeRepaired(const QString &examplePath, const QString &target, const Layout &layout,
                          const TableDef *table, const std::map<qint64, Row> &rows);

} // namespace sv::tpsfix
