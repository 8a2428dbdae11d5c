// A station that counts: raises a number field of the catalogue's first songs many times
// through a watched read and PUT, reading again and retrying whenever another station
// changed the record first (89) or held its file (32), so no raise may be lost.
//   countingstation TARGET STATION CHANGES
// TARGET is a folder of table files or a postgresql:// URL. Prints "done CONFLICTS" and
// exits 0, or prints what failed and exits 1.
#include "store/errors.h"
#include "store/serverdatabase.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <cstdio>

using namespace sv;

namespace {

constexpr int Songs = 5; // the songs with ID 1..5 are counted on

template <class Handle> int count(Handle &songs, int station, int changes)
{
    // Ten stations opening one file at once find it locked now and then, as people would.
    for (int attempt = 0; !songs.open(); ++attempt) {
        if (errorCode() != err::FileLocked || attempt > 500) {
            std::printf("failed open: %s\n", qPrintable(errorText()));
            return 1;
        }
        QThread::msleep(10);
    }
    int conflicts = 0;
    for (int i = 0; i < changes; ++i) {
        const qint64 id = (station + i) % Songs + 1;
        for (int attempt = 0;; ++attempt) {
            if (attempt > 1000) {
                std::printf("failed: song %lld changed too often\n", static_cast<long long>(id));
                return 1;
            }
            songs.buffer().setNumber(mus::ID, id);
            songs.watch();
            if (!songs.get(mus::KeyID)) {
                if (errorCode() == err::FileLocked)
                    continue;
                std::printf("failed get: %d %s\n", errorCode(), qPrintable(fileError()));
                return 1;
            }
            songs.buffer().setNumber(mus::Skips, songs.buffer().number(mus::Skips) + 1);
            if (songs.put())
                break;
            if (errorCode() == err::ChangedByAnotherStation) {
                ++conflicts;
                continue;
            }
            if (errorCode() == err::FileLocked)
                continue;
            std::printf("failed put: %d %s\n", errorCode(), qPrintable(fileError()));
            return 1;
        }
    }
    std::printf("done %d\n", conflicts);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    const QString target = QString::fromLocal8Bit(argv[1]);
    const int station = QString::fromLocal8Bit(argv[2]).toInt();
    const int changes = QString::fromLocal8Bit(argv[3]).toInt();
    const TableDef &def = tableDef(TableId::Songs);
    // The table handle the program's forms write through, on either engine.
    const bool onServer = target.startsWith(QStringLiteral("postgresql://"));
    Database database = onServer
                            ? Database(QDir::tempPath(), std::make_unique<ServerDatabase>(target))
                            : Database(target);
    Table songs(database, def, def.prefix);
    return count(songs, station, changes);
}
