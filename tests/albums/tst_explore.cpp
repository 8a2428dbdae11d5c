#include "albums/albumbrowser.h"
#include "app/formatlistbox.h"
#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/session.h"
#include "catalogue.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "songs/songbrowser.h"
#include "store/ordermaker.h"
#include "store/store.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <tuple>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

class Catalogue : public test::Catalogue
{
public:
    Catalogue()
        : test::Catalogue({TableId::Songs, TableId::Media, TableId::Categories, TableId::Albums})
    {}

    void addSong(qint64 id, const QString &artist, const QString &style, qint64 rating = 0)
    {
        Record &song = table(TableId::Songs).buffer();
        song.clear();
        song.setNumber(mus::ID, id);
        song.setText(mus::Artist, artist);
        song.setText(mus::Title, QStringLiteral("Song %1").arg(id));
        song.setText(mus::Style, style);
        song.setNumber(mus::Rating, rating);
        QVERIFY(table(TableId::Songs).add());
    }
};

QHeaderView *headerOf(Browser &browser)
{
    return browser.list()->view()->horizontalHeader();
}

QString headerText(Browser &browser, int column)
{
    return browser.list()->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

int columnShowing(Browser &browser, const QString &header)
{
    for (int column = 0; column < browser.list()->model()->columnCount(); ++column) {
        QString text = headerText(browser, column);
        if (text.endsWith(u'>') || text.endsWith(u'<'))
            text.chop(1);
        if (text == header)
            return column;
    }
    return -1;
}

// A click on a header, as the user gives it.
void clickHeader(Browser &browser, const QString &header)
{
    QHeaderView *bar = headerOf(browser);
    const int column = columnShowing(browser, header);
    QVERIFY2(column >= 0, qPrintable(header));
    browser.list()->view()->scrollTo(browser.list()->model()->index(0, column));
    QTest::mouseClick(bar->viewport(), Qt::LeftButton, {},
                      QPoint(bar->sectionViewportPosition(column) + 4, bar->height() / 2));
}

QStringList column(Browser &browser, const QString &header)
{
    const int at = columnShowing(browser, header);
    QStringList texts;
    for (int row = 0; row < browser.list()->model()->rowCount(); ++row)
        texts.append(browser.list()->model()->textAt(row, at).trimmed());
    return texts;
}

QString position(const QString &stem)
{
    return IniFile::get(QStringLiteral("XploreSongs"), stem + QStringLiteral("?Browse"), QString(),
                        Paths::positionFile());
}

std::unique_ptr<SongBrowser> openExplorer(Catalogue &catalogue)
{
    auto browser = std::make_unique<SongBrowser>(catalogue.session, Request::None, nullptr,
                                                 BrowserStyle::Explore);
    browser->setAttribute(Qt::WA_DeleteOnClose, false);
    if (!browser->start())
        return nullptr;
    browser->resize(900, 500);
    browser->show();
    if (!QTest::qWaitForWindowExposed(browser.get()))
        return nullptr;
    return browser;
}

} // namespace

class TestExplore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Clicking a header orders by it, a second click turns the order round, and the marker
    // follows; a field without a key of its own gets an index made for it first; a text
    // order ignores case; a column that shows a looked-up name cannot order.
    void orderingByHeaders()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        const QStringList styles{QStringLiteral("blues"), QStringLiteral("Ambient"),
                                 QStringLiteral("acid"), QStringLiteral("Rock"), QString()};
        for (int id = 1; id <= 60; ++id)
            catalogue.addSong(id, QStringLiteral("Artist %1").arg(id, 2, 10, QChar(u'0')),
                              styles.at(id % styles.size()), id % 11);
        std::unique_ptr<SongBrowser> browser = openExplorer(catalogue);
        QVERIFY(browser);
        QCOMPARE(browser->windowTitle(), QStringLiteral("Songs - 60 entries"));
        QCOMPARE(headerText(*browser, 0), QStringLiteral("Artist>"));
        QCOMPARE(column(*browser, QStringLiteral("Artist")).first(), QStringLiteral("Artist 01"));

        clickHeader(*browser, QStringLiteral("Artist"));
        QCOMPARE(headerText(*browser, 0), QStringLiteral("Artist<"));
        // The highlighted song stays highlighted in the new order.
        QCOMPARE(browser->list()->model()->textAt(browser->list()->highlightedRow(), 0).trimmed(),
                 QStringLiteral("Artist 01"));
        QTest::keyClick(browser->list()->view(), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(column(*browser, QStringLiteral("Artist")).first(), QStringLiteral("Artist 60"));
        // Paging on down the turned order, and its end.
        const QStringList firstPage = column(*browser, QStringLiteral("Artist"));
        QTest::keyClick(browser->list()->view(), Qt::Key_PageDown);
        const QStringList secondPage = column(*browser, QStringLiteral("Artist"));
        QVERIFY(secondPage.first() < firstPage.last());
        QTest::keyClick(browser->list()->view(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(column(*browser, QStringLiteral("Artist")).last(), QStringLiteral("Artist 01"));

        QVERIFY(!OrderMaker::isReady(catalogue.table(TableId::Songs), mus::OrderStyle));
        const int highlightedId = 1;
        clickHeader(*browser, QStringLiteral("Style"));
        QVERIFY(OrderMaker::isReady(catalogue.table(TableId::Songs), mus::OrderStyle));
        QCOMPARE(headerText(*browser, 0), QStringLiteral("Artist"));
        const int style = columnShowing(*browser, QStringLiteral("Style"));
        QCOMPARE(headerText(*browser, style), QStringLiteral("Style>"));
        QCOMPARE(browser->list()->model()->textAt(browser->list()->highlightedRow(), 0).trimmed(),
                 QStringLiteral("Artist %1").arg(highlightedId, 2, 10, QChar(u'0')));
        QTest::keyClick(browser->list()->view(), Qt::Key_Home, Qt::ControlModifier);
        QStringList shown = column(*browser, QStringLiteral("Style"));
        QCOMPARE(shown.first(), QString()); // blank first
        QStringList sorted = shown;
        std::stable_sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        QCOMPARE(shown, sorted);
        QTest::keyClick(browser->list()->view(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(column(*browser, QStringLiteral("Style")).last(), QStringLiteral("Rock"));

        clickHeader(*browser, QStringLiteral("Style"));
        QCOMPARE(headerText(*browser, style), QStringLiteral("Style<"));
        QCOMPARE(column(*browser, QStringLiteral("Style")).first(), QStringLiteral("Rock"));
        // The locator goes to the first of the typed text down the turned order.
        QTest::keyClicks(browser->list()->view(), QStringLiteral("b"));
        QCOMPARE(
            browser->list()->model()->textAt(browser->list()->highlightedRow(), style).trimmed(),
            QStringLiteral("blues"));

        prompter.answer(Ok);
        clickHeader(*browser, QStringLiteral("Category"));
        QCOMPARE(prompter.captions(),
                 QStringList{QStringLiteral("Xplore Template - Re-Order Option")});
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("Data cannot be ordered on column: Category (CAT:Category)"));
        QCOMPARE(headerText(*browser, style), QStringLiteral("Style<"));

        // Numbers order by value.
        clickHeader(*browser, QStringLiteral("Rating"));
        QTest::keyClick(browser->list()->view(), Qt::Key_Home, Qt::ControlModifier);
        const QStringList ratings = column(*browser, QStringLiteral("Rating"));
        for (qsizetype i = 1; i < ratings.size(); ++i)
            QVERIFY(ratings.at(i - 1).toInt() <= ratings.at(i).toInt());
        browser->close();
        QCOMPARE(position(QStringLiteral("XplorePrevCol-")),
                 QString::number(columnShowing(*browser, QStringLiteral("Rating")) + 1));
    }

    // The column flags show: Uline underlines a column's texts, Border draws a line on its
    // right, and the columns up to a Fixed one keep their place while the list scrolls
    // sideways a column at a time; setting a flag leaves the column's field as it was,
    // whatever letters its name holds.
    void columnFlagsShow()
    {
        Catalogue catalogue;
        for (int id = 1; id <= 5; ++id)
            catalogue.addSong(id, u"Artist %1"_s.arg(id), u"Pop"_s);
        std::unique_ptr<SongBrowser> browser = openExplorer(catalogue);
        QVERIFY(browser);
        browser->viewProperties();
        auto *format = browser->findChild<FormatListbox *>();
        QVERIFY(format);
        const auto box = [&format](const QString &text) {
            for (QCheckBox *check : format->findChildren<QCheckBox *>()) {
                if (check->text() == text)
                    return check;
            }
            return static_cast<QCheckBox *>(nullptr);
        };
        auto *shownList = format->findChildren<QTreeWidget *>().first();
        QTableView *view = browser->list()->view();
        const auto cell = [&] {
            const QRect rect(view->columnViewportPosition(0), 0, view->columnWidth(0),
                             view->rowHeight(0));
            return view->viewport()->grab(rect).toImage();
        };

        shownList->setCurrentItem(shownList->topLevelItem(0)); // Artist
        QVERIFY(box(u"&Border"_s)->isChecked());               // as designed
        box(u"&Border"_s)->setChecked(false);
        const QImage plain = cell();
        box(u"&Uline"_s)->setChecked(true);
        const QImage underlined = cell();
        QVERIFY(underlined != plain);
        box(u"&Uline"_s)->setChecked(false);
        QCOMPARE(cell(), plain);
        box(u"&Border"_s)->setChecked(true);
        const QImage bordered = cell();
        const int right = bordered.width() - 1;
        int differing = 0;
        for (int y = 0; y < bordered.height(); ++y)
            differing += bordered.pixel(right, y) != plain.pixel(right, y) ? 1 : 0;
        QVERIFY(differing >= bordered.height() - 1);

        const int fileNumber = columnShowing(*browser, u"File Number"_s);
        QCOMPARE(fileNumber, 4);
        shownList->setCurrentItem(shownList->topLevelItem(fileNumber));
        box(u"F&ixed"_s)->setChecked(true);
        QVERIFY(browser->listLayout().contains(u"#MUS:FileNumber#"));
        auto *sideBar = browser->list()->findChildren<QScrollBar *>().last();
        QCOMPARE(sideBar->orientation(), Qt::Horizontal);
        QVERIFY(sideBar->isVisible());
        QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        const int columns = browser->list()->model()->columnCount();
        QCOMPARE(sideBar->maximum(), columns - fileNumber - 2);
        sideBar->setValue(2);
        for (int column = 0; column < columns; ++column)
            QCOMPARE(view->isColumnHidden(column), column == 5 || column == 6);
        QCOMPARE(view->columnViewportPosition(0), 0);
        QVERIFY(view->columnViewportPosition(7) > view->columnViewportPosition(fileNumber));

        box(u"F&ixed"_s)->setChecked(false);
        QVERIFY(!sideBar->isVisible());
        for (int column = 0; column < columns; ++column)
            QVERIFY(!view->isColumnHidden(column));
        QCOMPARE(columnShowing(*browser, u"File Number"_s), fileNumber);
        QVERIFY(browser->listLayout().contains(u"#MUS:FileNumber#"));
        format->close();
    }

    // An order on a text without key text of its own pages through long runs of equal
    // values (which its index can only enter by their leading value) in both directions,
    // turned round, and on from a record stood on, as the order's index holds them.
    void pagingThroughRunsOfEqualText()
    {
        Catalogue catalogue;
        const QStringList styles{u"pop"_s, u"Jazz"_s, u"POP"_s, QString(), u"Pop"_s, u"jazz"_s};
        struct Song
        {
            QString style, artist;
            qint64 id;
        };
        QList<Song> songs;
        for (int id = 1; id <= 97; ++id) {
            const QString artist = u"Artist %1"_s.arg((id * 37) % 23, 2, 10, QChar(u'0'));
            catalogue.addSong(id, artist, styles.at(id % styles.size()));
            songs.append({styles.at(id % styles.size()).toUpper(), artist, id});
        }
        // Titles are "Song <id>" and positions follow the IDs: both break ties the same way.
        std::sort(songs.begin(), songs.end(), [](const Song &a, const Song &b) {
            const auto title = [](const Song &s) { return u"SONG %1"_s.arg(s.id); };
            return std::tuple(a.style, a.artist.toUpper(), title(a), a.id) <
                   std::tuple(b.style, b.artist.toUpper(), title(b), b.id);
        });
        QList<qint64> expected;
        for (const Song &song : songs)
            expected.append(song.id);

        Table &table = catalogue.table(TableId::Songs);
        {
            OrderMaker maker(table, mus::OrderStyle);
            QVERIFY(QTest::qWaitFor([&] { return maker.isFinished(); }, 10000));
            QVERIFY2(maker.succeeded(), qPrintable(maker.failure()));
        }
        View view(table, mus::OrderStyle, QString());
        view.setFields({mus::ID});
        QVERIFY(view.open());
        const qsizetype idSlot = view.fields().indexOf(mus::ID);
        QHash<qint64, RecordPosition> positions;
        const auto readAll = [&](bool forward) {
            QList<qint64> ids;
            while (forward ? view.next() : view.previous()) {
                ids.append(view.row().fields.at(idSlot).toLongLong());
                positions.insert(ids.last(), view.row().position);
            }
            return ids;
        };
        QList<qint64> reversed = expected;
        std::reverse(reversed.begin(), reversed.end());
        for (int wanted : {1, 4, 40}) {
            view.setWanted(wanted);
            view.set();
            QCOMPARE(readAll(true), expected);
            view.set();
            QCOMPARE(readAll(false), reversed);
            view.setDescending(true);
            view.set();
            QCOMPARE(readAll(true), reversed);
            view.setDescending(false);
            // Stood on a record inside a run: on from it both ways.
            const qsizetype at = (wanted * 7 + 11) % expected.size();
            QVERIFY(view.reset(positions.value(expected.at(at))));
            QCOMPARE(readAll(true), expected.mid(at));
            QVERIFY(view.reset(positions.value(expected.at(at))));
            QCOMPARE(readAll(false), reversed.mid(reversed.size() - 1 - at));
        }
    }

    // The layout and look set in the format window show at once, are kept when the view
    // closes and come back when it opens; "&Default" brings back the designed columns; a
    // new design of the program shows its own columns instead of a layout saved for another.
    void formatKeptAndRestored()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        for (int id = 1; id <= 5; ++id)
            catalogue.addSong(id, QStringLiteral("Artist %1").arg(id), QStringLiteral("Pop"));
        std::unique_ptr<SongBrowser> browser = openExplorer(catalogue);
        QVERIFY(browser);
        const int designedColumns = browser->list()->model()->columnCount();
        QCOMPARE(designedColumns, 15);

        browser->viewProperties();
        auto *format = browser->findChild<FormatListbox *>();
        QVERIFY(format);
        QCOMPARE(format->windowTitle(), QStringLiteral("Format Listbox..."));
        auto *shownList = format->findChildren<QTreeWidget *>().first();
        shownList->setCurrentItem(shownList->topLevelItem(2)); // Album
        const auto press = [&format](const QString &caption) {
            for (QPushButton *button : format->findChildren<QPushButton *>()) {
                if (button->text() == caption) {
                    button->click();
                    return true;
                }
            }
            return false;
        };
        QVERIFY(press(QStringLiteral("Hide column from display list")));
        QCOMPARE(browser->list()->model()->columnCount(), designedColumns - 1);
        QCOMPARE(columnShowing(*browser, QStringLiteral("Album")), -1);
        shownList->setCurrentItem(shownList->topLevelItem(0));
        QVERIFY(press(QStringLiteral("Move Column Right")));
        QCOMPARE(headerText(*browser, 0), QStringLiteral("Title"));
        QCOMPARE(headerText(*browser, 1), QStringLiteral("Artist>"));
        auto *available = format->findChildren<QTreeWidget *>().at(1);
        QCOMPARE(available->topLevelItemCount(), 1);
        QCOMPARE(available->topLevelItem(0)->text(1), QStringLiteral("MUS:Album"));
        Browser::ListLook look = browser->listLook();
        look.lineHeight = 31;
        look.verticalScroll = false;
        browser->applyListLook(look);
        QCOMPARE(browser->list()->view()->verticalHeader()->defaultSectionSize(), 31);
        format->close();
        browser->close();
        QVERIFY(position(QStringLiteral("XploreFormatString-")).contains(u"#MUS:Title#"));
        QVERIFY(!position(QStringLiteral("XploreFormatString-")).contains(u"#MUS:Album#"));
        QCOMPARE(position(QStringLiteral("XploreLineHeight-")), QStringLiteral("31"));
        QCOMPARE(position(QStringLiteral("XploreVscroll-")), QStringLiteral("0"));

        browser = openExplorer(catalogue);
        QVERIFY(browser);
        QCOMPARE(browser->list()->model()->columnCount(), designedColumns - 1);
        QCOMPARE(headerText(*browser, 1), QStringLiteral("Artist>"));
        QCOMPARE(browser->list()->view()->verticalHeader()->defaultSectionSize(), 31);
        QVERIFY(!browser->list()->scrollBar()->isVisible());

        browser->viewProperties();
        format = browser->findChild<FormatListbox *>();
        QVERIFY(format && press(QStringLiteral("&Default")));
        QCOMPARE(browser->list()->model()->columnCount(), designedColumns);
        QCOMPARE(headerText(*browser, 2), QStringLiteral("Album"));
        format->close();
        browser->close();
        QCOMPARE(position(QStringLiteral("XploreFormatString-")),
                 position(QStringLiteral("XploreOrigFormatString-")));

        // A layout saved under another design is not applied; the design is remembered.
        QVERIFY(IniFile::put(
            QStringLiteral("XploreSongs"), QStringLiteral("XploreFormatString-?Browse"),
            QStringLiteral("80L(2)|M#MUS:Title#~Mine~@s50@"), Paths::positionFile()));
        QVERIFY(IniFile::put(
            QStringLiteral("XploreSongs"), QStringLiteral("XploreOrigFormatString-?Browse"),
            QStringLiteral("80L(2)|M#MUS:Title#~Old design~@s50@"), Paths::positionFile()));
        browser = openExplorer(catalogue);
        QVERIFY(browser);
        QCOMPARE(browser->list()->model()->columnCount(), designedColumns);
        QCOMPARE(position(QStringLiteral("XploreOrigFormatString-")), browser->designedLayout());
        browser->close();
    }

    // The index an order was given stays out of the file's layout: the catalogue opens
    // again, a rebuild of the keys lets it go, and the next click makes it again.
    void orderIndexesAndTheFileLayout()
    {
        test::ScriptedPrompter prompter;
        auto catalogue = std::make_unique<Catalogue>();
        for (int id = 1; id <= 30; ++id)
            catalogue->addSong(id, QStringLiteral("A%1").arg(id), QString(), 30 - id);
        {
            OrderMaker maker(catalogue->table(TableId::Songs), mus::OrderRating);
            QVERIFY(QTest::qWaitFor([&] { return maker.isFinished(); }, 10000));
            QVERIFY2(maker.succeeded(), qPrintable(maker.failure()));
        }
        QVERIFY(OrderMaker::isReady(catalogue->table(TableId::Songs), mus::OrderRating));
        Table &songs = catalogue->table(TableId::Songs);
        QVERIFY(songs.build());
        QVERIFY(!OrderMaker::isReady(songs, mus::OrderRating));
        // The key walk still serves searches by the fields of the file's own keys.
        songs.set(mus::SongsByArtist);
        QVERIFY(songs.next());

        // Another order of the same view in a frame: the window goes with its frame.
        MainFrame frame(catalogue->session);
        frame.resize(1000, 700);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        Procedures::clear();
        Procedures::addBrowser(QStringLiteral("XploreAlbums"), [](Session &session) {
            return new AlbumBrowser(session, Request::None, nullptr, BrowserStyle::Explore);
        });
        auto *albums =
            qobject_cast<AlbumBrowser *>(frame.startProcedure(QStringLiteral("XploreAlbums")));
        QVERIFY(albums);
        QCOMPARE(albums->windowTitle(), QStringLiteral("Albums - 0 entries"));
        // Every order of the albums has its index made on first use, the first one's as the
        // view opens.
        QCOMPARE(headerText(*albums, 0), QStringLiteral("Album>"));
        QVERIFY(OrderMaker::isReady(catalogue->table(TableId::Albums), alb::OrderAlbum));
        QCOMPARE(frame.mdiArea()->subWindowList().size(), 1);
        albums->close();
        QVERIFY(QTest::qWaitFor([&] { return frame.mdiArea()->subWindowList().isEmpty(); }, 5000));
        Procedures::clear();
    }
};

QTEST_MAIN(TestExplore)
#include "tst_explore.moc"
