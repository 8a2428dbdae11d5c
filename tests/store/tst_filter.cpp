#include "store/filter.h"

#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

struct Song
{
    QString artist, title, media;
    int chartNumber, live, skips;
};

// Stored the way the store keeps records: text without trailing blanks, no NULLs.
const QList<Song> songs = {
    {u"Abba"_s, u"Dancing Queen"_s, u"CD"_s, 1, 0, 0},
    {u"Björk"_s, u"Army of Me"_s, u"cd"_s, 12, 1, 2},
    {u"BJÖRK"_s, u"Hyperballad"_s, u"Vinyl"_s, 0, 0, 0},
    {u"björk"_s, u"Jóga"_s, u"CD"_s, 25, 1, 0},
    {u"O'Connor"_s, u"Nothing Compares 2 U"_s, u"MD"_s, 5, 0, 1},
    {u"Little Richard"_s, u"Rock 'n' Roll"_s, u"Tape"_s, 10, 1, 0},
    {u""_s, u"Untitled"_s, u""_s, 0, 0, 0},
    {u"Prince"_s, u"1999"_s, u"CD"_s, 3, 0, 0},
    {u"x'; DROP TABLE songs; --"_s, u"Back\\slash /* c */"_s, u"CD"_s, 40, 0, 0},
    {u"Straße"_s, u"Ünïcödé ✓ 日本"_s, u"cd"_s, 7, 0, 0},
};

const QString evilText = u"x'; DROP TABLE songs; --"_s;

// How the store walks a key: the filter sits inside a condition of its own. Bound to start
// before the first record, the walk sees every row.
const QString walkSql = u"SELECT rowid FROM songs WHERE (Artist > ? OR (Artist = ? AND rowid > ?)) "
                        u"AND (%1) ORDER BY rowid"_s;
constexpr int walkParameters = 3;

std::optional<FilterName> column(const char *sqlName, ValueKind kind)
{
    return FilterName{true, u"\"%1\""_s.arg(QLatin1StringView(sqlName)), {}, kind};
}

std::optional<FilterName> bound(const QVariant &value, ValueKind kind)
{
    return FilterName{false, {}, value, kind};
}

std::optional<FilterName> testName(const QString &name)
{
    static const QHash<QString, std::optional<FilterName>> names = {
        {u"MUS:ARTIST"_s, column("Artist", ValueKind::Text)},
        {u"MUS:TITLE"_s, column("Title", ValueKind::Text)},
        {u"MUS:MEDIA"_s, column("Media", ValueKind::Text)},
        {u"MUS:CHARTNUMBER"_s, column("ChartNumber", ValueKind::Number)},
        {u"MUS:LIVE"_s, column("Live", ValueKind::Number)},
        {u"MUS:SKIPS"_s, column("Skips", ValueKind::Number)},
        {u"BRW1::SORT3:RESET:MED:MEDIA"_s, bound(u"cd"_s, ValueKind::Text)},
        {u"THREADINSTANCE"_s, bound(3, ValueKind::Number)},
        {u"LOC:PADDED"_s, bound(u"CD   "_s, ValueKind::Text)},
        {u"LOC:NUMBERTEXT"_s, bound(u"12"_s, ValueKind::Text)},
        {u"LOC:CHARTASTEXT"_s, bound(u" 10 inch"_s, ValueKind::Number)},
        {u"LOC:EVIL"_s, bound(evilText, ValueKind::Text)},
        {u"LOC:NOCOLUMN"_s, FilterName{true, {}, {}, ValueKind::Text}},
    };
    return names.value(name);
}

} // namespace

class TestFilter : public QObject
{
    Q_OBJECT

private:
    sqlite3 *m_db = nullptr;

    sqlite3_stmt *prepare(const QString &sql)
    {
        sqlite3_stmt *statement = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, utf8.constData(), -1, &statement, nullptr) != SQLITE_OK) {
            qWarning("prepare failed: %s\n%s", sqlite3_errmsg(m_db), utf8.constData());
            return nullptr;
        }
        return statement;
    }

    // Rows (by rowid) a compiled filter selects inside the store's key walk; {-1} when SQLite
    // refuses it.
    QList<int> rows(const CompiledFilter &filter)
    {
        sqlite3_stmt *statement = prepare(walkSql.arg(filter.sql));
        if (!statement)
            return {-1};
        sqlite3_bind_text(statement, 1, "", 0, SQLITE_STATIC);
        sqlite3_bind_text(statement, 2, "", 0, SQLITE_STATIC);
        sqlite3_bind_int(statement, 3, 0);
        QList<int> found;
        int result = bindFilterParameters(statement, walkParameters + 1, filter.parameters);
        while (result == SQLITE_OK && (result = sqlite3_step(statement)) == SQLITE_ROW) {
            found.append(sqlite3_column_int(statement, 0));
            result = SQLITE_OK;
        }
        if (result != SQLITE_DONE) {
            qWarning("run failed: %s", sqlite3_errmsg(m_db));
            found = {-1};
        }
        sqlite3_finalize(statement);
        return found;
    }

    bool runsInWalk(const CompiledFilter &filter) { return rows(filter) != QList<int>{-1}; }

    QList<int> matching(const QString &expression)
    {
        const CompiledFilter filter = compileFilter(expression, testName);
        if (!filter.ok)
            qWarning("%s", qPrintable(filter.error));
        return filter.ok ? rows(filter) : QList<int>{-1};
    }

    qsizetype songCount() { return matching(QString()).size(); }

    void addCases(const QList<std::pair<QString, QList<int>>> &cases)
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QList<int>>("expected");
        for (const auto &[expression, rows] : cases)
            QTest::newRow(qPrintable(expression)) << expression << rows;
    }

    void checkCase()
    {
        QFETCH(QString, expression);
        QFETCH(QList<int>, expected);
        QCOMPARE(matching(expression), expected);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(sqlite3_open(":memory:", &m_db), SQLITE_OK);
        QVERIFY(registerFilterFunctions(m_db));
        QCOMPARE(sqlite3_exec(m_db,
                              "CREATE TABLE songs(Artist TEXT NOT NULL, Title TEXT NOT NULL, "
                              "Media TEXT NOT NULL, ChartNumber INTEGER NOT NULL, "
                              "Live INTEGER NOT NULL, Skips INTEGER NOT NULL)",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_stmt *insert = prepare(u"INSERT INTO songs VALUES (?, ?, ?, ?, ?, ?)"_s);
        QVERIFY(insert);
        for (const Song &song : songs) {
            bindFilterParameters(
                insert, 1,
                {song.artist, song.title, song.media, song.chartNumber, song.live, song.skips});
            QCOMPARE(sqlite3_step(insert), SQLITE_DONE);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
    }

    void cleanupTestCase() { sqlite3_close(m_db); }

    // Each comparison, on text (exact case, trailing blanks ignored) and on numbers, and
    // numbers against text read as numbers.
    void comparisons_data()
    {
        addCases({
            {u"MUS:Media = 'CD'"_s, {1, 4, 8, 9}},
            {u"MUS:Media = 'CD   '"_s, {1, 4, 8, 9}},
            {u"MUS:Media = ' CD'"_s, {}},
            {u"MUS:Media <> 'CD'"_s, {2, 3, 5, 6, 7, 10}},
            {u"MUS:Media ~= 'CD'"_s, {2, 3, 5, 6, 7, 10}},
            {u"MUS:Artist = 'björk'"_s, {4}},
            {u"MUS:Artist < 'B'"_s, {1, 7}},
            {u"MUS:Artist >= 'Straße'"_s, {4, 9, 10}},
            {u"MUS:ChartNumber < 5"_s, {1, 3, 7, 8}},
            {u"MUS:ChartNumber <= 5"_s, {1, 3, 5, 7, 8}},
            {u"MUS:ChartNumber > 12"_s, {4, 9}},
            {u"MUS:ChartNumber >= 12"_s, {2, 4, 9}},
            {u"MUS:ChartNumber > 11.5"_s, {2, 4, 9}},
            {u"MUS:ChartNumber = '12'"_s, {2}},
            {u"MUS:Title = 1999"_s, {8}},
            {u"MUS:ChartNumber = '10 inch'"_s, {6}},
            {u"MUS:ChartNumber = LOC:NumberText"_s, {2}},
            {u"MUS:Artist = 'O''Connor'"_s, {5}},
            {u"MUS:Title = 'Rock ''n'' Roll'"_s, {6}},
            {u"(MUS:Live = 1) = (MUS:Skips > 0)"_s, {1, 2, 3, 7, 8, 9, 10}},
        });
    }
    void comparisons() { checkCase(); }

    // NOT binds tighter than AND, AND tighter than OR; a bare operand means not zero/blank.
    void booleanLogic_data()
    {
        addCases({
            {u"MUS:Live"_s, {2, 4, 6}},
            {u"NOT MUS:Live"_s, {1, 3, 5, 7, 8, 9, 10}},
            {u"~MUS:Live"_s, {1, 3, 5, 7, 8, 9, 10}},
            {u"MUS:Artist"_s, {1, 2, 3, 4, 5, 6, 8, 9, 10}},
            {u"NOT MUS:Artist"_s, {7}},
            {u"MUS:Media = 'CD' AND MUS:ChartNumber > 2"_s, {4, 8, 9}},
            {u"MUS:Live OR MUS:Media = 'CD' AND MUS:ChartNumber > 20"_s, {2, 4, 6, 9}},
            {u"(MUS:Live OR MUS:Media = 'CD') AND MUS:ChartNumber > 20"_s, {4, 9}},
            {u"NOT MUS:Live AND MUS:Skips"_s, {5}},
            {u"NOT MUS:Media = 'CD'"_s, {2, 3, 5, 6, 7, 10}},
            {u"(MUS:Artist = 'Abba' OR MUS:ChartNumber <= 10) AND NOT (MUS:Live = 1)"_s,
             {1, 3, 5, 7, 8, 10}},
            {u"mus:live and not Mus:Skips Or MUS:ARTIST = 'Abba'"_s, {1, 4, 6}},
            {u"MUS:ChartNumber - 10"_s, {1, 2, 3, 4, 5, 7, 8, 9, 10}},
            {u"   "_s, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        });
    }
    void booleanLogic() { checkCase(); }

    // Case mapping over all of Unicode, the begins-with and contains forms the query builder
    // writes, concatenation keeping inner blanks, and arithmetic.
    void functions_data()
    {
        addCases({
            {u"UPPER(MUS:Artist) = 'BJÖRK'"_s, {2, 3, 4}},
            {u"upper(MUS:Artist) = Upper('björk')"_s, {2, 3, 4}},
            {u"LOWER(MUS:Artist) = 'björk'"_s, {2, 3, 4}},
            {u"UPPER(MUS:Artist) = 'STRASSE'"_s, {10}},
            {u"UPPER(MUS:Media) = UPPER(BRW1::Sort3:Reset:MED:Media)"_s, {1, 2, 4, 8, 9, 10}},
            {u"SUB(UPPER(MUS:Title),1,3) = 'ROC'"_s, {6}},
            {u"SUB(MUS:ChartNumber, 1, 1) = '1'"_s, {1, 2, 6}},
            {u"INSTRING('COMPARES', UPPER(MUS:Title), 1, 1) > 0"_s, {5}},
            {u"INSTRING('ÖR', UPPER(MUS:Artist), 1, 1)"_s, {2, 3, 4}},
            {u"NOT INSTRING('A', UPPER(MUS:Title), 1, 1)"_s, {6, 7, 8, 10}},
            {u"INSTRING('Queen', MUS:Title, 1, 1) = 9"_s, {1}},
            {u"INSTRING('o', MUS:Title) = 2"_s, {5, 6}},
            {u"MUS:Media & '-' & MUS:Artist = 'CD-Abba'"_s, {1}},
            {u"MUS:ChartNumber & MUS:Media = '12cd'"_s, {2}},
            {u"LOC:Padded & 'X' = 'CD   X' AND CLIP(LOC:Padded) & 'X' = 'CDX'"_s,
             {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
            {u"MUS:ChartNumber * 2 + 1 = 25"_s, {2}},
            {u"MUS:ChartNumber / 2 = 2.5"_s, {5}},
            {u"MUS:ChartNumber / MUS:Live = 0"_s, {1, 3, 5, 7, 8, 9, 10}},
            {u"MUS:ChartNumber - 1 - 1 = 10"_s, {2}},
            {u"-MUS:ChartNumber < -20"_s, {4, 9}},
            {u"12 / 2 / 3 = 2 AND 2 + 3 * 4 = 14"_s, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        });
    }
    void functions() { checkCase(); }

    // Bound names give the program's values, whatever case the expression writes them in.
    void boundNames_data()
    {
        addCases({
            {u"MUS:Media = BRW1::Sort3:Reset:MED:Media"_s, {2, 10}},
            {u"MUS:Media = LOC:Padded"_s, {1, 4, 8, 9}},
            {u"MUS:ChartNumber = ThreadInstance"_s, {8}},
            {u"MUS:ChartNumber = LOC:ChartAsText"_s, {6}},
        });
    }
    void boundNames() { checkCase(); }

    // The lookup sees each distinct name once, in upper case.
    void lookupIsAskedOncePerNameInUpperCase()
    {
        QStringList asked;
        const auto recording = [&asked](const QString &name) {
            asked.append(name);
            return testName(name);
        };
        QVERIFY(compileFilter(u"mus:live OR Mus:Live OR MUS:LIVE AND mus:Skips"_s, recording).ok);
        QCOMPARE(asked, (QStringList{u"MUS:LIVE"_s, u"MUS:SKIPS"_s}));
    }

    // Hostile text in literals, bound values and binary data is only ever a value: it matches
    // the row holding it, runs nothing, and never appears in the SQL.
    void injectionLookingValuesStayValues()
    {
        QCOMPARE(matching(u"MUS:Artist = LOC:Evil"_s), QList<int>{9});
        QCOMPARE(matching(u"MUS:Artist = 'x''; DROP TABLE songs; --'"_s), QList<int>{9});
        QCOMPARE(matching(u"MUS:Title = 'Back\\slash /* c */'"_s), QList<int>{9});
        QCOMPARE(matching(u"MUS:Title = 'Ünïcödé ✓ 日本'"_s), QList<int>{10});
        QCOMPARE(matching(u"MUS:Artist = '''); DELETE FROM songs; --'"_s), QList<int>{});
        QCOMPARE(matching(u"INSTRING('\"; DROP TABLE songs', MUS:Artist)"_s), QList<int>{});

        QByteArray nulFree;
        for (int byte = 1; byte < 256; ++byte)
            nulFree.append(static_cast<char>(byte));
        const auto binary = [&](const QString &name) {
            return name == u"LOC:BINARY"_s ? bound(nulFree, ValueKind::Text) : testName(name);
        };
        QCOMPARE(rows(compileFilter(u"MUS:Artist <> LOC:Binary"_s, binary)).size(), songs.size());

        const CompiledFilter literal =
            compileFilter(u"MUS:Artist = 'Abba' OR LOC:Evil"_s, testName);
        QVERIFY(literal.ok);
        QVERIFY(!literal.sql.contains(u"Abba"_s));
        QVERIFY(!literal.sql.contains(u"DROP"_s));
        QCOMPARE(literal.parameters.size(), 2);
        QCOMPARE(songCount(), songs.size());
    }

    // Every kind of mistake is refused with what and where, and no SQL.
    void errors_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("position");
        const auto add = [](const QString &expression, const QString &message, int position) {
            QTest::newRow(qPrintable(expression)) << expression << message << position;
        };
        add(u"(MUS:Live"_s, u"expected ')' but found the end of the expression"_s, 10);
        add(u"MUS:Live)"_s, u"unexpected ')'"_s, 9);
        add(u"MUS:Live AND"_s, u"expected a value but found the end"_s, 13);
        add(u"MUS:Live = 1 = 1"_s, u"unexpected '='"_s, 14);
        add(u"1 2"_s, u"unexpected number 2"_s, 3);
        add(u"MUS:Artist = 'a' 'b'"_s, u"unexpected text 'b'"_s, 18);
        add(u"MUS:Artist = 'Abba"_s, u"text not closed"_s, 14);
        add(u"MUS:Live # 1"_s, u"unexpected character '#'"_s, 10);
        add(u"MUS:Live = \u0001"_s, u"unexpected character U+0001"_s, 12);
        add(u"FOO(1)"_s, u"Unknown function FOO at position 1"_s, 1);
        add(u"SUB(MUS:Title, 1) = 'A'"_s, u"SUB takes 3 arguments, not 2"_s, 1);
        add(u"UPPER() = 'A'"_s, u"UPPER takes 1 argument, not 0"_s, 1);
        add(u"1 = INSTRING('a')"_s, u"INSTRING takes 2 to 4 arguments, not 1"_s, 5);
        add(u"SUB(MUS:Title 1, 2)"_s, u"expected ',' or ')' but found number 1"_s, 15);
        add(u"INSTRING('A', MUS:Title, 2, 1)"_s, u"supports only step 1 and start 1"_s, 1);
        add(u"MUS:Live OR MUS:Nonsense = 1"_s, u"Unknown name MUS:Nonsense at position 13"_s, 13);
        add(u"LOC:NoColumn = 1"_s, u"stands for no column"_s, 1);
        add(u"1"_s + QString(400, u'9'), u"out of range"_s, 1);
    }
    void errors()
    {
        QFETCH(QString, expression);
        QFETCH(QString, message);
        QFETCH(int, position);
        const CompiledFilter filter = compileFilter(expression, testName);
        QVERIFY(!filter.ok);
        QVERIFY2(filter.error.contains(message), qPrintable(filter.error));
        QCOMPARE(filter.errorPosition, position);
        QVERIFY(filter.sql.isEmpty());
        QVERIFY(filter.parameters.isEmpty());
    }

    // A missing lookup knows no names but still compiles what needs none.
    void withoutLookupEveryNameIsUnknown()
    {
        QVERIFY(!compileFilter(u"MUS:Live"_s, {}).ok);
        QVERIFY(compileFilter(u"1 = 1"_s, {}).ok);
    }

    // Absurd nesting is refused, not a stack overflow; whatever nesting is accepted still fits
    // within SQLite's parser inside the store's own condition.
    void deepNestingIsRefusedAndAcceptedDepthRuns_data()
    {
        QTest::addColumn<QString>("open");
        QTest::addColumn<QString>("inner");
        QTest::addColumn<QString>("close");
        QTest::newRow("parentheses") << u"("_s << u"MUS:Live"_s << u")"_s;
        QTest::newRow("not") << u"NOT "_s << u"MUS:Live"_s << u""_s;
        QTest::newRow("minus") << u"-"_s << u"MUS:Title"_s << u""_s;
        QTest::newRow("upper") << u"UPPER("_s << u"MUS:Title"_s << u")"_s;
        QTest::newRow("sub") << u"SUB("_s << u"MUS:Title"_s << u", 1, 5)"_s;
        QTest::newRow("instring") << u"INSTRING('a', "_s << u"MUS:Title"_s << u")"_s;
        QTest::newRow("clip") << u"CLIP("_s << u"MUS:Title"_s << u")"_s;
        QTest::newRow("text compare") << u"('a' = ("_s << u"MUS:Title"_s << u"))"_s;
        QTest::newRow("number compare") << u"(1 = ("_s << u"MUS:Live"_s << u"))"_s;
        QTest::newRow("grouped left") << u"("_s << u"MUS:Live"_s << u" OR MUS:Skips)"_s;
        QTest::newRow("and or") << u"MUS:Live AND (MUS:Skips OR ("_s << u"1"_s << u"))"_s;
        QTest::newRow("concat") << u"'a' & ("_s << u"MUS:Title"_s << u")"_s;
        QTest::newRow("division") << u"1 / ("_s << u"MUS:Live"_s << u")"_s;
        QTest::newRow("mixed") << u"UPPER(-("_s << u"MUS:Title"_s << u"))"_s;
    }
    void deepNestingIsRefusedAndAcceptedDepthRuns()
    {
        QFETCH(QString, open);
        QFETCH(QString, inner);
        QFETCH(QString, close);
        const auto nested = [&](int depth) {
            return open.repeated(depth) + inner + close.repeated(depth);
        };
        const CompiledFilter absurd = compileFilter(nested(10000), testName);
        QVERIFY(!absurd.ok);
        QVERIFY2(absurd.error.contains(u"too complex"_s), qPrintable(absurd.error));

        int deepest = 0;
        while (compileFilter(nested(deepest + 1), testName).ok)
            ++deepest;
        QVERIFY2(deepest >= 5, qPrintable(QString::number(deepest)));
        QVERIFY(runsInWalk(compileFilter(nested(deepest), testName)));
    }

    // Long flat chains, as a program listing chosen songs writes them, stay within SQLite's
    // limits however long they are.
    void longChainsRun()
    {
        QStringList terms;
        for (int i = 0; i < 20000; ++i)
            terms.append(u"MUS:ChartNumber = %1"_s.arg(i % 2 ? i : 0));
        QCOMPARE(matching(terms.join(u" OR "_s)), (QList<int>{1, 3, 4, 5, 7, 8, 10}));
        QCOMPARE(matching(u"NOT ("_s + terms.join(u" AND "_s) + u')'),
                 (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

        const QString concatenation = QStringList(3000, u"'a'"_s).join(u" & "_s);
        QVERIFY(runsInWalk(compileFilter(concatenation + u" = MUS:Title"_s, testName)));

        const QString tooMany = QStringList(MaxFilterParameters + 1, u"1"_s).join(u" OR "_s);
        QVERIFY(compileFilter(tooMany, testName).error.contains(u"more than 30000 values"_s));
    }

    // Random token soups, random expressions and random bytes: compiling never crashes, a
    // refusal always says why, and whatever compiles runs inside the store's walk.
    void fuzz()
    {
        QRandomGenerator random(20240607);
        int compiled = 0;
        const auto sound = [&](const QString &expression, bool valid) {
            const CompiledFilter filter = compileFilter(expression, testName);
            compiled += filter.ok;
            if (filter.ok)
                return runsInWalk(filter);
            return !filter.error.isEmpty() && filter.sql.isEmpty() &&
                   (!valid || filter.error.contains(u"too complex"_s));
        };
        for (int i = 0; i < 330000; ++i) {
            const QString expression = i < 200000   ? tokenSoup(random)
                                       : i < 230000 ? randomExpression(random, 0)
                                                    : randomBytes(random);
            QVERIFY2(sound(expression, i >= 200000 && i < 230000), qPrintable(expression));
        }
        QVERIFY2(compiled > 30000, qPrintable(QString::number(compiled)));
        QCOMPARE(songCount(), songs.size());
    }

private:
    static QString pick(QRandomGenerator &random, const QStringList &choices)
    {
        return choices.at(random.bounded(static_cast<int>(choices.size())));
    }

    static QString tokenSoup(QRandomGenerator &random)
    {
        static const QStringList tokens =
            u"MUS:Artist|mus:title|MUS:ChartNumber|MUS:Live|BRW1::Sort3:Reset:MED:Media|"
            u"ThreadInstance|LOC:Evil|MUS:Nope|AND|or|Not|~|UPPER(|lower(|CLIP(|SUB(|INSTRING(|"
            u"FOO(|(|)|,|=|<>|~=|<|>|<=|>=|&|+|-|*|/|0|1|2.5|.5|99999999999999999999|'CD'|''|"
            u"'it''s'|'x''; DROP TABLE songs; --'|'/* */ \\ \"'|'日本 ✓'|'|\"Artist\"|;|--|?|#| "_s
                .split(u'|');
        QString soup;
        const int count = random.bounded(1, 26);
        for (int i = 0; i < count; ++i)
            soup += pick(random, tokens) + (random.bounded(4) ? u" "_s : QString());
        return soup;
    }

    static QString randomExpression(QRandomGenerator &random, int depth)
    {
        static const QStringList leaves =
            u"MUS:Artist|MUS:Title|MUS:Media|MUS:ChartNumber|MUS:Live|MUS:Skips|LOC:Padded|"
            u"ThreadInstance|LOC:Evil|'CD'|'Rock ''n'' Roll'|''|'日本'|0|1|-3|2.5"_s.split(u'|');
        static const QStringList binary = u"=|<>|<|>=|&|+|-|*|/|AND|OR"_s.split(u'|');
        static const QStringList chaining = binary.mid(4);
        if (depth > 8 || random.bounded(3) == 0)
            return pick(random, leaves);
        const auto sub = [&] { return randomExpression(random, depth + 1); };
        switch (random.bounded(7)) {
        case 0:
            return u"("_s + sub() + u" "_s + pick(random, binary) + u" "_s + sub() + u")"_s;
        case 1:
            return u"(NOT "_s + sub() + u")"_s;
        case 2:
            return u"-("_s + sub() + u")"_s;
        case 3:
            return pick(random, {u"UPPER("_s, u"LOWER("_s, u"CLIP("_s}) + sub() + u")"_s;
        case 4:
            return u"SUB("_s + sub() + u", "_s + sub() + u", "_s + sub() + u")"_s;
        case 5:
            return u"INSTRING("_s + sub() + u", "_s + sub() + u", 1, 1)"_s;
        default: // comparisons do not chain, so an unparenthesized operator is another kind
            return sub() + u" "_s + pick(random, chaining) + u" "_s + sub();
        }
    }

    static QString randomBytes(QRandomGenerator &random)
    {
        QByteArray bytes(random.bounded(0, 40), '\0');
        const bool printable = random.bounded(2);
        for (char &byte : bytes)
            byte = static_cast<char>(printable ? random.bounded(32, 127) : random.bounded(0, 256));
        return QString::fromUtf8(bytes);
    }
};

QTEST_GUILESS_MAIN(TestFilter)
#include "tst_filter.moc"
