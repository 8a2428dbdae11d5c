// The album form on an album of many tracks against bare SQL on the same files:
//   albumform_bench FOLDER [tracks=99]   (FOLDER: a catalogue, e.g. the one store_bench left)
// Adds one album with its tracks, then times opening the form, the four moves of a track
// (the last to the top, the first to the bottom, one up, one down) and stepping through Edit
// All Songs, each whole, and the store's reads and writes in them against bare prepared
// queries that read and write the same rows.
#include "albums/albumform.h"
#include "albums/albumsongs.h"
#include "app/browselist.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/paths.h"
#include "platform/prompter.h"
#include "songs/songform.h"
#include "store/sqldialect.h"
#include "store/tablefile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QPushButton>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace sv;

namespace {

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

// One bare connection on a table file, with the functions its triggers call.
class Bare
{
public:
    Bare(const QString &folder, TableId id) : m_def(tableDef(id))
    {
        sqlite3_open((folder + u'/' + m_def.fileName + QStringLiteral(".tps")).toUtf8().constData(),
                     &m_db);
        tablefile::registerFunctions(m_db);
        sqlite3_exec(m_db, "PRAGMA cache_size=-131072", nullptr, nullptr, nullptr);
    }
    ~Bare()
    {
        for (sqlite3_stmt *statement : std::as_const(m_prepared))
            sqlite3_finalize(statement);
        sqlite3_close(m_db);
    }
    Bare(const Bare &) = delete;
    Bare &operator=(const Bare &) = delete;

    QString table() const { return sql::tableName(QStringLiteral("main"), m_def); }
    // Runs a statement with integer parameters, reading every column of every row; returns
    // the rows' first columns.
    QList<qint64> run(const QString &text, const QList<qint64> &parameters = {})
    {
        // Prepared once, as a hand-written program would keep its statements.
        sqlite3_stmt *&statement = m_prepared[text];
        if (!statement && sqlite3_prepare_v2(m_db, text.toUtf8().constData(), -1, &statement,
                                             nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "bare query failed: %s\n", sqlite3_errmsg(m_db));
            std::exit(1);
        }
        for (int i = 0; i < parameters.size(); ++i)
            sqlite3_bind_int64(statement, i + 1, parameters.at(i));
        QList<qint64> first;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
            first.append(sqlite3_column_int64(statement, 0));
        }
        sqlite3_reset(statement);
        return first;
    }
    void exec(const char *text) { sqlite3_exec(m_db, text, nullptr, nullptr, nullptr); }

private:
    const TableDef &m_def;
    sqlite3 *m_db = nullptr;
    QHash<QString, sqlite3_stmt *> m_prepared;
};

void waitFor(const std::function<bool()> &condition, const char *what)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (timer.elapsed() > 20000) {
            std::fprintf(stderr, "gave up waiting for %s\n", what);
            std::exit(1);
        }
    }
}

// The processor time of this process, in milliseconds: what the work costs without the
// waits for the disk that a commit makes, which vary from one moment to the next.
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

SongForm *shownSongForm()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *form = qobject_cast<SongForm *>(window); form && form->isVisible())
            return form;
    }
    return nullptr;
}

void report(const char *what, double store, double bare)
{
    std::printf("%-36s %8.2f ms  bare %7.2f ms  store/bare %.2f (bound 1.50): %s\n", what, store,
                bare, store / bare, store / bare <= 1.5 ? "within" : "OVER");
}

// Says what the program would have asked, and answers as the default button would.
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
    const int tracks = argc > 2 ? std::atoi(argv[2]) : 99;
    Paths::setWorkingFolder(folder);
    Paths::setConfigFolder(folder + QStringLiteral("/config"));
    Session session(folder);
    session.announceTables();
    Store &store = session.store();
    Table &songs = store.table(TableId::Songs);
    Table &albums = store.table(TableId::Albums);
    const TableUses uses = session.files().use(
        {&songs, &albums, &store.table(TableId::Media), &store.table(TableId::Categories)});
    if (!uses)
        return 1;

    setvbuf(stdout, nullptr, _IONBF, 0);
    PrintingPrompter prompter;
    setPrompter(&prompter);
    // The songs' formats must be on file, as the program's first start puts it there.
    Table &media = store.table(TableId::Media);
    media.buffer().clear();
    media.buffer().setText(med::Media, QStringLiteral("CD"));
    for (const QString &name : {QStringLiteral("CD"), QStringLiteral("LP")}) {
        media.buffer().setText(med::Media, name);
        if (!media.get(med::KeyMedia)) {
            media.buffer().setText(med::Media, name);
            if (!media.add())
                return 1;
        }
    }

    // The album and its tracks.
    // A number no song links to yet: generated songs may name albums that are not on file.
    qint64 albumId = 0;
    qint64 linkedId = 0;
    qint64 songId = 0;
    if (!albums.highest(alb::KeyAlbumID, alb::AlbumID, albumId) ||
        !songs.highest(mus::KeyAlbumID, mus::AlbumID, linkedId) ||
        !songs.highest(mus::KeyID, mus::ID, songId))
        return 1;
    albumId = qMax(albumId, linkedId) + 1;
    albums.buffer().clear();
    albums.buffer().setNumber(alb::AlbumID, albumId);
    albums.buffer().setText(alb::Artist, QStringLiteral("Bench Artist"));
    albums.buffer().setText(alb::Album, QStringLiteral("Bench Album %1").arg(albumId));
    albums.buffer().setText(alb::Media, QStringLiteral("CD"));
    bool made = albums.add() && songs.stream();
    for (int track = 1; made && track <= tracks; ++track) {
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, songId + track);
        songs.buffer().setNumber(mus::AlbumID, albumId);
        songs.buffer().setNumber(mus::TrackNumber, track);
        songs.buffer().setText(mus::Artist, QStringLiteral("Bench Artist"));
        songs.buffer().setText(mus::Title, QStringLiteral("Track %1").arg(track));
        songs.buffer().setText(mus::Media, QStringLiteral("CD"));
        made = songs.add();
    }
    if (!made || !songs.flush())
        return 1;
    if (!albums.reget(albums.position()))
        return 1;
    std::printf("album %lld with %d tracks, %lld songs in all\n", albumId, tracks, songs.records());

    Bare bareSongs(folder, TableId::Songs);
    Bare bareAlbums(folder, TableId::Albums);
    Bare bareMedia(folder, TableId::Media);
    Bare bareCategories(folder, TableId::Categories);
    const QString position = sql::positionColumn();
    // The album's songs in track order: the keyed walk held to the album (parameters: the
    // album, the row limit), as a hand-written query on the key's index would read them.
    sql::Walk walk;
    walk.key = mus::KeyAlbumID;
    walk.prefixed = true;
    const QString albumPage = sql::page(QStringLiteral("main"), tableDef(TableId::Songs), walk);
    const QString mediaList =
        QStringLiteral("SELECT * FROM %1 ORDER BY %2")
            .arg(bareMedia.table(), sql::keyColumn(tableDef(TableId::Media), med::Media));
    const QString categoryList =
        QStringLiteral("SELECT * FROM %1 ORDER BY %2")
            .arg(bareCategories.table(),
                 sql::keyColumn(tableDef(TableId::Categories), cat::Category));

    // Opening: the form as a whole, then the reads it makes (the album, both lists, the
    // first page of its songs) through the store against the bare queries, medians of 21.
    AlbumForm *form = nullptr;
    const double opened = milliseconds([&] {
        form = new AlbumForm(session, Request::Change);
        (void)form->start();
        form->show();
        QCoreApplication::processEvents();
    });
    const int pageRows = form->songs()->model()->pageSize();
    std::printf("%-36s %8.2f ms, the list showing %d rows\n", "open the form (all of it)", opened,
                pageRows);
    const RecordPosition albumAt = albums.position();
    PageModel page(songs, &store.bindings());
    QList<double> ours;
    QList<double> bare;
    for (int run = 0; run < 21; ++run) {
        ours.append(milliseconds([&] {
            (void)albums.reget(albumAt);
            const std::pair<Table *, int> lists[] = {
                {&store.table(TableId::Media), med::KeyMedia},
                {&store.table(TableId::Categories), cat::KeyCategory}};
            for (const auto &[list, key] : lists) {
                list->set(key);
                while (list->next()) {
                }
            }
            page.setView(mus::KeyAlbumID, QString(), albumId);
            page.setPageSize(pageRows);
            (void)page.fillFromTop();
        }));
        bare.append(milliseconds([&] {
            bareAlbums.run(
                QStringLiteral("SELECT * FROM %1 WHERE %2 = ?1").arg(bareAlbums.table(), position),
                {albumAt});
            bareMedia.run(mediaList);
            bareCategories.run(categoryList);
            bareSongs.run(albumPage, {albumId, qint64(pageRows)});
        }));
    }
    report("open the form: its reads", median(ours), median(bare));

    // The four moves, each timed whole through the form (the highlighted song read again,
    // the renumbering, the list read again) against the bare statements of the same work: the
    // album's songs read in track order, in one transaction the moving song parked past the
    // last track, one prepared UPDATE for each song it passes and one for its own new track,
    // then the list's page read again. Medians of 15, each side in turn; the album's tracks
    // stay numbered 1 to n throughout, so both sides always find the same work.
    BrowseList *list = form->songs()->list();
    const QString update = QStringLiteral("UPDATE %1 SET TrackNumber = ?1 WHERE %2 = ?2")
                               .arg(bareSongs.table(), position);
    const auto bareMove = [&](MoveMode mode) {
        const QList<qint64> run = bareSongs.run(albumPage, {albumId, qint64(tracks) + 1});
        const bool forward = mode == MoveMode::DownOne || mode == MoveMode::ToBottom;
        const bool oneStep = mode == MoveMode::UpOne || mode == MoveMode::DownOne;
        const qsizetype at = forward ? 0 : run.size() - 1;
        bareSongs.exec("BEGIN IMMEDIATE");
        bareSongs.run(update, {qint64(run.size()) + 1, run.at(at)});
        qint64 freed = at + 1;
        for (qsizetype i = forward ? at + 1 : at - 1; i >= 0 && i < run.size();
             i += forward ? 1 : -1) {
            bareSongs.run(update, {freed, run.at(i)});
            freed = i + 1;
            if (oneStep)
                break;
        }
        bareSongs.run(update, {freed, run.at(at)});
        bareSongs.exec("COMMIT");
        bareSongs.run(albumPage, {albumId, qint64(pageRows)});
    };
    const struct
    {
        const char *what;
        MoveMode mode;
    } moves[] = {{"move the last track to the top", MoveMode::ToTop},
                 {"move the first track to the bottom", MoveMode::ToBottom},
                 {"move the last track up one", MoveMode::UpOne},
                 {"move the first track down one", MoveMode::DownOne}};
    for (const auto &move : moves) {
        const bool fromTop = move.mode == MoveMode::DownOne || move.mode == MoveMode::ToBottom;
        QList<double> ourMoves;
        QList<double> bareMoves;
        QList<double> ourProcessor;
        QList<double> bareProcessor;
        for (int run = 0; run < 15; ++run) {
            if (fromTop) {
                (void)list->goTop();
                list->highlightRow(0);
            } else {
                (void)list->goBottom();
                list->highlightRow(form->songs()->model()->rowCount() - 1);
            }
            double processor = processorMilliseconds();
            ourMoves.append(milliseconds([&] { form->songs()->move(move.mode); }));
            ourProcessor.append(processorMilliseconds() - processor);
            processor = processorMilliseconds();
            bareMoves.append(milliseconds([&] { bareMove(move.mode); }));
            bareProcessor.append(processorMilliseconds() - processor);
        }
        report(move.what, median(ourMoves), median(bareMoves));
        report("  its processor time", median(ourProcessor), median(bareProcessor));
    }

    // Edit All Songs, each song form ended with OK at once.
    const double editAll = milliseconds([&] {
        form->songs()->editAll();
        for (int song = 0; song < tracks; ++song) {
            SongForm *songForm = nullptr;
            waitFor([&] { return (songForm = shownSongForm()) != nullptr; }, "a song form");
            QPointer<SongForm> ending = songForm;
            songForm->accept();
            // The next song's form opens as this one closes.
            waitFor([&] { return ending.isNull(); }, "the song form to close");
        }
        waitFor([&] { return form->isEnabled(); }, "the album form");
    });
    std::printf("%-36s %8.2f ms, %.2f ms a song\n", "Edit All Songs (all of it)", editAll,
                editAll / tracks);
    // The reads of each step through the store: the song again under watch, the form's two
    // lists, its checks of the media and of the unique key, and the album's page after it.
    const QList<qint64> positions = bareSongs.run(albumPage, {albumId, qint64(tracks) + 1});
    Table &mediaTable = store.table(TableId::Media);
    Table &categories = store.table(TableId::Categories);
    page.setView(mus::KeyAlbumID, QString(), albumId); // the list keeps its view throughout
    QList<double> storeEditAll;
    QList<double> bareEditAll;
    // Medians of 7, each side in turn, so a busy moment of the machine does not decide it.
    for (int run = 0; run < 7; ++run) {
        storeEditAll.append(milliseconds([&] {
            for (qint64 at : positions) {
                songs.watch();
                (void)songs.reget(at);
                mediaTable.set(med::KeyMedia);
                while (mediaTable.next()) {
                }
                categories.set(cat::KeyCategory);
                while (categories.next()) {
                }
                mediaTable.buffer().setText(med::Media, songs.buffer().text(mus::Media));
                (void)mediaTable.get(med::KeyMedia);
                (void)songs.duplicateKey();
                (void)page.fillFromTop();
            }
        }));
        bareEditAll.append(milliseconds([&] {
            for (qint64 at : positions) {
                bareSongs.run(QStringLiteral("SELECT * FROM %1 WHERE %2 = ?1")
                                  .arg(bareSongs.table(), position),
                              {at});
                bareMedia.run(mediaList);
                bareCategories.run(categoryList);
                bareMedia.run(mediaList + QStringLiteral(" LIMIT 1"));
                bareSongs.run(QStringLiteral("SELECT %2 FROM %1 WHERE ID = ?1 AND %2 <> ?2")
                                  .arg(bareSongs.table(), position),
                              {at, at});
                bareSongs.run(albumPage, {albumId, qint64(pageRows)});
            }
        }));
    }
    report("Edit All Songs: its reads", median(storeEditAll), median(bareEditAll));
    form->close();
    QCoreApplication::processEvents();
    return 0;
}
