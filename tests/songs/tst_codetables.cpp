#include "app/session.h"
#include "app/settings.h"
#include "catalogue.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "songs/codetables.h"
#include "store/errors.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>

using namespace sv;

namespace {

class Catalogue : public test::Catalogue
{
public:
    void addCategories(const QStringList &names)
    {
        Table &categories = session.store().table(TableId::Categories);
        const TableUse use = session.files().use(categories);
        QVERIFY(use);
        QVERIFY(session.store().database().logout(2));
        qint64 id = categories.records();
        for (const QString &name : names) {
            categories.buffer().clear();
            categories.buffer().setNumber(cat::CategoryID, ++id);
            categories.buffer().setText(cat::Category, name);
            QVERIFY(categories.add());
        }
        QVERIFY(session.store().database().commit());
    }
};

// A category browser with the incremental locator and two orders, to try the shared
// machinery the song browser will use.
class TwoOrderBrowser : public Browser
{
public:
    TwoOrderBrowser(Session &session, Request request) : Browser(session, setup(), request) {}

protected:
    UpdateForm *createForm(Request request) override
    {
        return new CategoryForm(session(), request);
    }

private:
    static BrowserSetup setup()
    {
        BrowserSetup setup;
        setup.procedure = QStringLiteral("BrowseTestCategories");
        setup.plural = QStringLiteral("Categories");
        setup.table = TableId::Categories;
        SortTab byName{QStringLiteral("By Name"), cat::KeyCategory, {}, true, {}};
        SortTab byNumber{QStringLiteral("By Number"), cat::KeyCategoryID, {}, true, {}};
        setup.tabs = {byName, byNumber};
        setup.tabSetting = QStringLiteral("TestTab");
        setup.listFormat = QStringLiteral("80L(2)|M~Category~L(2)@s30@40R(2)|M~ID~@n_6@");
        setup.columnText = {BrowserSetup::field(cat::Category),
                            BrowserSetup::field(cat::CategoryID)};
        return setup;
    }
};

template <typename Form> Form *openForm()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *form = qobject_cast<Form *>(window); form && form->isVisible())
                return form;
        }
        QTest::qWait(10);
    }
    return nullptr;
}

QStringList shownColumn(Browser &browser, int column = 0)
{
    QStringList texts;
    for (int row = 0; row < browser.list()->model()->rowCount(); ++row)
        texts.append(browser.list()->model()->textAt(row, column));
    return texts;
}

QString highlightedText(Browser &browser)
{
    return browser.list()->model()->textAt(browser.list()->highlightedRow(), 0);
}

void typeInto(Browser &browser, const QString &text)
{
    QTest::keyClicks(browser.list()->view(), text);
}

void waitForForms()
{
    QTest::qWait(30);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestCodeTables : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The media list shows the seeded formats in key order; the empty category list offers
    // only Add in its pop-up menu.
    void listsAndPopupMenus()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Table &media = catalogue.session.store().table(TableId::Media);
        const TableUse mediaUse = catalogue.session.files().use(media);
        QVERIFY(mediaUse);
        for (const char *name : {"CD", "LP", "7\" Single", "Cassette (DBX)", "cd single"}) {
            media.buffer().setText(med::Media, QString::fromUtf8(name));
            QVERIFY(media.add());
        }
        MediaBrowser mediaBrowser(catalogue.session, Request::None);
        QVERIFY(mediaBrowser.start());
        mediaBrowser.show();
        QCOMPARE(mediaBrowser.windowTitle(), QStringLiteral("Browse Media Formats"));
        QCOMPARE(
            shownColumn(mediaBrowser),
            (QStringList{QStringLiteral("7\" Single"), QStringLiteral("Cassette (DBX)"),
                         QStringLiteral("CD"), QStringLiteral("cd single"), QStringLiteral("LP")}));
        QVERIFY(!mediaBrowser.button(QStringLiteral("&Select"))->isVisible());
        std::unique_ptr<QMenu> mediaMenu(mediaBrowser.buildPopupMenu());
        QStringList entries;
        for (QAction *action : mediaMenu->actions())
            entries.append(action->isSeparator()
                               ? QStringLiteral("-")
                               : action->text() +
                                     (action->isEnabled() ? QString() : QStringLiteral("~")));
        QCOMPARE(entries, (QStringList{QStringLiteral("&Add"), QStringLiteral("&Change"),
                                       QStringLiteral("&Delete"), QStringLiteral("-"),
                                       QStringLiteral("&Select~")}));

        CategoryBrowser categories(catalogue.session, Request::None);
        QVERIFY(categories.start());
        std::unique_ptr<QMenu> menu(categories.buildPopupMenu());
        QVERIFY(menu->actions().at(0)->isEnabled());
        QVERIFY(!menu->actions().at(1)->isEnabled());
        QVERIFY(!menu->actions().at(2)->isEnabled());
        QVERIFY(!categories.button(QStringLiteral("&Change"))->isEnabled());
        mediaBrowser.close();
        categories.close();
    }

    // Numbering: the first category gets 1; deleting the highest and adding again gives the
    // same number; a name in use is refused naming its key and the form stays open;
    // cancelling an insert leaves the count unchanged.
    void categoryNumberingAndDuplicates()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        CategoryBrowser browser(catalogue.session, Request::None);
        QVERIFY(browser.start());
        browser.show();
        Table &categories = catalogue.session.store().table(TableId::Categories);

        browser.add();
        auto *form = openForm<CategoryForm>();
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Add Category"));
        form->findChild<QLineEdit *>()->setText(QStringLiteral("Dance"));
        form->accept();
        waitForForms();
        QCOMPARE(categories.records(), 1);
        QCOMPARE(shownColumn(browser), QStringList{QStringLiteral("Dance")});
        categories.buffer().setText(cat::Category, QStringLiteral("Dance"));
        QVERIFY(categories.get(cat::KeyCategory));
        QCOMPARE(categories.buffer().number(cat::CategoryID), 1);

        browser.add();
        form = openForm<CategoryForm>();
        form->findChild<QLineEdit *>()->setText(QStringLiteral("DANCE"));
        form->accept();
        QCOMPARE(prompter.shown.value(0).text,
                 QStringLiteral("Adding this record creates a duplicate entry for the key:"
                                "CAT:KeyCategory"));
        QVERIFY(form->isVisible());
        form->cancel();
        waitForForms();
        QCOMPARE(categories.records(), 1);

        browser.list()->highlightRow(0);
        browser.remove();
        waitForForms();
        QCOMPARE(prompter.captions().last(), QStringLiteral("Confirm Delete"));
        QCOMPARE(categories.records(), 1); // the default answer is Cancel
        prompter.answer(Ok);
        browser.remove();
        waitForForms();
        QCOMPARE(categories.records(), 0);
        browser.add();
        form = openForm<CategoryForm>();
        form->findChild<QLineEdit *>()->setText(QStringLiteral("Rock"));
        form->accept();
        waitForForms();
        categories.buffer().setText(cat::Category, QStringLiteral("Rock"));
        QVERIFY(categories.get(cat::KeyCategory));
        QCOMPARE(categories.buffer().number(cat::CategoryID), 1);
        browser.close();
    }

    // The history key puts into the focused field what this form saved last.
    void historyKeyRecallsLastSaved()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        CategoryBrowser browser(catalogue.session, Request::None);
        QVERIFY(browser.start());
        browser.show();
        browser.add();
        auto *form = openForm<CategoryForm>();
        form->findChild<QLineEdit *>()->setText(QStringLiteral("Northern Soul"));
        form->accept();
        waitForForms();
        browser.add();
        form = openForm<CategoryForm>();
        auto *name = form->findChild<QLineEdit *>();
        QVERIFY(name->text().isEmpty());
        name->setFocus();
        QApplication::setActiveWindow(form);
        QTest::keyClick(form, Qt::Key_Apostrophe, Qt::ControlModifier);
        QCOMPARE(name->text(), QStringLiteral("Northern Soul"));
        form->cancel();
        waitForForms();
        browser.close();
    }

    // A change that alters nothing writes nothing; a change another station made meanwhile
    // is shown and the next save goes through.
    void changesAndConflicts()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addCategories({QStringLiteral("Jazz")});
        CategoryBrowser browser(catalogue.session, Request::None);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        browser.list()->highlightRow(0);
        Q_EMIT browser.list()->view()->doubleClicked(browser.list()->model()->index(0, 0));
        auto *form = openForm<CategoryForm>();
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Change Category"));
        form->accept();
        waitForForms();
        QVERIFY(prompter.shown.isEmpty());

        browser.change();
        form = openForm<CategoryForm>();
        QProcess station;
        station.start(test::helperProgram(QStringLiteral("station")),
                      {catalogue.path(), QStringLiteral("change-category"), QStringLiteral("1"),
                       QStringLiteral("Bebop")});
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.readAll().trimmed(), QByteArray("ready"));
        auto *name = form->findChild<QLineEdit *>();
        name->setText(QStringLiteral("Swing"));
        form->accept();
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Record Was Not Updated")});
        QVERIFY(form->isVisible());
        QCOMPARE(name->text(), QStringLiteral("Bebop"));
        name->setText(QStringLiteral("Swing"));
        form->accept();
        waitForForms();
        QCOMPARE(shownColumn(browser), QStringList{QStringLiteral("Swing")});
        browser.close();
    }

    // In select mode the Select button is the default and leaves the highlighted record in
    // the shared buffer; closing otherwise reports cancelled.
    void selectMode()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addCategories(
            {QStringLiteral("Blues"), QStringLiteral("Funk"), QStringLiteral("Soul")});
        auto *browser = new CategoryBrowser(catalogue.session, Request::Select);
        QVERIFY(browser->start());
        browser->show();
        QPushButton *select = browser->button(QStringLiteral("&Select"));
        QVERIFY(select->isVisible() && select->isDefault());
        std::optional<WindowResult> result;
        QObject::connect(browser, &Browser::finished, browser,
                         [&result](const WindowResult &r) { result = r; });
        browser->list()->highlightRow(1);
        select->click();
        QVERIFY(result && result->response == Response::Completed);
        QCOMPARE(catalogue.session.store().table(TableId::Categories).buffer().text(cat::Category),
                 QStringLiteral("Funk"));
        waitForForms();

        // Enter in the list presses the default button of a picker.
        browser = new CategoryBrowser(catalogue.session, Request::Select);
        QVERIFY(browser->start());
        browser->show();
        result.reset();
        QObject::connect(browser, &Browser::finished, browser,
                         [&result](const WindowResult &r) { result = r; });
        browser->list()->highlightRow(2);
        QTest::keyClick(browser->list()->view(), Qt::Key_Return);
        QVERIFY(result && result->response == Response::Completed);
        QCOMPARE(catalogue.session.store().table(TableId::Categories).buffer().text(cat::Category),
                 QStringLiteral("Soul"));
        waitForForms();
    }

    // Enter in a form's field presses its default button; a name pasted with a tab and a
    // line break is stored on one line.
    void enterSavesTheForm()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        CategoryBrowser browser(catalogue.session, Request::None);
        QVERIFY(browser.start());
        browser.show();
        browser.add();
        auto *form = openForm<CategoryForm>();
        QVERIFY(form);
        auto *name = form->findChild<QLineEdit *>();
        name->insert(QStringLiteral("Deep\tHouse\n") + QChar(1));
        QTest::keyClick(name, Qt::Key_Return);
        waitForForms();
        QVERIFY(!openForm<CategoryForm>());
        QCOMPARE(shownColumn(browser), QStringList{QStringLiteral("Deep House")});
        browser.close();
    }

    // The step locator walks the rows that begin with the typed letter and starts again at
    // the first of them.
    void stepLocator()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addCategories({QStringLiteral("Acid"), QStringLiteral("Ballad"),
                                 QStringLiteral("Blues"), QStringLiteral("Country")});
        CategoryBrowser browser(catalogue.session, Request::None);
        QVERIFY(browser.start());
        browser.show();
        const QStringList expected{QStringLiteral("Ballad"), QStringLiteral("Blues"),
                                   QStringLiteral("Ballad"), QStringLiteral("Blues")};
        for (const QString &wanted : expected) {
            typeInto(browser, QStringLiteral("b"));
            QCOMPARE(highlightedText(browser), wanted);
        }
        typeInto(browser, QStringLiteral("c"));
        QCOMPARE(highlightedText(browser), QStringLiteral("Country"));
        browser.close();
    }

    // The incremental locator keeps 30 characters, ignores Backspace when empty, finds the
    // record by key across pages, and switching orders keeps the highlighted record.
    void incrementalLocatorAndOrders()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        QStringList names;
        for (int i = 0; i < 400; ++i)
            names.append(QStringLiteral("Name %1").arg(i, 3, 10, QChar(u'0')));
        catalogue.addCategories(names);
        TwoOrderBrowser browser(catalogue.session, Request::None);
        QVERIFY(browser.start());
        browser.resize(500, 300);
        browser.show();
        QTest::qWait(20);
        QTest::keyClick(browser.list()->view(), Qt::Key_Backspace);
        QCOMPARE(browser.locatorText(), QString());
        typeInto(browser, QStringLiteral("name 25"));
        QCOMPARE(highlightedText(browser), QStringLiteral("Name 250"));
        typeInto(browser, QString(40, u'x'));
        QCOMPARE(browser.locatorText().size(), 30);

        typeInto(browser, QString());
        browser.list()->highlightRow(0);
        const QString before = highlightedText(browser);
        browser.selectTab(1);
        QCOMPARE(highlightedText(browser), before);
        QCOMPARE(browser.windowTitle(), QStringLiteral("Categories - 400 entries"));

        // Paging and the thumb never hold more than a page.
        QVERIFY(browser.list()->goBottom());
        QCOMPARE(browser.list()->model()->textAt(browser.list()->highlightedRow(), 1),
                 QStringLiteral("400"));
        QVERIFY(browser.list()->model()->rowCount() <= browser.list()->model()->pageSize());
        QVERIFY(browser.list()->dragThumbTo(50));
        const int middle = browser.list()->model()->textAt(0, 1).toInt();
        QVERIFY2(middle > 150 && middle < 250, qPrintable(QString::number(middle)));
        browser.close();
    }

    // With SaveLastTab off the browser opens on its first order whatever was saved; with it
    // on, on the saved one. The list layout is kept per window.
    void lastTabAndLayout()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addCategories({QStringLiteral("One")});
        settings::writeNumber(QStringLiteral("TestTab"), 2);
        {
            Settings::global().saveLastTab = 0;
            TwoOrderBrowser browser(catalogue.session, Request::None);
            QVERIFY(browser.start());
            QCOMPARE(browser.currentTab(), 0);
            browser.close();
        }
        settings::writeNumber(QStringLiteral("TestTab"), 2);
        Settings::global().saveLastTab = 1;
        TwoOrderBrowser browser(catalogue.session, Request::None);
        QVERIFY(browser.start());
        QCOMPARE(browser.currentTab(), 1);
        browser.close();
        QVERIFY(!IniFile::get(QStringLiteral("BrowseTestCategories"), QStringLiteral("SRCF?Browse"),
                              QString(), Paths::positionFile())
                     .isEmpty());
    }

    // Two browsers of one table work independently, and a form's record is not disturbed by
    // another browser reading the same table meanwhile.
    void twoBrowsersOfOneTable()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        QStringList names;
        for (int i = 0; i < 60; ++i)
            names.append(QStringLiteral("Style %1").arg(i, 2, 10, QChar(u'0')));
        catalogue.addCategories(names);
        TwoOrderBrowser first(catalogue.session, Request::None);
        TwoOrderBrowser second(catalogue.session, Request::None);
        QVERIFY(first.start() && second.start());
        first.show();
        second.show();
        first.list()->goBottom();
        second.selectTab(1);
        QCOMPARE(first.list()->model()->textAt(first.list()->highlightedRow(), 0),
                 QStringLiteral("Style 59"));
        QCOMPARE(second.list()->model()->textAt(0, 0), QStringLiteral("Style 00"));

        first.list()->highlightRow(0);
        first.change();
        auto *form = openForm<CategoryForm>();
        QVERIFY(form);
        second.list()->goBottom();
        second.refresh();
        form->findChild<QLineEdit *>()->setText(QStringLiteral("Renamed"));
        form->accept();
        waitForForms();
        Table &categories = catalogue.session.store().table(TableId::Categories);
        categories.buffer().setText(cat::Category, QStringLiteral("Renamed"));
        QVERIFY(categories.get(cat::KeyCategory));
        QVERIFY(categories.buffer().number(cat::CategoryID) != 60);
        QCOMPARE(categories.records(), 60);
        first.close();
        second.close();
    }
};

QTEST_MAIN(TestCodeTables)
#include "tst_codetables.moc"
