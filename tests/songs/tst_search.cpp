// Searches built in the query builder, run through the store's views on a few thousand
// varied songs, against what each condition means worked out record by record; and the
// full-text index that serves them, which must stay equal to the table.
#include "songs/querybuilder.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include "store/errors.h"
#include "store/keytext.h"
#include "store/sqldialect.h"
#include "store/store.h"
#include "store/tablefile.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

#include <functional>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

// Words with accents, case variants, a quote and a double quote: what the orders fold
// alike and what they keep apart.
const QStringList Words = {
    u"Björk"_s,      u"BJORK"_s,   u"bjork"_s,   u"Café"_s,
    u"CAFE"_s,       u"café"_s,    u"Zoë"_s,     u"zoe"_s,
    u"Sunmor"_s,     u"sunmore"_s, u"Morning"_s, u"Ólafur"_s,
    u"olaf"_s,       u"Straße"_s,  u"STRASSE"_s, u"Rock 'n' Roll"_s,
    u"say \"hi\""_s, u"Éclair"_s,  u"eclair"_s,  u"ABC"_s,
    u"Ab"_s,         u"x"_s,       u"Noël"_s,    u"NOEL"_s,
    u"Mötley"_s,     u"Crüe"_s,    u"Ça va"_s,   u"Tempête"_s,
};

QString pick(QRandomGenerator &random, int maxWords)
{
    const int count = int(random.bounded(maxWords + 1)); // 0: an empty field
    QStringList words;
    for (int i = 0; i < count; ++i)
        words.append(Words.at(int(random.bounded(qint64(Words.size())))));
    return words.join(u' ');
}

void makeSong(Record &song, QRandomGenerator &random, qint64 id)
{
    song.clear();
    song.setText(mus::Artist, pick(random, 2));
    song.setText(mus::Title, pick(random, 3));
    song.setText(mus::Mix, random.bounded(3) == 0 ? pick(random, 2) : QString());
    song.setText(mus::Composer, pick(random, 2));
    song.setNumber(mus::ChartNumber, random.bounded(4) == 0 ? random.bounded(1, 40) : 0);
    song.setNumber(mus::BeatsPerMinute, random.bounded(2) ? random.bounded(60, 180) : 0);
    song.setNumber(mus::ID, id);
    if (random.bounded(3) == 0)
        song.setMemo(mus::Notes, pick(random, 4));
}

struct Song
{
    RecordPosition position;
    Record record;
};

QString fieldText(const Record &song, const QString &name)
{
    const TableDef &def = song.definition();
    const QString bare = name.mid(4);
    if (const int memo = def.memoIndex(bare); memo >= 0)
        return song.memo(memo);
    return song.text(def.fieldIndex(bare));
}

bool compareOp(int order, QueryOperator op)
{
    switch (op) {
    case QueryOperator::IsEqualTo:
        return order == 0;
    case QueryOperator::IsNotEqualTo:
        return order != 0;
    case QueryOperator::IsGreaterThan:
        return order > 0;
    case QueryOperator::IsLessThan:
        return order < 0;
    case QueryOperator::IsGreaterThanOrEqualTo:
        return order >= 0;
    default:
        return order <= 0;
    }
}

int compareUtf8(const QString &a, const QString &b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    return x < y ? -1 : (x == y ? 0 : 1);
}

// What a condition means, for one song: texts of a field that leads a key compare as the
// key does (key text), other texts in upper case; beginning and containing ignore case and
// accents (folded text).
bool meets(const Record &song, const QueryCondition &condition)
{
    const TableDef &def = song.definition();
    const QueryField *field = findQueryField(condition.field);
    const int index = def.fieldIndex(condition.field.mid(4));
    if (field->kind == ValueKind::Number) {
        const qint64 value = song.number(index);
        const qint64 wanted = condition.value.toLongLong();
        return compareOp(value < wanted ? -1 : (value == wanted ? 0 : 1), condition.op);
    }
    const QString value = fieldText(song, condition.field);
    const QString folded = foldText(value);
    const QString typed = foldText(condition.value);
    switch (condition.op) {
    case QueryOperator::BeginsWith:
        return folded.startsWith(typed);
    case QueryOperator::DoesNotBeginWith:
        return !folded.startsWith(typed);
    case QueryOperator::Contains:
        return folded.contains(typed);
    case QueryOperator::DoesNotContain:
        return !folded.contains(typed);
    default:
        break;
    }
    const bool keyed = index >= 0 && sql::keyLedBy(def, index) >= 0;
    const int order = keyed ? compareUtf8(keyText(value), keyText(condition.value.trimmed()))
                            : compareUtf8(value.toUpper(), condition.value.trimmed().toUpper());
    return compareOp(order, condition.op);
}

// Every record of the file in its stored form, by position.
QList<Song> allSongs(Table &songs)
{
    QList<Song> all;
    songs.setFileOrder();
    while (songs.next())
        all.append({songs.position(), songs.buffer()});
    return all;
}

QList<RecordPosition> walk(View &view, bool forward)
{
    QList<RecordPosition> found;
    view.set();
    while (forward ? view.next() : view.previous())
        found.append(view.table().position());
    return found;
}

// The records read from `position` on (which comes first) in one direction, as a page read
// from the middle of a result goes.
QList<RecordPosition> walkFrom(View &view, RecordPosition position, bool forward)
{
    QList<RecordPosition> found;
    if (!view.reset(position))
        return found;
    while (forward ? view.next() : view.previous())
        found.append(view.table().position());
    return found;
}

// The rows of a full-text index that differ from the table's folded texts, plus the
// index's own check of its structure.
int fullTextDifferences(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    tablefile::registerFunctions(db);
    const TableDef &def = tableDef(TableId::Songs);
    QStringList differs;
    for (const QString &column : sql::fullTextColumns(def))
        differs.append(u"t.%1 IS NOT sv_fold(s.%1)"_s.arg(sql::quote(column)));
    const QString text = uR"(SELECT
        (SELECT count(*) FROM "Songvane" s LEFT JOIN "Songvane_text" t ON t.rowid = s.sv_pos
         WHERE t.rowid IS NULL OR %1)
        + (SELECT count(*) FROM "Songvane_text" WHERE rowid NOT IN
           (SELECT sv_pos FROM "Songvane")))"_s.arg(differs.join(u" OR "_s));
    sqlite3_stmt *query = nullptr;
    int result = sqlite3_prepare_v2(db, text.toUtf8().constData(), -1, &query, nullptr);
    const int count = result == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW
                          ? sqlite3_column_int(query, 0)
                          : -1;
    sqlite3_finalize(query);
    result = sqlite3_exec(
        db, R"(INSERT INTO "Songvane_text"("Songvane_text") VALUES ('integrity-check'))", nullptr,
        nullptr, nullptr);
    sqlite3_close(db);
    return result == SQLITE_OK ? count : -1;
}

} // namespace

class TestSearch : public QObject
{
    Q_OBJECT

private:
    test::Workspace m_workspace;
    std::unique_ptr<Store> m_store;
    QList<Song> m_songs;
    QHash<RecordPosition, const Record *> m_byPosition;
    QHash<int, QList<RecordPosition>> m_order; // every record in the order of a key
    Table *m_table = nullptr;

    void readSongs()
    {
        m_songs = allSongs(*m_table);
        m_byPosition.clear();
        for (const Song &song : std::as_const(m_songs))
            m_byPosition.insert(song.position, &song.record);
        m_order.clear();
    }

    // The view's records, read in both directions, are the songs that meet every
    // condition, in the order of the key.
    void checkSearch(const QList<QueryCondition> &conditions, int key)
    {
        QString error;
        const QString filter = buildFilter(conditions, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        if (!m_order.contains(key)) {
            View all(*m_table, key, QString());
            QVERIFY(all.open());
            m_order.insert(key, walk(all, true));
        }
        QList<RecordPosition> expected;
        for (RecordPosition position : m_order.value(key)) {
            // AND binds closer than OR, as in the filter.
            const Record &song = *m_byPosition.value(position);
            bool any = false;
            bool all = true;
            for (const QueryCondition &condition : conditions) {
                if (&condition != &conditions.first() && condition.join == QueryJoin::Or) {
                    any = any || all;
                    all = true;
                }
                all = all && meets(song, condition);
            }
            if (any || all)
                expected.append(position);
        }
        View view(*m_table, key, filter);
        QVERIFY2(view.open(), qPrintable(view.filterError()));
        checkView(view, expected, key);
        if (QTest::currentTestFailed())
            return;
        // A search that must test every song finds its whole result by a scan in file order
        // and then reads within it.
        View scanned(*m_table, key, filter);
        QVERIFY(scanned.open());
        if (!scanned.mayScan())
            return;
        View::Scan state;
        while ((state = scanned.scan([] { return false; })) == View::Scan::Going) {
        }
        QCOMPARE(state, View::Scan::Known);
        QVERIFY(!scanned.mayScan());
        checkView(scanned, expected, key);
    }

    void checkView(View &view, const QList<RecordPosition> &expected, int key)
    {
        const QList<RecordPosition> forward = walk(view, true);
        QCOMPARE(forward, expected);
        QList<RecordPosition> backward = walk(view, false);
        std::reverse(backward.begin(), backward.end());
        QCOMPARE(backward, expected);
        // Read again, now that its ends are known.
        QCOMPARE(walk(view, true), expected);
        QCOMPARE(view.ends().empty, expected.isEmpty());
        if (expected.isEmpty())
            return;
        // Pages turned from a record in the middle, both ways.
        const qsizetype middle = expected.size() / 2;
        QCOMPARE(walkFrom(view, expected.at(middle), true), expected.mid(middle));
        QList<RecordPosition> before = expected.first(middle + 1);
        std::reverse(before.begin(), before.end());
        QCOMPARE(walkFrom(view, expected.at(middle), false), before);
        // The locator: the first match at or after the key values of a match.
        m_table->buffer() = *m_byPosition.value(expected.at(middle));
        view.setFrom();
        QVERIFY(view.next());
        const qsizetype located = expected.indexOf(m_table->position());
        QVERIFY(located >= 0 && located <= middle);
        QVERIFY(located == 0 ||
                m_table->keyValues(key, *m_byPosition.value(expected.at(located - 1))) !=
                    m_table->keyValues(key, *m_byPosition.value(expected.at(middle))));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_store = std::make_unique<Store>(m_workspace.path());
        m_table = &m_store->table(TableId::Songs);
        QVERIFY(m_table->create());
        QVERIFY(m_table->open());
        QRandomGenerator random(1313);
        QVERIFY(m_table->stream());
        for (int id = 1; id <= 2000; ++id) {
            makeSong(m_table->buffer(), random, id);
            QVERIFY(m_table->add());
        }
        QVERIFY(m_table->flush());
        readSongs();
        QCOMPARE(m_songs.size(), 2000);
    }

    void everyTextOperatorMeansWhatItSays_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        // A field that leads a key, one that leads an optional key, one without a key, a memo.
        const QStringList fields = {u"MUS:Artist"_s, u"MUS:Mix"_s, u"MUS:Composer"_s,
                                    u"MUS:Notes"_s};
        const QStringList values = {u"björk"_s,  u"CAFE"_s,    u"ab"_s, u"Rock 'n'"_s,
                                    u"\"hi\""_s, u"tempete"_s, u""_s,   u"STRASSE"_s};
        for (const QString &field : fields) {
            for (const QString &value : values)
                QTest::addRow("%s %s", qPrintable(field), qPrintable(value)) << field << value;
        }
    }

    void everyTextOperatorMeansWhatItSays()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        for (int op = int(QueryOperator::IsEqualTo); op <= int(QueryOperator::DoesNotContain);
             ++op) {
            // The walk's own key, another key, an optional key, by turns.
            const int keys[] = {mus::SongsByArtist, mus::SongsByTitle, mus::KeyMix};
            for (int key : {keys[op % 3], keys[(op + 1) % 3]}) {
                checkSearch({{QueryJoin::And, field, QueryOperator(op), value}}, key);
                if (QTest::currentTestFailed()) {
                    qWarning("operator %s, key %d", qPrintable(operatorText(QueryOperator(op))),
                             key);
                    return;
                }
            }
        }
    }

    void numbersAndJoinedConditions()
    {
        using Op = QueryOperator;
        const QList<QList<QueryCondition>> searches = {
            {{QueryJoin::And, u"MUS:ChartNumber"_s, Op::IsEqualTo, u"7"_s}},
            {{QueryJoin::And, u"MUS:ChartNumber"_s, Op::IsLessThan, u"5"_s}},
            {{QueryJoin::And, u"MUS:BeatsPerMinute"_s, Op::IsGreaterThan, u"170"_s}},
            {{QueryJoin::And, u"MUS:Artist"_s, Op::BeginsWith, u"bjö"_s},
             {QueryJoin::And, u"MUS:Title"_s, Op::Contains, u"cafe"_s}},
            {{QueryJoin::And, u"MUS:Composer"_s, Op::Contains, u"zoe"_s},
             {QueryJoin::Or, u"MUS:Mix"_s, Op::IsEqualTo, u"x"_s}},
            {{QueryJoin::And, u"MUS:Title"_s, Op::Contains, u"eclair"_s},
             {QueryJoin::And, u"MUS:ChartNumber"_s, Op::IsGreaterThan, u"20"_s}},
        };
        for (const QList<QueryCondition> &search : searches) {
            for (int key : {mus::SongsByArtist, mus::SongsByChartNumber, mus::KeyBeatsPerMinute})
                checkSearch(search, key);
        }
    }

    // A search an index narrows to a few songs reads those songs, not the table, and one
    // that nothing meets is known to be empty before any page is read.
    void indexesServeNarrowSearches()
    {
        QString error;
        const QString composer = buildFilter(
            {{QueryJoin::And, u"MUS:Composer"_s, QueryOperator::Contains, u"Mötley Crü"_s}},
            &error);
        View narrowed(*m_table, mus::SongsByTitle, composer);
        QVERIFY(narrowed.open());
        QVERIFY(narrowed.readsCandidates());
        const QString nowhere = buildFilter(
            {{QueryJoin::And, u"MUS:Title"_s, QueryOperator::Contains, u"nowhere"_s}}, &error);
        View empty(*m_table, mus::SongsByArtist, nowhere);
        QVERIFY(empty.open());
        QVERIFY(empty.ends().empty);
        QVERIFY(!empty.next());
        QCOMPARE(errorCode(), err::RecordNotAvailable);
    }

    // What a view learnt of its ends is forgotten when the table changes, also when another
    // station changes it.
    void endsAreForgottenWhenTheTableChanges()
    {
        QString error;
        const QString filter = buildFilter(
            {{QueryJoin::And, u"MUS:Title"_s, QueryOperator::Contains, u"Quixotic"_s}}, &error);
        View view(*m_table, mus::SongsByArtist, filter);
        QVERIFY(view.open());
        QVERIFY(walk(view, true).isEmpty());
        QVERIFY(view.ends().empty);

        m_table->buffer().setNumber(mus::ID, 17);
        QVERIFY(m_table->get(mus::KeyID));
        const RecordPosition changed = m_table->position();
        QProcess station;
        station.start(test::helperProgram(u"station"_s),
                      {m_workspace.path(), u"change-song"_s, u"17"_s, u"Quixotic Ending"_s});
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.readAllStandardOutput().trimmed(), QByteArray("ready"));
        QCOMPARE(walk(view, true), QList<RecordPosition>{changed});
        QVERIFY(!view.ends().empty);
        readSongs();
    }

    void fullTextIndexFollowsAddsChangesAndDeletes()
    {
        QCOMPARE(fullTextDifferences(m_table->fileName()), 0);
        QRandomGenerator random(99);
        QVERIFY(m_store->database().logout(2));
        for (int id = 5001; id <= 5050; ++id) {
            makeSong(m_table->buffer(), random, id);
            QVERIFY(m_table->add());
        }
        QVERIFY(m_store->database().commit());
        for (qint64 id : {5001, 5002, 12, 13}) {
            m_table->buffer().setNumber(mus::ID, id);
            QVERIFY(m_table->get(mus::KeyID));
            m_table->buffer().setText(mus::Composer, u"Tempête Noël"_s);
            m_table->buffer().setMemo(mus::Notes, u"changed"_s);
            QVERIFY(m_table->put());
        }
        for (qint64 id : {5003, 14}) {
            m_table->buffer().setNumber(mus::ID, id);
            QVERIFY(m_table->get(mus::KeyID));
            QVERIFY(m_table->remove());
        }
        // Rolled back: the index keeps nothing of it.
        QVERIFY(m_store->database().logout(2));
        m_table->buffer().setNumber(mus::ID, 15);
        QVERIFY(m_table->get(mus::KeyID));
        QVERIFY(m_table->remove());
        QVERIFY(m_store->database().rollback());
        QCOMPARE(fullTextDifferences(m_table->fileName()), 0);
        readSongs();
        checkSearch({{QueryJoin::And, u"MUS:Composer"_s, QueryOperator::Contains, u"tempete"_s}},
                    mus::SongsByArtist);
    }

    // A station killed inside its transactions leaves a journal; the next reader rolls it
    // back, table and index alike.
    void fullTextIndexSurvivesAKilledStation()
    {
        test::Workspace folder;
        {
            Store store(folder.path());
            Table &songs = store.table(TableId::Songs);
            QVERIFY(songs.create());
        }
        QProcess station;
        station.start(test::helperProgram(u"station"_s), {folder.path(), u"change-loop"_s});
        QVERIFY(station.waitForReadyRead(20000));
        QCOMPARE(station.readLine().trimmed(), QByteArray("ready"));
        QTest::qWait(int(QRandomGenerator::global()->bounded(50)));
        station.kill(); // SIGKILL
        QVERIFY(station.waitForFinished(5000));
        Store store(folder.path());
        Table &songs = store.table(TableId::Songs);
        QVERIFY(songs.open()); // plays the journal back
        QVERIFY(songs.records() >= 20);
        songs.close();
        QCOMPARE(fullTextDifferences(folder.file(u"svpdata.tps"_s)), 0);
    }

    // A file written before the index existed gets it from the upgrade, and BUILD makes it
    // anew; searches then find the records that were already there.
    void upgradeAndBuildMakeTheIndex()
    {
        test::Workspace folder;
        const TableDef &def = tableDef(TableId::Songs);
        {
            Store store(folder.path());
            Table &songs = store.table(TableId::Songs);
            QVERIFY(songs.create());
            QVERIFY(songs.open());
            songs.buffer().clear();
            songs.buffer().setText(mus::Title, u"Tempête sur Noël"_s);
            songs.buffer().setNumber(mus::ID, 1);
            QVERIFY(songs.add());
        }
        const QString path = folder.file(u"svpdata.tps"_s);
        sqlite3 *db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        for (const QString &statement : sql::dropFullText(u"main"_s, def))
            QCOMPARE(sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, nullptr),
                     SQLITE_OK);
        sqlite3_close(db);

        test::ScriptedPrompter prompter;
        test::StoreCatalogue catalogue(folder.path());
        Table &songs = catalogue.store.table(TableId::Songs);
        const TableUse use = catalogue.files.use(songs);
        QVERIFY(use);
        QVERIFY(prompter.shown.isEmpty()); // no question: nothing is lost
        QCOMPARE(songs.records(), 1);
        songs.buffer().clear();
        songs.buffer().setText(mus::Title, u"Another"_s);
        songs.buffer().setNumber(mus::ID, 2);
        QVERIFY(songs.add());
        QCOMPARE(fullTextDifferences(path), 0);
        View view(
            songs, mus::SongsByTitle,
            buildFilter({{QueryJoin::And, u"MUS:Title"_s, QueryOperator::Contains, u"TEMPETE"_s}},
                        nullptr));
        QVERIFY(view.open());
        QVERIFY(view.next());
        QCOMPARE(songs.buffer().number(mus::ID), 1);

        QVERIFY(songs.build());
        QCOMPARE(fullTextDifferences(path), 0);
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
