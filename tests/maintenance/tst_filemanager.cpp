#include "app/preferences.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "app/settings.h"
#include "catalogue.h"
#include "maintenance/filemanager.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "store/errors.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using namespace sv;

namespace {

#ifdef TPSFIX_PROGRAM
const bool repairProgramSet = (FileManager::setRepairProgram(QStringLiteral(TPSFIX_PROGRAM)), true);
#endif

QTreeWidgetItem *row(FileManager &window, const QString &label)
{
    const auto found = window.list()->findItems(label, Qt::MatchExactly, 1);
    return found.isEmpty() ? nullptr : found.first();
}

// A catalogue with every file created and three media formats, no table held open.
class Catalogue : public test::Catalogue
{
public:
    Catalogue()
    {
        for (TableId id : allTables()) {
            QVERIFY(session.files().use(table(id))); // creates the file
        }
        Table &media = table(TableId::Media);
        QVERIFY(media.open());
        for (const char *name : {"CD", "LP", "EP"}) {
            media.buffer().setText(med::Media, QString::fromLatin1(name));
            QVERIFY(media.add());
        }
        media.close();
    }
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs an action and waits until it has gone through every file.
bool runAndWait(FileManager &window, FileManager::Action action)
{
    QSignalSpy finished(&window, &FileManager::runFinished);
    return window.run(action) && finished.wait(60000);
}

// Songs 1..count, added in one batch.
void addSongs(Session &session, int count)
{
    Table &songs = session.store().table(TableId::Songs);
    const bool openedHere = !songs.isOpen();
    if (openedHere)
        QVERIFY(songs.open());
    QVERIFY(songs.stream());
    for (int id = 1; id <= count; ++id) {
        songs.buffer().clear();
        songs.buffer().setNumber(mus::ID, id);
        songs.buffer().setText(mus::Artist, QStringLiteral("Artist %1").arg(id % 50));
        songs.buffer().setText(mus::Title, QStringLiteral("Title %1").arg(id));
        QVERIFY(songs.add());
    }
    QVERIFY(songs.flush());
    if (openedHere)
        songs.close();
}

// Every song read through the ID key, as a browser would.
qint64 walkSongs(Table &songs)
{
    qint64 count = 0;
    songs.set(mus::KeyID);
    while (songs.next())
        ++count;
    return count;
}

} // namespace

class TestFileManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // With nothing tagged an action works on the highlighted table only.
    void untaggedActionUsesHighlightedRow()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        auto *window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Media")));
        QVERIFY(runAndWait(*window, FileManager::Action::Pack));
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
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        Table &songs = session.store().table(TableId::Songs);
        const TableUse songsUse = session.files().use(songs);
        QVERIFY(songsUse);
        auto *window = new FileManager(session);
        window->tagAll(true);
        QVERIFY(runAndWait(*window, FileManager::Action::Info));
        QCOMPARE(row(*window, QStringLiteral("Media"))->text(2), QStringLiteral("3"));
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("0"));
        QCOMPARE(row(*window, QStringLiteral("EventLog"))->text(2), QStringLiteral("?"));
        QCOMPARE(row(*window, QStringLiteral("Media"))->text(3),
                 catalogue.file(QStringLiteral("svpmedia.tps")));
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
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {catalogue.path(), QStringLiteral("hold-open"), QStringLiteral("shared")});
        QVERIFY(station.waitForReadyRead(10000));
        const QString path = catalogue.file(QStringLiteral("svpdata.tps"));
        const QByteArray before = contents(path);
        auto *window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Songvane")));
        QVERIFY(runAndWait(*window, FileManager::Action::Build));
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("File Access Error")});
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("This option requires exclusive file access.\nPlease ensure no "
                                "other users are in the system."));
        QCOMPARE(contents(path), before);
        station.kill();
        station.waitForFinished();
        QVERIFY(runAndWait(*window, FileManager::Action::Build));
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("0"));
        window->close();
    }

    // After a crash while opening a file the next start offers to repair it; No leaves the
    // mark; Yes writes the layout example, runs the repair program on the file, waits for it,
    // tells what it did and ends the program, the mark gone.
    void repairOfferedAfterCrash()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        FileAccess::setBadFile(QStringLiteral("svpalbum"));
        prompter.answer(No);
        QVERIFY(!FileManager::offerRepairAfterCrash(session));
        QCOMPARE(FileAccess::badFile(), QStringLiteral("svpalbum"));

        QVERIFY(FileManager::offerRepairAfterCrash(session));
        QCOMPARE(prompter.captions(),
                 (QStringList{QStringLiteral("Warning"), QStringLiteral("Warning"),
                              QStringLiteral("Information"), QStringLiteral("Information")}));
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("Warning : The program may have crashed attempting to open the "
                                "file svpalbum. Do you wish to have the program attempt to fix "
                                "the file ? "));
        QVERIFY2(prompter.shown.last().text.startsWith(
                     QStringLiteral("The Fix Utility has repaired the file svpalbum.tps")),
                 qPrintable(prompter.shown.last().text));
        QVERIFY(QFile::exists(catalogue.file(QStringLiteral("svpalbum.tpe"))));
        QVERIFY(contents(catalogue.file(QStringLiteral("tpsfix.log")))
                    .contains("svpalbum.tps: repaired"));
        QCOMPARE(FileAccess::badFile(), QString());
    }

    // Build, Pack and Release work on the tables the program has open (the frame holds
    // songs, albums and media, a browser the song alias, every table attached): they let go
    // of the file for the action and have it back afterwards, reading as before.
    void actionsOnTablesTheProgramHasOpen()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        QVERIFY(catalogue.hold(allTables())); // as the frame and its windows hold them
        Table &songs = session.store().table(TableId::Songs);
        QVERIFY(session.store().aliasSongs().open());
        addSongs(session, 2000);

        auto *window = new FileManager(session);
        for (const QString &label :
             {QStringLiteral("Songvane"), QStringLiteral("Album"), QStringLiteral("Media")})
            window->toggleTag(window->list()->indexOfTopLevelItem(row(*window, label)));
        for (const FileManager::Action action :
             {FileManager::Action::Build, FileManager::Action::Pack,
              FileManager::Action::Release}) {
            QVERIFY(runAndWait(*window, action));
            QVERIFY2(prompter.shown.isEmpty(), qPrintable(prompter.captions().join(u',')));
            QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("2000"));
            QCOMPARE(row(*window, QStringLiteral("Media"))->text(2), QStringLiteral("3"));
            QCOMPARE(row(*window, QStringLiteral("Album"))->text(2), QStringLiteral("0"));
            QVERIFY(songs.isOpen());
            QVERIFY(session.store().aliasSongs().isOpen());
            QCOMPARE(walkSongs(songs), 2000);
            QCOMPARE(walkSongs(session.store().aliasSongs()), 2000);
        }
        QCOMPARE(session.files().users(songs), 1);
        window->close();
    }

    // Packing a file that lost most of its records gives the space back, with all ten tables
    // attached; the records left read as before.
    void packWithEveryTableAttached()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        QVERIFY(catalogue.hold(allTables())); // as the frame and its windows hold them
        Table &songs = session.store().table(TableId::Songs);
        addSongs(session, 3000);
        QVERIFY(session.store().database().logout(2));
        songs.set(mus::KeyID);
        for (int i = 0; i < 2500 && songs.next(); ++i)
            QVERIFY(songs.remove());
        QVERIFY(session.store().database().commit());
        const qint64 before = QFileInfo(songs.fileName()).size();
        auto *window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Songvane")));
        QVERIFY(runAndWait(*window, FileManager::Action::Pack));
        QVERIFY2(prompter.shown.isEmpty(), qPrintable(prompter.captions().join(u',')));
        QVERIFY(QFileInfo(songs.fileName()).size() < before / 2);
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("500"));
        QCOMPARE(walkSongs(songs), 500);
        window->close();
    }

    // Fix mends a song file damaged in the middle while the program has it open: it runs
    // the repair program without opening the file first, waits for it, says what was
    // recovered and lost, and the song table reads the recovered records afterwards.
    void fixRepairsADamagedSongFile()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        addSongs(session, 3000);
        const QString path = catalogue.file(QStringLiteral("svpdata.tps"));
        QVERIFY(test::damageLeafInTheMiddle(path, "Songvane") > 1);
        Table &songs = session.store().table(TableId::Songs);
        const TableUse songsUse = session.files().use(songs);
        QVERIFY(songsUse);

        auto *window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Songvane")));
        QVERIFY(runAndWait(*window, FileManager::Action::Fix));
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Information")});
        const QString told = prompter.shown.first().text;
        QVERIFY2(told.startsWith(QStringLiteral("The Fix Utility has repaired the file "
                                                "svpdata.tps (Songvane).")),
                 qPrintable(told));
        QVERIFY2(told.contains(QStringLiteral("pages damaged: 1")), qPrintable(told));
        const QRegularExpression recovered(QStringLiteral("records recovered: (\\d+)"));
        const qint64 kept = recovered.match(told).captured(1).toLongLong();
        QVERIFY2(kept > 2800 && kept < 3000, qPrintable(told));
        QVERIFY(told.contains(QStringLiteral("tpsfix.log")));
        QVERIFY2(told.contains(QStringLiteral("records lost on unreadable pages: positions ")),
                 qPrintable(told));
        QVERIFY(songs.isOpen());
        QCOMPARE(songs.records(), kept);
        QCOMPARE(walkSongs(songs), kept);
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QString::number(kept));
        window->close();
    }

    // Cancel while the repair program runs ends the run only once the program has ended:
    // cut short it could leave the file half replaced. Until then no other action starts and
    // the window stays; then the outcome is told and the table reads again.
    void cancelDuringFixWaitsForTheRepair()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        addSongs(session, 300);
        Table &songs = session.store().table(TableId::Songs);
        const TableUse songsUse = session.files().use(songs);
        QVERIFY(songsUse);
        // A repair program that waits for the test's word (a minute at most, so that a
        // failed test leaves nothing behind), then runs the real one.
        const QString wrapper = catalogue.file(QStringLiteral("slowfix.sh"));
        QFile script(wrapper);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ni=0\nwhile [ ! -e go ] && [ $i -lt 1200 ]; do sleep 0.05; "
                     "i=$((i+1)); done\nexec '" +
                     QFile::encodeName(FileManager::repairProgram()) + "' \"$@\"\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        const QString realProgram = FileManager::repairProgram();
        FileManager::setRepairProgram(wrapper);
        const QString example = catalogue.file(QStringLiteral("svpdata.tpe"));
        QFile::remove(example);

        QPointer<FileManager> window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Songvane")));
        QSignalSpy finished(window.data(), &FileManager::runFinished);
        QVERIFY(window->run(FileManager::Action::Fix));
        QTRY_VERIFY(QFileInfo::exists(example)); // written just before the program starts
        QPointer<ProgressWindow> progress = window->findChild<ProgressWindow *>();
        QVERIFY(progress);
        progress->cancel();
        QTRY_VERIFY(!progress);
        QVERIFY(window->isRunning());
        QCOMPARE(finished.count(), 0);
        QVERIFY(!window->run(FileManager::Action::Info));
        QVERIFY(!window->close());
        QVERIFY(prompter.shown.isEmpty());

        QFile go(catalogue.file(QStringLiteral("go")));
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();
        QVERIFY(finished.wait(60000));
        FileManager::setRepairProgram(realProgram);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!window->isRunning());
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Information")});
        QVERIFY(songs.isOpen());
        QCOMPARE(walkSongs(songs), 300);
        QCOMPARE(row(*window, QStringLiteral("Songvane"))->text(2), QStringLiteral("300"));
        QVERIFY(window->close());
    }

    // Fix on a file that is no table file answers "Not a catalogue table file." and leaves it; on a
    // file another station has open it asks for the file to itself and starts nothing.
    void fixRefusals()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        const QString categories = catalogue.file(QStringLiteral("SVPCAT.tps"));
        QFile text(categories);
        QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
        text.write("Category;Description\\r\\nRock;Loud\\r\\n");
        text.close();
        const QByteArray before = contents(categories);
        auto *window = new FileManager(session);
        window->list()->setCurrentItem(row(*window, QStringLiteral("Categories")));
        QVERIFY(runAndWait(*window, FileManager::Action::Fix));
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Error")});
        QCOMPARE(prompter.shown.first().text, QStringLiteral("Not a catalogue table file."));
        QCOMPARE(contents(categories), before);

        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {catalogue.path(), QStringLiteral("hold-open"), QStringLiteral("shared")});
        QVERIFY(station.waitForReadyRead(10000));
        const QByteArray songs = contents(catalogue.file(QStringLiteral("svpdata.tps")));
        window->list()->setCurrentItem(row(*window, QStringLiteral("Songvane")));
        QVERIFY(runAndWait(*window, FileManager::Action::Fix));
        QCOMPARE(prompter.captions().last(), QStringLiteral("File Access Error"));
        QCOMPARE(contents(catalogue.file(QStringLiteral("svpdata.tps"))), songs);
        QVERIFY(!contents(catalogue.file(QStringLiteral("tpsfix.log"))).contains("svpdata"));
        station.kill();
        station.waitForFinished();
        window->close();
    }

    // Started from Preferences, the window comes over Preferences as a window of its own,
    // takes the input Preferences gave up, and gives it back when it is done.
    void openedOverPreferences()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
        Settings::global().setupWizardComplete = 1;
        QWidget frame;
        frame.resize(800, 600);
        frame.show();
        QPointer<FileManager> manager;
        QPointer<Preferences> preferences =
            Preferences::open(session, &frame, [&](QWidget *caller) {
                manager = FileManager::open(session, caller);
            });
        QVERIFY(preferences);
        QTRY_VERIFY(preferences->isVisible());
        const auto buttons = preferences->findChildren<QPushButton *>();
        const auto found = std::find_if(buttons.begin(), buttons.end(), [](QPushButton *button) {
            return button->text() == QStringLiteral("File Manager");
        });
        QVERIFY(found != buttons.end());
        (*found)->click();
        QVERIFY(manager);
        QVERIFY(manager->isWindow());
        QCOMPARE(manager->parentWidget(), preferences.data());
        QCOMPARE(manager->windowModality(), Qt::WindowModal);
        QTRY_COMPARE(QApplication::activeModalWidget(), manager.data());
        QVERIFY(manager->width() >= 400 && manager->height() >= 200);
        QVERIFY(runAndWait(*manager, FileManager::Action::Info));
        manager->close();
        QTRY_VERIFY(!manager);
        QVERIFY(preferences->isVisible());
        QTRY_COMPARE(QApplication::activeModalWidget(), preferences.data());
        preferences->reject();
    }

    // The list layout is kept under the window's section; a layout saved under another
    // design is discarded.
    void listLayoutIsKept()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Session &session = catalogue.session;
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
