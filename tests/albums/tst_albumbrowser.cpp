#include "albums/albumbrowser.h"
#include "albums/albumform.h"
#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "catalogue.h"
#include "platform/inifile.h"
#include "platform/instances.h"
#include "platform/paths.h"
#include "platform/stddate.h"
#include "songs/codetables.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QToolBar>

using namespace sv;

namespace {

struct Album
{
    qint64 id;
    const char *artist;
    const char *album;
    const char *fileNumber = "";
    qint64 category = 0;
};

QStringList texts(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *text : list)
        result.append(QString::fromUtf8(text));
    return result;
}

void addAlbum(Session &session, const Album &album)
{
    Table &albums = session.store().table(TableId::Albums);
    Record &record = albums.buffer();
    record.clear();
    record.setNumber(alb::AlbumID, album.id);
    record.setText(alb::Artist, QString::fromUtf8(album.artist));
    record.setText(alb::Album, QString::fromUtf8(album.album));
    record.setText(alb::FileNumber, QString::fromUtf8(album.fileNumber));
    record.setText(alb::Media, QStringLiteral("CD"));
    record.setNumber(alb::CategoryID, album.category);
    QVERIFY(albums.add());
}

void addCategory(Session &session, qint64 id, const QString &name)
{
    Table &categories = session.store().table(TableId::Categories);
    const TableUse use = session.files().use(categories);
    categories.buffer().clear();
    categories.buffer().setNumber(cat::CategoryID, id);
    categories.buffer().setText(cat::Category, name);
    QVERIFY(categories.add());
}

// The category the category orders list, as a pick from the category list leaves it.
void chooseCategory(Session &session, qint64 id)
{
    session.store().table(TableId::Categories).buffer().setNumber(cat::CategoryID, id);
}

// A catalogue with its album and category tables open, as the frame holds them.
class Catalogue : public test::Catalogue
{
public:
    Catalogue() : test::Catalogue({TableId::Albums, TableId::Categories, TableId::Songs}) {}

    void add(const Album &album) { addAlbum(session, album); }
    void addCategory(qint64 id, const QString &name) { ::addCategory(session, id, name); }
    void chooseCategory(qint64 id) { ::chooseCategory(session, id); }
    void addSong(qint64 id, qint64 album, int track)
    {
        Record &song = table(TableId::Songs).buffer();
        song.clear();
        song.setNumber(mus::ID, id);
        song.setNumber(mus::AlbumID, album);
        song.setNumber(mus::TrackNumber, track);
        song.setText(mus::Title, QStringLiteral("Track %1").arg(track));
        QVERIFY(table(TableId::Songs).add());
    }
    QList<qint64> songsOf(qint64 album)
    {
        QList<qint64> ids;
        Table &songs = table(TableId::Songs);
        songs.buffer().clear();
        songs.set(mus::KeyID);
        while (songs.next())
            if (songs.buffer().number(mus::AlbumID) == album)
                ids.append(songs.buffer().number(mus::ID));
        return ids;
    }
};

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

QStringList column(Browser &browser, int column)
{
    QStringList texts;
    for (int row = 0; row < browser.list()->model()->rowCount(); ++row)
        texts.append(browser.list()->model()->textAt(row, column));
    return texts;
}

QString highlighted(Browser &browser, int column)
{
    return browser.list()->model()->textAt(browser.list()->highlightedRow(), column);
}

QPushButton *buttonOf(QWidget *window, const QString &caption)
{
    for (QPushButton *button : window->findChildren<QPushButton *>())
        if (button->text() == caption)
            return button;
    return nullptr;
}

template <typename T> T *shownWindow()
{
    for (QWidget *widget : QApplication::allWidgets())
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

// The entries of a pop-up menu as its text would list them: "-" for a separator, "~" before
// a disabled entry.
QStringList entries(QMenu *menu)
{
    QStringList texts;
    for (QAction *action : menu->actions())
        texts.append(action->isSeparator()
                         ? QStringLiteral("-")
                         : (action->isEnabled() ? QString() : QStringLiteral("~")) +
                               action->text());
    return texts;
}

QLineEdit *lineAfter(QWidget *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *label = layout->itemAt(row, QFormLayout::LabelRole);
            auto *text = label ? qobject_cast<QLabel *>(label->widget()) : nullptr;
            QLayoutItem *field = layout->itemAt(row, QFormLayout::FieldRole);
            if (text && text->text() == prompt && field)
                return qobject_cast<QLineEdit *>(field->widget());
        }
    }
    return nullptr;
}

QStringList tabCaptions(Browser &browser)
{
    QStringList captions;
    QTabBar *tabs = browser.findChild<QTabBar *>();
    for (int tab = 0; tab < tabs->count(); ++tab)
        captions.append(tabs->tabText(tab).trimmed());
    return captions;
}

// The real frame on a catalogue of its own, past its splash window, with the album list
// registered as the program registers it.
class Program
{
public:
    explicit Program(std::function<void()> beforeStart = {})
    {
        Instances::reset();
        Settings::global() = Settings();
        settings::writeNumber(QStringLiteral("SetupWizardComplete"), 1);
        settings::writeNumber(QStringLiteral("ShowTips"), 0);
        if (beforeStart)
            beforeStart();
        session.announceTables();
        Procedures::clear();
        Procedures::addBrowser(QStringLiteral("BrowseAlbums"),
                               [](Session &s) { return new AlbumBrowser(s); });
        frame = std::make_unique<MainFrame>(session);
        QVERIFY(frame->openCatalogue());
        frame->resize(1100, 760);
        frame->showAndStart();
        for (QWidget *window : QApplication::topLevelWidgets())
            if (qobject_cast<SplashWindow *>(window))
                window->close();
        settle();
    }
    ~Program()
    {
        if (frame)
            frame->close();
        Procedures::clear();
    }

    QList<int> counts()
    {
        QList<int> users;
        for (TableId id : allTables())
            users.append(session.files().users(session.store().table(id)));
        users.append(session.files().users(session.store().aliasSongs()));
        return users;
    }
    QList<AlbumBrowser *> albumBrowsers() const
    {
        QList<AlbumBrowser *> found;
        for (QMdiSubWindow *child : frame->mdiArea()->subWindowList())
            if (auto *albums = qobject_cast<AlbumBrowser *>(child->widget()))
                found.append(albums);
        return found;
    }

    test::Workspace workspace;
    test::ScriptedPrompter prompter;
    Session session{workspace.path()};
    std::unique_ptr<MainFrame> frame;
};

} // namespace

class TestAlbumBrowser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    // Each tab lists the albums in its own order; the two category tabs list only the
    // chosen category's albums, and follow another choice made while the list was away.
    void ordersAndRanges()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addCategory(1, QStringLiteral("Disco"));
        catalogue.addCategory(2, QStringLiteral("Jazz"));
        catalogue.add({1, "Chic", "Risque", "F20", 1});
        catalogue.add({2, "Miles Davis", "Kind of Blue", "F03", 2});
        catalogue.add({3, "Sister Sledge", "We Are Family", "F11", 1});
        catalogue.add({4, "Bee Gees", "Spirits Having Flown", "F01", 1});
        catalogue.add({5, "Coltrane", "Blue Train", "F07", 2});
        catalogue.add({6, "Chic", "C'est Chic", "F02", 1});

        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        QCOMPARE(tabCaptions(browser), texts({"Album", "Artist", "File #", "Category", "Cat/Art"}));
        QCOMPARE(browser.windowTitle(), QStringLiteral("Albums - 6 entries"));
        QCOMPARE(column(browser, 1), texts({"Blue Train", "C'est Chic", "Kind of Blue", "Risque",
                                            "Spirits Having Flown", "We Are Family"}));
        browser.selectTab(AlbumBrowser::ByArtist);
        QCOMPARE(column(browser, 0),
                 texts({"Bee Gees", "Chic", "Chic", "Coltrane", "Miles Davis", "Sister Sledge"}));
        // Albums of one artist in album order.
        QCOMPARE(column(browser, 1).mid(1, 2), texts({"C'est Chic", "Risque"}));
        browser.selectTab(AlbumBrowser::ByFileNumber);
        QCOMPARE(column(browser, 3), texts({"F01", "F02", "F03", "F07", "F11", "F20"}));

        catalogue.chooseCategory(1);
        browser.selectTab(AlbumBrowser::ByCategory);
        QCOMPARE(column(browser, 1),
                 texts({"C'est Chic", "Risque", "Spirits Having Flown", "We Are Family"}));
        // The title counts the whole table, not the category.
        QCOMPARE(browser.windowTitle(), QStringLiteral("Albums - 6 entries"));
        browser.selectTab(AlbumBrowser::ByCategoryArtist);
        QCOMPARE(column(browser, 0), texts({"Bee Gees", "Chic", "Chic", "Sister Sledge"}));
        QCOMPARE(column(browser, 1).mid(1, 2), texts({"C'est Chic", "Risque"}));

        // Another category chosen elsewhere: the list shows it when it is back in use.
        catalogue.chooseCategory(2);
        browser.refresh();
        QCOMPARE(column(browser, 0), texts({"Coltrane", "Miles Davis"}));
        browser.selectTab(AlbumBrowser::ByCategory);
        QCOMPARE(column(browser, 1), texts({"Blue Train", "Kind of Blue"}));
        // A category without albums shows an empty list, not the others.
        catalogue.chooseCategory(9);
        browser.refresh();
        QVERIFY(browser.list()->model()->isEmpty());
        browser.close();
    }

    // The columns show the album's fields, the release date in the user's date format; a
    // column width the user dragged comes back, and a new date format starts afresh.
    void columnsAndLayout()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.add({1, "Chic", "Risque", "F20"});
        Table &albums = catalogue.table(TableId::Albums);
        albums.buffer().setNumber(alb::ReleaseDate, makeDate(1979, 7, 30));
        albums.buffer().setText(alb::XCCD, QStringLiteral("XC-77"));
        QVERIFY(albums.put());
        Settings::global().dateFormat = QStringLiteral("d6");

        int dragged = 0;
        {
            AlbumBrowser browser(catalogue.session);
            QVERIFY(browser.start());
            browser.show();
            QVERIFY(QTest::qWaitForWindowExposed(&browser));
            const QAbstractItemModel *model = browser.list()->view()->model();
            QStringList headers;
            for (int c = 0; c < model->columnCount(); ++c)
                headers.append(model->headerData(c, Qt::Horizontal).toString());
            QCOMPARE(headers,
                     texts({"Artist", "Album", "Media", "File Number", "Released", "XCCD"}));
            QCOMPARE(column(browser, 0), texts({"Chic"}));
            QCOMPARE(column(browser, 2), texts({"CD"}));
            QCOMPARE(column(browser, 4), texts({"30/07/1979"}));
            QCOMPARE(column(browser, 5), texts({"XC-77"}));
            QHeaderView *header = browser.list()->view()->horizontalHeader();
            dragged = header->sectionSize(1) + 120;
            header->resizeSection(1, dragged);
            browser.close();
        }
        const QString saved =
            IniFile::get(QStringLiteral("BrowseAlbums"), QStringLiteral("SRCF?Browse:1"), QString(),
                         Paths::positionFile());
        QVERIFY2(saved.contains(QStringLiteral("~Released~C(1)@d6@")), qPrintable(saved));
        {
            AlbumBrowser browser(catalogue.session);
            QVERIFY(browser.start());
            browser.show();
            QVERIFY(QTest::qWaitForWindowExposed(&browser));
            QVERIFY(qAbs(browser.list()->view()->horizontalHeader()->sectionSize(1) - dragged) <=
                    4);
            browser.close();
        }
        // Another date format discards the layout saved under the old one.
        Settings::global().dateFormat = QStringLiteral("d8");
        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        QVERIFY(browser.list()->view()->horizontalHeader()->sectionSize(1) < dragged - 60);
        QCOMPARE(column(browser, 4), texts({"30 JUL 1979"}));
        browser.close();
    }

    // Typing finds the album, the artist or the file number on the first three tabs; the
    // category tabs have no locator, so typing there moves nothing.
    void locator()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        for (int i = 0; i < 60; ++i)
            catalogue.add({i + 1,
                           qPrintable(QStringLiteral("Artist %1").arg(59 - i, 2, 10, QChar(u'0'))),
                           qPrintable(QStringLiteral("Album %1").arg(i, 2, 10, QChar(u'0'))),
                           qPrintable(QStringLiteral("%1").arg(1000 + i * 7)), 4});
        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        QTableView *view = browser.list()->view();
        QTest::keyClick(view, Qt::Key_End);
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Album 59"));
        QTest::keyClicks(view, QStringLiteral("album 07"));
        QCOMPARE(browser.locatorText(), QStringLiteral("album 07"));
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Album 07"));
        QTest::keyClick(view, Qt::Key_Backspace);
        QCOMPARE(browser.locatorText(), QStringLiteral("album 0"));

        browser.selectTab(AlbumBrowser::ByArtist);
        QTest::keyClick(view, Qt::Key_End);
        QTest::keyClicks(view, QStringLiteral("artist 3"));
        QCOMPARE(highlighted(browser, 0), QStringLiteral("Artist 30"));
        // More than 30 characters keep the first 30.
        QTest::keyClicks(view, QString(40, u'x'));
        QCOMPARE(browser.locatorText().size(), 30);

        browser.selectTab(AlbumBrowser::ByFileNumber);
        QTest::keyClicks(view, QStringLiteral("12"));
        QCOMPARE(highlighted(browser, 3), QStringLiteral("1203"));

        catalogue.chooseCategory(4);
        browser.selectTab(AlbumBrowser::ByCategory);
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Album 00"));
        QTest::keyClicks(view, QStringLiteral("album 5"));
        QCOMPARE(browser.locatorText(), QString());
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Album 00"));
        QTest::keyClick(view, Qt::Key_Backspace);
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Album 00"));
        // Paging and the thumb still move through the category.
        QTest::keyClick(view, Qt::Key_End);
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Album 59"));
        QCOMPARE(browser.list()->thumbValues().first().toString().left(1), QStringLiteral("A"));
        browser.close();
    }

    // The last tab comes back when SaveLastTab is on, and never when it is off.
    void lastTab()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.add({1, "Chic", "Risque", "F20"});
        {
            AlbumBrowser browser(catalogue.session);
            QVERIFY(browser.start());
            browser.show();
            browser.findChild<QTabBar *>()->setCurrentIndex(AlbumBrowser::ByFileNumber);
            QCOMPARE(browser.currentTab(), int(AlbumBrowser::ByFileNumber));
            browser.close();
        }
        QCOMPARE(settings::readNumber(QStringLiteral("AlbumTab"), 0), 3);
        {
            AlbumBrowser browser(catalogue.session);
            QVERIFY(browser.start());
            QCOMPARE(browser.currentTab(), int(AlbumBrowser::ByFileNumber));
            QCOMPARE(browser.findChild<QTabBar *>()->currentIndex(),
                     int(AlbumBrowser::ByFileNumber));
            QCOMPARE(browser.findChild<QTabBar *>()->tabText(2), QStringLiteral("File #   "));
            browser.close();
        }
        Settings::global().saveLastTab = 0;
        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        QCOMPARE(browser.currentTab(), int(AlbumBrowser::ByAlbum));
        browser.close();
    }

    // The pop-up menu lists every choice in its order; with no rows the choices that need
    // an album are shown disabled, and so is every choice whose window the program lacks.
    void popupMenu()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        std::unique_ptr<QMenu> menu(browser.buildPopupMenu());
        const QStringList empty = entries(menu.get());
        QCOMPARE(empty.mid(1, 2), texts({"~&Change", "~&Delete"}));
        QCOMPARE(empty.at(4), QStringLiteral("~Cop&y"));
        QCOMPARE(empty.mid(5), texts({"-", "~Single Artist Wi&zard", "~Compilation Wizard", "-",
                                      "~&Print", "-", "~Create Label...", "~Quick CD Insert"}));
        QCOMPARE(browser.list()->view()->toolTip(), QStringLiteral("Right-Click for Options"));
        QCOMPARE(buttonOf(&browser, QStringLiteral("Cop&y"))->toolTip(),
                 QStringLiteral("Copy record"));
        QCOMPARE(buttonOf(&browser, QStringLiteral("&Print"))->toolTip(),
                 QStringLiteral("Print information"));
        browser.close();
    }

    // Select Category is offered on the two category tabs only; it opens the category list
    // to pick from, the album list waiting meanwhile, and a pick lists that category.
    void selectCategory()
    {
        Program program;
        Session &session = program.session;
        addCategory(session, 1, QStringLiteral("Disco"));
        addCategory(session, 2, QStringLiteral("Jazz"));
        addAlbum(session, {1, "Chic", "Risque", "F20", 1});
        addAlbum(session, {2, "Miles Davis", "Kind of Blue", "F03", 2});
        addAlbum(session, {3, "Coltrane", "Blue Train", "F07", 2});
        QPointer<AlbumBrowser> browser = qobject_cast<AlbumBrowser *>(
            program.frame->startProcedure(QStringLiteral("BrowseAlbums")));
        QVERIFY(browser);
        QMdiArea *area = program.frame->mdiArea();
        QPushButton *select = buttonOf(browser, QStringLiteral("Select Cate&gory"));
        QVERIFY(select);
        QVERIFY(!select->isVisible());
        browser->selectTab(AlbumBrowser::ByCategory);
        QVERIFY(select->isVisible());

        select->click();
        QPointer<CategoryBrowser> picker = shownWindow<CategoryBrowser>();
        QVERIFY(picker && picker->isSelectMode());
        QCOMPARE(area->subWindowList().size(), 2);
        QVERIFY(!browser->isEnabled());
        picker->list()->highlightRow(1); // Jazz
        buttonOf(picker, QStringLiteral("&Select"))->click();
        settle();
        QVERIFY(!picker);
        QCOMPARE(area->subWindowList().size(), 1);
        QVERIFY(browser->isEnabled());
        QCOMPARE(column(*browser, 1), texts({"Blue Train", "Kind of Blue"}));

        // The other category tab lists the same pick; a picker closed by its close box
        // changes nothing.
        browser->selectTab(AlbumBrowser::ByCategoryArtist);
        QCOMPARE(column(*browser, 0), texts({"Coltrane", "Miles Davis"}));
        QVERIFY(select->isVisible());
        select->click();
        picker = shownWindow<CategoryBrowser>();
        QVERIFY(picker);
        qobject_cast<QMdiSubWindow *>(picker->parentWidget())->close();
        settle();
        QVERIFY(!picker);
        QVERIFY(browser->isEnabled());
        QCOMPARE(column(*browser, 0), texts({"Coltrane", "Miles Davis"}));
        // A category chosen while another window is in use shows when the list is back in
        // use.
        QPointer<AlbumBrowser> other = qobject_cast<AlbumBrowser *>(
            program.frame->startProcedure(QStringLiteral("BrowseAlbums")));
        QVERIFY(other);
        QTRY_VERIFY(other->list()->view()->hasFocus());
        chooseCategory(session, 1);
        QTest::mouseClick(browser->list()->view()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
        QTRY_VERIFY(browser->list()->view()->hasFocus());
        QCOMPARE(column(*browser, 0), texts({"Chic"}));
        other->close();
        browser->selectTab(AlbumBrowser::ByAlbum);
        QVERIFY(!select->isVisible());
        browser->close();
    }

    // The frame opens the list from Browse / Albums, from its toolbar and at start-up when
    // asked to; a wizard started from the list leaves it showing what it added. Every way
    // of closing gives back the tables and leaves no window behind.
    void fromTheFrame()
    {
        Program program([] { settings::writeNumber(QStringLiteral("SU_Albums"), 1); });
        QMdiArea *area = program.frame->mdiArea();
        QCOMPARE(program.albumBrowsers().size(), 1);
        QPointer<AlbumBrowser> atStart = program.albumBrowsers().first();
        QCOMPARE(atStart->windowTitle(), QStringLiteral("Albums - 0 entries"));
        atStart->close();
        settle();
        QVERIFY(!atStart);
        QVERIFY(area->subWindowList().isEmpty());
        const QList<int> before = program.counts();

        QAction *menuEntry = program.frame->menuAction(QStringLiteral("BrowseAlbums"));
        QVERIFY(menuEntry && menuEntry->isEnabled());
        QCOMPARE(menuEntry->text(), QStringLiteral("&Albums"));
        menuEntry->trigger();
        QCOMPARE(program.albumBrowsers().size(), 1);
        QAction *toolButton = nullptr;
        for (QAction *action : program.frame->findChild<QToolBar *>()->actions())
            if (action->text() == QStringLiteral("Albums"))
                toolButton = action;
        QVERIFY(toolButton && toolButton->isEnabled());
        toolButton->trigger();
        QCOMPARE(program.albumBrowsers().size(), 2);
        QCOMPARE(area->subWindowList().size(), 2);
        for (AlbumBrowser *browser : program.albumBrowsers())
            qobject_cast<QMdiSubWindow *>(browser->parentWidget())->close(); // the close box
        settle();
        QVERIFY(area->subWindowList().isEmpty());
        QCOMPARE(program.counts(), before);

        // A wizard the program has is offered and started; what it added shows afterwards.
        // One it lacks stays disabled.
        Procedures::add(QStringLiteral("AddSingleArtist"), Procedures::Placement::OwnWindow,
                        [](Session &session, MainFrame &) -> QWidget * {
                            addAlbum(session, {7, "Chic", "Risque", "F20"});
                            return new QLabel(QStringLiteral("wizard"));
                        });
        QPointer<AlbumBrowser> browser = qobject_cast<AlbumBrowser *>(
            program.frame->startProcedure(QStringLiteral("BrowseAlbums")));
        QVERIFY(browser);
        QVERIFY(!buttonOf(browser, QStringLiteral("Compilation Wizard"))->isEnabled());
        buttonOf(browser, QStringLiteral("Single Artist Wi&zard"))->click();
        QCOMPARE(area->subWindowList().size(), 2);
        QCOMPARE(browser->windowTitle(), QStringLiteral("Albums - 0 entries"));
        QPointer<QMdiSubWindow> wizard = area->subWindowList().last();
        QVERIFY(wizard->widget() != browser.data());
        wizard->close();
        settle();
        QVERIFY(!wizard);
        QCOMPARE(browser->windowTitle(), QStringLiteral("Albums - 1 entries"));
        QCOMPARE(column(*browser, 1), texts({"Risque"}));
        // The form for each request opens as a child window and goes with its end.
        for (const char *caption : {"&Add", "&Change", "Cop&y"}) {
            buttonOf(browser, QString::fromUtf8(caption))->click();
            QCOMPARE(area->subWindowList().size(), 2);
            QPointer<AlbumForm> form = shownWindow<AlbumForm>();
            QVERIFY2(form, caption);
            qobject_cast<QMdiSubWindow *>(form->parentWidget())->close();
            settle();
            QVERIFY(!form);
            QCOMPARE(area->subWindowList().size(), 1);
        }
        QCOMPARE(browser->windowTitle(), QStringLiteral("Albums - 1 entries"));
        buttonOf(browser, QStringLiteral("Cl&ose"))->click();
        settle();
        QVERIFY(!browser);
        QVERIFY(area->subWindowList().isEmpty());
        QCOMPARE(program.counts(), before);
    }

    // With albums listed, the record choices of the pop-up menu are offered and act as
    // their buttons do.
    void popupMenuWithRows()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.add({1, "Chic", "Risque", "F20"});
        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        std::unique_ptr<QMenu> menu(browser.buildPopupMenu());
        QCOMPARE(entries(menu.get()),
                 texts({"&Add", "&Change", "&Delete", "-", "Cop&y", "-", "~Single Artist Wi&zard",
                        "~Compilation Wizard", "-", "~&Print", "-", "~Create Label...",
                        "~Quick CD Insert"}));
        menu->actions().at(4)->trigger(); // Copy
        QPointer<AlbumForm> form = shownWindow<AlbumForm>();
        QVERIFY(form);
        QVERIFY(!browser.isEnabled());
        QCOMPARE(form->record().text(alb::Album), QStringLiteral("Risque - Copy"));
        form->cancel();
        settle();
        QVERIFY(!form);
        QVERIFY(browser.isEnabled());
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);
        browser.close();
    }

    // Copy of an album with five songs makes one new album titled as a copy, without
    // songs; the list shows both, the copy highlighted.
    void copyMakesOneAlbum()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.add({1, "Chic", "Risque", "F20"});
        catalogue.add({2, "Abba", "Arrival", "F02"});
        for (int track = 1; track <= 5; ++track)
            catalogue.addSong(track, 1, track);
        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        browser.list()->highlightRow(1);
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Risque"));
        buttonOf(&browser, QStringLiteral("Cop&y"))->click();
        QPointer<AlbumForm> form = shownWindow<AlbumForm>();
        QVERIFY(form);
        form->accept();
        settle();
        QVERIFY(!form);
        QCOMPARE(catalogue.table(TableId::Albums).records(), 3);
        QCOMPARE(browser.windowTitle(), QStringLiteral("Albums - 3 entries"));
        QCOMPARE(column(browser, 1), texts({"Arrival", "Risque", "Risque - Copy"}));
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Risque - Copy"));
        QCOMPARE(column(browser, 0), texts({"Abba", "Chic", "Chic"}));
        QCOMPARE(catalogue.songsOf(1).size(), 5);
        QCOMPARE(catalogue.table(TableId::Songs).records(), 5);
        browser.close();
    }

    // Add on a category tab starts the form in that category; Cancel adds nothing. Change
    // and Delete act on the highlighted album, by button and by key; a deleted album leaves
    // the list with the next one highlighted.
    void addChangeDelete()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addCategory(3, QStringLiteral("Disco"));
        catalogue.add({1, "Chic", "Risque", "F20", 3});
        catalogue.add({2, "Abba", "Arrival", "F02", 3});
        catalogue.add({3, "Blondie", "Parallel Lines", "F05", 3});
        catalogue.chooseCategory(3);
        AlbumBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        QTableView *view = browser.list()->view();
        for (int tab : {AlbumBrowser::ByCategory, AlbumBrowser::ByCategoryArtist}) {
            browser.selectTab(tab);
            QTest::keyClick(view, Qt::Key_Insert);
            QPointer<AlbumForm> form = shownWindow<AlbumForm>();
            QVERIFY(form);
            QCOMPARE(form->record().number(alb::CategoryID), 3);
            QVERIFY(form->record().isBlank(alb::Album));
            form->cancel();
            settle();
        }
        QCOMPARE(catalogue.table(TableId::Albums).records(), 3);

        browser.selectTab(AlbumBrowser::ByAlbum);
        browser.list()->highlightRow(1);
        QTest::keyClick(view, Qt::Key_Return, Qt::ControlModifier);
        QPointer<AlbumForm> form = shownWindow<AlbumForm>();
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Changing an Album Record"));
        QCOMPARE(form->record().text(alb::Album), QStringLiteral("Parallel Lines"));
        QLineEdit *fileNumber = lineAfter(form, QStringLiteral("&File Number:"));
        QVERIFY(fileNumber);
        fileNumber->setText(QStringLiteral("F06"));
        form->accept();
        settle();
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Parallel Lines"));
        QCOMPARE(highlighted(browser, 3), QStringLiteral("F06"));

        prompter.answer(Ok);
        QTest::keyClick(view, Qt::Key_Delete);
        settle();
        QCOMPARE(catalogue.table(TableId::Albums).records(), 2);
        QCOMPARE(column(browser, 1), texts({"Arrival", "Risque"}));
        QCOMPARE(highlighted(browser, 1), QStringLiteral("Risque"));
        QCOMPARE(browser.windowTitle(), QStringLiteral("Albums - 2 entries"));
        browser.close();
    }
};

QTEST_MAIN(TestAlbumBrowser)
#include "tst_albumbrowser.moc"
