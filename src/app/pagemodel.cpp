#include "pagemodel.h"

#include "store/database.h"
#include "store/errors.h"

#include <QMimeData>
#include <QScopeGuard>
#include <QScopedValueRollback>

#include <algorithm>

namespace sv {

PageModel::PageModel(Table &table, const Bindings *bindings, QObject *parent)
    : QAbstractTableModel(parent), m_table(table), m_bindings(bindings)
{
    m_slice.setSingleShot(true);
    connect(&m_slice, &QTimer::timeout, this, &PageModel::continueSearch);
}

void PageModel::setSliced(bool on, int budgetMs)
{
    m_sliced = on;
    m_sliceMs = qMax(0, budgetMs);
}

void PageModel::cancelSearch()
{
    if (!m_searching)
        return;
    m_slice.stop();
    m_searching = false;
    m_scanning = false;
    m_readAfterScan = false;
    m_afterScan = nullptr;
    Q_EMIT searchFinished(int(m_rows.size()));
}

int PageModel::foundSoFar() const
{
    return m_scanning && m_view ? int(m_view->foundSoFarCount()) : int(m_rows.size());
}

// What a view found out is kept for the next view of the same order and filter while the
// table is unchanged: a tab shown again is not searched again. Whole results are kept up to
// a bound, so memory does not grow with the table or with the searches made.
void PageModel::rememberEnds()
{
    if (m_knownEnds.size() > 64)
        m_knownEnds.clear();
    m_knownEnds.insert(m_viewName, m_view->ends());
    std::shared_ptr<const KnownResult> known = m_view->known();
    if (!known || m_knownResults.value(m_viewName) == known)
        return;
    constexpr qsizetype MaxKeptEntries = 2 * View::MaxCandidates;
    if (m_knownEntries + qsizetype(known->entries.size()) > MaxKeptEntries) {
        m_knownResults.clear();
        m_filterMatches.clear();
        m_knownEntries = 0;
    }
    m_knownEntries += qsizetype(known->entries.size());
    if (m_view->takesEveryMatch())
        m_filterMatches.insert(m_filter, known); // another order sorts these again
    m_knownResults.insert(m_viewName, std::move(known));
}

bool PageModel::untilKnown(std::function<bool()> read)
{
    if (!m_sliced || !m_view || m_readingThumb || m_scanTooMany || !m_view->mayScan())
        return false;
    if (!m_scanning) {
        // The first slice now: a small table is searched whole within it, and the read
        // goes on at once.
        m_slice.stop();
        m_sliceClock.start();
        const View::Scan state =
            m_view->scan([this] { return m_sliceClock.elapsed() < m_sliceMs; });
        if (state != View::Scan::Going) {
            m_scanTooMany = state == View::Scan::TooMany;
            m_sliceBegun = true;
            rememberEnds();
            return false;
        }
        m_scanning = true;
        m_searching = true;
        showFoundSoFar();
        Q_EMIT searchProgress(foundSoFar());
        m_slice.start(0);
    }
    m_afterScan = std::move(read);
    return true;
}

void PageModel::showFoundSoFar()
{
    const QList<RecordPosition> positions = m_view->foundSoFar(m_pageSize);
    bool same = positions.size() == m_rows.size();
    for (qsizetype i = 0; same && i < positions.size(); ++i)
        same = positions.at(i) == m_rows.at(i).position;
    if (same)
        return;
    QList<Row> rows;
    for (const RecordPosition position : positions) {
        Cursor::Row row;
        if (m_view->rowAt(position, row))
            rows.append(Row{position, m_view->fields(), std::move(row.fields), {}});
    }
    replaceRows(rows);
}

// One slice of a scan: the rows found so far show in order while it goes on; once the
// result is known the read that waited for it is done.
void PageModel::scanSlice()
{
    m_sliceClock.start();
    const View::Scan state = m_view->scan([this] { return m_sliceClock.elapsed() < m_sliceMs; });
    if (state == View::Scan::Going) {
        showFoundSoFar();
        Q_EMIT searchProgress(foundSoFar());
        m_slice.start(0);
        return;
    }
    m_scanning = false;
    m_scanTooMany = state == View::Scan::TooMany;
    rememberEnds();
    if (state == View::Scan::Failed) {
        m_searching = false;
        m_afterScan = nullptr;
        Q_EMIT searchFinished(0);
        return;
    }
    // The read that waited comes in a slice of its own.
    m_readAfterScan = true;
    m_slice.start(0);
}

void PageModel::readAfterScan()
{
    m_readAfterScan = false;
    m_searching = false;
    const std::function<bool()> read = std::exchange(m_afterScan, nullptr);
    const bool ok = read ? read() : fillFromTop();
    if (!m_searching)
        Q_EMIT searchFinished(ok ? int(m_rows.size()) : 0);
}

void PageModel::startSlices()
{
    m_searching = true;
    Q_EMIT searchProgress(int(m_rows.size()));
    m_slice.start(0);
}

// One slice of the search for the first page: reads on from where the last slice stopped.
void PageModel::continueSearch()
{
    if (m_scanning) {
        scanSlice();
        return;
    }
    if (m_readAfterScan) {
        readAfterScan();
        return;
    }
    QList<Row> found;
    m_sliceClock.start();
    m_view->setKeepReading([this] { return m_sliceClock.elapsed() < m_sliceMs; });
    while (m_rows.size() + found.size() < m_pageSize && m_view->next())
        found.append(rowFromView());
    m_view->setKeepReading({});
    rememberEnds();
    if (!found.isEmpty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + found.size()) - 1);
        m_rows += found;
        endInsertRows();
    }
    if (m_view->paused() && m_rows.size() < m_pageSize) {
        Q_EMIT searchProgress(int(m_rows.size()));
        m_slice.start(0);
        return;
    }
    m_searching = false;
    Q_EMIT searchFinished(int(m_rows.size()));
}

void PageModel::setDragValue(const QString &mimeType, const QList<int> &fields,
                             std::function<QString(const Record &)> value)
{
    m_dragType = mimeType;
    m_dragFields = fields;
    m_dragValue = std::move(value);
    if (!m_fields.isEmpty())
        m_fields += fields;
}

Qt::ItemFlags PageModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (m_dragValue && index.isValid())
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

QStringList PageModel::mimeTypes() const
{
    return m_dragType.isEmpty() ? QStringList()
                                : QStringList{m_dragType, QStringLiteral("text/plain")};
}

QMimeData *PageModel::mimeData(const QModelIndexList &indexes) const
{
    if (!m_dragValue || indexes.isEmpty() || indexes.first().row() >= m_rows.size())
        return nullptr;
    const QString value = m_dragValue(recordOf(m_rows.at(indexes.first().row())));
    auto *data = new QMimeData;
    data->setData(m_dragType, value.toUtf8());
    data->setText(value);
    return data;
}

void PageModel::setColumns(const QList<BrowseColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    m_rows.clear();
    m_fields.clear();
    for (const BrowseColumn &column : columns) {
        if (column.fields.isEmpty()) {
            // A column that does not say what it shows may show any field.
            m_fields.clear();
            for (int field = 0; field < m_table.definition().fields.size(); ++field)
                m_fields.append(field);
            break;
        }
        m_fields += column.fields;
    }
    if (!m_fields.isEmpty())
        m_fields += m_dragFields;
    endResetModel();
}

void PageModel::setColumnHeader(int column, const QString &header)
{
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].header = header;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

std::unique_ptr<View> PageModel::makeView(int key, const QString &filter,
                                          const QVariant &range) const
{
    auto view = std::make_unique<View>(m_table, key, filter, m_bindings);
    view->setRange(range);
    view->setDescending(m_descending);
    // Without columns the page still reads no more than the order's key (or the first
    // field in file order): never a whole record.
    view->setFields(!m_fields.isEmpty() ? m_fields
                    : key >= 0          ? m_table.definition().keys.at(key).components
                                        : QList<int>{0});
    return view;
}

bool PageModel::setView(int key, const QString &filter, const QVariant &range, bool descending)
{
    cancelSearch();
    m_key = key;
    m_descending = descending;
    m_view = makeView(key, filter, range);
    m_range = range;
    m_viewError.clear();
    m_viewName = QString::number(key) + QChar(0x1f) + range.toString() + QChar(0x1f) + filter;
    m_filter = filter;
    m_scanTooMany = false;
    if (const auto known = m_knownResults.constFind(m_viewName); known != m_knownResults.constEnd())
        m_view->offerKnown(*known);
    else if (const auto all = m_filterMatches.constFind(filter); all != m_filterMatches.constEnd())
        m_view->offerMatches(*all);
    if (m_view->open()) {
        // What an earlier view of the same order and filter found out still holds while the
        // table is unchanged: a tab shown again is not searched again.
        if (!m_view->known()) {
            if (const auto ends = m_knownEnds.constFind(m_viewName); ends != m_knownEnds.constEnd())
                m_view->setEnds(*ends);
        }
        rememberEnds();
    } else {
        m_viewError = m_view->filterError();
        m_view = makeView(key, QString(), range);
        m_view->open();
        return false;
    }
    return true;
}

void PageModel::setPageSize(int rows)
{
    m_pageSize = qMax(1, rows);
}

PageModel::Row PageModel::rowFromView() const
{
    const Cursor::Row &read = m_view->row();
    return Row{read.position, m_view->fields(), read.fields, {}};
}

QVariant PageModel::valueAt(const Row &row, int field) const
{
    const qsizetype slot = row.fields.indexOf(field);
    if (slot < 0)
        return {};
    const QVariant &stored = row.values.at(slot);
    return stored.typeId() == QMetaType::QByteArray
               ? QVariant(QString::fromUtf8(stored.toByteArray()))
               : stored;
}

// A row's texts are made from its stored values when it is first shown, through a record
// that holds the fields read and blanks for the others.
Record PageModel::recordOf(const Row &row) const
{
    Record record(m_table.definition());
    for (const int field : row.fields)
        record.setValue(field, valueAt(row, field));
    return record;
}

const QStringList &PageModel::cellsOf(const Row &row) const
{
    if (row.cells.isEmpty() && !m_columns.isEmpty()) {
        const Record record = recordOf(row);
        for (const BrowseColumn &column : m_columns)
            row.cells.append(column.text(record));
    }
    return row.cells;
}

bool PageModel::endedNormally() const
{
    return errorCode() == err::RecordNotAvailable || errorCode() == err::None;
}

bool PageModel::readPage(const std::function<bool()> &start, bool forward, int wanted,
                         QList<Row> &rows)
{
    if (!m_view)
        return false;
    if (!m_readingThumb)
        cancelSearch();
    const bool sliced = std::exchange(m_slicing, false);
    const bool begun = std::exchange(m_sliceBegun, false);
    if (sliced) {
        if (!begun)
            m_sliceClock.start();
        m_view->setKeepReading([this] { return m_sliceClock.elapsed() < m_sliceMs; });
    }
    const auto remember = qScopeGuard([this, sliced] {
        if (sliced)
            m_view->setKeepReading({});
        rememberEnds();
    });
    // A page reads no more rows than it shows, and one spare for a start that steps off
    // the record it starts from, so that either costs one query.
    m_view->setWanted(wanted + 1);
    // The change check, the start and the page read the files as they stand at one moment.
    const ReadTogether together(m_table.database());
    if (!start())
        return endedNormally() || errorCode() == err::RecordNotFound;
    while (rows.size() < wanted) {
        if (!(forward ? m_view->next() : m_view->previous()))
            return endedNormally();
        rows.append(rowFromView());
    }
    return true;
}

// Stands the view on a row of the page so that the next read is the row after it (or
// before it): from the values the page holds, so that the record is not read again and
// paging goes on past it when another station has deleted it.
bool PageModel::stepPast(const Row &row, bool forward)
{
    if (!row.fields.isEmpty() && row.fields == m_view->fields()) {
        m_view->resetPast(row.position, row.values);
        return true;
    }
    return m_view->reset(row.position) && (forward ? m_view->next() : m_view->previous());
}

void PageModel::replaceRows(QList<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

bool PageModel::fillFromTop()
{
    if (untilKnown(nullptr))
        return true;
    QList<Row> rows;
    m_slicing = m_sliced && m_view && m_view->mayScan();
    const bool ok = readPage(
        [this] {
            m_view->set();
            return true;
        },
        true, m_pageSize, rows);
    replaceRows(rows);
    if (ok && m_view->paused())
        startSlices();
    return ok;
}

bool PageModel::fillFromBottom()
{
    if (untilKnown([this] { return fillFromBottom(); }))
        return true;
    QList<Row> rows;
    const bool ok = readPage(
        [this] {
            m_view->set();
            return true;
        },
        false, m_pageSize, rows);
    std::reverse(rows.begin(), rows.end());
    replaceRows(rows);
    return ok;
}

bool PageModel::fillFrom(RecordPosition position)
{
    if (untilKnown([this, position] { return fillFrom(position); }))
        return true;
    QList<Row> rows;
    bool ok =
        readPage([this, position] { return m_view->reset(position); }, true, m_pageSize, rows);
    if (ok && rows.isEmpty())
        return fillFromTop();
    if (ok && rows.size() < m_pageSize) {
        // Near the end of the view: fill the page with the records before it.
        QList<Row> before;
        const Row first = rows.first();
        ok = readPage([this, &first] { return stepPast(first, false); }, false,
                      m_pageSize - int(rows.size()), before);
        std::reverse(before.begin(), before.end());
        rows = before + rows;
    }
    replaceRows(rows);
    return ok;
}

bool PageModel::fillFromKeyValues(const Record &values, RecordPosition &found)
{
    found = m_located = 0;
    if (untilKnown([this, values] {
            RecordPosition located = 0;
            return fillFromKeyValues(values, located);
        }))
        return true;
    QList<Row> rows;
    bool ok = readPage(
        [this, &values] {
            m_view->setFrom(values);
            return true;
        },
        true, 1, rows);
    if (!ok)
        return false;
    if (rows.isEmpty())
        return fillFromBottom();
    found = m_located = rows.first().position;
    return fillFrom(found);
}

// A ranged order holds its first key field to the range: the field the user sees it
// ordered by, and locates and scrolls by, is the next one.
int PageModel::leadingField() const
{
    const QList<int> &components = m_table.definition().keys.at(m_key).components;
    return m_range.isValid() && components.size() > 1 ? components.at(1) : components.first();
}

bool PageModel::fillFromLeadingValue(const QVariant &value, RecordPosition &found)
{
    Record values(m_table.definition());
    if (m_range.isValid())
        values.setValue(m_table.definition().keys.at(m_key).components.first(), m_range);
    // Going down a text order, the records that begin with the text come before the text
    // itself would.
    const bool text = value.typeId() == QMetaType::QString;
    values.setValue(leadingField(),
                    m_descending && text ? value.toString() + QChar(0xFFFF) : value);
    return fillFromKeyValues(values, found);
}

bool PageModel::pageDown()
{
    if (m_rows.isEmpty() || untilKnown([this] { return pageDown(); }))
        return m_rows.isEmpty() ? fillFromTop() : true;
    const Row last = m_rows.last();
    QList<Row> rows;
    const bool ok =
        readPage([this, &last] { return stepPast(last, true); }, true, m_pageSize, rows);
    if (!ok)
        return false;
    if (rows.size() < m_pageSize)
        return rows.isEmpty() ? true : fillFromBottom();
    replaceRows(rows);
    return true;
}

bool PageModel::pageUp()
{
    if (m_rows.isEmpty() || untilKnown([this] { return pageUp(); }))
        return m_rows.isEmpty() ? fillFromTop() : true;
    const Row first = m_rows.first();
    QList<Row> rows;
    const bool ok =
        readPage([this, &first] { return stepPast(first, false); }, false, m_pageSize, rows);
    if (!ok)
        return false;
    if (rows.size() < m_pageSize)
        return rows.isEmpty() ? true : fillFromTop();
    std::reverse(rows.begin(), rows.end());
    replaceRows(rows);
    return true;
}

bool PageModel::stepDown(bool &moved)
{
    moved = false;
    if (m_rows.isEmpty() || untilKnown([this] {
            bool step = false;
            return stepDown(step);
        }))
        return true;
    const Row last = m_rows.last();
    QList<Row> rows;
    if (!readPage([this, &last] { return stepPast(last, true); }, true, 1, rows))
        return false;
    if (rows.isEmpty())
        return true;
    QList<Row> page = m_rows;
    page.append(rows.first());
    if (page.size() > m_pageSize)
        page.removeFirst();
    replaceRows(page);
    moved = true;
    return true;
}

bool PageModel::stepUp(bool &moved)
{
    moved = false;
    if (m_rows.isEmpty() || untilKnown([this] {
            bool step = false;
            return stepUp(step);
        }))
        return true;
    const Row first = m_rows.first();
    QList<Row> rows;
    if (!readPage([this, &first] { return stepPast(first, false); }, false, 1, rows))
        return false;
    if (rows.isEmpty())
        return true;
    QList<Row> page = m_rows;
    page.prepend(rows.first());
    if (page.size() > m_pageSize)
        page.removeLast();
    replaceRows(page);
    moved = true;
    return true;
}

// The thumb spans the order's values within its range, whatever the search filter lets
// through: a sparse filter would otherwise be searched end to end just to draw the thumb.
bool PageModel::keyRange(QVariant &lowest, QVariant &highest)
{
    std::unique_ptr<View> unfiltered = makeView(m_key, QString(), m_range);
    unfiltered->open();
    // The search of the page may go on meanwhile: its view is kept aside, not stopped.
    const QScopedValueRollback thumb(m_readingThumb, true);
    std::unique_ptr<View> searched = std::exchange(m_view, std::move(unfiltered));
    const QString searchedName = std::exchange(m_viewName, QString::number(m_key) + QChar(0x1f) +
                                                               m_range.toString() + QChar(0x1f));
    const auto fromEnd = [this](bool forward, QList<Row> &rows) {
        return readPage(
            [this] {
                m_view->set();
                return true;
            },
            forward, 1, rows);
    };
    QList<Row> first;
    QList<Row> last;
    const bool ok = fromEnd(true, first) && fromEnd(false, last);
    m_view = std::move(searched);
    m_viewName = searchedName;
    if (!ok || first.isEmpty() || last.isEmpty())
        return false;
    if (m_descending)
        std::swap(first, last);
    lowest = valueAt(first.first(), leadingField());
    highest = valueAt(last.first(), leadingField());
    return true;
}

RecordPosition PageModel::positionAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).position : 0;
}

int PageModel::rowOf(RecordPosition position) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).position == position)
            return row;
    }
    return -1;
}

QVariant PageModel::firstKeyValueAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? valueAt(m_rows.at(row), leadingField()) : QVariant();
}

QString PageModel::textAt(int row, int column) const
{
    return row >= 0 && row < m_rows.size() ? cellsOf(m_rows.at(row)).value(column) : QString();
}

int PageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant PageModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole)
        return cellsOf(m_rows.at(index.row())).value(index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns.at(index.column()).alignment);
    return {};
}

QVariant PageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_columns.size())
        return m_columns.at(section).header;
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole &&
        section < m_columns.size())
        return QVariant::fromValue(m_columns.at(section).headerAlignment);
    return {};
}

} // namespace sv
