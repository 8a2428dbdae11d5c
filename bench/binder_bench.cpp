// Binder pages over every album of a catalogue against a bare read of the same rows:
//   binder_bench FOLDER   (FOLDER: a catalogue, e.g. one make_catalogue wrote)
// Prints the bare read (sqlite3: the albums in file-number order through that key's index,
// and each album's songs through the album key's index), the binder run without windows
// (albums per second, memory taken), and the same run under its progress window on the
// event loop: the longest the loop was kept from other work, and the memory it took.
#include "app/session.h"
#include "labels/binderpages.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "reports/previewwindow.h"
#include "reports/reportrun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>

using namespace sv;

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

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QString text = QString::fromLatin1(status.readAll());
    const auto match = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+)")).match(text);
    return match.captured(1).toDouble() / 1024.0;
}

// Every album with a file number in that key's order, and each one's songs in the album
// key's order, every column read.
double bareRead(const QString &folder, qint64 &albums, qint64 &songs)
{
    sqlite3 *db = nullptr;
    const QString path =
        folder + u'/' + tableDef(TableId::Albums).fileName + QStringLiteral(".tps");
    const QString songPath =
        folder + u'/' + tableDef(TableId::Songs).fileName + QStringLiteral(".tps");
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, ("ATTACH '" + songPath.toStdString() + "' AS s").c_str(), nullptr, nullptr,
                 nullptr);
    sqlite3_stmt *albumRead = nullptr;
    sqlite3_stmt *songRead = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT * FROM \"Album\" INDEXED BY \"Album_KEYFILENUMBER\" WHERE "
                           "\"k_FileNumber\" <> '' ORDER BY \"k_FileNumber\"",
                           -1, &albumRead, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(
            db,
            "SELECT * FROM s.\"Songvane\" WHERE \"AlbumID\" = ? AND \"AlbumID\" <> 0 "
            "ORDER BY \"AlbumID\", \"TrackNumber\"",
            -1, &songRead, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "bare read: %s\n", sqlite3_errmsg(db));
        return 0;
    }
    QElapsedTimer timer;
    timer.start();
    qint64 bytes = 0;
    albums = songs = 0;
    const int idColumn = 2; // after the position and the revision
    while (sqlite3_step(albumRead) == SQLITE_ROW) {
        ++albums;
        for (int column = 0; column < sqlite3_column_count(albumRead); ++column)
            bytes += sqlite3_column_bytes(albumRead, column);
        sqlite3_bind_int64(songRead, 1, sqlite3_column_int64(albumRead, idColumn));
        while (sqlite3_step(songRead) == SQLITE_ROW) {
            ++songs;
            for (int column = 0; column < sqlite3_column_count(songRead); ++column)
                bytes += sqlite3_column_bytes(songRead, column);
        }
        sqlite3_reset(songRead);
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_finalize(albumRead);
    sqlite3_finalize(songRead);
    sqlite3_close(db);
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: binder_bench FOLDER\n");
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
    // From the first file number to the last: every album that has one.
    const labels::BinderSelection every{QStringLiteral("Binder"), QString(),
                                        QString(30, QChar(0xFFFF))};

    qint64 albums = 0, songs = 0;
    const double bare = bareRead(folder, albums, songs);
    std::printf("bare read: %lld albums and %lld songs in %.2f s\n", albums, songs, bare);

    for (const QString &style : {QStringLiteral("Binder"), QStringLiteral("Flap")}) {
        labels::BinderSelection selection = every;
        selection.style = style;
        const double idle = residentMegabytes();
        QElapsedTimer timer;
        timer.start();
        QString error;
        labels::BinderSource source(session, selection);
        const std::shared_ptr<reports::PageList> pages =
            reports::ReportRun::runToEnd(source, error);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!pages) {
            std::fprintf(stderr, "the run failed: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("%s pages without windows: %d pages in %.2f s, %.0f albums/s; %.2f times "
                    "the bare read; memory %.0f MB above idle\n",
                    qPrintable(style), pages->count(), seconds, albums / seconds,
                    seconds / qMax(bare, 1e-9), residentMegabytes() - idle);
    }

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
    auto *run =
        new reports::ReportRun(session, std::make_unique<labels::BinderSource>(session, every),
                               reports::ReportRun::Destination::Preview, nullptr);
    bool ended = false;
    int pageCount = 0;
    QObject::connect(run, &reports::ReportRun::ended, [&](reports::PreviewWindow *preview) {
        ended = true;
        pageCount = preview ? preview->pageCount() : 0;
        app.quit();
    });
    QElapsedTimer timer;
    timer.start();
    if (!run->start())
        return 1;
    probe.start();
    app.exec();
    std::printf("binder pages under the progress window: %.2f s, %d pages; the event loop "
                "waited at most %.1f ms for other work; memory %.0f MB above before the run\n",
                double(timer.nsecsElapsed()) / 1e9, pageCount, double(longest) / 1e6,
                residentMegabytes() - before);
    return ended ? 0 : 1;
}
