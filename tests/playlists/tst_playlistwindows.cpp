// The play-list windows inside the real frame: how each one ends, and what Exit does with
// a play list being edited.
#include "app/browselist.h"
#include "app/mainframe.h"
#include "app/pagemodel.h"
#include "app/procedures.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/splashwindow.h"
#include "platform/instances.h"
#include "playlists/generateplaylist.h"
#include "playlists/playlistbrowser.h"
#include "playlists/playlistentries.h"
#include "playlists/playlistentry.h"
#include "playlists/playlistform.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

// The real frame on a catalogue of its own with songs 1..5, an album, and play list 1
// ("Friday") of songs 1, 2, 3, past its splash window.
class Program
{
public:
    Program()
    {
        Instances::reset();
        Settings::global() = Settings();
        settings::writeNumber(u"SetupWizardComplete"_s, 1);
        settings::writeNumber(u"ShowTips"_s, 0);
        session.announceTables();
        Procedures::clear();
        Procedures::addBrowser(u"BrowsePlayLists"_s,
                               [](Session &s) { return new PlaylistBrowser(s); });
        frame = std::make_unique<MainFrame>(session);
        QVERIFY(frame->openCatalogue());
        fill();
        frame->resize(1000, 700);
        frame->showAndStart();
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<SplashWindow *>(window))
                window->close();
        }
        QTest::qWait(20);
        prompter.shown.clear(); // the start-up's own questions
    }
    ~Program()
    {
        if (frame)
            frame->close();
    }

    void fill()
    {
        Store &store = session.store();
        Table &songs = store.table(TableId::Songs);
        Table &masters = store.table(TableId::PlaylistMaster);
        Table &entries = store.table(TableId::PlaylistDetails);
        Table &albums = store.table(TableId::Albums);
        const TableUses uses = session.files().use({&songs, &masters, &entries, &albums});
        QVERIFY(uses);
        // An album on file: the start-up does not offer to build the albums from the songs,
        // work that would hold tables while the test counts them.
        albums.buffer().clear();
        albums.buffer().setNumber(alb::AlbumID, 1);
        albums.buffer().setText(alb::Album, u"Friday Tunes"_s);
        QVERIFY(albums.add());
        for (int id = 1; id <= 5; ++id) {
            Record &song = test::newSong(songs, id);
            song.setText(mus::Artist, u"Artist %1"_s.arg(id));
            song.setText(mus::Title, u"Song %1"_s.arg(id));
            song.setNumber(mus::Time, qint64(id) * 6000 + 1);
            QVERIFY(songs.add());
        }
        masters.buffer().clear();
        masters.buffer().setNumber(pld::PlaylistID, 1);
        masters.buffer().setText(pld::PlaylistDescription, u"Friday"_s);
        QVERIFY(masters.add());
        for (int seq = 1; seq <= 3; ++seq) {
            entries.buffer() = playlistRow(1);
            entries.buffer().setNumber(pla::PlaylistSeq, seq);
            entries.buffer().setNumber(pla::ID, seq);
            QVERIFY(entries.add());
        }
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
    PlaylistBrowser *openBrowser()
    {
        return qobject_cast<PlaylistBrowser *>(frame->startProcedure(u"BrowsePlayLists"_s));
    }

    test::Workspace workspace;
    test::ScriptedPrompter prompter;
    Session session{workspace.path()};
    std::unique_ptr<MainFrame> frame;
};

// What a play list holds on file once the program has ended: its name, then its songs in
// entry order; empty when there is no such play list.
QStringList playlistOnFile(const QString &folder, qint64 id)
{
    Store store(folder);
    Table &masters = store.table(TableId::PlaylistMaster);
    Table &entries = store.table(TableId::PlaylistDetails);
    if (!masters.open() || !entries.open())
        return {u"<unreadable>"_s};
    masters.buffer().clear();
    masters.buffer().setNumber(pld::PlaylistID, id);
    if (!masters.get(pld::KeyPlaylistID))
        return {};
    QStringList held{masters.buffer().text(pld::PlaylistDescription).trimmed()};
    entries.buffer() = playlistRow(id);
    entries.setFrom(pla::KeyPlaylistID);
    while (entries.next() && entries.buffer().number(pla::PlaylistID) == id)
        held.append(QString::number(entries.buffer().number(pla::ID)));
    return held;
}

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
        titles.append(child->widget() ? child->widget()->windowTitle() : u"<empty>"_s);
    return titles;
}

QMdiSubWindow *frameOf(QWidget *window)
{
    return qobject_cast<QMdiSubWindow *>(window->parentWidget());
}

void startGenerator(PlaylistBrowser *browser)
{
    std::unique_ptr<QMenu> menu(browser->buildPopupMenu());
    for (QAction *action : menu->actions()) {
        if (action->text() == u"Generate Play List"_s)
            action->trigger();
    }
}

} // namespace

class TestPlaylistWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    // The list of play lists, the play-list form (with an entry form over it) and the
    // generator each end whole however they end: OK or Enter, Cancel, Esc, the close box. No empty
    // frame stays in the work area, each window object goes, and every table they opened
    // is given back.
    void everyWayOfClosingLeavesNoFrame()
    {
        Program program;
        QMdiArea *area = program.area();
        const QList<int> before = program.counts();
        QPointer<PlaylistBrowser> browser = program.openBrowser();
        QVERIFY(browser);
        QCOMPARE(childTitles(area), QStringList{u"Playlists"_s});
        const auto onlyTheBrowserLeft = [&](QPointer<QWidget> gone, const char *how) {
            settle();
            // A loaded machine may take longer than a settle to let the window go.
            QTRY_VERIFY2(!gone, how);
            QCOMPARE(childTitles(area), QStringList{u"Playlists"_s});
            QVERIFY(browser->isEnabled());
        };

        QPointer<PlaylistForm> form;
        const auto openForm = [&](const QString &button) {
            buttonOf(browser, button)->click();
            QTRY_VERIFY(shownWindow<PlaylistForm>());
            form = shownWindow<PlaylistForm>();
            QCOMPARE(area->subWindowList().size(), 2);
        };
        openForm(u"&Add"_s);
        buttonOf(form, u"Cancel"_s)->click();
        onlyTheBrowserLeft(form.data(), "Cancel on a new play list");

        browser->list()->highlightRow(0);
        openForm(u"&Change"_s);
        QCOMPARE(form->windowTitle(), u"Changing a Playlist Record"_s);
        QTest::keyClick(form, Qt::Key_Escape);
        onlyTheBrowserLeft(form.data(), "Esc");

        openForm(u"&Change"_s);
        frameOf(form)->close();
        onlyTheBrowserLeft(form.data(), "the close box");

        // An entry form over the play-list form: its own ends take only it.
        openForm(u"&Change"_s);
        form->entries()->list()->highlightRow(0);
        buttonOf(form, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistEntryForm>());
        QPointer<PlaylistEntryForm> entry = shownWindow<PlaylistEntryForm>();
        QCOMPARE(area->subWindowList().size(), 3);
        QVERIFY(!form->isEnabled());
        frameOf(entry)->close();
        settle();
        QVERIFY(!entry);
        QCOMPARE(area->subWindowList().size(), 2);
        QVERIFY(form->isEnabled());
        buttonOf(form, u"&Add"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistEntryForm>());
        entry = shownWindow<PlaylistEntryForm>();
        QTest::keyClick(entry, Qt::Key_Escape);
        settle();
        QVERIFY(!entry);
        QCOMPARE(area->subWindowList().size(), 2);
        // The play list's close box while its entry form is open leaves both as they are:
        // the entry form's result still has somewhere to go.
        buttonOf(form, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistEntryForm>());
        entry = shownWindow<PlaylistEntryForm>();
        frameOf(form)->close();
        settle();
        QVERIFY(form && entry);
        QCOMPARE(childTitles(area), QStringList({u"Playlists"_s, u"Changing a Playlist Record"_s,
                                                 u"Changing a Playlist Detail"_s}));
        buttonOf(entry, u"Cancel"_s)->click();
        settle();
        QVERIFY(!entry);
        QVERIFY(form->isEnabled());
        buttonOf(form, u"&Ok"_s)->click();
        onlyTheBrowserLeft(form.data(), "OK after the entry form");
        QCOMPARE(playlistOnFile(program.workspace.path(), 1),
                 QStringList({u"Friday"_s, u"1"_s, u"2"_s, u"3"_s}));

        // The generator: Cancel, the close box and Esc, then a play list drawn with OK.
        QPointer<playlists::GeneratePlaylistWindow> generator;
        const auto openGenerator = [&] {
            startGenerator(browser);
            QTRY_VERIFY(shownWindow<playlists::GeneratePlaylistWindow>());
            generator = shownWindow<playlists::GeneratePlaylistWindow>();
            QCOMPARE(area->subWindowList().size(), 2);
            QVERIFY(!browser->isEnabled());
        };
        openGenerator();
        buttonOf(generator, u"Cancel"_s)->click();
        onlyTheBrowserLeft(generator.data(), "the generator's Cancel");
        openGenerator();
        frameOf(generator)->close();
        onlyTheBrowserLeft(generator.data(), "the generator's close box");
        openGenerator();
        QTest::keyClick(generator, Qt::Key_Escape);
        onlyTheBrowserLeft(generator.data(), "the generator's Esc");
        openGenerator();
        generator->sizeEntry()->setText(u"2"_s);
        QTest::keyClick(generator->sizeEntry(), Qt::Key_Return);
        onlyTheBrowserLeft(generator.data(), "Enter in the generator");
        QCOMPARE(browser->list()->model()->rowCount(), 2);

        buttonOf(browser, u"Cl&ose"_s)->click();
        settle();
        QTRY_VERIFY(!browser);
        QCOMPARE(childTitles(area), QStringList());
        QTRY_COMPARE(program.counts(), before);
    }

    // A new play list whose close box is pressed while its entry form is open stays, and so
    // does the entry form while its song picker is open: each result still has somewhere
    // to go, and no entry is left naming a play list that is gone. Cancelled in turn, they
    // give back the entry's number and the play list with its entries.
    void newPlaylistWaitsForItsEntryForm()
    {
        Program program;
        QPointer<PlaylistBrowser> browser = program.openBrowser();
        QVERIFY(browser);
        buttonOf(browser, u"&Add"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistForm>());
        QPointer<PlaylistForm> form = shownWindow<PlaylistForm>();
        QVERIFY(form->entries()->dropSong(u"4"_s));
        buttonOf(form, u"&Add"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistEntryForm>());
        QPointer<PlaylistEntryForm> entry = shownWindow<PlaylistEntryForm>();
        frameOf(form)->close();
        settle();
        QVERIFY(form && entry);
        QCOMPARE(playlistOnFile(program.workspace.path(), 2).size(), 3); // name, song 4, new
        entry->selectSong(); // the picker opens over the entry form ...
        QTRY_VERIFY(!entry->isEnabled());
        frameOf(entry)->close(); // ... which waits for it too
        settle();
        QVERIFY(entry);
        for (QMdiSubWindow *child : program.area()->subWindowList()) {
            if (child->widget() != browser && child->widget() != form && child->widget() != entry)
                child->close(); // the picker, given up
        }
        settle();
        QTRY_VERIFY(entry->isEnabled());
        buttonOf(entry, u"Cancel"_s)->click();
        settle();
        QVERIFY(!entry);
        frameOf(form)->close();
        settle();
        QVERIFY(!form);
        QCOMPARE(program.area()->subWindowList().size(), 1);
        QCOMPARE(playlistOnFile(program.workspace.path(), 2), QStringList());
        Table &entries = program.session.store().table(TableId::PlaylistDetails);
        const TableUse use = program.session.files().use(entries);
        QVERIFY(use);
        QCOMPARE(entries.records(), 3); // play list 1's alone
    }

    // Exit with the play-list form open and its name changed asks, as every form does:
    // Cancel keeps the program and the form as they were, Yes saves the play list and ends
    // the program.
    void exitAsksToSaveAChangedPlaylist()
    {
        Program program;
        QPointer<PlaylistBrowser> browser = program.openBrowser();
        QVERIFY(browser);
        browser->list()->highlightRow(0);
        buttonOf(browser, u"&Change"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistForm>());
        QPointer<PlaylistForm> form = shownWindow<PlaylistForm>();
        QLineEdit *name = fieldAfter(form, u"&Playlist Description:"_s);
        QVERIFY(name);
        name->setText(u"Friday Late"_s);
        form->findChild<QPlainTextEdit *>()->setPlainText(u"Bring the vinyl"_s);

        program.prompter.answer(Cancel);
        QVERIFY(!program.frame->close());
        QCOMPARE(program.prompter.shown.size(), 1);
        QCOMPARE(program.prompter.shown.at(0).caption, u"Changing a Playlist Record"_s);
        QVERIFY(program.prompter.shown.at(0).text.startsWith(u"Do you want to save the changes"_s));
        QVERIFY(form && form->isVisible());
        QCOMPARE(name->text(), u"Friday Late"_s);

        program.prompter.answer(Yes);
        QVERIFY(program.frame->close());
        settle();
        program.frame.reset();
        QCOMPARE(playlistOnFile(program.workspace.path(), 1),
                 QStringList({u"Friday Late"_s, u"1"_s, u"2"_s, u"3"_s}));
    }

    // Exit with a new play list open, songs dropped on it and a name typed: No gives the
    // play list's number back with its entries; an entry form open over it asks too.
    void exitWithoutSavingANewPlaylistLeavesNothing()
    {
        Program program;
        QPointer<PlaylistBrowser> browser = program.openBrowser();
        QVERIFY(browser);
        buttonOf(browser, u"&Add"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistForm>());
        QPointer<PlaylistForm> form = shownWindow<PlaylistForm>();
        QCOMPARE(form->record().number(pld::PlaylistID), 2);
        fieldAfter(form, u"&Playlist Description:"_s)->setText(u"Saturday"_s);
        QVERIFY(form->entries()->dropSong(u"4"_s));
        QVERIFY(form->entries()->dropSong(u"5"_s));
        QCOMPARE(playlistOnFile(program.workspace.path(), 2).mid(1), QStringList({u"4"_s, u"5"_s}));
        buttonOf(form, u"&Add"_s)->click();
        QTRY_VERIFY(shownWindow<PlaylistEntryForm>());
        QPointer<PlaylistEntryForm> entry = shownWindow<PlaylistEntryForm>();
        fieldAfter(entry, u"&Playlist Notes:"_s)->setText(u"Encore"_s);

        program.prompter.answer(No); // one answer for each form that asks
        program.prompter.answer(No);
        QVERIFY(program.frame->close());
        settle();
        QVERIFY(!form && !entry);
        // The entry form first, while the play list it belongs to is still there.
        QCOMPARE(program.prompter.captions(),
                 QStringList({u"Adding a Playlist Detail"_s, u"Adding a Playlist Record"_s}));
        program.frame.reset();
        QCOMPARE(playlistOnFile(program.workspace.path(), 2), QStringList());
        QCOMPARE(playlistOnFile(program.workspace.path(), 1),
                 QStringList({u"Friday"_s, u"1"_s, u"2"_s, u"3"_s}));
    }
};

QTEST_MAIN(TestPlaylistWindows)
#include "tst_playlistwindows.moc"
