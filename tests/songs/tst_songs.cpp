#include "app/session.h"
#include "app/settings.h"
#include "platform/picture.h"
#include "songs/querybuilder.h"
#include "songs/songbrowser.h"
#include "songs/songform.h"
#include "songs/songtitle.h"
#include "store/errors.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace sv;

namespace {

class Catalogue
{
public:
    explicit Catalogue(const QString &folder) : session(folder)
    {
        session.announceTables();
        Settings::global() = Settings();
        for (TableId id : {TableId::Songs, TableId::Media, TableId::Categories, TableId::Albums})
            QVERIFY(session.files().access(table(id)));
        for (const char *name : {"CD", "LP", "Cassette (DBX)"}) {
            table(TableId::Media).buffer().setText(med::Media, QString::fromUtf8(name));
            QVERIFY(table(TableId::Media).add());
        }
    }

    Table &table(TableId id) { return session.store().table(id); }

    void addSong(qint64 id, const QString &artist, const QString &title, const QString &media,
                 qint64 category = 0)
    {
        Record &song = table(TableId::Songs).buffer();
        song.clear();
        song.setNumber(mus::ID, id);
        song.setText(mus::Artist, artist);
        song.setText(mus::Title, title);
        song.setText(mus::Media, media);
        song.setNumber(mus::CategoryID, category);
        QVERIFY(table(TableId::Songs).add());
    }

    Record song(qint64 id)
    {
        Table &songs = table(TableId::Songs);
        songs.buffer().setNumber(mus::ID, id);
        if (!songs.get(mus::KeyID))
            songs.buffer().clear();
        return songs.buffer();
    }

    Session session;
};

// Opens the song form for a request on the song in the buffer, as a browser would.
SongForm *openSongForm(Catalogue &catalogue, Request request)
{
    auto *form = new SongForm(catalogue.session, request);
    if (!form->start())
        return nullptr;
    form->show();
    return form;
}

QLineEdit *fieldAfter(SongForm *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            auto *label =
                qobject_cast<QLabel *>(layout->itemAt(row, QFormLayout::LabelRole)
                                           ? layout->itemAt(row, QFormLayout::LabelRole)->widget()
                                           : nullptr);
            if (label && label->text() == prompt)
                return qobject_cast<QLineEdit *>(
                    layout->itemAt(row, QFormLayout::FieldRole)->widget());
        }
    }
    return nullptr;
}

QComboBox *comboAfter(SongForm *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *labelItem = layout->itemAt(row, QFormLayout::LabelRole);
            auto *label = labelItem ? qobject_cast<QLabel *>(labelItem->widget()) : nullptr;
            if (label && label->text() == prompt)
                return qobject_cast<QComboBox *>(
                    layout->itemAt(row, QFormLayout::FieldRole)->widget());
        }
    }
    return nullptr;
}

void settle()
{
    QTest::qWait(20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList titlesShown(Browser &browser)
{
    QStringList titles;
    for (int row = 0; row < browser.list()->model()->rowCount(); ++row)
        titles.append(browser.list()->model()->textAt(row, 1));
    return titles;
}

} // namespace

class TestSongs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The display title adds the Skips mark and the mix, and a title that says "(Skips)"
    // sets the flag without saying it twice.
    void displayTitle()
    {
        Record song(tableDef(TableId::Songs));
        song.setText(mus::Title, QStringLiteral("Sunrise"));
        song.setText(mus::Mix, QStringLiteral("Extended"));
        QCOMPARE(SongDisplayTitle(song), QStringLiteral("Sunrise (Extended)"));
        song.setNumber(mus::Skips, 1);
        QCOMPARE(SongDisplayTitle(song), QStringLiteral("Sunrise (Skips) (Extended)"));
        song.setNumber(mus::Skips, 0);
        song.setText(mus::Title, QStringLiteral("Intro (Skips)"));
        song.setText(mus::Mix, QString());
        QCOMPARE(SongDisplayTitle(song), QStringLiteral("Intro (Skips)"));
        QCOMPARE(song.number(mus::Skips), 1);
        QCOMPARE(SongDisplayTitle(song), QStringLiteral("Intro (Skips)"));
    }

    // New songs are numbered, the first of an album gets track 1 and the next track 2, a
    // track above 99 is refused, and times above two hours are read as minutes and seconds.
    void numberingTracksAndTimes()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        catalogue.addSong(41, QStringLiteral("Old"), QStringLiteral("Song"), QStringLiteral("CD"));
        Settings::global().autoAddToAlbums = QStringLiteral("1");

        catalogue.table(TableId::Songs).buffer().clear();
        SongForm *form = openSongForm(catalogue, Request::Insert);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Adding Information"));
        QCOMPARE(form->record().number(mus::ID), 42);
        QCOMPARE(comboAfter(form, QStringLiteral("&Media:"))->currentText(), QStringLiteral("CD"));
        fieldAfter(form, QStringLiteral("&Artist:"))->setText(QStringLiteral("Moby"));
        fieldAfter(form, QStringLiteral("&Album:"))->setText(QStringLiteral("Play"));
        fieldAfter(form, QStringLiteral("&Title:"))->setText(QStringLiteral("Porcelain"));
        fieldAfter(form, QStringLiteral("T&ime:"))->setText(QStringLiteral("04:10:00"));
        fieldAfter(form, QStringLiteral("Track &Number:"))->setText(QStringLiteral("120"));
        form->accept();
        QCOMPARE(prompter.shown.value(0).text,
                 QStringLiteral("The value of Track must be between 0 and 99."));
        fieldAfter(form, QStringLiteral("Track &Number:"))->setText(QStringLiteral("1"));
        form->accept();
        settle();
        const Record first = catalogue.song(42);
        QCOMPARE(format(first.value(mus::Time), u"@t4"), QStringLiteral("00:04:10"));
        QVERIFY(first.number(mus::AlbumID) != 0);
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);

        // The next song of the album: linked to the same album, numbered track 2.
        Record &buffer = catalogue.table(TableId::Songs).buffer();
        buffer.clear();
        buffer.setNumber(mus::AlbumID, first.number(mus::AlbumID));
        form = openSongForm(catalogue, Request::Insert);
        QCOMPARE(form->record().number(mus::TrackNumber), 2);
        fieldAfter(form, QStringLiteral("&Artist:"))->setText(QStringLiteral("Moby"));
        fieldAfter(form, QStringLiteral("&Album:"))->setText(QStringLiteral("Play"));
        fieldAfter(form, QStringLiteral("T&ime:"))->setText(QStringLiteral("01:59:00"));
        form->accept();
        settle();
        QCOMPARE(format(catalogue.song(43).value(mus::Time), u"@t4"), QStringLiteral("01:59:00"));
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);

        // A third song with the same artist and album but no link finds the same album.
        buffer.clear();
        form = openSongForm(catalogue, Request::Insert);
        fieldAfter(form, QStringLiteral("&Artist:"))->setText(QStringLiteral("Moby"));
        fieldAfter(form, QStringLiteral("&Album:"))->setText(QStringLiteral("Play"));
        fieldAfter(form, QStringLiteral("T&ime:"))->setText(QStringLiteral("02:00:00"));
        form->accept();
        settle();
        const Record third = catalogue.song(44);
        QCOMPARE(third.number(mus::AlbumID), first.number(mus::AlbumID));
        QCOMPARE(format(third.value(mus::Time), u"@t4"), QStringLiteral("02:00:00"));
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);
    }

    // A new category typed in the form is added on Yes with the next number and linked; on
    // No the form stays open and nothing is added.
    void categoryAddedOnTheSpot()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        catalogue.table(TableId::Categories).buffer().setNumber(cat::CategoryID, 7);
        catalogue.table(TableId::Categories).buffer().setText(cat::Category, QStringLiteral("Pop"));
        QVERIFY(catalogue.table(TableId::Categories).add());
        catalogue.table(TableId::Songs).buffer().clear();
        SongForm *form = openSongForm(catalogue, Request::Insert);
        comboAfter(form, QStringLiteral("&Category:"))->setCurrentText(QStringLiteral("Trance"));
        prompter.answer(No);
        form->accept();
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Category not found")});
        QVERIFY(form->isVisible());
        QCOMPARE(catalogue.table(TableId::Categories).records(), 1);
        prompter.answer(Yes);
        form->accept();
        settle();
        QCOMPARE(catalogue.table(TableId::Categories).records(), 2);
        QCOMPARE(catalogue.song(1).number(mus::CategoryID), 8);
    }

    // A copied song is a new record with a new ID and every other field of the original.
    void copyMakesANewSong()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        catalogue.addSong(5, QStringLiteral("Air"), QStringLiteral("La Femme"),
                          QStringLiteral("LP"));
        Record original = catalogue.song(5);
        original.setNumber(mus::AlbumID, 9);
        original.setNumber(mus::TrackNumber, 3);
        original.setMemo(mus::Notes, QStringLiteral("Remastered"));
        catalogue.table(TableId::Songs).buffer() = original;
        QVERIFY(catalogue.table(TableId::Songs).put());
        catalogue.table(TableId::Songs).buffer() = catalogue.song(5);
        SongForm *form = openSongForm(catalogue, Request::Select);
        QVERIFY(form);
        form->accept();
        settle();
        Record copy = catalogue.song(6);
        QCOMPARE(copy.number(mus::ID), 6);
        copy.setNumber(mus::ID, 5);
        QCOMPARE(copy, catalogue.song(5));
    }

    // The media order shows the songs of the selected format in any letter case, and an
    // Add there starts with CD whatever format is selected; an Add on the category order
    // starts with the selected category.
    void rangesAndAdds()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        catalogue.addSong(1, QStringLiteral("A"), QStringLiteral("One"), QStringLiteral("CD"), 3);
        catalogue.addSong(2, QStringLiteral("B"), QStringLiteral("Two"), QStringLiteral("cd"));
        catalogue.addSong(3, QStringLiteral("C"), QStringLiteral("Three"), QStringLiteral("LP"), 3);
        SongBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QCOMPARE(browser.windowTitle(), QStringLiteral("Songs - 3 entries"));
        catalogue.table(TableId::Media).buffer().setText(med::Media, QStringLiteral("CD"));
        browser.selectTab(SongBrowser::ByMedia);
        QCOMPARE(titlesShown(browser), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));

        catalogue.table(TableId::Media).buffer().setText(med::Media, QStringLiteral("LP"));
        browser.add();
        auto *form = qobject_cast<SongForm *>(QApplication::activeWindow());
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *songForm = qobject_cast<SongForm *>(window))
                form = songForm;
        QVERIFY(form);
        QCOMPARE(form->record().text(mus::Media), QStringLiteral("CD"));
        form->cancel();
        settle();

        catalogue.table(TableId::Categories).buffer().setNumber(cat::CategoryID, 3);
        browser.selectTab(SongBrowser::ByCategory);
        QCOMPARE(titlesShown(browser),
                 (QStringList{QStringLiteral("One"), QStringLiteral("Three")}));
        browser.add();
        form = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *songForm = qobject_cast<SongForm *>(window);
                songForm && songForm->isVisible())
                form = songForm;
        QVERIFY(form);
        QCOMPARE(form->record().number(mus::CategoryID), 3);
        form->cancel();
        settle();
        QCOMPARE(catalogue.table(TableId::Songs).records(), 3);

        browser.setSearchFilter(QStringLiteral("UPPER(MUS:Artist) = 'C'"));
        QCOMPARE(titlesShown(browser), QStringList{QStringLiteral("Three")});
        browser.setSearchFilter(QString());
        QCOMPARE(titlesShown(browser).size(), 2);
        browser.close();
    }

    // Search opens the query builder over the list; leaving it without a query changes
    // nothing and gives the list back.
    void searchOpensTheQueryBuilder()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        catalogue.addSong(1, QStringLiteral("A"), QStringLiteral("One"), QStringLiteral("CD"));
        SongBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        browser.search();
        QueryBuilder *builder = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QueryBuilder *>(window); dialog && dialog->isVisible())
                builder = dialog;
        QVERIFY(builder);
        QVERIFY(!browser.isEnabled());
        builder->reject();
        settle();
        QVERIFY(browser.isEnabled());
        QCOMPARE(browser.searchFilter(), QString());
        browser.close();
    }

    // The eighth order is named after the user's own field.
    void userDefinedKeyTab()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        Settings::global().udkPrompt = QStringLiteral("Vinyl Pressing Plant");
        SongBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        auto *tabs = browser.findChild<QTabBar *>();
        QCOMPARE(tabs->tabText(7).trimmed(), QStringLiteral("By Vinyl Pres"));
        browser.close();
    }
};

QTEST_MAIN(TestSongs)
#include "tst_songs.moc"
