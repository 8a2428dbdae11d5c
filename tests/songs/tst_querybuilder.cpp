#include "app/settings.h"
#include "platform/inifile.h"
#include "platform/picture.h"
#include "platform/stddate.h"
#include "songs/querybuilder.h"
#include "store/errors.h"
#include "store/store.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

struct Song
{
    qint64 id;
    QString artist, title;
    int bpm;
    qint32 release, time;
    int skips;
    QString endType;
    qint32 lastPlayed;
    int live;
    QString notes;
};

const QString evilArtist = u"x'; DROP TABLE songs; --"_s;

QList<Song> catalogue()
{
    const qint32 played = makeDate(2020, 1, 15);
    return {
        {1, u"Abba"_s, u"Dancing Queen"_s, 100, makeDate(1976, 8, 16), makeTime(0, 3, 51), 0,
         u"Slow"_s, played, 0, u"Disco classic"_s},
        {2,
         u"Björk"_s,
         u"Army of Me"_s,
         130,
         makeDate(1995, 4, 24),
         makeTime(0, 3, 54),
         2,
         u"fast"_s,
         makeDate(2021, 6, 1),
         1,
         {}},
        {3,
         u"BJÖRK"_s,
         u"Hyperballad"_s,
         120,
         makeDate(1959, 10, 31),
         makeTime(0, 4, 33),
         0,
         u"Abrupt"_s,
         0,
         0,
         {}},
        {4,
         u"O'Connor"_s,
         u"Nothing Compares 2 U"_s,
         120,
         makeDate(1990, 1, 8),
         makeTime(0, 5, 10),
         1,
         u"Slow"_s,
         played,
         1,
         {}},
        {5, evilArtist, u"-- not a comment"_s, 60, 0, makeTime(0, 2, 0), 0, {}, 0, 0, {}},
        {6, u"Straße"_s, u"Ünïcödé"_s, 0, 0, 0, 0, {}, 0, 0, {}},
    };
}

// The category and media of each song above, in order: names in any case, a media that is
// no media format, a category number no category has, and blanks.
const struct
{
    qint64 category;
    const char *media;
} songLinks[] = {{2, "CD"}, {1, "cd"}, {3, "LP"}, {0, "Vinyl"}, {99, ""}, {1, "Cassette (DBX)"}};

const QStringList categoryNames = {u"Rock"_s, u"Pop"_s, u"Rock and Roll"_s};
const QStringList mediaNames = {u"CD"_s, u"LP"_s, u"Cassette (DBX)"_s};

QueryCondition condition(const QString &field, QueryOperator op, const QString &value = {},
                         QueryJoin join = QueryJoin::And, int open = 0, int close = 0)
{
    return {join, field, op, value, open, close};
}

QString lastPlayedText(int year, int month, int day)
{
    return Picture::parse(u"@d17"_s).format(makeDate(year, month, day));
}

// Notes conditions whose filter is exactly `length` characters long.
QList<QueryCondition> queryOfLength(int length)
{
    QList<QueryCondition> conditions(
        3, condition(u"MUS:Notes"_s, QueryOperator::Contains, QString(200, u'x')));
    conditions.append(condition(u"MUS:Notes"_s, QueryOperator::Contains));
    QString error;
    const qsizetype missing = length - buildFilter(conditions, &error).size();
    conditions.last().value = QString(missing, u'x');
    return conditions;
}

struct Outcome
{
    int calls = 0;
    bool finished = false;
    QString filter;
};

QueryBuilder *openDialog(Outcome &outcome, const QString &currentFilter = {})
{
    QueryBuilder *dialog =
        QueryBuilder::open(nullptr, currentFilter, [&outcome](bool finished, const QString &f) {
            ++outcome.calls;
            outcome.finished = finished;
            outcome.filter = f;
        });
    return dialog;
}

QList<QWidget *> rows(QueryBuilder *dialog)
{
    QList<QWidget *> shown;
    for (QWidget *row : dialog->findChildren<QWidget *>(u"conditionRow"_s)) {
        if (!row->isHidden())
            shown.append(row);
    }
    return shown;
}

// Adds a row with the Add button and fills it the way a user would.
void addCondition(QueryBuilder *dialog, const QString &field, const QString &op,
                  const QString &value = {}, const QString &join = u"And"_s)
{
    dialog->findChild<QPushButton *>(u"addCondition"_s)->click();
    QWidget *row = rows(dialog).last();
    auto *fieldBox = row->findChild<QComboBox *>(u"field"_s);
    fieldBox->setCurrentIndex(fieldBox->findData(field));
    row->findChild<QComboBox *>(u"join"_s)->setCurrentText(join);
    row->findChild<QComboBox *>(u"operator"_s)->setCurrentText(op);
    if (auto *choice = row->findChild<QComboBox *>(u"choice"_s); choice->isVisibleTo(row))
        choice->setCurrentText(value);
    else
        QTest::keyClicks(row->findChild<QLineEdit *>(u"value"_s), value);
}

void clickOk(QueryBuilder *dialog)
{
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

void chooseSaved(QueryBuilder *dialog, const QString &name)
{
    auto *combo = dialog->findChild<QComboBox *>(u"savedQueries"_s);
    combo->setCurrentIndex(name.isEmpty() ? 0 : combo->findText(name));
}

void saveAs(QueryBuilder *dialog, const QString &name)
{
    auto *nameBox = dialog->findChild<QLineEdit *>(u"queryName"_s);
    nameBox->clear();
    QTest::keyClicks(nameBox, name);
    dialog->findChild<QPushButton *>(u"saveQuery"_s)->click();
}

QStringList savedItems(QueryBuilder *dialog)
{
    auto *combo = dialog->findChild<QComboBox *>(u"savedQueries"_s);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

} // namespace

class TestQueryBuilder : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::Workspace> m_workspace;
    std::unique_ptr<test::StoreCatalogue> m_catalogue;
    Bindings m_bindings;

    void addSongs()
    {
        Table &songs = m_catalogue->open(TableId::Songs);
        for (const Song &song : catalogue()) {
            Record &r = test::newSong(songs, song.id);
            r.setNumber(mus::CategoryID, songLinks[song.id - 1].category);
            r.setText(mus::Media, QString::fromUtf8(songLinks[song.id - 1].media));
            r.setText(mus::Artist, song.artist);
            r.setText(mus::Title, song.title);
            r.setNumber(mus::BeatsPerMinute, song.bpm);
            r.setNumber(mus::ReleaseDate, song.release);
            r.setNumber(mus::Time, song.time);
            r.setNumber(mus::Skips, song.skips);
            r.setText(mus::EndType, song.endType);
            r.setNumber(mus::LastPlayed, song.lastPlayed);
            r.setNumber(mus::Live, song.live);
            r.setMemo(mus::Notes, song.notes);
            QVERIFY2(songs.add(), qPrintable(errorText()));
        }
    }

    QList<qint64> selected(const QString &filter)
    {
        Table &songs = m_catalogue->table(TableId::Songs);
        View view(songs, mus::KeyID, filter, &m_bindings);
        if (!view.open()) {
            qWarning("%s", qPrintable(view.filterError()));
            return {-1};
        }
        view.set();
        QList<qint64> ids;
        while (view.next())
            ids.append(songs.buffer().number(mus::ID));
        return ids;
    }

    QList<qint64> selected(const QList<QueryCondition> &conditions)
    {
        QString error;
        const QString filter = buildFilter(conditions, &error);
        if (!error.isEmpty()) {
            qWarning("%s", qPrintable(error));
            return {-1};
        }
        return selected(filter);
    }

    // The songs a WHERE clause selects, by bare SQL on the table files through a connection of
    // its own, over each song joined to its category and media format ("song", "cat",
    // "med").
    QList<qint64> bareSelected(const QString &where)
    {
        sqlite3 *db = nullptr;
        const QByteArray path = m_catalogue->table(TableId::Songs).fileName().toUtf8();
        if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            return {-1};
        for (TableId id : {TableId::Categories, TableId::Media}) {
            const QString attach = u"ATTACH '%1' AS %2"_s.arg(m_catalogue->table(id).fileName(),
                                                              tableDef(id).prefix.toLower());
            sqlite3_exec(db, attach.toUtf8().constData(), nullptr, nullptr, nullptr);
        }
        const QString query = u"SELECT song.ID FROM main.Songvane song "
                              u"LEFT JOIN cat.Categories c ON c.CategoryID = song.CategoryID "
                              u"LEFT JOIN med.Media m ON lower(m.Media) = lower(song.Media) "
                              u"WHERE %1 ORDER BY song.ID"_s.arg(where);
        sqlite3_stmt *statement = nullptr;
        QList<qint64> ids;
        if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &statement, nullptr) !=
            SQLITE_OK) {
            qWarning("%s", sqlite3_errmsg(db));
            ids = {-1};
        }
        while (statement && sqlite3_step(statement) == SQLITE_ROW)
            ids.append(sqlite3_column_int64(statement, 0));
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return ids;
    }

    static void addCase(const char *name, const QString &field, QueryOperator op,
                        const QString &value, const QList<qint64> &expected)
    {
        QTest::newRow(name) << field << int(op) << value << expected;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_workspace = std::make_unique<test::Workspace>();
        m_catalogue = std::make_unique<test::StoreCatalogue>(m_workspace->path());
        addSongs();
        Table &categories = m_catalogue->open(TableId::Categories);
        for (qsizetype i = 0; i < categoryNames.size(); ++i)
            QVERIFY(test::addCategory(categories, i + 1, categoryNames.at(i)));
        Table &media = m_catalogue->open(TableId::Media);
        for (const QString &name : mediaNames)
            QVERIFY(test::addMedia(media, name));
        // What the category and media browsers last selected, which a search by category or
        // media must not be confused with.
        categories.buffer().setNumber(cat::CategoryID, 2);
        categories.buffer().setText(cat::Category, u"Pop"_s);
        media.buffer().setText(med::Media, u"LP"_s);
        m_bindings.bindRecord(u"CAT"_s, categories.buffer());
        m_bindings.bindRecord(u"MED"_s, media.buffer());
        Settings::global().dateFormat = u"d2"_s;
    }

    void init() { QFile::remove(SavedQueries::file()); }

    void cleanupTestCase()
    {
        m_catalogue.reset();
        m_workspace.reset();
    }

    void conditionSelectsSongs_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QList<qint64>>("expected");
        using Op = QueryOperator;
        const QString artist = u"MUS:Artist"_s;
        addCase("text =, accents alike", artist, Op::IsEqualTo, u"björk"_s, {2, 3});
        addCase("text <>", artist, Op::IsNotEqualTo, u"BJÖRK"_s, {1, 4, 5, 6});
        addCase("text >", artist, Op::IsGreaterThan, u"björk"_s, {4, 5, 6});
        addCase("text <", artist, Op::IsLessThan, u"björk"_s, {1});
        addCase("text >=", artist, Op::IsGreaterThanOrEqualTo, u"o'connor"_s, {4, 5, 6});
        addCase("text <=", artist, Op::IsLessThanOrEqualTo, u"O'CONNOR"_s, {1, 2, 3, 4});
        addCase("begins with", artist, Op::BeginsWith, u"bjö"_s, {2, 3});
        addCase("begins with sharp s", artist, Op::BeginsWith, u"straße"_s, {6});
        addCase("begins with quote", artist, Op::BeginsWith, u"o'c"_s, {4});
        // Parts of a text are found as the orders compare: accents do not count (O'CONNOR).
        addCase("contains", artist, Op::Contains, u"ÖR"_s, {2, 3, 4});
        addCase("does not begin with", artist, Op::DoesNotBeginWith, u"b"_s, {1, 4, 5, 6});
        addCase("does not contain", artist, Op::DoesNotContain, u"a"_s, {2, 3, 4});
        addCase("injection stays a value", artist, Op::IsEqualTo, evilArtist, {5});
        addCase("quote", artist, Op::Contains, u"'"_s, {4, 5});
        addCase("comment dashes", artist, Op::Contains, u"--"_s, {5});
        addCase("place marker", artist, Op::BeginsWith, u"%1"_s, {});
        addCase("memo", u"MUS:Notes"_s, Op::Contains, u"DISCO"_s, {1});

        const QString bpm = u"MUS:BeatsPerMinute"_s;
        addCase("number =", bpm, Op::IsEqualTo, u"120"_s, {3, 4});
        addCase("number <>", bpm, Op::IsNotEqualTo, u"120"_s, {1, 2, 5, 6});
        addCase("number >", bpm, Op::IsGreaterThan, u"120"_s, {2});
        addCase("number <", bpm, Op::IsLessThan, u" 120"_s, {1, 5, 6});
        addCase("number >=", bpm, Op::IsGreaterThanOrEqualTo, u"120"_s, {2, 3, 4});
        addCase("number <=", bpm, Op::IsLessThanOrEqualTo, u"120"_s, {1, 3, 4, 5, 6});

        const QString release = u"MUS:ReleaseDate"_s;
        addCase("date =", release, Op::IsEqualTo, u"10/31/1959"_s, {3});
        addCase("date <>", release, Op::IsNotEqualTo, u"10/31/1959"_s, {1, 2, 4, 5, 6});
        addCase("date >", release, Op::IsGreaterThan, u"01/08/1990"_s, {2});
        addCase("date <", release, Op::IsLessThan, u"01/08/1990"_s, {1, 3, 5, 6});
        addCase("date >=", release, Op::IsGreaterThanOrEqualTo, u"1/8/1990"_s, {2, 4});
        addCase("date <=", release, Op::IsLessThanOrEqualTo, u"08/16/1976"_s, {1, 3, 5, 6});
        addCase("date blank", release, Op::IsEqualTo, QString(), {5, 6});
        const QString played = u"MUS:LastPlayed"_s;
        addCase("locale date =", played, Op::IsEqualTo, lastPlayedText(2020, 1, 15), {1, 4});
        addCase("locale date >", played, Op::IsGreaterThan, lastPlayedText(2020, 1, 15), {2});

        const QString time = u"MUS:Time"_s;
        addCase("time =", time, Op::IsEqualTo, u"00:04:33"_s, {3});
        addCase("time <>", time, Op::IsNotEqualTo, u"00:04:33"_s, {1, 2, 4, 5, 6});
        addCase("time >", time, Op::IsGreaterThan, u"00:03:54"_s, {3, 4});
        addCase("time <", time, Op::IsLessThan, u"00:03:54"_s, {1, 5, 6});
        addCase("time >=", time, Op::IsGreaterThanOrEqualTo, u"00:03:54"_s, {2, 3, 4});
        addCase("time <=", time, Op::IsLessThanOrEqualTo, u"00:03:51"_s, {1, 5, 6});

        addCase("checked", u"MUS:Skips"_s, Op::IsChecked, {}, {2, 4});
        addCase("not checked", u"MUS:Skips"_s, Op::IsNotChecked, {}, {1, 3, 5, 6});

        addCase("choice =", u"MUS:EndType"_s, Op::IsEqualTo, u"Slow"_s, {1, 4});
        addCase("choice = any case", u"MUS:EndType"_s, Op::IsEqualTo, u"Fast"_s, {2});
        addCase("choice <>", u"MUS:EndType"_s, Op::IsNotEqualTo, u"Fast"_s, {1, 3, 4, 5, 6});
    }

    // Each operator on each kind of field selects exactly the songs a user would expect,
    // in a real view over a real song table.
    void conditionSelectsSongs()
    {
        QFETCH(QString, field);
        QFETCH(int, op);
        QFETCH(QString, value);
        QFETCH(QList<qint64>, expected);
        QCOMPARE(selected({condition(field, QueryOperator(op), value)}), expected);
        QCOMPARE(selected(QString()).size(), 6); // nothing was dropped or changed
    }

    // Conditions join in order with the filter language's precedence, each in parentheses.
    void conditionsJoin()
    {
        using Op = QueryOperator;
        const QueryCondition bj = condition(u"MUS:Artist"_s, Op::BeginsWith, u"bj"_s);
        const QueryCondition fast = condition(u"MUS:BeatsPerMinute"_s, Op::IsGreaterThan, u"120"_s);
        QCOMPARE(selected({bj, fast}), (QList<qint64>{2}));
        QueryCondition abba = condition(u"MUS:Artist"_s, Op::IsEqualTo, u"abba"_s);
        QCOMPARE(selected({abba, condition(u"MUS:Skips"_s, Op::IsChecked, {}, QueryJoin::Or)}),
                 (QList<qint64>{1, 2, 4}));
        QString error;
        QCOMPARE(buildFilter({bj, fast}, &error),
                 u"(SUB(UPPER(MUS:Artist),1,2) = UPPER('bj')) AND (MUS:BeatsPerMinute > 120)"_s);
        QCOMPARE(buildFilter({}, &error), QString());
        QVERIFY(error.isEmpty());
    }

    void searchFieldsMatchBareSql_data()
    {
        QTest::addColumn<QList<QueryCondition>>("conditions");
        QTest::addColumn<QString>("where");
        using Op = QueryOperator;
        const QString category = u"lower(coalesce(c.Category, ''))"_s;
        const QString format = u"lower(coalesce(m.Media, ''))"_s;
        const auto row = [](const char *name, const QList<QueryCondition> &conditions,
                            const QString &where) { QTest::newRow(name) << conditions << where; };
        const QueryCondition rock = condition(u"CAT:Category"_s, Op::IsEqualTo, u"rock"_s);
        row("category by name", {rock}, category + u" = 'rock'"_s);
        row("category contains", {condition(u"CAT:Category"_s, Op::Contains, u"ROCK"_s)},
            u"instr("_s + category + u", 'rock') > 0"_s);
        row("no category, or one that is gone", {condition(u"CAT:Category"_s, Op::IsEqualTo, {})},
            category + u" = ''"_s);
        row("category not", {condition(u"CAT:Category"_s, Op::IsNotEqualTo, u"Rock"_s)},
            category + u" <> 'rock'"_s);
        row("media format", {condition(u"MED:Media"_s, Op::IsEqualTo, u"cd"_s)},
            format + u" = 'cd'"_s);
        row("media format begins", {condition(u"MED:Media"_s, Op::BeginsWith, u"cas"_s)},
            format + u" LIKE 'cas%'"_s);
        row("not a media format", {condition(u"MED:Media"_s, Op::IsEqualTo, {})},
            format + u" = ''"_s);
        row("media as entered", {condition(u"MUS:Media"_s, Op::IsEqualTo, u"VINYL"_s)},
            u"lower(song.Media) = 'vinyl'"_s);
        row("media as entered begins", {condition(u"MUS:Media"_s, Op::BeginsWith, u"c"_s)},
            u"song.Media LIKE 'c%'"_s);

        const QueryCondition abba = condition(u"MUS:Artist"_s, Op::IsEqualTo, u"abba"_s);
        const QueryCondition live = condition(u"MUS:Live"_s, Op::IsChecked);
        const QueryCondition orRock =
            condition(u"CAT:Category"_s, Op::IsEqualTo, u"rock"_s, QueryJoin::Or);
        const QueryCondition andLive = condition(u"MUS:Live"_s, Op::IsChecked, {}, QueryJoin::And);
        const QString isAbba = u"lower(song.Artist) = 'abba'"_s;
        const QString isRock = category + u" = 'rock'"_s;
        const QString isLive = u"song.Live <> 0"_s;
        row("A or B and C: and first", {abba, orRock, andLive},
            isAbba + u" OR ("_s + isRock + u" AND "_s + isLive + u')');
        QueryCondition groupOpen = abba;
        groupOpen.open = 1;
        QueryCondition groupClose = orRock;
        groupClose.close = 1;
        row("(A or B) and C", {groupOpen, groupClose, andLive},
            u"("_s + isAbba + u" OR "_s + isRock + u") AND "_s + isLive);
        row("A and B or C: and first",
            {rock, andLive, condition(u"MED:Media"_s, Op::IsEqualTo, u"lp"_s, QueryJoin::Or)},
            u"("_s + isRock + u" AND "_s + isLive + u") OR "_s + format + u" = 'lp'"_s);
        QueryCondition nested = condition(u"MED:Media"_s, Op::IsEqualTo, u"lp"_s, QueryJoin::Or);
        nested.open = 2;
        QueryCondition nestedEnd =
            condition(u"MUS:Skips"_s, Op::IsNotChecked, {}, QueryJoin::Or, 0, 1);
        QueryCondition outerEnd = condition(u"MUS:Live"_s, Op::IsNotChecked, {}, QueryJoin::And);
        outerEnd.close = 1;
        row("nested groups", {live, nested, nestedEnd, outerEnd},
            isLive + u" OR (("_s + format + u" = 'lp' OR song.Skips = 0) AND song.Live = 0)"_s);
    }

    // Each search field means what its label says, whatever the category and media
    // browsers last selected; conditions group and bind as the dialog says. The store's
    // results are compared with bare SQL over the same files.
    void searchFieldsMatchBareSql()
    {
        QFETCH(QList<QueryCondition>, conditions);
        QFETCH(QString, where);
        const QList<qint64> expected = bareSelected(where);
        QVERIFY(!expected.contains(-1));
        QCOMPARE(selected(conditions), expected);
    }

    // The cases above would not tell a wrong reading apart if they selected nothing or
    // everything, or if grouping made no difference.
    void searchCasesHaveTeeth()
    {
        const QList<qint64> rock = bareSelected(u"lower(c.Category) = 'rock'"_s);
        QCOMPARE(rock, (QList<qint64>{2, 6}));
        QCOMPARE(bareSelected(u"lower(coalesce(m.Media, '')) = 'cd'"_s), (QList<qint64>{1, 2}));
        QCOMPARE(bareSelected(u"coalesce(m.Media, '') = ''"_s), (QList<qint64>{4, 5}));
        const QString isAbba = u"lower(song.Artist) = 'abba'"_s;
        const QString isRock = u"lower(c.Category) = 'rock'"_s;
        QVERIFY(bareSelected(isAbba + u" OR ("_s + isRock + u" AND song.Live <> 0)"_s) !=
                bareSelected(u"("_s + isAbba + u" OR "_s + isRock + u") AND song.Live <> 0"_s));
    }

    // Every field the dialog offers has a label of its own and can be searched in a walk of
    // the songs; a search by category or media needs those tables, and says so when closed.
    void offeredFieldsAreDistinctAndSearchable()
    {
        QStringList labels;
        for (const QueryField &field : songQueryFields())
            labels.append(field.label);
        QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
        QVERIFY(labels.contains(u"Media (as Entered)"_s));
        Table &songs = m_catalogue->table(TableId::Songs);
        for (const QueryField &field : songQueryFields()) {
            View view(songs, mus::KeyID, field.name + u" = "_s + field.name, &m_bindings);
            QVERIFY2(view.open(), qPrintable(field.name + u": "_s + view.filterError()));
        }
        m_catalogue->close(TableId::Categories);
        View closed(songs, mus::KeyID, u"CAT:Category = 'Rock'"_s, &m_bindings);
        QVERIFY(!closed.open());
        m_catalogue->open(TableId::Categories);
        QVERIFY(closed.open());
    }

    // Parentheses must pair up, in order; a saved query keeps them.
    void parentheses()
    {
        using Op = QueryOperator;
        QString error;
        const QueryCondition a = condition(u"MUS:Artist"_s, Op::IsEqualTo, u"a"_s);
        QueryCondition openA = a, closeA = a, openTwo = a;
        openA.open = 1;
        closeA.close = 1;
        openTwo.open = MaxQueryParentheses + 1;
        for (const QList<QueryCondition> &bad :
             {QList{openA}, QList{closeA}, QList{closeA, openA}, QList{openTwo}}) {
            QCOMPARE(buildFilter(bad, &error), QString());
            QVERIFY(!error.isEmpty());
        }
        QCOMPARE(buildFilter({openA, closeA}, &error),
                 u"((UPPER(MUS:Artist) = UPPER('a')) AND (UPPER(MUS:Artist) = UPPER('a')))"_s);
        QVERIFY(error.isEmpty());

        QueryCondition tricky =
            condition(u"MUS:Title"_s, Op::Contains, u"(Remix) \"x\")"_s, QueryJoin::Or);
        tricky.close = 2;
        QueryCondition twice = openA;
        twice.open = 2;
        const QList<QueryCondition> grouped = {twice, tricky};
        QVERIFY(SavedQueries::save(u"Grouped"_s, grouped));
        QCOMPARE(*SavedQueries::load(u"Grouped"_s), grouped);
    }

    // The release date is typed in the date format the user chose, as in the song form.
    void releaseFollowsDateFormat()
    {
        QString error;
        const QList<QueryCondition> yearOnly = {
            condition(u"MUS:ReleaseDate"_s, QueryOperator::IsEqualTo, u"1976"_s)};
        Settings::global().dateFormat = YearOnlyPicture;
        QCOMPARE(buildFilter(yearOnly, &error), u"(MUS:ReleaseDate = 1976)"_s);
        Settings::global().dateFormat = u"d6"_s;
        QCOMPARE(buildFilter(
                     {condition(u"MUS:ReleaseDate"_s, QueryOperator::IsEqualTo, u"31/10/1959"_s)},
                     &error),
                 u"(MUS:ReleaseDate = %1)"_s.arg(makeDate(1959, 10, 31)));
        Settings::global().dateFormat = u"d2"_s;
    }

    // Groups are made in the dialog itself, which says how conditions bind without them.
    void dialogGroupsConditions()
    {
        test::ScriptedPrompter prompter;
        Outcome outcome;
        QueryBuilder *dialog = openDialog(outcome);
        auto *note = dialog->findChild<QLabel *>(u"precedenceNote"_s);
        QVERIFY(note && note->isVisible());
        QVERIFY(note->text().contains(u"And is applied before Or"_s));
        addCondition(dialog, u"MUS:Artist"_s, u"Is Equal To"_s, u"abba"_s);
        addCondition(dialog, u"CAT:Category"_s, u"Is Equal To"_s, u"rock"_s, u"Or"_s);
        addCondition(dialog, u"MUS:Live"_s, u"Is Checked"_s, {}, u"And"_s);
        const QList<QWidget *> shown = rows(dialog);
        shown.at(0)->findChild<QComboBox *>(u"open"_s)->setCurrentText(u"("_s);
        clickOk(dialog); // unpaired: refused, and the dialog stays
        QCOMPARE(prompter.captions(), QStringList{u"Invalid Query"_s});
        QCOMPARE(outcome.calls, 0);
        shown.at(1)->findChild<QComboBox *>(u"close"_s)->setCurrentText(u")"_s);
        clickOk(dialog);
        QCOMPARE(outcome.calls, 1);
        QCOMPARE(selected(outcome.filter), (QList<qint64>{2}));
        QCOMPARE(SavedQueries::lastFinished()->conditions.first().open, 1);
    }

    // Text the pictures cannot read, choices not offered and unknown fields or operators are
    // refused rather than turned into a filter that means something else.
    void invalidConditionsAreRefused()
    {
        using Op = QueryOperator;
        const QList<QueryCondition> invalid = {
            condition(u"MUS:ReleaseDate"_s, Op::IsEqualTo, u"13/45/1999"_s),
            condition(u"MUS:Time"_s, Op::IsEqualTo, u"soon"_s),
            condition(u"MUS:BeatsPerMinute"_s, Op::IsEqualTo, u"fast"_s),
            condition(u"MUS:EndType"_s, Op::IsEqualTo, u"Fade"_s),
            condition(u"MUS:Artist"_s, Op::IsChecked),
            condition(u"MUS:Live"_s, Op::Contains, u"1"_s),
            condition(u"MUS:ID"_s, Op::IsEqualTo, u"1"_s),
        };
        for (const QueryCondition &bad : invalid) {
            QString error;
            QCOMPARE(buildFilter({bad}, &error), QString());
            QVERIFY2(!error.isEmpty(), qPrintable(bad.field));
        }
    }

    // A query may be 1,024 characters long and no longer.
    void lengthLimit()
    {
        QString error;
        QCOMPARE(buildFilter(queryOfLength(1024), &error).size(), 1024);
        QVERIFY(error.isEmpty());
        QCOMPARE(buildFilter(queryOfLength(1025), &error), QString());
        QVERIFY(!error.isEmpty());
    }

    // The user's clicks and keys make the expected filter, handed to the callback once.
    void dialogBuildsFilter()
    {
        test::ScriptedPrompter prompter;
        Outcome outcome;
        QPointer<QueryBuilder> dialog = openDialog(outcome);
        QVERIFY(dialog->isVisible());
        addCondition(dialog, u"MUS:Artist"_s, u"Begins With"_s, u"ab"_s);
        addCondition(dialog, u"MUS:BeatsPerMinute"_s, u"Is Greater Than"_s, u"120"_s, u"And"_s);
        clickOk(dialog);
        QCOMPARE(outcome.calls, 1);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.filter,
                 u"(SUB(UPPER(MUS:Artist),1,2) = UPPER('ab')) AND (MUS:BeatsPerMinute > 120)"_s);
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(lastFinishedFilter(), outcome.filter);
        QTRY_VERIFY(dialog.isNull());

        // Reopened, the search is shown again; an untouched OK gives the same filter.
        Outcome again;
        dialog = openDialog(again, outcome.filter);
        QCOMPARE(rows(dialog).size(), 2);
        clickOk(dialog);
        QCOMPARE(again.filter, outcome.filter);
    }

    // Cancel reports nothing chosen; All Records finishes with no filter; Remove drops a row.
    void otherButtons()
    {
        test::ScriptedPrompter prompter;
        Outcome cancelled;
        QueryBuilder *dialog = openDialog(cancelled);
        addCondition(dialog, u"MUS:Artist"_s, u"Contains"_s, u"a"_s);
        dialog->reject();
        QCOMPARE(cancelled.calls, 1);
        QVERIFY(!cancelled.finished);
        QCOMPARE(cancelled.filter, QString());

        Outcome all;
        dialog = openDialog(all);
        addCondition(dialog, u"MUS:Artist"_s, u"Contains"_s, u"a"_s);
        addCondition(dialog, u"MUS:Live"_s, u"Is Checked"_s, {}, u"Or"_s);
        rows(dialog).first()->findChild<QPushButton *>(u"remove"_s)->click();
        QCOMPARE(rows(dialog).size(), 1);
        QVERIFY(rows(dialog).first()->findChild<QComboBox *>(u"join"_s)->isHidden());
        dialog->findChild<QPushButton *>(u"allRecords"_s)->click();
        QCOMPARE(all.calls, 1);
        QVERIFY(all.finished);
        QCOMPARE(all.filter, QString());
        QCOMPARE(lastFinishedFilter(), QString());
    }

    // An invalid or too long query is reported and the dialog stays open to be corrected.
    void invalidQueryKeepsDialogOpen()
    {
        test::ScriptedPrompter prompter;
        Outcome outcome;
        QueryBuilder *dialog = openDialog(outcome);
        addCondition(dialog, u"MUS:ReleaseDate"_s, u"Is Equal To"_s, u"13/45/1999"_s);
        clickOk(dialog);
        QCOMPARE(prompter.captions(), QStringList{u"Invalid Query"_s});
        QCOMPARE(prompter.shown.first().text,
                 u"The query you have designed is invalid.\nPlease review your query and correct "
                 u"the problem."_s);
        QCOMPARE(outcome.calls, 0);
        QVERIFY(dialog->isVisible());

        auto *value = rows(dialog).first()->findChild<QLineEdit *>(u"value"_s);
        value->clear();
        QTest::keyClicks(value, u"10/31/1959"_s);
        clickOk(dialog);
        QCOMPARE(outcome.filter, u"(MUS:ReleaseDate = %1)"_s.arg(makeDate(1959, 10, 31)));
    }

    // Two saved queries come back with the same filters in a new dialog, whatever their names.
    void savedQueriesSurviveRestart()
    {
        test::ScriptedPrompter prompter;
        const QString first = u"Rock 'n' Roll [1] = 100% \"best\""_s;
        const QString second = u"zweite Abfrage ß"_s;
        Outcome cancelled;
        QueryBuilder *dialog = openDialog(cancelled);
        addCondition(dialog, u"MUS:Artist"_s, u"Contains"_s, u"o'c"_s);
        saveAs(dialog, first);
        chooseSaved(dialog, {});
        rows(dialog).first()->findChild<QPushButton *>(u"remove"_s)->click();
        addCondition(dialog, u"MUS:ReleaseDate"_s, u"Is Greater Than or Equal To"_s,
                     u"01/01/1990"_s);
        addCondition(dialog, u"MUS:EndType"_s, u"Is NOT Equal To"_s, u"Abrupt"_s);
        saveAs(dialog, u"  "_s + second + u"  "_s);
        QCOMPARE(savedItems(dialog), (QStringList{u"Custom Query..."_s, first, second}));
        dialog->reject();
        QVERIFY(prompter.shown.isEmpty());

        QString error;
        const QString firstFilter = buildFilter(*SavedQueries::load(first), &error);
        QCOMPARE(firstFilter, u"(INSTRING(UPPER('o''c'), UPPER(MUS:Artist), 1, 1) > 0)"_s);
        for (const QString &name : {first, second}) {
            Outcome outcome;
            dialog = openDialog(outcome);
            chooseSaved(dialog, name);
            clickOk(dialog);
            QCOMPARE(outcome.filter, buildFilter(*SavedQueries::load(name), &error));
        }
        QCOMPARE(selected(lastFinishedFilter()), (QList<qint64>{2, 4}));
        QVERIFY(prompter.shown.isEmpty());
    }

    // Edits are not lost unasked: loading over them and finishing with them both ask.
    void unsavedEditsAsk()
    {
        test::ScriptedPrompter prompter;
        QVERIFY(SavedQueries::save(
            u"A"_s, {condition(u"MUS:Artist"_s, QueryOperator::IsEqualTo, u"abba"_s)}));
        QVERIFY(SavedQueries::save(u"B"_s, {condition(u"MUS:Live"_s, QueryOperator::IsChecked)}));
        Outcome outcome;
        QueryBuilder *dialog = openDialog(outcome);
        chooseSaved(dialog, u"A"_s);
        chooseSaved(dialog, u"B"_s); // nothing edited yet: no question
        chooseSaved(dialog, u"A"_s);
        QVERIFY(prompter.shown.isEmpty());
        QTest::keyClicks(rows(dialog).first()->findChild<QLineEdit *>(u"value"_s), u" 2"_s);
        prompter.answer(No);
        chooseSaved(dialog, u"B"_s);
        QCOMPARE(prompter.captions(), QStringList{u"Overwrite Query"_s});
        QCOMPARE(savedItems(dialog).at(
                     dialog->findChild<QComboBox *>(u"savedQueries"_s)->currentIndex()),
                 u"A"_s);
        prompter.answer(Yes);
        clickOk(dialog);
        QCOMPARE(prompter.captions(), (QStringList{u"Overwrite Query"_s, u"Save Query"_s}));
        QCOMPARE(prompter.shown.last().text, u"Would you like to save this query?"_s);
        QCOMPARE(SavedQueries::load(u"A"_s)->first().value, u"abba 2"_s);
        QCOMPARE(outcome.filter, u"(UPPER(MUS:Artist) = UPPER('abba 2'))"_s);
    }

    // A damaged or unreadable query file is reported and the dialog goes on working.
    void damagedQueryFile()
    {
        test::ScriptedPrompter prompter;
        using Op = QueryOperator;
        QVERIFY(SavedQueries::save(u"Bad field"_s, {condition(u"MUS:Title"_s, Op::IsEqualTo)}));
        QVERIFY(
            SavedQueries::save(u"Bad operator"_s, {condition(u"MUS:Composer"_s, Op::Contains)}));
        QVERIFY(
            SavedQueries::save(u"Good"_s, {condition(u"MUS:Artist"_s, Op::IsEqualTo, u"abba"_s)}));
        QFile file(SavedQueries::file());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        file.close();
        text.replace("MUS:Title", "MUS:Nonsense").replace("MUS:Composer,8,", "MUS:Composer,42,");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("\x01\xff garbage\n" + text);
        file.close();

        Outcome outcome;
        QueryBuilder *dialog = openDialog(outcome);
        for (const QString &name : {u"Bad field"_s, u"Bad operator"_s}) {
            chooseSaved(dialog, name);
            QCOMPARE(prompter.captions().last(), u"ErrorLoadingQuery"_s);
            QCOMPARE(dialog->findChild<QComboBox *>(u"savedQueries"_s)->currentIndex(), 0);
        }
        QCOMPARE(
            prompter.shown.last().text,
            u"An error has prevented the Query Wizard from loading your query at this time."_s);
        chooseSaved(dialog, u"Good"_s);
        QCOMPARE(prompter.shown.size(), 2);
        QCOMPARE(rows(dialog).size(), 1);

        chooseSaved(dialog, {});
        QVERIFY(QFile::remove(SavedQueries::file()));
        QVERIFY(QDir().mkdir(SavedQueries::file())); // a file that cannot be read
        chooseSaved(dialog, u"Good"_s);
        QCOMPARE(prompter.shown.size(), 3);
        QCOMPARE(prompter.captions().last(), u"ErrorLoadingQuery"_s);
        clickOk(dialog);
        QCOMPARE(outcome.filter, u"(UPPER(MUS:Artist) = UPPER('abba'))"_s);
        QVERIFY(QDir().rmdir(SavedQueries::file()));
    }
};

QTEST_MAIN(TestQueryBuilder)
#include "tst_querybuilder.moc"
