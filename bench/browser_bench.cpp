// Times what a browser does on a large song table against the bare SQL page query, and
// reports the program's peak memory:
//   browser_bench FOLDER [songs-to-create]
// FOLDER holds svpdata.tps (store_bench leaves one with a million songs); when it has none,
// that many songs are created first.
#include "app/browselist.h"
#include "store/errors.h"
#include "store/sqldialect.h"
#include "store/store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTableView>

#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

using namespace sv;

namespace {

constexpr int PageRows = 20;

double microseconds(const std::function<void()> &work, int repeats = 20)
{
    double best = 1e12;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = qMin(best, timer.nsecsElapsed() / 1e3);
    }
    return best;
}

// A benchmark that cannot set up its catalogue stops: it would time nothing.
void require(bool done, const char *what)
{
    if (!done) {
        std::fprintf(stderr, "%s failed: %s\n", what, qPrintable(errorText()));
        std::exit(1);
    }
}

void createSongs(Store &store, int count)
{
    Table &songs = store.table(TableId::Songs);
    require(songs.create() && songs.open(), "making the song file");
    require(songs.stream(), "STREAM");
    for (int i = 1; i <= count; ++i) {
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, i);
        songs.buffer().setText(mus::Artist, QStringLiteral("Artist %1").arg(i % 9973));
        songs.buffer().setText(mus::Title, QStringLiteral("Title %1").arg(i));
        songs.buffer().setNumber(mus::ChartNumber, i % 7 == 0 ? i % 100 : 0);
        require(songs.add(), "ADD");
    }
    require(songs.flush(), "FLUSH");
    songs.close();
}

// The bare keyset page a browser needs: first page of a key from the top, with the
// columns the list reads.
double barePage(const QString &path, int key, const QList<int> &fields)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "PRAGMA cache_size=-131072", nullptr, nullptr, nullptr);
    sql::Walk walk;
    walk.key = key;
    walk.fields = fields;
    const QByteArray sql =
        sql::page(QStringLiteral("main"), tableDef(TableId::Songs), walk).toUtf8();
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr);
    const double time = microseconds([&] {
        sqlite3_reset(statement);
        sqlite3_bind_int(statement, 1, PageRows);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
        }
    });
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return time;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: browser_bench FOLDER [songs-to-create]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Store store(folder);
    if (!QFileInfo::exists(folder + QStringLiteral("/svpdata.tps")))
        createSongs(store, argc > 2 ? atoi(argv[2]) : 10000);
    Table &songs = store.table(TableId::Songs);
    require(songs.open(), "opening the song file");
    std::printf("songs: %lld\n", static_cast<long long>(songs.records()));

    PageModel model(songs, nullptr);
    model.setColumns({{QStringLiteral("Artist"),
                       [](const Record &r) { return r.text(mus::Artist); },
                       {},
                       {mus::Artist}},
                      {QStringLiteral("Title"),
                       [](const Record &r) { return r.text(mus::Title); },
                       {},
                       {mus::Title}}});
    BrowseList list(&model);
    list.resize(600, PageRows * (list.view()->fontMetrics().height() + 6) + 4);
    list.show();
    model.setPageSize(PageRows);

    const double open = microseconds([&] {
        model.setView(mus::SongsByArtist, QString());
        model.fillFromTop();
    });
    const double bare =
        barePage(folder + QStringLiteral("/svpdata.tps"), mus::SongsByArtist, model.fields());
    const double thumb = microseconds([&] {
        list.rebuildThumb(50, thumb::Alphabet{true, false, true, false});
    });
    const double switchTab = microseconds([&] {
                                 model.setView(mus::SongsByTitle, QString());
                                 model.fillFrom(model.positionAt(0));
                                 model.setView(mus::SongsByArtist, QString());
                                 model.fillFrom(model.positionAt(0));
                             }) /
                             2;
    const double locator = microseconds([&] { list.locate(QStringLiteral("Artist 5")); });
    // Page down from the same page each time, so both sides read warm pages.
    const RecordPosition start = model.positionAt(0);
    const double refill = microseconds([&] { model.fillFrom(start); });
    const double pageDown = microseconds([&] {
                                model.fillFrom(start);
                                model.pageDown();
                            }) -
                            refill;
    const double middle = microseconds([&] { list.dragThumbTo(50); });
    const double bottom = microseconds([&] { list.goBottom(); });
    const auto row = [&](const char *what, double us) {
        std::printf("%-28s %8.0f us  x%.1f of the bare page query\n", what, us, us / bare);
    };
    std::printf("%-28s %8.0f us\n", "bare page query", bare);
    row("open (view + first page)", open);
    row("scroll thumb table", thumb);
    row("switch tab, keep record", switchTab);
    row("locator", locator);
    row("page down", pageDown);
    row("thumb to the middle", middle);
    row("bottom", bottom);
    std::printf("peak memory %ld KiB\n", peakKilobytes());
    return 0;
}
