// A search in the song browser that must look at every song: it goes on in slices while the
// window keeps answering, shows what it found so far, and Cancel, Esc and Reset Search stop
// it and leave the browser usable.
#include "app/browselist.h"
#include "app/session.h"
#include "app/settings.h"
#include "catalogue.h"
#include "songs/songbrowser.h"
#include "testsupport.h"

#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

constexpr int SongCount = 5000; // more than two of the chunks a filtered walk reads at once

struct Catalogue : test::Catalogue
{
    Catalogue() : test::Catalogue({TableId::Songs, TableId::Media, TableId::Categories})
    {
        Settings::global().saveLastTab = 0;
        QVERIFY(songs().stream());
        for (int id = 1; id <= SongCount; ++id) {
            songs().buffer().clear();
            songs().buffer().setNumber(mus::ID, id);
            songs().buffer().setText(mus::Artist, u"Artist %1"_s.arg(id, 5, 10, QChar(u'0')));
            songs().buffer().setNumber(mus::Time, 20000 + id); // no key: searched song by song
            QVERIFY(songs().add());
        }
        QVERIFY(songs().flush());
    }
    Table &songs() { return table(TableId::Songs); }
};

} // namespace

class TestSongSearch : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Catalogue> m_catalogue;
    std::unique_ptr<SongBrowser> m_browser;

    PageModel *model() const { return m_browser->list()->model(); }
    QPushButton *cancel() const { return m_browser->findChild<QPushButton *>(u"cancelSearch"_s); }
    QPushButton *button(const QString &caption) const
    {
        for (QPushButton *button : m_browser->findChildren<QPushButton *>()) {
            if (button->text() == caption)
                return button;
        }
        return nullptr;
    }

    // Starts a search of the last song in artist order, in slices as short as can be, so
    // that it never ends within the call whatever the machine's speed.
    void startSearchOfTheLastSong()
    {
        model()->setSliced(true, 0);
        m_browser->setSearchFilter(u"MUS:Time = %1"_s.arg(20000 + SongCount));
        QVERIFY(model()->isSearching());
        QVERIFY(cancel()->isVisible());
        QCOMPARE(m_browser->windowTitle(), u"Songs - 0 found so far"_s);
    }

    void checkStopped()
    {
        QVERIFY(!model()->isSearching());
        QVERIFY(!cancel()->isVisible());
        QVERIFY(m_browser->isVisible());
    }

    // Reset Search shows every song again, also while a search goes on.
    void checkUsable()
    {
        button(u"Reset Search"_s)->click();
        checkStopped();
        QCOMPARE(model()->rowCount(), model()->pageSize());
        QCOMPARE(m_browser->windowTitle(), u"Songs - %1 entries"_s.arg(SongCount));
        QTest::keyClick(m_browser->list()->view(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(model()->textAt(model()->rowCount() - 1, 0),
                 u"Artist %1"_s.arg(SongCount, 5, 10, QChar(u'0')));
        QCOMPARE(m_browser->list()->highlightedRow(), model()->rowCount() - 1);
    }

private Q_SLOTS:
    void init()
    {
        if (!m_catalogue)
            m_catalogue = std::make_unique<Catalogue>();
        m_browser = std::make_unique<SongBrowser>(m_catalogue->session);
        QVERIFY(m_browser->start());
        m_browser->resize(900, 500);
        m_browser->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_browser.get()));
        QVERIFY(!cancel()->isVisible());
    }

    void cleanup() { m_browser.reset(); }

    // The search goes on while events are handled, and ends with the one song it looks for.
    void searchEndsWithWhatItFound()
    {
        startSearchOfTheLastSong();
        QTRY_VERIFY(!model()->isSearching());
        QCOMPARE(model()->rowCount(), 1);
        QCOMPARE(model()->textAt(0, 0), u"Artist %1"_s.arg(SongCount, 5, 10, QChar(u'0')));
        QVERIFY(!cancel()->isVisible());
        QCOMPARE(m_browser->windowTitle(), u"Songs - %1 entries"_s.arg(SongCount));
        // The result is known now: reading past its ends starts no search.
        QTest::keyClick(m_browser->list()->view(), Qt::Key_PageDown);
        QTest::keyClick(m_browser->list()->view(), Qt::Key_PageUp);
        QVERIFY(!model()->isSearching());
        QCOMPARE(model()->rowCount(), 1);
    }

    void nothingFoundIsSaid()
    {
        model()->setSliced(true, 0);
        m_browser->setSearchFilter(u"MUS:Time = 1"_s);
        QTRY_VERIFY(!model()->isSearching());
        QCOMPARE(model()->rowCount(), 0);
        QCOMPARE(m_browser->windowTitle(), u"Songs - no songs match"_s);
        QTest::keyClick(m_browser->list()->view(), Qt::Key_End, Qt::ControlModifier);
        QVERIFY(!model()->isSearching());
        QCOMPARE(m_browser->windowTitle(), u"Songs - no songs match"_s);
        checkUsable();
    }

    void cancelStopsTheSearch()
    {
        startSearchOfTheLastSong();
        cancel()->click();
        checkStopped();
        checkUsable();
    }

    void escapeStopsTheSearch()
    {
        startSearchOfTheLastSong();
        QTest::keyClick(m_browser->list()->view(), Qt::Key_Escape);
        checkStopped();
        checkUsable();
    }

    void resetSearchStopsTheSearch()
    {
        startSearchOfTheLastSong();
        checkUsable();
    }

    // Keys pressed while a search goes on wait for its whole result, the window answering
    // meanwhile, and are then done: Ctrl+End shows the last matches.
    void endWaitsForTheResult()
    {
        model()->setSliced(true, 0);
        m_browser->setSearchFilter(u"MUS:Time > %1"_s.arg(20000 + SongCount - 100));
        QVERIFY(model()->isSearching());
        QTest::keyClick(m_browser->list()->view(), Qt::Key_End, Qt::ControlModifier);
        QVERIFY(model()->isSearching());
        QTRY_VERIFY(!model()->isSearching());
        QCOMPARE(model()->rowCount(), model()->pageSize());
        QCOMPARE(model()->textAt(model()->rowCount() - 1, 0),
                 u"Artist %1"_s.arg(SongCount, 5, 10, QChar(u'0')));
        // The last song is highlighted, as Ctrl+End does when nothing is searched.
        QCOMPARE(m_browser->list()->highlightedRow(), model()->rowCount() - 1);
        QCOMPARE(m_browser->windowTitle(), u"Songs - %1 entries"_s.arg(SongCount));

        // So are the rows a page key or the locator asked for while a search went on (other
        // searches: the result of that one is known now).
        m_browser->setSearchFilter(u"MUS:Time > %1"_s.arg(20000 + SongCount - 101));
        QVERIFY(model()->isSearching());
        QTest::keyClick(m_browser->list()->view(), Qt::Key_PageDown);
        QTRY_VERIFY(!model()->isSearching());
        QCOMPARE(model()->rowCount(), model()->pageSize());
        QCOMPARE(m_browser->list()->highlightedRow(), model()->rowCount() - 1);
        m_browser->setSearchFilter(u"MUS:Time > %1"_s.arg(20000 + SongCount - 102));
        QVERIFY(model()->isSearching());
        QTest::keyClicks(m_browser->list()->view(), u"artist 04950"_s);
        QTRY_VERIFY(!model()->isSearching());
        QCOMPARE(model()->textAt(m_browser->list()->highlightedRow(), 0), u"Artist 04950"_s);
        checkUsable();
    }

    // A search cancelled and then paged goes on where it stopped; the pages hold matches
    // only, in order, from the first match on.
    void pagingAfterCancelFindsTheWholeResult()
    {
        model()->setSliced(true, 0);
        const int first = SongCount - 100 + 1;
        m_browser->setSearchFilter(u"MUS:Time >= %1"_s.arg(20000 + first));
        cancel()->click();
        checkStopped();
        QTest::keyClick(m_browser->list()->view(), Qt::Key_Home, Qt::ControlModifier);
        QVERIFY(model()->isSearching());
        QTRY_VERIFY(!model()->isSearching());
        QCOMPARE(model()->rowCount(), model()->pageSize());
        for (int row = 0; row < model()->rowCount(); ++row)
            QCOMPARE(model()->textAt(row, 0), u"Artist %1"_s.arg(first + row, 5, 10, QChar(u'0')));
        QTest::keyClick(m_browser->list()->view(), Qt::Key_PageDown);
        QVERIFY(!model()->isSearching());
        QCOMPARE(model()->textAt(0, 0),
                 u"Artist %1"_s.arg(first + model()->pageSize(), 5, 10, QChar(u'0')));
        checkUsable();
    }

    // A search an index serves, shown in other orders: each lists the same matches in its
    // own order, and an order that leaves songs out (never charted) leaves them out here too.
    void otherOrdersOfAnIndexedSearch()
    {
        const QStringList artists = {u"Artist 04900"_s, u"Artist 04901"_s, u"Artist 04902"_s,
                                     u"Artist 04903"_s, u"Artist 04904"_s, u"Artist 04905"_s,
                                     u"Artist 04906"_s, u"Artist 04907"_s, u"Artist 04908"_s,
                                     u"Artist 04909"_s};
        const auto shown = [this] {
            QStringList texts;
            for (int row = 0; row < model()->rowCount(); ++row)
                texts.append(model()->textAt(row, 0));
            return texts;
        };
        QVERIFY(model()->pageSize() >= artists.size());
        m_browser->setSearchFilter(u"SUB(UPPER(MUS:Artist),1,11) = UPPER('artist 0490')"_s);
        QVERIFY(!model()->isSearching());
        QCOMPARE(shown(), artists);
        for (const int tab : {SongBrowser::ByTitle, SongBrowser::ByChart, SongBrowser::ByArtist,
                              SongBrowser::ByChart, SongBrowser::ByTitle}) {
            m_browser->selectTab(tab);
            QVERIFY(!model()->isSearching());
            QCOMPARE(shown(), tab == SongBrowser::ByChart ? QStringList() : artists);
            QTest::keyClick(m_browser->list()->view(), Qt::Key_End, Qt::ControlModifier);
            QCOMPARE(shown(), tab == SongBrowser::ByChart ? QStringList() : artists);
        }
        checkUsable();
    }

    // Another order while searching: the search of the new order starts over.
    void tabChangeStartsAnewInTheNewOrder()
    {
        startSearchOfTheLastSong();
        m_browser->selectTab(SongBrowser::ByTitle);
        QTRY_VERIFY(!model()->isSearching());
        QCOMPARE(model()->rowCount(), 1);
        checkUsable();
    }
};

QTEST_MAIN(TestSongSearch)
#include "tst_songsearch.moc"
