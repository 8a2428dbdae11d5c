#pragma once

#include "filter.h"
#include "serverdatabase.h"
#include "table.h"

#include <QHash>

#include <memory>

namespace sv {

// Names bound for expressions (BIND): a value the program keeps elsewhere, read each time a
// filter is compiled, such as the media name a browser tab is limited to.
class Bindings
{
public:
    void bind(const QString &name, std::function<QVariant()> value, ValueKind kind);
    void bindRecord(const QString &prefix, const Record &record); // every field and memo
    void unbind(const QString &name);
    std::optional<FilterName> lookup(const QString &name) const;

private:
    struct Bound
    {
        std::function<QVariant()> value;
        ValueKind kind;
    };
    QHash<QString, Bound> m_names; // upper-case name
};

// The catalogue of one working folder as one station sees it: the connection and one
// handle per table, plus the song alias.
class Store
{
public:
    // The catalogue in the folder's table files, or on the server when one is given (the
    // folder then keeps only this station's own files).
    explicit Store(const QString &folder, std::unique_ptr<ServerDatabase> server = nullptr);
    ~Store();

    Database &database() { return *m_database; }
    Table &table(TableId id) { return *m_tables.at(int(id)); }
    Table &aliasSongs() { return *m_alias; }
    Table *tableByLabel(QStringView label); // "Songvane", "A_Songs", any case
    Bindings &bindings() { return m_bindings; }

private:
    std::unique_ptr<Database> m_database;
    std::vector<std::unique_ptr<Table>> m_tables;
    std::unique_ptr<Table> m_alias;
    Bindings m_bindings;
};

// A read-only walk of a table in one key order through a filter over its fields and the
// bound names; each read fills the table's buffer.
class View
{
public:
    View(Table &table, int key, const QString &filter, const Bindings *bindings = nullptr);

    // Holds the walk to the records whose leading key field equals `value` (an invalid
    // value: no range). Taken at the next open(); the key's own index serves it.
    void setRange(const QVariant &value) { m_range = value; }
    // Reads only these fields of each record (and the key's, which paging needs), no memos,
    // and leaves each row in row() instead of the table's buffer. Taken at the next open().
    void setFields(const QList<int> &fields) { m_fields = fields; }
    // The fields read, in field order, once open; empty: whole records into the buffer.
    const QList<int> &fields() const { return m_cursor.fields; }
    // The row last read when fields are set: values of fields() in their order, as stored.
    const Cursor::Row &row() const { return m_cursor.row; }
    // The row of the record at a position, read as the view reads (see setFields); leaves
    // the walk, the buffer and the current record alone.
    bool rowAt(RecordPosition position, Cursor::Row &row) const
    {
        return m_table.rowAt(m_cursor, position, row);
    }

    // Compiles the filter with the bound values of this moment; false with the reason in
    // filterError() (error InvalidFilter) or when the table is not open.
    bool open();
    const QString &filterError() const { return m_filterError; }

    void set() { restart(Cursor::Start::Beginning); }
    void setFrom() { setFrom(m_table.buffer()); } // at the table buffer's key values
    void setFrom(const Record &values);
    bool reset(RecordPosition position);
    // Stands the walk on the record at `position` from its row as this view read it
    // (values of fields() in their order): the next read is the record after it, or before
    // it, without reading it again, so that a walk goes on past a record another station
    // has deleted meanwhile.
    void resetPast(RecordPosition position, const QVariantList &stored);
    // Called between the chunks a sparse filter is searched in (see Cursor::keepReading).
    void setKeepReading(std::function<bool()> keepReading)
    {
        m_keepReading = std::move(keepReading);
        m_cursor.keepReading = m_keepReading;
    }
    // How many records the next reads are after (0: no limit): reads ahead no further.
    void setWanted(int rows) { m_cursor.wanted = qMax(0, rows); }
    // Turns the order round: next() goes down the key and the first record is the last one
    // of the key. What the view learns of its ends stays in the key's terms.
    void setDescending(bool descending) { m_descending = descending; }
    bool isDescending() const { return m_descending; }
    // False with error 33 also when a read was paused by keepReading (see paused()).
    bool next() { return read(!m_descending); }
    bool previous() { return read(m_descending); }
    Table &table() { return m_table; }

    // Where the view's records start and end, as far as its reads have found out: a result
    // is searched once, and reading on past either end or in an empty result costs nothing.
    // Forgotten when the table's file changes.
    struct Ends
    {
        QPair<quint64, qint64> stamp;
        bool empty = false;
        RecordPosition first = 0; // 0: not known yet
        RecordPosition last = 0;
        QVariantList firstKey; // key values of first and last
        QVariantList lastKey;
    };
    const Ends &ends() const { return m_ends; }
    // The last read stopped because keepReading said so; reading on continues the search.
    bool paused() const { return m_cursor.paused; }
    // Whether a read may have to look at many records that the filter leaves out.
    bool mayScan() const
    {
        return !m_cursor.filterSql.isEmpty() && m_cursor.candidatesSql.isEmpty() &&
               !m_cursor.known && !m_ends.empty && !m_ownRange;
    }
    // The whole result when it is known: found through an index when the view opened, by
    // scan(), or offered from an earlier view of the same order and filter.
    std::shared_ptr<const KnownResult> known() const { return m_cursor.known; }
    // Taken at open() instead of searching again, when the file has not changed since.
    void offerKnown(std::shared_ptr<const KnownResult> known) { m_offered = std::move(known); }
    // Every record the same filter takes, as another order without a range found them: at
    // open() the view sorts those instead of searching again, when the file has not changed.
    void offerMatches(std::shared_ptr<const KnownResult> matches)
    {
        m_offeredMatches = std::move(matches);
    }
    // Every record the filter takes, by position in file order (the order records were added
    // in), read through an index when a condition that every match meets has one; for a
    // caller that draws among them. The view's range is not applied. Call after open();
    // false with the error set on failure.
    [[nodiscard]] bool matchingPositions(std::vector<RecordPosition> &positions);
    // Whether what the view finds is every record its filter takes (no range, no optional key).
    bool takesEveryMatch() const;

    // Searches the whole file for the view's records in file order, the cheapest way through
    // all of them, while keepReading says so; called again, it goes on where it stopped.
    // Once the whole file is searched the result is known and reads turn pages within it.
    enum class Scan { Going, Known, TooMany, Failed };
    Scan scan(const std::function<bool()> &keepReading);
    // The matches a scan under way has found so far, in key order: at most `count` from the
    // start of the order.
    QList<RecordPosition> foundSoFar(int count) const;
    qsizetype foundSoFarCount() const
    {
        return m_scanning ? qsizetype(m_scanning->entries.size()) : 0;
    }
    void setEnds(const Ends &ends); // taken when still valid
    // Whether reads go through an index-served set of candidates rather than the key order.
    bool readsCandidates() const { return !m_cursor.candidatesSql.isEmpty() || m_cursor.known; }
    // A result is known in full (found through an index or by a scan) up to this many
    // records; a larger one is walked in key order.
    static constexpr int MaxCandidates = 20000;
    // Records a scan looks at in one statement: few enough that a slice is not overrun.
    static constexpr int ScanChunk = 500;

private:
    void restart(Cursor::Start start);
    void standAt(Cursor::Start start, RecordPosition position, QVariantList keyValues);
    QVariantList keyValuesOf(const QVariantList &stored) const; // from a row's stored fields
    std::optional<FilterName> lookup(const QString &name) const;
    bool read(bool forward);
    bool endsValid();
    void chooseCandidates();
    bool tooManyToKeep() const;
    void chooseFields();
    bool collectCandidates(const CompiledFilter::Candidates &candidates, QList<qint64> &positions);
    void takeKnown(std::shared_ptr<const KnownResult> known);
    void findAmong(const QList<qint64> &positions, bool whole);

    Table &m_table;
    int m_key;
    QString m_filter;
    const Bindings *m_bindings;
    Cursor m_cursor;
    QString m_filterError;
    std::function<bool()> m_keepReading;
    QVariant m_range;
    QList<int> m_fields;
    Ends m_ends;
    bool m_ownRange = false; // the filter holds the walk to a range of its own key
    bool m_descending = false;
    QList<CompiledFilter::Candidates> m_candidates;
    std::shared_ptr<const KnownResult> m_offered;
    std::shared_ptr<const KnownResult> m_offeredMatches;
    QString m_filterSignature;               // the compiled filter and its values
    std::shared_ptr<KnownResult> m_scanning; // a scan under way
    RecordPosition m_scannedUpTo = 0;
    RecordPosition m_scanEnd = 0;
    bool m_atBeginning = false;    // no record read since set()
    RecordPosition m_lastRead = 0; // the record the walk stands on after its last read
};

} // namespace sv
