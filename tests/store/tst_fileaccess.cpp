#include "store/errors.h"
#include "store/fileaccess.h"
#include "store/warnings.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

using namespace sv;

namespace {

using Catalogue = test::StoreCatalogue;

QByteArray contents(const QString &path)
{
    return test::fileContents(path);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void fillMedia(Catalogue &catalogue, int count)
{
    Table &media = catalogue.store.table(TableId::Media);
    const TableUse use = catalogue.files.use(media);
    QVERIFY(use);
    QVERIFY(catalogue.store.database().logout(2));
    for (int i = 0; i < count; ++i) {
        media.buffer().setText(med::Media,
                               QStringLiteral("Format %1 %2").arg(i).arg(QString(12, u'x')));
        QVERIFY(media.add());
    }
    QVERIFY(catalogue.store.database().commit());
}

int rootPage(const QString &path, const char *name)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt *query = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = ?1", -1, &query,
                       nullptr);
    sqlite3_bind_text(query, 1, name, -1, SQLITE_STATIC);
    const int page = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int(query, 0) : 0;
    sqlite3_finalize(query);
    sqlite3_close(db);
    return page;
}

void overwritePage(const QString &path, int page)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(qint64(page - 1) * 4096));
    file.write(QByteArray(4096, char(0x5A)));
}

} // namespace

class TestFileAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A missing file is created empty and the in-progress mark is cleared afterwards.
    void missingFileIsCreated()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        Table &media = catalogue.store.table(TableId::Media);
        const TableUse use = catalogue.files.use(media);
        QVERIFY(use);
        QVERIFY(media.isOpen());
        QCOMPARE(media.records(), 0);
        QCOMPARE(FileAccess::badFile(), QString());
        QVERIFY(prompter.shown.isEmpty());
    }

    // The file is opened by the first user only and closed by the last; opening a table
    // that is already open counts as success. A hold gives its count back once, however
    // it is moved or ended.
    void openCounts()
    {
        test::Workspace workspace;
        Catalogue catalogue(workspace.path());
        Table &songs = catalogue.store.table(TableId::Songs);
        TableUse first = catalogue.files.use(songs);
        TableUse second = catalogue.files.use(songs);
        QVERIFY(first && second);
        QCOMPARE(catalogue.files.users(songs), 2);
        TableUse moved = std::move(second);
        QVERIFY(!second);
        second.reset(); // a moved-from hold gives nothing back
        QCOMPARE(catalogue.files.users(songs), 2);
        first = std::move(moved); // the hold it replaces is given back
        QCOMPARE(catalogue.files.users(songs), 1);
        QVERIFY(songs.isOpen());
        first.reset();
        first.reset();
        QCOMPARE(catalogue.files.users(songs), 0);
        QVERIFY(!songs.isOpen());

        // Several tables are held all together or not at all.
        {
            const TableUses both =
                catalogue.files.use({&songs, &catalogue.store.table(TableId::Media)});
            QVERIFY(both);
            QCOMPARE(catalogue.files.users(catalogue.store.table(TableId::Media)), 1);
        }
        QCOMPARE(catalogue.files.users(catalogue.store.table(TableId::Media)), 0);
        QVERIFY(!songs.isOpen());
        QVERIFY(songs.open());
        QVERIFY(catalogue.files.openRoutine(songs));
    }

    // Keys reported invalid ask once; Yes rebuilds them and opens, No ends the program.
    void invalidKeysAskToRebuild()
    {
        test::Workspace workspace;
        {
            Catalogue setup(workspace.path());
            fillMedia(setup, 30);
        }
        const QString path = workspace.file(QStringLiteral("svpmedia.tps"));
        sqlite3 *db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, "DROP INDEX Media_KeyMedia", nullptr, nullptr, nullptr);
        sqlite3_close(db);

        {
            test::ScriptedPrompter prompter;
            prompter.answer(No);
            Catalogue catalogue(workspace.path());
            QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Media)));
            QCOMPARE(prompter.shown.size(), 1);
            QCOMPARE(prompter.shown.first().caption, QStringLiteral("Invalid Key"));
            QCOMPARE(prompter.shown.first().text,
                     QStringLiteral("svpmedia key file is invalid.  Do you want to rebuild the "
                                    "key?"));
            QCOMPARE(prompter.halts, QStringList{QStringLiteral("Invalid Key!")});
            QCOMPARE(FileAccess::badFile(), QStringLiteral("svpmedia"));
        }
        test::ScriptedPrompter prompter;
        prompter.answer(Yes);
        Catalogue catalogue(workspace.path());
        Table &media = catalogue.store.table(TableId::Media);
        const TableUse use = catalogue.files.use(media);
        QVERIFY(use);
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.halts.isEmpty());
        media.set(med::KeyMedia);
        int listed = 0;
        while (media.next())
            ++listed;
        QCOMPARE(listed, 30);
        QCOMPARE(FileAccess::badFile(), QString());
    }

    // A damaged key page is found at open and mended by the rebuild the user agrees to.
    void damagedKeyPageIsRebuilt()
    {
        test::Workspace workspace;
        {
            Catalogue setup(workspace.path());
            fillMedia(setup, 400);
        }
        const QString path = workspace.file(QStringLiteral("svpmedia.tps"));
        const int page = rootPage(path, "Media_KeyMedia");
        QVERIFY(page > 1);
        overwritePage(path, page);
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        Table &media = catalogue.store.table(TableId::Media);
        const TableUse use = catalogue.files.use(media);
        const bool opened = bool(use);
        QCOMPARE(prompter.captions().value(0), QStringLiteral("Invalid Key"));
        if (opened) {
            QCOMPARE(media.records(), 400);
        } else {
            // The engine could not free the damaged key's pages: the repair tool's case.
            QCOMPARE(prompter.captions().value(1), QStringLiteral("Key Rebuild Error"));
            QCOMPARE(FileAccess::badFile(), QStringLiteral("svpmedia"));
        }
    }

    // A file that is not a table file at all is reported, left exactly as it was, and stays
    // marked so the next start offers to repair it.
    void foreignFileIsLeftAlone()
    {
        test::Workspace workspace;
        const QString path = workspace.file(QStringLiteral("svpfont.tps"));
        const QByteArray picture = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(5000, 'p');
        writeFile(path, picture);
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Fonts)));
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.first().caption, QStringLiteral("File Access Error"));
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("File (svpfont) could not be opened.  Error: Invalid Data File "
                                "(36)."));
        QCOMPARE(prompter.halts, QStringList{QStringLiteral("Disk Error")});
        QCOMPARE(contents(path), picture);
        QCOMPARE(FileAccess::badFile(), QStringLiteral("svpfont"));
    }

    // Truncated and empty files are both reported without being made worse.
    void truncatedAndEmptyFiles()
    {
        test::Workspace workspace;
        {
            Catalogue setup(workspace.path());
            fillMedia(setup, 400);
        }
        const QString path = workspace.file(QStringLiteral("svpmedia.tps"));
        QByteArray bytes = contents(path);
        bytes.truncate(bytes.size() / 2);
        writeFile(path, bytes);
        {
            test::ScriptedPrompter prompter;
            Catalogue catalogue(workspace.path());
            QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Media)));
            QCOMPARE(prompter.captions(), QStringList{QStringLiteral("File Access Error")});
            QCOMPARE(prompter.halts, QStringList{QStringLiteral("Disk Error")});
            QCOMPARE(contents(path), bytes);
        }
        // An empty file lost everything it held: it is reported and left for the repair
        // at the next start, not hidden behind a new empty table.
        writeFile(path, QByteArray());
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Media)));
        QCOMPARE(prompter.shown.value(0).text,
                 QStringLiteral("File (svpmedia) could not be opened.  Error: Invalid Data File "
                                "(36)."));
        QCOMPARE(prompter.halts, QStringList{QStringLiteral("Disk Error")});
        QCOMPARE(FileAccess::badFile(), QStringLiteral("svpmedia"));
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    // A damaged page among the records lets the file open; the read that meets it reports
    // the engine's own error.
    void damagedRecordPageIsReportedByTheRead()
    {
        test::Workspace workspace;
        {
            Catalogue setup(workspace.path());
            fillMedia(setup, 2000);
        }
        const QString path = workspace.file(QStringLiteral("svpmedia.tps"));
        QVERIFY(test::damageLeafInTheMiddle(path, "Media") > 1);
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        Table &media = catalogue.store.table(TableId::Media);
        const TableUse use = catalogue.files.use(media);
        QVERIFY2(use, qPrintable(errorText()));
        media.setFileOrder();
        while (media.next()) {
        }
        QCOMPARE(errorCode(), err::FileSystemError);
        QVERIFY(!fileErrorCode().isEmpty());
        QCOMPARE(standardWarningMessage(warning::RecordRetrieval, QStringLiteral("Media")).text,
                 QStringLiteral("Error: (") + fileError() + QStringLiteral(" (") + fileErrorCode() +
                     QStringLiteral(")) attempting to access a record from the Media file.  "
                                    "Returning to previous window."));

        // The warning marks the file for the repair and says so, once; the mark outlives
        // the opening of other files, which clears the mark of a finished open.
        QCOMPARE(standardWarning(warning::RecordRetrieval, QStringLiteral("Media")), Ok);
        QCOMPARE(prompter.captions(), (QStringList{QStringLiteral("Record Retrieval Error"),
                                                   QStringLiteral("Damaged File")}));
        QVERIFY2(prompter.shown.last().text.startsWith(
                     QStringLiteral("The file svpmedia.tps (Media) is damaged: ")),
                 qPrintable(prompter.shown.last().text));
        QVERIFY(prompter.shown.last().text.contains(QStringLiteral("Fix in the File Manager")));
        QCOMPARE(FileAccess::badFile(), QStringLiteral("svpmedia"));
        const TableUse categories = catalogue.files.use(catalogue.store.table(TableId::Categories));
        QVERIFY(categories);
        QCOMPARE(FileAccess::badFile(), QStringLiteral("svpmedia"));
        media.setFileOrder();
        while (media.next()) {
        }
        standardWarning(warning::RecordRetrieval, QStringLiteral("Media"));
        QCOMPARE(prompter.shown.size(), 3);
        FileAccess::noteRepaired(QStringLiteral("svpmedia"));
        QCOMPARE(FileAccess::badFile(), QString());
    }

    // A tips file that cannot be mended must not end the program at every start: the user
    // learns which file and what was tried, and either goes on without tips (the file left
    // as it is, no mark for the next start) or gets an empty file, the damaged one kept aside.
    void damagedTipsFileDoesNotStopTheProgram()
    {
        test::Workspace workspace;
        const QString path =
            workspace.file(tableDef(TableId::Tips).fileName + QStringLiteral(".tps"));
        const QByteArray picture = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(5000, 'p');
        writeFile(path, picture);
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        Table &tips = catalogue.store.table(TableId::Tips);
        prompter.answer(No);
        QVERIFY(!catalogue.files.use(tips));
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Damaged File")});
        const QString told = prompter.shown.first().text;
        QVERIFY2(told.startsWith(QStringLiteral("The file %1.tps (SVPTips) is damaged and cannot "
                                                "be opened: Invalid Data File (36).")
                                     .arg(tableDef(TableId::Tips).fileName)),
                 qPrintable(told));
        QVERIFY(told.contains(QStringLiteral("tried to bring it up to date")));
        QVERIFY(prompter.halts.isEmpty());
        QCOMPARE(contents(path), picture);
        QCOMPARE(FileAccess::badFile(), QString());

        prompter.answer(Yes);
        const TableUse held = catalogue.files.use(tips);
        QVERIFY(held);
        QVERIFY(prompter.halts.isEmpty());
        QCOMPARE(tips.records(), 0);
        QCOMPARE(contents(path + QStringLiteral(".damaged")), picture);
        QCOMPARE(FileAccess::badFile(), QString());
    }

    // A journal whose header was zeroed holds nothing to play back: a deleted table is
    // created again beside it. One with a valid header still stops the creation.
    void journalWithoutHeaderIsNotHot()
    {
        test::Workspace workspace;
        const QString path = workspace.file(QStringLiteral("svpfont.tps"));
        writeFile(path + QStringLiteral("-journal"), QByteArray(1024, '\0'));
        {
            test::ScriptedPrompter prompter;
            Catalogue catalogue(workspace.path());
            const TableUse use = catalogue.files.use(catalogue.store.table(TableId::Fonts));
            QVERIFY(use);
            QVERIFY(prompter.shown.isEmpty());
        }
        QFile::remove(path);
        writeFile(path + QStringLiteral("-journal"),
                  QByteArray("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8) + QByteArray(1016, '\1'));
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Fonts)));
        QCOMPARE(prompter.captions().value(0), QStringLiteral("File Creation Error"));
        QVERIFY(!QFileInfo::exists(path));
    }

    // Super-journals left by killed stations go when no journal they list is left; one a
    // journal still refers to, or one a commit may be writing right now, stays.
    void orphanSuperJournalsAreRemoved()
    {
        test::Workspace workspace;
        const QString folder = workspace.path();
        const auto superJournal = [&](const QString &name, const QByteArray &journals, int age) {
            const QString path = workspace.file(QStringLiteral("svpmain.db-mj") + name);
            writeFile(path, journals);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                                     QFileDevice::FileModificationTime));
        };
        const QByteArray gone = (folder + QStringLiteral("/svpdata.tps-journal")).toUtf8() + '\0' +
                                (folder + QStringLiteral("/svpalbum.tps-journal")).toUtf8() + '\0';
        const QByteArray kept = (folder + QStringLiteral("/svptest.tps-journal")).toUtf8() + '\0';
        writeFile(folder + QStringLiteral("/svptest.tps-journal"), QByteArray(512, '\1'));
        superJournal(QStringLiteral("0A1B2C9D3"), gone, 600);
        superJournal(QStringLiteral("0A1B2C9D4"), QByteArray(), 600);
        superJournal(QStringLiteral("0A1B2C9D5"), kept, 600);
        superJournal(QStringLiteral("0A1B2C9D6"), gone, 0);
        Store store(folder);
        QCOMPARE(QDir(folder).entryList({QStringLiteral("svpmain.db-mj*")}, QDir::Files),
                 (QStringList{QStringLiteral("svpmain.db-mj0A1B2C9D5"),
                              QStringLiteral("svpmain.db-mj0A1B2C9D6")}));
    }

    // A file held exclusively by another station cannot be opened: the warning names it and
    // the program ends, without marking the file as damaged.
    void fileLockedByAnotherStation()
    {
        test::Workspace workspace;
        {
            Catalogue setup(workspace.path());
            QVERIFY(setup.files.use(setup.store.table(TableId::Songs)));
        }
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {workspace.path(), QStringLiteral("hold-open"), QStringLiteral("exclusive")});
        QVERIFY(station.waitForReadyRead(10000));
        QCOMPARE(station.readLine().trimmed(), QByteArray("ready"));
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        QVERIFY(!catalogue.files.use(catalogue.store.table(TableId::Songs)));
        QCOMPARE(prompter.shown.value(0).text,
                 QStringLiteral("File (svpdata) could not be opened.  Error: File Is Already "
                                "Locked (32)."));
        QCOMPARE(FileAccess::badFile(), QString());
        station.kill();
        station.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestFileAccess)
#include "tst_fileaccess.moc"
