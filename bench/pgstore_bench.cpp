// Times the server store's page reads against the bare keyset statement through libpq, in
// one run:
//   pgstore_bench [songs=100000] [postgresql:// URL; none: a throwaway cluster of its own]
// Prints the add rate and, for every song key at the start, middle and end of its order,
// the time of a 40-row page forward and back and its ratio to the bare statement; then, for
// searches of parts of titles, the median time of the compiled filter through the store's
// connection against the same SQL through bare libpq, and that SQL with index scans off.
#include "catalogue.h"
#include "scratchserver.h"
#include "store/errors.h"
#include "store/filter.h"
#include "store/keytext.h"
#include "store/pgdialect.h"
#include "store/servertable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

using namespace sv;

namespace {

constexpr int PageRows = ServerTable::ReadAhead;

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

struct PageTimes
{
    double store = 1e9;
    double bare = 1e9;
};

QVariantList keyValuesOf(const ServerTable &songs, int key)
{
    const TableDef &def = songs.definition();
    QVariantList values;
    for (int field : def.keys.at(key).components) {
        if (def.fields.at(field).type != FieldType::String)
            values.append(songs.buffer().number(field));
        else if (sql::hasKeyText(def, field))
            values.append(keyText(songs.buffer().text(field)));
        else {
            QString upper = songs.buffer().text(field); // plain ASCII letters only
            for (QChar &c : upper) {
                if (c >= u'a' && c <= u'z')
                    c = QChar(c.unicode() - (u'a' - u'A'));
            }
            values.append(upper);
        }
    }
    return values;
}

// One 40-row page from the key values of the record at `position`, read by the store and
// by the bare prepared statement with the same bound values; best of the repeats for each.
PageTimes timePage(ServerTable &songs, PGconn *bare, int key, RecordPosition position, bool forward,
                   int repeats)
{
    PageTimes times;
    if (!songs.reget(position))
        return times;
    const Record start = songs.buffer();
    const QVariantList bound = keyValuesOf(songs, key);
    const QByteArray text =
        pgsql::page(songs.definition(), key,
                    forward ? sql::Direction::Forward : sql::Direction::Backward,
                    sql::Bound::Inclusive)
            .toUtf8();
    const QByteArray name = "page" + QByteArray::number(key) + (forward ? "f" : "b");
    PQclear(PQprepare(bare, name.constData(), text.constData(), 0, nullptr));
    std::vector<QByteArray> parameters;
    for (const QVariant &value : bound)
        parameters.push_back(value.toString().toUtf8());
    parameters.push_back(QByteArray::number(forward ? 0 : std::numeric_limits<qint64>::max()));
    parameters.push_back(QByteArray::number(PageRows));

    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        std::vector<const char *> values;
        for (const QByteArray &parameter : parameters)
            values.push_back(parameter.constData());
        PGresult *result = PQexecPrepared(bare, name.constData(), int(values.size()), values.data(),
                                          nullptr, nullptr, 0);
        qint64 sink = 0;
        const int rows = PQntuples(result);
        for (int row = 0; row < rows; ++row) {
            for (int c = 0; c < PQnfields(result); ++c)
                sink += QString::fromUtf8(PQgetvalue(result, row, c), PQgetlength(result, row, c))
                            .size();
        }
        PQclear(result);
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
    return times;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times.at(times.size() / 2);
}

// The median time of a query's rows read through bare libpq, prepared once.
double bareMedian(PGconn *bare, const QString &sql, const QList<QByteArray> &parameters,
                  int repeats, int *rows)
{
    static int statements = 0;
    const QByteArray name = "search" + QByteArray::number(++statements);
    PQclear(PQprepare(bare, name.constData(), sql.toUtf8().constData(), 0, nullptr));
    std::vector<const char *> values;
    for (const QByteArray &parameter : parameters)
        values.push_back(parameter.constData());
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        PGresult *result = PQexecPrepared(bare, name.constData(), int(values.size()), values.data(),
                                          nullptr, nullptr, 0);
        qint64 sink = 0;
        *rows = PQntuples(result);
        for (int row = 0; row < *rows; ++row)
            sink += QByteArray(PQgetvalue(result, row, 0)).toLongLong();
        if (PQresultStatus(result) != PGRES_TUPLES_OK)
            std::fprintf(stderr, "%s: %s\n", name.constData(), PQresultErrorMessage(result));
        PQclear(result);
        times.push_back(seconds(timer) + (sink < 0 ? 1 : 0));
    }
    return median(times);
}

// A search for a part of titles compiled as views compile it, timed through the store's
// connection and through bare libpq, beside an unindexed scan for the same text.
void timeSearch(ServerDatabase &database, PGconn *bare, const QString &expression)
{
    const TableDef &def = tableDef(TableId::Songs);
    const CompiledFilter filter = compileFilter(
        expression,
        [&def](const QString &name) -> std::optional<FilterName> {
            FilterName column;
            if (!name.startsWith(QStringLiteral("MUS:")) ||
                !pgsql::describeColumn(def, QStringView(name).mid(4), column))
                return std::nullopt;
            return column;
        },
        FilterDialect::Server);
    if (!filter.ok) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(expression), qPrintable(filter.error));
        return;
    }
    const QString sql = QStringLiteral("SELECT \"sv_pos\" FROM ") + pgsql::tableName(def) +
                        QStringLiteral(" WHERE ") + pgsql::numbered(filter.sql, filter.parameters);
    constexpr int Repeats = 15;
    std::vector<double> times;
    int rows = 0;
    for (int r = 0; r < Repeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        const ServerDatabase::Result result = database.run(sql, filter.parameters);
        qint64 sink = 0;
        rows = result.rows();
        for (int row = 0; row < rows; ++row)
            sink += result.number(row, 0);
        times.push_back(seconds(timer) + (sink < 0 ? 1 : 0));
    }
    const double store = median(times);
    QList<QByteArray> parameters;
    for (const QVariant &value : filter.parameters)
        parameters.append(value.toString().toUtf8());
    int bareRows = 0;
    const double direct = bareMedian(bare, sql, parameters, Repeats, &bareRows);
    // The same statement with the server's index scans turned off: what the index saves.
    PQclear(PQexec(bare, "SET enable_bitmapscan = off"));
    PQclear(PQexec(bare, "SET enable_indexscan = off"));
    int scanRows = 0;
    const double scan = bareMedian(bare, sql, parameters, 5, &scanRows);
    PQclear(PQexec(bare, "RESET enable_bitmapscan"));
    PQclear(PQexec(bare, "RESET enable_indexscan"));
    std::printf("%-58s rows %6d  store %8.2f ms  bare %8.2f ms  x%.2f  without index %8.2f ms\n",
                qPrintable(expression), rows, store * 1e3, direct * 1e3, store / direct,
                scan * 1e3);
    if (rows != bareRows || rows != scanRows)
        std::fprintf(stderr, "row counts differ: %d vs %d\n", rows, bareRows);
}

RecordPosition positionAt(ServerTable &songs, int key, double fraction, qint64 total)
{
    songs.set(key);
    if (fraction == 0.0 || fraction >= 1.0) {
        (void)(fraction == 0.0 ? songs.next() : songs.previous());
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
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    test::ScratchServer scratch;
    QString url = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (url.isEmpty()) {
        url = scratch.createDatabase(QStringLiteral("bench"));
        if (url.isEmpty()) {
            std::fprintf(stderr, "no server: %s\n", qPrintable(scratch.error()));
            return 1;
        }
    }
    std::printf("songs: %d, server: %s\n", count, qPrintable(withoutPassword(url)));
    ServerDatabase database(url);
    for (const QString &statement : pgsql::createFunctions()) {
        if (!database.execute(statement)) {
            std::fprintf(stderr, "the filter functions could not be made: %s\n",
                         qPrintable(errorText()));
            return 1;
        }
    }
    ServerTable songs(database, tableDef(TableId::Songs), tableDef(TableId::Songs).prefix);
    if (!songs.create() || !songs.open()) {
        std::fprintf(stderr, "the song table could not be made: %s\n", qPrintable(fileError()));
        return 1;
    }
    QRandomGenerator random(42);
    QElapsedTimer timer;
    timer.start();
    if (!songs.stream())
        return 1;
    for (int i = 1; i <= count; ++i) {
        bench::makeSong(songs.buffer(), random, i);
        if (!songs.add())
            std::fprintf(stderr, "add failed at %d: %s\n", i, qPrintable(errorText()));
    }
    if (!songs.flush())
        return 1;
    const double added = seconds(timer);
    std::printf("add: %.1f s (%.0f/s)\n", added, count / added);
    (void)database.execute(QStringLiteral("ANALYZE"));

    PGconn *bare = PQconnectdb(url.toUtf8().constData());
    PQsetClientEncoding(bare, "UTF8");
    const char *places[] = {"start", "middle", "end"};
    double worst = 0;
    for (int key = 0; key < songs.definition().keys.size(); ++key) {
        std::printf("%-24s", qPrintable(songs.definition().keys.at(key).name));
        for (int p = 0; p < 3; ++p) {
            const RecordPosition at = positionAt(songs, key, p * 0.5, count);
            const PageTimes fwd = timePage(songs, bare, key, at, true, 30);
            const PageTimes back = timePage(songs, bare, key, at, false, 30);
            const double ratio = (fwd.store + back.store) / (fwd.bare + back.bare);
            worst = qMax(worst, ratio);
            std::printf("  %s %.0f/%.0f us x%.2f", places[p], fwd.store * 1e6, back.store * 1e6,
                        ratio);
        }
        std::printf("\n");
    }
    std::printf("page read: worst store/bare ratio %.2f\n", worst);

    // Three characters or more: the trigram index; fewer: a scan of the folded titles.
    const char *searches[] = {
        "INSTRING(UPPER('starven'), UPPER(MUS:Title), 1, 1) > 0",
        "INSTRING(UPPER('gen'), UPPER(MUS:Title), 1, 1) > 0",
        "SUB(UPPER(MUS:Title), 1, 6) = UPPER('lamori')",
        "INSTRING(UPPER('ka'), UPPER(MUS:Title), 1, 1) > 0",
        "INSTRING(UPPER('lamorti'), UPPER(MUS:Notes), 1, 1) > 0",
        // Text outside ASCII goes through the generated case mapping character by character.
        "INSTRING(UPPER('é'), UPPER(MUS:Title & 'é'), 1, 1) > 0",
    };
    for (const char *search : searches)
        timeSearch(database, bare, QString::fromUtf8(search));
    PQfinish(bare);
    return 0;
}
