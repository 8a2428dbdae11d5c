#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace sv::tpsfix {

enum class TextEncoding { Utf8 = 1, Utf16le = 2, Utf16be = 3 };

// The kinds of value a column accepts, from its declared type the way the engine reads it.
enum class Affinity { Integer, Text, Any };

struct Column
{
    QString name;
    Affinity affinity = Affinity::Any;
    bool notNull = false;
    bool rowidAlias = false; // INTEGER PRIMARY KEY: stored as NULL, its value is the rowid
};

// What the layout example tells about the table a damaged file must hold.
struct Layout
{
    QString table;
    QList<Column> columns;
    int version = 0;
    quint32 pageSize = 4096;
    quint32 reservedBytes = 0;
    TextEncoding encoding = TextEncoding::Utf8;

    int rowidAliasColumn() const; // -1 when the table has none
};

// Reads the example through the engine, read-only. Nullopt with `error` set when the file
// is missing, unreadable or does not hold exactly one table.
std::optional<Layout> readLayout(const QString &path, QString &error);

} // namespace sv::tpsfix
