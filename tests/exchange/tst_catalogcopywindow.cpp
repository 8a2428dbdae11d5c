// The copy windows: the server field that takes only a server URL, the copy with its bars,
// each table's count check, the question before a catalogue is replaced, Cancel, refused
// logins, and a window that closes leaving nothing behind.
#include "catalogue.h"
#include "exchange/catalogcopywindow.h"
#include "platform/prompter.h"
#include "scratchserver.h"
#include "store/servertable.h"
#include "store/store.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace sv;
using namespace sv::exchange;
using namespace Qt::StringLiterals;

namespace {

test::ScratchServer &server()
{
    static test::ScratchServer instance;
    return instance;
}

// A catalogue with every table's file and a few songs and categories.
struct Filled : test::Catalogue
{
    explicit Filled(int songs) : test::Catalogue(allTables())
    {
        Table &categories = table(TableId::Categories);
        for (int i = 1; i <= 3; ++i)
            QVERIFY(test::addCategory(categories, i, u"Category %1 ✓"_s.arg(i)));
        Table &songTable = table(TableId::Songs);
        for (int i = 1; i <= songs; ++i) {
            test::newSong(songTable, i).setText(mus::Artist, u"Artist %1 🎹"_s.arg(i));
            QVERIFY(songTable.add());
        }
    }
};

qint64 serverSongs(const QString &url)
{
    ServerDatabase db(url);
    ServerTable songs(db, tableDef(TableId::Songs), u"MUS"_s);
    return songs.open() ? songs.records() : -1;
}

// Waits for the run the window started to end, and for its closing message.
bool waitForEnd(CatalogueCopyWindow &window, test::ScriptedPrompter &prompter, qsizetype shown)
{
    return QTest::qWaitFor([&] { return !window.isCopying() && prompter.shown.size() > shown; },
                           60000);
}

struct Outcome
{
    int status = -1;
    QString errors;
};

// Runs the real program on the catalogue as a script would, without a display.
Outcome songvane(const test::Catalogue &catalogue, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(
        QDir(test::helperProgram(QString())).filePath(u"../../songvane"_s),
        QStringList{u"--config"_s, catalogue.file(u"config"_s), u"--data"_s, catalogue.path()} +
            arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

} // namespace

class TestCatalogCopyWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!server().installed())
            QSKIP(qPrintable(server().skipReason()));
        QVERIFY2(server().start(), qPrintable(server().error()));
    }

    // Copy only with a server URL; the copy shows every table with its count check, says
    // so at the end, and Close takes the window away.
    void copyToServer()
    {
        test::ScriptedPrompter prompter;
        Filled catalogue(50);
        const QString url = server().createDatabase(u"window"_s);
        QPointer<CatalogueCopyWindow> window = CatalogueCopyWindow::open(
            catalogue.session, CatalogueCopy::Direction::ToServer, nullptr);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), u"Copy Catalogue to Server"_s);
        window->serverField()->setText(u"http://example.org/db"_s);
        QVERIFY(!window->copyButton()->isEnabled());
        QVERIFY(window->status().contains(u"postgresql://"_s));
        window->serverField()->setText(url);
        QVERIFY(window->copyButton()->isEnabled());

        window->copyButton()->click();
        QVERIFY(window->isCopying());
        QVERIFY(waitForEnd(*window, prompter, 0));
        QCOMPARE(prompter.shown.last().caption, u"Copy Catalogue to Server"_s);
        QVERIFY2(prompter.shown.last().text.contains(u"10 tables with 53 records copied"_s),
                 qPrintable(prompter.shown.last().text));
        QCOMPARE(window->tableList()->count(), TableCount);
        QVERIFY(window->tableList()->item(0)->text().startsWith(
            u"Songvane: 50 records copied, 50 in the source - counts agree"_s));
        QCOMPARE(window->overallBar()->value(), TableCount);
        QCOMPARE(serverSongs(url), 50);
        QCOMPARE(window->cancelButton()->text(), u"Close"_s);
        window->cancelButton()->click();
        QTRY_VERIFY(!window);
        QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().cbegin(),
                             QApplication::topLevelWidgets().cend(),
                             [](QWidget *w) { return w->isVisible(); }));
    }

    // A server that holds a catalogue: asked first, No leaves it, Replace copies over it.
    // Cancel right after the start and closing mid-copy leave it as it was.
    void replaceAndCancel()
    {
        test::ScriptedPrompter prompter;
        Filled first(20), second(30);
        const QString url = server().createDatabase(u"replacing"_s);
        {
            CatalogueCopyWindow window(first.session, CatalogueCopy::Direction::ToServer);
            window.serverField()->setText(url);
            window.startCopy();
            QVERIFY(waitForEnd(window, prompter, 0));
        }
        QCOMPARE(serverSongs(url), 20);

        CatalogueCopyWindow window(second.session, CatalogueCopy::Direction::ToServer);
        window.serverField()->setText(url);
        prompter.answer(No);
        qsizetype shown = prompter.shown.size();
        window.startCopy();
        QCOMPARE(prompter.shown.size(), shown + 1);
        QCOMPARE(prompter.shown.last().buttons, Yes | No);
        QCOMPARE(prompter.shown.last().defaultButton, No);
        QVERIFY(prompter.shown.last().text.contains(u"already holds a catalogue"_s));
        QVERIFY(!window.isCopying());
        QCOMPARE(window.status(), u"Nothing was copied."_s);

        prompter.answer(Yes);
        window.startCopy();
        QVERIFY(window.isCopying());
        window.reject(); // Cancel
        QVERIFY(!window.isCopying());
        shown = prompter.shown.size();
        QTRY_COMPARE(prompter.shown.size(), shown + 1);
        QCOMPARE(prompter.shown.last().caption, u"Copy Catalogue to Server Cancelled"_s);
        QCOMPARE(serverSongs(url), 20);

        // A new window replaces it when told to.
        CatalogueCopyWindow again(second.session, CatalogueCopy::Direction::ToServer);
        again.serverField()->setText(url);
        prompter.answer(Yes);
        shown = prompter.shown.size();
        again.startCopy();
        QVERIFY(waitForEnd(again, prompter, shown + 1));
        QCOMPARE(serverSongs(url), 30);
    }

    // The way back: the folder comes from the folder question (a test script's choose
    // answers it), never the catalogue the program has open.
    void copyFromServer()
    {
        test::ScriptedPrompter prompter;
        Filled catalogue(15);
        const QString url = server().createDatabase(u"back"_s);
        {
            CatalogueCopyWindow window(catalogue.session, CatalogueCopy::Direction::ToServer);
            window.serverField()->setText(url);
            window.startCopy();
            QVERIFY(waitForEnd(window, prompter, 0));
        }
        CatalogueCopyWindow window(catalogue.session, CatalogueCopy::Direction::FromServer);
        QCOMPARE(window.windowTitle(), u"Copy Catalogue from Server"_s);
        window.serverField()->setText(url);
        QVERIFY(!window.copyButton()->isEnabled()); // no folder yet
        queueChosenPath(catalogue.path());
        QPushButton *browse = nullptr;
        for (QPushButton *button : window.findChildren<QPushButton *>()) {
            if (button->text() == u"&Browse...")
                browse = button;
        }
        QVERIFY(browse);
        browse->click();
        QCOMPARE(QDir::fromNativeSeparators(window.folderField()->text()), catalogue.path());
        qsizetype shown = prompter.shown.size();
        window.startCopy();
        QCOMPARE(prompter.shown.size(), shown + 1);
        QVERIFY(
            prompter.shown.last().text.contains(u"holds the catalogue this program has open"_s));
        QVERIFY(!window.isCopying());

        test::Workspace elsewhere;
        const QString into = QDir(elsewhere.path()).filePath(u"copy"_s);
        queueChosenPath(into);
        browse->click();
        shown = prompter.shown.size();
        window.startCopy();
        QVERIFY(waitForEnd(window, prompter, shown));
        QCOMPARE(prompter.shown.last().caption, u"Copy Catalogue from Server"_s);
        Database copied(into);
        Table songs(copied, tableDef(TableId::Songs), u"MUS"_s);
        QVERIFY(songs.open(OpenMode::ReadOnly));
        QCOMPARE(songs.records(), 15);
    }

    // A server that is not there and a login that may not write: a message naming the
    // server and never the password, nothing copied, and the window ready to try again.
    void refusedServers()
    {
        test::ScriptedPrompter prompter;
        Filled catalogue(5);
        test::Workspace nowhere;
        CatalogueCopyWindow window(catalogue.session, CatalogueCopy::Direction::ToServer);
        window.serverField()->setText(
            u"postgresql:///x?host=%1&user=postgres&password=Secret1"_s.arg(nowhere.path()));
        window.startCopy();
        QVERIFY(!window.isCopying());
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY2(prompter.shown.last().text.contains(nowhere.path()),
                 qPrintable(prompter.shown.last().text));
        QVERIFY(!prompter.shown.last().text.contains(u"Secret1"_s));
        QVERIFY(window.copyButton()->isEnabled());

        // The login's password is asked for; the login has no right to make tables.
        const QString url = server().createDatabase(u"rights"_s);
        QString askedFor;
        CatalogueCopyWindow::setPasswordPrompt([&](const QString &serverName) {
            askedFor = serverName;
            return std::optional<QString>(test::ScratchServer::password());
        });
        QString login = url;
        login.replace(u"user=postgres"_s, u"user="_s + test::ScratchServer::passwordUser());
        window.serverField()->setText(login);
        const qsizetype shown = prompter.shown.size();
        window.startCopy();
        QVERIFY(waitForEnd(window, prompter, shown));
        CatalogueCopyWindow::setPasswordPrompt({});
        QVERIFY(askedFor.contains(u"rights"_s));
        QCOMPARE(prompter.shown.last().caption, u"Copy Catalogue to Server Failed"_s);
        QVERIFY2(prompter.shown.last().text.contains(u"permission denied"_s),
                 qPrintable(prompter.shown.last().text));
        QVERIFY(prompter.shown.last().text.contains(u"rights"_s));
        QVERIFY(!prompter.shown.last().text.contains(test::ScratchServer::password()));
        QCOMPARE(serverSongs(url), -1);
    }

    // The command line copies the same way: there and back, a catalogue on the server left
    // alone without --replace, and a wrong line told as such.
    void commandLine()
    {
        Filled catalogue(12);
        catalogue.release();
        const QString url = server().createDatabase(u"script"_s);
        Outcome outcome = songvane(catalogue, {u"copy-to-server"_s, url});
        QVERIFY2(outcome.status == 0, qPrintable(outcome.errors));
        QVERIFY2(outcome.errors.contains(u"Songvane: 12 records, counts agree"_s),
                 qPrintable(outcome.errors));
        QCOMPARE(serverSongs(url), 12);

        outcome = songvane(catalogue, {u"copy-to-server"_s, url});
        QCOMPARE(outcome.status, 1);
        QVERIFY2(outcome.errors.contains(u"--replace"_s), qPrintable(outcome.errors));
        outcome = songvane(catalogue, {u"copy-to-server"_s, url, u"--replace"_s});
        QVERIFY2(outcome.status == 0, qPrintable(outcome.errors));

        test::Workspace elsewhere;
        outcome = songvane(catalogue, {u"copy-from-server"_s, url, elsewhere.path()});
        QVERIFY2(outcome.status == 0, qPrintable(outcome.errors));
        Database copied(elsewhere.path());
        Table songs(copied, tableDef(TableId::Songs), u"MUS"_s);
        QVERIFY(songs.open(OpenMode::ReadOnly));
        QCOMPARE(songs.records(), 12);

        QCOMPARE(songvane(catalogue, {u"copy-from-server"_s, url}).status, 2);
        QCOMPARE(songvane(catalogue, {u"copy-to-server"_s, u"http://x"_s}).status, 2);
    }
};

QTEST_MAIN(TestCatalogCopyWindow)
#include "tst_catalogcopywindow.moc"
