// The song browser on a large catalogue against bare SQL on the same file:
//   songbrowser_bench FOLDER      (FOLDER holds svpdata.tps, e.g. left by store_bench)
// Prints the time of opening the browser, of each order's first page, of the locator, and
// of the first page under a two-condition search, each with the bare query's time.
#include "app/session.h"
#include "app/settings.h"
#include "platform/paths.h"
#include "songs/songbrowser.h"
#include "store/filter.h"
#include "store/sqldialect.h"

#include <QApplication>
#include <QElapsedTimer>

#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>

using namespace sv;

namespace {

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// The bare query: the first 40 rows of a key order with a WHERE condition, the columns
// the browser's list reads.
double bareFirstPage(sqlite3 *db, int key, const QString &where, const QList<int> &fields)
{
    sql::Walk walk;
    walk.key = key;
    walk.filter = where;
    walk.fields = fields;
    QString sql = sql::page(QStringLiteral("main"), tableDef(TableId::Songs), walk);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
    sqlite3_bind_int(statement, 1, 40);
    const double time = milliseconds([&] {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
        }
    });
    sqlite3_finalize(statement);
    return time;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    // Window layouts and settings go with the catalogue, not into the current folder.
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(folder + QStringLiteral("/config"));
    Session session(folder);
    session.announceTables();
    Settings::global().saveLastTab = 0;
    sqlite3 *bare = nullptr;
    sqlite3_open((folder + QStringLiteral("/svpdata.tps")).toUtf8().constData(), &bare);
    sqlite3_exec(bare, "PRAGMA cache_size=-131072", nullptr, nullptr, nullptr);

    SongBrowser *browser = nullptr;
    const double open = milliseconds([&] {
        browser = new SongBrowser(session);
        browser->start();
        browser->resize(1000, 700);
        browser->show();
        QCoreApplication::processEvents();
    });
    std::printf("%s, first page %d rows\n", qPrintable(browser->windowTitle()),
                browser->list()->model()->rowCount());
    std::printf("%-34s %8.2f ms\n", "open the browser", open);
    const char *tabs[] = {"By Artist",   "By Title",   "By Album", "By Media",
                          "By Category", "By Chart #", "By BPM",   "By UDK"};
    const int keys[] = {mus::SongsByArtist,     mus::SongsByTitle,         mus::SongsByAlbum,
                        mus::SongsByMedia,      mus::SongsByCategory,      mus::SongsByChartNumber,
                        mus::KeyBeatsPerMinute, mus::SongsByUserDefinedKey};
    for (int tab = 0; tab < 8; ++tab) {
        const double ours = milliseconds([&] { browser->selectTab(tab); });
        const double raw =
            bareFirstPage(bare, keys[tab], QString(), browser->list()->model()->fields());
        std::printf("tab %-30s %8.2f ms   bare %6.2f ms\n", tabs[tab], ours, raw);
    }
    browser->selectTab(0);
    const double locator = milliseconds([&] { browser->list()->locate(QStringLiteral("MOR")); });
    std::printf("%-34s %8.2f ms\n", "locator \"mor\"", locator);

    const QString search =
        QStringLiteral("(SUB(UPPER(MUS:Artist),1,2) = UPPER('La')) AND (MUS:BeatsPerMinute > 150)");
    const CompiledFilter compiled = compileFilter(search, [](const QString &name) {
        const int field = tableDef(TableId::Songs).fieldIndex(name);
        if (field < 0)
            return std::optional<FilterName>();
        FilterName column;
        column.isColumn = true;
        column.columnSql = sql::quote(tableDef(TableId::Songs).fields.at(field).name);
        column.kind = tableDef(TableId::Songs).fields.at(field).type == FieldType::String
                          ? ValueKind::Text
                          : ValueKind::Number;
        return std::optional<FilterName>(column);
    });
    registerFilterFunctions(bare);
    QString bareWhere = compiled.sql;
    for (const QVariant &value : compiled.parameters)
        bareWhere.replace(bareWhere.indexOf(u'?'), 1,
                          value.typeId() == QMetaType::QString ? u'\'' + value.toString() + u'\''
                                                               : value.toString());
    sqlite3_stmt *count = nullptr;
    sqlite3_prepare_v2(bare,
                       ("SELECT count(*) FROM Songvane WHERE " + bareWhere.toUtf8()).constData(),
                       -1, &count, nullptr);
    sqlite3_step(count);
    const qint64 matching = sqlite3_column_int64(count, 0);
    sqlite3_finalize(count);
    const double searched = milliseconds([&] { browser->setSearchFilter(search); });
    const double raw =
        bareFirstPage(bare, mus::SongsByArtist, bareWhere, browser->list()->model()->fields());
    std::printf("search (%lld songs match, %.2f%%)  %8.2f ms   bare %6.2f ms\n",
                static_cast<long long>(matching), 100.0 * matching / 1e6, searched, raw);
    const double nothing = milliseconds(
        [&] { browser->setSearchFilter(QStringLiteral("MUS:BeatsPerMinute > 100000")); });
    std::printf("%-34s %8.2f ms (read in chunks of %d, the window painting between)\n",
                "search matching nothing", nothing, Table::FilterChunk);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %ld KiB\n", usage.ru_maxrss);
    browser->close();
    sqlite3_close(bare);
    return 0;
}
