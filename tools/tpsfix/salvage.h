#pragma once

#include "layout.h"

#include <QByteArray>
#include <QList>

#include <map>
#include <set>

namespace sv::tpsfix {

struct Value
{
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes; // text in UTF-8, or the blob
};
using Row = QList<Value>;

// Decodes one stored record; nullopt when its header and body do not agree with each other
// or a text is not valid in the file's encoding.
std::optional<Row> decodeRecord(const QByteArray &payload, TextEncoding encoding);
// Whether a decoded record can be a record of the layout's table.
bool fitsLayout(const Layout &layout, const Row &row);

struct Salvage
{
    bool hasSignature = false;     // the file starts as an SQLite file does
    bool foundTableLeaf = false;   // some page holds records that all fit the table
    bool schemaLacksTable = false; // the file's schema is readable and names other tables only
    quint32 pageSize = 0;
    quint32 pageCount = 0;
    std::set<quint32> damagedPages;
    std::map<qint64, Row> rows;     // by rowid
    std::map<qint64, QString> lost; // rowids seen but not readable, with the reason
    int unreadableCells = 0;        // cells whose rowid could not even be read
};

// Reads every record of the layout's table that can still be read from the file's bytes.
// Nullopt when the file cannot be opened at all.
std::optional<Salvage> salvage(const QString &path, const Layout &layout);

} // namespace sv::tpsfix
