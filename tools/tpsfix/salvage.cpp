#include "salvage.h"

#include "pagefile.h"

#include <QSet>
#include <QStringDecoder>

#include <bit>
#include <functional>

using namespace Qt::StringLiterals;

namespace sv::tpsfix {

namespace {

constexpr quint32 InteriorIndexPage = 0x02;
constexpr quint32 InteriorTablePage = 0x05;
constexpr quint32 LeafIndexPage = 0x0A;
constexpr quint32 LeafTablePage = 0x0D;
constexpr int LeafHeaderSize = 8;
constexpr int InteriorHeaderSize = 12;
constexpr quint64 LongestValue = 1'000'000'000; // the engine's own limit on a record's length
constexpr quint32 SmallestUsableSize = 480;

const QString UnreadableRecord = u"unreadable record"_s;
const QString BrokenOverflow = u"broken overflow chain"_s;
const QString DoesNotFit = u"does not fit the table"_s;

struct Geometry
{
    quint32 pageSize;
    quint32 usableSize;
    TextEncoding encoding;
    bool operator==(const Geometry &) const = default;
};

std::optional<quint64> contentSize(quint64 serialType)
{
    static constexpr quint64 fixedSizes[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0};
    if (serialType < 10)
        return fixedSizes[serialType];
    if (serialType < 12)
        return std::nullopt; // reserved, never written
    return (serialType - 12) / 2;
}

qint64 signedBigEndian(const char *data, int width)
{
    quint64 value = (quint8(data[0]) & 0x80) != 0 ? ~quint64(0) : 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | quint8(data[i]);
    return qint64(value);
}

std::optional<QByteArray> textAsUtf8(const QByteArray &bytes, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString text = decoder(bytes);
        return decoder.hasError() ? std::nullopt : std::optional(bytes);
    }
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    QStringDecoder decoder(encoding == TextEncoding::Utf16le ? QStringConverter::Utf16LE
                                                             : QStringConverter::Utf16BE,
                           QStringConverter::Flag::Stateless);
    const QString text = decoder(bytes);
    return decoder.hasError() ? std::nullopt : std::optional(text.toUtf8());
}

std::optional<Value> decodeValue(quint64 serialType, const QByteArray &content,
                                 TextEncoding encoding)
{
    Value value;
    if (serialType == 0)
        return value;
    if (serialType <= 6 || serialType == 8 || serialType == 9) {
        value.kind = Value::Kind::Integer;
        if (serialType <= 6)
            value.integer = signedBigEndian(content.constData(), int(content.size()));
        else
            value.integer = serialType == 9 ? 1 : 0;
        return value;
    }
    if (serialType == 7) {
        value.kind = Value::Kind::Real;
        value.real = std::bit_cast<double>(signedBigEndian(content.constData(), 8));
        return value;
    }
    if (serialType % 2 == 0) {
        value.kind = Value::Kind::Blob;
        value.bytes = content;
        return value;
    }
    const auto text = textAsUtf8(content, encoding);
    if (!text)
        return std::nullopt;
    value.kind = Value::Kind::Text;
    value.bytes = *text;
    return value;
}

bool acceptsValue(const Column &column, const Value &value)
{
    if (column.rowidAlias)
        return value.kind == Value::Kind::Null; // the engine never stores the alias itself
    if (value.kind == Value::Kind::Null)
        return !column.notNull;
    switch (column.affinity) {
    case Affinity::Integer:
        return value.kind == Value::Kind::Integer;
    case Affinity::Text:
        return value.kind == Value::Kind::Text;
    case Affinity::Any:
        return true;
    }
    return false;
}

std::optional<Geometry> headerGeometry(const QByteArray &header, TextEncoding fallback)
{
    if (!hasSqliteSignature(header) || header.size() < FileHeaderSize)
        return std::nullopt;
    quint32 pageSize = bigEndian(header, 16, 2);
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 reserved = bigEndian(header, 20, 1);
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 ||
        pageSize - reserved < SmallestUsableSize)
        return std::nullopt;
    const quint32 encoding = bigEndian(header, 56, 4);
    return Geometry{pageSize, pageSize - reserved,
                    encoding >= 1 && encoding <= 3 ? TextEncoding(encoding) : fallback};
}

Geometry layoutGeometry(const Layout &layout)
{
    const quint32 pageSize = layout.pageSize;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0 ||
        pageSize - layout.reservedBytes < SmallestUsableSize)
        return {4096, 4096, layout.encoding};
    return {pageSize, pageSize - layout.reservedBytes, layout.encoding};
}

// One pass over the file read with one page geometry.
class Salvager
{
public:
    Salvager(PageFile &file, const Geometry &geometry, const Layout &layout,
             const QByteArray &header, const RowSink &sink);
    std::optional<Salvage> run();

private:
    struct Cell
    {
        std::optional<qint64> rowid;
        QByteArray payload;
        QSet<quint32> overflowPages;
        QString failure;
        qsizetype bytesOnPage = 0;
    };
    struct CellArray
    {
        QList<qsizetype> offsets;
        int bad = 0; // pointers outside the page
    };
    // Cells of one page, read while their sizes add up to no more than the page holds:
    // pointers that all lead to one large cell cannot make a page slow to read.
    class CellBudget
    {
    public:
        explicit CellBudget(qsizetype usableSize) : m_left(usableSize) {}
        bool spend(const Cell &cell)
        {
            m_left -= cell.bytesOnPage;
            return m_left >= 0;
        }

    private:
        qsizetype m_left;
    };
    using LeafHandler = std::function<void(quint32, const QByteArray &)>;
    struct Range
    {
        qint64 after = 0;                                 // positions above this
        qint64 upTo = std::numeric_limits<qint64>::max(); // up to this one
    };
    struct PendingPage
    {
        quint32 number;
        quint32 parent; // the page pointing to it, 0 for the root
        Range range;    // the positions the parent says it holds
    };
    using Pending = QList<PendingPage>;
    struct Tree
    {
        QString name;
        quint32 root;
        bool index;
    };

    static qsizetype btreeStart(quint32 number) { return number == 1 ? FileHeaderSize : 0; }
    std::optional<CellArray> cellArray(const QByteArray &page, quint32 number,
                                       int headerSize) const;
    qint64 localPayload(quint64 payloadSize) const;
    Cell readLeafCell(const QByteArray &page, qsizetype offset);
    bool readOverflow(quint32 next, quint64 remaining, Cell &cell);

    void readFreelist();
    void walk(quint32 root, const LeafHandler &onLeaf);
    void pushChildren(quint32 number, const QByteArray &page, const Range &range, Pending &pending);
    void unreadable(const Range &range);
    std::optional<quint32> findTableRoot();
    void takeTableLeaf(quint32 number, const QByteArray &page, bool foundByScan);
    void checkTree(const Tree &tree);
    void scan();
    void damage(quint32 number) { m_result.damagedPages.insert(number); }

    PageFile &m_file;
    Geometry m_geometry;
    const Layout &m_layout;
    QByteArray m_header;
    const RowSink &m_sink;
    bool m_stopped = false;
    QSet<quint32> m_visited;
    QSet<quint32> m_freelist;
    QSet<quint32> m_claimedOverflow; // pages of records already taken: never shared
    QList<Tree> m_otherTrees;        // every tree the schema names besides the table's
    bool m_walkingTable = false;     // ranges are noted for the table's tree only
    Range m_leafRange;               // of the leaf the walk hands over
    quint64 m_longestPayload;
    qint64 m_overflowBudget; // page reads left for overflow chains: damage cannot make it slow
    Salvage m_result;
};

Salvager::Salvager(PageFile &file, const Geometry &geometry, const Layout &layout,
                   const QByteArray &header, const RowSink &sink)
    : m_file(file), m_geometry(geometry), m_layout(layout), m_header(header), m_sink(sink)
{
    m_file.setPageSize(geometry.pageSize);
    m_longestPayload =
        qMin<quint64>(LongestValue, quint64(m_file.pageCount()) * geometry.usableSize);
    m_overflowBudget = 3 * qint64(m_file.pageCount()) + 64;
    m_result.hasSignature = hasSqliteSignature(header);
    m_result.pageSize = geometry.pageSize;
    m_result.pageCount = m_file.pageCount();
}

std::optional<Salvage> Salvager::run()
{
    if (!m_result.hasSignature && m_result.pageCount > 0)
        damage(1);
    readFreelist();
    if (const auto root = findTableRoot()) {
        m_walkingTable = true;
        walk(*root, [this](quint32 number, const QByteArray &page) {
            takeTableLeaf(number, page, false);
        });
        m_walkingTable = false;
    }
    for (const Tree &tree : std::as_const(m_otherTrees))
        checkTree(tree);
    scan();
    if (m_stopped)
        return std::nullopt;
    return std::move(m_result);
}

std::optional<Salvager::CellArray> Salvager::cellArray(const QByteArray &page, quint32 number,
                                                       int headerSize) const
{
    const qsizetype usable = m_geometry.usableSize;
    const qsizetype arrayStart = btreeStart(number) + headerSize;
    const qsizetype count = bigEndian(page, btreeStart(number) + 3, 2);
    const qsizetype arrayEnd = arrayStart + 2 * count;
    if (page.isEmpty() || arrayEnd > usable)
        return std::nullopt;
    CellArray cells;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype offset = bigEndian(page, arrayStart + 2 * i, 2);
        if (offset < arrayEnd || offset >= usable)
            ++cells.bad;
        else
            cells.offsets.append(offset);
    }
    return cells;
}

// How much of a payload is kept on the leaf page itself; the rest is on overflow pages.
qint64 Salvager::localPayload(quint64 payloadSize) const
{
    const qint64 usable = m_geometry.usableSize;
    const qint64 maxLocal = usable - 35;
    if (payloadSize <= quint64(maxLocal))
        return qint64(payloadSize);
    const qint64 minLocal = (usable - 12) * 32 / 255 - 23;
    const qint64 local = minLocal + qint64((payloadSize - minLocal) % quint64(usable - 4));
    return local <= maxLocal ? local : minLocal;
}

Salvager::Cell Salvager::readLeafCell(const QByteArray &page, qsizetype offset)
{
    Cell cell;
    const qsizetype usable = m_geometry.usableSize;
    const auto size = readVarint(page, offset, usable);
    const auto rowid = size ? readVarint(page, offset + size->length, usable) : std::nullopt;
    if (!rowid)
        return cell;
    cell.rowid = qint64(rowid->value);
    if (size->value > m_longestPayload) {
        cell.failure = UnreadableRecord;
        return cell;
    }
    const qsizetype start = offset + size->length + rowid->length;
    const qint64 local = localPayload(size->value);
    const bool overflows = quint64(local) < size->value;
    cell.bytesOnPage = start - offset + local + (overflows ? 4 : 0);
    if (offset + cell.bytesOnPage > usable) {
        cell.failure = UnreadableRecord;
        return cell;
    }
    cell.payload = page.mid(start, local);
    if (overflows &&
        !readOverflow(bigEndian(page, start + local, 4), size->value - quint64(local), cell)) {
        cell.failure = BrokenOverflow;
        cell.payload.clear();
    }
    return cell;
}

bool Salvager::readOverflow(quint32 next, quint64 remaining, Cell &cell)
{
    const quint64 perPage = m_geometry.usableSize - 4;
    while (remaining > 0) {
        if (--m_overflowBudget < 0 || m_claimedOverflow.contains(next) ||
            cell.overflowPages.contains(next))
            return false;
        const QByteArray page = m_file.page(next);
        if (page.isEmpty())
            return false;
        const quint64 take = qMin(remaining, perPage);
        cell.payload.append(page.constData() + 4, qsizetype(take));
        cell.overflowPages.insert(next);
        remaining -= take;
        next = bigEndian(page, 0, 4);
    }
    return true;
}

// Pages on the freelist may still hold deleted records; they must not come back.
void Salvager::readFreelist()
{
    if (!m_result.hasSignature)
        return;
    const quint32 mostLeaves = m_geometry.usableSize / 4 - 2;
    quint32 trunk = bigEndian(m_header, 32, 4);
    while (m_file.contains(trunk) && !m_freelist.contains(trunk)) {
        m_freelist.insert(trunk);
        const QByteArray page = m_file.page(trunk);
        const quint32 leaves = bigEndian(page, 4, 4);
        if (leaves > mostLeaves)
            return;
        for (quint32 i = 0; i < leaves; ++i) {
            if (const quint32 leaf = bigEndian(page, 8 + 4 * qsizetype(i), 4);
                m_file.contains(leaf))
                m_freelist.insert(leaf);
        }
        trunk = bigEndian(page, 0, 4);
    }
}

// Depth first through a table b-tree; every page is read once, so loops end.
void Salvager::walk(quint32 root, const LeafHandler &onLeaf)
{
    Pending pending{{root, 0, Range{}}};
    while (!pending.isEmpty()) {
        const PendingPage next = pending.takeLast();
        if (!m_file.contains(next.number) || m_visited.contains(next.number)) {
            if (next.parent != 0)
                damage(next.parent);
            continue;
        }
        m_visited.insert(next.number);
        const QByteArray page = m_file.page(next.number);
        const quint32 type = bigEndian(page, btreeStart(next.number), 1);
        if (type == InteriorTablePage) {
            pushChildren(next.number, page, next.range, pending);
        } else if (type == LeafTablePage) {
            m_leafRange = next.range;
            onLeaf(next.number, page);
        } else {
            damage(next.number);
            unreadable(next.range);
        }
    }
}

void Salvager::unreadable(const Range &range)
{
    if (m_walkingTable && range.after < range.upTo)
        m_result.unreadableRanges.emplace_back(range.after, range.upTo);
}

// Each child holds the positions up to its cell's key, after the key before it; the last
// child those after the last key, up to where the page's own range ends.
void Salvager::pushChildren(quint32 number, const QByteArray &page, const Range &range,
                            Pending &pending)
{
    const auto cells = cellArray(page, number, InteriorHeaderSize);
    if (!cells) {
        damage(number);
        unreadable(range);
        return;
    }
    bool damaged = cells->bad > 0;
    QList<PendingPage> children;
    qint64 after = range.after;
    for (qsizetype offset : cells->offsets) {
        const quint32 child = bigEndian(page, offset, 4);
        const auto key = readVarint(page, offset + 4, m_geometry.usableSize);
        if (offset + 4 > qsizetype(m_geometry.usableSize) || !m_file.contains(child)) {
            damaged = true;
            continue;
        }
        if (key && qint64(key->value) > after && qint64(key->value) <= range.upTo) {
            children.append({child, number, Range{after, qint64(key->value)}});
            after = qint64(key->value);
        } else {
            // A key out of order says nothing sure about where the child's records lie.
            damaged = true;
            children.append({child, number, Range{after, range.upTo}});
        }
    }
    if (const quint32 rightmost = bigEndian(page, btreeStart(number) + 8, 4);
        m_file.contains(rightmost))
        children.append({rightmost, number, Range{after, range.upTo}});
    else
        damaged = true;
    if (damaged)
        damage(number);
    for (auto child = children.crbegin(); child != children.crend(); ++child)
        pending.append(*child);
}

// The table's root page from the schema the file keeps on page 1.
std::optional<quint32> Salvager::findTableRoot()
{
    std::optional<quint32> root;
    bool namesTables = false;
    QList<Tree> trees;
    walk(1, [&](quint32 number, const QByteArray &page) {
        const auto cells = cellArray(page, number, LeafHeaderSize);
        if (!cells || cells->bad > 0)
            damage(number);
        CellBudget budget(m_geometry.usableSize);
        for (qsizetype offset : cells ? cells->offsets : QList<qsizetype>()) {
            const Cell cell = readLeafCell(page, offset);
            const auto row = budget.spend(cell) && cell.rowid && cell.failure.isEmpty()
                                 ? decodeRecord(cell.payload, m_geometry.encoding)
                                 : std::nullopt;
            if (!row || row->size() < 5) {
                damage(number);
                continue;
            }
            const bool isTable =
                row->at(0).kind == Value::Kind::Text && row->at(0).bytes == "table";
            const bool isIndex =
                row->at(0).kind == Value::Kind::Text && row->at(0).bytes == "index";
            if (!isTable && !isIndex)
                continue;
            namesTables = namesTables || isTable;
            const Value &rootPage = row->at(3);
            // A virtual table has no tree of its own (root 0): its shadow tables are listed.
            if (rootPage.kind != Value::Kind::Integer ||
                !m_file.contains(quint32(qBound<qint64>(0, rootPage.integer, 0xFFFFFFFF))))
                continue;
            const QString name = QString::fromUtf8(row->at(1).bytes);
            // A table without rowids is kept in a tree of the kind an index has.
            const bool indexTree =
                isIndex || QString::fromUtf8(row->at(4).bytes)
                               .simplified()
                               .contains(u"WITHOUT ROWID"_s, Qt::CaseInsensitive);
            if (!root && isTable && name.compare(m_layout.table, Qt::CaseInsensitive) == 0)
                root = quint32(rootPage.integer);
            else
                trees.append({name, quint32(rootPage.integer), indexTree});
        }
    });
    m_result.schemaLacksTable = namesTables && !root;
    for (const Tree &tree : std::as_const(trees)) {
        if (tree.root != root)
            m_otherTrees.append(tree);
    }
    return root;
}

// Checks the pages of a tree the records do not lie in: each must be a page of the tree's
// kind whose cells lie inside it and whose children lie in the file. Damage there loses no
// record, but the repaired file must make that tree anew. The records' scan still reads
// these pages: a leaf of the table that a damaged page of another tree points at is not
// lost to it.
void Salvager::checkTree(const Tree &tree)
{
    const quint32 interiorType = tree.index ? InteriorIndexPage : InteriorTablePage;
    const quint32 leafType = tree.index ? LeafIndexPage : LeafTablePage;
    const auto damaged = [&](quint32 number) {
        damage(number);
        m_result.damagedStructures.insert(tree.name);
    };
    QSet<quint32> seen;
    QList<std::pair<quint32, quint32>> pending{{tree.root, 0}}; // page, the page naming it
    while (!pending.isEmpty()) {
        const auto [number, parent] = pending.takeLast();
        // A page reached twice, or one of the table's own, is named by a damaged parent
        // (or, for the root, by a damaged schema, already counted).
        if (seen.contains(number) || m_visited.contains(number)) {
            if (parent != 0)
                damaged(parent);
            continue;
        }
        seen.insert(number);
        const QByteArray page = m_file.page(number);
        const quint32 type = bigEndian(page, btreeStart(number), 1);
        const bool interior = type == interiorType;
        const auto cells =
            interior || type == leafType
                ? cellArray(page, number, interior ? InteriorHeaderSize : LeafHeaderSize)
                : std::nullopt;
        if (!cells || cells->bad > 0) {
            damaged(number);
            continue;
        }
        if (!interior)
            continue;
        QList<quint32> children;
        for (qsizetype offset : cells->offsets)
            children.append(bigEndian(page, offset, 4));
        children.append(bigEndian(page, btreeStart(number) + 8, 4));
        for (quint32 child : std::as_const(children)) {
            if (m_file.contains(child))
                pending.append({child, number});
            else
                damaged(number);
        }
    }
}

// Takes the records of a table leaf. A page met by the scan counts only when some of its
// records fit the table: anything else is a page of another kind.
void Salvager::takeTableLeaf(quint32 number, const QByteArray &page, bool foundByScan)
{
    const auto cells = cellArray(page, number, LeafHeaderSize);
    if (!cells) {
        if (!foundByScan) {
            damage(number);
            unreadable(m_leafRange);
        }
        return;
    }
    const int alias = m_layout.rowidAliasColumn();
    std::vector<std::pair<qint64, Row>> found;
    std::map<qint64, QString> lost;
    QSet<quint32> overflowPages;
    int unreadable = cells->bad;
    CellBudget budget(m_geometry.usableSize);
    for (qsizetype offset : cells->offsets) {
        Cell cell = readLeafCell(page, offset);
        if (!budget.spend(cell) || !cell.rowid) {
            ++unreadable;
            continue;
        }
        if (!cell.failure.isEmpty()) {
            lost.emplace(*cell.rowid, cell.failure);
            continue;
        }
        auto row = decodeRecord(cell.payload, m_geometry.encoding);
        if (!row || !fitsLayout(m_layout, *row)) {
            lost.emplace(*cell.rowid, DoesNotFit);
            continue;
        }
        if (alias >= 0)
            (*row)[alias] = Value{Value::Kind::Integer, *cell.rowid, 0, {}};
        found.emplace_back(*cell.rowid, std::move(*row));
        overflowPages.unite(cell.overflowPages);
    }
    if (foundByScan && found.empty())
        return;
    const bool damaged = unreadable > 0 || !lost.empty();
    if (damaged)
        damage(number);
    else if (!found.empty())
        m_result.foundTableLeaf = true;
    m_result.unreadableCells += unreadable;
    m_result.lost.merge(lost);
    for (const auto &[rowid, row] : found) {
        if (m_stopped || !m_sink(rowid, row, damaged)) {
            m_stopped = true;
            return;
        }
        ++m_result.rowsFound;
    }
    for (quint32 overflow : overflowPages)
        m_claimedOverflow.insert(overflow);
}

// Leaves no longer reachable from the root (under a damaged interior page, or when page 1
// or the root itself is gone), except those the freelist says were given up.
void Salvager::scan()
{
    for (quint32 number = 1; number <= m_file.pageCount(); ++number) {
        if (m_visited.contains(number) || m_freelist.contains(number) ||
            m_claimedOverflow.contains(number))
            continue;
        m_visited.insert(number);
        const QByteArray page = m_file.page(number);
        if (bigEndian(page, btreeStart(number), 1) == LeafTablePage)
            takeTableLeaf(number, page, true);
    }
}

} // namespace

std::optional<Row> decodeRecord(const QByteArray &payload, TextEncoding encoding)
{
    const auto headerLength = readVarint(payload, 0, payload.size());
    if (!headerLength || headerLength->value < quint64(headerLength->length) ||
        headerLength->value > quint64(payload.size()))
        return std::nullopt;
    const qsizetype headerEnd = qsizetype(headerLength->value);
    QList<quint64> serialTypes;
    for (qsizetype offset = headerLength->length; offset < headerEnd;) {
        const auto serialType = readVarint(payload, offset, headerEnd);
        if (!serialType)
            return std::nullopt;
        serialTypes.append(serialType->value);
        offset += serialType->length;
    }
    Row row;
    row.reserve(serialTypes.size());
    qsizetype body = headerEnd;
    for (quint64 serialType : serialTypes) {
        const auto size = contentSize(serialType);
        if (!size || *size > quint64(payload.size() - body))
            return std::nullopt;
        auto value = decodeValue(serialType, payload.mid(body, qsizetype(*size)), encoding);
        if (!value)
            return std::nullopt;
        row.append(std::move(*value));
        body += qsizetype(*size);
    }
    // A record the engine wrote fills its payload exactly.
    if (body != payload.size())
        return std::nullopt;
    return row;
}

bool fitsLayout(const Layout &layout, const Row &row)
{
    if (row.size() != layout.columns.size())
        return false;
    for (qsizetype i = 0; i < row.size(); ++i) {
        if (!acceptsValue(layout.columns.at(i), row.at(i)))
            return false;
    }
    return true;
}

std::optional<Salvage> salvage(const QString &path, const Layout &layout, const RowSink &sink)
{
    PageFile file;
    if (!file.open(path))
        return std::nullopt;
    const QByteArray header = file.header();
    // A damaged header may state a wrong page size; the example's is the other candidate,
    // and the reading that recovers more records wins.
    QList<Geometry> geometries;
    if (const auto fromHeader = headerGeometry(header, layout.encoding))
        geometries.append(*fromHeader);
    if (const Geometry fromLayout = layoutGeometry(layout); !geometries.contains(fromLayout))
        geometries.append(fromLayout);
    // The reading that finds more records is counted first, then done for real.
    if (geometries.size() > 1) {
        const RowSink count = [](qint64, const Row &, bool) { return true; };
        std::optional<Salvage> best;
        Geometry bestGeometry = geometries.first();
        for (const Geometry &geometry : geometries) {
            std::optional<Salvage> result = Salvager(file, geometry, layout, header, count).run();
            if (result && (!best || result->rowsFound > best->rowsFound)) {
                best = std::move(result);
                bestGeometry = geometry;
            }
        }
        geometries = {bestGeometry};
    }
    return Salvager(file, geometries.first(), layout, header, sink).run();
}

} // namespace sv::tpsfix
