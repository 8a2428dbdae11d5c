#include "app/housekeeping.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "catalogue.h"
#include "platform/stddate.h"
#include "testsupport.h"

#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

// Songs and albums in a temporary folder, and a frame for the windows.
class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::Songs, TableId::Albums}) {}

    Table &songs() { return table(TableId::Songs); }
    Table &albums() { return table(TableId::Albums); }

    void addSong(qint64 id, const QString &artist, const QString &album, qint64 albumId = 0,
                 qint32 released = 0)
    {
        Record &song = songs().buffer();
        song.clear();
        song.setNumber(mus::ID, id);
        song.setText(mus::Artist, artist);
        song.setText(mus::Album, album);
        song.setNumber(mus::AlbumID, albumId);
        song.setNumber(mus::ReleaseDate, released);
        song.setMemo(mus::Notes, u"Notes of song %1"_s.arg(id));
        QVERIFY(songs().add());
    }

    void addSongs(int count, const QString &album)
    {
        QVERIFY(session.store().database().logout(1));
        for (int id = 1; id <= count; ++id)
            addSong(id, u"Abba"_s, album);
        QVERIFY(session.store().database().commit());
    }

    void addAlbum(qint64 id, const QString &artist, const QString &title, qint32 released = 0)
    {
        albums().buffer().clear();
        albums().buffer().setNumber(alb::AlbumID, id);
        albums().buffer().setText(alb::Artist, artist);
        albums().buffer().setText(alb::Album, title);
        albums().buffer().setNumber(alb::ReleaseDate, released);
        QVERIFY(albums().add());
    }

    // Every record's `field` in `key` order, by the record's `id` field.
    static QMap<qint64, qint64> read(Table &table, int key, int id, int field)
    {
        QMap<qint64, qint64> values;
        table.set(key);
        while (table.next())
            values.insert(table.buffer().number(id), table.buffer().number(field));
        return values;
    }
    QMap<qint64, qint64> links() { return read(songs(), mus::KeyID, mus::ID, mus::AlbumID); }
    qint64 linkedSongs() { return links().size() - links().values().count(0); }

    // Runs a process to its end and gives what it reported.
    std::optional<bool> run(const std::function<void(std::function<void(bool)>)> &start)
    {
        std::optional<bool> result;
        start([&](bool completed) { result = completed; });
        if (!QTest::qWaitFor([&] { return result.has_value(); }, 20000))
            qWarning("the process did not end");
        return result;
    }

    QWidget frame;
};

} // namespace

class TestHousekeeping : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The build makes one album per title and links only the song it was made from; the
    // link test links the rest. Declining changes nothing, songs without an album title
    // make no album, and the percentage only rises and ends with "Process Completed".
    void albumBuildThenLinkTest()
    {
        test::ScriptedPrompter prompter;
        Catalogue c;
        c.addSongs(10, u"Gold"_s);
        c.addSong(11, u"Abba"_s, QString());
        c.addSong(12, u"Queen"_s, QString());

        prompter.answer(No);
        QCOMPARE(c.run([&](auto done) { runAlbumBuild(c.session, true, &c.frame, done); }), false);
        QCOMPARE(c.albums().records(), 0);

        prompter.answer(Yes);
        QStringList shown;
        const auto watch = [&](auto done) {
            runAlbumBuild(c.session, true, &c.frame, done);
            auto *window = c.frame.findChild<ProgressWindow *>();
            QCOMPARE(window->message(), u"Copying..."_s);
            connect(window, &ProgressWindow::progressTextChanged, [&](auto t) { shown << t; });
        };
        QCOMPARE(c.run(watch), true);
        QCOMPARE(c.albums().records(), 1);
        c.albums().buffer().setNumber(alb::AlbumID, 1);
        QVERIFY(c.albums().get(alb::KeyAlbumID));
        QCOMPARE(c.albums().buffer().text(alb::Album), u"Gold"_s);
        QCOMPARE(c.albums().buffer().memo(alb::Notes), u"Notes of song 1"_s);
        QCOMPARE(c.links().value(1), 1);
        QCOMPARE(c.linkedSongs(), 1);

        QCOMPARE(shown.takeLast(), u"Process Completed"_s);
        QCOMPARE(shown.last(), u"100% Completed"_s);
        int previous = -1;
        for (const QString &text : std::as_const(shown)) {
            const auto match = QRegularExpression(u"^ *(\\d+)% Completed$"_s).match(text);
            QVERIFY2(match.hasMatch() && match.captured(1).toInt() > previous, qPrintable(text));
            previous = match.captured(1).toInt();
        }

        prompter.answer(Yes);
        QCOMPARE(c.run([&](auto done) { runLinkTest(c.session, &c.frame, done); }), true);
        QCOMPARE(c.links().values(), (QList<qint64>(10, 1) << 0 << 0));
        QCOMPARE(prompter.captions(), QStringList(3, u"Housekeeping"_s));
        QVERIFY(!c.session.store().database().inTransaction());
        QCOMPARE(c.session.files().users(c.songs()), 1);
    }

    // Songs of a compilation are found under "Various" whatever their own artist; a link
    // to an album that is gone is cleared, and a song without a number gets the next one.
    void linkTestFindsCompilationsAndNumbersSongs()
    {
        test::ScriptedPrompter prompter;
        Catalogue c;
        c.addAlbum(7, u"Various"_s, u"Hits"_s);
        c.addAlbum(8, u"Prince"_s, u"Hits"_s);
        c.addSong(1, u"Madonna"_s, u"Hits"_s);
        c.addSong(2, u"Prince"_s, u"Hits"_s);
        c.addSong(3, u"Sting"_s, u"Hits"_s);
        c.addSong(4, u"Sting"_s, u"Lost"_s, 99);
        c.addSong(0, u"Blur"_s, u"Parklife"_s);
        c.addSong(9, u"Blur"_s, u"Parklife"_s);

        prompter.answer(Yes);
        QCOMPARE(c.run([&](auto done) { runLinkTest(c.session, &c.frame, done); }), true);
        QCOMPARE(c.links().keys(), (QList<qint64>{1, 2, 3, 4, 9, 10}));
        QCOMPARE(c.links().values(), (QList<qint64>{7, 8, 7, 0, 0, 0}));
    }

    // Full dates become their year; years and empty dates stay, so a second run changes
    // nothing.
    void dateConversionTwiceIsHarmless()
    {
        test::ScriptedPrompter prompter;
        Catalogue c;
        c.addSong(1, u"A"_s, u"X"_s, 0, makeDate(1998, 5, 1));
        c.addSong(2, u"A"_s, u"X"_s, 0, 1998);
        c.addSong(3, u"A"_s, u"X"_s, 0, 0);
        c.addAlbum(1, u"A"_s, u"X"_s, makeDate(2001, 12, 31));
        c.addAlbum(2, u"B"_s, u"Y"_s, 0);
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(c.run([&](auto done) { runDateConversions(c.session, &c.frame, done); }),
                     true);
            QCOMPARE(Catalogue::read(c.songs(), mus::KeyID, mus::ID, mus::ReleaseDate).values(),
                     (QList<qint64>{1998, 1998, 0}));
            QCOMPARE(Catalogue::read(c.albums(), alb::KeyAlbumID, alb::AlbumID, alb::ReleaseDate)
                         .values(),
                     (QList<qint64>{2001, 0}));
        }
        QVERIFY(prompter.shown.isEmpty());
        QVERIFY(!c.session.store().database().inTransaction());
    }

    // Cancel stops the link test at once and keeps what it had written, committed.
    void cancelKeepsWorkDone()
    {
        test::ScriptedPrompter prompter;
        Catalogue c;
        c.addAlbum(3, u"Abba"_s, u"Gold"_s);
        c.addSongs(1000, u"Gold"_s);

        std::optional<bool> result;
        prompter.answer(Yes);
        runLinkTest(c.session, &c.frame, [&](bool completed) { result = completed; });
        QPointer<ProgressWindow> window = c.frame.findChild<ProgressWindow *>();
        QVERIFY(window && window->isVisible());
        QTRY_VERIFY(window->recordsDone() >= ProgressWindow::RecordsPerTick);
        QTest::mouseClick(window->findChild<QPushButton *>(), Qt::LeftButton);

        QCOMPARE(result, std::optional<bool>(false));
        QTRY_VERIFY(!window);
        QVERIFY(!c.session.store().database().inTransaction());
        const qint64 linked = c.linkedSongs();
        QVERIFY2(linked > 0 && linked < 1000, qPrintable(QString::number(linked)));
        QCOMPARE(c.session.files().users(c.songs()), 1);
    }

    // A song that cannot be written stops the process with the PUT warning.
    void failingPutStops()
    {
        test::ScriptedPrompter prompter;
        Catalogue c;
        c.addSongs(30, u"Gold"_s);
        c.release();
        QVERIFY(c.songs().open(OpenMode::ReadOnly));

        QCOMPARE(c.run([&](auto done) { runAlbumBuild(c.session, false, &c.frame, done); }), false);
        QCOMPARE(prompter.captions(), QStringList{u"Process PUT Error"_s});
        QVERIFY(prompter.shown.first().text.contains(u"Process:View"_s));
        QVERIFY(!c.songs().isOpen()); // let go at the end like any other use
        QVERIFY(c.session.files().use(c.songs()));
    }
};

QTEST_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
