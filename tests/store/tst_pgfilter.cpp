// Filters on both engines: the same songs stored in table files and on a PostgreSQL server
// (a throwaway cluster of this test's own), each expression compiled for each engine, and
// the songs each engine selects compared. The server functions that stand for SQLite's
// built-ins and for the program's case mappings are also compared value for value.
#include "scratchserver.h"
#include "store/database.h"
#include "store/errors.h"
#include "store/filter.h"
#include "store/keytext.h"
#include "store/pgdialect.h"
#include "store/serverdatabase.h"
#include "store/servertable.h"
#include "store/sqldialect.h"
#include "store/table.h"
#include "testsupport.h"

#include <QTest>

#include <algorithm>

#include <sqlite3.h>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

struct Song
{
    QString artist, title, style, notes;
    qint64 chart = 0, rating = 0, live = 0;
};

// Text as the store keeps it (no trailing blanks), chosen for case, accents, characters
// outside the BMP, text that reads as a number, and LIKE's and SQL's special characters.
const QList<Song> Songs = {
    {u"Abba"_s, u"Dancing Queen"_s, u"Pop"_s, u"recorded 1976"_s, 1, 5, 0},
    {u"Björk"_s, u"Army of Me"_s, u"rock"_s, u""_s, 12, 3, 1},
    {u"BJÖRK"_s, u"Hyperballad"_s, u"Rock"_s, u"björk live"_s, 0, 0, 0},
    {u"björk"_s, u"Jóga"_s, u"ROCK"_s, u"Ünïcödé"_s, 25, 4, 1},
    {u"O'Connor"_s, u"Nothing Compares 2 U"_s, u"12"_s, u"it's"_s, 5, 2, 0},
    {u"Little Richard"_s, u"Rock 'n' Roll"_s, u"12 inch"_s, u"'quoted'"_s, 10, 1, 1},
    {u""_s, u"Untitled"_s, u""_s, u""_s, 0, 0, 0},
    {u"Prince"_s, u"1999"_s, u"1e3"_s, u"1999"_s, 3, 5, 0},
    {u"100% Pure"_s, u"under_score"_s, u"12.5 mix"_s, u"50% off_sale"_s, 7, 1, 0},
    {u"Straße"_s, u"Ünïcödé ✓ 日本"_s, u"-5 apples"_s, u"STRASSE"_s, 40, 0, 1},
    {u"ΣΟΦΙΑ Ελληνικά"_s, u"ﬁnal ǅ"_s, u".5"_s, u"σοφια"_s, 2, 2, 0},
    {u"𐐨𐐩 Deseret"_s, u"emoji 🎵 note"_s, u"  7 blanks"_s, u"𐐀𐐁"_s, 9, 3, 0},
    {u"한국어"_s, u"Ⓐⓑ ⅻ"_s, u"0x10"_s, u"a\\b"_s, 11, 4, 1},
    {u"İstanbul"_s, u"ŉ ǰ ΐ"_s, u"2.0"_s, u"ist"_s, 4, 0, 0},
    {u"back\\slash"_s, u"100%"_s, u"99999999999999999999"_s, u"x_y"_s, 6, 1, 0},
    {u"élan"_s, u"Élan Vital"_s, u"007"_s, u"ELAN"_s, 8, 2, 1},
};

// Expressions over every kind of value the language has; each must select the same songs on
// both engines.
const QStringList Expressions = {
    // Plain text comparisons: case counts, trailing blanks do not, order is by code point.
    u"MUS:Artist = 'Björk'"_s,
    u"MUS:Artist = 'björk   '"_s,
    u"MUS:Artist <> 'Abba'"_s,
    u"MUS:Artist < 'B'"_s,
    u"MUS:Artist >= 'Z'"_s,
    u"MUS:Artist > 'É'"_s,
    u"MUS:Title <= 'Rock ''n'' Roll'"_s,
    u"MUS:Artist = ''"_s,
    u"MUS:Notes = 'it''s'"_s,
    u"MUS:Artist = MUS:Notes"_s,
    // Case mappings over all of Unicode.
    u"UPPER(MUS:Artist) = 'BJÖRK'"_s,
    u"LOWER(MUS:Artist) = 'björk'"_s,
    u"UPPER(MUS:Artist) = 'STRASSE'"_s,
    u"UPPER(MUS:Notes) = UPPER(MUS:Artist)"_s,
    u"LOWER(MUS:Artist) = 'σοφια ελληνικά'"_s,
    u"UPPER(MUS:Notes) = 'ΣΟΦΙΑ'"_s,
    u"UPPER(MUS:Title) = 'FINAL Ǆ'"_s,
    u"LOWER(MUS:Title) = 'ⓐⓑ ⅻ'"_s,
    u"UPPER(MUS:Artist) = '𐐀𐐁 DESERET'"_s,
    u"LOWER(MUS:Artist) = 'i̇stanbul'"_s,
    u"UPPER(MUS:Title) = UPPER('ŉ ǰ ΐ') & ''"_s,
    u"UPPER(LOWER(MUS:Artist)) = UPPER(MUS:Artist)"_s,
    // Text read as a number where either side is one.
    u"MUS:Style = 12"_s,
    u"MUS:Style > 10"_s,
    u"MUS:Style = 1000"_s,
    u"MUS:Style < 0"_s,
    u"MUS:Style = 12.5"_s,
    u"MUS:Style = 0.5"_s,
    u"MUS:Style = 7"_s,
    u"MUS:Style = 2"_s,
    u"MUS:Style = 0"_s,
    u"MUS:Style > 1000000"_s,
    u"MUS:ChartNumber = MUS:Style"_s,
    u"MUS:Title + 1 = 2000"_s,
    u"-MUS:Style = 5"_s,
    // Numbers as text.
    u"MUS:ChartNumber & '' = '12'"_s,
    u"MUS:Style + 0 & '' = '12'"_s,
    u"MUS:Style + 0 & '' = '2'"_s,
    u"MUS:Style + 0 & '' = '12.5'"_s,
    u"MUS:Style * 1 & '' = '1.0e+20'"_s,
    u"MUS:ChartNumber / 4 & '' = '3.0'"_s,
    u"MUS:ChartNumber / 3 & '' = '0.333333333333333'"_s,
    u"MUS:Rating * 0.5 & 'x' = '2.5x'"_s,
    u"MUS:Rating * 0.5 & 'x' = '2.0x'"_s,
    u"SUB(MUS:ChartNumber * 100, 1, 2) = '12'"_s,
    // SUB, INSTRING, CLIP and &.
    u"SUB(MUS:Artist, 2, 3) = 'jör'"_s,
    u"SUB(MUS:Artist, 1, 1) = 'B'"_s,
    u"SUB(MUS:Title, -3, 2) = 'la'"_s,
    u"SUB(MUS:Title, 0, 2) = 'A'"_s,
    u"SUB(MUS:Title, 3, -2) = 'Hy'"_s,
    u"SUB(MUS:Title, -100, 98) = 'Jó'"_s,
    u"SUB(MUS:Title, 2.9, 1.9) = 'y'"_s,
    u"SUB(MUS:Title, 7, 1) = '🎵'"_s,
    u"SUB(MUS:Artist, 2, 2) = '𐐩 '"_s,
    u"INSTRING('ö', MUS:Artist) = 3"_s,
    u"INSTRING('🎵', MUS:Title, 1, 1) = 7"_s,
    u"INSTRING('', MUS:Artist) = 1"_s,
    u"INSTRING('R', MUS:Artist) > 1"_s,
    u"CLIP('Björk   ') = MUS:Artist"_s,
    u"MUS:Artist & '|' & MUS:Style = 'Björk|rock'"_s,
    u"MUS:Artist & '   ' = MUS:Artist"_s,
    u"SUB(MUS:Artist & '   ', 1, 6) = 'Björk '"_s,
    // Arithmetic: exact division, by zero 0, unary minus.
    u"MUS:ChartNumber / 2 = 6"_s,
    u"MUS:ChartNumber / 2 = 2.5"_s,
    u"MUS:ChartNumber / MUS:Rating > 3"_s,
    u"MUS:ChartNumber / MUS:Rating = 0"_s,
    u"MUS:Rating / 0 = 0"_s,
    u"MUS:ChartNumber * 2 / 4 * 3 = 18"_s,
    u"7 / 2 = 3.5"_s,
    u"(MUS:ChartNumber - MUS:Rating) * -2 < -10"_s,
    u"MUS:ChartNumber + MUS:Rating * 2 - 1 = 17"_s,
    u"-(MUS:ChartNumber) < -9"_s,
    u"MUS:ChartNumber / 3 * 3 = MUS:ChartNumber"_s,
    // Conditions and their values.
    u"NOT MUS:Artist = 'Abba'"_s,
    u"~ MUS:Live"_s,
    u"MUS:Live AND MUS:Rating > 2 OR MUS:Artist = 'Prince'"_s,
    u"NOT (MUS:Live OR MUS:ChartNumber > 10)"_s,
    u"(MUS:Rating > 2) + (MUS:Live = 1) = 2"_s,
    u"(MUS:Rating > 2) = MUS:Live"_s,
    u"(MUS:Rating > 2) & '' = '1'"_s,
    u"MUS:Rating = (MUS:Live = 1)"_s,
    u"MUS:Artist"_s,
    u"MUS:Style"_s,
    u"MUS:Rating"_s,
    u"MUS:Rating - 1"_s,
    u"MUS:ChartNumber / 0"_s,
    u"SUB(MUS:Artist, 1, 0)"_s,
    u"NOT MUS:Notes"_s,
    u"'x'"_s,
    u"0"_s,
    u""_s,
    // Searches: begins with, contains, key ranges (case and accents do not count).
    u"SUB(UPPER(MUS:Artist), 1, 1) = UPPER('b')"_s,
    u"SUB(UPPER(MUS:Artist), 1, 2) = UPPER('bj')"_s,
    u"SUB(UPPER(MUS:Artist), 1, 5) = UPPER('björk')"_s,
    u"SUB(UPPER(MUS:Artist), 1, 4) <> UPPER('elan')"_s,
    u"SUB(UPPER(MUS:Artist), 1, 2) = UPPER('o''')"_s,
    u"SUB(UPPER(MUS:Artist), 1, 4) = UPPER('100%')"_s,
    u"SUB(UPPER(MUS:Notes), 1, 3) = UPPER('50%')"_s,
    u"SUB(UPPER(MUS:Notes), 1, 2) = UPPER('x_')"_s,
    u"SUB(UPPER(MUS:Notes), 1, 2) = UPPER('a\\')"_s,
    u"SUB(UPPER(MUS:Title), 1, 0) = UPPER('')"_s,
    u"INSTRING(UPPER('o'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('ö'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('an'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('JOR'), UPPER(MUS:Artist), 1, 1) > 0"_s,
    u"INSTRING(UPPER('JOR'), UPPER(MUS:Artist), 1, 1) = 0"_s,
    u"INSTRING(UPPER('unicode'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('%'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('0%'), UPPER(MUS:Notes), 1, 1) > 0"_s,
    u"INSTRING(UPPER('r_s'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('_'), UPPER(MUS:Notes), 1, 1) > 0"_s,
    u"INSTRING(UPPER('''n'''), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('it''s'), UPPER(MUS:Notes), 1, 1) > 0"_s,
    u"INSTRING(UPPER('\\'), UPPER(MUS:Artist), 1, 1) > 0"_s,
    u"INSTRING(UPPER('🎵 n'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('𐐩'), UPPER(MUS:Artist), 1, 1) > 0"_s,
    u"INSTRING(UPPER('strasse'), UPPER(MUS:Artist), 1, 1) > 0"_s,
    u"INSTRING(UPPER('fin'), UPPER(MUS:Title), 1, 1) > 0"_s,
    u"INSTRING(UPPER('국'), UPPER(MUS:Artist), 1, 1) > 0"_s,
    u"INSTRING(UPPER('σοφ'), UPPER(MUS:Artist), 1, 1) > 0"_s,
    u"INSTRING(UPPER('ick'), UPPER(MUS:Artist), 1, 1) > 0 AND MUS:Live"_s,
    u"UPPER(MUS:Artist) = UPPER('BJÖRK')"_s,
    u"UPPER(MUS:Artist) >= UPPER('björk')"_s,
    u"UPPER(MUS:Artist) < UPPER('c')"_s,
    u"UPPER(MUS:Artist) <> UPPER('abba')"_s,
    u"MUS:ChartNumber > 9"_s,
    u"MUS:ChartNumber <= 0"_s,
    u"MUS:ChartNumber < 5 AND SUB(UPPER(MUS:Title), 1, 3) = UPPER('dan')"_s,
};

test::ScratchServer &server()
{
    static test::ScratchServer instance;
    return instance;
}

const TableDef &songsDef()
{
    return tableDef(TableId::Songs);
}

template <class Handle> bool addSongs(Handle &songs)
{
    qint64 id = 0;
    for (const Song &song : Songs) {
        Record &r = songs.buffer();
        r.clear();
        r.setNumber(mus::ID, ++id);
        r.setText(mus::Artist, song.artist);
        r.setText(mus::Title, song.title);
        r.setText(mus::Style, song.style);
        r.setMemo(songsDef().memoIndex(u"Notes"), song.notes);
        r.setNumber(mus::ChartNumber, song.chart);
        r.setNumber(mus::Rating, song.rating);
        r.setNumber(mus::Live, song.live);
        if (!songs.add())
            return false;
    }
    return true;
}

QStringView bareName(const QString &upperName)
{
    return upperName.startsWith(u"MUS:"_s) ? QStringView(upperName).mid(4) : QStringView();
}

// A column of the songs' table file as the store describes it for its views.
std::optional<FilterName> fileColumn(const QString &upperName)
{
    const TableDef &def = songsDef();
    const QStringView bare = bareName(upperName);
    const QString schema = Database::schemaName(def);
    FilterName column;
    column.isColumn = true;
    column.candidatesSql = sql::positionsWhere(schema, def);
    column.positionSql = sql::positionColumn();
    QString name;
    if (const int field = def.fieldIndex(bare); field >= 0) {
        name = def.fields.at(field).name;
        column.kind =
            def.fields.at(field).type == FieldType::String ? ValueKind::Text : ValueKind::Number;
        if (const int key = sql::keyLedBy(def, field); key >= 0) {
            column.keySql = sql::quote(sql::keyColumn(def, field));
            column.keyCondition = sql::optionalCondition(def, key);
        }
    } else if (const int memo = def.memoIndex(bare); memo >= 0) {
        name = def.memos.at(memo).name;
    } else {
        return std::nullopt;
    }
    column.columnSql = sql::quote(name);
    if (column.kind == ValueKind::Text) {
        column.folded = true;
        column.fullTextColumn = name;
        column.fullTextSql = sql::fullTextQuery(schema, def);
    }
    return column;
}

std::optional<FilterName> serverColumn(const QString &upperName)
{
    FilterName column;
    if (!pgsql::describeColumn(songsDef(), bareName(upperName), column))
        return std::nullopt;
    return column;
}

// Where two long texts part, with the code points around it; empty when they are equal.
QString firstDifference(const QString &actual, const QString &expected)
{
    const QList<uint> a = actual.toUcs4();
    const QList<uint> e = expected.toUcs4();
    qsizetype at = 0;
    while (at < a.size() && at < e.size() && a.at(at) == e.at(at))
        ++at;
    if (at == a.size() && at == e.size())
        return QString();
    const auto around = [at](const QList<uint> &text) {
        QStringList shown;
        for (qsizetype i = std::max<qsizetype>(0, at - 2); i < std::min(text.size(), at + 4); ++i)
            shown.append(QString::number(text.at(i), 16));
        return shown.join(u' ');
    };
    return u"at %1: %2 instead of %3"_s.arg(at).arg(around(a), around(e));
}

} // namespace

class TestPgFilter : public QObject
{
    Q_OBJECT

    test::Workspace m_workspace;
    std::unique_ptr<Database> m_files;
    std::unique_ptr<Table> m_fileSongs;
    std::unique_ptr<ServerDatabase> m_server;
    std::unique_ptr<ServerTable> m_serverSongs;
    QString m_database; // the server database the songs are in

    // The IDs of the songs the SQL selects (a SELECT of "ID" alone).
    std::optional<QList<qint64>> fileIds(const QString &sql, const QVariantList &parameters)
    {
        sqlite3_stmt *statement = m_files->statement(sql);
        if (!statement || bindFilterParameters(statement, 1, parameters) != SQLITE_OK) {
            qWarning("%s: %s", qPrintable(sql), qPrintable(errorText()));
            return std::nullopt;
        }
        QList<qint64> ids;
        int result;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW)
            ids.append(sqlite3_column_int64(statement, 0));
        sqlite3_reset(statement);
        if (result != SQLITE_DONE)
            return std::nullopt;
        return ids;
    }

    std::optional<QList<qint64>> serverIds(const QString &sql, const QVariantList &parameters)
    {
        const ServerDatabase::Result result =
            m_server->run(pgsql::numbered(sql, parameters), parameters);
        if (!result.ok()) {
            qWarning("%s: %s", qPrintable(sql), qPrintable(errorText()));
            return std::nullopt;
        }
        QList<qint64> ids;
        for (int row = 0; row < result.rows(); ++row)
            ids.append(result.number(row, 0));
        return ids;
    }

    QString serverValue(const QString &sql, const QVariantList &parameters)
    {
        const ServerDatabase::Result result =
            m_server->run(pgsql::numbered(sql, parameters), parameters);
        return result.ok() && result.rows() == 1 ? result.text(0, 0) : u"<failed>"_s;
    }

    QString fileValue(const QString &sql, const QVariantList &parameters)
    {
        sqlite3_stmt *statement = m_files->statement(sql);
        if (!statement || bindFilterParameters(statement, 1, parameters) != SQLITE_OK ||
            sqlite3_step(statement) != SQLITE_ROW)
            return u"<failed>"_s;
        const QString value =
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        sqlite3_reset(statement);
        return value;
    }

    bool setUpServer()
    {
        if (!server().start())
            return false;
        const QString url = server().createDatabase(u"filters"_s);
        if (url.isEmpty())
            return false;
        m_server = std::make_unique<ServerDatabase>(url);
        // A database whose own collation is not byte order (ICU's), so that text that must
        // compare byte by byte shows it: the scratch cluster's is byte order.
        m_database = u"filters"_s;
        if (m_server->execute(u"CREATE DATABASE filters_icu TEMPLATE template0 ENCODING 'UTF8' "
                              u"LOCALE_PROVIDER icu ICU_LOCALE 'en-US' LOCALE 'C.UTF-8'"_s)) {
            m_database = u"filters_icu"_s;
            m_server = std::make_unique<ServerDatabase>(
                QString(url).replace(u"/filters?"_s, u"/filters_icu?"_s));
            const ServerDatabase::Result order = m_server->run(u"SELECT 'Z' < 'a'"_s);
            if (!order.ok() || order.text(0, 0) != u"f")
                return false;
        } else {
            qInfo("Server without ICU: text compares in its byte order already");
        }
        for (const QString &statement : pgsql::createFunctions()) {
            if (!m_server->execute(statement))
                return false;
        }
        // Made a second time without harm, as a catalogue set up again would.
        for (const QString &statement : pgsql::createFunctions()) {
            if (!m_server->execute(statement))
                return false;
        }
        m_serverSongs = std::make_unique<ServerTable>(*m_server, songsDef(), songsDef().prefix);
        return m_serverSongs->create() && m_serverSongs->open() && addSongs(*m_serverSongs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_files = std::make_unique<Database>(m_workspace.path());
        QVERIFY(registerFilterFunctions(m_files->handle()));
        m_fileSongs = std::make_unique<Table>(*m_files, songsDef(), songsDef().prefix);
        QVERIFY2(m_fileSongs->create() && m_fileSongs->open() && addSongs(*m_fileSongs),
                 qPrintable(errorText()));
        if (!server().installed())
            QSKIP(qPrintable(server().skipReason()));
        QVERIFY2(setUpServer(), qPrintable(server().error() + errorText()));
    }

    // Each expression selects the same songs on both engines, and the candidates either
    // engine's indexes give hold every song selected (exactly those when they say so).
    void sameSongs_data()
    {
        QTest::addColumn<QString>("expression");
        for (const QString &expression : Expressions)
            QTest::newRow(qPrintable(expression)) << expression;
    }
    void sameSongs()
    {
        QFETCH(QString, expression);
        const CompiledFilter onFiles = compileFilter(expression, fileColumn);
        const CompiledFilter onServer =
            compileFilter(expression, serverColumn, FilterDialect::Server);
        QVERIFY2(onFiles.ok, qPrintable(onFiles.error));
        QVERIFY2(onServer.ok, qPrintable(onServer.error));
        const QString select = u"SELECT \"ID\" FROM %1 WHERE %2 ORDER BY \"ID\""_s;
        const auto files = fileIds(
            select.arg(sql::tableName(Database::schemaName(songsDef()), songsDef()), onFiles.sql),
            onFiles.parameters);
        const auto onServerIds =
            serverIds(select.arg(pgsql::tableName(songsDef()), onServer.sql), onServer.parameters);
        QVERIFY(files);
        QVERIFY(onServerIds);
        QCOMPARE(*onServerIds, *files);

        // Candidates are positions; here a song's position is its ID.
        QCOMPARE(onServer.candidates.size(), onFiles.candidates.size());
        for (const CompiledFilter::Candidates &candidates : onServer.candidates) {
            auto found = serverIds(candidates.sql, candidates.parameters);
            QVERIFY(found);
            std::sort(found->begin(), found->end());
            for (const qint64 id : *files)
                QVERIFY2(found->contains(id), qPrintable(candidates.sql));
            if (candidates.whole)
                QCOMPARE(*found, *files);
        }
    }

    // The server's stand-ins for SQLite's own CAST and substr give SQLite's values.
    void builtIns()
    {
        QVERIFY(m_server);
        const QStringList texts{u"12"_s,
                                u"12 inch"_s,
                                u"  7"_s,
                                u"-5x"_s,
                                u"+3"_s,
                                u".5"_s,
                                u"5."_s,
                                u"1e3"_s,
                                u"1.5e3x"_s,
                                u"2.0"_s,
                                u"2.50"_s,
                                u"abc"_s,
                                u""_s,
                                u"0x10"_s,
                                u"-0"_s,
                                u"1e"_s,
                                u"\t\n 8"_s,
                                u"007"_s,
                                u"-.25"_s,
                                u"99999999999999999999"_s,
                                u"9223372036854775807"_s,
                                u"9223372036854775808"_s,
                                u"4503599627370496.0"_s,
                                u"1.5e-7"_s,
                                u"1e20"_s};
        for (const QString &text : texts) {
            QCOMPARE(serverValue(u"SELECT sv_text(sv_number(?))"_s, {text}),
                     fileValue(u"SELECT CAST(CAST(? AS NUMERIC) AS TEXT)"_s, {text}));
        }
        const QList<double> reals{0.1 + 0.2, 2.0,    1e20,   1.0 / 3, 123456789012345678.0,
                                  1e-5,      1e15,   1e14,   -2.5,    1e300 * 1e10,
                                  -1e-300,   0.0001, 123.456};
        for (const double real : reals) {
            QCOMPARE(serverValue(u"SELECT sv_text(?)"_s, {real}),
                     fileValue(u"SELECT CAST(? AS TEXT)"_s, {real}));
        }
        const QStringList words{u"Björk 🎵"_s, u"ab"_s, u""_s};
        for (const QString &word : words) {
            for (int start = -8; start <= 8; ++start) {
                for (int length = -8; length <= 8; ++length) {
                    const QVariantList arguments{word, qint64(start), qint64(length)};
                    QCOMPARE(serverValue(u"SELECT sv_substr(?, ?, ?)"_s, arguments),
                             fileValue(u"SELECT substr(?, ?, ?)"_s, arguments));
                }
            }
            const QVariantList cut{word, 2.7, -1.5};
            QCOMPARE(serverValue(u"SELECT sv_substr(?, ?, ?)"_s, cut),
                     fileValue(u"SELECT substr(?, ?, ?)"_s, cut));
        }
    }

    // The server's case mappings equal the program's for every character it maps, whole
    // texts at a time. Each combining mark follows a letter: folding a run of marks that are
    // not in canonical order reorders them, which a mapping character by character does not
    // (the program keeps marks outside the BMP when it folds, so such runs could differ).
    void caseMappings()
    {
        QVERIFY(m_server);
        QString all;
        for (char32_t c = 1; c <= 0x10FFFF; ++c) {
            if ((c < 0xD800 || c > 0xDFFF) && QChar::category(c) != QChar::Other_NotAssigned &&
                QChar::category(c) != QChar::Other_PrivateUse) {
                if (QChar::combiningClass(c) != 0)
                    all += u'x';
                all += QString::fromUcs4(&c, 1);
            }
        }
        constexpr qsizetype Chunk = 20000;
        for (qsizetype at = 0; at < all.size(); at += Chunk) {
            const QString text = all.mid(at, Chunk);
            if (text.back().isHighSurrogate())
                continue; // split between halves: the next chunk has the character
            QCOMPARE(firstDifference(serverValue(u"SELECT sv_upper(?)"_s, {text}), text.toUpper()),
                     QString());
            QCOMPARE(firstDifference(serverValue(u"SELECT sv_lower(?)"_s, {text}), text.toLower()),
                     QString());
            QCOMPARE(firstDifference(serverValue(u"SELECT sv_fold(?)"_s, {text}), foldText(text)),
                     QString());
        }
        QCOMPARE(serverValue(u"SELECT sv_fold(?)"_s, {u"Jóga ﬁnal"_s}), u"JOGA FINAL"_s);
        QCOMPARE(serverValue(u"SELECT sv_upper(?)"_s, {u"plain ascii"_s}), u"PLAIN ASCII"_s);
    }

    // Without pg_trgm (taken away by the server's keeper, or never there for a login that
    // may not add it) searches read the table.
    void withoutTrigrams()
    {
        QVERIFY(m_server);
        const QString url = server().createDatabase(u"plain"_s);
        QVERIFY(!url.isEmpty());
        ServerDatabase database(url);
        ServerTable songs(database, songsDef(), songsDef().prefix);
        QVERIFY2(songs.create() && songs.open() && addSongs(songs), qPrintable(errorText()));
        QVERIFY(database.execute(u"DROP EXTENSION pg_trgm CASCADE"_s));
        const CompiledFilter filter =
            compileFilter(u"INSTRING(UPPER('JÖR'), UPPER(MUS:Artist), 1, 1) > 0"_s, serverColumn,
                          FilterDialect::Server);
        QVERIFY(filter.ok);
        const ServerDatabase::Result found =
            database.run(u"SELECT \"ID\" FROM "_s + pgsql::tableName(songsDef()) + u" WHERE "_s +
                             pgsql::numbered(filter.sql, filter.parameters) + u" ORDER BY \"ID\""_s,
                         filter.parameters);
        QVERIFY(found.ok());
        QCOMPARE(found.rows(), 3);
        QCOMPARE(found.number(0, 0), 2);
        const ServerDatabase::Result indexes =
            database.run(u"SELECT count(*) FROM pg_indexes WHERE indexname = $1"_s,
                         {pgsql::fullTextIndexName(songsDef(), u"Artist"_s)});
        QVERIFY(indexes.ok());
        QCOMPARE(indexes.number(0, 0), 0);
    }

    // A catalogue backed up and restored with the server's own tools keeps its functions and
    // trigram indexes: a restore runs with an empty search path, so the functions an index
    // calls must not depend on it.
    void dumpAndRestore()
    {
        QVERIFY(m_server);
        QVERIFY2(server().restoreCopy(m_database, u"restored"_s), qPrintable(server().error()));
        const QString url = server().createDatabase(u"unused"_s);
        QVERIFY(!url.isEmpty());
        ServerDatabase restored(QString(url).replace(u"/unused?"_s, u"/restored?"_s));
        QVERIFY(restored.isValid());
        const CompiledFilter filter =
            compileFilter(u"INSTRING(UPPER('JÖR'), UPPER(MUS:Artist), 1, 1) > 0"_s, serverColumn,
                          FilterDialect::Server);
        QVERIFY(filter.ok);
        const ServerDatabase::Result found =
            restored.run(u"SELECT count(*) FROM "_s + pgsql::tableName(songsDef()) + u" WHERE "_s +
                             pgsql::numbered(filter.sql, filter.parameters),
                         filter.parameters);
        QVERIFY(found.ok());
        QCOMPARE(found.number(0, 0), 3);
        const ServerDatabase::Result indexes =
            restored.run(u"SELECT count(*) FROM pg_indexes WHERE indexname = $1"_s,
                         {pgsql::fullTextIndexName(songsDef(), u"Artist"_s)});
        QVERIFY(indexes.ok());
        QCOMPARE(indexes.number(0, 0), 1);
    }

    // Placeholders are numbered and typed in order, leaving quoted text and names alone.
    void numbering()
    {
        QCOMPARE(pgsql::numbered(u"a = ? AND \"b?\" = '?''?' AND c < ? OR d = ?"_s,
                                 {qint64(1), 2.5, u"x"_s}, 3),
                 u"a = $3::bigint AND \"b?\" = '?''?' AND c < $4::float8 OR d = $5::text"_s);
    }

    // The trigram index serves a contains of three characters or more.
    void trigramIndex()
    {
        QVERIFY(m_server);
        const CompiledFilter filter =
            compileFilter(u"INSTRING(UPPER('richard'), UPPER(MUS:Artist), 1, 1) > 0"_s,
                          serverColumn, FilterDialect::Server);
        QVERIFY(filter.ok);
        QVERIFY(m_server->execute(u"SET enable_seqscan = off"_s));
        const ServerDatabase::Result plan =
            m_server->run(u"EXPLAIN SELECT \"ID\" FROM "_s + pgsql::tableName(songsDef()) +
                              u" WHERE "_s + pgsql::numbered(filter.sql, filter.parameters),
                          filter.parameters);
        QVERIFY(m_server->execute(u"RESET enable_seqscan"_s));
        QVERIFY(plan.ok());
        QString text;
        for (int row = 0; row < plan.rows(); ++row)
            text += plan.text(row, 0) + u'\n';
        QVERIFY2(text.contains(pgsql::fullTextIndexName(songsDef(), u"Artist"_s)),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestPgFilter)
#include "tst_pgfilter.moc"
