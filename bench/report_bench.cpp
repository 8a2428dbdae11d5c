// "Songs by Artist" on a large catalogue against a bare ordered read of the same rows:
//   report_bench FOLDER   (FOLDER: a catalogue, e.g. one make_catalogue wrote)
// Prints the bare read (sqlite3 on the key's own index, every column of every row), the
// report run without windows (pages per second, memory taken), the same run under its
// progress window on the event loop (the longest the loop was kept from other work), and
// how long the preview takes to draw a page from the middle of the report.
#include "app/session.h"
#include "app/settings.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "reports/catalogue.h"
#include "reports/previewwindow.h"
#include "reports/reportpage.h"
#include "reports/reportrun.h"
#include "store/tablefile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>

using namespace sv;
using namespace sv::reports;

namespace {

class PrintingPrompter : public Prompter
{
public:
    Button ask(const Message &message) override
    {
        std::fprintf(stderr, "asked: %s: %s\n", qPrintable(message.caption),
                     qPrintable(message.text));
        return message.defaultButton;
    }
};

// Resident memory in MB, from the kernel's own count.
double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QString text = QString::fromLatin1(status.readAll());
    const auto match = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+)")).match(text);
    return match.captured(1).toDouble() / 1024.0;
}

// Every column of every song in the artist key's order, read through the key's index.
double bareOrderedRead(const QString &folder, qint64 &rows)
{
    sqlite3 *db = nullptr;
    const QString path = folder + u'/' + tableDef(TableId::Songs).fileName + QStringLiteral(".tps");
    sqlite3_open(path.toUtf8().constData(), &db);
    tablefile::registerFunctions(db);
    // The order the key's index holds, taken from the index itself.
    sqlite3_stmt *index = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT sql FROM sqlite_master WHERE type = 'index' AND "
                       "lower(name) LIKE '%songsbyartist%'",
                       -1, &index, nullptr);
    QString order;
    if (sqlite3_step(index) == SQLITE_ROW) {
        const QString sql =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(index, 0)));
        order = sql.mid(sql.indexOf(u'(') + 1);
        order.chop(order.size() - order.lastIndexOf(u')'));
    }
    sqlite3_finalize(index);
    sqlite3_stmt *read = nullptr;
    const QString query = QStringLiteral("SELECT * FROM \"Songvane\" ORDER BY ") + order;
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &read, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "bare read: %s\n", sqlite3_errmsg(db));
        return 0;
    }
    QElapsedTimer timer;
    timer.start();
    rows = 0;
    const int columns = sqlite3_column_count(read);
    qint64 bytes = 0;
    while (sqlite3_step(read) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column)
            bytes += sqlite3_column_bytes(read, column);
        ++rows;
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_finalize(read);
    sqlite3_close(db);
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: report_bench FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(folder + QStringLiteral("/config"));
    setvbuf(stdout, nullptr, _IONBF, 0);
    PrintingPrompter prompter;
    setPrompter(&prompter);
    Session session(folder);
    session.announceTables();
    const ReportDef &report = *findReport(u"Songs by Artist");

    qint64 rows = 0;
    const double bare = bareOrderedRead(folder, rows);
    std::printf("bare ordered read: %lld rows in %.2f s\n", rows, bare);

    const double idle = residentMegabytes();
    QElapsedTimer timer;
    timer.start();
    QString error;
    std::unique_ptr<ReportSource> source = makeSource(session, report, {});
    const std::shared_ptr<PageList> pages = ReportRun::runToEnd(*source, error);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!pages) {
        std::fprintf(stderr, "the report failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("report without windows: %d pages in %.2f s, %.0f pages/s; %.2f times the "
                "bare read; memory %.0f MB above idle\n",
                pages->count(), seconds, pages->count() / seconds, seconds / qMax(bare, 1e-9),
                residentMegabytes() - idle);

    // The preview draws a page at 100 % from the middle of the report.
    timer.restart();
    QImage image(850, 1100, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        scaleToMils(painter, 100);
        renderPage(painter, *pages, pages->page(pages->count() / 2));
    }
    std::printf("one page from the middle drawn in %.1f ms\n", double(timer.nsecsElapsed()) / 1e6);

    // Under the progress window: how long the event loop waits for a tick at most.
    qint64 longest = 0;
    QElapsedTimer gap;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (gap.isValid())
            longest = qMax(longest, gap.nsecsElapsed());
        gap.restart();
    });
    const double before = residentMegabytes();
    auto *run = new ReportRun(session, makeSource(session, report, {}),
                              ReportRun::Destination::Preview, nullptr);
    bool ended = false;
    int shownPages = 0;
    QObject::connect(run, &ReportRun::ended, [&](PreviewWindow *preview) {
        ended = true;
        shownPages = preview ? 1 : 0;
        app.quit();
    });
    timer.restart();
    if (!run->start())
        return 1;
    probe.start();
    app.exec();
    std::printf("report under its progress window: %.2f s; the event loop waited at most "
                "%.1f ms for other work; memory %.0f MB above before the run; preview %s\n",
                double(timer.nsecsElapsed()) / 1e9, double(longest) / 1e6,
                residentMegabytes() - before, shownPages ? "opened" : "not opened");
    return ended ? 0 : 1;
}
