#include "app/progresswindow.h"
#include "catalogue.h"
#include "exchange/catalogjson.h"
#include "exchange/catalogjsonwindow.h"
#include "exchange/filechooser.h"
#include "store/errors.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

using namespace sv;
using namespace sv::exchange;
using namespace Qt::StringLiterals;

namespace {

class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue(catalogueTables()) {}

    // Adds a record of `id` from values in field order (then memos); false when refused.
    bool add(TableId id, const QVariantList &fields, const QStringList &memos = {})
    {
        Table &t = table(id);
        Record &record = t.buffer();
        record.clear();
        for (int field = 0; field < fields.size(); ++field)
            record.setValue(field, fields.at(field));
        for (int memo = 0; memo < memos.size(); ++memo)
            record.setMemo(memo, memos.at(memo));
        return t.add();
    }

    // Every record of a table in the order of its identity key.
    QList<Record> all(TableId id)
    {
        QList<Record> list;
        Table &t = table(id);
        t.set(identityKey(t.definition()));
        while (t.next())
            list.append(t.buffer());
        return list;
    }

    // The identity numbers of a table in the order of one of its keys.
    QList<qint64> order(TableId id, int key, int field)
    {
        QList<qint64> ids;
        Table &t = table(id);
        t.set(key);
        while (t.next())
            ids.append(t.buffer().number(field));
        return ids;
    }

    qint64 total()
    {
        qint64 sum = 0;
        for (const TableId id : catalogueTables())
            sum += table(id).records();
        return sum;
    }

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile out(file(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return QString();
        return out.fileName();
    }

    // Fills every table with records whose texts hold what files and parsers trip over.
    void fill(int songs = 6)
    {
        QVERIFY(store().database().logout(1));
        const auto commit = qScopeGuard([this] { QVERIFY(store().database().commit()); });
        QVERIFY(add(TableId::Categories, {2, u"Rock \"n\" Roll"_s}));
        QVERIFY(add(TableId::Categories, {3, u"Électronique, ambient"_s}));
        QVERIFY(add(TableId::Media, {u"CD"_s}));
        QVERIFY(add(TableId::Media, {u"7\" Single"_s}));
        QVERIFY(add(TableId::Albums,
                    {1, u"Björk"_s, u"Début"_s, u"CD"_s, u"F-001"_s, 729000, 3,
                     u"/music/début.wav"_s, u"C:\\images\\cover.jpg"_s, u"0A1B2C3D"_s,
                     u"9f0b7e0c"_s, u"Side A\tSide B"_s, 9, 3456700},
                    {u"Recorded at\r\nMedley Studios"_s, u"Live \\ loud"_s, QString(2000, u'n')}));
        QVERIFY(add(TableId::Albums, {2, u"Various"_s, u"Hits \u2603 \U0001F3B5"_s, u"LP"_s}));
        for (int i = 1; i <= songs; ++i) {
            QVERIFY(add(TableId::Songs,
                        {u"Artist %1 \"quoted\", comma"_s.arg(i),
                         u"Title\nwith a break %1"_s.arg(i),
                         u"Mix ü"_s,
                         u"Début"_s,
                         i % 2 ? u"CD"_s : u"7\" Single"_s,
                         u"F-001"_s,
                         1998,
                         i % 2 + 2,
                         i % 40,
                         i,
                         1,
                         27301,
                         i % 2 ? QString() : u"key"_s,
                         u"a\u0001b"_s,
                         QString(80, u'x'),
                         u"trailing"_s,
                         120 + i,
                         u"House"_s,
                         u"Composer"_s,
                         730000,
                         1,
                         u"Abrupt"_s,
                         u"0:05/3:40"_s,
                         5,
                         i % 2,
                         0,
                         i,
                         i % 2 ? 1 : 2},
                        {u"Engineer: \"Ann\""_s, u"Tab\there"_s, u"Line one\nLine two\n"_s}));
        }
        QVERIFY(add(TableId::PlaylistMaster, {1, u"Friday set"_s, 740000}, {u"Notes\n"_s}));
        QVERIFY(add(TableId::PlaylistDetails, {1, 1, 2, u"Opener"_s, u"3"_s, u"1"_s, u"1"_s}));
        QVERIFY(add(TableId::PlaylistDetails, {1, 2, 2, u"Again"_s, u""_s, u"2"_s, u"1"_s}));
        QVERIFY(add(TableId::Fonts, {1, u"DejaVu Sans"_s, u"12"_s, u"0"_s, u"Bold"_s}));
        QVERIFY(add(
            TableId::Labels,
            {1,
             u"Début insert"_s,
             u"CD"_s,
             1,
             u"Spine"_s,
             1,
             u"Title"_s,
             1,
             1,
             1,
             u"Left"_s,
             u"Center"_s,
             u"Right"_s,
             1,
             1,
             1,
             u"Standard"_s,
             u"img.png"_s,
             -250,
             500,
             u"Other"_s,
             1000,
             u"1200"_s},
            {u"Cover\ntext"_s, u"Inside"_s, u"Flap"_s, u"Tape title"_s, u"A side"_s, u"B side"_s}));
        QVERIFY(add(TableId::Tips, {u"Press F1 for help."_s, 1}));
        QVERIFY(add(TableId::AddWizard, {7, u"A"_s, 1, u"Artist"_s, u"Track"_s, 18001}));
    }
};

// Exports `from` into `path` with the library, to the end.
bool exportAll(Catalogue &from, const QString &path)
{
    CatalogueExport run(from.session);
    if (!run.begin(path))
        return false;
    CatalogueExport::Step step;
    while ((step = run.next()) == CatalogueExport::Step::Record) {
    }
    return step == CatalogueExport::Step::End && run.finish();
}

// Imports `path` into `into` to the end or the first failure.
CatalogueImport::Step importAll(CatalogueImport &run)
{
    CatalogueImport::Step step;
    while ((step = run.next()) == CatalogueImport::Step::Record) {
    }
    return step;
}

struct Outcome
{
    int status = -1;
    QString errors;
};

// Runs the real program on `folder`'s catalogue as a script would, without a display.
Outcome songvane(const Catalogue &catalogue, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(
        QDir(test::helperProgram(QString())).filePath(u"../../songvane"_s),
        QStringList{u"--config"_s, catalogue.file(u"config"_s), u"--data"_s, catalogue.path()} +
            arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

class TestCatalogJson : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setFileChooser({}); }
    void cleanupTestCase() { m_badTarget.reset(); }

    // Every record of every table, with its texts, numbers, memos and identity, comes back
    // the same in an empty catalogue, in every key order, and new records are numbered on
    // from where the exported catalogue was.
    void roundTripReproducesEveryTable()
    {
        Catalogue source;
        source.fill(40);
        const QString path = source.file(u"whole.json"_s);
        QVERIFY(exportAll(source, path));

        // Any JSON tool reads the file: one document naming its format, tables and fields.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonParseError error;
        const QJsonObject document = QJsonDocument::fromJson(file.readAll(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(document.value(u"version"_s).toInt(), CatalogueFormatVersion);
        const QJsonArray tables = document.value(u"tables"_s).toArray();
        QCOMPARE(tables.size(), catalogueTables().size());
        const QJsonObject songs = tables.at(catalogueTables().indexOf(TableId::Songs)).toObject();
        QCOMPARE(songs.value(u"table"_s).toString(), u"Songvane"_s);
        QCOMPARE(songs.value(u"fields"_s).toArray().size(), 28);
        QCOMPARE(songs.value(u"records"_s).toArray().size(), 40);

        Catalogue target;
        CatalogueImport run(target.session);
        QVERIFY2(run.begin(path), qPrintable(run.failure().text));
        QVERIFY(!run.catalogueHasRecords());
        QCOMPARE(importAll(run), CatalogueImport::Step::End);
        run.end();
        QCOMPARE(run.added(), source.total());
        for (const TableId id : catalogueTables()) {
            const QList<Record> expected = source.all(id);
            const QList<Record> got = target.all(id);
            QCOMPARE(got.size(), expected.size());
            for (qsizetype i = 0; i < got.size(); ++i) {
                const TableDef &def = tableDef(id);
                for (int field = 0; field < def.fields.size(); ++field)
                    QCOMPARE(got.at(i).value(field), expected.at(i).value(field));
                for (int memo = 0; memo < def.memos.size(); ++memo)
                    QCOMPARE(got.at(i).memo(memo), expected.at(i).memo(memo));
            }
        }
        // The keys were built by the store's own writes: optional keys leave out the same
        // records, and every order lists the songs alike.
        for (const int key : {int(mus::SongsByArtist), int(mus::SongsByUserDefinedKey),
                              int(mus::SongsByChartNumber), int(mus::KeyAlbumID)})
            QCOMPARE(target.order(TableId::Songs, key, mus::ID),
                     source.order(TableId::Songs, key, mus::ID));
        qint64 sourceNext = 0;
        qint64 targetNext = 0;
        QVERIFY(source.table(TableId::Songs).highest(mus::KeyID, mus::ID, sourceNext));
        QVERIFY(target.table(TableId::Songs).highest(mus::KeyID, mus::ID, targetNext));
        QCOMPARE(targetNext, sourceNext);
        QCOMPARE(targetNext, 40);
    }

    // A catalogue with records is never merged into without a choice; each choice does
    // what it says, and a record equal to the catalogue's is left alone either way.
    void matchingRecordsFollowTheChoice()
    {
        Catalogue source;
        source.fill(3);
        const QString path = source.file(u"whole.json"_s);
        QVERIFY(exportAll(source, path));

        const auto prepare = [](Catalogue &target) {
            QVERIFY(target.add(TableId::Categories, {2, u"Rock \"n\" Roll"_s}));
            QVERIFY(target.add(TableId::Songs, {u"Mine"_s, u"My own title"_s}, {}));
            target.table(TableId::Songs).buffer().setNumber(mus::ID, 2);
            QVERIFY(target.table(TableId::Songs).put());
        };
        const auto titleOf = [](Catalogue &target, qint64 id) {
            Table &songs = target.table(TableId::Songs);
            songs.buffer().clear();
            songs.buffer().setNumber(mus::ID, id);
            return songs.get(mus::KeyID) ? songs.buffer().text(mus::Title) : QString();
        };

        {
            Catalogue target;
            prepare(target);
            CatalogueImport run(target.session);
            QVERIFY(run.begin(path));
            QVERIFY(run.catalogueHasRecords());
            QCOMPARE(run.next(), CatalogueImport::Step::Failed);
            QVERIFY(run.failure().text.contains(u"already holds records"_s));
            QCOMPARE(target.total(), 2);
        }
        {
            Catalogue target;
            prepare(target);
            CatalogueImport run(target.session);
            QVERIFY(run.begin(path));
            run.setOnMatch(CatalogueImport::OnMatch::Keep);
            QCOMPARE(importAll(run), CatalogueImport::Step::End);
            QCOMPARE(titleOf(target, 2), u"My own title"_s);
            QCOMPARE(titleOf(target, 3), u"Title\nwith a break 3"_s);
            QCOMPARE(run.kept(), 2); // the equal category and the other song
            QCOMPARE(run.replaced(), 0);
            QCOMPARE(target.total(), source.total());
        }
        {
            Catalogue target;
            prepare(target);
            CatalogueImport run(target.session);
            QVERIFY(run.begin(path));
            run.setOnMatch(CatalogueImport::OnMatch::Replace);
            QCOMPARE(importAll(run), CatalogueImport::Step::End);
            QCOMPARE(titleOf(target, 2), u"Title\nwith a break 2"_s);
            QCOMPARE(run.kept(), 1);
            QCOMPARE(run.replaced(), 1);
            QCOMPARE(target.all(TableId::Songs), source.all(TableId::Songs));
        }
    }

    // A file that is not a whole catalogue of this version is refused before anything is
    // written, with a message that says where; a bad record later keeps the records before
    // it, each whole, and names its table, number, line and column.
    void badFilesAreRefusedClearly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<qint64>("kept");
        const QByteArray head =
            "{\"format\": \"SongVane catalogue\", \"version\": 1, \"tables\": [\n";
        const QByteArray categories =
            "{\"table\": \"Categories\", \"fields\": [\"CategoryID\", \"Category\"], "
            "\"records\": [\n[2, \"Rock\"],\n[3, \"Pop\"],\n";
        QTest::newRow("empty") << QByteArray() << u"Line 1, column 1: '{'"_s << qint64(0);
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n", 8) << u"unexpected byte 0x89"_s
                                << qint64(0);
        QTest::newRow("other version")
            << QByteArray("{\"format\": \"SongVane catalogue\", \"version\": 2, \"tables\": []}")
            << u"format version is 2; this program reads version 1"_s << qint64(0);
        QTest::newRow("other format") << QByteArray("{\"format\": \"playlist\", \"version\": 1}")
                                      << u"not a catalogue"_s << qint64(0);
        QTest::newRow("truncated") << head + categories + "[4, \"Ja"
                                   << u"Line 5, column 5: a text that does not end"_s << qint64(2);
        QTest::newRow("too few values") << head + categories + "[4]" << u"record 3"_s << qint64(2);
        QTest::newRow("text for a number")
            << head + categories + "[\"4\", \"Jazz\"]"
            << u"a number is expected for CAT:CategoryID"_s << qint64(2);
        QTest::newRow("number too large") << head + categories + "[123456789012, \"Jazz\"]"
                                          << u"does not fit CAT:CategoryID"_s << qint64(2);
        QTest::newRow("text too long")
            << head + categories + "[4, \"" + QByteArray(31, 'x') + "\"]"
            << u"CAT:Category holds 31 characters; it takes at most 30"_s << qint64(2);
        QTest::newRow("unknown field")
            << head + "{\"table\": \"Categories\", \"fields\": [\"Colour\"], \"records\": []}"
            << u"\"Colour\" is not a field of Categories"_s << qint64(0);
        QTest::newRow("identity missing")
            << head + "{\"table\": \"Categories\", \"fields\": [\"Category\"], \"records\": []}"
            << u"do not name CAT:CategoryID"_s << qint64(0);
        QTest::newRow("duplicate identity")
            << head + categories + "[2, \"Jazz\"]" << u"duplicates the key CAT:KeyCategoryID"_s
            << qint64(2);
        QTest::newRow("garbage after the end")
            << head + "]} x" << u"the end of the file is expected"_s << qint64(0);
    }

    void badFilesAreRefusedClearly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(qint64, kept);
        // One catalogue for every row, emptied after each: making one takes a while.
        if (!m_badTarget)
            m_badTarget = std::make_unique<Catalogue>();
        Catalogue &target = *m_badTarget;
        const auto empty = qScopeGuard([&] {
            Table &categories = target.table(TableId::Categories);
            categories.set(cat::KeyCategoryID);
            while (categories.next())
                QVERIFY(categories.remove());
        });
        const QString path = target.write(u"bad.json"_s, bytes);
        CatalogueImport run(target.session);
        bool failed = !run.begin(path);
        if (!failed)
            failed = importAll(run) == CatalogueImport::Step::Failed;
        QVERIFY(failed);
        QVERIFY2(run.failure().text.contains(message), qPrintable(run.failure().text));
        run.end();
        QCOMPARE(target.total(), kept);
        // Whatever stopped the import, the catalogue takes new records as before.
        QVERIFY(target.add(TableId::Categories, {9, u"After"_s}));
    }

    // The windows: the file dialog, the matching question with its own captions, a
    // progress window that ends by itself and closes, and a summary; Cancel stops the
    // import with whole records only and says how many.
    void windowsExportAndImport()
    {
        test::ScriptedPrompter prompter;
        Catalogue source;
        source.fill(1200);
        const QString path = source.file(u"from-window"_s);
        setFileChooser([&](QWidget *, const FileQuestion &) { return path; });
        QPointer<QWidget> progress = exportWholeCatalogue(source.session, nullptr);
        QVERIFY(progress);
        QVERIFY(progress->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!progress, 60000);
        QTRY_COMPARE(prompter.captions(), QStringList{u"Export Complete"_s});
        QVERIFY(QFile::exists(path + u".json"_s)); // the type is added when none is given

        setFileChooser([&](QWidget *, const FileQuestion &) { return path + u".json"_s; });
        Catalogue target;
        QVERIFY(target.add(TableId::Songs, {u"Mine"_s}));
        prompter.answer(Cancel);
        QVERIFY(!importWholeCatalogue(target.session, nullptr));
        QCOMPARE(prompter.shown.last().buttons, Yes | No | Cancel);
        QCOMPARE(prompter.shown.last().buttonTexts.size(), 2);
        QCOMPARE(target.total(), 1);

        prompter.answer(No); // keep existing
        progress = importWholeCatalogue(target.session, nullptr);
        auto *window = qobject_cast<ProgressWindow *>(progress.data());
        QVERIFY(window);
        QTRY_VERIFY(window->recordsDone() > 0);
        window->cancel();
        QTRY_VERIFY(!progress);
        QTRY_COMPARE(prompter.captions().last(), u"Import Cancelled"_s);
        const qint64 imported = target.total() - 1;
        QVERIFY(imported > 0);
        QVERIFY(imported < source.total() - 1);
        QVERIFY2(prompter.shown.last().text.contains(u"%1 records were added"_s.arg(imported)),
                 qPrintable(prompter.shown.last().text));
        // Parents come first: whatever songs arrived name categories that are there.
        Table &songs = target.table(TableId::Songs);
        songs.set(mus::KeyID);
        while (songs.next()) {
            const qint64 category = songs.buffer().number(mus::CategoryID);
            Table &categories = target.table(TableId::Categories);
            categories.buffer().setNumber(cat::CategoryID, category);
            QVERIFY(category == 0 || categories.get(cat::KeyCategoryID));
        }
    }

    // The command line runs the same export and import: a copy made by a script equals
    // its source, and a script never merges into a catalogue that has records unless told
    // how.
    void commandLine()
    {
        Catalogue source;
        source.fill(5);
        source.release();
        const QString path = source.file(u"script.json"_s);
        const Outcome exported = songvane(source, {u"export"_s, u"--json"_s, path});
        QVERIFY2(exported.status == 0, qPrintable(exported.errors));
        QVERIFY(exported.errors.contains(u"Records exported to"_s));

        Catalogue target;
        target.release();
        const Outcome imported = songvane(target, {u"import"_s, u"--json"_s, path});
        QVERIFY2(imported.status == 0, qPrintable(imported.errors));
        QVERIFY(source.hold(catalogueTables()));
        QVERIFY(target.hold(catalogueTables()));
        for (const TableId id : catalogueTables())
            QCOMPARE(target.all(id), source.all(id));

        const Outcome again = songvane(target, {u"import"_s, u"--json"_s, path});
        QCOMPARE(again.status, 1);
        QVERIFY2(again.errors.contains(u"--on-match"_s), qPrintable(again.errors));
        const Outcome wrong =
            songvane(target, {u"import"_s, u"--json"_s, path, u"--on-match"_s, u"merge"_s});
        QCOMPARE(wrong.status, 2);
        const Outcome kept =
            songvane(target, {u"import"_s, u"--json"_s, path, u"--on-match"_s, u"keep"_s});
        QVERIFY2(kept.status == 0, qPrintable(kept.errors));
        QVERIFY2(kept.errors.contains(
                     u"0 records were added, 0 replaced and %1 left"_s.arg(source.total())),
                 qPrintable(kept.errors));

        const QString garbled = target.write(u"garbled.json"_s, "{\"format\": 12}");
        const Outcome refused = songvane(target, {u"import"_s, u"--json"_s, garbled});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.errors.contains(u"Line 1, column 12"_s), qPrintable(refused.errors));
    }

private:
    std::unique_ptr<Catalogue> m_badTarget;
};

QTEST_MAIN(TestCatalogJson)
#include "tst_catalogjson.moc"
