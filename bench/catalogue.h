#pragma once

// The generated catalogue the benchmarks measure: songs with words made of a few
// syllables, so that searches for a fragment find some songs and miss others, ten to an
// album, and the albums and categories they name.
#include "store/keytext.h"
#include "store/record.h"
#include "store/schema.h"
#include "store/sqldialect.h"
#include "store/table.h"
#include "store/tablefile.h"

#include <QRandomGenerator>
#include <QStringList>

#include <functional>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace sv::bench {

inline QString words(QRandomGenerator &random, int minWords, int maxWords)
{
    static const QStringList pool = [] {
        QStringList list;
        const char *syllables[] = {"la", "mor", "ti", "ka",   "ven", "do",  "ri", "sun",
                                   "el", "mi",  "no", "star", "ber", "gen", "ta", "lo"};
        QRandomGenerator seed(7);
        for (int i = 0; i < 4000; ++i) {
            QString word;
            const int parts = 1 + int(seed.bounded(3));
            for (int p = 0; p < parts; ++p)
                word += QString::fromLatin1(syllables[seed.bounded(16)]);
            word[0] = word[0].toUpper();
            list.append(word);
        }
        return list;
    }();
    const int count = minWords + int(random.bounded(maxWords - minWords + 1));
    QStringList chosen;
    for (int i = 0; i < count; ++i)
        chosen.append(pool.at(int(random.bounded(qint64(pool.size())))));
    return chosen.join(u' ');
}

// Ten songs to an album: the benchmark's million songs make a hundred thousand albums.
constexpr int SongsPerAlbum = 10;
constexpr int Categories = 30;

inline int albumCount(int songs)
{
    return qMax(1, songs / SongsPerAlbum);
}

// An album's fields follow from its number alone, so that a song can name its album
// without the album being at hand.
inline void makeAlbum(Record &album, qint64 id)
{
    QRandomGenerator random(quint32(id * 2654435761u));
    album.clear();
    album.setNumber(alb::AlbumID, id);
    album.setText(alb::Artist,
                  random.bounded(5) ? words(random, 1, 3) : QStringLiteral("Various Artists"));
    // The number in the title keeps (album, artist) unique, as its key requires.
    album.setText(alb::Album, words(random, 1, 4) + QStringLiteral(" %1").arg(id));
    album.setText(alb::Media, random.bounded(2) ? QStringLiteral("CD") : QStringLiteral("LP"));
    album.setText(alb::FileNumber, QStringLiteral("F%1").arg(random.bounded(50000)));
    album.setNumber(alb::ReleaseDate, 60000 + random.bounded(60000));
    album.setNumber(alb::CategoryID, random.bounded(Categories));
    if (random.bounded(8) == 0)
        album.setText(alb::XCCD, QStringLiteral("XC%1").arg(random.bounded(100000)));
}

inline void makeSong(Record &song, QRandomGenerator &random, qint64 id)
{
    song.clear();
    song.setText(mus::Artist, words(random, 1, 3));
    song.setText(mus::Title, words(random, 1, 5));
    if (random.bounded(4) == 0)
        song.setText(mus::Mix, words(random, 1, 2) + QStringLiteral(" Mix"));
    song.setText(mus::Media, random.bounded(2) ? QStringLiteral("CD") : QStringLiteral("LP"));
    song.setText(mus::FileNumber, QStringLiteral("F%1").arg(random.bounded(50000)));
    song.setNumber(mus::ReleaseDate, 60000 + random.bounded(60000));
    song.setNumber(mus::CategoryID, random.bounded(Categories));
    song.setNumber(mus::ChartNumber, random.bounded(10) == 0 ? random.bounded(1, 100) : 0);
    song.setNumber(mus::Side, random.bounded(3));
    song.setNumber(mus::Time, random.bounded(12000, 50000) * 100 + 1);
    if (random.bounded(5) == 0)
        song.setText(mus::UserDefinedKeyField, words(random, 1, 2));
    song.setNumber(mus::BeatsPerMinute, random.bounded(3) ? random.bounded(60, 180) : 0);
    song.setText(mus::Style, words(random, 1, 1));
    song.setText(mus::Composer, words(random, 1, 3));
    song.setNumber(mus::ID, id);
    if (random.bounded(10) == 0)
        song.setMemo(mus::Notes, words(random, 5, 30));
    // The songs of an album follow each other, numbered by track.
    const qint64 albumId = 1 + (id - 1) / SongsPerAlbum;
    static Record album(tableDef(TableId::Albums));
    if (album.number(alb::AlbumID) != albumId)
        makeAlbum(album, albumId);
    song.setNumber(mus::AlbumID, albumId);
    song.setNumber(mus::TrackNumber, 1 + (id - 1) % SongsPerAlbum);
    song.setText(mus::Album, album.text(alb::Album));
    if (album.text(alb::Artist) != QStringLiteral("Various Artists"))
        song.setText(mus::Artist, album.text(alb::Artist));
}

// Adds `count` generated records to the open file with one prepared INSERT, as a plain
// SQLite program on this schema would: every column bound, key texts too, and the functions
// the table's triggers call registered. A failed INSERT ends the run rather than being timed.
inline void insertRecords(sqlite3 *db, const TableDef &def, int count,
                          const std::function<void(Record &, qint64)> &make)
{
    tablefile::registerFunctions(db);
    sqlite3_stmt *insert = nullptr;
    const QByteArray text = sql::insert(QStringLiteral("main"), def).toUtf8();
    sqlite3_prepare_v2(db, text.constData(), -1, &insert, nullptr);
    Record record(def);
    for (int i = 1; i <= count; ++i) {
        make(record, i);
        int index = 1;
        for (int f = 0; f < def.fields.size(); ++f)
            bindValue(insert, index++, record.value(f));
        for (int m = 0; m < def.memos.size(); ++m)
            bindValue(insert, index++, record.memo(m));
        for (int f = 0; f < def.fields.size(); ++f) {
            if (sql::hasKeyText(def, f))
                bindValue(insert, index++, keyText(record.text(f)));
        }
        int step = sqlite3_step(insert);
        while (step == SQLITE_ROW) // the statement returns the new row's position
            step = sqlite3_step(insert);
        if (step != SQLITE_DONE) {
            std::fprintf(stderr, "bare INSERT failed at %d: %s\n", i, sqlite3_errmsg(db));
            std::exit(1);
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
}

inline void insertSongs(sqlite3 *db, const TableDef &def, int count)
{
    QRandomGenerator random(42);
    insertRecords(db, def, count,
                  [&random](Record &song, qint64 id) { makeSong(song, random, id); });
}

// Writes records into a new file at `path` with bare INSERTs and builds the keys
// (and everything BUILD makes) once at the end: the fastest way to a large table.
inline bool generateTable(TableId table, const QString &path,
                          const std::function<void(sqlite3 *, const TableDef &)> &insert)
{
    const TableDef &def = tableDef(table);
    if (!tablefile::create(def, path))
        return false;
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "PRAGMA cache_size=-262144", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int key = 0; key < def.keys.size(); ++key)
        sqlite3_exec(db, sql::dropIndex(QStringLiteral("main"), def, key).toUtf8().constData(),
                     nullptr, nullptr, nullptr);
    for (const QString &statement : sql::dropFullText(QStringLiteral("main"), def))
        sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr);
    insert(db, def);
    const bool done = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done && tablefile::rebuildKeys(def, path, false);
}

inline bool generateCatalogue(const QString &path, int count)
{
    return generateTable(TableId::Songs, path, [count](sqlite3 *db, const TableDef &def) {
        insertSongs(db, def, count);
    });
}

// The albums the songs of generateCatalogue name, and the categories they are in.
inline bool generateAlbums(const QString &folder, int songs)
{
    const auto path = [&folder](TableId table) {
        return folder + u'/' + tableDef(table).fileName + QStringLiteral(".tps");
    };
    return generateTable(TableId::Albums, path(TableId::Albums),
                         [songs](sqlite3 *db, const TableDef &def) {
                             insertRecords(db, def, albumCount(songs), makeAlbum);
                         }) &&
           generateTable(
               TableId::Categories, path(TableId::Categories),
               [](sqlite3 *db, const TableDef &def) {
                   QRandomGenerator random(11);
                   insertRecords(db, def, Categories - 1, [&random](Record &category, qint64 id) {
                       category.clear();
                       category.setNumber(cat::CategoryID, id);
                       category.setText(cat::Category,
                                        words(random, 1, 2) + QStringLiteral(" %1").arg(id));
                   });
               });
}

} // namespace sv::bench
