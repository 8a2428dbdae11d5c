#pragma once

#include "schema.h"

struct sqlite3;

namespace sv {

// Work on a whole table file: creating, rebuilding keys, packing and bringing an older
// layout up to date. Each runs as one transaction on the given connection and schema (a
// table the station has open) or on a private connection to the file (a closed table), and
// leaves the store's error code.
namespace tablefile {

void registerFunctions(sqlite3 *db); // sv_keytext(), used when key texts are recomputed

bool create(const TableDef &table, const QString &path);
bool rebuildKeys(sqlite3 *db, const QString &schema, const TableDef &table, bool full);
bool pack(sqlite3 *db, const QString &schema);
bool upgrade(const TableDef &table, const QString &path);

// The same on a closed file, through a private connection.
bool rebuildKeys(const TableDef &table, const QString &path, bool full);
bool pack(const TableDef &table, const QString &path);

bool hasHotJournal(const QString &path);

} // namespace tablefile
} // namespace sv
