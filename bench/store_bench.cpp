// Times the record store against bare SQLite on the same schema, in one run:
//   store_bench [songs=1000000] [folder=a new temporary folder]
// Prints the add rate of both, the page-read ratio for every song key at the start,
// middle and end, and RECORDS, BUILD and PACK times with the file size.
#include "catalogue.h"
#include "store/errors.h"
#include "store/keytext.h"
#include "store/sqldialect.h"
#include "store/store.h"
#include "store/tablefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

using namespace sv;
using bench::makeSong;

namespace {

constexpr int PageRows = 40;

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

// The hand-written baseline: one prepared INSERT filling the same columns, key texts too.
double rawInsert(const QString &path, int count)
{
    const TableDef &def = tableDef(TableId::Songs);
    tablefile::create(def, path);
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "PRAGMA cache_size=-131072", nullptr, nullptr, nullptr);
    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    bench::insertSongs(db, def, count);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const double elapsed = seconds(timer);
    sqlite3_close(db);
    return elapsed;
}

double storeInsert(Store &store, int count)
{
    Table &songs = store.table(TableId::Songs);
    if (!songs.create() || !songs.open()) {
        std::fprintf(stderr, "the song file could not be made: %s\n", qPrintable(errorText()));
        std::exit(1);
    }
    QRandomGenerator random(42);
    QElapsedTimer timer;
    timer.start();
    if (!songs.stream()) {
        std::fprintf(stderr, "STREAM failed: %s\n", qPrintable(errorText()));
        std::exit(1);
    }
    for (int i = 1; i <= count; ++i) {
        makeSong(songs.buffer(), random, i);
        if (!songs.add())
            std::fprintf(stderr, "add failed at %d\n", i);
    }
    if (!songs.flush()) {
        std::fprintf(stderr, "FLUSH failed: %s\n", qPrintable(errorText()));
        std::exit(1);
    }
    return seconds(timer);
}

// Best of the repeats for each side: the machine's other work only ever adds time.
struct PageTimes
{
    double store = 1e9;
    double bare = 1e9;
};

// One 40-row page from the key values of the record at `position`, read by the store and
// by the bare keyset statement with the same bound values.
PageTimes timePage(Table &songs, sqlite3 *bare, int key, RecordPosition position, bool forward,
                   int repeats)
{
    PageTimes times;
    songs.reget(position);
    const QVariantList bound = songs.keyValues(key, songs.buffer());
    const Record start = songs.buffer();
    const auto direction = forward ? sql::Direction::Forward : sql::Direction::Backward;
    const QByteArray text = sql::page(QStringLiteral("main"), songs.definition(), key, direction,
                                      sql::Bound::Inclusive, QString())
                                .toUtf8();
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(bare, text.constData(), -1, &statement, nullptr);
    const int columns = sqlite3_column_count(statement);

    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        int index = 1;
        for (const QVariant &value : bound)
            bindValue(statement, index++, value);
        sqlite3_bind_int64(statement, index++, forward ? 0 : std::numeric_limits<qint64>::max());
        sqlite3_bind_int(statement, index, PageRows);
        int rows = 0;
        qint64 sink = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(statement, c) == SQLITE_TEXT)
                    sink += QString::fromUtf8(
                                reinterpret_cast<const char *>(sqlite3_column_text(statement, c)),
                                sqlite3_column_bytes(statement, c))
                                .size();
                else
                    sink += sqlite3_column_int64(statement, c);
            }
            ++rows;
        }
        sqlite3_reset(statement);
        times.bare = qMin(times.bare, seconds(timer));

        songs.buffer() = start;
        timer.restart();
        songs.setFrom(key);
        int read = 0;
        while (read < PageRows && (forward ? songs.next() : songs.previous()))
            ++read;
        times.store = qMin(times.store, seconds(timer));
        if (read != rows)
            std::fprintf(stderr, "page mismatch on key %d: %d vs %d (%lld)\n", key, read, rows,
                         static_cast<long long>(sink));
    }
    sqlite3_finalize(statement);
    return times;
}

// The record at the start, middle or end of a key order. The middle is the middle song by
// number that the key lists: its key values fall anywhere in the order.
RecordPosition positionAt(Table &songs, int key, double fraction, qint64 total)
{
    songs.set(key);
    if (fraction == 0.0 || fraction >= 1.0) {
        fraction == 0.0 ? songs.next() : songs.previous();
        return songs.position();
    }
    const int leading = songs.definition().keys.at(key).components.first();
    for (qint64 id = qint64(total * fraction); id <= total; ++id) {
        songs.buffer().setNumber(mus::ID, id);
        if (songs.get(mus::KeyID) && !songs.buffer().isBlank(leading))
            break;
    }
    return songs.position();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    QDir().mkpath(folder + QStringLiteral("/raw"));
    std::printf("songs: %d, folder: %s\n", count, qPrintable(folder));

    const double raw = rawInsert(folder + QStringLiteral("/raw/svpdata.tps"), count);
    Store store(folder);
    const double ours = storeInsert(store, count);
    std::printf("add: store %.1f s (%.0f/s), raw INSERT %.1f s (%.0f/s), store/raw rate %.2f\n",
                ours, count / ours, raw, count / raw, raw / ours);

    Table &songs = store.table(TableId::Songs);
    songs.setReadAhead(PageRows);
    sqlite3 *bare = nullptr;
    sqlite3_open((folder + QStringLiteral("/svpdata.tps")).toUtf8().constData(), &bare);
    sqlite3_exec(bare, "PRAGMA cache_size=-131072", nullptr, nullptr, nullptr);
    const char *places[] = {"start", "middle", "end"};
    double worst = 0;
    for (int key = 0; key < songs.definition().keys.size(); ++key) {
        std::printf("%-24s", qPrintable(songs.definition().keys.at(key).name));
        for (int p = 0; p < 3; ++p) {
            const RecordPosition at = positionAt(songs, key, p * 0.5, count);
            const PageTimes fwd = timePage(songs, bare, key, at, true, 50);
            const PageTimes back = timePage(songs, bare, key, at, false, 50);
            const double ratio = (fwd.store + back.store) / (fwd.bare + back.bare);
            worst = qMax(worst, ratio);
            std::printf("  %s %.0f/%.0f us x%.2f", places[p], fwd.store * 1e6, back.store * 1e6,
                        ratio);
        }
        std::printf("\n");
    }
    std::printf("page read: worst store/bare ratio %.2f\n", worst);
    sqlite3_close(bare);

    QElapsedTimer timer;
    timer.start();
    const qint64 records = songs.records();
    std::printf("RECORDS %lld in %.3f s\n", static_cast<long long>(records), seconds(timer));
    std::printf("file size %.0f MB (%.0f MB per million songs)\n", songs.bytes() / 1e6,
                songs.bytes() / 1e6 * 1e6 / count);
    songs.send(QStringLiteral("FULLBUILD=on"));
    timer.restart();
    if (!songs.build())
        std::printf("BUILD failed: %s\n", qPrintable(errorText()));
    std::printf("BUILD (key texts and indexes) %.1f s\n", seconds(timer));
    timer.restart();
    if (!songs.pack())
        std::printf("PACK failed: %s\n", qPrintable(errorText()));
    std::printf("PACK %.1f s, size after %.0f MB\n", seconds(timer), songs.bytes() / 1e6);
    return 0;
}
