#include "app/fieldentry.h"
#include "app/mainframe.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "catalogue.h"
#include "platform/picture.h"
#include "platform/stddate.h"
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
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <sqlite3.h>

using namespace sv;

namespace {

class Catalogue : public test::Catalogue
{
public:
    Catalogue()
        : test::Catalogue({TableId::Songs, TableId::Media, TableId::Categories, TableId::Albums})
    {
        for (const char *name : {"CD", "LP", "Cassette (DBX)"}) {
            table(TableId::Media).buffer().setText(med::Media, QString::fromUtf8(name));
            QVERIFY(table(TableId::Media).add());
        }
    }

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
};

// Opens the song form for a request on the song in the buffer, as a browser would.
SongForm *openSongForm(Catalogue &catalogue, Request request)
{
    auto *form = new SongForm(catalogue.session, request);
    if (!form->start())
        return nullptr;
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form))
        return nullptr;
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

// The song form as a user reaches it: the frame, its song browser, and Add.
struct FramedSongForm
{
    explicit FramedSongForm(Catalogue &catalogue) : frame(catalogue.session)
    {
        Procedures::clear();
        Procedures::add(QStringLiteral("BrowseSongs"), Procedures::Placement::OwnWindow,
                        [](Session &session, MainFrame &) -> QWidget * {
                            auto *songs = new SongBrowser(session);
                            if (songs->start())
                                return songs;
                            delete songs;
                            return nullptr;
                        });
        frame.resize(1000, 760);
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        browser = qobject_cast<SongBrowser *>(frame.startProcedure(QStringLiteral("BrowseSongs")));
    }

    SongForm *add()
    {
        browser->add();
        return openForm();
    }

    SongForm *openForm()
    {
        for (QMdiSubWindow *child : frame.mdiArea()->subWindowList())
            if (auto *songForm = qobject_cast<SongForm *>(child->widget()))
                return songForm;
        return nullptr;
    }

    MainFrame frame;
    SongBrowser *browser = nullptr;
};

// Types into a field as a user does, key by key, after clearing it.
void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// Leaves the field with Tab, as a user does, and lets the check run.
void leave(QWidget *field)
{
    QTest::keyClick(field, Qt::Key_Tab);
    QTest::qWait(10);
}

qint32 secondsOf(qint32 time)
{
    return (time - 1) / 100;
}

// Runs one command of the second station on the catalogue's folder.
bool otherStation(const QString &folder, const QStringList &command)
{
    QProcess station;
    station.start(test::helperProgram(QStringLiteral("station")), QStringList{folder} + command);
    return station.waitForFinished(10000) && station.readAll().trimmed() == "ready";
}

QString highlightedText(Browser &browser, int column)
{
    return browser.list()->model()->textAt(browser.list()->highlightedRow(), column);
}

void typeIntoList(Browser &browser, const QString &text)
{
    QTest::keyClicks(browser.list()->view(), text);
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
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
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
        fieldAfter(form, QStringLiteral("T&ime:"))->setText(QStringLiteral("4:10"));
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
        fieldAfter(form, QStringLiteral("T&ime:"))->setText(QStringLiteral("1:59"));
        form->accept();
        settle();
        QCOMPARE(format(catalogue.song(43).value(mus::Time), u"@t4"), QStringLiteral("01:59:00"));
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);

        // A third song with the same artist and album but no link finds the same album.
        buffer.clear();
        form = openSongForm(catalogue, Request::Insert);
        fieldAfter(form, QStringLiteral("&Artist:"))->setText(QStringLiteral("Moby"));
        fieldAfter(form, QStringLiteral("&Album:"))->setText(QStringLiteral("Play"));
        fieldAfter(form, QStringLiteral("T&ime:"))->setText(QStringLiteral("2:00"));
        form->accept();
        settle();
        const Record third = catalogue.song(44);
        QCOMPARE(third.number(mus::AlbumID), first.number(mus::AlbumID));
        QCOMPARE(format(third.value(mus::Time), u"@t4"), QStringLiteral("02:00:00"));
        QCOMPARE(catalogue.table(TableId::Albums).records(), 1);
    }

    // A look-up the form cannot make (another station holds the media file) is told as
    // such, not as a value missing from the file, and the form keeps what was typed.
    void lookupThatCannotBeMade()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addSong(1, QStringLiteral("A"), QStringLiteral("One"), QStringLiteral("CD"));
        catalogue.table(TableId::Songs).buffer().clear();
        SongForm *form = openSongForm(catalogue, Request::Insert);
        QVERIFY(form);
        fieldAfter(form, QStringLiteral("&Artist:"))->setText(QStringLiteral("Moby"));
        fieldAfter(form, QStringLiteral("&Title:"))->setText(QStringLiteral("Porcelain"));
        sqlite3 *other = nullptr;
        const QByteArray media = catalogue.table(TableId::Media).fileName().toUtf8();
        QCOMPARE(sqlite3_open(media.constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        form->accept();
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Record Retrieval Error")});
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(fieldAfter(form, QStringLiteral("&Artist:"))->text(), QStringLiteral("Moby"));
        form->accept();
        settle();
        QCOMPARE(catalogue.table(TableId::Songs).records(), 2);
    }

    // A new category typed in the form is added on Yes with the next number and linked; on
    // No the form stays open and nothing is added.
    void categoryAddedOnTheSpot()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.table(TableId::Categories).buffer().setNumber(cat::CategoryID, 7);
        catalogue.table(TableId::Categories).buffer().setText(cat::Category, QStringLiteral("Pop"));
        QVERIFY(catalogue.table(TableId::Categories).add());
        catalogue.table(TableId::Songs).buffer().clear();
        SongForm *form = openSongForm(catalogue, Request::Insert);
        QComboBox *category = comboAfter(form, QStringLiteral("&Category:"));
        category->setFocus();
        category->setCurrentText(QStringLiteral("Trance"));
        // Asked when the field is left, and the cursor stays on No.
        prompter.answer(No);
        leave(category);
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Category not found")});
        QVERIFY(category->hasFocus());
        prompter.shown.clear();
        prompter.answer(No);
        QTest::keyClick(category, Qt::Key_Return); // Enter presses OK
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
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
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
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
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
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
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

    // Numeric fields take digits only, and no more than their picture's width, while the
    // user types; a value the field cannot hold is refused when the field is left, with a
    // beep, the reason in the frame's status bar and the cursor back in the field on its
    // tab; OK then writes nothing until it is put right.
    void numericEntriesAreNeverWrappedOrZeroed()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        FramedSongForm framed(catalogue);
        QVERIFY(framed.browser);
        SongForm *form = framed.add();
        QVERIFY(form);
        QLineEdit *side = fieldAfter(form, QStringLiteral("Side/Disc:"));
        QLineEdit *bpm = fieldAfter(form, QStringLiteral("Beats Per Minute:"));
        QLineEdit *track = fieldAfter(form, QStringLiteral("Track &Number:"));
        QLineEdit *chart = fieldAfter(form, QStringLiteral("Highest Chart Number:"));

        typeInto(side, QStringLiteral("3x00"));
        QCOMPARE(side->text(), QStringLiteral("30")); // two places, digits only
        form->tabs()->setCurrentIndex(1);
        typeInto(bpm, QStringLiteral("99999999999"));
        QCOMPARE(bpm->text(), QStringLiteral("9999"));
        typeInto(bpm, QStringLiteral("abc-12"));
        QCOMPARE(bpm->text(), QStringLiteral("12"));

        // A byte holds 0..255: 300 fits the picture's three places but not the field.
        typeInto(chart, QStringLiteral("300"));
        leave(chart);
        QCOMPARE(form->entryProblem(),
                 QStringLiteral("Highest Chart Number must be between 0 and 255."));
        QCOMPARE(framed.frame.statusBar()->currentMessage(), form->entryProblem());
        QCOMPARE(QApplication::focusWidget(), chart);

        // OK from another tab brings the field's tab back and writes nothing.
        form->tabs()->setCurrentIndex(0);
        typeInto(fieldAfter(form, QStringLiteral("&Title:")), QStringLiteral("Porcelain"));
        form->accept();
        QCOMPARE(form->tabs()->currentIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), chart);
        QVERIFY(framed.openForm() == form);
        QCOMPARE(catalogue.song(1).text(mus::Title), QString());

        typeInto(chart, QStringLiteral("12"));
        form->tabs()->setCurrentIndex(0);
        typeInto(track, QStringLiteral("7"));
        leave(track);
        QCOMPARE(form->entryProblem(), QString());
        form->accept();
        settle();
        QCOMPARE(framed.frame.statusBar()->currentMessage(), QString());
        const Record song = catalogue.song(1);
        QCOMPARE(song.number(mus::ChartNumber), 12);
        QCOMPARE(song.number(mus::Side), 30);
        QCOMPARE(song.number(mus::BeatsPerMinute), 12);
        QCOMPARE(song.number(mus::TrackNumber), 7);
        QVERIFY(prompter.shown.isEmpty());
        framed.browser->close();
    }

    // Playing times are typed as a DJ says them: minutes and seconds of any length, hours,
    // minutes and seconds, and hours and minutes up to two hours; a stored time reads back
    // unchanged however often the song is saved again.
    void longTimes()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        const struct
        {
            const char *typed;
            int seconds;
        } cases[] = {{"63:10", 3790},    {"25:30", 1530}, {"4:33", 273},    {"1:59", 7140},
                     {"2:00", 7200},     {"2:01", 121},   {"125:00", 7500}, {"1:03:10", 3790},
                     {"4:10:00", 15000}, {"410", 250}};
        qint64 id = 0;
        for (const auto &entry : cases) {
            catalogue.table(TableId::Songs).buffer().clear();
            SongForm *form = openSongForm(catalogue, Request::Insert);
            QVERIFY(form);
            id = form->record().number(mus::ID);
            QLineEdit *time = fieldAfter(form, QStringLiteral("T&ime:"));
            typeInto(time, QString::fromUtf8(entry.typed));
            QCOMPARE(time->text(), QString::fromUtf8(entry.typed));
            form->accept();
            settle();
            QCOMPARE(secondsOf(qint32(catalogue.song(id).number(mus::Time))), entry.seconds);

            // Saved again without a change, and again after another field changed.
            catalogue.table(TableId::Songs).buffer() = catalogue.song(id);
            form = openSongForm(catalogue, Request::Change);
            fieldAfter(form, QStringLiteral("&Title:"))->setText(QStringLiteral("again"));
            form->accept();
            settle();
            QCOMPARE(secondsOf(qint32(catalogue.song(id).number(mus::Time))), entry.seconds);
        }

        catalogue.table(TableId::Songs).buffer().clear();
        SongForm *form = openSongForm(catalogue, Request::Insert);
        QLineEdit *time = fieldAfter(form, QStringLiteral("T&ime:"));
        typeInto(time, QStringLiteral("abc"));
        QCOMPARE(time->text(), QString());
        typeInto(time, QStringLiteral("4:75"));
        form->accept();
        QVERIFY(form->entryProblem().startsWith(
            QStringLiteral("Time: \"4:75\" is not a playing time.")));
        QCOMPARE(QApplication::focusWidget(), time);
        form->cancel();
        settle();
    }

    // Under a full date format a year alone is the first of January of that year; a date
    // that does not exist is refused with the form to type it in, never stored as none.
    void releaseDates()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        Settings::global().dateFormat = QStringLiteral("d2");
        catalogue.table(TableId::Songs).buffer().clear();
        SongForm *form = openSongForm(catalogue, Request::Insert);
        QLineEdit *released = fieldAfter(form, QStringLiteral("&Release Date:"));
        typeInto(released, QStringLiteral("31 Feb 2001"));
        form->accept();
        QCOMPARE(form->entryProblem(),
                 QStringLiteral("Release Date: \"31 Feb 2001\" is not a date. Type it as "
                                "10/31/1959."));
        QCOMPARE(QApplication::focusWidget(), released);
        typeInto(released, QStringLiteral("1997"));
        form->accept();
        settle();
        QCOMPARE(catalogue.song(1).number(mus::ReleaseDate), makeDate(1997, 1, 1));

        // Year Only keeps the plain year.
        Settings::global().dateFormat = QStringLiteral("n4b");
        catalogue.table(TableId::Songs).buffer().clear();
        form = openSongForm(catalogue, Request::Insert);
        released = fieldAfter(form, QStringLiteral("&Release Date:"));
        typeInto(released, QStringLiteral("19981"));
        QCOMPARE(released->text(), QStringLiteral("1998"));
        form->accept();
        settle();
        QCOMPARE(catalogue.song(2).number(mus::ReleaseDate), 1998);
    }

    // Tabs, line breaks and other control characters, typed or pasted, never reach a
    // one-line field: tabs and breaks become blanks, the others are left out.
    void controlCharactersStayOut()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.table(TableId::Songs).buffer().clear();
        SongForm *form = openSongForm(catalogue, Request::Insert);
        QLineEdit *artist = fieldAfter(form, QStringLiteral("&Artist:"));
        artist->setFocus();
        artist->insert(QStringLiteral("Moby\tPlay") + QChar(1) + QChar(0) +
                       QStringLiteral("\r\nLive"));
        QCOMPARE(artist->text(), QStringLiteral("Moby Play  Live"));
        QLineEdit *mediaLine = comboAfter(form, QStringLiteral("&Media:"))->lineEdit();
        mediaLine->selectAll();
        mediaLine->insert(QStringLiteral("C") + QChar(1) + QStringLiteral("D"));
        QCOMPARE(mediaLine->text(), QStringLiteral("CD"));
        form->accept();
        settle();
        QCOMPARE(catalogue.song(1).text(mus::Artist), QStringLiteral("Moby Play  Live"));
        QCOMPARE(catalogue.song(1).text(mus::Media), QStringLiteral("CD"));
    }

    // Keys of the form: Enter presses OK, Tab leaves a memo and Ctrl+Tab types a tab in it,
    // Ctrl+PgDn and Ctrl+Tab turn to the next tab, and the history key does nothing here.
    void formKeys()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        FramedSongForm framed(catalogue);
        SongForm *form = framed.add();
        QVERIFY(form);
        QLineEdit *artist = fieldAfter(form, QStringLiteral("&Artist:"));
        QTest::keyClick(artist, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(form->tabs()->currentIndex(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(form->tabs()->currentIndex(), 2);
        auto *recording = form->tabs()->currentWidget()->findChildren<QPlainTextEdit *>().first();
        recording->setFocus();
        QTest::keyClicks(recording, QStringLiteral("Engineer"));
        QTest::keyClick(recording, Qt::Key_Tab, Qt::ControlModifier);
        QTest::keyClicks(recording, QStringLiteral("Flood"));
        QCOMPARE(form->tabs()->currentIndex(), 2);
        QTest::keyClick(recording, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != recording);
        QCOMPARE(recording->toPlainText(), QStringLiteral("Engineer\tFlood"));
        QVERIFY(!framed.frame.recordButton(RecordButton::History)->isEnabled());

        form->tabs()->setCurrentIndex(0);
        typeInto(artist, QStringLiteral("Underworld"));
        QTest::keyClick(artist, Qt::Key_Apostrophe, Qt::ControlModifier);
        QCOMPARE(artist->text(), QStringLiteral("Underworld"));
        QTest::keyClick(artist, Qt::Key_Return);
        settle();
        QCOMPARE(framed.openForm(), nullptr);
        QCOMPARE(catalogue.song(1).text(mus::Artist), QStringLiteral("Underworld"));
        QCOMPARE(catalogue.song(1).memo(mus::Recording), QStringLiteral("Engineer\tFlood"));
        framed.browser->close();
    }

    // The locator starts afresh after a move, a click, Esc, a tab change or a form, and
    // finds its target when it lies above the page shown.
    void locator()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        for (int i = 0; i < 60; ++i)
            catalogue.addSong(i + 1, QStringLiteral("Artist %1").arg(i, 2, 10, QChar(u'0')),
                              QStringLiteral("Song %1").arg(i), QStringLiteral("CD"));
        SongBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        QTest::keyClick(browser.list()->view(), Qt::Key_End);
        QCOMPARE(highlightedText(browser, 0), QStringLiteral("Artist 59"));
        typeIntoList(browser, QStringLiteral("artist 05"));
        QCOMPARE(browser.locatorText(), QStringLiteral("artist 05"));
        QCOMPARE(highlightedText(browser, 0), QStringLiteral("Artist 05"));

        QTest::keyClick(browser.list()->view(), Qt::Key_Down);
        QCOMPARE(browser.locatorText(), QString());
        typeIntoList(browser, QStringLiteral("artist 4"));
        QCOMPARE(highlightedText(browser, 0), QStringLiteral("Artist 40"));
        QTest::keyClick(browser.list()->view(), Qt::Key_Escape);
        QCOMPARE(browser.locatorText(), QString());
        typeIntoList(browser, QStringLiteral("a"));
        QTest::mouseClick(browser.list()->view()->viewport(), Qt::LeftButton, {},
                          QPoint(20, browser.list()->view()->rowViewportPosition(1) + 3));
        QCOMPARE(browser.locatorText(), QString());
        typeIntoList(browser, QStringLiteral("a"));
        browser.selectTab(1);
        QCOMPARE(browser.locatorText(), QString());
        browser.selectTab(0);
        typeIntoList(browser, QStringLiteral("artist 1"));
        browser.change();
        settle();
        QCOMPARE(browser.locatorText(), QString());
        SongForm *form = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *songForm = qobject_cast<SongForm *>(window);
                songForm && songForm->isVisible())
                form = songForm;
        QVERIFY(form);
        form->cancel();
        settle();
        // Cancel keeps the highlighted row.
        QCOMPARE(highlightedText(browser, 0), QStringLiteral("Artist 10"));

        // Home and End go to the first and the last record of the order.
        QTest::keyClick(browser.list()->view(), Qt::Key_Home);
        QCOMPARE(highlightedText(browser, 0), QStringLiteral("Artist 00"));
        browser.close();
    }

    // On the media and category orders the locator and the thumb work on the field after
    // the range: the file number and the artist.
    void rangedOrdersLocateTheirOwnField()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        for (int i = 0; i < 40; ++i) {
            const QString media = i % 2 ? QStringLiteral("CD") : QStringLiteral("LP");
            catalogue.addSong(i + 1, QStringLiteral("Artist %1").arg(i, 2, 10, QChar(u'0')),
                              QStringLiteral("Song %1").arg(i), media, i % 2 ? 3 : 4);
            Record &song = catalogue.table(TableId::Songs).buffer();
            song.setText(mus::FileNumber, QStringLiteral("F%1").arg(40 - i, 2, 10, QChar(u'0')));
            QVERIFY(catalogue.table(TableId::Songs).put());
        }
        SongBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&browser));
        catalogue.table(TableId::Media).buffer().setText(med::Media, QStringLiteral("CD"));
        browser.selectTab(SongBrowser::ByMedia);
        QTest::keyClick(browser.list()->view(), Qt::Key_End);
        typeIntoList(browser, QStringLiteral("f2"));
        QCOMPARE(highlightedText(browser, 4), QStringLiteral("F21"));
        QCOMPARE(highlightedText(browser, 3), QStringLiteral("CD"));
        QCOMPARE(browser.list()->thumbValues().first().toString().left(1), QStringLiteral("F"));
        QVERIFY(browser.list()->dragThumbTo(50));
        QCOMPARE(highlightedText(browser, 3), QStringLiteral("CD"));

        catalogue.table(TableId::Categories).buffer().setNumber(cat::CategoryID, 4);
        browser.selectTab(SongBrowser::ByCategory);
        QTest::keyClick(browser.list()->view(), Qt::Key_End);
        typeIntoList(browser, QStringLiteral("artist 1"));
        QCOMPARE(highlightedText(browser, 0), QStringLiteral("Artist 10"));
        QCOMPARE(browser.list()->thumbValues().first().toString().left(1), QStringLiteral("A"));
        browser.close();
    }

    // A browser that comes back into use shows what another station changed: its rows,
    // the count in its title, and a category's new name.
    void refreshOnFocus()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.table(TableId::Categories).buffer().setNumber(cat::CategoryID, 3);
        catalogue.table(TableId::Categories).buffer().setText(cat::Category, QStringLiteral("Pop"));
        QVERIFY(catalogue.table(TableId::Categories).add());
        catalogue.addSong(1, QStringLiteral("A"), QStringLiteral("One"), QStringLiteral("CD"), 3);
        catalogue.addSong(2, QStringLiteral("B"), QStringLiteral("Two"), QStringLiteral("CD"));
        SongBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QVERIFY(QTest::qWaitForWindowActive(&browser));
        QCOMPARE(browser.windowTitle(), QStringLiteral("Songs - 2 entries"));
        QCOMPARE(browser.list()->model()->textAt(0, 5), QStringLiteral("Pop"));

        QLineEdit elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        QVERIFY(otherStation(catalogue.path(), {QStringLiteral("add-song"), QStringLiteral("9"),
                                                QStringLiteral("AA"), QStringLiteral("New")}));
        QVERIFY(otherStation(catalogue.path(), {QStringLiteral("change-song"), QStringLiteral("2"),
                                                QStringLiteral("Theirs")}));
        QVERIFY(otherStation(catalogue.path(), {QStringLiteral("change-category"),
                                                QStringLiteral("3"), QStringLiteral("Disco")}));
        browser.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&browser));
        QCOMPARE(browser.windowTitle(), QStringLiteral("Songs - 3 entries"));
        QCOMPARE(titlesShown(browser), (QStringList{QStringLiteral("One"), QStringLiteral("New"),
                                                    QStringLiteral("Theirs")}));
        QCOMPARE(browser.list()->model()->textAt(0, 5), QStringLiteral("Disco"));
        browser.close();
    }

    // The list reads what it shows: browsing leaves the song a form holds as it was, the
    // title, category and dragged ID still come through, and Change reads the whole song,
    // its long notes included.
    void pagesReadWhatTheListShows()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.table(TableId::Categories).buffer().setNumber(cat::CategoryID, 3);
        catalogue.table(TableId::Categories).buffer().setText(cat::Category, QStringLiteral("Pop"));
        QVERIFY(catalogue.table(TableId::Categories).add());
        for (int id = 1; id <= 60; ++id)
            catalogue.addSong(id, QStringLiteral("Artist %1").arg(id, 2, 10, QChar(u'0')),
                              QStringLiteral("Song"), QStringLiteral("CD"), id == 30 ? 3 : 0);
        Table &songs = catalogue.table(TableId::Songs);
        Record thirty = catalogue.song(30);
        const QString notes = QStringLiteral("Très long. ").repeated(200).left(2000);
        thirty.setMemo(mus::Notes, notes);
        thirty.setText(mus::Mix, QStringLiteral("Dub"));
        thirty.setNumber(mus::Skips, 1);
        thirty.setText(mus::Composer, QStringLiteral("Not shown"));
        songs.buffer() = thirty;
        QVERIFY(songs.put());

        FramedSongForm framed(catalogue);
        SongBrowser &browser = *framed.browser;
        const Record inForm = catalogue.song(2);
        const RecordPosition formPosition = songs.position();
        QVERIFY(!browser.list()->model()->fields().contains(mus::Composer));
        QTest::keyClick(browser.list()->view(), Qt::Key_PageDown);
        QTest::keyClick(browser.list()->view(), Qt::Key_End, Qt::ControlModifier);
        browser.selectTab(SongBrowser::ByTitle);
        browser.selectTab(SongBrowser::ByArtist);
        typeIntoList(browser, QStringLiteral("artist 30"));
        QCOMPARE(songs.buffer(), inForm);
        QCOMPARE(songs.position(), formPosition);

        QCOMPARE(highlightedText(browser, 0), QStringLiteral("Artist 30"));
        QCOMPARE(highlightedText(browser, 1), QStringLiteral("Song (Skips) (Dub)"));
        QCOMPARE(highlightedText(browser, 5), QStringLiteral("Pop"));
        PageModel *model = browser.list()->model();
        std::unique_ptr<QMimeData> dragged(
            model->mimeData({model->index(browser.list()->highlightedRow(), 0)}));
        QVERIFY(dragged);
        QCOMPARE(dragged->text(), QStringLiteral("30"));

        browser.change();
        SongForm *form = framed.openForm();
        QVERIFY(form);
        const QList<QPlainTextEdit *> memos = form->findChildren<QPlainTextEdit *>();
        QVERIFY(std::any_of(memos.begin(), memos.end(), [&notes](QPlainTextEdit *memo) {
            return memo->toPlainText() == notes;
        }));
        QCOMPARE(form->record().text(mus::Composer), QStringLiteral("Not shown"));
        form->close();
        settle();
        framed.frame.close();
    }

    // A song another station deleted while it was being changed is not offered a save
    // that cannot succeed: the form says so and can add it again with the changes.
    void deletedByAnotherStation()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        catalogue.addSong(7, QStringLiteral("Air"), QStringLiteral("Mine"), QStringLiteral("CD"));
        catalogue.table(TableId::Songs).buffer() = catalogue.song(7);
        catalogue.table(TableId::Songs).watch();
        SongForm *form = openSongForm(catalogue, Request::Change);
        QVERIFY(form);
        QVERIFY(
            otherStation(catalogue.path(), {QStringLiteral("delete-song"), QStringLiteral("7")}));
        fieldAfter(form, QStringLiteral("&Title:"))->setText(QStringLiteral("Kept"));
        prompter.answer(Cancel);
        form->accept();
        QCOMPARE(prompter.captions(), QStringList{QStringLiteral("Record Was Deleted")});
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("This record was deleted by another station.  Do you want to add "
                                "it again with your changes?"));
        QVERIFY(form->isVisible());
        QCOMPARE(fieldAfter(form, QStringLiteral("&Title:"))->text(), QStringLiteral("Kept"));
        prompter.answer(Yes);
        form->accept();
        settle();
        QCOMPARE(prompter.shown.size(), 2);
        QCOMPARE(catalogue.song(7).text(mus::Title), QStringLiteral("Kept"));

        // A row another station deleted is said so when changed or deleted from the list,
        // which stays open without it.
        catalogue.addSong(8, QStringLiteral("Beck"), QStringLiteral("Loser"), QStringLiteral("CD"));
        auto *browser = new SongBrowser(catalogue.session);
        QVERIFY(browser->start());
        browser->show();
        QVERIFY(QTest::qWaitForWindowExposed(browser));
        QCOMPARE(titlesShown(*browser),
                 (QStringList{QStringLiteral("Kept"), QStringLiteral("Loser")}));
        QVERIFY(
            otherStation(catalogue.path(), {QStringLiteral("delete-song"), QStringLiteral("8")}));
        browser->list()->highlightRow(1);
        prompter.shown.clear();
        browser->change();
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.first().text,
                 QStringLiteral("This record was deleted by another station."));
        QVERIFY(browser->isVisible() && browser->isEnabled());
        QCOMPARE(titlesShown(*browser), QStringList{QStringLiteral("Kept")});

        // Deleting a row that is already gone: said so, and the list lets it go.
        QVERIFY(
            otherStation(catalogue.path(), {QStringLiteral("delete-song"), QStringLiteral("7")}));
        catalogue.table(TableId::Songs).buffer() = catalogue.song(7);
        prompter.shown.clear();
        prompter.answer(Ok);
        browser->list()->highlightRow(0);
        browser->remove();
        settle();
        QVERIFY(browser->isVisible());
        QCOMPARE(titlesShown(*browser), QStringList());
        QCOMPARE(prompter.shown.last().text,
                 QStringLiteral("This record was deleted by another station."));
        browser->close();
        settle();
    }

    // Paging goes on past the edge of the page when another station has deleted the song
    // there, and leaves the files free for that station's next write.
    void pagingPastASongAnotherStationDeleted()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
        for (int id = 1; id <= 90; ++id)
            catalogue.addSong(id, QStringLiteral("Artist %1").arg(id, 2, 10, QChar(u'0')),
                              QStringLiteral("Song"), QStringLiteral("CD"));
        SongBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.resize(800, 400);
        browser.show();
        QVERIFY(QTest::qWaitForWindowActive(&browser));
        PageModel *model = browser.list()->model();
        const int rows = model->rowCount();
        QVERIFY(rows > 3 && rows < 45);
        QCOMPARE(model->textAt(rows - 1, 0),
                 QStringLiteral("Artist %1").arg(rows, 2, 10, QChar(u'0')));

        QVERIFY(
            otherStation(catalogue.path(), {QStringLiteral("delete-song"), QString::number(rows)}));
        QTest::keyClick(browser.list()->view(), Qt::Key_PageDown);
        QCOMPARE(model->rowCount(), rows);
        QCOMPARE(model->textAt(0, 0),
                 QStringLiteral("Artist %1").arg(rows + 1, 2, 10, QChar(u'0')));
        QTest::keyClick(browser.list()->view(), Qt::Key_PageUp);
        QCOMPARE(model->rowCount(), rows);
        QCOMPARE(model->textAt(0, 0), QStringLiteral("Artist 01"));

        QVERIFY(otherStation(catalogue.path(), {QStringLiteral("add-song"), QStringLiteral("91"),
                                                QStringLiteral("Zed"), QStringLiteral("Last")}));
        browser.close();
    }

    // The eighth order is named after the user's own field.
    void userDefinedKeyTab()
    {
        test::ScriptedPrompter prompter;
        Catalogue catalogue;
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
