// Times Find Duplicates on a catalogue.
//   duplicates_bench FOLDER
// FOLDER holds the catalogue (make_catalogue FOLDER 1000000; use a copy: the tables are
// opened as the program opens them). Prints a bare read of the fields compared, the search
// alone against it, and the search as the window runs it, with the longest the event loop
// went without turning meanwhile (what a user typing elsewhere would wait at most).
#include "app/session.h"
#include "app/settings.h"
#include "maintenance/duplicates.h"
#include "maintenance/duplicateswindow.h"
#include "platform/paths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sqlite3.h>

using namespace sv;

namespace {

double bareRead(const QString &folder)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(folder + QStringLiteral("/svpdata.tps")).constData(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(db, "SELECT Artist, Title, Mix, Time, ID FROM Songvane", -1, &query,
                       nullptr);
    QElapsedTimer clock;
    clock.start();
    qint64 rows = 0;
    qint64 bytes = 0;
    while (sqlite3_step(query) == SQLITE_ROW) {
        bytes += sqlite3_column_bytes(query, 0) + sqlite3_column_bytes(query, 1) +
                 sqlite3_column_bytes(query, 2) + sqlite3_column_int(query, 3) % 2 +
                 sqlite3_column_int(query, 4) % 2;
        ++rows;
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    sqlite3_finalize(query);
    sqlite3_close(db);
    std::printf("bare read of %lld songs' compared fields:   %.2f s (%lld bytes)\n",
                static_cast<long long>(rows), seconds, static_cast<long long>(bytes));
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: duplicates_bench FOLDER\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir config;
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(config.path());
    Settings::global() = Settings();
    Session session(folder);
    session.announceTables();

    bareRead(folder); // warms the page cache for what follows
    const double bare = bareRead(folder);

    {
        NotDuplicates marks(folder);
        marks.load();
        Table &songs = session.store().table(TableId::Songs);
        const TableUse use = session.files().use(songs);
        DuplicateScan scan(songs, {}, marks);
        QElapsedTimer clock;
        clock.start();
        if (!scan.start())
            return 1;
        DuplicateScan::Step step = DuplicateScan::Step::Going;
        while (step == DuplicateScan::Step::Going)
            step = scan.step(400);
        const double seconds = clock.nsecsElapsed() / 1e9;
        std::printf("search alone (no window):                 %.2f s, %lld groups, %.1fx the "
                    "bare read\n",
                    seconds, static_cast<long long>(scan.groups().size()), seconds / bare);
    }

    auto *window = new DuplicatesWindow(session);
    window->show();
    QElapsedTimer since;
    qint64 longest = 0;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] { longest = qMax(longest, since.restart()); });
    bool completed = false;
    QEventLoop loop;
    QObject::connect(window, &DuplicatesWindow::scanFinished, &loop, [&](bool done) {
        completed = done;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    since.start();
    probe.start();
    window->find();
    loop.exec();
    probe.stop();
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("search in the window:                     %.2f s (bound 30 s), %lld groups%s\n",
                seconds, static_cast<long long>(window->groups().size()),
                completed ? "" : " (not completed)");
    std::printf("longest the event loop waited meanwhile:  %lld ms\n",
                static_cast<long long>(longest));
    window->close();
    return completed ? 0 : 1;
}
