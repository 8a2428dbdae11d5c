// The album browser on a large catalogue against bare SQL on the same files:
//   albumbrowser_bench FOLDER   (FOLDER as make_catalogue leaves it: songs, albums, categories)
// Prints, for opening the browser, each tab's first page, the locator, paging, the scroll
// thumb, the bottom of the order and the refresh the list does when it comes back into use,
// the median of several runs, the bare keyset page query's median on the same order, and
// their ratio. A frame at 60 Hz lasts 16 ms.
#include "albums/albumbrowser.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/paths.h"
#include "store/sqldialect.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace sv;

namespace {

constexpr int Runs = 15;
constexpr int PageRows = 25; // about what the window shows at the size it is opened at

double median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

double milliseconds(const std::function<void()> &work)
{
    QList<double> times;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

// The bare query for a tab's first page: the key's order, the category held to one value
// where the tab has a range, all columns read.
double bareFirstPage(sqlite3 *db, int key, const QVariant &range)
{
    sql::Walk walk;
    walk.key = key;
    walk.prefixed = range.isValid();
    const QByteArray text =
        sql::page(QStringLiteral("main"), tableDef(TableId::Albums), walk).toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), -1, &statement, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "bare query: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    const double time = milliseconds([&] {
        sqlite3_reset(statement);
        int parameter = 1;
        if (range.isValid())
            sqlite3_bind_int64(statement, parameter++, range.toLongLong());
        sqlite3_bind_int(statement, parameter, PageRows);
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
    if (argc < 2) {
        std::fprintf(stderr, "usage: albumbrowser_bench FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString albumFile =
        folder + u'/' + tableDef(TableId::Albums).fileName + QStringLiteral(".tps");
    if (!QFileInfo::exists(albumFile)) {
        std::fprintf(stderr, "no albums in %s: run make_catalogue first\n", qPrintable(folder));
        return 1;
    }
    // Window layouts and settings go with the catalogue, not into the current folder.
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(folder + QStringLiteral("/config"));
    Session session(folder);
    session.announceTables();
    Settings::global().saveLastTab = 0;
    sqlite3 *bare = nullptr;
    sqlite3_open(albumFile.toUtf8().constData(), &bare);
    sqlite3_exec(bare, "PRAGMA cache_size=-131072", nullptr, nullptr, nullptr);

    AlbumBrowser *browser = nullptr;
    QElapsedTimer opening;
    opening.start();
    browser = new AlbumBrowser(session);
    if (!browser->start()) {
        std::fprintf(stderr, "the album table could not be opened\n");
        return 1;
    }
    browser->resize(1000, 700);
    browser->show();
    QCoreApplication::processEvents();
    const double open = opening.nsecsElapsed() / 1e6;
    std::printf("%s, a page of %d rows; medians of %d runs\n", qPrintable(browser->windowTitle()),
                browser->list()->model()->rowCount(), Runs);
    std::printf("%-30s %9s %9s %7s\n", "", "ours ms", "bare ms", "ratio");
    const auto row = [](const char *what, double ours, double raw) {
        std::printf("%-30s %9.2f %9.2f %6.1fx%s\n", what, ours, raw, ours / raw,
                    ours > 16 ? "  over a frame" : "");
    };
    const double bareAlbum = bareFirstPage(bare, alb::KeyAlbum, QVariant());
    row("open the browser (once)", open, bareAlbum);

    // A category with albums, as Select Category leaves it in the category buffer.
    const qint64 category = 7;
    session.store().table(TableId::Categories).buffer().setNumber(cat::CategoryID, category);
    const struct
    {
        const char *name;
        int key;
        bool ranged;
    } tabs[] = {{"tab Album", alb::KeyAlbum, false},
                {"tab Artist", alb::KeyArtist, false},
                {"tab File #", alb::KeyFileNumber, false},
                {"tab Category (category 7)", alb::KeyCategory, true},
                {"tab Cat/Art (category 7)", alb::KeyCategoryArtist, true}};
    for (int tab = 0; tab < 5; ++tab) {
        const double ours = milliseconds([&] { browser->selectTab(tab); });
        row(tabs[tab].name, ours,
            bareFirstPage(bare, tabs[tab].key, tabs[tab].ranged ? QVariant(category) : QVariant()));
    }
    browser->selectTab(AlbumBrowser::ByAlbum);
    BrowseList *list = browser->list();
    row("locator \"mor\"", milliseconds([&] { list->locate(QStringLiteral("MOR")); }), bareAlbum);
    const RecordPosition top = list->model()->positionAt(0);
    const double refill = milliseconds([&] { list->refill(top); });
    row("page down", milliseconds([&] {
                         list->refill(top);
                         list->moveRows(list->model()->pageSize());
                     }) - refill,
        bareAlbum);
    row("thumb to the middle", milliseconds([&] { list->dragThumbTo(50); }), bareAlbum);
    row("bottom", milliseconds([&] { list->goBottom(); }), bareAlbum);
    row("refresh (back in use)", milliseconds([&] { browser->refresh(); }), bareAlbum);
    browser->selectTab(AlbumBrowser::ByCategoryArtist);
    row("bottom of a category", milliseconds([&] { list->goBottom(); }),
        bareFirstPage(bare, alb::KeyCategoryArtist, QVariant(category)));

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %ld KiB\n", usage.ru_maxrss);
    browser->close();
    sqlite3_close(bare);
    return 0;
}
