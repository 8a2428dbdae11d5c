#include "store/errors.h"
#include "store/fileaccess.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sqlite3.h>

using namespace sv;

namespace {

using test::SmallDisk;
using Catalogue = test::StoreCatalogue;

QByteArray contents(const QString &path)
{
    return test::fileContents(path);
}

} // namespace

class TestDiskFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A full disk fails the write with the engine's own message; everything written before
    // stays readable and the file stays sound.
    void fullDiskKeepsTheFileSound()
    {
        test::Workspace workspace;
        const QString folder = workspace.file(QStringLiteral("disk"));
        SmallDisk disk(folder, 600);
        if (!disk.mounted())
            QSKIP("mounting a small file system is not allowed here");
        qint64 added = 0;
        {
            test::ScriptedPrompter prompter;
            Catalogue catalogue(folder);
            Table &songs = catalogue.store.table(TableId::Songs);
            const TableUse use = catalogue.files.use(songs);
            QVERIFY(use);
            songs.buffer().setMemo(mus::Notes, QString(2000, u'n'));
            while (added < 100000) {
                songs.buffer().setNumber(mus::ID, added + 1);
                if (!songs.add())
                    break;
                ++added;
            }
            QCOMPARE(errorCode(), err::FileSystemError);
            QVERIFY2(fileError().contains(QStringLiteral("full")), qPrintable(fileError()));
            QVERIFY(added > 10);
        }
        Catalogue again(folder);
        Table &songs = again.store.table(TableId::Songs);
        QVERIFY(songs.open());
        QCOMPARE(songs.records(), added);
        sqlite3 *db = nullptr;
        sqlite3_open_v2((folder + QStringLiteral("/svpdata.tps")).toUtf8().constData(), &db,
                        SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        QCOMPARE(sqlite3_step(check), SQLITE_ROW);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(check, 0))),
                 QByteArray("ok"));
        sqlite3_finalize(check);
        sqlite3_close(db);
    }

    // A disk that fills up inside a transaction: no write after the failure is committed
    // on its own, ROLLBACK leaves the file as it was before the transaction, and a batch
    // is not committed in part.
    void fullDiskInsideATransaction_data()
    {
        QTest::addColumn<bool>("stream");
        QTest::newRow("logout") << false;
        QTest::newRow("stream") << true;
    }
    void fullDiskInsideATransaction()
    {
        QFETCH(bool, stream);
        test::Workspace workspace;
        const QString folder = workspace.file(QStringLiteral("disk"));
        SmallDisk disk(folder, 1024);
        if (!disk.mounted())
            QSKIP("mounting a small file system is not allowed here");
        test::ScriptedPrompter prompter;
        Catalogue catalogue(folder);
        Table &songs = catalogue.store.table(TableId::Songs);
        Database &database = catalogue.store.database();
        const TableUse use = catalogue.files.use(songs);
        QVERIFY(use);
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(songs.add());
        QVERIFY(stream ? songs.stream() : database.logout(1));
        songs.buffer().setMemo(mus::Notes, QString(2000, u'n'));
        qint64 id = 2;
        while (id < 100000) {
            songs.buffer().setNumber(mus::ID, id);
            if (!songs.add())
                break;
            ++id;
        }
        QCOMPARE(errorCode(), err::FileSystemError);
        // Small enough to fit: still never written outside the transaction.
        const bool endedByTheEngine = sqlite3_get_autocommit(database.handle()) != 0;
        songs.buffer().setMemo(mus::Notes, QString());
        songs.buffer().setNumber(mus::ID, 100001);
        const bool laterWrite = songs.add();
        if (stream) {
            QVERIFY(!laterWrite);
            QVERIFY(!songs.flush());
            QCOMPARE(errorCode(), err::FileSystemError);
        } else {
            QCOMPARE(laterWrite, !endedByTheEngine);
            QVERIFY(database.rollback());
        }
        QVERIFY(!database.inTransaction());
        QCOMPARE(songs.records(), 1);
        songs.buffer().setNumber(mus::ID, 100001);
        QVERIFY(!songs.get(mus::KeyID));
        // The engine's count and ours agree, and the file takes writes again.
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, 3);
        QVERIFY2(songs.add(), qPrintable(fileError()));
        QCOMPARE(songs.records(), 2);
    }

    // A catalogue on a read-only disk is reported as not accessible, and left as it was.
    void readOnlyFolder()
    {
        test::Workspace workspace;
        const QString folder = workspace.file(QStringLiteral("disk"));
        SmallDisk disk(folder, 2048);
        if (!disk.mounted())
            QSKIP("mounting a small file system is not allowed here");
        {
            Catalogue catalogue(folder);
            QVERIFY(catalogue.files.use(catalogue.store.table(TableId::Media)));
        }
        const QByteArray before = contents(folder + QStringLiteral("/svpmedia.tps"));
        if (!disk.makeReadOnly())
            QSKIP("remounting read-only is not allowed here");
        test::ScriptedPrompter prompter;
        Catalogue catalogue(folder);
        QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Media)));
        QCOMPARE(prompter.shown.value(0).text,
                 QStringLiteral("File (svpmedia) could not be opened.  Error: Access Denied (5)."));
        QCOMPARE(prompter.halts, QStringList{QStringLiteral("Disk Error")});
        QCOMPARE(contents(folder + QStringLiteral("/svpmedia.tps")), before);
        // A missing table cannot be created there either: the creation warning ends it.
        test::ScriptedPrompter second;
        QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Fonts)));
        QCOMPARE(second.captions().value(0), QStringLiteral("File Creation Error"));
    }
};

QTEST_GUILESS_MAIN(TestDiskFaults)
#include "tst_diskfaults.moc"
