#include "albums/albumsongs.h"
#include "albums/selectfilenumber.h"
#include "app/browselist.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "app/settings.h"
#include "platform/stddate.h"
#include "playlists/generateplaylist.h"
#include "playlists/playlistbrowser.h"
#include "playlists/playlistentries.h"
#include "playlists/playlistentry.h"
#include "playlists/playlistexport.h"
#include "playlists/playlistform.h"
#include "store/sqldialect.h"
#include "store/warnings.h"
#include "storecatalogue.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

// One second of 8-bit mono silence as a WAV file.
QByteArray wavBytes()
{
    const auto le = [](quint32 value, int size) {
        QByteArray bytes;
        for (int i = 0; i < size; ++i)
            bytes.append(char((value >> (8 * i)) & 0xFF));
        return bytes;
    };
    const QByteArray data(8000, char(0x80));
    return "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
           le(8000, 4) + le(8000, 4) + le(1, 2) + le(8, 2) + "data" + le(data.size(), 4) + data;
}

const QString SongIdType = u"application/x-songvane-song-id"_s;

class Catalogue
{
public:
    explicit Catalogue(const QString &folder) : session(folder)
    {
        session.announceTables();
        Settings::global() = Settings();
        uses = session.files().use({&table(TableId::Songs), &table(TableId::Media),
                                    &table(TableId::Categories), &table(TableId::PlaylistMaster),
                                    &table(TableId::PlaylistDetails)});
        QVERIFY(uses);
    }

    Table &table(TableId id) { return session.store().table(id); }
    Table &songs() { return table(TableId::Songs); }
    Table &masters() { return table(TableId::PlaylistMaster); }
    Table &entries() { return table(TableId::PlaylistDetails); }

    // Songs 1..n titled "Song n", n minutes long.
    void addSongs(int count, int first = 1)
    {
        QVERIFY(songs().stream());
        for (int id = first; id < first + count; ++id) {
            Record &song = test::newSong(songs(), id);
            song.setText(mus::Artist, u"Artist %1"_s.arg(id));
            song.setText(mus::Title, u"Song %1"_s.arg(id));
            song.setText(mus::Media, u"CD"_s);
            song.setNumber(mus::Time, qint64(id) * 6000 + 1);
            QVERIFY(songs().add());
        }
        QVERIFY(songs().flush());
    }

    void addPlaylist(qint64 id, const QString &name)
    {
        masters().buffer().clear();
        masters().buffer().setNumber(pld::PlaylistID, id);
        masters().buffer().setText(pld::PlaylistDescription, name);
        QVERIFY(masters().add());
    }

    // Entries 1..n naming the songs given.
    void addEntries(qint64 playlistId, const QList<qint64> &songIds)
    {
        QVERIFY(entries().stream());
        for (qsizetype i = 0; i < songIds.size(); ++i) {
            entries().buffer() = playlistRow(playlistId);
            entries().buffer().setNumber(pla::PlaylistSeq, i + 1);
            entries().buffer().setNumber(pla::ID, songIds.at(i));
            QVERIFY(entries().add());
        }
        QVERIFY(entries().flush());
    }

    // The songs of a play list in entry order; empty when its numbers are not 1 to n.
    QList<qint64> order(qint64 playlistId)
    {
        QList<qint64> songIds;
        entries().buffer() = playlistRow(playlistId);
        entries().setFrom(pla::KeyPlaylistID);
        while (entries().next() && entries().buffer().number(pla::PlaylistID) == playlistId) {
            if (entries().buffer().number(pla::PlaylistSeq) != songIds.size() + 1)
                return {-1};
            songIds.append(entries().buffer().number(pla::ID));
        }
        return songIds;
    }

    bool loadPlaylist(qint64 id)
    {
        masters().buffer().clear();
        masters().buffer().setNumber(pld::PlaylistID, id);
        return masters().get(pld::KeyPlaylistID);
    }

    Session session;
    TableUses uses;
};

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Closes every window before the catalogue they work on goes.
struct ClosingWindows
{
    ~ClosingWindows()
    {
        for (QWidget *widget : QApplication::topLevelWidgets())
            widget->close();
        settle();
    }
};

template <typename T> QList<T *> shown()
{
    QList<T *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            windows.append(window);
    }
    return windows;
}

QPushButton *buttonOf(QWidget *window, const QString &caption)
{
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text() == caption || button->toolTip() == caption)
            return button;
    }
    return nullptr;
}

QLineEdit *lineAfter(QWidget *form, const QString &prompt)
{
    for (QFormLayout *layout : form->findChildren<QFormLayout *>()) {
        for (int row = 0; row < layout->rowCount(); ++row) {
            QLayoutItem *labelItem = layout->itemAt(row, QFormLayout::LabelRole);
            auto *label = labelItem ? qobject_cast<QLabel *>(labelItem->widget()) : nullptr;
            if (label && label->text() == prompt)
                return qobject_cast<QLineEdit *>(
                    layout->itemAt(row, QFormLayout::FieldRole)->widget());
        }
    }
    return nullptr;
}

// The play-list form on the play list in the buffer, as the browser opens it.
PlaylistForm *openForm(Catalogue &catalogue, Request request)
{
    auto *form = new PlaylistForm(catalogue.session, request);
    if (!form->start())
        return nullptr;
    form->show();
    form->activateWindow();
    return QTest::qWaitForWindowActive(form) ? form : nullptr;
}

PlaylistForm *openPlaylist(Catalogue &catalogue, qint64 id)
{
    if (!catalogue.loadPlaylist(id))
        return nullptr;
    catalogue.masters().watch();
    catalogue.masters().reget(catalogue.masters().position());
    return openForm(catalogue, Request::Change);
}

QStringList column(PlaylistForm *form, int column)
{
    QStringList cells;
    PageModel *model = form->entries()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        cells.append(model->textAt(row, column));
    return cells;
}

void dropOn(PlaylistForm *form, QMimeData *data)
{
    QWidget *viewport = form->entries()->list()->view()->viewport();
    // A drop goes to where the drag entered.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
}

QMimeData *songPayload(const QByteArray &value)
{
    auto *data = new QMimeData;
    data->setData(SongIdType, value);
    data->setText(QString::fromUtf8(value));
    return data;
}

// A trigger on the entry file that runs `action` whenever an entry is numbered `number`
// from now on: a write refused part way through a renumbering, or one that changes another
// entry under it.
bool onNumbering(Database &database, qint64 number, const QString &action)
{
    const TableDef &entries = tableDef(TableId::PlaylistDetails);
    const QString field = sql::quote(entries.fields.at(pla::PlaylistSeq).name);
    return database.execute(u"CREATE TEMP TRIGGER meddle AFTER UPDATE OF "_s + field + u" ON "_s +
                            sql::quote(Database::schemaName(entries)) + u'.' +
                            sql::quote(entries.label) + u" WHEN new."_s + field + u" = "_s +
                            QString::number(number) + u" BEGIN "_s + action + u"; END"_s);
}

// Runs a second station's command and waits until it says it may go on.
bool startMover(QProcess &mover, const QString &folder, const QStringList &command)
{
    mover.start(test::helperProgram(u"playlistmover"_s), QStringList{folder} + command);
    return mover.waitForReadyRead(10000) && mover.readLine().trimmed() == "ready";
}

} // namespace

class TestPlaylists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Clock::setSource([] { return QDateTime(QDate(2026, 3, 14), QTime(9, 0)); });
    }
    void cleanup() { Clock::useSystemClock(); }

    // The first play list is number 1, one after play lists 1, 2 and 4 is 5; cancelling a
    // new play list gives its number back together with the entries dropped on it.
    void numberingAndCancel()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(3);
        catalogue.masters().buffer().clear();
        PlaylistForm *form = openForm(catalogue, Request::Insert);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), u"Adding a Playlist Record"_s);
        QCOMPARE(form->record().number(pld::PlaylistID), 1);
        QCOMPARE(catalogue.masters().records(), 1);
        dropOn(form, songPayload("2"));
        dropOn(form, songPayload("3"));
        QCOMPARE(catalogue.order(1), QList<qint64>({2, 3}));
        buttonOf(form, u"Cancel"_s)->click();
        settle();
        QCOMPARE(catalogue.masters().records(), 0);
        QCOMPARE(catalogue.entries().records(), 0);
        QVERIFY(prompter.shown.isEmpty());

        for (int id : {1, 2, 4})
            catalogue.addPlaylist(id, u"List %1"_s.arg(id));
        catalogue.masters().buffer().clear();
        form = openForm(catalogue, Request::Insert);
        QVERIFY(form);
        QCOMPARE(form->record().number(pld::PlaylistID), 5);
        QCOMPARE(column(form, 0), QStringList());
        QCOMPARE(form->entries()->totalTime(), 0);
        QCOMPARE(form->totalTimeShown(), u"00:00:00"_s);
    }

    // OK stamps today's date; a name another play list has is refused naming the key and
    // the cursor goes back to it; a blank name is refused too.
    void saving()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addPlaylist(1, u"Friday"_s);
        catalogue.addPlaylist(2, u"Saturday"_s);
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), u"Changing a Playlist Record"_s);
        QLineEdit *name = lineAfter(form, u"&Playlist Description:"_s);
        QVERIFY(name);
        name->setText(u"saturday"_s);
        buttonOf(form, u"&Ok"_s)->click();
        settle();
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.shown.first().text.contains(u"Playlists"_s));
        QVERIFY(form->isVisible());
        QVERIFY(name->hasFocus());
        name->setText(QString());
        buttonOf(form, u"&Ok"_s)->click();
        settle();
        QVERIFY(form->isVisible());
        QVERIFY(!form->entryProblem().isEmpty());
        name->setText(u"Sunday"_s);
        buttonOf(form, u"&Ok"_s)->click();
        settle();
        QVERIFY(shown<PlaylistForm>().isEmpty());
        QVERIFY(catalogue.loadPlaylist(1));
        QCOMPARE(catalogue.masters().buffer().text(pld::PlaylistDescription).trimmed(),
                 u"Sunday"_s);
        QCOMPARE(catalogue.masters().buffer().number(pld::LastEditDate),
                 qint64(dateFromQDate(QDate(2026, 3, 14))));
    }

    // The four buttons: to top and to bottom rotate, one step swaps, and nothing moves past
    // either end, without a word.
    void moves()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(5);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {1, 2, 3, 4, 5});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        PlaylistEntries *entries = form->entries();
        entries->list()->highlightRow(4);
        entries->moveButton(MoveMode::ToTop)->click();
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 1, 2, 3, 4}));
        QCOMPARE(entries->list()->highlightedRow(), 0);
        QCOMPARE(column(form, 0), QStringList({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
        QCOMPARE(column(form, 2).first(), u"Song 5"_s);
        entries->moveButton(MoveMode::UpOne)->click();
        entries->list()->highlightRow(4);
        entries->moveButton(MoveMode::DownOne)->click();
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 1, 2, 3, 4}));
        entries->list()->highlightRow(1);
        entries->moveButton(MoveMode::ToBottom)->click();
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 2, 3, 4, 1}));
        QCOMPARE(entries->list()->highlightedRow(), 4);
        entries->list()->highlightRow(2);
        entries->moveButton(MoveMode::UpOne)->click();
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 3, 2, 4, 1}));
        entries->moveButton(MoveMode::DownOne)->click();
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 2, 3, 4, 1}));
        // Dragging an entry onto another gives it that place, either way.
        QVERIFY(entries->moveTo(5, 2));
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 1, 2, 3, 4}));
        QVERIFY(entries->moveTo(1, 4));
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 3, 5, 4}));
        QCOMPARE(entries->model()->textAt(entries->list()->highlightedRow(), 2), u"Song 5"_s);
        QVERIFY(prompter.shown.isEmpty());
    }

    // A write refused part way through a move, or an entry found changed under it, undoes
    // the whole move before the swap error names the step and the entry; the move raises
    // the revisions it writes, so an entry read before it cannot be written back over it
    // unnoticed.
    void moveFailingPartWayChangesNothing()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(5);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {1, 2, 3, 4, 5});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        Database &database = catalogue.session.store().database();
        PlaylistEntries *entries = form->entries();
        const QString entryFile = sql::quote(tableDef(TableId::PlaylistDetails).label);
        const QString seq =
            sql::quote(tableDef(TableId::PlaylistDetails).fields.at(pla::PlaylistSeq).name);
        const struct
        {
            QString action;
            QString error;
        } faults[] = {
            {u"SELECT RAISE(ABORT, 'disk refused')"_s, QString()},
            // Entry 2 is written again while entry 5 stands parked.
            {u"UPDATE "_s + entryFile + u" SET sv_rev = sv_rev + 1000 WHERE "_s + seq + u" = 2"_s,
             standardErrorText(err::ChangedByAnotherStation)},
        };
        for (const auto &fault : faults) {
            prompter.shown.clear();
            QVERIFY(
                onNumbering(database, fault.action.startsWith(u"SELECT"_s) ? 3 : 6, fault.action));
            entries->list()->highlightRow(4);
            entries->moveButton(MoveMode::ToTop)->click();
            QCOMPARE(prompter.shown.size(), 1);
            QCOMPARE(prompter.shown.at(0).caption, u"Error!"_s);
            const QString text = prompter.shown.at(0).text;
            QVERIFY2(text.startsWith(u"Record swap error: \n"_s), qPrintable(text));
            QVERIFY2(text.contains(fault.error), qPrintable(text)); // empty: any error
            QVERIFY2(text.endsWith(u"\nPlaylistDetails, PLA:KeyPlaylistID\nKey Field "
                                   "PLA:PlaylistID = 1\nKey Field PLA:PlaylistSeq = 2\nSection = "
                                   "Put Swap\n"_s),
                     qPrintable(text));
            QVERIFY(!database.inTransaction());
            QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 3, 4, 5}));
            QCOMPARE(column(form, 2).first(), u"Song 1"_s);
            QVERIFY(database.execute(u"DROP TRIGGER temp.meddle"_s));
        }

        Table &table = catalogue.entries();
        table.buffer() = playlistRow(1);
        table.buffer().setNumber(pla::PlaylistSeq, 2);
        QVERIFY(table.get(pla::KeyPlaylistID));
        table.watch();
        QVERIFY(table.reget(table.position()));
        const Table::CurrentRecord readBefore = table.current();
        const Record before = table.buffer();
        entries->list()->highlightRow(4);
        entries->moveButton(MoveMode::ToTop)->click();
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 1, 2, 3, 4}));
        QCOMPARE(column(form, 2).first(), u"Song 5"_s);
        table.buffer() = before;
        table.setCurrent(readBefore);
        QVERIFY(!table.put());
        QCOMPARE(errorCode(), err::ChangedByAnotherStation);
        QCOMPARE(catalogue.order(1), QList<qint64>({5, 1, 2, 3, 4}));
    }

    // Add with entry 2 of 4 highlighted lands the new entry at 3, the song chosen through
    // the song picker; a new entry given up leaves the play list as it was.
    void addAfterHighlighted()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(6);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {1, 2, 3, 4});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        form->entries()->list()->highlightRow(1);
        buttonOf(form, u"&Add"_s)->click();
        QTRY_COMPARE(shown<PlaylistEntryForm>().size(), 1);
        PlaylistEntryForm *entryForm = shown<PlaylistEntryForm>().first();
        QCOMPARE(entryForm->windowTitle(), u"Adding a Playlist Detail"_s);
        QCOMPARE(entryForm->record().number(pla::PlaylistSeq), 5);
        QVERIFY(!form->isEnabled());
        // OK without a song is refused.
        buttonOf(entryForm, u"&Ok"_s)->click();
        settle();
        QVERIFY(entryForm->isVisible());
        buttonOf(entryForm, u"&Select Song"_s)->click();
        QTRY_COMPARE(shown<SelectFileNumber>().size(), 1);
        SelectFileNumber *picker = shown<SelectFileNumber>().first();
        BrowseList *songs = picker->list();
        for (int row = 0; row < songs->model()->rowCount(); ++row) {
            if (songs->model()->textAt(row, 1) == u"Song 6"_s)
                songs->highlightRow(row);
        }
        picker->button(u"&Select"_s)->click();
        settle();
        QCOMPARE(entryForm->titleShown(), u"Song 6"_s);
        QCOMPARE(entryForm->artistShown(), u"Artist 6"_s);
        lineAfter(entryForm, u"&Playlist Notes:"_s)->setText(u"Requested"_s);
        buttonOf(entryForm, u"&Ok"_s)->click();
        settle();
        QTRY_VERIFY(shown<PlaylistEntryForm>().isEmpty());
        QVERIFY(form->isEnabled());
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 6, 3, 4}));
        QCOMPARE(form->entries()->list()->highlightedRow(), 2);
        QCOMPARE(column(form, 4).at(2), u"Requested"_s);

        buttonOf(form, u"&Add"_s)->click();
        QTRY_COMPARE(shown<PlaylistEntryForm>().size(), 1);
        buttonOf(shown<PlaylistEntryForm>().first(), u"Cancel"_s)->click();
        settle();
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 6, 3, 4}));
        QCOMPARE(catalogue.entries().records(), 5);
    }

    // Deleting entry 2 of 4 leaves the numbers 1 to 3 in the same order.
    void deleteClosesGap()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(4);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {1, 2, 3, 4});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        form->entries()->list()->highlightRow(1);
        prompter.answer(Ok);
        buttonOf(form, u"&Delete"_s)->click();
        settle();
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 3, 4}));
        QCOMPARE(column(form, 0), QStringList({u"1"_s, u"2"_s, u"3"_s}));
        QCOMPARE(form->entries()->totalTime(), (1 + 3 + 4) * 6000 + 3);
    }

    // A total of more than a day goes on counting hours rather than showing blank, and the
    // time column shows a song's time whole.
    void totalTimeOverADay()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(2);
        for (int id : {1, 2}) {
            catalogue.songs().buffer().setNumber(mus::ID, id);
            QVERIFY(catalogue.songs().get(mus::KeyID));
            catalogue.songs().buffer().setNumber(mus::Time, 13 * 360000 + 30 * 6000 + 1);
            QVERIFY(catalogue.songs().put());
        }
        catalogue.addPlaylist(1, u"Marathon"_s);
        catalogue.addEntries(1, {1});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        QCOMPARE(form->totalTimeShown(), u"13:30:00"_s);
        QTableView *view = form->entries()->list()->view();
        const int time = view->horizontalHeader()->sectionSize(3);
        QVERIFY(time >= view->fontMetrics().horizontalAdvance(u"13:30:00"_s));
        QVERIFY(form->entries()->dropSong(u"2"_s));
        QCOMPARE(form->totalTimeShown(), u"27:00:00"_s);
        QVERIFY(form->findChild<QLabel *>(u"totalTime"_s)->text() == u"27:00:00"_s);
    }

    // The entry and the gap it leaves go in one transaction: a write of the gap refused
    // part way shows the swap error, then the retry question, and No leaves the entry and
    // every number as they were; tried again once the write goes through, the gap closes.
    void deleteFailingPartWayKeepsTheEntry()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(5);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {1, 2, 3, 4, 5});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        Database &database = catalogue.session.store().database();
        QVERIFY(onNumbering(database, 3, u"SELECT RAISE(ABORT, 'disk refused')"_s));
        form->entries()->list()->highlightRow(1);
        prompter.answer(Ok); // the confirmation
        prompter.answer(Ok); // the swap error
        prompter.answer(No); // try again?
        buttonOf(form, u"&Delete"_s)->click();
        settle();
        QCOMPARE(prompter.shown.size(), 3);
        QCOMPARE(prompter.shown.at(1).caption, u"Error!"_s);
        QVERIFY2(prompter.shown.at(1).text.endsWith(
                     u"\nKey Field PLA:PlaylistID = 1\nKey Field PLA:PlaylistSeq = 4\n"
                     "Section = Put Upd Seq\n"_s),
                 qPrintable(prompter.shown.at(1).text));
        QVERIFY(!database.inTransaction());
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 3, 4, 5}));
        QCOMPARE(column(form, 2).at(1), u"Song 2"_s);

        QVERIFY(database.execute(u"DROP TRIGGER temp.meddle"_s));
        prompter.shown.clear();
        form->entries()->list()->highlightRow(1);
        prompter.answer(Ok);
        buttonOf(form, u"&Delete"_s)->click();
        settle();
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 3, 4, 5}));
        QCOMPARE(column(form, 2).at(1), u"Song 3"_s);
    }

    // A dropped song is appended whatever row is highlighted; what is not a song on file is
    // refused with a message and adds nothing.
    void drops()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(7);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {1, 2, 3});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        form->entries()->list()->highlightRow(1);
        dropOn(form, songPayload("7"));
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 3, 7}));
        QCOMPARE(form->entries()->list()->highlightedRow(), 3);
        QCOMPARE(form->entries()->totalTime(), (1 + 2 + 3 + 7) * 6000 + 4);
        QVERIFY(prompter.shown.isEmpty());

        dropOn(form, songPayload("Le Freak"));
        auto *text = new QMimeData;
        text->setText(u"5"_s);
        dropOn(form, text);
        dropOn(form, songPayload("99"));
        QCOMPARE(prompter.shown.size(), 3);
        for (const Message &message : std::as_const(prompter.shown))
            QCOMPARE(message.caption, u"Error"_s);
        QVERIFY(prompter.shown.at(2).text.contains(u"99"_s));
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 3, 7}));

        // A song dragged from an album's song list carries the same.
        catalogue.songs().buffer().setNumber(mus::ID, 5);
        QVERIFY(catalogue.songs().get(mus::KeyID));
        catalogue.songs().buffer().setNumber(mus::AlbumID, 40);
        QVERIFY(catalogue.songs().put());
        const Record album(tableDef(TableId::Albums));
        QWidget albumForm;
        AlbumSongs albumSongs(
            catalogue.session, [&album]() -> const Record & { return album; }, &albumForm);
        albumSongs.show(40);
        QCOMPARE(albumSongs.model()->rowCount(), 1);
        dropOn(form, albumSongs.model()->mimeData({albumSongs.model()->index(0, 0)}));
        QCOMPARE(catalogue.order(1), QList<qint64>({1, 2, 3, 7, 5}));
    }

    // Mark as Played: every song of the play list played today after Yes, none after No.
    void markAsPlayed()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(4);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {2, 3, 2});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);
        const auto played = [&catalogue](qint64 id) {
            catalogue.songs().buffer().setNumber(mus::ID, id);
            return catalogue.songs().get(mus::KeyID)
                       ? catalogue.songs().buffer().number(mus::LastPlayed)
                       : -1;
        };
        prompter.answer(No);
        buttonOf(form, u"Mark as &Played"_s)->click();
        QCOMPARE(played(2), 0);
        prompter.answer(Yes);
        buttonOf(form, u"Mark as &Played"_s)->click();
        QVERIFY(prompter.shown.last().text.contains(u"2 songs"_s));
        const qint64 day = dateFromQDate(QDate(2026, 3, 14));
        QCOMPARE(played(2), day);
        QCOMPARE(played(3), day);
        QCOMPARE(played(1), 0);
    }

    // The list of play lists: its title, the pop-up menu of an empty and a filled list, and
    // a new play list added through the form.
    void browser()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        PlaylistBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        QCOMPARE(browser.windowTitle(), u"Playlists"_s);
        const auto menuEntries = [&browser] {
            std::unique_ptr<QMenu> menu(browser.buildPopupMenu());
            QStringList texts;
            for (QAction *action : menu->actions())
                texts.append(action->isSeparator()
                                 ? u"-"_s
                                 : (action->isEnabled() ? u""_s : u"~"_s) + action->text());
            return texts;
        };
        QCOMPARE(menuEntries(),
                 QStringList({u"&Add"_s, u"~&Change"_s, u"~&Delete"_s, u"-"_s, u"~&Print"_s,
                              u"~&Top 40"_s, u"-"_s, u"Generate Play List"_s, u"-"_s,
                              u"~Export as M3U8..."_s, u"~Export as XSPF..."_s}));
        browser.button(u"&Add"_s)->click();
        QTRY_COMPARE(shown<PlaylistForm>().size(), 1);
        PlaylistForm *form = shown<PlaylistForm>().first();
        lineAfter(form, u"&Playlist Description:"_s)->setText(u"Warm-up"_s);
        buttonOf(form, u"&Ok"_s)->click();
        settle();
        QTRY_VERIFY(shown<PlaylistForm>().isEmpty());
        QCOMPARE(browser.list()->model()->rowCount(), 1);
        QCOMPARE(browser.list()->model()->textAt(0, 0), u"Warm-up"_s);
        QCOMPARE(menuEntries().mid(0, 3), QStringList({u"&Add"_s, u"&Change"_s, u"&Delete"_s}));
    }

    // Both exports list every entry in order with title, artist, album and length, and the
    // album's sound file where it names one; XSPF is well-formed XML, markup in names and
    // all.
    void exports()
    {
        test::Workspace workspace;
        Catalogue catalogue(workspace.path());
        catalogue.addSongs(3);
        Table &albums = catalogue.table(TableId::Albums);
        const TableUse albumUse = catalogue.session.files().use(albums);
        QVERIFY(albumUse);
        albums.buffer().clear();
        albums.buffer().setNumber(alb::AlbumID, 9);
        albums.buffer().setText(alb::Album, u"Disco <Hits> & More"_s);
        albums.buffer().setText(alb::AssociatedWavFile, u"/music/disco hits.flac"_s);
        QVERIFY(albums.add());
        catalogue.songs().buffer().setNumber(mus::ID, 2);
        QVERIFY(catalogue.songs().get(mus::KeyID));
        catalogue.songs().buffer().setNumber(mus::AlbumID, 9);
        catalogue.songs().buffer().setText(mus::Album, u"Disco <Hits> & More"_s);
        QVERIFY(catalogue.songs().put());
        catalogue.addPlaylist(1, u"Friday & Saturday"_s);
        catalogue.addEntries(1, {3, 2, 1});

        QString error;
        const QString m3u = workspace.file(u"list.m3u8"_s);
        QVERIFY(exportPlaylist(catalogue.session.store(), 1, PlaylistFormat::M3u8, m3u, error));
        const QStringList lines = QString::fromUtf8(test::fileContents(m3u)).split(u'\n');
        QCOMPARE(lines.first(), u"#EXTM3U"_s);
        QCOMPARE(lines.filter(u"#EXTINF:"_s), QStringList({u"#EXTINF:180,Artist 3 - Song 3"_s,
                                                           u"#EXTINF:120,Artist 2 - Song 2"_s,
                                                           u"#EXTINF:60,Artist 1 - Song 1"_s}));
        QVERIFY(lines.contains(u"/music/disco hits.flac"_s));

        const QString xspf = workspace.file(u"list.xspf"_s);
        QVERIFY(exportPlaylist(catalogue.session.store(), 1, PlaylistFormat::Xspf, xspf, error));
        // Read back whole: the reader stops at the first thing that is not well-formed.
        QXmlStreamReader xml(test::fileContents(xspf));
        QString title;
        QList<QHash<QString, QString>> tracks;
        QString element;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                element = xml.name().toString();
                if (element == u"playlist"_s)
                    QCOMPARE(xml.namespaceUri().toString(), u"http://xspf.org/ns/0/"_s);
                if (element == u"track"_s)
                    tracks.append(QHash<QString, QString>());
            } else if (xml.isCharacters() && !xml.isWhitespace()) {
                if (tracks.isEmpty() && element == u"title"_s)
                    title = xml.text().toString();
                else if (!tracks.isEmpty())
                    tracks.last().insert(element, xml.text().toString());
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(title, u"Friday & Saturday"_s);
        QCOMPARE(tracks.size(), 3);
        QCOMPARE(tracks.at(1).value(u"title"_s), u"Song 2"_s);
        QCOMPARE(tracks.at(1).value(u"creator"_s), u"Artist 2"_s);
        QCOMPARE(tracks.at(1).value(u"album"_s), u"Disco <Hits> & More"_s);
        QCOMPARE(tracks.at(1).value(u"duration"_s), u"120000"_s);
        QCOMPARE(tracks.at(1).value(u"location"_s), u"file:///music/disco%20hits.flac"_s);
        QVERIFY(!tracks.at(0).contains(u"location"_s));

        // A file that cannot be written says why and leaves nothing.
        QVERIFY(!exportPlaylist(catalogue.session.store(), 1, PlaylistFormat::Xspf,
                                workspace.file(u"no/such/folder/list.xspf"_s), error));
        QVERIFY(!error.isEmpty());
    }

    // A song of an album read from a folder is exported as its own file in the folder,
    // found by its track and title, or by its title alone once renumbered; a song the
    // folder has no file of gets no location rather than the folder or another's file.
    void exportsFindFilesInAnAlbumFolder()
    {
        test::Workspace workspace;
        Catalogue catalogue(workspace.path());
        catalogue.addSongs(3);
        const QString folder = workspace.file(u"Album 日本"_s);
        QVERIFY(QDir().mkpath(folder));
        for (const QString &name : {u"Song 1.wav"_s, u"Song 3.wav"_s}) {
            QFile file(QDir(folder).filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(wavBytes());
        }
        Table &albums = catalogue.table(TableId::Albums);
        const TableUse albumUse = catalogue.session.files().use(albums);
        QVERIFY(albumUse);
        albums.buffer().clear();
        albums.buffer().setNumber(alb::AlbumID, 4);
        albums.buffer().setText(alb::Album, u"From Files"_s);
        albums.buffer().setText(alb::AssociatedWavFile, folder);
        QVERIFY(albums.add());
        // Song 1 is the folder's first track; song 3 was renumbered since.
        for (const auto &[id, track] : {std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 7}}) {
            catalogue.songs().buffer().setNumber(mus::ID, id);
            QVERIFY(catalogue.songs().get(mus::KeyID));
            catalogue.songs().buffer().setNumber(mus::AlbumID, 4);
            catalogue.songs().buffer().setNumber(mus::TrackNumber, track);
            QVERIFY(catalogue.songs().put());
        }
        catalogue.addPlaylist(1, u"Files"_s);
        catalogue.addEntries(1, {1, 2, 3});
        QString error;
        const QString m3u = workspace.file(u"list.m3u8"_s);
        QVERIFY(exportPlaylist(catalogue.session.store(), 1, PlaylistFormat::M3u8, m3u, error));
        const QStringList lines = QString::fromUtf8(test::fileContents(m3u)).split(u'\n');
        QCOMPARE(lines.filter(folder), (QStringList{QDir(folder).filePath(u"Song 1.wav"_s),
                                                    QDir(folder).filePath(u"Song 3.wav"_s)}));
    }

    // Another station deletes a song the play list names: the entry says so and adds no
    // time; another station appending an entry while a move waits for the file: the move
    // goes on after it, and the numbers stay 1 to n.
    void secondStation()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(5);
        catalogue.addPlaylist(1, u"Chart"_s);
        catalogue.addEntries(1, {1, 2, 3});
        PlaylistForm *form = openPlaylist(catalogue, 1);
        QVERIFY(form);

        QProcess station;
        station.start(test::helperProgram(u"station"_s),
                      {workspace.path(), u"delete-song"_s, u"2"_s});
        QVERIFY(station.waitForFinished(10000));
        QCOMPARE(station.readAll().trimmed(), QByteArray("ready"));
        form->entries()->reload();
        QCOMPARE(column(form, 2).at(1), u"(song no longer on file)"_s);
        QCOMPARE(form->entries()->totalTime(), (1 + 3) * 6000 + 2);

        QProcess mover;
        QVERIFY(startMover(mover, workspace.path(), {u"append-held"_s, u"1"_s, u"5"_s, u"400"_s}));
        form->entries()->list()->highlightRow(2);
        form->entries()->moveButton(MoveMode::ToTop)->click();
        QVERIFY(mover.waitForFinished(10000));
        QCOMPARE(mover.exitCode(), 0);
        QCOMPARE(catalogue.order(1), QList<qint64>({3, 1, 2, 5}));
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(column(form, 2).last(), u"Song 5"_s);
    }

    // A station killed in the middle of moving entries of a 5,000-entry play list leaves it
    // numbered 1 to n, as it stood after one of the moves it finished: every entry there,
    // none half moved.
    void killedDuringMove()
    {
        test::Workspace workspace;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addPlaylist(1, u"Long"_s);
        // Every entry names a song of its own (none need be on file), so that any order
        // but a rotation of the whole would show.
        QList<qint64> songIds;
        for (int i = 1; i <= 5000; ++i)
            songIds.append(i);
        catalogue.addEntries(1, songIds);
        QProcess mover;
        QVERIFY(startMover(mover, workspace.path(), {u"move-loop"_s, u"1"_s}));
        QTest::qWait(40);
        ::kill(pid_t(mover.processId()), SIGKILL);
        QVERIFY(mover.waitForFinished(10000));
        const QList<qint64> order = catalogue.order(1);
        QCOMPARE(order.size(), 5000);
        // Each move takes the last entry to the top: after k of them the play list starts
        // with the k last songs.
        const qsizetype moves = order.indexOf(1);
        QVERIFY(moves >= 1);
        QCOMPARE(order.mid(moves), songIds.mid(0, 5000 - moves));
        QCOMPARE(order.mid(0, moves), songIds.mid(5000 - moves));
    }

    // "Generate Play List" opens the generator over the list, which waits for it and shows
    // the new play list highlighted; "Char&t" stamps the positions into the entries' notes.
    void generatorAndChart()
    {
        test::Workspace workspace;
        test::ScriptedPrompter prompter;
        Catalogue catalogue(workspace.path());
        ClosingWindows closing;
        catalogue.addSongs(5);
        catalogue.addPlaylist(1, u"Chart"_s);
        PlaylistBrowser browser(catalogue.session);
        QVERIFY(browser.start());
        browser.show();
        std::unique_ptr<QMenu> menu(browser.buildPopupMenu());
        const QList<QAction *> entries = menu->actions();
        const auto generate = std::find_if(entries.begin(), entries.end(), [](QAction *entry) {
            return entry->text() == u"Generate Play List"_s;
        });
        QVERIFY(generate != entries.end());
        (*generate)->trigger();
        QTRY_COMPARE(shown<playlists::GeneratePlaylistWindow>().size(), 1);
        QVERIFY(!browser.isEnabled());
        playlists::GeneratePlaylistWindow *generator =
            shown<playlists::GeneratePlaylistWindow>().first();
        generator->sizeEntry()->setText(u"3"_s);
        generator->ok();
        QTRY_VERIFY(shown<playlists::GeneratePlaylistWindow>().isEmpty());
        QVERIFY(browser.isEnabled());
        QCOMPARE(browser.list()->model()->rowCount(), 2);
        QCOMPARE(browser.list()->model()->textAt(browser.list()->highlightedRow(), 0),
                 u"Play List #2"_s);

        PlaylistForm *form = openPlaylist(catalogue, 2);
        QVERIFY(form);
        QCOMPARE(column(form, 4), QStringList({QString(), QString(), QString()}));
        prompter.answer(Ok);
        form->entries()->chartButton()->click();
        QTRY_VERIFY(form->isEnabled());
        QCOMPARE(column(form, 4), QStringList({u"LW:1"_s, u"LW:2"_s, u"LW:3"_s}));
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.at(0).caption, u"Warning"_s);
    }
};

QTEST_MAIN(TestPlaylists)
#include "tst_playlists.moc"
