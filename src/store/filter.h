#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <sqlite3.h>

#include <functional>
#include <optional>

// Filter expressions: the small expression language views, the query builder and users write
// to choose records, compiled to an SQL condition for the record store.
//
// Language
//   Names      a letter followed by letters, digits, '_' and ':' (MUS:Artist,
//              BRW1::Sort3:Reset:MED:Media). Case does not matter: the lookup is always asked
//              with the name in upper case. AND, OR and NOT are reserved words.
//   Literals   'text' with '' for an embedded quote ('Rock ''n'' Roll'); numbers 12, 2.5, .5
//              (a leading minus is the unary operator).
//   Operators  from loosest to tightest binding:
//                OR
//                AND
//                NOT x, ~x          (applies to a whole comparison: NOT a = b is NOT (a = b);
//                                    as an operand it needs parentheses: a = (NOT b))
//                = <> ~= < > <= >=  (comparisons do not chain: (a = b) = c; ~= is <>)
//                &                  text concatenation
//                + -
//                * /                / always divides exactly (7 / 2 = 3.5); by zero gives 0
//                -x                 unary minus
//              and parentheses.
//   Functions  UPPER(x), LOWER(x)       Unicode case mapping
//              CLIP(x)                  x without trailing blanks
//              SUB(x, start, length)    substring, start counted from 1
//              INSTRING(needle, haystack [, 1 [, 1]])
//                                       1-based position of needle in haystack, 0 if absent;
//                                       only step 1 from position 1 is supported
//              Function names are matched without regard to case.
//
// Meaning
//   - Text compares case-sensitively, character by character, ignoring trailing blanks
//     ('CD  ' = 'CD'); wrap both sides in UPPER for a case-insensitive test.
//   - When either side of a comparison is a number, both are compared as numbers, text read
//     by the number it starts with ('12' and '12 inch' read 12, 'abc' reads 0). Comparisons
//     yield 1 or 0 and may be used as numbers.
//   - An operand used on its own as a condition is true when it is not zero (numbers) or not
//     blank (text): MUS:Live, NOT MUS:Skips.
//   - A blank expression is no filter: it compiles to the condition "1" (TRUE on the server).
//
// Safety
//   Every literal and every bound value becomes an SQL parameter, never SQL text; the only SQL
//   taken from outside is a column's columnSql, which the store builds. Expressions nested
//   deeper than MaxFilterDepth, too deep or too long for SQLite to parse inside the store's own
//   statement (which may add about 20 levels of its own), or with more than
//   MaxFilterParameters values are refused with an error rather than overflowing a stack.
//
// Searching
//   The conditions the song query builder writes are recognised when the store tells how its
//   columns are indexed (FilterName's search fields), and then read as the key orders read
//   text:
//     UPPER(c) op UPPER('v')                  compares key texts (keyText): case does not
//                                             count, the order is that of the keys; a range
//                                             on the key c leads
//     SUB(UPPER(c),1,n) = / <> UPPER('v')     begins (or not) with v, case and accents not
//                                             counting (foldText); a range on c's key text,
//                                             else the full-text index narrows it
//     INSTRING(UPPER('v'),UPPER(c),1,1) > 0   contains v (= 0: does not), case and accents
//                                             not counting; the full-text index serves a v of
//                                             three characters or more
//     c op n (numbers)                        a range on the key c leads, unless that key
//                                             leaves out the zeros the condition takes in
//   An index-served condition that every match must meet (the whole filter, or one of the
//   conditions joined by AND at its top) also gives the query of its candidates, so that a
//   search for a few records reads those and not the table.
//
// Engines
//   FilterDialect::File writes SQLite SQL for the table files; FilterDialect::Server writes a
//   PostgreSQL condition of the same meaning for every expression: comparisons are booleans
//   there, turned into 1 or 0 where used as numbers; text compares byte by byte (collation
//   "C"); and the server functions pgsql::createFunctions() makes stand for SQLite's CAST to
//   NUMERIC and to TEXT (sv_number, sv_text), its substr (sv_substr) and the program's case
//   mappings (sv_upper, sv_lower, sv_fold). Begins-with and contains of three characters or
//   more become LIKE patterns on sv_fold(column), which a trigram index serves; a column's
//   fullTextSql there is "SELECT <position> FROM <table> WHERE sv_fold(<column>) LIKE ?" and
//   takes the pattern. Parameters stay '?': pgsql::numbered turns them into typed $n.
//
// The compiled SQL relies on two conventions of the store: text columns hold their values
// without trailing blanks, and no column holds NULL (an empty field is '' or 0). The functions
// added by registerFilterFunctions must be registered on the connection that runs it.
namespace sv {

enum class ValueKind { Text, Number };
enum class FilterDialect { File, Server };

// What a name in an expression stands for.
struct FilterName
{
    bool isColumn = false; // a column of the walked table, given by columnSql...
    QString columnSql;     // ready-quoted SQL made by the store, e.g. "\"Artist\""
    QVariant value;        // ...or a value bound by the program, read when the filter compiles
    ValueKind kind = ValueKind::Text;

    // Search fields, given by the store for its own columns (all empty: none of the above).
    bool folded = false;    // begins-with and contains compare folded text (sv_fold)
    QString keySql;         // what orders the column in a key that it leads
    QString keyCondition;   // that key's condition when it leaves blank records out
    QString candidatesSql;  // "SELECT <position> FROM <table> WHERE ", a condition follows
    QString positionSql;    // the record's position
    QString fullTextColumn; // the column's name in the table's full-text index
    QString fullTextSql;    // "SELECT rowid FROM <index> WHERE <index> MATCH ?" (see Engines)
};

// Called with each distinct name of an expression, in upper case; nullopt for an unknown name.
using FilterNameLookup = std::function<std::optional<FilterName>(const QString &upperName)>;

struct CompiledFilter
{
    bool ok = false;
    QString sql;             // a condition for a WHERE clause, with '?' for each parameter
    QVariantList parameters; // qint64, double or QString values, in the order of the '?'s
    // Queries of the positions of a superset of the matching records, each served by an
    // index; empty when the filter must be tested on every record.
    struct Candidates
    {
        QString sql;
        QVariantList parameters;
        QString keySql;     // the key text or column it is a range of; "" for the full-text index
        QString rangeSql;   // that range alone, on keySql (its parameters are `parameters`)
        bool whole = false; // exactly the records the whole filter takes
    };
    QList<Candidates> candidates;
    QString error;         // when !ok: what is wrong and where
    int errorPosition = 0; // when !ok: 1-based character position, 0 when not at one place
};

inline constexpr int MaxFilterDepth = 100;
inline constexpr int MaxFilterParameters = 30000;

CompiledFilter compileFilter(const QString &expression, const FilterNameLookup &lookup,
                             FilterDialect dialect = FilterDialect::File);

// Binds parameters to a prepared statement from the given 1-based index on. Returns SQLITE_OK
// or the first error SQLite reported.
int bindFilterParameters(sqlite3_stmt *statement, int firstIndex, const QVariantList &parameters);

// Registers the SQL functions compiled filters call (sv_upper and sv_lower, which map case
// over all of Unicode where SQLite's own upper and lower know only ASCII). Returns false when
// SQLite refused them.
bool registerFilterFunctions(sqlite3 *db);

} // namespace sv
