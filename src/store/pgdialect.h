#pragma once

#include "filter.h"
#include "sqldialect.h"

#include <QVariantList>

// The SQL text the store runs on a PostgreSQL server, made from the same table definitions
// as the file dialect and kept beside it: no other file writes SQL for the server.
//
// Layout in the server's database: one table per stored table, named after its label, with
// the file layout's columns (fields, memos, "k_" key-text columns, "sv_pos", "sv_rev"). Key
// texts are the same folded forms the program computes for the files and compare byte by
// byte (collation "C"), so both engines order every key alike whatever the database's
// locale. Positions come from an identity column and are never given twice; revisions come
// from one sequence for the whole catalogue, so a revision never repeats in any table. The
// table "sv_structure" holds each table's structure version, and "sv_changes", kept by a
// trigger, the revisions drawn when records were deleted from each table.
namespace sv::pgsql {

inline constexpr char StructureTable[] = "sv_structure";
inline constexpr char RevisionSequence[] = "sv_revisions";
inline constexpr char ChangesTable[] = "sv_changes";

QString tableName(const TableDef &table);
// What a key compares a field by: its key text, the number itself, or for a text field
// without key text (an order made on demand) its upper case in plain ASCII, as the file
// engine's upper() has it.
QString keyTerm(const TableDef &table, int field);
QString optionalCondition(const TableDef &table, int key);

// The statements that make a table empty with its keys and note its structure version;
// any table of that name is dropped first. Run in one transaction.
QStringList createTable(const TableDef &table);
// The same in two parts, for a table filled before its keys are made (each key's index is
// then built once, sorted, instead of growing record by record): the table without its
// keys, then the keys.
QStringList createTableWithoutKeys(const TableDef &table);
QStringList createKeys(const TableDef &table);
// The version noted for a table (parameter: its label); no row when it was never made.
QString structureVersion();
// Whether a table (parameter: its quoted name) exists in the database.
QString tableExists();

// Filling a table made anew with records copied from elsewhere, in its transaction: COPY
// takes the records in text form with their positions (copyColumns() in that order); each
// is given a revision from the catalogue's sequence as it arrives, while revisionDefault()
// holds and until noRevisionDefault(). continuePositions() has the positions the server
// gives afterwards continue above the highest copied.
QStringList copyColumns(const TableDef &table); // position, data columns, key texts
QString copyIn(const TableDef &table);
QString revisionDefault(const TableDef &table);
QString noRevisionDefault(const TableDef &table);
QString continuePositions(const TableDef &table);

// Bringing a table of an older structure version to the current one, in one transaction:
// the old table is set aside under another name without its indexes, the key texts it
// lacks are added to it (the program computes them), and the statements of createTable()
// make the new one, into which copyAside() copies every record, position and revision
// kept; the positions given next continue above the highest.
QString asideName(const TableDef &table); // quoted
QString setAside(const TableDef &table);
// The indexes of the table set aside (no parameters): each is dropped with dropIndex().
QString indexesAside(const TableDef &table);
QString dropIndex(const QString &index);
// The columns of the table set aside (no parameters).
QString columnsAside(const TableDef &table);
QString addKeyTextAside(const TableDef &table, const QString &field);
// Each record's position and the field's text (no parameters); one key text is set by
// setKeyTextAside() (parameters: the key text, the position).
QString fieldAside(const TableDef &table, const QString &field);
QString setKeyTextAside(const TableDef &table, const QString &field);
QString copyAside(const TableDef &table, const QStringList &columns);
QString dropAside(const TableDef &table);

// Parameters, as in the file dialect: the data columns then the key texts, (for update and
// remove) the position, then the revision read when watched.
QString selectList(const TableDef &table);
// Returns no row, and leaves the transaction going, when the record would duplicate a unique
// key.
QString insert(const TableDef &table);
QString update(const TableDef &table, bool checkRevision);
QString remove(const TableDef &table, bool checkRevision);
// One field of a record read at a known revision (parameters: value, position, revision).
QString updateField(const TableDef &table, int field);
// The value of one field in the last record of a key's order (no parameters).
QString highest(const TableDef &table, int key, int field);
QString byPosition(const TableDef &table);
QString revisionOf(const TableDef &table);
QString count(const TableDef &table);
// First record whose key values equal the parameters.
QString equalKey(const TableDef &table, int key);
// Another record with the same key values (parameters: the values, then the position).
QString duplicateOf(const TableDef &table, int key);

// A page in key order (key < 0: position order) from a bound of key values and a position
// (parameters: the values, then the position, when bounded), then the row limit.
QString page(const TableDef &table, int key, sql::Direction direction, sql::Bound bound);

// For a filter over `table`: the value of `linkedField` in the record that `link` finds, as
// the file dialect's linkedField().
QString linkedField(const TableDef &table, const LinkDef &link, int linkedField);

// The sum of a number field of `linked` over the records of `table` whose `rangeField`
// equals the one parameter, as the file dialect's sumLinked().
QString sumLinked(const TableDef &table, int rangeField, int linkField, const TableDef &linked,
                  int linkedField, int sumField);
// The size of a table with its indexes on the server (parameter: its label).
QString tableBytes();
// Every index of a table made anew (BUILD), and its space given back to the system with its
// statistics brought up to date (PACK; outside any transaction).
QString rebuildIndexes(const TableDef &table);
QString pack(const TableDef &table);

// A number that changes with every write to the table, by any station: the highest revision
// in it, or the revision drawn when records were last deleted from it, whichever is later
// (parameter: the table's label).
QString changeStamp(const TableDef &table);

// A walk of the table's records as the file dialect's page(): the same shape, the same
// parameters in the same order, written with '?' for each (see numbered()). A key led by a
// computed term needs no parts here: the server seeks a row value through an expression
// index too.
QString page(const TableDef &table, const sql::Walk &walk);
// The key values and position of every record a walk takes, in its order (parameters as
// page()'s, up to the filter's).
QString matches(const TableDef &table, const sql::Walk &walk);
// The same in position order for the records after one position and up to another
// (parameters as matches(), then the two positions).
QString matchesInFileOrder(const TableDef &table, const sql::Walk &walk);
// The rows of the records at the positions given as one array parameter ('{1,2,3}'), with
// the walk's fields (see sql::selectList), in no particular order.
QString rowsAt(const TableDef &table, const QList<int> &fields);
// Candidates given as one parameter: an array of positions ('{1,2,3}').
QString positionsIn();
QString lastPosition(const TableDef &table);
// An array parameter of positions, as rowsAt() and positionsIn() take it.
QString positionArray(const QList<qint64> &positions);

// Locks the tables against other writers for a transaction (readers go on).
QString lockTables(const QList<const TableDef *> &tables);

// ---- Filters (see filter.h, FilterDialect::Server)

// The functions compiled filters and the full-text indexes call, made or replaced; each
// statement runs alone, once when a catalogue is set up, and again at any time without harm.
// The case mappings are generated from the program's own (QString's upper and lower case,
// foldText), so both engines map every character alike whatever the server's locale and
// Unicode version:
//   sv_upper(text), sv_lower(text), sv_fold(text)  text -> text
//   sv_number(text) -> numeric   the number a text starts with, 0 for none; scale 0 exactly
//                                where SQLite's CAST to NUMERIC gives an integer
//   sv_text(bigint | numeric | double precision) -> text   as SQLite's CAST to TEXT writes it
//   sv_substr(text, double precision, double precision) -> text   SQLite's substr
// The list also installs the pg_trgm extension where the login may; without it searches
// still work, unindexed.
QStringList createFunctions();

// The compiler's '?' marks as the server's $first, $first+1, ... each typed after its
// parameter (qint64 bigint, double float8, else text), so the server never guesses a type.
// Marks inside quoted text or quoted names are left alone.
QString numbered(const QString &sql, const QVariantList &parameters, int first = 1);

// What a filter's name stands for when it is a field or memo of `table` on the server,
// called with the name without its table prefix: the column with the search fields that make
// key ranges, begins-with and contains index-served there. False, leaving `column` alone, when
// the table has no such field or memo.
bool describeColumn(const TableDef &table, QStringView name, FilterName &column);

// The trigram indexes on the folded text of every column in sql::fullTextColumns, one
// statement each (a step of its own when a copy builds them): it makes the index when it is
// missing and pg_trgm and sv_fold are there, and does nothing otherwise, so it never fails a
// catalogue. createTable() and createKeys() end with them; a table made before can be given
// its indexes by running them.
QStringList createFullText(const TableDef &table);
QString fullTextIndexName(const TableDef &table, const QString &column);

} // namespace sv::pgsql
