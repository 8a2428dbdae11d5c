#pragma once

#include "layout.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <limits>
#include <vector>

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
    std::set<quint32> damagedPages; // of the table and of every other tree the file keeps
    // The other trees (keys, full-text index, counters) with a damaged page, by the names
    // the file's schema gives them. The repaired file makes them anew from the records.
    std::set<QString> damagedStructures;
    qint64 rowsFound = 0;           // handed to the sink, the same position possibly twice
    std::map<qint64, QString> lost; // rowids seen but not readable, with the reason
    int unreadableCells = 0;        // cells whose rowid could not even be read
    // Positions (after the first, up to the second) that lay on pages of the table that
    // could not be read at all, as the pages above them tell; the second is
    // std::numeric_limits<qint64>::max() when the range has no known end.
    std::vector<std::pair<qint64, qint64>> unreadableRanges;
};

// Takes each record as it is read, with whether the page it lay on is damaged (such a
// record may itself hold damaged values). False stops the reading.
using RowSink = std::function<bool(qint64 rowid, const Row &row, bool fromDamagedPage)>;

// Reads every record of the layout's table that can still be read from the file's bytes,
// page by page, handing each to `sink`: only one page's records are held at a time.
// Nullopt when the file cannot be opened at all or the sink stopped the reading.
std::optional<Salvage> salvage(const QString &path, const Layout &layout, const RowSink &sink);

} // namespace sv::tpsfix
