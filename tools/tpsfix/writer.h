#pragma once

#include "salvage.h"

#include "store/schema.h"

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace sv::tpsfix {

struct WriteResult
{
    int written = 0;
    std::map<qint64, QString> leftOut; // rowids the table refused, with the reason
    // Records taken from damaged pages, by position with their unique keys ("ID 12"), for
    // the user to check: their values may be damaged too.
    std::map<qint64, QString> salvaged;
    // For each range of positions on unreadable pages, the records recovered in it anyway
    // (found on pages no longer linked from the tree).
    std::vector<qint64> recoveredInRanges;
};

// The last position and revision a file gave: never to be given again in the repaired one,
// even where the records that had them are lost.
struct Counters
{
    qint64 lastPosition = 0;
    qint64 lastRevision = 0;
};

// Makes the repaired file from a copy of the layout example, in one transaction. Records
// from intact pages go in as they come; those from damaged pages wait in a side table and
// go in at the end, so that where one of them meets an intact record on a unique key or a
// position, the intact record is the one kept.
class RepairWriter
{
public:
    // `table` (may be null) is the definition the key texts are recomputed from.
    RepairWriter(const Layout &layout, const TableDef *table);
    ~RepairWriter();
    RepairWriter(const RepairWriter &) = delete;
    RepairWriter &operator=(const RepairWriter &) = delete;

    bool open(const QString &examplePath, const QString &target);
    // False only when the engine fails; a row the table refuses is noted in the result.
    bool add(qint64 rowid, const Row &row, bool fromDamagedPage);
    // Adds the waiting records, drops from `lost` the positions that were recovered after
    // all, rebuilds the keys, carries the damaged file's counters over and commits. On
    // failure the target is removed.
    bool finish(std::map<qint64, QString> &lost,
                const std::vector<std::pair<qint64, qint64>> &unreadableRanges,
                const Counters &given);
    const WriteResult &result() const { return m_result; }
    const QString &error() const { return m_error; }

private:
    bool run(const QString &sql);
    bool failed();
    QString engineError() const;
    bool dropRebuiltParts();
    bool prepare();
    bool step(sqlite3_stmt *statement, qint64 rowid, bool reportRefusal);
    void bindRow(sqlite3_stmt *statement, qint64 rowid, const Row &row);
    bool addWaiting();
    bool carryOver(const Counters &given);
    QString keyText(qint64 rowid);
    void discard();

    const Layout &m_layout;
    const TableDef *m_table;
    QString m_target;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_wait = nullptr;
    QList<int> m_keyTextSources;
    QStringList m_uniqueColumns; // the fields of the primary (else first unique) key
    bool m_rowidColumnAdded = false;
    WriteResult m_result;
    QString m_error;
};

} // namespace sv::tpsfix
