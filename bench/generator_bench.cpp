// The play-list generator on a large catalogue against bare SQL on the same files:
//   generator_bench FOLDER [runs=7]   (FOLDER: a catalogue, e.g. one make_catalogue wrote)
// Times drawing 99 songs with a category, without filters, with "no song twice", and with
// the DJ choices, each whole (the play list written in its transaction), as the median of
// the runs; beside it the bare queries that find the same songs and write the same rows.
// The play lists made are deleted again at the end.
#include "app/session.h"
#include "app/settings.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "platform/randomsource.h"
#include "playlists/playlistgenerator.h"
#include "store/tablefile.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace sv;
using namespace sv::playlists;

namespace {

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
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

// The bare work of one generation with a category: the category's song positions through
// its index, 99 songs read by position, a play list and its entries written in one
// transaction.
double bareCategoryDraw(const QString &folder, qint64 categoryId)
{
    sqlite3 *db = nullptr;
    const QString path = folder + u'/' + tableDef(TableId::Songs).fileName + QStringLiteral(".tps");
    sqlite3_open(path.toUtf8().constData(), &db);
    tablefile::registerFunctions(db);
    sqlite3_exec(db,
                 "CREATE TEMP TABLE lists(id INTEGER PRIMARY KEY, name TEXT UNIQUE);"
                 "CREATE TEMP TABLE entries(list INTEGER, seq INTEGER, song INTEGER,"
                 " PRIMARY KEY(list, seq))",
                 nullptr, nullptr, nullptr);
    const QString table = QStringLiteral("\"Songvane\"");
    sqlite3_stmt *positions = nullptr, *song = nullptr, *list = nullptr, *entry = nullptr;
    sqlite3_prepare_v2(db,
                       (QStringLiteral("SELECT sv_pos FROM ") + table +
                        QStringLiteral(" WHERE \"CategoryID\" = ?"))
                           .toUtf8(),
                       -1, &positions, nullptr);
    sqlite3_prepare_v2(db,
                       (QStringLiteral("SELECT \"ID\", \"ReleaseDate\" FROM ") + table +
                        QStringLiteral(" WHERE sv_pos = ?"))
                           .toUtf8(),
                       -1, &song, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO lists(name) VALUES ('bench')", -1, &list, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO entries VALUES (1, ?, ?)", -1, &entry, nullptr);
    std::vector<double> times;
    for (int run = 0; run < 7; ++run) {
        sqlite3_exec(db, "DELETE FROM lists; DELETE FROM entries", nullptr, nullptr, nullptr);
        times.push_back(milliseconds([&] {
            std::vector<qint64> found;
            sqlite3_bind_int64(positions, 1, categoryId);
            while (sqlite3_step(positions) == SQLITE_ROW)
                found.push_back(sqlite3_column_int64(positions, 0));
            sqlite3_reset(positions);
            std::sort(found.begin(), found.end());
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            sqlite3_step(list);
            sqlite3_reset(list);
            for (int i = 1; i <= 99 && !found.empty(); ++i) {
                sqlite3_bind_int64(song, 1, found[size_t(random(0, qint64(found.size()) - 1))]);
                const qint64 id =
                    sqlite3_step(song) == SQLITE_ROW ? sqlite3_column_int64(song, 0) : 0;
                sqlite3_reset(song);
                sqlite3_bind_int(entry, 1, i);
                sqlite3_bind_int64(entry, 2, id);
                sqlite3_step(entry);
                sqlite3_reset(entry);
            }
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }));
    }
    for (sqlite3_stmt *statement : {positions, song, list, entry})
        sqlite3_finalize(statement);
    sqlite3_close(db);
    return median(times);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? qMax(1, std::atoi(argv[2])) : 7;
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(folder + QStringLiteral("/config"));
    setvbuf(stdout, nullptr, _IONBF, 0);
    PrintingPrompter prompter;
    setPrompter(&prompter);
    Session session(folder);
    session.announceTables();
    Store &store = session.store();
    Table &songs = store.table(TableId::Songs);
    Table &categories = store.table(TableId::Categories);
    Table &master = store.table(TableId::PlaylistMaster);
    Table &details = store.table(TableId::PlaylistDetails);
    const TableUses uses = session.files().use({&songs, &categories, &master, &details});
    if (!uses) {
        std::fprintf(stderr, "the catalogue's tables could not be opened\n");
        return 1;
    }
    RandomSource::seed(1998);

    // A catalogue written without its categories gets the first one its songs name, for
    // as long as the benchmark runs.
    categories.set(cat::KeyCategoryID);
    bool addedCategory = false;
    if (!categories.next()) {
        categories.buffer().clear();
        categories.buffer().setNumber(cat::CategoryID, 1);
        categories.buffer().setText(cat::Category, QStringLiteral("Bench Category"));
        if (!categories.add()) {
            std::fprintf(stderr, "the catalogue has no categories and takes none\n");
            return 1;
        }
        addedCategory = true;
    }
    const qint64 categoryId = categories.buffer().number(cat::CategoryID);
    const QString category = categories.buffer().text(cat::Category);
    std::printf("%lld songs; category \"%s\" (number %lld)\n", songs.records(),
                qPrintable(category), categoryId);

    std::vector<qint64> made;
    const auto time = [&](const char *what, GeneratorChoices choices) {
        std::vector<double> times;
        int entries = 0;
        for (int run = 0; run < runs; ++run) {
            PlaylistGenerator generator(session);
            GeneratedPlaylist result;
            times.push_back(milliseconds([&] { result = generator.generate(choices); }));
            if (result.outcome != GeneratedPlaylist::Outcome::Written)
                return false;
            made.push_back(result.playlistId);
            entries = result.entries;
        }
        const double took = median(times);
        std::printf("  %-44s %8.1f ms  (%d entries; bound 1000 ms: %s)\n", what, took, entries,
                    took <= 1000 ? "within" : "OVER");
        return true;
    };

    GeneratorChoices choices;
    choices.songs = 99;
    choices.category = category;
    std::printf("generating 99 songs, median of %d runs, each whole:\n", runs);
    bool ok = time("with a category", choices);
    GeneratorChoices dj = choices;
    dj.leaveOutDoNotPlay = true;
    dj.noSongTwice = true;
    dj.bpmRange = true;
    dj.lowestBpm = 118;
    dj.highestBpm = 132;
    dj.notPlayedDays = 30;
    ok = ok && time("with a category and every DJ choice", dj);
    GeneratorChoices all;
    all.songs = 99;
    ok = ok && time("from every song", all);
    all.noSongTwice = true;
    all.weighting = Weighting::RecentAddition;
    ok = ok && time("from every song, no song twice, recent", all);
    const double bare = bareCategoryDraw(folder, categoryId);
    std::printf("  bare SQL, the same category draw:             %8.1f ms\n", bare);

    // The benchmark's play lists go again, with their entries.
    bool removed = store.database().logout(5, {TableId::PlaylistMaster, TableId::PlaylistDetails});
    for (const qint64 id : made) {
        master.buffer().setNumber(pld::PlaylistID, id);
        removed = removed && master.get(pld::KeyPlaylistID) && master.remove();
        for (int seq = 1; removed; ++seq) {
            details.buffer().setNumber(pla::PlaylistID, id);
            details.buffer().setNumber(pla::PlaylistSeq, seq);
            if (!details.get(pla::KeyPlaylistID))
                break;
            removed = details.remove();
        }
    }
    removed = removed && store.database().commit();
    if (addedCategory) {
        categories.buffer().setNumber(cat::CategoryID, 1);
        removed = removed && categories.get(cat::KeyCategoryID) && categories.remove();
    }
    if (!removed)
        std::fprintf(stderr, "the benchmark's play lists could not be removed\n");
    return ok && removed ? 0 : 1;
}
