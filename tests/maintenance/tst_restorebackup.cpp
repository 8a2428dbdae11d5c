#include "app/session.h"
#include "app/settings.h"
#include "catalogue.h"
#include "maintenance/filemanager.h"
#include "maintenance/restorebackup.h"
#include "platform/stddate.h"
#include "store/backup.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTreeWidget>

#include <sqlite3.h>

using namespace sv;

namespace {

// A catalogue as the program holds it (songs, albums and media open), with songs 1 to 4.
class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::Songs, TableId::Albums, TableId::Media})
    {
        for (TableId id : allTables())
            QVERIFY(session.files().use(table(id))); // every file there
        for (int id = 1; id <= 4; ++id)
            addSong(id);
    }
    void addSong(qint64 id)
    {
        Table &songs = table(TableId::Songs);
        test::newSong(songs, id).setText(mus::Title, QStringLiteral("Song %1").arg(id));
        QVERIFY(songs.add());
    }
    // A backup into the default folder, taken at `taken`.
    void backUp(const QDateTime &taken)
    {
        CatalogueBackup backup(path(), file(QStringLiteral("Backups")));
        QVERIFY(backup.start(taken, true));
        CatalogueBackup::Step step = CatalogueBackup::Step::Going;
        while (step == CatalogueBackup::Step::Going)
            step = backup.step(256);
        QCOMPARE(step, CatalogueBackup::Step::Done);
    }
    QStringList titles()
    {
        Table &songs = table(TableId::Songs);
        QStringList found;
        songs.set(mus::KeyID);
        while (songs.next())
            found.append(songs.buffer().text(mus::Title));
        return found;
    }
};

// The titles in a song file, in number order, read with the bare engine.
QStringList titlesIn(const QString &path)
{
    QStringList titles;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *query = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT Title FROM Songvane ORDER BY ID", -1, &query, nullptr) ==
        SQLITE_OK) {
        while (sqlite3_step(query) == SQLITE_ROW)
            titles.append(
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(query, 0))));
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return titles;
}

const QDateTime Taken(QDate(2024, 6, 3), QTime(18, 30, 5));
const QStringList Original = {QStringLiteral("Song 1"), QStringLiteral("Song 2"),
                              QStringLiteral("Song 3"), QStringLiteral("Song 4")};
const QStringList Changed = {QStringLiteral("Song 2"), QStringLiteral("Song 3"),
                             QStringLiteral("Song 4"), QStringLiteral("Song 5")};

} // namespace

class TestRestoreBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { Clock::useSystemClock(); }

    // The window lists the backups newest first with their moment and songs; Yes restores
    // the one chosen while the program's windows keep the catalogue open, keeps the files
    // it replaced, and the File Manager shows the restored counts.
    void restoresTheChosenBackup()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.backUp(Taken.addDays(-1));
        catalogue.addSong(9);
        catalogue.backUp(Taken);
        Table &songs = catalogue.table(TableId::Songs);
        songs.buffer().setNumber(mus::ID, 9);
        QVERIFY(songs.get(mus::KeyID) && songs.remove());
        songs.buffer().setNumber(mus::ID, 1);
        QVERIFY(songs.get(mus::KeyID) && songs.remove());
        catalogue.addSong(5);
        QCOMPARE(catalogue.titles(), Changed);

        Clock::setSource([] { return QDateTime(QDate(2024, 6, 4), QTime(9, 0)); });
        auto *manager = new FileManager(catalogue.session);
        QPointer<RestoreBackupWindow> window = manager->openRestoreBackup();
        QVERIFY(window);
        QCOMPARE(window->list()->topLevelItemCount(), 2);
        const QString takenText = backupTakenText(Taken);
        QVERIFY(takenText.endsWith(QStringLiteral("18:30:05")));
        QCOMPARE(window->list()->topLevelItem(0)->text(0), takenText);
        QCOMPARE(window->list()->topLevelItem(0)->text(1), QStringLiteral("5"));
        QCOMPARE(window->list()->topLevelItem(1)->text(1), QStringLiteral("4"));

        window->list()->setCurrentItem(window->list()->topLevelItem(1));
        prompter.answer(Yes);
        QVERIFY(window->restoreChosen());
        QCOMPARE(prompter.shown.size(), 2);
        QVERIFY(prompter.shown.first().text.startsWith(
            QStringLiteral("Replace the catalogue with the backup taken ") +
            backupTakenText(Taken.addDays(-1)) + QStringLiteral(" (4 songs)?")));
        QVERIFY(prompter.shown.last().text.contains(QStringLiteral("was restored")));
        QVERIFY(songs.isOpen());
        QCOMPARE(catalogue.titles(), Original);
        const auto songsRow =
            manager->list()->findItems(QStringLiteral("Songvane"), Qt::MatchExactly, 1);
        QCOMPARE(songsRow.first()->text(2), QStringLiteral("4"));

        const QString aside = catalogue.file(QStringLiteral("Replaced 2024-06-04 09-00-00"));
        QCOMPARE(titlesIn(QDir(aside).filePath(QStringLiteral("svpdata.tps"))), Changed);
        for (const QString &name : catalogueFileNames())
            QVERIFY2(QFileInfo::exists(QDir(aside).filePath(name)), qPrintable(name));
        QVERIFY(window.isNull() || !window->isVisible());
        manager->close();
    }

    // No changes nothing; another station with a file open keeps the catalogue from being
    // replaced, and the program's windows go on with it.
    void refusedAndBlockedRestores()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.backUp(Taken);
        catalogue.addSong(5);
        auto *window = new RestoreBackupWindow(catalogue.session, nullptr);
        prompter.answer(No);
        QVERIFY(!window->restoreChosen());
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(catalogue.titles().size(), 5);

        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {catalogue.path(), QStringLiteral("hold-open"), QStringLiteral("shared")});
        QVERIFY(station.waitForReadyRead(10000));
        QCOMPARE(station.readLine().trimmed(), QByteArray("ready"));
        prompter.answer(Yes);
        QVERIFY(!window->restoreChosen());
        station.kill();
        station.waitForFinished();
        QCOMPARE(prompter.shown.last().caption, QStringLiteral("File Access Error"));
        QVERIFY(catalogue.table(TableId::Songs).isOpen());
        QCOMPARE(catalogue.titles().size(), 5);
        const QStringList replaced =
            QDir(catalogue.path()).entryList({QStringLiteral("Replaced*")});
        QVERIFY(replaced.isEmpty());
        catalogue.addSong(6); // still writable
        window->close();
    }
};

QTEST_MAIN(TestRestoreBackup)
#include "tst_restorebackup.moc"
