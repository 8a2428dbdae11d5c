#include "app/session.h"
#include "maintenance/filemanager.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "store/errors.h"
#include "testsupport.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTreeWidget>

using namespace sv;

namespace {

QTreeWidgetItem *row(FileManager &window, const QString &label)
{
    const auto found = window.list()->findItems(label, Qt::MatchExactly, 1);
    return found.isEmpty() ? nullptr : found.first();
}

void prepareFiles(Session &session)
{
    session.announceTables();
    for (TableId id : allTables()) {
        QVERIFY(session.files().use(session.store().table(id))); // creates the file
    }
    Table &media = session.store().table(TableId::Media);
    QVERIFY(media.open());
    for (const char *name : {"CD", "LP", "EP"}) {
        media.buffer().setText(med::Media, QString::fromLatin1(name));
        QVERIFY(media.add());
    }
    media.close();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestFileManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // With nothing tagged an action works on the highlighted table only.
    void untaggedActionUsesHighlightedRow()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        prepareFiles(session);
        auto *window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Media")));
        window->run(FileManager::Action::Pack);
        QCOMPARE(row(*window, QStringLiteral("Media"))->text(2), QStringLiteral("3"));
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("?"));
        QVERIFY(!session.store().table(TableId::Media).isOpen());
        QVERIFY(prompter.shown.isEmpty());
        window->close();
    }

    // Tagged rows are all handled; the event log row has no action; Info shows the file
    // name and leaves no table open, and a table the program already has open still
    // shows its count.
    void infoOnTaggedRows()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        prepareFiles(session);
        Table &songs = session.store().table(TableId::Songs);
        const TableUse songsUse = session.files().use(songs);
        QVERIFY(songsUse);
        auto *window = new FileManager(session);
        window->tagAll(true);
        window->run(FileManager::Action::Info);
        QCOMPARE(row(*window, QStringLiteral("Media"))->text(2), QStringLiteral("3"));
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("0"));
        QCOMPARE(row(*window, QStringLiteral("EventLog"))->text(2), QStringLiteral("?"));
        QCOMPARE(row(*window, QStringLiteral("Media"))->text(3),
                 workspace.file(QStringLiteral("svpmedia.tps")));
        QVERIFY(songs.isOpen());
        QVERIFY(!session.store().table(TableId::Media).isOpen());
        window->toggleTag(0);
        QCOMPARE(window->list()->topLevelItem(0)->data(0, Qt::UserRole).toString(), QString());
        QVERIFY(prompter.shown.isEmpty());
        window->close();
    }

    // Build needs the file to itself: another station using it gets the access message and
    // the file is not touched.
    void buildRefusedWhileAnotherStationUsesTheFile()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        prepareFiles(session);
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {workspace.path(), QStringLiteral("hold-open"), QStringLiteral("shared")});
        QVERIFY(station.waitForReadyRead(10000));
        const QString path = workspace.file(QStringLiteral("svpdata.tps"));
        const QByteArray before = contents(path);
        auto *window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Songvane")));
        window->run(FileManager::Action::Build);
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("File Access Error")});
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("This option requires exclusive file access.\nPlease ensure no "
                                "other users are in the system."));
        QCOMPARE(contents(path), before);
        station.kill();
        station.waitForFinished();
        window->run(FileManager::Action::Build);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("0"));
        window->close();
    }

    // After a crash while opening a file the next start offers to repair it; Yes writes the
    // layout example, starts the repair program on the file and ends the program.
    void repairOfferedAfterCrash()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        prepareFiles(session);
        QString started;
        QStringList arguments;
        QString folder;
        FileManager::setProcessStarter(
            [&](const QString &program, const QStringList &args, const QString &dir) {
                started = program;
                arguments = args;
                folder = dir;
                return true;
            });
        FileAccess::setBadFile(QStringLiteral("svpalbum"));
        prompter.answer(No);
        QVERIFY(!FileManager::offerRepairAfterCrash(session));
        QCOMPARE(FileAccess::badFile(), QStringLiteral("svpalbum"));
        QVERIFY(started.isEmpty());

        QVERIFY(FileManager::offerRepairAfterCrash(session));
        QCOMPARE(prompter.captions(),
                 (QStringList{QStringLiteral("Warning"), QStringLiteral("Warning"),
                              QStringLiteral("Information")}));
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("Warning : The program may have crashed attempting to open the "
                                "file svpalbum. Do you wish to have the program attempt to fix "
                                "the file ? "));
        QVERIFY(started.endsWith(QStringLiteral("tpsfix")));
        QCOMPARE(arguments, (QStringList{QStringLiteral("svpalbum.tps"),
                                         QStringLiteral("/E:svpalbum.tpe"), QStringLiteral("/K")}));
        QCOMPARE(folder, workspace.path());
        QVERIFY(QFile::exists(workspace.file(QStringLiteral("svpalbum.tpe"))));
        QCOMPARE(FileAccess::badFile(), QString());
        FileManager::setProcessStarter(nullptr);
    }

    // The list layout is kept under the window's section; a layout saved under another
    // design is discarded.
    void listLayoutIsKept()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        prepareFiles(session);
        auto *window = new FileManager(session);
        window->show();
        window->list()->setColumnWidth(1, 333);
        window->close();
        const QString saved =
            IniFile::get(QStringLiteral("FileManager"), QStringLiteral("SRCF?ListQueue"), QString(),
                         Paths::positionFile());
        QVERIFY(!saved.isEmpty());
        QVERIFY(!IniFile::get(QStringLiteral("FileManager"),
                              QStringLiteral("SRCFOriginal?ListQueue"), QString(),
                              Paths::positionFile())
                     .isEmpty());
        auto *again = new FileManager(session);
        QVERIFY(qAbs(again->list()->columnWidth(1) - 333) <= 8);
        again->close();
    }
};

QTEST_MAIN(TestFileManager)
#include "tst_filemanager.moc"
