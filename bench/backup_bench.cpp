// Times a backup of a catalogue against copying its table files.
//   backup_bench FOLDER [WORK_FOLDER] [RUNS]
// FOLDER holds the catalogue (make_catalogue FOLDER 1000000); the copies and backups are
// made in WORK_FOLDER (default: a temporary folder beside FOLDER, on the same disk) and
// deleted after each run. Prints the median of RUNS runs (default 3) of each, the ratios,
// and the longest single step of the backup (what one tick of its window costs at most).
#include "store/backup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace sv;

namespace {

double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Copies every table file as cp would, in 1 MiB pieces, and flushes each to disk when asked.
double copyFiles(const QString &from, const QString &to, bool flush)
{
    QElapsedTimer clock;
    clock.start();
    for (const QString &name : catalogueFileNames()) {
        const QString source = QDir(from).filePath(name);
        if (!QFileInfo::exists(source))
            continue;
        const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
        const int out = ::open(QFile::encodeName(QDir(to).filePath(name)).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char> buffer(1 << 20);
        ssize_t got = 0;
        while ((got = ::read(in, buffer.data(), buffer.size())) > 0) {
            if (::write(out, buffer.data(), size_t(got)) != got) {
                std::fprintf(stderr, "copy failed\n");
                std::exit(1);
            }
        }
        if (flush)
            ::fsync(out);
        ::close(in);
        ::close(out);
    }
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: backup_bench FOLDER [WORK_FOLDER] [RUNS]\n");
        return 2;
    }
    const QString catalogue = QDir(args.at(1)).absolutePath();
    const QString workBase = args.size() > 2 ? args.at(2) : QFileInfo(catalogue).absolutePath();
    const int runs = args.size() > 3 ? qMax(1, args.at(3).toInt()) : 3;
    qint64 bytes = 0;
    for (const QString &name : catalogueFileNames())
        bytes += QFileInfo(QDir(catalogue).filePath(name)).size();
    std::printf("catalogue %s: %.1f MiB in its table files\n", qPrintable(catalogue),
                bytes / 1048576.0);

    std::vector<double> plain, flushed, ours, oursCpu;
    double longestStep = 0;
    qint64 steps = 0;
    qint64 songs = -1;
    // Read once first, so that every run finds the files in the page cache alike.
    {
        QTemporaryDir warm(QDir(workBase).filePath(QStringLiteral("backup_bench.XXXXXX")));
        copyFiles(catalogue, warm.path(), false);
    }
    for (int run = 0; run < runs; ++run) {
        {
            QTemporaryDir work(QDir(workBase).filePath(QStringLiteral("backup_bench.XXXXXX")));
            plain.push_back(copyFiles(catalogue, work.path(), false));
        }
        {
            QTemporaryDir work(QDir(workBase).filePath(QStringLiteral("backup_bench.XXXXXX")));
            flushed.push_back(copyFiles(catalogue, work.path(), true));
        }
        {
            QTemporaryDir work(QDir(workBase).filePath(QStringLiteral("backup_bench.XXXXXX")));
            QElapsedTimer clock;
            clock.start();
            const double cpuBefore = processorSeconds();
            CatalogueBackup backup(catalogue, work.path());
            if (!backup.start(QDateTime::currentDateTime(), true)) {
                std::fprintf(stderr, "%s\n", qPrintable(backup.problem()));
                return 1;
            }
            CatalogueBackup::Step step = CatalogueBackup::Step::Going;
            while (step == CatalogueBackup::Step::Going) {
                QElapsedTimer one;
                one.start();
                step = backup.step(1024); // as the window steps it
                longestStep = std::max(longestStep, one.nsecsElapsed() / 1e6);
                ++steps;
            }
            if (step != CatalogueBackup::Step::Done) {
                std::fprintf(stderr, "%s\n", qPrintable(backup.problem()));
                return 1;
            }
            ours.push_back(clock.nsecsElapsed() / 1e9);
            oursCpu.push_back(processorSeconds() - cpuBefore);
            songs = backup.entry().songs;
        }
        std::printf("run %d: copy %.2f s, copy+fsync %.2f s, backup %.2f s (%.2f s of processor)\n",
                    run + 1, plain.back(), flushed.back(), ours.back(), oursCpu.back());
    }
    const double backupTime = median(ours);
    std::printf("\nsongs in the backup: %lld\n", static_cast<long long>(songs));
    std::printf("copy of the files (median of %d):           %.2f s\n", runs, median(plain));
    std::printf("copy of the files flushed to disk:          %.2f s\n", median(flushed));
    std::printf("backup (online, consistent, flushed):       %.2f s (%.2f s of processor)\n",
                backupTime, median(oursCpu));
    std::printf("ratio backup / copy:                        %.2f (bound 2.00)\n",
                backupTime / median(plain));
    std::printf("ratio backup / copy flushed:                %.2f\n", backupTime / median(flushed));
    std::printf("longest step (1024 pages):                  %.1f ms over %lld steps\n",
                longestStep, static_cast<long long>(steps / runs));
    return 0;
}
