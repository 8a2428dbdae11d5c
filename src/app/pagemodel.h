#pragma once

#include "store/store.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

namespace sv {

// One column of a browser's list: its header, how a record is shown in it and the fields
// that needs (empty: every field). The record a column is given holds those fields and
// the order's key fields; the others are blank, and memos are never read for a list.
struct BrowseColumn
{
    QString header;
    std::function<QString(const Record &)> text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QList<int> fields;
    Qt::Alignment headerAlignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// The rows a browser shows: exactly one page, read through a view of the table in the
// current key order. It never holds more than a page, whatever the table's size. A page
// reads only the fields its columns show and those its order pages by, and keeps them as
// stored until a row is shown. Reading leaves the table's shared buffer and current record
// alone: a form that needs the whole record reads it by position.
class PageModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    PageModel(Table &table, const Bindings *bindings, QObject *parent = nullptr);

    void setColumns(const QList<BrowseColumn> &columns);
    void setColumnHeader(int column, const QString &header); // the rows stay
    // What dragging a row offers to windows that accept it (the song's ID), under
    // `mimeType` and as plain text: made from `fields`, which the page reads besides.
    void setDragValue(const QString &mimeType, const QList<int> &fields,
                      std::function<QString(const Record &)> value);
    // The fields a page reads (what the columns show, the drag value, the order's key).
    QList<int> fields() const { return m_view ? m_view->fields() : QList<int>(); }
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    // A new order and filter; false with the reason when the filter cannot be used.
    // `descending` lists the key's order from its end.
    bool setView(int key, const QString &filter, const QVariant &range = QVariant(),
                 bool descending = false);
    QString viewError() const { return m_viewError; }
    bool hasView() const { return m_view != nullptr; }
    int key() const { return m_key; }
    bool isDescending() const { return m_descending; }
    void setPageSize(int rows);
    int pageSize() const { return m_pageSize; }

    // Each returns false when a read failed for another reason than the end of the view
    // (the error is left for the caller to report).
    bool fillFromTop();
    bool fillFromBottom();
    bool fillFrom(RecordPosition position); // the page that shows this record, on top
    // The page that shows the first record at or after these key values; `found` is that
    // record (0 when the view ends before them and the last page is shown).
    bool fillFromKeyValues(const Record &values, RecordPosition &found);
    RecordPosition located() const { return m_located; } // the last `found`
    // The same with the leading key field at `value` and the other key fields blank: the
    // locators and the scroll thumb.
    bool fillFromLeadingValue(const QVariant &value, RecordPosition &found);
    int leadingField() const;
    bool pageDown();
    bool pageUp();
    // One row past either end of the page; false at the end of the view.
    bool stepDown(bool &moved);
    bool stepUp(bool &moved);

    RecordPosition positionAt(int row) const;
    int rowOf(RecordPosition position) const; // -1 when not on the page
    QVariant firstKeyValueAt(int row) const;
    QString textAt(int row, int column) const;
    bool isEmpty() const { return m_rows.isEmpty(); }

    // The first and last values of the order's first key field, for the scroll thumb.
    bool keyRange(QVariant &lowest, QVariant &highest);

    // When on, a first page whose filter must be tested record by record is searched in
    // slices of at most `budgetMs` between the program's other work: the page shows the
    // rows as they are found, and searchFinished comes when it is full, the view has ended
    // or the search was cancelled. Any other read of the model cancels it first.
    void setSliced(bool on, int budgetMs = DefaultSliceMs);
    static constexpr int DefaultSliceMs = 8;
    bool isSearching() const { return m_searching; }
    // The records a search under way has found so far (more than the page may show).
    int foundSoFar() const;
    void cancelSearch();

Q_SIGNALS:
    void searchProgress(int found);
    void searchFinished(int found);

public:
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row
    {
        RecordPosition position;
        QList<int> fields;         // what `values` hold, as the view read them
        QVariantList values;       // as stored: texts as UTF-8 bytes
        mutable QStringList cells; // made when the row is first shown
    };

    Row rowFromView() const;
    std::unique_ptr<View> makeView(int key, const QString &filter, const QVariant &range) const;
    QVariant valueAt(const Row &row, int field) const; // decoded
    Record recordOf(const Row &row) const;
    const QStringList &cellsOf(const Row &row) const;
    void startSlices();
    void continueSearch();
    // A search that must test every record finds the whole result first, in slices; a read
    // that needs it meanwhile waits for it and is done once it is known.
    bool untilKnown(std::function<bool()> read);
    void scanSlice();
    void readAfterScan();
    void showFoundSoFar();
    void rememberEnds();
    bool readPage(const std::function<bool()> &start, bool forward, int wanted, QList<Row> &rows);
    bool endedNormally() const;
    bool stepPast(const Row &row, bool forward);
    void replaceRows(QList<Row> rows);

    Table &m_table;
    const Bindings *m_bindings;
    std::unique_ptr<View> m_view;
    QString m_viewName; // order, range and filter
    QHash<QString, View::Ends> m_knownEnds;
    QHash<QString, std::shared_ptr<const KnownResult>> m_knownResults;  // by view name
    QHash<QString, std::shared_ptr<const KnownResult>> m_filterMatches; // by filter
    QString m_filter;
    qsizetype m_knownEntries = 0;
    bool m_scanning = false;    // the search under way is a scan (View::scan)
    bool m_scanTooMany = false; // the view's result is too large to know in full
    std::function<bool()> m_afterScan;
    bool m_readAfterScan = false; // the scan has ended: the next slice does the read
    QTimer m_slice;
    QElapsedTimer m_sliceClock;
    int m_sliceMs = DefaultSliceMs;
    bool m_sliced = false;
    bool m_slicing = false;    // the read under way may stop at the end of its slice
    bool m_sliceBegun = false; // a first scan slice ended: the read goes on in its time
    bool m_searching = false;
    bool m_readingThumb = false;
    QList<BrowseColumn> m_columns;
    QList<Row> m_rows;
    int m_key = 0;
    bool m_descending = false;
    QVariant m_range;
    int m_pageSize = 10;
    QString m_viewError;
    QList<int> m_fields; // asked of every view: empty for every field
    QString m_dragType;
    QList<int> m_dragFields;
    std::function<QString(const Record &)> m_dragValue;
    RecordPosition m_located = 0;
};

} // namespace sv
