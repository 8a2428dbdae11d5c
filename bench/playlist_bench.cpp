// The play-list form on a play list of many entries against bare SQL on the same files:
//   playlist_bench FOLDER [entries=5000]   (FOLDER: a catalogue, e.g. make_catalogue's)
// Adds one play list with its entries, then times opening the form (with its total time),
// the four moves, dropping a song and closing the gap a deleted entry leaves, each whole as
// the user sees it (the list and total read again), against bare prepared statements that
// read and write the same rows; medians of 9, on the clock and in processor time (which
// leaves out the disk's wait at each commit, the part that varies most between runs).
#include "app/browselist.h"
#include "app/pagemodel.h"
#include "app/reorder.h"
#include "app/session.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "playlists/playlistentries.h"
#include "playlists/playlistentry.h"
#include "playlists/playlistform.h"
#include "store/sqldialect.h"
#include "store/tablefile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace sv;

namespace {

constexpr int Runs = 9;
constexpr double BoundMs = 100;

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

double processorMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// The runs of one piece of work, on the clock and in processor time.
struct Timings
{
    QList<double> clock;
    QList<double> processor;

    void time(const std::function<void()> &work)
    {
        const double start = processorMilliseconds();
        clock.append(milliseconds(work));
        processor.append(processorMilliseconds() - start);
    }
};

// One bare connection on the entry file with the song file attached, with the functions
// their triggers call; statements prepared once, as a hand-written program keeps them.
class Bare
{
public:
    explicit Bare(const QString &folder)
    {
        const auto file = [&folder](TableId id) {
            return folder + u'/' + tableDef(id).fileName + QStringLiteral(".tps");
        };
        sqlite3_open(file(TableId::PlaylistDetails).toUtf8().constData(), &m_db);
        tablefile::registerFunctions(m_db);
        exec(QStringLiteral("ATTACH '%1' AS songs").arg(file(TableId::Songs)));
    }
    ~Bare()
    {
        for (sqlite3_stmt *statement : std::as_const(m_prepared))
            sqlite3_finalize(statement);
        sqlite3_close(m_db);
    }
    Bare(const Bare &) = delete;
    Bare &operator=(const Bare &) = delete;

    // Runs a statement with integer parameters, reading every column of every row; returns
    // the rows' first two columns.
    QList<std::pair<qint64, qint64>> run(const QString &text, const QList<qint64> &parameters = {})
    {
        sqlite3_stmt *&statement = m_prepared[text];
        if (!statement && sqlite3_prepare_v2(m_db, text.toUtf8().constData(), -1, &statement,
                                             nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "bare query failed: %s\n", sqlite3_errmsg(m_db));
            std::exit(1);
        }
        for (int i = 0; i < parameters.size(); ++i)
            sqlite3_bind_int64(statement, i + 1, parameters.at(i));
        QList<std::pair<qint64, qint64>> rows;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
            rows.append({sqlite3_column_int64(statement, 0), sqlite3_column_int64(statement, 1)});
        }
        sqlite3_reset(statement);
        return rows;
    }
    void exec(const QString &text)
    {
        sqlite3_exec(m_db, text.toUtf8().constData(), nullptr, nullptr, nullptr);
    }

private:
    sqlite3 *m_db = nullptr;
    QHash<QString, sqlite3_stmt *> m_prepared;
};

void report(const char *what, const Timings &store, const Timings &bare)
{
    const double ours = median(store.clock);
    const double theirs = median(bare.clock);
    std::printf("%-32s %8.2f ms (bound %.0f: %s)  bare %7.2f ms  store/bare %.2f\n", what, ours,
                BoundMs, ours <= BoundMs ? "within" : "OVER", theirs, ours / theirs);
    const double ourProcessor = median(store.processor);
    const double bareProcessor = median(bare.processor);
    std::printf("%-32s %8.2f ms                        bare %7.2f ms  store/bare %.2f\n",
                "  its processor time", ourProcessor, bareProcessor, ourProcessor / bareProcessor);
}

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

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 5000;
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(folder + QStringLiteral("/config"));
    setvbuf(stdout, nullptr, _IONBF, 0);
    PrintingPrompter prompter;
    setPrompter(&prompter);
    Session session(folder);
    session.announceTables();
    Store &store = session.store();
    Table &songs = store.table(TableId::Songs);
    Table &masters = store.table(TableId::PlaylistMaster);
    Table &entries = store.table(TableId::PlaylistDetails);
    const TableUses uses = session.files().use({&songs, &masters, &entries});
    if (!uses)
        return 1;

    // Songs to name: those on file, or a thousand made here.
    qint64 songCount = 0;
    if (!songs.highest(mus::KeyID, mus::ID, songCount))
        return 1;
    if (songCount == 0) {
        bool made = songs.stream();
        for (qint64 id = 1; made && id <= 1000; ++id) {
            songs.buffer().clear();
            songs.buffer().setNumber(mus::ID, id);
            songs.buffer().setText(mus::Artist, QStringLiteral("Artist %1").arg(id));
            songs.buffer().setText(mus::Title, QStringLiteral("Song %1").arg(id));
            songs.buffer().setNumber(mus::Time, 18001 + id * 100);
            made = songs.add();
        }
        if (!made || !songs.flush())
            return 1;
        songCount = 1000;
    }
    qint64 playlistId = 0;
    if (!masters.highest(pld::KeyPlaylistID, pld::PlaylistID, playlistId))
        return 1;
    ++playlistId;
    masters.buffer().clear();
    masters.buffer().setNumber(pld::PlaylistID, playlistId);
    masters.buffer().setText(pld::PlaylistDescription, QStringLiteral("Bench %1").arg(playlistId));
    bool made = masters.add() && entries.stream();
    for (int seq = 1; made && seq <= count; ++seq) {
        entries.buffer() = playlistRow(playlistId);
        entries.buffer().setNumber(pla::PlaylistSeq, seq);
        entries.buffer().setNumber(pla::ID, (seq * 7919) % songCount + 1);
        made = entries.add();
    }
    if (!made || !entries.flush() || !masters.reget(masters.position()))
        return 1;
    std::printf("play list %lld with %d entries, %lld songs\n", playlistId, count, songs.records());

    Bare bare(folder);
    const TableDef &entryDef = tableDef(TableId::PlaylistDetails);
    const TableDef &songDef = tableDef(TableId::Songs);
    const QString entryTable = sql::tableName(QStringLiteral("main"), entryDef);
    const QString songTable = sql::tableName(QStringLiteral("songs"), songDef);
    const QString position = sql::positionColumn();
    sql::Walk walk;
    walk.key = pla::KeyPlaylistID;
    walk.prefixed = true;
    // The play list's entries in order (parameters: the play list, the row limit).
    const QString entryPage = sql::page(QStringLiteral("main"), entryDef, walk);
    const QString runQuery = QStringLiteral("SELECT %1, PLAYLISTSEQ FROM %2 WHERE PlaylistID = ?1 "
                                            "ORDER BY PLAYLISTSEQ")
                                 .arg(position, entryTable);
    const QString songOfEntry = QStringLiteral("SELECT * FROM %1 WHERE ID = ?1").arg(songTable);
    const QString total =
        QStringLiteral("SELECT total(s.Time), 0 FROM %1 e JOIN %2 s ON s.ID = e.ID "
                       "WHERE e.PlaylistID = ?1")
            .arg(entryTable, songTable);
    const QString update =
        QStringLiteral("UPDATE %1 SET PLAYLISTSEQ = ?1 WHERE %2 = ?2").arg(entryTable, position);

    PlaylistForm *form = nullptr;
    Timings ours;
    Timings theirs;
    int pageRows = 0;
    // What the user sees after every change: the first page with its songs and the total.
    const auto bareShow = [&] {
        for (const auto &row : bare.run(entryPage, {playlistId, qint64(pageRows)}))
            bare.run(songOfEntry, {row.second});
        bare.run(total, {playlistId});
    };
    for (int run = 0; run < Runs; ++run) {
        if (form)
            form->close();
        QCoreApplication::processEvents();
        (void)masters.reget(masters.position());
        ours.time([&] {
            form = new PlaylistForm(session, Request::Change);
            (void)form->start();
            form->show();
            QCoreApplication::processEvents();
        });
        pageRows = form->entries()->model()->pageSize();
        theirs.time([&] {
            bare.run(QStringLiteral("SELECT * FROM %1 WHERE %2 = ?1")
                         .arg(sql::tableName(QStringLiteral("songs"), songDef), position),
                     {1});
            bareShow();
        });
    }
    report("open the form with Total Time", ours, theirs);

    PlaylistEntries *list = form->entries();
    const auto bareMove = [&](bool toTop) {
        bare.exec(QStringLiteral("BEGIN IMMEDIATE"));
        const auto rows = bare.run(runQuery, {playlistId});
        const qint64 parking = rows.last().second + 1;
        const auto moving = toTop ? rows.last() : rows.first();
        bare.run(update, {parking, moving.first});
        if (toTop) {
            for (qsizetype i = rows.size() - 2; i >= 0; --i)
                bare.run(update, {rows.at(i).second + 1, rows.at(i).first});
        } else {
            for (qsizetype i = 1; i < rows.size(); ++i)
                bare.run(update, {rows.at(i).second - 1, rows.at(i).first});
        }
        bare.run(update, {toTop ? 1 : rows.last().second, moving.first});
        bare.exec(QStringLiteral("COMMIT"));
        bareShow();
    };
    const auto timeMoves = [&](const char *what, MoveMode mode, bool last, bool toTop) {
        Timings moved;
        Timings plain;
        for (int run = 0; run < Runs; ++run) {
            if (last)
                (void)list->list()->goBottom();
            else
                (void)list->list()->goTop();
            list->list()->highlightRow(last ? list->model()->rowCount() - 1 : 0);
            moved.time([&] { list->move(mode); });
            plain.time([&] { bareMove(toTop); });
        }
        report(what, moved, plain);
    };
    timeMoves("last entry to the top", MoveMode::ToTop, true, true);
    timeMoves("first entry to the bottom", MoveMode::ToBottom, false, false);
    const auto timeStep = [&](const char *what, MoveMode mode) {
        Timings moved;
        Timings plain;
        for (int run = 0; run < Runs; ++run) {
            (void)list->list()->goTop();
            list->list()->highlightRow(1);
            moved.time([&] { list->move(mode); });
            plain.time([&] {
                bare.exec(QStringLiteral("BEGIN IMMEDIATE"));
                const auto rows = bare.run(runQuery, {playlistId});
                bare.run(update, {rows.last().second + 1, rows.at(1).first});
                bare.run(update, {2, rows.at(0).first});
                bare.run(update, {1, rows.at(1).first});
                bare.exec(QStringLiteral("COMMIT"));
                bareShow();
            });
        }
        report(what, moved, plain);
    };
    timeStep("second entry up one", MoveMode::UpOne);
    timeStep("first entry down one", MoveMode::DownOne);

    // A dropped song appended; then the first entry deleted and the gap closed. Each run
    // takes one entry away again so the play list keeps its length.
    Timings drops, bareDrops, gaps, bareGaps;
    const QString lastSeq = QStringLiteral("SELECT PLAYLISTSEQ, 0 FROM %1 WHERE PlaylistID = ?1 "
                                           "ORDER BY PLAYLISTSEQ DESC LIMIT 1")
                                .arg(entryTable);
    const QString insert =
        QStringLiteral("INSERT INTO %1 (PlaylistID, PLAYLISTSEQ, ID) VALUES (?1, ?2, ?3)")
            .arg(entryTable);
    const QString removeAt =
        QStringLiteral("DELETE FROM %1 WHERE %2 = ?1").arg(entryTable, position);
    for (int run = 0; run < Runs; ++run) {
        drops.time([&] { list->dropSong(QStringLiteral("1")); });
        bareDrops.time([&] {
            const qint64 last = bare.run(lastSeq, {playlistId}).value(0).first;
            bare.run(insert, {playlistId, last + 1, 1});
            bareShow();
        });
        // Two entries too many now: the first two go with the gap each leaves, one through
        // the store, one bare, each in one transaction.
        for (int side = 0; side < 2; ++side) {
            entries.buffer() = playlistRow(playlistId);
            entries.buffer().setNumber(pla::PlaylistSeq, 1);
            if (!entries.get(pla::KeyPlaylistID))
                return 1;
            const RecordPosition first = entries.position();
            if (side == 0) {
                gaps.time([&] {
                    if (removeRunRow(playlistRun(store), playlistRow(playlistId), first,
                                     [](const QString &, qint64) {}) != Removed::Yes)
                        std::exit(1);
                    list->reload();
                });
            } else {
                bareGaps.time([&] {
                    bare.exec(QStringLiteral("BEGIN IMMEDIATE"));
                    bare.run(removeAt, {first});
                    const auto rows = bare.run(runQuery, {playlistId});
                    for (qsizetype i = 0; i < rows.size(); ++i)
                        bare.run(update, {i + 1, rows.at(i).first});
                    bare.exec(QStringLiteral("COMMIT"));
                    bareShow();
                });
            }
        }
    }
    report("drop a song (appended)", drops, bareDrops);
    report("delete the first, close the gap", gaps, bareGaps);
    form->close();
    QCoreApplication::processEvents();
    return 0;
}
