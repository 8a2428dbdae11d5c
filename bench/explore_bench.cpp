// The explore view of songs on a large catalogue:
//   explore_bench FOLDER [URL] (FOLDER holds a catalogue, e.g. made by make_catalogue; with
//                               URL, the window reads the same catalogue copied to that
//                               server, and the bare page is still the folder's)
// For every column that orders: the making of its index (the first click on its header),
// with the longest the window waited for its turn meanwhile, then the view's actions in
// that order (the click, PgDn, PgUp, Ctrl+End, Ctrl+Home, the locator) against the 16 ms
// frame, and a 40-row page of the bare keyset query of the same order beside them. The
// order indexes are dropped first, so that each run makes them anew.
#include "app/session.h"
#include "app/settings.h"
#include "platform/paths.h"
#include "songs/songbrowser.h"
#include "store/ordermaker.h"
#include "store/sqldialect.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableView>
#include <QTimer>

#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>

using namespace sv;

namespace {

constexpr double FrameMs = 16.0;

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void press(QWidget *view, int key, Qt::KeyboardModifiers modifiers = {}, const QString &text = {})
{
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(view, &down);
}

// What a plain SQLite program does for the same page: the keyset query of the order,
// the columns the list shows, 40 rows, values read with sqlite3_column_*.
double barePage(sqlite3 *db, int key, const QList<int> &fields)
{
    sql::Walk walk;
    walk.key = key;
    walk.fields = fields;
    const QString text = sql::page(QStringLiteral("main"), tableDef(TableId::Songs), walk);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, text.toUtf8().constData(), -1, &statement, nullptr);
    double best = 1e9;
    for (int run = 0; run < 9; ++run) {
        sqlite3_reset(statement);
        sqlite3_bind_int(statement, 1, 40);
        best = qMin(best, milliseconds([&] {
                        while (sqlite3_step(statement) == SQLITE_ROW) {
                            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                                sqlite3_column_text(statement, c);
                        }
                    }));
    }
    sqlite3_finalize(statement);
    return best;
}

void report(const char *action, double ms, double bound = FrameMs)
{
    std::printf("  %-28s %9.2f ms  %s\n", action, ms,
                ms <= bound ? "within the frame" : "OVER THE FRAME");
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(folder + QStringLiteral("/config"));
    const QByteArray file = (folder + QStringLiteral("/svpdata.tps")).toUtf8();
    sqlite3 *bare = nullptr;
    sqlite3_open(file.constData(), &bare);
    const TableDef &songs = tableDef(TableId::Songs);
    for (int key = 0; key < songs.keys.size(); ++key) {
        if (songs.keys.at(key).onDemand)
            sqlite3_exec(bare,
                         sql::dropIndex(QStringLiteral("main"), songs, key).toUtf8().constData(),
                         nullptr, nullptr, nullptr);
    }

    Session session(folder, argc > 2
                                ? std::make_unique<ServerDatabase>(QString::fromLocal8Bit(argv[2]))
                                : nullptr);
    session.announceTables();
    auto *browser = new SongBrowser(session, Request::None, nullptr, BrowserStyle::Explore);
    const double open = milliseconds([&] {
        browser->start();
        browser->resize(1000, 700);
        browser->show();
        QCoreApplication::processEvents();
    });
    std::printf("%s, %d rows a page; opening %.2f ms\n", qPrintable(browser->windowTitle()),
                browser->list()->model()->rowCount(), open);
    QTableView *view = browser->list()->view();
    const int columns = browser->list()->model()->columnCount();
    for (int column = 0; column < columns; ++column) {
        const QString header = browser->list()
                                   ->model()
                                   ->headerData(column, Qt::Horizontal, Qt::DisplayRole)
                                   .toString();
        const BrowserSetup::ExploreColumn *ordering = browser->exploreColumnAt(column);
        if (!ordering || ordering->key < 0)
            continue;
        std::printf("%s\n", qPrintable(header));
        if (!OrderMaker::isReady(session.store().table(TableId::Songs), ordering->key)) {
            // The window's turns while the index is made on the side.
            QElapsedTimer sinceTurn;
            double longestWait = 0;
            QTimer turns;
            QObject::connect(&turns, &QTimer::timeout, [&] {
                longestWait = qMax(longestWait, double(sinceTurn.nsecsElapsed()) / 1e6);
                sinceTurn.restart();
            });
            double made = 0;
            {
                OrderMaker maker(session.store().table(TableId::Songs), ordering->key);
                sinceTurn.start();
                turns.start(1);
                made = milliseconds([&] {
                    while (!maker.isFinished())
                        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                });
                turns.stop();
            }
            std::printf("  %-28s %9.0f ms  (the window's longest wait for its turn %.1f ms)\n",
                        "making its index", made, longestWait);
        }
        report("click on the header", milliseconds([&] { browser->orderByColumn(column); }));
        report("PgDn", milliseconds([&] { press(view, Qt::Key_PageDown); }));
        report("PgUp", milliseconds([&] { press(view, Qt::Key_PageUp); }));
        report("Ctrl+End", milliseconds([&] { press(view, Qt::Key_End, Qt::ControlModifier); }));
        report("Ctrl+Home", milliseconds([&] { press(view, Qt::Key_Home, Qt::ControlModifier); }));
        report("click again (turned round)", milliseconds([&] { browser->orderByColumn(column); }));
        report("locator \"m\"",
               milliseconds([&] { press(view, Qt::Key_M, {}, QStringLiteral("m")); }));
        std::printf("  %-28s %9.2f ms\n", "bare 40-row page",
                    barePage(bare, ordering->key, browser->list()->model()->fields()));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %ld KiB\n", usage.ru_maxrss);
    browser->close();
    sqlite3_close(bare);
    return 0;
}
