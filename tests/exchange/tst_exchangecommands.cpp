#include "catalogue.h"
#include "exchange/songimport.h"
#include "store/errors.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    int status = -1;
    QString errors; // what the program wrote on its error output
};

// Runs the real program as a script would, with no display of any kind; `fileLimit` > 0
// makes the disk take no more than that many bytes of any one file.
Outcome songvane(const test::Workspace &workspace, const QStringList &arguments,
                 qint64 fileLimit = 0)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workspace.path());
    if (fileLimit > 0) {
        process.setChildProcessModifier([fileLimit] {
            const rlimit limit{rlim_t(fileLimit), rlim_t(fileLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing
        });
    }
    process.start(QDir(test::helperProgram(QString())).filePath(u"../../songvane"_s),
                  QStringList{u"--config"_s, workspace.file(u"config"_s)} + arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QString write(const test::Workspace &workspace, const QString &name, const QByteArray &bytes)
{
    QFile file(workspace.file(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return file.fileName();
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::Songs, TableId::Categories}) {}

    Table &songs() { return table(TableId::Songs); }
    Table &categories() { return table(TableId::Categories); }

    Outcome run(const QStringList &arguments, qint64 fileLimit = 0)
    {
        return songvane(workspace, QStringList{u"--data"_s, path()} + arguments, fileLimit);
    }

    QList<Record> all(int key = mus::KeyID)
    {
        QList<Record> list;
        songs().set(key);
        while (songs().next())
            list.append(songs().buffer());
        return list;
    }

    QString categoryName(qint64 id)
    {
        if (id == 0)
            return QString();
        categories().buffer().clear();
        categories().buffer().setNumber(cat::CategoryID, id);
        return categories().get(cat::KeyCategoryID) ? categories().buffer().text(cat::Category)
                                                    : u"(missing %1)"_s.arg(id);
    }
};

// Texts with what delimited files find hard: accents and other scripts, double quotes,
// commas, line breaks, leading blanks; never trailing blanks, which the export drops.
QString varied(QRandomGenerator &random, int width)
{
    static const QStringList pieces = {
        u"Beyoncé"_s,    u"Motörhead"_s, u"Sigur Rós"_s,   u"日本語"_s,    u"Ñandú"_s, u"O'Brien"_s,
        u"say \"hi\""_s, u"a, b"_s,      u"line\nbreak"_s, u"\"\""_s,      u","_s,     u"Zoë"_s,
        u"Ø"_s,          u"plain"_s,     u"€ 5"_s,         u"tab\there"_s, u"x"_s,     u"🎵"_s};
    if (random.bounded(10) == 0)
        return QString();
    QString text = random.bounded(20) == 0 ? u" "_s : QString();
    const int parts = 1 + int(random.bounded(4));
    for (int i = 0; i < parts; ++i) {
        if (i > 0)
            text += u' ';
        text += pieces.at(int(random.bounded(qint64(pieces.size()))));
    }
    return text.left(width);
}

} // namespace

class TestExchangeCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Ten thousand songs with every exported field through an export with a header line
    // and an import with Auto and the same pictures: every field of every song comes
    // back; the category comes back by its name.
    void roundTrip()
    {
        Catalogue source;
        QStringList categories;
        for (int c = 1; c <= 12; ++c) {
            categories.append(c % 3 ? u"Catégorie %1, \"q\""_s.arg(c) : u"Rock %1"_s.arg(c));
            source.categories().buffer().clear();
            source.categories().buffer().setNumber(cat::CategoryID, c * 7);
            source.categories().buffer().setText(cat::Category, categories.last());
            QVERIFY(source.categories().add());
        }
        QRandomGenerator random(2024);
        const TableDef &def = source.songs().definition();
        QVERIFY(source.store().database().logout(1, {TableId::Songs}));
        for (int id = 1; id <= 10000; ++id) {
            Record song(def);
            for (int field = 0; field < def.fields.size(); ++field) {
                if (def.fields.at(field).type == FieldType::String)
                    song.setText(field, varied(random, def.fields.at(field).size));
            }
            if (song.text(mus::Media).size() == 1) // one-letter cassette codes are widened
                song.setText(mus::Media, u"CD"_s);
            song.setNumber(mus::ReleaseDate, random.bounded(3) ? 40000 + random.bounded(40000) : 0);
            song.setNumber(mus::CategoryID, random.bounded(5) ? 7 * (1 + random.bounded(12)) : 0);
            song.setNumber(mus::ChartNumber, random.bounded(256));
            song.setNumber(mus::TrackNumber, random.bounded(256));
            song.setNumber(mus::Side, random.bounded(100));
            song.setNumber(mus::Time, random.bounded(4) ? random.bounded(86400) * 100 + 1 : 0);
            song.setNumber(mus::BeatsPerMinute, random.bounded(100000));
            song.setNumber(mus::LastPlayed, random.bounded(2) ? 70000 + random.bounded(9000) : 0);
            for (int field : {mus::Skips, mus::Rating, mus::Live, mus::DoNotPlay})
                song.setNumber(field, random.bounded(256));
            song.setMemo(mus::Recording, varied(random, 256));
            song.setMemo(mus::PerformanceNotes, varied(random, 256));
            QString notes;
            while (notes.size() < int(random.bounded(1900)))
                notes += varied(random, 80) + u"\r\n"_s;
            song.setMemo(mus::Notes, notes.left(2000));
            song.setNumber(mus::ID, id);
            source.songs().buffer() = song;
            QVERIFY(source.songs().add());
        }
        QVERIFY(source.store().database().commit());

        QStringList fields;
        for (const QString &name : {u"Artist"_s,
                                    u"Title"_s,
                                    u"Mix"_s,
                                    u"Album"_s,
                                    u"Media"_s,
                                    u"FileNumber"_s,
                                    u"ReleaseDate"_s,
                                    u"CategoryID"_s,
                                    u"ChartNumber"_s,
                                    u"TrackNumber"_s,
                                    u"Side"_s,
                                    u"Time"_s,
                                    u"UserDefinedKeyField"_s,
                                    u"AdditionalInformation1"_s,
                                    u"AdditionalInformation2"_s,
                                    u"AdditionalInformation3"_s,
                                    u"BeatsPerMinute"_s,
                                    u"Style"_s,
                                    u"Recording"_s,
                                    u"Composer"_s,
                                    u"PerformanceNotes"_s,
                                    u"LastPlayed"_s,
                                    u"Skips"_s,
                                    u"EndType"_s,
                                    u"InOut"_s,
                                    u"Notes"_s,
                                    u"Rating"_s,
                                    u"Live"_s,
                                    u"DoNotPlay"_s})
            fields.append(u"MUS:"_s + name);
        fields.append(u"CAT:Category"_s);
        const QString file = source.file(u"songs.csv"_s);
        const Outcome exported =
            source.run({u"export"_s, u"--csv"_s, file, u"--fields"_s, fields.join(u','),
                        u"--header"_s, u"--picture"_s, u"MUS:LastPlayed=@d2"_s});
        QCOMPARE(exported.status, 0);
        QVERIFY2(exported.errors.contains(u"10000"_s), qPrintable(exported.errors));

        Catalogue target;
        const Outcome imported = target.run(
            {u"import"_s, u"--csv"_s, file, u"--auto"_s, u"--picture"_s, u"MUS:ReleaseDate=@d2"_s,
             u"--picture"_s, u"MUS:Time=@t4"_s, u"--picture"_s, u"MUS:LastPlayed=@d2"_s});
        QCOMPARE(imported.status, 0);
        QVERIFY2(imported.errors.contains(u"10000"_s), qPrintable(imported.errors));

        // The file is written in artist order and read back in file order.
        const QList<Record> before = source.all(mus::SongsByArtist);
        const QList<Record> after = target.all();
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            const Record &was = before.at(i);
            const Record &is = after.at(i);
            QCOMPARE(is.number(mus::ID), i + 1);
            for (int field = 0; field < def.fields.size(); ++field) {
                if (field == mus::ID || field == mus::CategoryID)
                    continue;
                QVERIFY2(is.value(field) == was.value(field),
                         qPrintable(u"song %1, %2: %3 became %4"_s.arg(i + 1).arg(
                             def.fields.at(field).name, was.value(field).toString(),
                             is.value(field).toString())));
            }
            for (int memo : {mus::Recording, mus::PerformanceNotes, mus::Notes})
                QCOMPARE(is.memo(memo), was.memo(memo));
            QCOMPARE(target.categoryName(is.number(mus::CategoryID)),
                     source.categoryName(was.number(mus::CategoryID)));
        }
        // Each category is added once.
        QCOMPARE(target.categories().records(), 12);
    }

    // A file as a spreadsheet program saves it: a byte-order mark or Windows-1252 bytes,
    // CRLF line ends, quotes only where needed, a line break inside a quoted cell, empty
    // cells at the end of a row.
    void spreadsheetFiles()
    {
        const QByteArray rows =
            "MUS:Artist,MUS:Title,MUS:TrackNumber,CAT:Category,MUS:Notes\r\n"
            "Bj\xC3\xB6rk,\"Army of Me, \"\"live\"\"\",3,\xC3\x89lectro,\"two\r\nlines\"\r\n"
            "Caf\xC3\xA9 del Mar,Plain,,,\r\n";
        for (const bool windows1252 : {false, true}) {
            Catalogue catalogue;
            const QByteArray bytes =
                windows1252 ? QString::fromUtf8(rows).toLatin1() : "\xEF\xBB\xBF" + rows;
            const QString file = write(catalogue.workspace, u"sheet.csv"_s, bytes);
            const Outcome outcome = catalogue.run({u"import"_s, u"--csv"_s, file, u"--auto"_s});
            QVERIFY2(outcome.status == 0, qPrintable(outcome.errors));
            const QList<Record> songs = catalogue.all();
            QCOMPARE(songs.size(), 2);
            QCOMPARE(songs.at(0).text(mus::Artist), u"Björk"_s);
            QCOMPARE(songs.at(0).text(mus::Title), u"Army of Me, \"live\""_s);
            QCOMPARE(songs.at(0).number(mus::TrackNumber), 3);
            QCOMPARE(catalogue.categoryName(songs.at(0).number(mus::CategoryID)), u"Électro"_s);
            QCOMPARE(songs.at(0).memo(mus::Notes), u"two\r\nlines"_s);
            QCOMPARE(songs.at(1).text(mus::Artist), u"Café del Mar"_s);
            QCOMPARE(songs.at(1).text(mus::Title), u"Plain"_s);
            QCOMPARE(songs.at(1).number(mus::TrackNumber), 0);
            QCOMPARE(songs.at(1).number(mus::CategoryID), 0);
        }
    }

    // The window's closing question answered on the command line: without --albums no
    // album is made; with it, the album build runs as the window's Yes runs it: one album
    // per title an artist's songs name (a blank title names none), linked to the song that
    // made it; after a bad line, for the songs that stay.
    void albumsAtTheEnd()
    {
        Catalogue catalogue;
        QVERIFY(catalogue.hold({TableId::Albums}));
        Table &albums = catalogue.table(TableId::Albums);
        const QString first = write(catalogue.workspace, u"first.csv"_s,
                                    "\"MUS:Artist\",\"MUS:Title\",\"MUS:Album\"\r\n"
                                    "\"Bj\xC3\xB6rk\",\"Joga\",\"Homogenic\"\r\n"
                                    "\"Bj\xC3\xB6rk\",\"Bachelorette\",\"Homogenic\"\r\n"
                                    "\"Bj\xC3\xB6rk\",\"Single\",\"\"\r\n");
        Outcome outcome = catalogue.run({u"import"_s, u"--csv"_s, first, u"--auto"_s});
        QVERIFY2(outcome.status == 0, qPrintable(outcome.errors));
        QCOMPARE(albums.records(), 0);

        const QString second = write(catalogue.workspace, u"second.csv"_s,
                                     "\"MUS:Artist\",\"MUS:Album\",\"MUS:TrackNumber\"\r\n"
                                     "\"Bj\xC3\xB6rk\",\"Debut\",1\r\n"
                                     "\"Portishead\",\"Dummy\",2\r\n"
                                     "\"Portishead\",\"Third\",x3\r\n");
        outcome = catalogue.run({u"import"_s, u"--csv"_s, second, u"--auto"_s, u"--albums"_s});
        QCOMPARE(outcome.status, 1);
        QVERIFY2(outcome.errors.contains(u"Line 4"_s), qPrintable(outcome.errors));
        QVERIFY2(outcome.errors.contains(u"Albums added for the songs: 3."_s),
                 qPrintable(outcome.errors));

        QStringList made;
        albums.set(alb::KeyAlbumID);
        while (albums.next())
            made.append(albums.buffer().text(alb::Artist) + u'/' +
                        albums.buffer().text(alb::Album));
        made.sort();
        QCOMPARE(made,
                 (QStringList{u"Björk/Debut"_s, u"Björk/Homogenic"_s, u"Portishead/Dummy"_s}));
        QStringList links;
        for (const Record &song : catalogue.all()) {
            albums.buffer().clear();
            albums.buffer().setNumber(alb::AlbumID, song.number(mus::AlbumID));
            links.append(song.number(mus::AlbumID) == 0 ? u"-"_s
                         : albums.get(alb::KeyAlbumID)  ? albums.buffer().text(alb::Album)
                                                        : u"(missing)"_s);
        }
        // The other songs of an album are the link test's to link.
        QCOMPARE(links, (QStringList{u"Homogenic"_s, u"-"_s, u"-"_s, u"Debut"_s, u"Dummy"_s}));

        // Asked again, nothing is left to build.
        const QString third = write(catalogue.workspace, u"third.csv"_s,
                                    "\"MUS:Artist\",\"MUS:Album\"\r\n\"Portishead\",\"Dummy\"\r\n");
        outcome = catalogue.run({u"import"_s, u"--csv"_s, third, u"--auto"_s, u"--albums"_s});
        QVERIFY2(outcome.status == 0, qPrintable(outcome.errors));
        QVERIFY2(outcome.errors.endsWith(u"Albums added for the songs: 0.\n"_s),
                 qPrintable(outcome.errors));
        QCOMPARE(albums.records(), 3);
        QCOMPARE(catalogue.all().last().number(mus::AlbumID), 0); // left to the link test
    }

    // Songs are added in batches that span steps of several lines: a form's transaction
    // open meanwhile is waited for, never joined, and a song another window adds between
    // two steps takes no number the import then uses again.
    void batchesShareTheFiles()
    {
        Catalogue catalogue;
        QByteArray bytes = "\"MUS:Artist\",\"MUS:Title\"\r\n";
        for (int line = 1; line <= 6; ++line)
            bytes += "\"Artist\",\"Title " + QByteArray::number(line) + "\"\r\n";
        exchange::SongImport import(catalogue.session);
        QCOMPARE(import.open(write(catalogue.workspace, u"in.csv"_s, bytes)),
                 exchange::SongImport::Opened::Ok);
        QVERIFY(import.autoAssign() == 2);
        import.linesPerStep = 2;
        QVERIFY(import.begin());
        QCOMPARE(import.next(), exchange::SongImport::Step::Line);

        Database &database = catalogue.store().database();
        QVERIFY(database.logout(1, {TableId::Songs}));
        QCOMPARE(import.next(), exchange::SongImport::Step::Wait);
        catalogue.songs().buffer().clear();
        catalogue.songs().buffer().setNumber(mus::ID, 3);
        catalogue.songs().buffer().setText(mus::Title, u"Typed in a form"_s);
        QVERIFY(catalogue.songs().add());
        QVERIFY(database.rollback()); // the form gives up: the import's songs stay
        QCOMPARE(catalogue.songs().records(), 2);

        QVERIFY(database.logout(1, {TableId::Songs}));
        QVERIFY(catalogue.songs().add()); // the form saves its song this time
        QVERIFY(database.commit());
        while (true) {
            const exchange::SongImport::Step step = import.next();
            if (step == exchange::SongImport::Step::End)
                break;
            QVERIFY2(step == exchange::SongImport::Step::Line, qPrintable(import.failure().text));
        }
        import.end();
        QCOMPARE(import.songsAdded(), 6);
        QStringList titles;
        for (const Record &song : catalogue.all())
            titles.append(u"%1 %2"_s.arg(song.number(mus::ID)).arg(song.text(mus::Title)));
        QCOMPARE(titles,
                 (QStringList{u"1 Title 1"_s, u"2 Title 2"_s, u"3 Typed in a form"_s,
                              u"4 Title 3"_s, u"5 Title 4"_s, u"6 Title 5"_s, u"7 Title 6"_s}));
    }

    // Bad files and bad command lines: the program says what is wrong (naming the line
    // where a line is to blame), ends with a non-zero status and never reports success;
    // the lines before a bad one stay, and nothing is imported when the command line is
    // wrong.
    void badImports()
    {
        const QByteArray header = "\"MUS:Artist\",\"MUS:TrackNumber\"\r\n";
        struct Case
        {
            const char *name;
            QByteArray bytes;
            QStringList how;
            int status;
            QStringList said;
            int added;
        };
        const QList<Case> cases = {
            {"empty", QByteArray(), {u"--auto"_s}, 1, {u"That file is empty!"_s}, 0},
            {"binary",
             QByteArray("\x7F"
                        "ELF\x02\x01\x01\0\0\0",
                        10) +
                 QByteArray(300, '\0'),
             {u"--auto"_s},
             1,
             {u"Cannot IMPORT"_s, u"Line 1"_s},
             0},
            {"unbalanced quote",
             header + "\"a\",1\r\n\"b,2\r\n\"c\",3\r\n",
             {u"--auto"_s},
             1,
             {u"Line 3"_s, u"quote"_s},
             1},
            {"letters in a number",
             header + "\"a\",1\r\n\"b\",2x\r\n\"c\",3\r\n",
             {u"--auto"_s},
             1,
             {u"Line 3"_s, u"Field_2"_s, u"2x"_s},
             1},
            {"unknown field",
             header + "\"a\",1\r\n",
             {u"--map"_s, u"MUS:Artist=1,MUS:Tempo=2"_s},
             2,
             {u"MUS:Tempo"_s},
             0},
            {"unknown column",
             header + "\"a\",1\r\n",
             {u"--map"_s, u"MUS:Artist=3"_s},
             2,
             {u"\"3\""_s},
             0},
            {"neither auto nor map", header, {}, 2, {u"--auto"_s, u"--map"_s}, 0},
            {"bad picture",
             header + "\"a\",1\r\n",
             {u"--auto"_s, u"--picture"_s, u"MUS:TrackNumber=n3"_s},
             2,
             {u"Invalid Picture!"_s},
             0},
            {"no field named",
             "\"Artist\",\"Title\"\r\n\"a\",\"b\"\r\n",
             {u"--auto"_s},
             2,
             {u"You must select one or more fields to import."_s},
             0},
        };
        for (const Case &test : cases) {
            Catalogue catalogue;
            const QString file = write(catalogue.workspace, u"in.csv"_s, test.bytes);
            const Outcome outcome =
                catalogue.run(QStringList{u"import"_s, u"--csv"_s, file} + test.how);
            const QString what = u"%1: %2"_s.arg(QLatin1String(test.name), outcome.errors);
            QVERIFY2(outcome.status == test.status, qPrintable(what));
            for (const QString &said : test.said)
                QVERIFY2(outcome.errors.contains(said), qPrintable(what));
            QVERIFY2(!outcome.errors.contains(u"imported from"_s), qPrintable(what));
            QVERIFY2(catalogue.songs().records() == test.added, qPrintable(what));
        }
        Catalogue catalogue;
        const Outcome missing =
            catalogue.run({u"import"_s, u"--csv"_s, catalogue.file(u"nowhere.csv"_s), u"--auto"_s});
        QCOMPARE(missing.status, 1);
        QVERIFY2(missing.errors.contains(u"Cannot OPEN"_s) &&
                     missing.errors.contains(u"nowhere.csv"_s),
                 qPrintable(missing.errors));
    }

    // An export names its fields correctly or writes nothing; a disk that takes no more
    // ends it with the message and a failing status, never with success.
    void badExports()
    {
        Catalogue catalogue;
        QVERIFY(catalogue.store().database().logout(1, {TableId::Songs}));
        for (int id = 1; id <= 3000; ++id) {
            catalogue.songs().buffer().clear();
            catalogue.songs().buffer().setNumber(mus::ID, id);
            catalogue.songs().buffer().setText(mus::Artist, u"Artist %1"_s.arg(id));
            catalogue.songs().buffer().setText(mus::Title, QString(40, u'é'));
            QVERIFY(catalogue.songs().add());
        }
        QVERIFY(catalogue.store().database().commit());
        const QString file = catalogue.file(u"out.csv"_s);
        const auto exportTo = [&](const QString &path, const QString &fields,
                                  qint64 fileLimit = 0) {
            return catalogue.run(
                {u"export"_s, u"--csv"_s, path, u"--fields"_s, fields, u"--header"_s}, fileLimit);
        };

        Outcome outcome = exportTo(file, u"MUS:Artist,MUS:Tempo"_s);
        QCOMPARE(outcome.status, 2);
        QVERIFY2(outcome.errors.contains(u"\"MUS:Tempo\""_s), qPrintable(outcome.errors));
        QVERIFY(!QFile::exists(file));
        outcome = exportTo(file, u"MUS:Artist,MUS:Artist"_s);
        QCOMPARE(outcome.status, 2);
        QVERIFY(!QFile::exists(file));

        // The disk fills after 64 KiB of the file, well before its end.
        outcome = exportTo(file, u"MUS:Artist,MUS:Title"_s, 65536);
        QCOMPARE(outcome.status, 1);
        QVERIFY2(outcome.errors.contains(u"Cannot ADD to "_s + file), qPrintable(outcome.errors));
        QVERIFY2(!outcome.errors.contains(u"exported to"_s), qPrintable(outcome.errors));
        struct stat device;
        if (::stat("/dev/full", &device) == 0 && S_ISCHR(device.st_mode)) {
            outcome = exportTo(u"/dev/full"_s, u"MUS:Artist"_s);
            QCOMPARE(outcome.status, 1);
            QVERIFY2(outcome.errors.contains(u"Cannot ADD to /dev/full"_s),
                     qPrintable(outcome.errors));
        }

        // The program's own options may follow the command; the export then runs whole.
        outcome = songvane(catalogue.workspace, {u"export"_s, u"--csv"_s, file, u"--fields"_s,
                                                 u"MUS:Artist"_s, u"--data"_s, catalogue.path()});
        QVERIFY2(outcome.status == 0, qPrintable(outcome.errors));
        QCOMPARE(read(file).count("\r\n"), 3000);
    }
};

QTEST_GUILESS_MAIN(TestExchangeCommands)
#include "tst_exchangecommands.moc"
