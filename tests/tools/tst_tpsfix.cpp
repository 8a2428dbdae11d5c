#include "store/errors.h"
#include "store/store.h"
#include "store/tablefile.h"
#include "store/upgrademanager.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

const QString SongFile = u"svpdata.tps"_s;
const QString SongExample = u"svpdata.tpe"_s;
const QStringList RepairCommand{SongFile, u"/E:svpdata.tpe"_s, u"/K"_s};
constexpr int PageSize = 4096;

QString program()
{
#ifdef TPSFIX_PROGRAM
    return QStringLiteral(TPSFIX_PROGRAM);
#else
    return QCoreApplication::applicationDirPath() + u"/../tpsfix"_s;
#endif
}

struct Run
{
    QProcess::ExitStatus status;
    int exitCode;
    QString output;
};

Run runTpsfix(const QString &folder, const QStringList &arguments = RepairCommand)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program(), arguments);
    if (!process.waitForFinished(60000))
        process.kill();
    return {
        process.exitStatus(), process.exitCode(),
        QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError())};
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void overwrite(const QString &path, qint64 offset, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray garbage(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

void damagePage(const QString &path, quint32 page, quint32 seed)
{
    overwrite(path, qint64(page - 1) * PageSize, garbage(PageSize, seed));
}

// Every row of the song file by position, each column as the engine stores it (text as
// its bytes), read without the store so that nothing is fitted on the way.
using Rows = QMap<qint64, QVariantList>;

Rows readRows(const QString &path)
{
    Rows rows;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM \"Songvane\" ORDER BY sv_pos", -1, &query, nullptr);
    while (query && sqlite3_step(query) == SQLITE_ROW) {
        QVariantList values;
        for (int column = 0; column < sqlite3_column_count(query); ++column) {
            if (sqlite3_column_type(query, column) == SQLITE_INTEGER)
                values.append(qint64(sqlite3_column_int64(query, column)));
            else if (sqlite3_column_type(query, column) == SQLITE_TEXT)
                values.append(
                    QByteArray(reinterpret_cast<const char *>(sqlite3_column_blob(query, column)),
                               sqlite3_column_bytes(query, column)));
            else
                values.append(QVariant());
        }
        rows.insert(values.first().toLongLong(), values);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return rows;
}

quint32 bigEndian(const QByteArray &bytes, qsizetype offset, int width)
{
    quint32 value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | quint8(bytes.at(offset + i));
    return value;
}

qint64 varint(const QByteArray &bytes, qsizetype &offset)
{
    quint64 value = 0;
    for (int i = 0; i < 9; ++i) {
        const quint8 byte = quint8(bytes.at(offset++));
        if (i == 8)
            return qint64(value << 8 | byte);
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0)
            break;
    }
    return qint64(value);
}

// The song table's b-tree as it lies in the file: which positions each leaf page holds,
// so a test knows exactly what a damaged page takes with it.
struct Tree
{
    quint32 root = 0;
    QList<quint32> interiorPages;
    QList<quint32> leafPages; // in key order
    QHash<quint32, QList<qint64>> positions;
    QMap<qint64, qint64> overflowPointers; // position -> file offset of its first overflow page
};

// Bytes of a payload that stay on the leaf page, as the file format lays them out.
qint64 localPayload(qint64 payload)
{
    if (payload <= PageSize - 35)
        return payload;
    const qint64 minLocal = (PageSize - 12) * 32 / 255 - 23;
    const qint64 local = minLocal + (payload - minLocal) % (PageSize - 4);
    return local <= PageSize - 35 ? local : minLocal;
}

struct LeafCell
{
    qint64 position;
    qint64 overflowPointer; // offset in the page of the first overflow page's number; 0: none
    qint64 recordStart = 0; // offset in the page where the record's own header begins
};

QList<LeafCell> leafCells(const QByteArray &page)
{
    QList<LeafCell> cells;
    for (quint32 cell = 0; cell < bigEndian(page, 3, 2); ++cell) {
        qsizetype offset = bigEndian(page, 8 + 2 * cell, 2);
        const qint64 payload = varint(page, offset);
        const qint64 position = varint(page, offset);
        const qint64 local = localPayload(payload);
        cells.append({position, local < payload ? offset + local : 0, offset});
    }
    return cells;
}

// The tree named `name` in the file's schema: the song table unless told otherwise, or one
// of its keys (whose pages hold no positions).
Tree readTree(const QString &path, const char *name = "Songvane")
{
    Tree tree;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = ?", -1, &query,
                       nullptr);
    sqlite3_bind_text(query, 1, name, -1, SQLITE_STATIC);
    if (sqlite3_step(query) == SQLITE_ROW)
        tree.root = quint32(sqlite3_column_int(query, 0));
    sqlite3_finalize(query);
    sqlite3_close(db);

    const QByteArray file = contents(path);
    QList<quint32> pending{tree.root};
    while (!pending.isEmpty()) {
        const quint32 number = pending.takeFirst();
        const QByteArray page = file.mid(qint64(number - 1) * PageSize, PageSize);
        if (page.at(0) == 0x05 || page.at(0) == 0x02) {
            QList<quint32> children;
            for (quint32 cell = 0; cell < bigEndian(page, 3, 2); ++cell)
                children.append(bigEndian(page, bigEndian(page, 12 + 2 * cell, 2), 4));
            children.append(bigEndian(page, 8, 4));
            tree.interiorPages.append(number);
            pending = children + pending;
            continue;
        }
        tree.leafPages.append(number);
        for (const LeafCell &cell : page.at(0) == 0x0D ? leafCells(page) : QList<LeafCell>()) {
            tree.positions[number].append(cell.position);
            if (cell.overflowPointer != 0)
                tree.overflowPointers.insert(cell.position,
                                             qint64(number - 1) * PageSize + cell.overflowPointer);
        }
    }
    return tree;
}

// Songs 1..count; every seventh carries a 2000-character memo of three-byte characters,
// which does not fit on one page.
bool fillSongs(const QString &folder, int count)
{
    Store store(folder);
    Table &songs = store.table(TableId::Songs);
    if (!songs.create() || !songs.open() || !songs.stream())
        return false;
    for (int id = 1; id <= count; ++id) {
        Record &r = songs.buffer();
        r.clear();
        r.setNumber(mus::ID, id);
        r.setText(mus::Artist, u"Artist %1"_s.arg(id % 97));
        r.setText(mus::Title, u"Title %1 \u00e9t\u00e9"_s.arg(id));
        r.setText(mus::Media, u"CD"_s);
        r.setNumber(mus::ChartNumber, id % 40);
        r.setNumber(mus::BeatsPerMinute, 60 + id % 120);
        r.setMemo(mus::Recording, u"recorded %1"_s.arg(id));
        if (id % 7 == 0) {
            QString memo(2000, QChar(0x20AC));
            memo.replace(0, 8, u"%1"_s.arg(id, 8));
            r.setMemo(mus::Notes, memo);
        }
        if (!songs.add())
            return false;
    }
    return songs.flush() &&
           UpgradeManager().makeTpe(tableDef(TableId::Songs), folder + u'/' + SongExample);
}

// Deletes the way an engine built without secure deletion does: the freed pages keep the
// bytes of the deleted records.
bool removeSongs(const QString &path, const QList<qint64> &ids)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    bool ok = sqlite3_exec(db, "PRAGMA secure_delete = OFF; BEGIN", nullptr, nullptr, nullptr) ==
              SQLITE_OK;
    sqlite3_stmt *remove = nullptr;
    sqlite3_prepare_v2(db, "DELETE FROM \"Songvane\" WHERE ID = ?", -1, &remove, nullptr);
    for (qint64 id : ids) {
        sqlite3_bind_int64(remove, 1, id);
        ok = ok && sqlite3_step(remove) == SQLITE_DONE && sqlite3_changes(db) == 1;
        sqlite3_reset(remove);
    }
    sqlite3_finalize(remove);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Positions still listed by table leaves that now lie on the freelist.
QSet<qint64> positionsOnFreelist(const QString &path)
{
    const QByteArray file = contents(path);
    QSet<qint64> positions;
    QList<quint32> pages;
    for (quint32 trunk = bigEndian(file, 32, 4); trunk != 0;) {
        const QByteArray page = file.mid(qint64(trunk - 1) * PageSize, PageSize);
        pages.append(trunk);
        for (quint32 i = 0; i < bigEndian(page, 4, 4); ++i)
            pages.append(bigEndian(page, 8 + 4 * i, 4));
        trunk = bigEndian(page, 0, 4);
    }
    for (quint32 number : pages) {
        const QByteArray page = file.mid(qint64(number - 1) * PageSize, PageSize);
        for (const LeafCell &cell : page.at(0) == 0x0D ? leafCells(page) : QList<LeafCell>())
            positions.insert(cell.position);
    }
    return positions;
}

QList<qint64> walkIds(Table &songs, int key)
{
    QList<qint64> ids;
    songs.set(key);
    while (songs.next())
        ids.append(songs.buffer().number(mus::ID));
    return ids;
}

// The rows the original held at the given positions, unchanged, and nothing else.
void verifyHolds(const Rows &repaired, const Rows &original, const QSet<qint64> &expected)
{
    QCOMPARE(QSet<qint64>(repaired.keyBegin(), repaired.keyEnd()), expected);
    for (auto row = repaired.cbegin(); row != repaired.cend(); ++row)
        QCOMPARE(row.value(), original.value(row.key()));
}

// The repaired file opens through the store, its keys find and order its records.
void verifyOpensThroughStore(const QString &folder, qsizetype expected)
{
    Store store(folder);
    Table &songs = store.table(TableId::Songs);
    QVERIFY2(songs.open(), qPrintable(errorText()));
    QCOMPARE(songs.records(), qint64(expected));
    const QList<qint64> byId = walkIds(songs, mus::KeyID);
    QCOMPARE(byId.size(), expected);
    QVERIFY(std::is_sorted(byId.cbegin(), byId.cend()));
    QCOMPARE(walkIds(songs, mus::SongsByTitle).size(), expected);
    if (!byId.isEmpty()) {
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, byId.at(byId.size() / 2));
        QVERIFY(songs.get(mus::KeyID));
        QCOMPARE(songs.buffer().number(mus::ID), byId.at(byId.size() / 2));
    }
}

QSet<qint64> keysOf(const Rows &rows)
{
    return QSet<qint64>(rows.keyBegin(), rows.keyEnd());
}

} // namespace

class TestTpsfix : public QObject
{
    Q_OBJECT

private:
    test::Workspace *m_workspace = nullptr;
    QByteArray m_pristine; // the song file before any damage
    QString path(const QString &name) const { return m_workspace->file(name); }

private Q_SLOTS:
    void init()
    {
        m_workspace = new test::Workspace;
        if (m_pristine.isEmpty()) {
            QVERIFY(fillSongs(m_workspace->path(), 3000));
            m_pristine = contents(path(SongFile));
        } else {
            QFile file(path(SongFile));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(m_pristine);
            QVERIFY(UpgradeManager().makeTpe(tableDef(TableId::Songs), path(SongExample)));
        }
    }
    void cleanup()
    {
        delete m_workspace;
        m_workspace = nullptr;
    }

    // Two destroyed leaves lose exactly their records; the rest come back unchanged, logged.
    void damagedLeavesLoseOnlyTheirRecords()
    {
        const Rows original = readRows(path(SongFile));
        QCOMPARE(original.size(), 3000);
        const Tree tree = readTree(path(SongFile));
        QVERIFY(tree.leafPages.size() > 20);
        const quint32 first = tree.leafPages.at(tree.leafPages.size() / 2);
        const quint32 second = tree.leafPages.at(tree.leafPages.size() / 2 + 7);
        QSet<qint64> expected = keysOf(original);
        for (quint32 page : {first, second}) {
            for (qint64 position : tree.positions.value(page))
                expected.remove(position);
            damagePage(path(SongFile), page, page);
        }
        QVERIFY(expected.size() < 3000);

        const Run run = runTpsfix(m_workspace->path());
        QCOMPARE(run.status, QProcess::NormalExit);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        verifyHolds(readRows(path(SongFile)), original, expected);
        verifyOpensThroughStore(m_workspace->path(), expected.size());
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        QVERIFY2(
            log.contains(
                u"pages damaged: 2 (%1, %2)"_s.arg(qMin(first, second)).arg(qMax(first, second))),
            qPrintable(log));
        QVERIFY(log.contains(u"records recovered: %1"_s.arg(expected.size())));
        // What the destroyed pages held is named by the positions the pages above give.
        for (quint32 page : {first, second}) {
            const QList<qint64> lost = tree.positions.value(page);
            QVERIFY2(log.contains(u"records lost on unreadable pages: positions %1 to %2, up to "
                                  "%3 records (0 recovered there)"_s.arg(lost.first())
                                      .arg(lost.last())
                                      .arg(lost.size())),
                     qPrintable(log));
        }
    }

    // Damage that lies outside the records (a page of the full-text index, of a key, the
    // record count) loses no record; it is found, named, and the repaired file makes that
    // part anew from the records: searches, key order and count are whole again.
    void damageBesidesTheRecordsIsMadeAnew_data()
    {
        QTest::addColumn<QByteArray>("tree");
        QTest::addColumn<QString>("named");
        QTest::newRow("full-text index")
            << QByteArray("Songvane_text_data") << u"full-text index (Songvane_text_data)"_s;
        QTest::newRow("key") << QByteArray("Songvane_SongsByTitle") << u"key SongsByTitle"_s;
        QTest::newRow("record count") << QByteArray("sv_counters") << u"record count"_s;
    }
    void damageBesidesTheRecordsIsMadeAnew()
    {
        QFETCH(QByteArray, tree);
        QFETCH(QString, named);
        const Rows original = readRows(path(SongFile));
        const Tree damaged = readTree(path(SongFile), tree.constData());
        QVERIFY(!damaged.leafPages.isEmpty());
        const quint32 page = damaged.leafPages.at(damaged.leafPages.size() / 2);
        damagePage(path(SongFile), page, page);

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        verifyHolds(readRows(path(SongFile)), original, keysOf(original));
        verifyOpensThroughStore(m_workspace->path(), original.size());
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        QVERIFY2(log.contains(u"pages damaged: 1 (%1)"_s.arg(page)), qPrintable(log));
        QVERIFY2(log.contains(u"damaged besides the records, made anew from them: "_s + named),
                 qPrintable(log));
        QVERIFY(QFileInfo::exists(path(SongFile + u".damaged"_s))); // /K: something was wrong

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(path(SongFile)).constData(), &db,
                                 SQLITE_OPEN_READWRITE, nullptr),
                 SQLITE_OK);
        tablefile::registerFunctions(db);
        sqlite3_stmt *check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        QCOMPARE(sqlite3_step(check), SQLITE_ROW);
        const QByteArray verdict(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)));
        sqlite3_finalize(check);
        sqlite3_prepare_v2(db, "SELECT count(*) FROM Songvane_text", -1, &check, nullptr);
        const qint64 indexed =
            sqlite3_step(check) == SQLITE_ROW ? sqlite3_column_int64(check, 0) : -1;
        sqlite3_finalize(check);
        const int indexCheck =
            sqlite3_exec(db, "INSERT INTO Songvane_text (Songvane_text) VALUES ('integrity-check')",
                         nullptr, nullptr, nullptr);
        sqlite3_close(db);
        QCOMPARE(verdict, QByteArray("ok"));
        QCOMPARE(indexCheck, SQLITE_OK);
        QCOMPARE(indexed, qint64(original.size()));
    }

    // Without an interior page or page 1, every leaf is still found by looking at all pages.
    void lostTreeOrSchemaStillRecoversEverything_data()
    {
        QTest::addColumn<bool>("firstPage");
        QTest::newRow("interior page") << false;
        QTest::newRow("first page") << true;
    }
    void lostTreeOrSchemaStillRecoversEverything()
    {
        QFETCH(bool, firstPage);
        const Rows original = readRows(path(SongFile));
        const Tree tree = readTree(path(SongFile));
        QVERIFY(!tree.interiorPages.isEmpty());
        damagePage(path(SongFile), firstPage ? 1 : tree.interiorPages.first(), 99);

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        verifyHolds(readRows(path(SongFile)), original, keysOf(original));
        verifyOpensThroughStore(m_workspace->path(), original.size());
    }

    // A record with a cut overflow chain is left out whole, never cut short, and logged.
    void brokenOverflowChainLosesTheWholeRecord()
    {
        const Rows original = readRows(path(SongFile));
        const Tree tree = readTree(path(SongFile));
        QVERIFY(tree.overflowPointers.size() > 100);
        const qint64 position = std::next(tree.overflowPointers.keyBegin(), 50).operator*();
        overwrite(path(SongFile), tree.overflowPointers.value(position),
                  QByteArray("\xFF\xFF\xFF\x00", 4));

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        verifyHolds(readRows(path(SongFile)), original, keysOf(original) - QSet<qint64>{position});
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        QVERIFY2(log.contains(u"broken overflow chain: 1 (positions %1)"_s.arg(position)),
                 qPrintable(log));
    }

    // Unique-key duplicates (first position wins) and values of the wrong kind are left out.
    void recordsTheTableCannotHoldAreLeftOut()
    {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(path(SongFile)).constData(), &db, SQLITE_OPEN_READWRITE,
                        nullptr);
        tablefile::registerFunctions(db); // the full-text index's triggers fold the texts
        QCOMPARE(sqlite3_exec(db,
                              "DROP INDEX \"Songvane_KeyID\";"
                              "UPDATE \"Songvane\" SET ID = 5 WHERE ID = 6;"
                              "UPDATE \"Songvane\" SET ID = 'seven' WHERE ID = 7;"
                              "UPDATE \"Songvane\" SET Artist = x'00ff' WHERE ID = 8;",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        const Rows original = readRows(path(SongFile));
        const auto positionsOf = [&](const QVariant &id) {
            QSet<qint64> positions;
            for (const QVariantList &row : original) {
                if (row.at(2 + mus::ID) == id)
                    positions.insert(row.first().toLongLong());
            }
            return positions;
        };
        const QList<qint64> sharing = positionsOf(qint64(5)).values();
        QCOMPARE(sharing.size(), 2);
        const QSet<qint64> misfits = positionsOf(QByteArray("seven")) + positionsOf(qint64(8));
        QCOMPARE(misfits.size(), 2);

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        verifyHolds(readRows(path(SongFile)), original,
                    keysOf(original) - misfits - QSet<qint64>{std::ranges::max(sharing)});
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        QVERIFY2(log.contains(u"duplicate in a unique key"_s) &&
                     log.contains(u"does not fit the table: 2"_s),
                 qPrintable(log));
        verifyOpensThroughStore(m_workspace->path(), original.size() - 3);
    }

    // Deleted records stay deleted although the freed pages still hold their bytes.
    void deletedRecordsDoNotComeBack()
    {
        QList<qint64> removed;
        for (qint64 id = 1001; id <= 1400; ++id)
            removed.append(id);
        for (qint64 id = 2003; removed.size() < 500; id += 7)
            removed.append(id);
        const Rows before = readRows(path(SongFile));
        QVERIFY(removeSongs(path(SongFile), removed));
        const Rows original = readRows(path(SongFile));
        QCOMPARE(original.size(), 2500);
        const QSet<qint64> deleted = keysOf(before) - keysOf(original);
        QVERIFY(deleted.intersects(positionsOnFreelist(path(SongFile))));
        const Tree tree = readTree(path(SongFile));
        const quint32 damaged = tree.leafPages.at(tree.leafPages.size() / 3);
        QSet<qint64> expected = keysOf(original);
        for (qint64 position : tree.positions.value(damaged))
            expected.remove(position);
        damagePage(path(SongFile), damaged, 5);

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        verifyHolds(readRows(path(SongFile)), original, expected);
    }

    // Damage only the engine's own check of the file sees (a broken freelist chain) still
    // makes a file that is not healthy: it is said in the log and the original is kept.
    void damageOnlyTheFileCheckSeesIsReported()
    {
        QList<qint64> removed;
        for (qint64 id = 1001; id <= 1400; ++id)
            removed.append(id);
        QVERIFY(removeSongs(path(SongFile), removed));
        const Rows original = readRows(path(SongFile));
        const QByteArray header = contents(path(SongFile)).left(100);
        const quint32 trunk = bigEndian(header, 32, 4);
        QVERIFY(trunk > 1);
        overwrite(path(SongFile), qint64(trunk - 1) * PageSize, QByteArray("\x07\xff\xff\xff", 4));

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        verifyHolds(readRows(path(SongFile)), original, keysOf(original));
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        QVERIFY2(log.contains(u"the file check also found: "_s) && log.contains(u"freelist"_s),
                 qPrintable(log));
        QVERIFY(!log.contains(u"no damage found"_s));
        QVERIFY(QFileInfo::exists(path(SongFile + u".damaged"_s)));
    }

    // The repaired file goes on giving positions and revisions from where the damaged one
    // left them: not from the highest record that survived, which would give a position of
    // a deleted or lost record again.
    void positionsAndRevisionsGoOnAfterARepair()
    {
        QList<qint64> removed;
        for (qint64 id = 2901; id <= 3000; ++id)
            removed.append(id);
        QVERIFY(removeSongs(path(SongFile), removed));
        const Tree tree = readTree(path(SongFile));
        damagePage(path(SongFile), tree.leafPages.at(tree.leafPages.size() / 2), 3);
        qint64 lastPosition = 0;
        qint64 lastRevision = 0;
        {
            sqlite3 *db = nullptr;
            sqlite3_open_v2(QFile::encodeName(path(SongFile)).constData(), &db,
                            SQLITE_OPEN_READONLY, nullptr);
            sqlite3_stmt *query = nullptr;
            sqlite3_prepare_v2(db,
                               "SELECT (SELECT seq FROM sqlite_sequence WHERE name = 'Songvane'), "
                               "(SELECT last_revision FROM sv_counters)",
                               -1, &query, nullptr);
            QCOMPARE(sqlite3_step(query), SQLITE_ROW);
            lastPosition = sqlite3_column_int64(query, 0);
            lastRevision = sqlite3_column_int64(query, 1);
            sqlite3_finalize(query);
            sqlite3_close(db);
        }
        QVERIFY(lastPosition >= 3000);

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        Store store(m_workspace->path());
        Table &songs = store.table(TableId::Songs);
        QVERIFY(songs.open());
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, 5000);
        QVERIFY(songs.add());
        QVERIFY(songs.position() > lastPosition);
        QVERIFY(songs.current().revision > lastRevision);
    }

    // The original is kept under a free name with its journal, which must never meet the new file.
    void originalAndJournalAreKeptAside()
    {
        damagePage(path(SongFile), readTree(path(SongFile)).leafPages.at(3), 11);
        const QByteArray damaged = contents(path(SongFile));
        QFile journal(path(SongFile + u"-journal"_s));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("a journal of an unfinished transaction");
        journal.close();
        QFile earlier(path(SongFile + u".damaged"_s));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.close();

        Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        QVERIFY(run.output.contains(u"repaired"_s));
        QCOMPARE(contents(path(SongFile + u".damaged2"_s)), damaged);
        QCOMPARE(contents(path(SongFile + u".damaged2-journal"_s)),
                 QByteArray("a journal of an unfinished transaction"));
        QVERIFY(!QFileInfo::exists(path(SongFile + u"-journal"_s)));
        QVERIFY(!QFileInfo::exists(path(SongFile + u".new"_s)));
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        QVERIFY(log.contains(u"svpdata.tps"_s) && log.contains(u"pages in the file"_s) &&
                log.contains(u"records left out"_s) && log.contains(u".damaged2"_s));

        run = runTpsfix(m_workspace->path(), {SongFile, u"/E:svpdata.tpe"_s});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(!QFileInfo::exists(path(SongFile + u".damaged3"_s)));
        QVERIFY(!QFileInfo::exists(path(SongFile + u".new"_s)));
    }

    // A flipped number on a damaged page must not push out the intact record that really
    // has it: the intact one is kept, the salvaged one is left out with its key, and every
    // record taken from the damaged page is listed with its key for the user to check.
    void intactRecordWinsOverSalvagedOne()
    {
        const Tree before = readTree(path(SongFile));
        const quint32 damagedPage = before.leafPages.at(2);
        const qint64 flipped = before.positions.value(damagedPage).at(1);
        const qint64 intact = before.positions.value(before.leafPages.at(30)).first();
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(path(SongFile)).constData(), &db, SQLITE_OPEN_READWRITE,
                        nullptr);
        const QByteArray change = u"DROP INDEX \"Songvane_KeyID\";"
                                  "UPDATE \"Songvane\" SET ID = %1 WHERE sv_pos = %2;"_s.arg(intact)
                                      .arg(flipped)
                                      .toUtf8();
        tablefile::registerFunctions(db); // the store's own functions, as its triggers use
        QVERIFY2(sqlite3_exec(db, change.constData(), nullptr, nullptr, nullptr) == SQLITE_OK,
                 sqlite3_errmsg(db));
        sqlite3_close(db);
        const Rows original = readRows(path(SongFile));
        QCOMPARE(original.value(flipped).at(2 + mus::ID), QVariant(intact));

        // Another record of the same page made unreadable: the page counts as damaged.
        const QByteArray file = contents(path(SongFile));
        const qint64 pageStart = qint64(damagedPage - 1) * PageSize;
        const QList<LeafCell> cells = leafCells(file.mid(pageStart, PageSize));
        const auto victim = std::ranges::find_if(
            cells, [&](const LeafCell &cell) { return cell.position != flipped; });
        QVERIFY(victim != cells.end());
        overwrite(path(SongFile), pageStart + victim->recordStart, QByteArray(3, '\xFF'));

        const Run run = runTpsfix(m_workspace->path());
        QVERIFY2(run.status == QProcess::NormalExit && run.exitCode == 0, qPrintable(run.output));
        const Rows repaired = readRows(path(SongFile));
        QCOMPARE(repaired.value(intact), original.value(intact));
        QVERIFY(!repaired.contains(flipped));
        QVERIFY(!repaired.contains(victim->position));
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        QVERIFY2(log.contains(u"left out: position %1: duplicate in a unique key"_s.arg(flipped)) &&
                     log.contains(u"ID %1 from a damaged page"_s.arg(intact)),
                 qPrintable(log));
        int listed = 0;
        for (const LeafCell &cell : cells) {
            if (cell.position == flipped || cell.position == victim->position)
                continue;
            QCOMPARE(repaired.value(cell.position), original.value(cell.position));
            const qint64 id = original.value(cell.position).at(2 + mus::ID).toLongLong();
            QVERIFY2(log.contains(u"salvaged: position %1: ID %2\n"_s.arg(cell.position).arg(id)),
                     qPrintable(log));
            ++listed;
        }
        QVERIFY(listed > 3);
        QVERIFY(log.contains(u"records taken from damaged pages, to be checked: %1"_s.arg(listed)));
    }

    // A station that has the file open keeps it: the repair is refused (exit 5) and the file
    // is left as it was; once the station has gone the repair runs.
    void fileOpenAtAnotherStationIsRefused()
    {
        damagePage(path(SongFile), readTree(path(SongFile)).leafPages.at(3), 17);
        const QByteArray damaged = contents(path(SongFile));
        QProcess station;
        station.start(test::helperProgram(u"station"_s),
                      {m_workspace->path(), u"hold-open"_s, u"shared"_s});
        QVERIFY(station.waitForReadyRead(10000));
        Run run = runTpsfix(m_workspace->path());
        QCOMPARE(run.exitCode, 5);
        QVERIFY2(run.output.contains(u"open at another station"_s), qPrintable(run.output));
        QCOMPARE(contents(path(SongFile)), damaged);
        QCOMPARE(station.state(), QProcess::Running);
        station.kill();
        station.waitForFinished();
        run = runTpsfix(m_workspace->path());
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    }

    // Fixing a file whose records are all whole keeps no copy of it, however often it is
    // done; the log says so.
    void healthyFileLeavesNoCopies()
    {
        for (int round = 0; round < 3; ++round) {
            const Run run = runTpsfix(m_workspace->path());
            QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        }
        QCOMPARE(readRows(path(SongFile)).size(), 3000);
        const QString log = QString::fromUtf8(contents(path(u"tpsfix.log"_s)));
        const QStringList left = QDir(m_workspace->path()).entryList({u"svpdata.tps*"_s});
        QVERIFY2(left == QStringList{SongFile}, qPrintable(left.join(u' ') + u'\n' + log));
        QCOMPARE(log.count(u"no damage found in the file; the original was not kept"_s), 3);
    }

    // What tpsfix cannot stand for is left as it was: exit 2 (no example), 3 (not the table's).
    void refusalsLeaveFilesAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // written as svpdata.tps; null: another table
        QTest::addColumn<bool>("removeExample");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("text file")
            << QByteArray("Artist;Title\r\nA;B\r\n").repeated(900) << false << 3;
        QTest::newRow("zero length") << QByteArray("") << false << 3;
        QTest::newRow("random bytes") << garbage(8 * PageSize, 3) << false << 3;
        QTest::newRow("other table") << QByteArray() << false << 3;
        QTest::newRow("missing example") << QByteArray("whatever") << true << 2;
    }
    void refusalsLeaveFilesAlone()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, removeExample);
        QFETCH(int, exitCode);
        if (bytes.isNull()) {
            Store store(m_workspace->path());
            Table &categories = store.table(TableId::Categories);
            QVERIFY(categories.create());
            QVERIFY(QFile::remove(path(SongFile)));
            QVERIFY(QFile::copy(categories.fileName(), path(SongFile)));
            bytes = contents(path(SongFile));
        } else {
            QFile file(path(SongFile));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
        }
        if (removeExample)
            QVERIFY(QFile::remove(path(SongExample)));

        const Run run = runTpsfix(m_workspace->path());
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(!run.output.isEmpty());
        QCOMPARE(contents(path(SongFile)), bytes);
        QVERIFY(!QFileInfo::exists(path(SongFile + u".damaged"_s)));
        QVERIFY(!QFileInfo::exists(path(SongFile + u".new"_s)));
    }

    // Random damage never crashes or hangs tpsfix, and what it writes opens through the store.
    void randomDamageNeverCrashes()
    {
        QFile::remove(path(SongFile));
        QFile::remove(path(SongExample));
        QVERIFY(fillSongs(m_workspace->path(), 250));
        const QByteArray pristine = contents(path(SongFile));
        QRandomGenerator random(20240611);
        int repaired = 0;
        for (int round = 0; round < 150; ++round) {
            QByteArray bytes = pristine;
            if (random.bounded(2) == 0) {
                for (int hits = 1 + random.bounded(20); hits > 0; --hits)
                    bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            } else {
                const int length = 1 + random.bounded(3 * PageSize);
                const int offset = random.bounded(int(bytes.size()));
                bytes.replace(offset, qMin(length, int(bytes.size()) - offset),
                              garbage(qMin(length, int(bytes.size()) - offset), round));
            }
            QFile file(path(SongFile));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
            file.close();

            const Run run = runTpsfix(m_workspace->path(), {SongFile, u"/E:svpdata.tpe"_s});
            QVERIFY2(run.status == QProcess::NormalExit, qPrintable(u"round %1"_s.arg(round)));
            QVERIFY2(run.exitCode == 0 || run.exitCode == 3,
                     qPrintable(u"round %1: %2"_s.arg(round).arg(run.output)));
            if (run.exitCode == 3) {
                QCOMPARE(contents(path(SongFile)), bytes);
                continue;
            }
            ++repaired;
            Store store(m_workspace->path());
            Table &songs = store.table(TableId::Songs);
            QVERIFY2(songs.open(), qPrintable(u"round %1: %2"_s.arg(round).arg(errorText())));
            QCOMPARE(qint64(walkIds(songs, mus::KeyID).size()), songs.records());
        }
        QVERIFY(repaired > 100);
    }
};

QTEST_GUILESS_MAIN(TestTpsfix)
#include "tst_tpsfix.moc"
