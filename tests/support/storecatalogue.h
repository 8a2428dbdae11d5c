#pragma once

#include "store/fileaccess.h"

#include <QFile>
#include <QTest>

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

    std::vector<TableUse> holds;

    Table &table(TableId id) { return store.table(id); }
    // Opens a table through the open routine (creating a missing file), as a procedure does,
    // and holds it open until close() or the catalogue goes.
    Table &open(TableId id)
    {
        TableUse use = files.use(table(id));
        if (!use)
            QTest::qFail(qPrintable(tableDef(id).label + QStringLiteral(" could not be opened")),
                         __FILE__, __LINE__);
        holds.push_back(std::move(use));
        return table(id);
    }
    void close(TableId id)
    {
        std::erase_if(holds, [&](const TableUse &use) { return use.table() == &table(id); });
    }
};

// Adds a category or a media format to an open table; false when the store refused it.
[[nodiscard]] inline bool addCategory(Table &categories, qint64 id, const QString &name)
{
    categories.buffer().clear();
    categories.buffer().setNumber(cat::CategoryID, id);
    categories.buffer().setText(cat::Category, name);
    return categories.add();
}

[[nodiscard]] inline bool addMedia(Table &media, const QString &name)
{
    media.buffer().clear();
    media.buffer().setText(med::Media, name);
    return media.add();
}

// The song buffer cleared and numbered: set the other fields, then add().
inline Record &newSong(Table &songs, qint64 id)
{
    songs.buffer().clear();
    songs.buffer().setNumber(mus::ID, id);
    return songs.buffer();
}

inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace sv::test
