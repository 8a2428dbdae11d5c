// A second station working on a play list: opens the catalogue in a folder as another
// process would and changes one play list's entries, printing "ready" when the test may go
// on.
#include "app/reorder.h"
#include "store/errors.h"
#include "store/store.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

using namespace sv;

namespace {

void ready()
{
    std::printf("ready\n");
    std::fflush(stdout);
}

int fail(const char *what)
{
    std::printf("failed %s: %d %s\n", what, errorCode(), qPrintable(errorText()));
    return 1;
}

ChildRun run(Store &store)
{
    return {&store.table(TableId::PlaylistDetails),
            pla::KeyPlaylistID,
            {pla::PlaylistID},
            pla::PlaylistSeq};
}

Record row(qint64 playlistId)
{
    Record values(tableDef(TableId::PlaylistDetails));
    values.setNumber(pla::PlaylistID, playlistId);
    return values;
}

// Appends the song as the play list's last entry inside a transaction held open for the
// given milliseconds.
int appendHeld(Store &store, qint64 playlistId, qint64 songId, int milliseconds)
{
    Table &entries = store.table(TableId::PlaylistDetails);
    if (!entries.open())
        return fail("open");
    if (!store.database().logout(1, {TableId::PlaylistDetails}))
        return fail("logout");
    qint64 last = 0;
    if (!lastInRun(run(store), row(playlistId), last))
        return fail("last");
    entries.buffer() = row(playlistId);
    entries.buffer().setNumber(pla::PlaylistSeq, last + 1);
    entries.buffer().setNumber(pla::ID, songId);
    if (!entries.add())
        return fail("add");
    ready();
    QThread::msleep(milliseconds);
    return store.database().commit() ? 0 : fail("commit");
}

// Moves the play list's last entry to the top, again and again, until it is killed.
int moveLoop(Store &store, qint64 playlistId)
{
    Table &entries = store.table(TableId::PlaylistDetails);
    if (!entries.open())
        return fail("open");
    for (int moves = 0;; ++moves) {
        qint64 last = 0;
        if (!lastInRun(run(store), row(playlistId), last))
            return fail("last");
        const Moved moved =
            moveRunRow(run(store), row(playlistId), RunMove{MoveMode::ToTop, last, 0, 0},
                       [](const QString &section, qint64) {
                           std::printf("failed %s\n", qPrintable(section));
                       });
        if (moved != Moved::Yes)
            return fail("move");
        if (moves == 0)
            ready();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    Store store(args.at(1));
    const QString command = args.at(2);
    const qint64 playlistId = args.at(3).toLongLong();
    if (command == u"append-held")
        return appendHeld(store, playlistId, args.value(4).toLongLong(), args.value(5).toInt());
    if (command == u"move-loop")
        return moveLoop(store, playlistId);
    return 2;
}
