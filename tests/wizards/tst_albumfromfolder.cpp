#include "app/pagemodel.h"
#include "app/progresswindow.h"
#include "app/session.h"
#include "app/settings.h"
#include "audiofiles.h"
#include "catalogue.h"
#include "platform/prompter.h"
#include "platform/stddate.h"
#include "store/tablefile.h"
#include "testsupport.h"
#include "wizards/addalbumwizard.h"
#include "wizards/folderreading.h"
#include "wizards/tracklist.h"
#include "wizardtest.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>

#include <sqlite3.h>

using namespace sv;
using namespace sv::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int Instance = 6;

class Shelf : public test::Catalogue
{
public:
    Shelf()
        : test::Catalogue({TableId::Songs, TableId::Albums, TableId::AddWizard, TableId::Categories,
                           TableId::Media})
    {
        Table &media = table(TableId::Media);
        media.buffer().clear();
        media.buffer().setText(med::Media, u"CD"_s);
        QVERIFY(media.add());
    }
    Table &songs() { return table(TableId::Songs); }
    Table &albums() { return table(TableId::Albums); }

    QList<Record> all(TableId id, int key)
    {
        QList<Record> list;
        Table &t = table(id);
        t.set(key);
        while (t.next())
            list.append(t.buffer());
        return list;
    }
    // The songs the wizard added, its held song aside, by track.
    QList<Record> addedSongs()
    {
        QList<Record> list;
        for (const Record &song : all(TableId::Songs, mus::KeyID)) {
            if (song.number(mus::AlbumID) != 0 || !song.text(mus::Title).isEmpty())
                list.append(song);
        }
        std::sort(list.begin(), list.end(), [](const Record &a, const Record &b) {
            return a.number(mus::TrackNumber) < b.number(mus::TrackNumber);
        });
        return list;
    }
    QList<TrackRow> rows(int instance = Instance)
    {
        QList<TrackRow> list;
        [&] { QVERIFY(TrackRows(table(TableId::AddWizard), instance).read(list)); }();
        return list;
    }
    QString categoryName(qint64 id)
    {
        for (const Record &category : all(TableId::Categories, cat::KeyCategoryID)) {
            if (category.number(cat::CategoryID) == id)
                return category.text(cat::Category);
        }
        return QString();
    }
};

QStringList titlesOf(const QList<TrackRow> &rows)
{
    QStringList titles;
    for (const TrackRow &row : rows)
        titles.append(row.title);
    return titles;
}

// A folder of tagged files: one album by one artist, its tracks named out of order.
QString makeAlbumFolder(const Workspace &workspace, const QString &name)
{
    const QString folder = workspace.file(name);
    QDir().mkpath(folder);
    const Tags shared{{u"ARTIST"_s, u"New Order"_s}, {u"ALBUM"_s, u"Substance"_s},
                      {u"DATE"_s, u"1987-08-17"_s},  {u"GENRE"_s, u"Synth-pop"_s},
                      {u"DISCNUMBER"_s, u"2/2"_s},   {u"COMPOSER"_s, u"Sumner, Hook"_s}};
    const struct
    {
        const char *file;
        const char *title;
        const char *track;
        const char *bpm;
        int seconds;
    } files[] = {{"b.flac", "Blue Monday", "1", "130", 75},
                 {"a.mp3", "True Faith", "3", "118", 62},
                 {"c.wav", "Temptation", "2", "", 83}};
    for (const auto &file : files) {
        Tags tags = shared;
        tags.insert(u"TITLE"_s, QString::fromUtf8(file.title));
        tags.insert(u"TRACKNUMBER"_s, QString::fromUtf8(file.track));
        if (*file.bpm)
            tags.insert(u"BPM"_s, QString::fromUtf8(file.bpm));
        if (!makeAudioFile(QDir(folder).filePath(QString::fromUtf8(file.file)), file.seconds, tags))
            return QString();
    }
    return folder;
}

AddAlbumWizard *openWizard(Session &session, AddAlbumWizard::Kind kind)
{
    AddAlbumWizard *wizard = AddAlbumWizard::open(session, kind, Request::Insert, Instance);
    if (wizard) {
        wizard->show();
        wizard->tabs()->setCurrentIndex(1);
    }
    return wizard;
}

// Presses "Read &Folder..." with `folder` as the dialog's answer; true once the reading has
// ended, however it ended.
bool readFolder(AddAlbumWizard *wizard, const QString &folder)
{
    queueChosenPath(folder);
    QPushButton *button = buttonOf(wizard->tracks(), u"Read &Folder..."_s);
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return QTest::qWaitFor([wizard] { return wizard->isEnabled(); }, 10000);
}

// Does something as the reading's progress window is shown: the folder is listed by then
// and no file read yet.
class OnProgress : public QObject
{
public:
    OnProgress(QWidget *parent, std::function<void(ProgressWindow *)> act) : m_act(std::move(act))
    {
        parent->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished) {
            if (auto *window =
                    qobject_cast<ProgressWindow *>(static_cast<QChildEvent *>(event)->child())) {
                watched->removeEventFilter(this);
                m_act(window);
            }
        }
        return false;
    }

private:
    std::function<void(ProgressWindow *)> m_act;
};

QList<ProgressWindow *> progressWindows()
{
    return shown<ProgressWindow>();
}

// Every question is asked with the reading's progress window gone, not over it.
class WatchingPrompter : public ScriptedPrompter
{
public:
    Button ask(const Message &message) override
    {
        if (!progressWindows().isEmpty())
            overProgress.append(message.text);
        return ScriptedPrompter::ask(message);
    }
    QStringList overProgress;
};

} // namespace

class TestAlbumFromFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void init()
    {
        m_prompter = std::make_unique<WatchingPrompter>();
        m_shelf = std::make_unique<Shelf>();
    }
    void cleanup()
    {
        const QStringList overProgress = m_prompter->overProgress;
        for (QWidget *window : QApplication::topLevelWidgets())
            window->close();
        settle();
        while (takeChosenPath()) {
        }
        setFolderChooser({});
        m_shelf.reset();
        m_prompter.reset();
        QCOMPARE(overProgress, QStringList());
    }

    // A folder of tagged files read into the single-artist wizard and committed: the General
    // tab takes what they share, the genre is offered as a new category, and every tag ends
    // in its field of the album and of each song, in track order.
    void everyTagReachesItsField()
    {
        Shelf &shelf = *m_shelf;
        const QString folder = makeAlbumFolder(shelf.workspace, u"Substance"_s);
        QVERIFY(!folder.isEmpty());
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        QVERIFY(wizard);
        // The folder is picked through the chooser the dialog's seam gives.
        setFolderChooser([&folder](QWidget *) { return folder; });
        m_prompter->answer(Yes); // add the genre as a category
        buttonOf(wizard->tracks(), u"Read &Folder..."_s)->click();
        QTRY_VERIFY(wizard->isEnabled());
        QCOMPARE(m_prompter->captions(), QStringList{u"Category not found"_s});
        QCOMPARE(titlesOf(shelf.rows()),
                 (QStringList{u"Blue Monday"_s, u"Temptation"_s, u"True Faith"_s}));
        QCOMPARE(wizard->tracks()->model()->rowCount(), 3);
        QCOMPARE(lineAfter(wizard, u"&Artist:"_s)->text(), u"New Order"_s);
        QCOMPARE(lineAfter(wizard, u"A&lbum:"_s)->text(), u"Substance"_s);
        QCOMPARE(qobject_cast<QComboBox *>(fieldAfter(wizard, u"&Category:"_s))->currentText(),
                 u"Synth-pop"_s);
        QCOMPARE(wizard->soundFile(), QDir::toNativeSeparators(folder));
        buttonOf(wizard, u"&OK"_s)->click();
        QTRY_VERIFY(!wizard);

        const QList<Record> albums = shelf.all(TableId::Albums, alb::KeyAlbumID);
        QCOMPARE(albums.size(), 1);
        const Record &album = albums.first();
        QCOMPARE(album.text(alb::Artist), u"New Order"_s);
        QCOMPARE(album.text(alb::Album), u"Substance"_s);
        QCOMPARE(album.number(alb::ReleaseDate), makeDate(1987, 8, 17));
        QCOMPARE(shelf.categoryName(album.number(alb::CategoryID)), u"Synth-pop"_s);
        QCOMPARE(album.text(alb::AssociatedWavFile), QDir::toNativeSeparators(folder));
        const QList<Record> songs = shelf.addedSongs();
        QCOMPARE(songs.size(), 3);
        const struct
        {
            const char *title;
            qint64 bpm;
            qint32 time;
            const char *timeText;
        } expected[] = {{"Blue Monday", 130, makeTime(0, 1, 15), "01:15"},
                        {"Temptation", 0, makeTime(0, 1, 23), "01:23"},
                        {"True Faith", 118, makeTime(0, 1, 2), "01:02"}};
        for (int i = 0; i < 3; ++i) {
            const Record &song = songs.at(i);
            QCOMPARE(song.text(mus::Title), QString::fromUtf8(expected[i].title));
            QCOMPARE(song.number(mus::TrackNumber), i + 1);
            QCOMPARE(song.number(mus::Side), 2);
            QCOMPARE(song.text(mus::Artist), u"New Order"_s);
            QCOMPARE(song.text(mus::Album), u"Substance"_s);
            QCOMPARE(song.text(mus::Composer), u"Sumner, Hook"_s);
            QCOMPARE(song.number(mus::BeatsPerMinute), expected[i].bpm);
            // An MP3's length is estimated from its frames: within a second.
            QVERIFY2(qAbs(song.number(mus::Time) - expected[i].time) <= 100,
                     qPrintable(song.text(mus::AdditionalInformation1)));
            if (i != 2)
                QCOMPARE(song.text(mus::AdditionalInformation1),
                         QString::fromUtf8(expected[i].timeText));
            QCOMPARE(song.number(mus::ReleaseDate), makeDate(1987, 8, 17));
            QCOMPARE(song.number(mus::CategoryID), album.number(alb::CategoryID));
            QCOMPARE(song.number(mus::AlbumID), album.number(alb::AlbumID));
            QCOMPARE(song.text(mus::Media), u"CD"_s);
        }
        QVERIFY(shelf.rows().isEmpty());
    }

    // Files by three artists: the compilation wizard gives each song its artist and the
    // album "Various", as a disc does; the single-artist wizard asks first, and reads
    // nothing when told not to. A refused genre leaves the category as it was.
    void compilationFolder()
    {
        Shelf &shelf = *m_shelf;
        const QString folder = shelf.workspace.file(u"Hits"_s);
        QDir().mkpath(folder);
        const QStringList artists{u"Abba"_s, u"Blondie"_s, u"Chic"_s};
        for (int i = 0; i < artists.size(); ++i)
            QVERIFY(makeAudioFile(QDir(folder).filePath(u"%1.wav"_s.arg(i + 1)), 2 + i,
                                  {{u"ARTIST"_s, artists.at(i)},
                                   {u"TITLE"_s, u"Hit %1"_s.arg(i + 1)},
                                   {u"ALBUM"_s, u"Disco Hits"_s},
                                   {u"GENRE"_s, u"Disco"_s},
                                   {u"DATE"_s, u"1979"_s}}));

        QPointer<AddAlbumWizard> single =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        m_prompter->answer(No);
        QVERIFY(readFolder(single, folder));
        QCOMPARE(m_prompter->shown.size(), 1);
        QVERIFY(m_prompter->shown.first().text.contains(u"different artists"_s));
        QVERIFY(shelf.rows().isEmpty());
        QCOMPARE(lineAfter(single, u"A&lbum:"_s)->text(), QString());
        single->close();
        QTRY_VERIFY(!single);

        m_prompter->shown.clear();
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::Compilation);
        m_prompter->answer(No); // not the genre
        QVERIFY(readFolder(wizard, folder));
        QCOMPARE(m_prompter->captions(), QStringList{u"Category not found"_s});
        QCOMPARE(qobject_cast<QComboBox *>(fieldAfter(wizard, u"&Category:"_s))->currentText(),
                 QString());
        QCOMPARE(lineAfter(wizard, u"&Compilation Name:"_s)->text(), u"Disco Hits"_s);
        buttonOf(wizard, u"&OK"_s)->click();
        QTRY_VERIFY(!wizard);

        const QList<Record> albums = shelf.all(TableId::Albums, alb::KeyAlbumID);
        QCOMPARE(albums.size(), 1);
        QCOMPARE(albums.first().text(alb::Artist), u"Various"_s);
        QCOMPARE(albums.first().text(alb::Album), u"Disco Hits"_s);
        QCOMPARE(albums.first().number(alb::CategoryID), 0);
        // A year alone is the year's first day where dates are kept whole.
        QCOMPARE(albums.first().number(alb::ReleaseDate), makeDate(1979, 1, 1));
        const QList<Record> songs = shelf.addedSongs();
        QCOMPARE(songs.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(songs.at(i).text(mus::Artist), artists.at(i));
            QCOMPARE(songs.at(i).text(mus::Title), u"Hit %1"_s.arg(i + 1));
            QCOMPARE(songs.at(i).number(mus::Time), makeTime(0, 0, 2 + i));
            QCOMPARE(songs.at(i).number(mus::AlbumID), albums.first().number(alb::AlbumID));
        }
    }

    // Where the catalogue keeps years only, the release date is the year.
    void yearOnlyCatalogue()
    {
        Shelf &shelf = *m_shelf;
        Settings::global().dateFormat = YearOnlyPicture;
        const QString folder = makeAlbumFolder(shelf.workspace, u"Years"_s);
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        m_prompter->answer(Yes);
        QVERIFY(readFolder(wizard, folder));
        QCOMPARE(wizard->record().number(mus::ReleaseDate), 1987);
        QCOMPARE(lineAfter(wizard, u"&Release Date:"_s)->text().trimmed(), u"1987"_s);
    }

    // Files that are no audio, a file gone while the folder is read, names and tags in
    // other scripts: the good files become the album, the others are named in one message,
    // and nothing is half written.
    void badFilesAreSkippedAndNamed()
    {
        Shelf &shelf = *m_shelf;
        const QString folder = shelf.workspace.file(u"Смесь 混合"_s);
        QDir().mkpath(folder);
        const auto path = [&folder](const QString &name) { return QDir(folder).filePath(name); };
        QVERIFY(makeAudioFile(path(u"01 Ёлка.flac"_s), 3,
                              {{u"TITLE"_s, u"Χιόνι 雪 ❄"_s},
                               {u"ARTIST"_s, u"Björk"_s},
                               {u"TRACKNUMBER"_s, u"1"_s}}));
        QVERIFY(makeAudioFile(path(u"02 שלום.wav"_s), 2));
        QVERIFY(makeAudioFile(path(u"03 gone.wav"_s), 2));
        QVERIFY(writeBytes(path(u"04 broken.mp3"_s), QByteArray(3000, 'x')));
        QVERIFY(writeBytes(path(u"05 empty.flac"_s), {}));
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        // The file goes once the reading has listed the folder, before it reads a file.
        bool removed = false;
        OnProgress removal(
            wizard, [&](ProgressWindow *) { removed = QFile::remove(path(u"03 gone.wav"_s)); });
        QVERIFY(readFolder(wizard, folder));
        QVERIFY(removed);
        QCOMPARE(m_prompter->shown.size(), 1);
        const QString message = m_prompter->shown.first().text;
        QVERIFY(message.contains(u"04 broken.mp3"_s));
        QVERIFY(message.contains(u"05 empty.flac"_s));
        QVERIFY(message.contains(u"03 gone.wav"_s));
        QVERIFY(message.contains(u"gone from the folder"_s));
        const QStringList expected{u"Χιόνι 雪 ❄"_s, u"02 שלום"_s};
        QCOMPARE(titlesOf(shelf.rows()), expected);
        QCOMPARE(lineAfter(wizard, u"&Artist:"_s)->text(), u"Björk"_s);
        buttonOf(wizard, u"&OK"_s)->click();
        QTRY_VERIFY(!wizard);
        const QList<Record> albums = shelf.all(TableId::Albums, alb::KeyAlbumID);
        QCOMPARE(albums.size(), 1);
        QCOMPARE(albums.first().text(alb::AssociatedWavFile), QDir::toNativeSeparators(folder));
        const QList<Record> songs = shelf.addedSongs();
        QCOMPARE(songs.size(), expected.size());
        QCOMPARE(songs.first().text(mus::Title), u"Χιόνι 雪 ❄"_s);
        QCOMPARE(songs.first().text(mus::Artist), u"Björk"_s);
    }

    // A folder without audio files, or one that is gone, says so and leaves the list and
    // the General tab alone.
    void nothingToReadChangesNothing()
    {
        Shelf &shelf = *m_shelf;
        QVERIFY(
            TrackRows(shelf.table(TableId::AddWizard), Instance).write({{1, {}, u"Typed"_s, 0}}));
        const QString folder = shelf.workspace.file(u"Pictures"_s);
        QDir().mkpath(folder);
        QVERIFY(writeBytes(QDir(folder).filePath(u"cover.jpg"_s), "jpeg"));
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        lineAfter(wizard, u"A&lbum:"_s)->setText(u"Mine"_s);
        QVERIFY(readFolder(wizard, folder));
        QVERIFY(readFolder(wizard, shelf.workspace.file(u"nowhere"_s)));
        QCOMPARE(m_prompter->shown.size(), 2);
        QVERIFY(m_prompter->shown.at(0).text.contains(u"holds no audio files"_s));
        QVERIFY(m_prompter->shown.at(1).text.contains(u"is not there"_s));
        QCOMPARE(titlesOf(shelf.rows()), QStringList{u"Typed"_s});
        QCOMPARE(lineAfter(wizard, u"A&lbum:"_s)->text(), u"Mine"_s);
        QCOMPARE(wizard->soundFile(), QString());
    }

    // Rows already in the list: Cancel keeps them alone, "Add After Them" numbers the
    // folder's tracks on after them, "Replace" puts the folder's in their place.
    void rowsAlreadyThere()
    {
        Shelf &shelf = *m_shelf;
        QVERIFY(TrackRows(shelf.table(TableId::AddWizard), Instance)
                    .write({{1, {}, u"One"_s, 0}, {2, {}, u"Two"_s, 0}}));
        const QString folder = makeAlbumFolder(shelf.workspace, u"Again"_s);
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        m_prompter->answer(Cancel);
        QVERIFY(readFolder(wizard, folder));
        QCOMPARE(titlesOf(shelf.rows()), (QStringList{u"One"_s, u"Two"_s}));
        QCOMPARE(m_prompter->shown.last().buttonTexts.size(), 2);

        m_prompter->answer(No); // add after them
        m_prompter->answer(No); // not the genre
        QVERIFY(readFolder(wizard, folder));
        const QList<TrackRow> added = shelf.rows();
        QCOMPARE(titlesOf(added), (QStringList{u"One"_s, u"Two"_s, u"Blue Monday"_s,
                                               u"Temptation"_s, u"True Faith"_s}));
        QCOMPARE(added.last().track, 5);
        QCOMPARE(added.last().composer, u"Sumner, Hook"_s);

        m_prompter->answer(Yes); // replace
        m_prompter->answer(No);
        QVERIFY(readFolder(wizard, folder));
        QCOMPARE(titlesOf(shelf.rows()),
                 (QStringList{u"Blue Monday"_s, u"Temptation"_s, u"True Faith"_s}));
        QCOMPARE(wizard->tracks()->model()->rowCount(), 3);
    }

    // The files' own track numbers are kept when the songs can hold them; one past what a
    // song's track can number makes the rows count from 1 in album order.
    void trackNumbersASongCanHold()
    {
        Shelf &shelf = *m_shelf;
        const QString folder = shelf.workspace.file(u"Numbers"_s);
        QDir().mkpath(folder);
        const auto make = [&folder](const QString &name, const QString &track) {
            return makeAudioFile(QDir(folder).filePath(name), 1,
                                 {{u"TITLE"_s, name}, {u"TRACKNUMBER"_s, track}});
        };
        QVERIFY(make(u"a.wav"_s, u"7"_s));
        QVERIFY(make(u"b.wav"_s, u"5"_s));
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::SingleArtist);
        QVERIFY(readFolder(wizard, folder));
        QList<TrackRow> rows = shelf.rows();
        QCOMPARE(titlesOf(rows), (QStringList{u"b.wav"_s, u"a.wav"_s}));
        QCOMPARE(rows.at(0).track, 5);
        QCOMPARE(rows.at(1).track, 7);

        QVERIFY(make(u"c.wav"_s, u"300"_s));
        m_prompter->answer(Yes); // replace
        QVERIFY(readFolder(wizard, folder));
        rows = shelf.rows();
        QCOMPARE(titlesOf(rows), (QStringList{u"b.wav"_s, u"a.wav"_s, u"c.wav"_s}));
        QCOMPARE(rows.at(0).track, 1);
        QCOMPARE(rows.at(2).track, 3);
    }

    // Cancel in the progress window, or the wizard closed while it reads: nothing is read
    // into the rows, no window is left behind, and the wizard's held song goes.
    void readingStoppedPartWay()
    {
        Shelf &shelf = *m_shelf;
        const QString folder = shelf.workspace.file(u"Many"_s);
        QDir().mkpath(folder);
        for (int i = 1; i <= 60; ++i)
            QVERIFY(makeAudioFile(QDir(folder).filePath(u"%1.wav"_s.arg(i)), 1));
        QPointer<AddAlbumWizard> wizard =
            openWizard(shelf.session, AddAlbumWizard::Kind::Compilation);
        bool shown = false;
        OnProgress escape(wizard, [&shown](ProgressWindow *window) {
            shown = true;
            QTimer::singleShot(0, window, &ProgressWindow::reject); // Escape, as Cancel
        });
        QVERIFY(readFolder(wizard, folder));
        QVERIFY(shown);
        QVERIFY(shelf.rows().isEmpty());
        QVERIFY(m_prompter->shown.isEmpty());
        QTRY_VERIFY(progressWindows().isEmpty());

        shown = false;
        OnProgress close(wizard, [&shown, &wizard](ProgressWindow *) {
            shown = true;
            QTimer::singleShot(0, wizard, &AddAlbumWizard::cancel);
        });
        queueChosenPath(folder);
        buttonOf(wizard->tracks(), u"Read &Folder..."_s)->click();
        QTRY_VERIFY(!wizard);
        QVERIFY(shown);
        settle();
        QTRY_VERIFY(progressWindows().isEmpty());
        QVERIFY(shelf.rows().isEmpty());
        QVERIFY(m_prompter->shown.isEmpty());
        QCOMPARE(shelf.songs().records(), 0);
    }

    // A catalogue whose scratch rows were written in the earlier, narrower layout is
    // brought to the current one on opening: a cancelled run's rows reappear whole, and
    // take titles as long as a song's.
    void earlierRowsSurviveTheNewLayout()
    {
        m_shelf.reset();
        test::Catalogue catalogue;
        TableDef earlier = tableDef(TableId::AddWizard);
        earlier.version = 1;
        earlier.fields = earlier.fields.mid(0, aw::Time + 1);
        earlier.fields[aw::Artist].size = 30;
        earlier.fields[aw::Title].size = 30;
        const QString file = catalogue.table(TableId::AddWizard).fileName();
        QVERIFY(tablefile::create(earlier, file));
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        tablefile::registerFunctions(db);
        QCOMPARE(sqlite3_exec(db,
                              "INSERT INTO AddWizard (INSTANCE, SIDE, TRACK, ARTIST, TITLE, TIME) "
                              "VALUES (6, '0', 1, 'Abba', 'Waterloo', 18001), "
                              "(6, '0', 2, 'Abba', 'SOS', 0), (9, '0', 1, 'Chic', 'Other', 0)",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);

        QVERIFY(catalogue.hold({TableId::Songs, TableId::Albums, TableId::AddWizard,
                                TableId::Categories, TableId::Media}));
        QVERIFY(m_prompter->shown.isEmpty());
        QPointer<AddAlbumWizard> wizard =
            openWizard(catalogue.session, AddAlbumWizard::Kind::Compilation);
        QVERIFY(wizard);
        QCOMPARE(wizard->tracks()->model()->rowCount(), 2);
        TrackRows rows(catalogue.table(TableId::AddWizard), Instance);
        QList<TrackRow> read;
        QVERIFY(rows.read(read));
        QCOMPARE(titlesOf(read), (QStringList{u"Waterloo"_s, u"SOS"_s}));
        QCOMPARE(read.first().artist, u"Abba"_s);
        QCOMPARE(read.first().time, 18001);
        QCOMPARE(read.first().disc, 0);
        const QString longTitle = u"A Title Of Forty-Eight Characters, Kept Whole..."_s;
        QCOMPARE(longTitle.size(), 48);
        read.first().title = longTitle;
        read.first().composer = u"Andersson, Ulvaeus"_s;
        QVERIFY(rows.write({read.first()}));
        QVERIFY(rows.read(read));
        QCOMPARE(read.first().title, longTitle);
        QCOMPARE(read.first().composer, u"Andersson, Ulvaeus"_s);
        QVERIFY(TrackRows(catalogue.table(TableId::AddWizard), 9).read(read));
        QCOMPARE(titlesOf(read), QStringList{u"Other"_s});
        wizard->close();
        QTRY_VERIFY(!wizard);
    }

private:
    std::unique_ptr<WatchingPrompter> m_prompter;
    std::unique_ptr<Shelf> m_shelf;
};

QTEST_MAIN(TestAlbumFromFolder)
#include "tst_albumfromfolder.moc"
