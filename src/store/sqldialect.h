#pragma once

#include "schema.h"

#include <QStringList>

namespace sv {

// Every piece of SQL text the store runs is made here, from the table definitions, so
// another SQL engine can be added by writing a second dialect without touching callers.
//
// Layout of a table file: one table named after the label, a column per field and per
// memo, a key-text column ("k_" + field) for every text field that is part of a key, the
// record's position as INTEGER PRIMARY KEY AUTOINCREMENT "sv_pos" (stable across PACK, never
// given twice in one file) and a revision "sv_rev" that every write draws afresh from the
// file's counter, which is how a watched write notices another station. Beside the table, a
// one-row table "sv_counters" holds the number of records and the last revision given; the
// file's triggers keep it, so even a write through another program counts.
namespace sql {

// The store's own layout of a table file, apart from the table's structure version, kept
// in the file's application id: 0 for files written before positions and revisions were
// made unique. An older layout is brought up to date by the upgrade manager.
inline constexpr int FileLayout = 2;
inline constexpr char CountersTable[] = "sv_counters";

enum class Direction { Forward, Backward };
enum class Bound { None, Exclusive, Inclusive };

QString quote(const QString &identifier);
QString tableName(const QString &schema, const TableDef &table);

QString keyColumn(const TableDef &table, int field); // column that orders the field in keys
bool hasKeyText(const TableDef &table, int field);
// What a key compares a field by in SQL: its key text, the field itself, or, for a text
// field without key text (an order made on demand), its upper case.
QString keyTerm(const TableDef &table, int field);
// Whether the key's leading term is computed from its field rather than a stored column.
bool ledByComputedTerm(const TableDef &table, int key);
QStringList dataColumns(const TableDef &table);   // fields then memos, in stored order
QStringList keyTextFields(const TableDef &table); // names of fields with key-text columns
QStringList allColumns(const TableDef &table);    // position, revision, data, key texts

QString createTable(const QString &schema, const TableDef &table);
// The counters table with its row, the triggers that keep it and the layout mark, for an
// empty table; dropBookkeeping() removes them before a table is made anew.
QStringList createBookkeeping(const QString &schema, const TableDef &table);
QStringList dropBookkeeping(const QString &schema, const TableDef &table);
// Sets the record count from the records and keeps the last revision above every stored one.
QStringList recount(const QString &schema, const TableDef &table);
QString fileLayout(const QString &schema); // the layout mark (PRAGMA)
QString indexName(const TableDef &table, int key);
enum class IfMissing { No, Yes };
QString createIndex(const QString &schema, const TableDef &table, int key,
                    IfMissing ifMissing = IfMissing::No);
QString dropIndex(const QString &schema, const TableDef &table, int key);
// The condition that leaves blank records out of an optional key; empty for other keys.
// A record is left out when the key's leading component is blank or zero: a song never
// charted is not in the chart order, whatever its artist. Queries repeat the condition word
// for word so the engine can use the partial index.
QString optionalCondition(const TableDef &table, int key);

// For a filter over `table`: the value of `linkedField` in the record that `link` finds,
// blank or zero when there is none. The field's value is looked up through the linked key
// as that key compares (text without regard to case), within the statement that walks
// `table`, so no value leaves the engine.
QString linkedField(const TableDef &table, const LinkDef &link, const QString &linkedSchema,
                    int linkedField);

// The full-text index of a table that has one: an FTS5 table with the trigram tokenizer
// named after the table plus "_text", one column per text field and memo holding its folded
// text (sv_fold), row for row with the table (rowid = position). Triggers of the table keep
// it equal to the table in the statement that writes a record, so in its transaction too.
QStringList fullTextColumns(const TableDef &table); // empty: the table has no such index
QString fullTextName(const TableDef &table);
// Also fills it, unless `fill` is false: a table being filled by a copy fills its index a
// range of positions at a time (fillFullText: the records after `after` up to `upTo`).
QStringList createFullText(const QString &schema, const TableDef &table, bool fill = true);
QString fillFullText(const QString &schema, const TableDef &table, qint64 after, qint64 upTo);
QStringList dropFullText(const QString &schema, const TableDef &table);
// The triggers' names, as the schema lists them: a file lacking one needs its index made.
QStringList fullTextTriggers(const TableDef &table);
// The positions of the records that match the FTS5 query bound to its one parameter.
QString fullTextQuery(const QString &schema, const TableDef &table);
QString positionColumn();
// "SELECT <position> FROM <table> WHERE ", to be followed by a condition.
QString positionsWhere(const QString &schema, const TableDef &table);
// The key a field leads, preferring one that keeps every record; -1 when it leads none.
int keyLedBy(const TableDef &table, int field);
// The key a search on the field may walk a range of: one it leads that compares it as a
// search does, by its key text or its number (not the upper case of an order made on
// demand, which keeps accents); -1 when there is none.
int searchKeyOf(const TableDef &table, int field);

// The columns a read returns: position, revision, then the fields and memos, or only the
// listed fields (in the list's order) when `fields` is not empty.
QString selectList(const TableDef &table, const QList<int> &fields = {});
QString insert(const QString &schema, const TableDef &table);
// Records copied into a table made anew, `rows` at a time, keeping their positions and
// given revisions (parameters, a record after another: position, revision, then the columns
// of insert()).
QString insertCopied(const QString &schema, const TableDef &table, int rows);
// Records added together are staged first in a temporary table of the connection (made by
// createStage, filled a record at a time by insertStaged with the columns of insert()), then
// added with one statement in the staged order, each with a revision above the one before,
// and the stage cleared.
QString createStage(const TableDef &table);
QString insertStaged(const TableDef &table);
QString addStaged(const QString &schema, const TableDef &table);
QString clearStage(const TableDef &table);
QString update(const QString &schema, const TableDef &table, bool checkRevision);
// One field of a record read at a known revision (parameters: value, position, revision).
QString updateField(const QString &schema, const TableDef &table, int field);
QString remove(const QString &schema, const TableDef &table, bool checkRevision);
QString byPosition(const QString &schema, const TableDef &table, const QList<int> &fields = {});
QString revisionOf(const QString &schema, const TableDef &table);
QString count(const QString &schema, const TableDef &table); // from the counters: no scan
// The value of one field in the last record of a key's order (parameters: none).
QString highest(const QString &schema, const TableDef &table, int key, int field);
// The sum of a number field of `linked` over the records of `table` whose `rangeField`
// equals the one parameter, each taking the `linked` record whose `linkedField` equals its
// `linkField` (a record named twice counts twice, one that names none counts nothing).
QString sumLinked(const QString &schema, const TableDef &table, int rangeField, int linkField,
                  const QString &linkedSchema, const TableDef &linked, int linkedField,
                  int sumField);

// A page in key order (key < 0: file order) after or before a bound of key values and a
// position, and when capped not past a second one. Parameters: the candidates' (when given),
// the leading value (when prefixed), the range's, the bound's key values then its position
// (when bounded), the cap's values and position (when capped), then the filter's parameters,
// then the row limit.
// The shape of one read of a walk: its order, where it starts, whether the key's leading
// field is held to one value (a range), whether it stops at a cap, and its filter.
struct Walk
{
    int key = -1;
    Direction direction = Direction::Forward;
    Bound bound = Bound::None;
    // A key led by a computed term (see ledByComputedTerm) is read past a bound in two
    // parts, as the engine seeks a row value only through plain columns: the records that
    // share the bound's leading value and come after it (parameters: the bound's values and
    // position, as a whole bound's), then those whose leading value lies beyond (parameter:
    // the bound's leading value alone).
    enum class Part { Whole, SameLead, PastLead };
    Part part = Part::Whole;
    bool prefixed = false; // parameter: the leading field's key value, first of all
    // Conditions on the key's leading column that hold the walk to a range of it, so that
    // the walk starts and stops there instead of testing the records outside (parameters:
    // after the prefix's).
    QString range;
    bool capped = false;
    QString filter;
    // A query of the positions of the only records the filter may take (parameters: first
    // of all): the walk reads those and sorts them, instead of walking the key's index.
    QString candidates;
    // The fields a page reads (see selectList); empty: every field and memo.
    QList<int> fields;
};
QString page(const QString &schema, const TableDef &table, const Walk &walk);
QString page(const QString &schema, const TableDef &table, int key, Direction direction,
             Bound bound, const QString &filter);
// The key values and position of the record `offset` places on from a bound, in key
// order: where a chunk of a filtered walk ends. Parameters: the leading value (when
// prefixed), the range's, the bound's values and position (when bounded), then the offset.
QString chunkEnd(const QString &schema, const TableDef &table, const Walk &walk);
// The key values and position of every record a walk takes, in its order, without bound or
// limit (parameters as page()'s, up to the filter's).
QString matches(const QString &schema, const TableDef &table, const Walk &walk);
// The same in file order for the records after one position and up to another (parameters
// as matches(), then the two positions).
QString matchesInFileOrder(const QString &schema, const TableDef &table, const Walk &walk);
// Candidates given as one parameter: a JSON array of positions.
QString positionsIn();
QString lastPosition(const QString &schema, const TableDef &table);
// First record whose key values equal the bound values (parameters: the key values).
QString equalKey(const QString &schema, const TableDef &table, int key);
// Another record with the same values in a unique key (parameters: key values, position).
QString duplicateOf(const QString &schema, const TableDef &table, int key);

} // namespace sql
} // namespace sv
