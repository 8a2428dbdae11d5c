#include "app/browselist.h"
#include "app/pagemodel.h"
#include "app/session.h"
#include "catalogue.h"
#include "platform/cddevice.h"
#include "platform/mcicommand.h"
#include "platform/stddate.h"
#include "testsupport.h"
#include "wizards/trackdialog.h"
#include "wizards/tracklist.h"
#include "wizardtest.h"

#include <QSignalSpy>
#include <QTableView>
#include <QVBoxLayout>

using namespace sv;
using namespace sv::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int Instance = 4;

// A wizard window as far as the list needs one: it holds the list and waits on its dialogs.
struct Host
{
    Host(Session &session, bool compilation, int instance = Instance)
    {
        window.setWindowTitle(u"Host"_s);
        auto *layout = new QVBoxLayout(&window);
        list = new TrackList(session, compilation, instance, &window);
        layout->addWidget(list);
        window.resize(640, 360);
        window.show();
    }
    QWidget window;
    TrackList *list;

    QStringList column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            texts.append(list->model()->textAt(row, column).trimmed());
        return texts;
    }
    void highlightTrack(int track)
    {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            if (list->model()->textAt(row, 0).trimmed() == QString::number(track))
                list->list()->highlightRow(row);
        }
    }
    void press(const QString &caption) { list->button(caption)->click(); }
};

TrackDialog *openDialog()
{
    TrackDialog *dialog = nullptr;
    [&] { QTRY_COMPARE(shown<TrackDialog>().size(), 1); }();
    if (shown<TrackDialog>().size() == 1)
        dialog = shown<TrackDialog>().first();
    return dialog;
}

// Types into a track dialog and presses one of its buttons.
void fill(TrackDialog *dialog, const QString &title, const QString &time = {},
          const QString &artist = {})
{
    QVERIFY(dialog);
    if (!artist.isNull())
        lineAfter(dialog, u"&Artist:"_s)->setText(artist);
    lineAfter(dialog, u"&Title:"_s)->setText(title);
    if (!time.isNull())
        lineAfter(dialog, u"T&ime:"_s)->setText(time);
}

void finish(TrackDialog *dialog, const QString &button)
{
    QVERIFY(dialog);
    QPointer<TrackDialog> alive(dialog);
    buttonOf(dialog, button)->click();
    QTRY_VERIFY(!alive || !alive->isVisible());
}

class Scratch : public test::Catalogue
{
public:
    Scratch() : test::Catalogue({TableId::AddWizard, TableId::Albums, TableId::Songs}) {}
    TrackRows rowsOf(int instance) { return TrackRows(table(TableId::AddWizard), instance); }
    QList<TrackRow> read(int instance)
    {
        QList<TrackRow> rows;
        [&] { QVERIFY(rowsOf(instance).read(rows)); }();
        return rows;
    }
    void write(int instance, const QStringList &titles)
    {
        QList<TrackRow> rows;
        for (const QString &title : titles)
            rows.append({rows.size() + 1, QString(), title, 0});
        QVERIFY(rowsOf(instance).write(rows));
    }
};

QStringList titles(const QList<TrackRow> &rows)
{
    QStringList texts;
    for (const TrackRow &row : rows)
        texts.append(QString::number(row.track) + u' ' + row.title);
    return texts;
}

} // namespace

class TestTrackList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init()
    {
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_catalogue = std::make_unique<Scratch>();
    }
    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            window->close();
        settle();
        m_catalogue.reset();
        m_prompter.reset();
        setCdDeviceFactory({});
        resetCdAudio();
    }

    // Add opens one dialog after another, numbered on, until one is cancelled; the cancelled
    // one leaves no row, and the list shows the typed tracks with their times.
    void tracksAreTypedOneAfterAnother()
    {
        Scratch &catalogue = *m_catalogue;
        Host host(catalogue.session, false);
        QCOMPARE(host.list->model()->columnCount(), 3);
        host.press(u"&Add"_s);
        TrackDialog *dialog = openDialog();
        QCOMPARE(dialog->windowTitle(), u"Track Will Be Added  (New)"_s);
        QCOMPARE(lineAfter(dialog, u"Track:"_s)->text().trimmed(), u"1"_s);
        QVERIFY(!host.window.isEnabled());
        fill(dialog, u"Intro"_s, u"4:33"_s);
        finish(dialog, u"&Ok"_s);
        dialog = openDialog();
        QCOMPARE(lineAfter(dialog, u"Track:"_s)->text().trimmed(), u"2"_s);
        fill(dialog, u"Second"_s);
        finish(dialog, u"&Ok"_s);
        dialog = openDialog();
        fill(dialog, u"Never kept"_s);
        finish(dialog, u"Cancel"_s);
        settle();
        QCOMPARE(shown<TrackDialog>().size(), 0);
        QVERIFY(host.window.isEnabled());
        QCOMPARE(titles(catalogue.read(Instance)), (QStringList{u"1 Intro"_s, u"2 Second"_s}));
        QCOMPARE(catalogue.read(Instance).first().time, makeTime(0, 4, 33));
        QCOMPARE(host.column(1), (QStringList{u"Intro"_s, u"Second"_s}));
        QCOMPARE(host.list->model()->textAt(0, 2), u" 4:33"_s);
        QCOMPARE(host.list->model()->textAt(1, 2), u"     "_s);
    }

    // A track number typed that the run already has is refused naming the track order, and
    // the dialog stays open to put it right; Ctrl+' copies what the last dialog saved.
    void duplicateTrackAndDitto()
    {
        Scratch &catalogue = *m_catalogue;
        catalogue.write(Instance, {u"One"_s, u"Two"_s});
        Host host(catalogue.session, true);
        QCOMPARE(host.list->model()->columnCount(), 4);
        host.press(u"&Add"_s);
        TrackDialog *dialog = openDialog();
        QCOMPARE(lineAfter(dialog, u"Track:"_s)->text().trimmed(), u"3"_s);
        fill(dialog, u"Three"_s, u"3:00"_s, u"Chic"_s);
        lineAfter(dialog, u"Track:"_s)->setText(u"2"_s);
        buttonOf(dialog, u"&Ok"_s)->click();
        QCOMPARE(m_prompter->shown.size(), 1);
        QVERIFY(m_prompter->shown.first().text.contains(u"Track Order"_s));
        QVERIFY(dialog->isVisible());
        lineAfter(dialog, u"Track:"_s)->setText(u"3"_s);
        finish(dialog, u"&Ok"_s);
        dialog = openDialog();
        QLineEdit *artist = lineAfter(dialog, u"&Artist:"_s);
        artist->setFocus();
        QTest::keyClick(artist, Qt::Key_Apostrophe, Qt::ControlModifier);
        QCOMPARE(artist->text().trimmed(), u"Chic"_s);
        finish(dialog, u"Cancel"_s);
        QCOMPARE(titles(catalogue.read(Instance)),
                 (QStringList{u"1 One"_s, u"2 Two"_s, u"3 Three"_s}));
        QCOMPARE(host.column(1), (QStringList{QString(), QString(), u"Chic"_s}));
    }

    // Change names the track in its title; Delete asks first and opens no window.
    void changeAndDelete()
    {
        Scratch &catalogue = *m_catalogue;
        catalogue.write(Instance, {u"One"_s, u"Two"_s, u"Three"_s});
        Host host(catalogue.session, false);
        host.highlightTrack(3);
        host.press(u"&Change"_s);
        TrackDialog *dialog = openDialog();
        QCOMPARE(dialog->windowTitle(), u"Track Will Be Changed  (3)"_s);
        fill(dialog, u"Third"_s);
        finish(dialog, u"&Ok"_s);
        settle();
        QCOMPARE(shown<TrackDialog>().size(), 0); // a change is not followed by another
        host.highlightTrack(2);
        m_prompter->answer(Ok);
        host.press(u"&Delete"_s);
        QTRY_VERIFY(host.window.isEnabled());
        QCOMPARE(shown<TrackDialog>().size(), 0);
        QCOMPARE(titles(catalogue.read(Instance)), (QStringList{u"1 One"_s, u"3 Third"_s}));
    }

    // The four moves keep the run's numbers 1..n; the ends do not move past themselves.
    void movesRotateTrackNumbers()
    {
        Scratch &catalogue = *m_catalogue;
        catalogue.write(Instance, {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s, u"g"_s, u"h"_s});
        catalogue.write(Instance + 1, {u"other"_s});
        Host host(catalogue.session, false);
        host.highlightTrack(5);
        host.press(u"Move record to the top"_s);
        QCOMPARE(host.column(1),
                 (QStringList{u"e"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"f"_s, u"g"_s, u"h"_s}));
        QCOMPARE(host.column(0),
                 (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s}));
        host.highlightTrack(1);
        host.press(u"Move record up one"_s);
        host.highlightTrack(8);
        host.press(u"Move record down one"_s);
        host.highlightTrack(2);
        host.press(u"Move record to the bottom"_s);
        host.highlightTrack(3);
        host.press(u"Move record down one"_s);
        QCOMPARE(host.column(1),
                 (QStringList{u"e"_s, u"b"_s, u"d"_s, u"c"_s, u"f"_s, u"g"_s, u"h"_s, u"a"_s}));
        QCOMPARE(m_prompter->shown.size(), 0);
        QCOMPARE(titles(catalogue.read(Instance + 1)), QStringList{u"1 other"_s});

        catalogue.write(Instance + 2, {u"x"_s, u"y"_s});
        Host two(catalogue.session, false, Instance + 2);
        two.highlightTrack(2);
        two.press(u"Move record to the top"_s);
        QCOMPARE(titles(catalogue.read(Instance + 2)), (QStringList{u"1 y"_s, u"2 x"_s}));
    }

    // Edit All walks every row in a change dialog and says when it is through; an empty list
    // says so at once, and a dialog ended without OK stops the walk.
    void editAllSongs()
    {
        Scratch &catalogue = *m_catalogue;
        {
            Host empty(catalogue.session, false);
            empty.press(u"Edit All Son&gs"_s);
            QCOMPARE(m_prompter->captions(), QStringList{u"Information"_s});
            QCOMPARE(m_prompter->shown.first().text, u"End of songs on this album."_s);
            QCOMPARE(shown<TrackDialog>().size(), 0);
        }
        m_prompter->shown.clear();
        catalogue.write(Instance, {u"One"_s, u"Two"_s, u"Three"_s});
        Host host(catalogue.session, false);
        host.press(u"Edit All Son&gs"_s);
        for (int track = 1; track <= 3; ++track) {
            TrackDialog *dialog = openDialog();
            QCOMPARE(dialog->windowTitle(), u"Track Will Be Changed  (%1)"_s.arg(track));
            fill(dialog, u"Song %1"_s.arg(track));
            finish(dialog, u"&Ok"_s);
        }
        QTRY_COMPARE(m_prompter->shown.size(), 1);
        QCOMPARE(m_prompter->shown.first().text, u"End of songs on this album."_s);
        QCOMPARE(host.column(1), (QStringList{u"Song 1"_s, u"Song 2"_s, u"Song 3"_s}));

        m_prompter->shown.clear();
        host.press(u"Edit All Son&gs"_s);
        finish(openDialog(), u"&Ok"_s);
        finish(openDialog(), u"Cancel"_s);
        settle();
        QCOMPARE(shown<TrackDialog>().size(), 0);
        QCOMPARE(m_prompter->shown.size(), 0);
    }

    // Each run sees only its own rows; rows left by a cancelled run show again in a later
    // list with the same number. The filling calls write all rows or none.
    void rowsBelongToTheirRun()
    {
        Scratch &catalogue = *m_catalogue;
        catalogue.write(Instance, {u"left over"_s});
        catalogue.write(Instance + 1, {u"another run"_s, u"more"_s});
        {
            Host host(catalogue.session, false);
            QCOMPARE(host.column(1), QStringList{u"left over"_s});
        }
        TrackRows rows = catalogue.rowsOf(Instance);
        QVERIFY(rows.append({{0, u"Art"_s, u"appended"_s, 100}}));
        QCOMPARE(titles(catalogue.read(Instance)),
                 (QStringList{u"1 left over"_s, u"2 appended"_s}));
        QVERIFY(rows.removeAll());
        QCOMPARE(catalogue.read(Instance).size(), 0);
        QCOMPARE(catalogue.read(Instance + 1).size(), 2);
        Host again(catalogue.session, false, Instance + 1);
        QCOMPARE(again.column(1), (QStringList{u"another run"_s, u"more"_s}));
    }

    // Reading the disc into rows that have titles keeps the titles and refreshes the times;
    // the next typed track follows the disc's last one.
    void discReadingKeepsTitles()
    {
        Scratch &catalogue = *m_catalogue;
        catalogue.write(Instance, {u"Typed first"_s});
        auto script = std::make_shared<CdScript>();
        QList<qint32> starts;
        for (int track = 0; track < 12; ++track)
            starts.append(track * 75 * 60); // a minute each
        script->toc = makeAudioToc(starts, 12 * 75 * 60);
        ScriptedCdDevice::install(script);
        Host host(catalogue.session, false);
        QSignalSpy read(host.list, &TrackList::discRead);
        host.press(u"&Read Compact Disc Information"_s);
        QVERIFY(read.wait(20000));
        QVERIFY(!read.first().first().toString().isEmpty());
        QCOMPARE(host.list->model()->rowCount(), 12);
        QCOMPARE(host.column(1).first(), u"Typed first"_s);
        QCOMPARE(host.column(1).at(11), u"Track 12"_s);
        QCOMPARE(host.list->model()->textAt(0, 2), u" 1:00"_s);
        host.press(u"&Add"_s);
        QCOMPARE(lineAfter(openDialog(), u"Track:"_s)->text().trimmed(), u"13"_s);
    }

private:
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<Scratch> m_catalogue;
};

QTEST_MAIN(TestTrackList)
#include "tst_tracklist.moc"
