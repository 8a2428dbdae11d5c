#pragma once

#include "filter.h"
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
    explicit Store(const QString &folder);
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

    // Compiles the filter with the bound values of this moment; false with the reason in
    // filterError() (error InvalidFilter) or when the table is not open.
    bool open();
    const QString &filterError() const { return m_filterError; }

    void set() { restart(Cursor::Start::Beginning); }
    void setFrom(); // at the table buffer's key values
    bool reset(RecordPosition position);
    // Called between the chunks a sparse filter is searched in (see Cursor::keepReading).
    void setKeepReading(std::function<bool()> keepReading)
    {
        m_keepReading = std::move(keepReading);
        m_cursor.keepReading = m_keepReading;
    }
    bool next() { return m_table.read(m_cursor, true); }
    bool previous() { return m_table.read(m_cursor, false); }
    Table &table() { return m_table; }

private:
    void restart(Cursor::Start start);
    std::optional<FilterName> lookup(const QString &name) const;

    Table &m_table;
    int m_key;
    QString m_filter;
    const Bindings *m_bindings;
    Cursor m_cursor;
    QString m_filterError;
    std::function<bool()> m_keepReading;
    QVariant m_range;
};

} // namespace sv
