// Times copying a whole catalogue to a server and back against a bare COPY of the same song
// rows through libpq, in one run:
//   catalogcopy_bench FOLDER [postgresql:// URL; none: a throwaway cluster of its own]
// FOLDER holds a catalogue (make_catalogue FOLDER 1000000); it is only read. Prints the
// seconds of the copy to the server, of the bare baseline (the song file's rows read with
// the engine's own API in position order and sent as COPY text into a table of the same
// layout, its keys made after, without key texts worked out or anything checked), of the
// copy of every table back into a new folder, the ratios, and the longest single step of
// each copy (what one tick of its window waits for at most).
#include "scratchserver.h"
#include "store/catalogcopy.h"
#include "store/pgdialect.h"
#include "store/serverdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>

using namespace sv;

namespace {

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

double copy(CatalogueCopy::Direction direction, const QString &folder, ServerDatabase &server)
{
    QElapsedTimer timer;
    timer.start();
    CatalogueCopy copy(direction, folder, server);
    // The longest step: what one tick of the window waits for at most.
    QElapsedTimer step;
    step.start();
    double longest = 0;
    QString longestWhere;
    const auto progress = [&](const CopyProgress &p) {
        const double took = seconds(step);
        if (took > longest) {
            longest = took;
            longestWhere =
                tableDef(p.table).label + (copy.makingKeys() ? QStringLiteral(" keys") : QString());
        }
        step.restart();
        return true;
    };
    if (!copy.start(CatalogueCopy::Replace::Yes) ||
        runCopy(copy, progress) != CatalogueCopy::Step::Finished) {
        std::fprintf(stderr, "copy failed: %s\n", qPrintable(copy.message()));
        std::exit(1);
    }
    const double took = seconds(timer);
    std::printf("  %s\n  longest step %.2f s (%s)\n", qPrintable(copy.message()), longest,
                qPrintable(longestWhere));
    return took;
}

bool exec(PGconn *connection, const QString &sql)
{
    PGresult *result = PQexec(connection, sql.toUtf8().constData());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok)
        std::fprintf(stderr, "%s\n", PQresultErrorMessage(result));
    PQclear(result);
    return ok;
}

// The song rows as they are in the file, each column's text as the engine gives it, sent
// with COPY into a table made as the copy makes it; the same escaping of texts.
double bareCopy(const QString &folder, const QString &url)
{
    const TableDef &songs = tableDef(TableId::Songs);
    QElapsedTimer timer;
    timer.start();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QDir(folder).filePath(songs.fileName + QStringLiteral(".tps")).toUtf8(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    const QStringList columns = pgsql::copyColumns(songs);
    const QString select = QStringLiteral("SELECT %1 FROM %2 ORDER BY sv_pos")
                               .arg(columns.join(u", "), sql::quote(songs.label));
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, select.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    PGconn *connection = PQconnectdb(url.toUtf8().constData());
    bool ok = exec(connection, QStringLiteral("BEGIN"));
    for (const QString &create : pgsql::createTableWithoutKeys(songs))
        ok = ok && exec(connection, create);
    ok = ok && exec(connection, pgsql::revisionDefault(songs));
    PGresult *begun = PQexec(connection, pgsql::copyIn(songs).toUtf8().constData());
    ok = ok && PQresultStatus(begun) == PGRES_COPY_IN;
    PQclear(begun);
    QByteArray buffer;
    const int count = int(columns.size());
    while (ok && sqlite3_step(statement) == SQLITE_ROW) {
        for (int column = 0; column < count; ++column) {
            if (column)
                buffer.append('\t');
            const auto *text =
                reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
            const int bytes = sqlite3_column_bytes(statement, column);
            for (int i = 0; i < bytes; ++i) {
                const char c = text[i];
                if (c == '\\' || c == '\t' || c == '\n' || c == '\r')
                    buffer.append('\\').append(c == '\t'   ? 't'
                                               : c == '\n' ? 'n'
                                               : c == '\r' ? 'r'
                                                           : c);
                else
                    buffer.append(c);
            }
        }
        buffer.append('\n');
        if (buffer.size() > 1 << 20) {
            ok = PQputCopyData(connection, buffer.constData(), int(buffer.size())) == 1;
            buffer.clear();
        }
    }
    ok = ok && PQputCopyData(connection, buffer.constData(), int(buffer.size())) == 1;
    ok = ok && PQputCopyEnd(connection, nullptr) == 1;
    while (PGresult *result = PQgetResult(connection)) {
        ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    for (const QString &key : pgsql::createKeys(songs))
        ok = ok && exec(connection, key);
    ok = ok && exec(connection, QStringLiteral("ROLLBACK")); // the copy's table stays
    const double took = seconds(timer);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    PQfinish(connection);
    if (!ok) {
        std::fprintf(stderr, "bare copy failed\n");
        std::exit(1);
    }
    return took;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: catalogcopy_bench FOLDER [URL]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    test::ScratchServer scratch;
    QString url = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (url.isEmpty()) {
        url = scratch.createDatabase(QStringLiteral("bench"));
        if (url.isEmpty()) {
            std::fprintf(stderr, "no server: %s\n", qPrintable(scratch.error()));
            return 1;
        }
    }
    ServerDatabase server(url);
    if (!server.isValid()) {
        std::fprintf(stderr, "cannot connect to %s\n", qPrintable(server.server()));
        return 1;
    }
    std::printf("catalogcopy_bench: %s to %s and back\n", qPrintable(folder),
                qPrintable(server.server()));
    const double bare = bareCopy(folder, url);
    std::printf("bare COPY of the songs:   %8.2f s\n", bare);
    const double to = copy(CatalogueCopy::Direction::ToServer, folder, server);
    std::printf("copy to the server:       %8.2f s  (bare/ours %.2f)\n", to, bare / to);
    QTemporaryDir back;
    const double from = copy(CatalogueCopy::Direction::FromServer, back.path(), server);
    std::printf("copy back into a folder:  %8.2f s\n", from);
    return 0;
}
