// Writes a generated catalogue of songs, their albums and categories for the benchmarks:
//   make_catalogue FOLDER [songs=1000000]
#include "catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1000000;
    QDir().mkpath(folder);
    QElapsedTimer timer;
    timer.start();
    const bool done =
        sv::bench::generateCatalogue(folder + QStringLiteral("/svpdata.tps"), count) &&
        sv::bench::generateAlbums(folder, count);
    std::printf("%d songs and %d albums in %s: %s in %.1f s\n", count, sv::bench::albumCount(count),
                qPrintable(folder), done ? "done" : "FAILED", timer.nsecsElapsed() / 1e9);
    return done ? 0 : 1;
}
