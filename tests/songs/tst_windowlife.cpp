#include "app/aboutwindow.h"
#include "app/helpwindow.h"
#include "app/mainframe.h"
#include "app/preferences.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "app/tipsbrowser.h"
#include "app/tipwindow.h"
#include "app/updateform.h"
#include "app/windowposition.h"
#include "platform/inifile.h"
#include "platform/instances.h"
#include "platform/paths.h"
#include "songs/codetables.h"
#include "songs/querybuilder.h"
#include "songs/selectalbum.h"
#include "songs/songbrowser.h"
#include "songs/songform.h"
#include "store/fileaccess.h"
#include "testsupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTableView>
#include <QTest>

using namespace sv;

namespace {

// A browser in a window of its own, as the frame's menus open it.
template <typename Make> void addBrowser(const QString &name, Make make)
{
    Procedures::add(name, Procedures::Placement::OwnWindow,
                    [make](Session &session, MainFrame &) -> QWidget * {
                        Browser *browser = make(session);
                        if (browser->start())
                            return browser;
                        delete browser;
                        return nullptr;
                    });
}

void registerWindows()
{
    Procedures::clear();
    addBrowser(QStringLiteral("BrowseSongs"), [](Session &s) { return new SongBrowser(s); });
    addBrowser(QStringLiteral("BrowseCategories"),
               [](Session &s) { return new CategoryBrowser(s, Request::None); });
    addBrowser(QStringLiteral("BrowseMedia"),
               [](Session &s) { return new MediaBrowser(s, Request::None); });
    addBrowser(QStringLiteral("BrowseTips"), [](Session &s) { return new TipsBrowser(s); });
    Procedures::add(QStringLiteral("Preferences"), Procedures::Placement::Direct,
                    [](Session &session, MainFrame &frame) -> QWidget * {
                        return Preferences::open(session, &frame);
                    });
    Procedures::add(QStringLiteral("Tips"), Procedures::Placement::Direct,
                    [](Session &session, MainFrame &frame) -> QWidget * {
                        return TipWindow::showTipOfTheDay(session, &frame, {});
                    });
}

// The real frame on a catalogue of its own, started and past its splash window.
class Program
{
public:
    Program()
    {
        Instances::reset();
        Settings::global() = Settings();
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        session.announceTables();
        registerWindows();
        frame = std::make_unique<MainFrame>(session);
        QVERIFY(frame->openCatalogue());
        frame->resize(1000, 700);
        frame->showAndStart();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<SplashWindow *>(window))
                window->close();
        }
        QTest::qWait(20);
    }
    ~Program()
    {
        if (frame)
            frame->close();
    }

    QMdiArea *area() const { return frame->mdiArea(); }
    // Every table's open count, the song alias's included.
    QList<int> counts()
    {
        QList<int> users;
        for (TableId id : allTables())
            users.append(session.files().users(session.store().table(id)));
        users.append(session.files().users(session.store().aliasSongs()));
        return users;
    }
    template <typename T> T *open(const QString &procedure)
    {
        return qobject_cast<T *>(frame->startProcedure(procedure));
    }

    test::Workspace workspace;
    test::ScriptedPrompter prompter;
    Session session{workspace.path()};
    std::unique_ptr<MainFrame> frame;
};

// Lets windows that ended themselves go, with their frames.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

template <typename T> T *shownWindow()
{
    for (QWidget *widget : QApplication::allWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

QPushButton *buttonOf(QWidget *window, const QString &caption)
{
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == caption)
            return button;
    }
    return nullptr;
}

QLineEdit *fieldAfter(QWidget *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *label = layout->itemAt(row, QFormLayout::LabelRole);
            auto *text = label ? qobject_cast<QLabel *>(label->widget()) : nullptr;
            if (text && text->text() == prompt)
                return qobject_cast<QLineEdit *>(
                    layout->itemAt(row, QFormLayout::FieldRole)->widget());
        }
    }
    return nullptr;
}

QStringList childTitles(QMdiArea *area)
{
    QStringList titles;
    for (QMdiSubWindow *child : area->subWindowList())
        titles.append(child->widget() ? child->widget()->windowTitle() : QStringLiteral("<empty>"));
    return titles;
}

} // namespace

class TestWindowLife : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    // Every way a form, a picker or a browser ends takes its whole child window with it:
    // OK, Cancel, Esc, the close box, a select; the browser's Close last. Nothing is left in
    // the work area, and each window object is gone.
    void everyWayOfClosingLeavesNoFrame()
    {
        Program program;
        QMdiArea *area = program.area();
        QPointer<SongBrowser> browser = program.open<SongBrowser>(QStringLiteral("BrowseSongs"));
        QVERIFY(browser);
        QCOMPARE(area->subWindowList().size(), 1);

        QPointer<SongForm> form;
        const auto openForm = [&](const QString &button) {
            buttonOf(browser, button)->click();
            QTRY_VERIFY(shownWindow<SongForm>());
            QCOMPARE(area->subWindowList().size(), 2);
            form = shownWindow<SongForm>();
        };
        const auto onlyTheBrowserLeft = [&](QPointer<QWidget> gone) {
            settle();
            QTRY_COMPARE(area->subWindowList().size(), 1);
            QVERIFY(!gone);
            QCOMPARE(area->subWindowList().first()->widget(), browser.data());
        };

        // OK on a new song.
        openForm(QStringLiteral("&Add"));
        QPointer<QMdiSubWindow> formFrame = qobject_cast<QMdiSubWindow *>(form->parentWidget());
        fieldAfter(form, QStringLiteral("&Title:"))->setText(QStringLiteral("Le Freak"));
        buttonOf(form, QStringLiteral("&OK"))->click();
        onlyTheBrowserLeft(form.data());
        QVERIFY(!formFrame);
        QCOMPARE(program.session.store().table(TableId::Songs).records(), 1);

        // Cancel, Esc and the close box on a change.
        openForm(QStringLiteral("&Change"));
        buttonOf(form, QStringLiteral("Cancel"))->click();
        onlyTheBrowserLeft(form.data());
        openForm(QStringLiteral("&Change"));
        QTest::keyClick(form, Qt::Key_Escape);
        onlyTheBrowserLeft(form.data());
        openForm(QStringLiteral("&Add"));
        qobject_cast<QMdiSubWindow *>(form->parentWidget())->close(); // the close box
        onlyTheBrowserLeft(form.data());
        QCOMPARE(program.session.store().table(TableId::Songs).records(), 1);

        // A picker ended by its select, and one by its close box.
        browser->selectTab(2); // By Media
        buttonOf(browser, QStringLiteral("Se&lect Media"))->click();
        QPointer<MediaBrowser> picker = shownWindow<MediaBrowser>();
        QVERIFY(picker && picker->isSelectMode());
        QCOMPARE(area->subWindowList().size(), 2);
        buttonOf(picker, QStringLiteral("&Select"))->click();
        onlyTheBrowserLeft(picker.data());
        buttonOf(browser, QStringLiteral("Se&lect Media"))->click();
        picker = shownWindow<MediaBrowser>();
        qobject_cast<QMdiSubWindow *>(picker->parentWidget())->close();
        onlyTheBrowserLeft(picker.data());

        // The search dialog ends with Cancel.
        buttonOf(browser, QStringLiteral("&Search"))->click();
        QPointer<QueryBuilder> builder = shownWindow<QueryBuilder>();
        QVERIFY(builder);
        builder->reject();
        settle();
        QVERIFY(!builder);

        // The browser's own Close.
        QPointer<QMdiSubWindow> browserFrame =
            qobject_cast<QMdiSubWindow *>(browser->parentWidget());
        buttonOf(browser, QStringLiteral("Cl&ose"))->click();
        settle();
        QTRY_VERIFY(area->subWindowList().isEmpty());
        QVERIFY(!browser && !browserFrame);
    }

    // A browser that meets a damaged page while the user pages through it says so, marks
    // the file for repair, and closes whole: no empty frame stays, and the tables it held
    // are given back.
    void damageMetByABrowserClosesItWhole()
    {
        Program program;
        const QList<int> before = program.counts();
        Table &songs = program.session.store().table(TableId::Songs);
        {
            const TableUse use = program.session.files().use(songs);
            QVERIFY(use);
            QVERIFY(songs.stream());
            for (int id = 1; id <= 3000; ++id) {
                songs.buffer().clear();
                songs.buffer().setNumber(mus::ID, id);
                songs.buffer().setText(mus::Title, QStringLiteral("Title %1").arg(id));
                QVERIFY(songs.add());
            }
            QVERIFY(songs.flush());
        }
        QVERIFY(test::damageLeafInTheMiddle(songs.fileName(), "Songvane") > 1);

        QPointer<SongBrowser> browser = program.open<SongBrowser>(QStringLiteral("BrowseSongs"));
        QVERIFY(browser);
        QPointer<QMdiSubWindow> frame = qobject_cast<QMdiSubWindow *>(browser->parentWidget());
        QPointer<QAbstractItemView> view = browser->list()->findChild<QAbstractItemView *>();
        QVERIFY(view);
        for (int page = 0; page < 200 && view; ++page) {
            QTest::keyClick(view, Qt::Key_PageDown);
            settle();
        }
        QVERIFY(!browser);
        QVERIFY(!frame);
        QVERIFY(program.area()->subWindowList().isEmpty());
        QCOMPARE(program.prompter.captions(), (QStringList{QStringLiteral("Record Retrieval Error"),
                                                           QStringLiteral("Damaged File")}));
        QCOMPARE(FileAccess::badFile(), QStringLiteral("svpdata"));
        QCOMPARE(program.counts(), before);
        FileAccess::noteRepaired(QStringLiteral("svpdata"));
    }

    // A window opened while another is maximized opens maximized over the whole work area,
    // drawn whole; restored, it takes a place of its own inside the area, with its title
    // bar. A form the maximized browser opens (its first field focused before it is shown)
    // does the same, and saves the place it takes when restored. Closing the maximized one
    // leaves no invisible pane, and the browser under it is maximized again.
    void openedAmongMaximizedWindows()
    {
        Program program;
        QMdiArea *area = program.area();
        const QRect whole = area->viewport()->rect();
        const auto drawnWhole = [&](QMdiSubWindow *child) {
            QVERIFY(child->isMaximized());
            QCOMPARE(child->geometry(), whole);
            QCOMPARE(child->widget()->geometry(), child->contentsRect());
        };
        const auto placedNormally = [&](QMdiSubWindow *child) {
            QVERIFY(!child->isMaximized());
            QVERIFY(whole.contains(child->geometry()));
            // A title bar above the window, and room for all the window needs.
            QVERIFY(child->widget()->y() >= 15);
            QVERIFY(child->widget()->width() >= child->widget()->minimumSizeHint().width());
            QVERIFY(child->widget()->height() >= child->widget()->minimumSizeHint().height());
        };

        QVERIFY(program.open<CategoryBrowser>(QStringLiteral("BrowseCategories")));
        area->subWindowList().first()->showMaximized();
        QPointer<MediaBrowser> media = program.open<MediaBrowser>(QStringLiteral("BrowseMedia"));
        QVERIFY(media);
        auto *child = qobject_cast<QMdiSubWindow *>(media->parentWidget());
        QTRY_VERIFY(child->isMaximized());
        drawnWhole(child);
        child->showNormal();
        placedNormally(child);
        child->showMaximized();
        child->close();
        settle();
        QCOMPARE(childTitles(area), QStringList{QStringLiteral("Categories")});
        area->subWindowList().first()->close();
        settle();

        QPointer<SongBrowser> songs = program.open<SongBrowser>(QStringLiteral("BrowseSongs"));
        auto *browserFrame = qobject_cast<QMdiSubWindow *>(songs->parentWidget());
        browserFrame->showMaximized();
        buttonOf(songs, QStringLiteral("&Add"))->click();
        QTRY_VERIFY(shownWindow<SongForm>());
        QPointer<SongForm> form = shownWindow<SongForm>();
        auto *formFrame = qobject_cast<QMdiSubWindow *>(form->parentWidget());
        QCOMPARE(area->activeSubWindow(), formFrame);
        drawnWhole(formFrame);
        QPushButton *ok = buttonOf(form, QStringLiteral("&OK"));
        QVERIFY(ok->isVisible());
        QVERIFY(whole.contains(QRect(ok->mapTo(area->viewport(), QPoint(0, 0)), ok->size())));
        QCOMPARE(QApplication::focusWidget(), fieldAfter(form, QStringLiteral("&Artist:")));
        formFrame->showNormal();
        placedNormally(formFrame);
        const QRect normal = formFrame->geometry();
        formFrame->showMaximized();
        buttonOf(form, QStringLiteral("Cancel"))->click();
        settle();
        QVERIFY(!form);
        QCOMPARE(area->subWindowList(), QList<QMdiSubWindow *>{browserFrame});
        drawnWhole(browserFrame);
        const QString file = Paths::positionFile();
        const auto saved = [&](const char *entry) {
            return int(IniFile::getNumber(QStringLiteral("UpdateSong"), QString::fromUtf8(entry), 0,
                                          file));
        };
        QCOMPARE(QRect(saved("XPosit"), saved("YPosit"), saved("Width"), saved("Height")), normal);
    }

    // The song browser at the size it opens with shows every prompt and button whole on
    // each of its tabs, the ones with a Select button included, and what the user types
    // appears beside the locator prompt.
    void songBrowserShowsItsPromptsWhole()
    {
        Program program;
        QPointer<SongBrowser> songs = program.open<SongBrowser>(QStringLiteral("BrowseSongs"));
        QVERIFY(songs);
        const QString promptText =
            QStringLiteral("Quick Locator (select list box and type to locate):");
        QLabel *prompt = nullptr;
        for (QLabel *label : songs->findChildren<QLabel *>()) {
            if (label->text() == promptText)
                prompt = label;
        }
        QVERIFY(prompt);
        for (int tab = 0; tab < songs->findChild<QTabBar *>()->count(); ++tab) {
            songs->selectTab(tab);
            QCoreApplication::processEvents();
            const QString where = QStringLiteral("tab %1").arg(tab);
            QVERIFY2(prompt->isVisible(), qPrintable(where));
            QVERIFY2(prompt->width() >= prompt->sizeHint().width(), qPrintable(where));
            for (QPushButton *button : songs->findChildren<QPushButton *>()) {
                if (!button->isVisible())
                    continue;
                const QString what = where + u' ' + button->text();
                QVERIFY2(button->width() >= button->minimumSizeHint().width(), qPrintable(what));
                QVERIFY2(songs->rect().contains(
                             QRect(button->mapTo(songs, QPoint(0, 0)), button->size())),
                         qPrintable(what));
            }
        }
        songs->selectTab(0);
        QTest::keyClicks(songs->findChild<QTableView *>(), QStringLiteral("Chi"));
        QLabel *typed = nullptr;
        for (QLabel *label : songs->findChildren<QLabel *>()) {
            if (label->text() == QStringLiteral("Chi"))
                typed = label;
        }
        QVERIFY(typed && typed->isVisible());
        QCOMPARE(typed->mapTo(songs, QPoint(0, 0)).y(), prompt->mapTo(songs, QPoint(0, 0)).y());
        QVERIFY(typed->x() > prompt->x() + prompt->width() - 1);
    }

    // A maximized window saves the place it had before it was maximized and opens again
    // maximized; a place saved far off (XPosit=2500) or larger than the work area opens
    // inside the area.
    void savedPlacesAreNormalAndReachable()
    {
        Program program;
        QMdiArea *area = program.area();
        const QString file = Paths::positionFile();
        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("XPosit"), 40, file);
        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("YPosit"), 30, file);
        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("Width"), 300, file);
        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("Height"), 250, file);
        QPointer<MediaBrowser> media = program.open<MediaBrowser>(QStringLiteral("BrowseMedia"));
        auto *child = qobject_cast<QMdiSubWindow *>(media->parentWidget());
        QCOMPARE(child->geometry(), QRect(40, 30, 300, 250));
        child->showMaximized();
        media->close();
        settle();
        QVERIFY(area->subWindowList().isEmpty());
        const auto saved = [&](const char *entry) {
            return IniFile::getNumber(QStringLiteral("BrowseMedia"), QString::fromUtf8(entry), 0,
                                      file);
        };
        QCOMPARE(QRect(int(saved("XPosit")), int(saved("YPosit")), int(saved("Width")),
                       int(saved("Height"))),
                 QRect(40, 30, 300, 250));
        QCOMPARE(IniFile::get(QStringLiteral("BrowseMedia"), QStringLiteral("Maximize"), QString(),
                              file),
                 QStringLiteral("Yes"));
        media = program.open<MediaBrowser>(QStringLiteral("BrowseMedia"));
        child = qobject_cast<QMdiSubWindow *>(media->parentWidget());
        QVERIFY(child->isMaximized());
        child->showNormal();
        QCOMPARE(child->geometry(), QRect(40, 30, 300, 250));
        media->close();
        settle();

        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("XPosit"), 2500, file);
        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("YPosit"), 1900, file);
        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("Width"), 3410, file);
        IniFile::putNumber(QStringLiteral("BrowseMedia"), QStringLiteral("Height"), 3322, file);
        IniFile::put(QStringLiteral("BrowseMedia"), QStringLiteral("Maximize"),
                     QStringLiteral("No"), file);
        media = program.open<MediaBrowser>(QStringLiteral("BrowseMedia"));
        child = qobject_cast<QMdiSubWindow *>(media->parentWidget());
        QVERIFY(!child->isMaximized());
        QVERIFY2(area->viewport()->rect().contains(child->geometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(child->x())
                                .arg(child->y())
                                .arg(child->width())
                                .arg(child->height())));
        QPushButton *exit = buttonOf(media, QStringLiteral("E&xit"));
        QVERIFY(exit && exit->isVisible());
        QVERIFY(area->viewport()->rect().contains(
            exit->mapTo(area->viewport(), exit->rect().bottomRight())));
        exit->click();
        settle();
        QVERIFY(saved("XPosit") + saved("Width") <= area->viewport()->width());
    }

    // The frame restored from a place off the screen, and larger than it, comes back onto
    // the screen; Tile and Cascade over many windows never grow it, nor what it saves.
    void frameStaysOnScreen()
    {
        Program program;
        const QRect screen = program.frame->screen()->availableGeometry();
        for (const char *procedure : {"BrowseSongs", "BrowseCategories", "BrowseMedia",
                                      "BrowseTips", "BrowseSongs", "BrowseMedia"})
            QVERIFY(program.frame->startProcedure(QString::fromUtf8(procedure)));
        const QSize before = program.frame->size();
        QVERIFY(screen.contains(program.frame->geometry().topLeft()));
        QVERIFY(program.frame->width() <= screen.width() &&
                program.frame->height() <= screen.height());
        for (int round = 0; round < 3; ++round) {
            program.area()->tileSubWindows();
            QCoreApplication::processEvents();
            program.area()->cascadeSubWindows();
            QCoreApplication::processEvents();
        }
        program.area()->tileSubWindows();
        QTest::qWait(20);
        QCOMPARE(program.frame->size(), before);
        program.frame->close();
        settle();
        QVERIFY(IniFile::getNumber(QStringLiteral("Main"), QStringLiteral("Width"), 0,
                                   Paths::positionFile()) <= screen.width());
        QVERIFY(IniFile::getNumber(QStringLiteral("Main"), QStringLiteral("Height"), 0,
                                   Paths::positionFile()) <= screen.height());

        // A place saved on a larger screen.
        IniFile::putNumber(QStringLiteral("Main"), QStringLiteral("XPosit"), 2500,
                           Paths::positionFile());
        IniFile::putNumber(QStringLiteral("Main"), QStringLiteral("Width"), 3410,
                           Paths::positionFile());
        IniFile::putNumber(QStringLiteral("Main"), QStringLiteral("Height"), 3322,
                           Paths::positionFile());
        QWidget restored;
        restoreWindowPosition(QStringLiteral("Main"), &restored);
        QVERIFY(screen.contains(restored.geometry()));
    }

    // The arithmetic of a clamped place.
    void clampedPlacementNumbers()
    {
        const QRect room(0, 0, 800, 600);
        QCOMPARE(clampedPlacement(QRect(2500, 40, 300, 200), room, QSize()),
                 QRect(500, 40, 300, 200));
        QCOMPARE(clampedPlacement(QRect(-50, -20, 3410, 3322), room, QSize()),
                 QRect(0, 0, 800, 600));
        // A minimum larger than the room keeps the top left corner in it.
        QCOMPARE(clampedPlacement(QRect(300, 300, 100, 100), room, QSize(900, 200)),
                 QRect(0, 300, 900, 200));
        // A room that does not start at 0 (a panel on the left of the screen).
        QCOMPARE(clampedPlacement(QRect(0, 0, 200, 100), QRect(64, 0, 736, 600), QSize()),
                 QRect(64, 0, 200, 100));
        // At a scale of 1.5 an 800x600 screen is 533x400: the 1280-wide place shrinks.
        QCOMPARE(clampedPlacement(QRect(10, 10, 1280, 300), QRect(0, 0, 533, 400), QSize()),
                 QRect(0, 10, 533, 300));
        // An empty room (not known yet) leaves the place as it is.
        QCOMPARE(clampedPlacement(QRect(2500, 40, 300, 200), QRect(), QSize()),
                 QRect(2500, 40, 300, 200));
    }

    // Every window opened and closed gives back every table it held: the open counts are
    // what they were before it, for each window on its own and after all of them.
    void openCountsComeBack()
    {
        Program program;
        const QList<int> before = program.counts();
        const auto check = [&](const char *what) {
            settle();
            QVERIFY2(program.counts() == before, what);
            QVERIFY2(program.area()->subWindowList().isEmpty(), what);
        };

        // The song browser, its form for each request and its pickers.
        QPointer<SongBrowser> songs = program.open<SongBrowser>(QStringLiteral("BrowseSongs"));
        buttonOf(songs, QStringLiteral("&Add"))->click();
        QTRY_VERIFY(shownWindow<SongForm>());
        QPointer<SongForm> form = shownWindow<SongForm>();
        fieldAfter(form, QStringLiteral("&Title:"))->setText(QStringLiteral("Good Times"));
        fieldAfter(form, QStringLiteral("&Album:"))->setText(QStringLiteral("Risque"));
        buttonOf(form, QStringLiteral("&OK"))->click();
        settle();
        buttonOf(songs, QStringLiteral("&Change"))->click();
        QTRY_VERIFY(form = shownWindow<SongForm>());
        buttonOf(form, QStringLiteral("Default with Album Information"))->click();
        QPointer<SelectAlbum> albums = shownWindow<SelectAlbum>();
        QVERIFY(albums);
        qobject_cast<QMdiSubWindow *>(albums->parentWidget())->close();
        settle();
        buttonOf(form, QStringLiteral("&OK"))->click();
        settle();
        buttonOf(songs, QStringLiteral("Cop&y"))->click();
        QTRY_VERIFY(form = shownWindow<SongForm>());
        buttonOf(form, QStringLiteral("Cancel"))->click();
        settle();
        songs->selectTab(5); // By Category
        buttonOf(songs, QStringLiteral("Se&lect Category"))->click();
        QPointer<CategoryBrowser> categories = shownWindow<CategoryBrowser>();
        QVERIFY(categories);
        qobject_cast<QMdiSubWindow *>(categories->parentWidget())->close();
        settle();
        buttonOf(songs, QStringLiteral("&Search"))->click();
        QPointer<QueryBuilder> builder = shownWindow<QueryBuilder>();
        builder->reject();
        settle();
        program.prompter.answer(Ok);
        songs->selectTab(0);
        buttonOf(songs, QStringLiteral("&Delete"))->click();
        settle();
        QCOMPARE(program.session.store().table(TableId::Songs).records(), 0);
        songs->close();
        check("song browser and its forms");

        // The small lists and their forms.
        for (const char *procedure : {"BrowseCategories", "BrowseMedia", "BrowseTips"}) {
            QPointer<Browser> browser = program.open<Browser>(QString::fromUtf8(procedure));
            QVERIFY2(browser, procedure);
            browser->add();
            QTRY_VERIFY(shownWindow<UpdateForm>() || shownWindow<TipWindow>());
            if (UpdateForm *updateForm = shownWindow<UpdateForm>())
                updateForm->cancel();
            else
                shownWindow<TipWindow>()->reject();
            settle();
            browser->close();
            check(procedure);
        }

        // The windows of the frame itself.
        {
            Table &tips = program.session.store().table(TableId::Tips);
            const TableUse use = program.session.files().use(tips);
            tips.buffer().setNumber(tip::ID, 1);
            tips.buffer().setText(tip::Tip, QStringLiteral("Press Insert to add a song."));
            QVERIFY(tips.add());
        }
        program.frame->startProcedure(QStringLiteral("Tips"));
        QTRY_VERIFY(shownWindow<TipWindow>());
        shownWindow<TipWindow>()->reject();
        check("tips");
        program.frame->startProcedure(QStringLiteral("Preferences"));
        QTRY_VERIFY(shownWindow<Preferences>());
        shownWindow<Preferences>()->reject();
        check("preferences");
        for (QAction *action : program.frame->menuBar()->actions()) {
            if (!action->menu() || action->text() != QStringLiteral("&Help"))
                continue;
            for (QAction *entry : action->menu()->actions()) {
                if (entry->text() == QStringLiteral("&About") ||
                    entry->text() == QStringLiteral("&Contents")) {
                    entry->trigger();
                    QCOMPARE(program.area()->subWindowList().size(), 1);
                    program.area()->subWindowList().first()->close();
                    check(qPrintable(entry->text()));
                }
            }
        }
    }
};

QTEST_MAIN(TestWindowLife)
#include "tst_windowlife.moc"
