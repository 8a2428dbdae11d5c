#include "app/helpwindow.h"
#include "app/mainframe.h"
#include "app/preferences.h"
#include "app/procedures.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "app/tipsbrowser.h"
#include "platform/inifile.h"
#include "platform/instances.h"
#include "platform/paths.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QTextBrowser>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

// Registers stand-in windows, titled by name, under the names the frame starts.
void registerStandIns(const QStringList &names)
{
    for (const QString &name : names) {
        Procedures::add(name, Procedures::Placement::OwnWindow,
                        [name](Session &, MainFrame &) -> QWidget * {
                            auto *window = new QWidget;
                            window->setWindowTitle(name);
                            return window;
                        });
    }
}

void closeSplash()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<SplashWindow *>(window))
            window->close();
    }
    QCoreApplication::processEvents();
    QTest::qWait(20);
}

QStringList subWindowTitles(MainFrame &frame)
{
    QStringList titles;
    for (QMdiSubWindow *child : frame.mdiArea()->subWindowList())
        titles.append(child->widget()->windowTitle());
    return titles;
}

} // namespace

class TestMainFrame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Q_INIT_RESOURCE(app); // the help pages and images, as the program loads them
    }

    void init()
    {
        Procedures::clear();
        Instances::reset();
        Settings::global() = Settings();
    }

    // First start on empty files: the twelve media formats are seeded in order, no album
    // question is asked, the version is written, and the setup wizard follows the splash.
    void firstStart()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        session.announceTables();
        registerStandIns({QStringLiteral("SetupWizard"), QStringLiteral("Tips")});
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        QCOMPARE(settings::read(QStringLiteral("Version"), QString(), settings::GlobalSection),
                 QStringLiteral("1.8g"));
        QCOMPARE(frame.windowTitle(), QStringLiteral("SongVane Pro 98 - ") + workspace.path());
        Table &media = session.store().table(TableId::Media);
        QCOMPARE(media.records(), 12);
        QStringList formats;
        media.setFileOrder();
        while (media.next())
            formats.append(media.buffer().text(med::Media));
        QCOMPARE(formats.value(3), QStringLiteral("7\" Single"));
        QCOMPARE(formats.last(), QStringLiteral("Other"));
        // The media name holds 20 characters, so the longest format is stored cut.
        QCOMPARE(formats.value(10), QStringLiteral("Cassette (Prerecorde"));
        closeSplash();
        QCOMPARE(subWindowTitles(frame), QStringList{QStringLiteral("SetupWizard")});
        QVERIFY(prompter.shown.isEmpty());
        frame.close();
    }

    // The browsers asked for at start-up open after the splash and the tip, each as a
    // window of its own with its own instance number.
    void startUpBrowsers()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        session.announceTables();
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        settings::writeNumber(QStringLiteral("SU_Songs"), 1);
        settings::writeNumber(QStringLiteral("SU_Labels"), 1);
        registerStandIns({QStringLiteral("BrowseSongs"), QStringLiteral("BrowseLabels"),
                          QStringLiteral("BrowseAlbums")});
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        closeSplash();
        QCOMPARE(subWindowTitles(frame),
                 (QStringList{QStringLiteral("BrowseSongs"), QStringLiteral("BrowseLabels")}));
        QVERIFY(Instances::inUse(2) && Instances::inUse(3));

        // Browse / Songs twice opens two independent browsers.
        frame.menuAction(QStringLiteral("BrowseSongs"))->trigger();
        QCOMPARE(subWindowTitles(frame).count(QStringLiteral("BrowseSongs")), 2);
        QVERIFY(Instances::inUse(4));
        QVERIFY(!frame.menuAction(QStringLiteral("BrowseCategories"))->isEnabled());
        frame.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(session.files().users(session.store().table(TableId::Songs)), 0);
        QVERIFY(!Instances::inUse(2));
    }

    // The album build agreed to at start-up shows its progress with no splash over it, and
    // the start-up browsers open only once the albums are all there.
    void albumBuildBeforeSplashAndBrowsers()
    {
        test::Workspace workspace;
        {
            Session session(workspace.path());
            session.announceTables();
            Table &songs = session.store().table(TableId::Songs);
            const TableUse use = session.files().use(songs);
            for (int id = 1; id <= 120; ++id) {
                songs.buffer().clear();
                songs.buffer().setNumber(mus::ID, id);
                songs.buffer().setText(mus::Album, QStringLiteral("Album %1").arg(id % 30));
                QVERIFY(songs.add());
            }
        }
        settings::write(QStringLiteral("Version"), QStringLiteral("1.1"), settings::GlobalSection);
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        settings::writeNumber(QStringLiteral("SU_Songs"), 1);
        test::ScriptedPrompter prompter;
        prompter.answer(Yes);
        Session session(workspace.path());
        session.announceTables();
        qint64 albumsWhenOpened = -1;
        Procedures::add(QStringLiteral("BrowseSongs"), Procedures::Placement::OwnWindow,
                        [&albumsWhenOpened](Session &s, MainFrame &) -> QWidget * {
                            albumsWhenOpened = s.store().table(TableId::Albums).records();
                            return new QWidget;
                        });
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        QPointer<ProgressWindow> progress = frame.findChild<ProgressWindow *>();
        QVERIFY(progress && progress->isVisible());
        const auto splashShown = [] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (qobject_cast<SplashWindow *>(window) && window->isVisible())
                    return true;
            }
            return false;
        };
        QVERIFY(!splashShown());
        QTRY_VERIFY(!progress);
        QVERIFY(splashShown());
        closeSplash();
        QTRY_COMPARE(frame.mdiArea()->subWindowList().size(), 1);
        QCOMPARE(albumsWhenOpened, 30);
        frame.close();
    }

    // Songs on file, no albums and an older version: the album question is asked once; a
    // current version asks nothing.
    void albumQuestionAfterUpgrade()
    {
        test::Workspace workspace;
        {
            Session session(workspace.path());
            session.announceTables();
            Table &songs = session.store().table(TableId::Songs);
            const TableUse use = session.files().use(songs);
            QVERIFY(use);
            songs.buffer().setNumber(mus::ID, 1);
            songs.buffer().setText(mus::Album, QStringLiteral("Arrival"));
            QVERIFY(songs.add());
        }
        settings::write(QStringLiteral("Version"), QStringLiteral("1.1"), settings::GlobalSection);
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        {
            test::ScriptedPrompter prompter;
            prompter.answer(No);
            Session session(workspace.path());
            session.announceTables();
            MainFrame frame(session);
            QVERIFY(frame.openCatalogue());
            frame.showAndStart();
            QCOMPARE(prompter.captions().value(0), QStringLiteral("Album Database Empty"));
            frame.close();
        }
        test::ScriptedPrompter prompter;
        Session session(workspace.path());
        session.announceTables();
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        QCOMPARE(session.previousVersion, QStringLiteral("1.8g"));
        QVERIFY(!prompter.captions().contains(QStringLiteral("Album Database Empty")));
        frame.close();
    }

    // The logo shown is the last non-blank of FrameLogo, Logo and MainLogo; a file that
    // cannot be read leaves the logo that ships with the program.
    void logoRules()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString first = workspace.file(QStringLiteral("first.png"));
        const QString second = workspace.file(QStringLiteral("second.png"));
        QVERIFY(image.save(first) && image.save(second));
        settings::write(QStringLiteral("FrameLogo"), first, settings::GlobalSection);
        settings::write(QStringLiteral("Logo"), second);
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        Session session(workspace.path());
        session.announceTables();
        {
            MainFrame frame(session);
            QVERIFY(frame.openCatalogue());
            frame.showAndStart();
            QCOMPARE(frame.logoFile(), second);
            frame.close();
        }
        settings::write(QStringLiteral("MainLogo"), workspace.file(QStringLiteral("missing.png")));
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        QCOMPARE(frame.logoFile(), QString());
        frame.close();
    }

    // The browser in the active window takes the frame's record buttons with their tips;
    // they go dark when it closes.
    void browserTakesRecordButtons()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        Session session(workspace.path());
        session.announceTables();
        Procedures::add(QStringLiteral("BrowseTips"), Procedures::Placement::OwnWindow,
                        [](Session &s, MainFrame &) -> QWidget * {
                            auto *browser = new TipsBrowser(s);
                            browser->start();
                            return browser;
                        });
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        QVERIFY(!frame.recordButton(RecordButton::Insert)->isEnabled());
        QWidget *browser = frame.startProcedure(QStringLiteral("BrowseTips"));
        QVERIFY(browser);
        frame.mdiArea()->setActiveSubWindow(frame.mdiArea()->subWindowList().first());
        QVERIFY(frame.recordButton(RecordButton::Insert)->isEnabled());
        QCOMPARE(frame.recordButton(RecordButton::Insert)->toolTip(),
                 QStringLiteral("Insert a new Record"));
        QCOMPARE(frame.recordButton(RecordButton::NextPage)->toolTip(),
                 QStringLiteral("Go to the Next Page"));
        QVERIFY(!frame.recordButton(RecordButton::Change)
                     ->isEnabled()); // nothing to change in an empty list
        QVERIFY(!frame.recordButton(RecordButton::History)->isEnabled());
        browser->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frame.recordButton(RecordButton::Insert)->isEnabled());
        frame.close();
    }

    // Preferences holds the frame while open, and with it every window inside the frame:
    // F1 there must still bring up its help, in a window the dialog does not block, and
    // that window goes with the program.
    void helpOverADialogThatHoldsTheFrame()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        Settings::global().load();
        Session session(workspace.path());
        session.announceTables();
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        closeSplash();
        QPointer<Preferences> preferences = Preferences::open(session, &frame);
        QVERIFY(preferences);
        QVERIFY(QTest::qWaitForWindowExposed(preferences));
        QCOMPARE(QApplication::activeModalWidget(), preferences.data());

        const auto looseHelpWindows = [] {
            QList<HelpWindow *> found;
            for (QWidget *window : QApplication::topLevelWidgets())
                if (auto *help = qobject_cast<HelpWindow *>(window); help && help->isVisible())
                    found.append(help);
            return found;
        };
        QTest::keyClick(preferences, Qt::Key_F1);
        QCOMPARE(looseHelpWindows().size(), 1);
        HelpWindow *help = looseHelpWindows().first();
        QVERIFY(!help->parentWidget());
        QVERIFY(help->browser()->source().path().endsWith(u"settings.html"));
        QVERIFY(frame.mdiArea()->subWindowList().isEmpty());
        QTest::keyClick(preferences, Qt::Key_F1);
        QCOMPARE(looseHelpWindows().size(), 1);

        QPointer<HelpWindow> watched = help;
        preferences->reject();
        QVERIFY(frame.close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!watched);
    }

    // F1 opens the help page of the window in use; Help Contents turns the one help window
    // to the contents instead of opening a second; the Window menu lists the open windows
    // and brings the one chosen forward.
    void helpAndWindowMenu()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        Session session(workspace.path());
        session.announceTables();
        Procedures::add(QStringLiteral("BrowseTips"), Procedures::Placement::OwnWindow,
                        [](Session &s, MainFrame &) -> QWidget * {
                            auto *browser = new TipsBrowser(s);
                            browser->start();
                            return browser;
                        });
        Procedures::add(QStringLiteral("BrowseSongs"), Procedures::Placement::OwnWindow,
                        [](Session &, MainFrame &) -> QWidget * {
                            auto *window = new QWidget;
                            window->setWindowTitle(QStringLiteral("Songs - 0 entries"));
                            window->setProperty("procedure", QStringLiteral("BrowseSongs"));
                            return window;
                        });
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        closeSplash();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QWidget *songs = frame.startProcedure(QStringLiteral("BrowseSongs"));
        QWidget *tips = frame.startProcedure(QStringLiteral("BrowseTips"));
        QVERIFY(songs && tips);
        frame.mdiArea()->setActiveSubWindow(frame.mdiArea()->subWindowList().first());
        QTest::keyClick(songs, Qt::Key_F1);
        const auto helpWindows = [&frame] {
            QList<HelpWindow *> found;
            for (QMdiSubWindow *child : frame.mdiArea()->subWindowList())
                if (auto *help = qobject_cast<HelpWindow *>(child->widget()))
                    found.append(help);
            return found;
        };
        QCOMPARE(helpWindows().size(), 1);
        QVERIFY(helpWindows().first()->browser()->source().path().endsWith(u"catalogue.html"));
        QVERIFY(helpWindows().first()->browser()->toPlainText().contains(u"Songs, albums"_s));

        QMenu *helpMenu = nullptr;
        QMenu *windowMenu = nullptr;
        for (QAction *entry : frame.menuBar()->actions()) {
            if (entry->text() == u"&Help")
                helpMenu = entry->menu();
            if (entry->text() == u"&Window")
                windowMenu = entry->menu();
        }
        QVERIFY(helpMenu && windowMenu);
        for (QAction *entry : helpMenu->actions())
            if (entry->text() == u"&Contents")
                entry->trigger();
        QCOMPARE(helpWindows().size(), 1);
        QVERIFY(helpWindows().first()->browser()->source().path().endsWith(u"index.html"));

        const auto windowEntries = [windowMenu] {
            Q_EMIT windowMenu->aboutToShow();
            QStringList texts;
            for (QAction *entry : windowMenu->actions())
                if (entry->isCheckable())
                    texts.append(entry->text() + (entry->isChecked() ? u"*"_s : QString()));
            return texts;
        };
        QCOMPARE(windowEntries(), (QStringList{u"&1 Songs - 0 entries"_s, u"&2 Tips"_s,
                                               u"&3 SongVane Pro 98 Help*"_s}));
        for (QAction *entry : windowMenu->actions())
            if (entry->text() == u"&1 Songs - 0 entries")
                entry->trigger();
        QCOMPARE(frame.mdiArea()->activeSubWindow()->widget(), songs);
        frame.mdiArea()->subWindowList().at(1)->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(windowEntries(),
                 (QStringList{u"&1 Songs - 0 entries*"_s, u"&2 SongVane Pro 98 Help"_s}));
        frame.close();
    }

    // Closing saves the frame's position in section Main.
    // Windows opened one after another in a small frame, each placed one step on from the
    // last, are each wholly inside the work area.
    void newWindowsInsideTheWorkArea()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        Procedures::add(u"Wide"_s, Procedures::Placement::OwnWindow,
                        [](Session &, MainFrame &) -> QWidget * {
                            auto *window = new QWidget;
                            window->resize(640, 420);
                            return window;
                        });
        Session session(workspace.path());
        session.announceTables();
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        frame.setGeometry(30, 40, 1000, 700);
        auto *area = frame.findChild<QMdiArea *>();
        QVERIFY(area);
        QVERIFY(QTest::qWaitFor([&] { return area->viewport()->width() > 900; }));
        const QRect room(QPoint(0, 0), area->viewport()->size());
        for (int i = 0; i < 8; ++i) {
            QVERIFY(frame.startProcedure(u"Wide"_s));
            QMdiSubWindow *child = area->activeSubWindow();
            QVERIFY(child);
            QVERIFY2(room.contains(child->geometry()),
                     qPrintable(u"window %1 at %2,%3 %4x%5 in %6x%7"_s.arg(i)
                                    .arg(child->x())
                                    .arg(child->y())
                                    .arg(child->width())
                                    .arg(child->height())
                                    .arg(room.width())
                                    .arg(room.height())));
        }
    }

    void closingSavesPosition()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        Session session(workspace.path());
        session.announceTables();
        MainFrame frame(session);
        QVERIFY(frame.openCatalogue());
        frame.showAndStart();
        frame.setGeometry(30, 40, 700, 500);
        frame.close();
        QCOMPARE(IniFile::getNumber(QStringLiteral("Main"), QStringLiteral("Width"), 0,
                                    Paths::positionFile()),
                 700);
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
