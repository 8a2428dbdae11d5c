#include "audiofiles.h"
#include "platform/stddate.h"
#include "testsupport.h"
#include "wizards/folderalbum.h"
#include "wizards/folderreading.h"

#include "app/progresswindow.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace sv;
using namespace Qt::StringLiterals;

namespace {

FolderAlbum readWhole(const QString &folder)
{
    FolderReader reader(folder);
    while (!reader.atEnd())
        reader.readNext();
    return reader.album();
}

QStringList fileNames(const FolderAlbum &album)
{
    QStringList names;
    for (const FolderTrack &track : album.tracks)
        names.append(track.fileName);
    return names;
}

QStringList titles(const FolderAlbum &album)
{
    QStringList names;
    for (const FolderTrack &track : album.tracks)
        names.append(track.title);
    return names;
}

FolderTrack trackOf(const QString &artist, const QString &albumArtist = {})
{
    FolderTrack track;
    track.artist = artist;
    track.albumArtist = albumArtist;
    return track;
}

QList<ProgressWindow *> progressWindows(QWidget *parent)
{
    return parent->findChildren<ProgressWindow *>();
}

// Calls `shown` with the progress window as it is shown, before its first tick.
class ProgressWatch : public QObject
{
public:
    ProgressWatch(QWidget *parent, std::function<void(ProgressWindow *)> shown)
        : m_shown(std::move(shown))
    {
        parent->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished) {
            auto *child = static_cast<QChildEvent *>(event)->child();
            if (auto *window = qobject_cast<ProgressWindow *>(child); window && m_shown) {
                watched->removeEventFilter(this);
                std::exchange(m_shown, nullptr)(window);
            }
        }
        return false;
    }

private:
    std::function<void(ProgressWindow *)> m_shown;
};

} // namespace

class TestFolderAlbum : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_prompter = std::make_unique<test::ScriptedPrompter>(); }
    void cleanup() { m_prompter.reset(); }

    // Every tag a file gives reaches its field, whatever the file's kind.
    void everyTagReadFromEachKind_data();
    void everyTagReadFromEachKind();
    // Files go by disc and track number, numbered files before those without, the rest by
    // name as people read numbers ("9" before "10").
    void filesOrderedByDiscTrackThenName();
    // The rows keep the files' own numbers where these make a valid single sequence.
    void trackNumbersKeptOnlyWhenTheyFit();
    // Artists that differ make a compilation; the album artist the files agree on wins.
    void compilationAndAlbumArtist();
    void albumFieldsFollowTheMajority();
    // An untagged file takes its name; files that are no audio are listed, not dropped; files
    // that are not audio by name are not touched.
    void untaggedBrokenAndForeignFiles();
    // A file taken away between listing and reading is reported as gone, not as broken.
    void fileVanishedMidReading();
    // Folder names, file names and tags in any script survive the round trip.
    void namesInAnyScript();

    // The reading behind its progress window: the message for an empty folder, one message
    // for the files left out, and Cancel or a closed parent hand nothing on.
    void readingEmptyFolderSaysSoAndReadsNothing();
    void readingReportsLeftOutFilesOnce();
    void readingCancelledHandsNothingOn();
    void readingEndsWithItsParent();
    // The folder dialog opens in the user's music folder, and then beside the folder read
    // last.
    void dialogStartsBesideTheLastFolder();

private:
    std::unique_ptr<test::ScriptedPrompter> m_prompter;
};

void TestFolderAlbum::everyTagReadFromEachKind_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint32>("time");
    QTest::newRow("wav") << u"song.wav"_s << makeTime(0, 2, 3);
    QTest::newRow("flac") << u"song.flac"_s << makeTime(0, 2, 3);
    // Frames without padding: its bit rate gives 122.4 s.
    QTest::newRow("mp3") << u"song.mp3"_s << makeTime(0, 2, 2);
}

void TestFolderAlbum::everyTagReadFromEachKind()
{
    QFETCH(QString, name);
    QFETCH(qint32, time);
    test::Workspace workspace;
    const QString path = workspace.file(name);
    QVERIFY(test::makeAudioFile(path, 123,
                                {{u"TITLE"_s, u"Blue Monday"_s},
                                 {u"ARTIST"_s, u"New Order"_s},
                                 {u"ALBUM"_s, u"Substance"_s},
                                 {u"ALBUMARTIST"_s, u"New Order"_s},
                                 {u"TRACKNUMBER"_s, u"3/12"_s},
                                 {u"DISCNUMBER"_s, u"2/2"_s},
                                 {u"DATE"_s, u"1987-08-17"_s},
                                 {u"GENRE"_s, u"Synth-pop"_s},
                                 {u"BPM"_s, u"130"_s},
                                 {u"COMPOSER"_s, u"Gillian Gilbert"_s}}));
    FolderTrack track;
    QVERIFY(readAudioFile(path, track));
    QCOMPARE(track.fileName, name);
    QCOMPARE(track.title, u"Blue Monday"_s);
    QCOMPARE(track.artist, u"New Order"_s);
    QCOMPARE(track.album, u"Substance"_s);
    QCOMPARE(track.albumArtist, u"New Order"_s);
    QCOMPARE(track.track, 3);
    QCOMPARE(track.disc, 2);
    QCOMPARE(track.year, 1987);
    QCOMPARE(track.releaseDate, makeDate(1987, 8, 17));
    QCOMPARE(track.genre, u"Synth-pop"_s);
    QCOMPARE(track.beatsPerMinute, 130);
    QCOMPARE(track.composer, u"Gillian Gilbert"_s);
    QVERIFY(track.tagged);
    QCOMPARE(track.time, time);
}

void TestFolderAlbum::filesOrderedByDiscTrackThenName()
{
    test::Workspace workspace;
    const QString folder = workspace.path();
    QVERIFY(test::makeAudioFile(workspace.file(u"a.wav"_s), 1,
                                {{u"TRACKNUMBER"_s, u"1"_s}, {u"DISCNUMBER"_s, u"2"_s}}));
    QVERIFY(test::makeAudioFile(workspace.file(u"b.mp3"_s), 1,
                                {{u"TRACKNUMBER"_s, u"2/9"_s}, {u"DISCNUMBER"_s, u"1/2"_s}}));
    // No disc number counts as the first disc.
    QVERIFY(test::makeAudioFile(workspace.file(u"c.flac"_s), 1, {{u"TRACKNUMBER"_s, u"1"_s}}));
    QVERIFY(test::makeAudioFile(workspace.file(u"10 Outro.wav"_s), 1));
    QVERIFY(test::makeAudioFile(workspace.file(u"9 Interlude.wav"_s), 1));
    QVERIFY(test::makeAudioFile(workspace.file(u"B side.wav"_s), 1));
    QVERIFY(test::makeAudioFile(workspace.file(u"a side.wav"_s), 1));

    const FolderAlbum album = readWhole(folder);
    QCOMPARE(fileNames(album),
             (QStringList{u"c.flac"_s, u"b.mp3"_s, u"a.wav"_s, u"9 Interlude.wav"_s,
                          u"10 Outro.wav"_s, u"a side.wav"_s, u"B side.wav"_s}));
    // Two discs: the rows are numbered through.
    QCOMPARE(album.trackNumbers(), (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    QVERIFY(album.unreadable.isEmpty());
}

void TestFolderAlbum::trackNumbersKeptOnlyWhenTheyFit()
{
    FolderAlbum album;
    for (int number : {1, 2, 4}) {
        FolderTrack track;
        track.track = number;
        album.tracks.append(track);
    }
    QCOMPARE(album.trackNumbers(), (QList<int>{1, 2, 4}));
    album.tracks[2].track = 2; // the same number twice
    QCOMPARE(album.trackNumbers(), (QList<int>{1, 2, 3}));
    album.tracks[2].track = 0; // one without a number
    QCOMPARE(album.trackNumbers(), (QList<int>{1, 2, 3}));
    album.tracks[2].track = 4;
    album.tracks[2].disc = 2; // a second disc
    QCOMPARE(album.trackNumbers(), (QList<int>{1, 2, 3}));
    QVERIFY(FolderAlbum().trackNumbers().isEmpty());
}

void TestFolderAlbum::compilationAndAlbumArtist()
{
    FolderAlbum album;
    album.tracks = {trackOf(u"Moby"_s), trackOf(u"MOBY"_s), trackOf(QString())};
    QVERIFY(!album.isCompilation());
    QCOMPARE(album.artist(), u"Moby"_s);

    album.tracks = {trackOf(u"Moby"_s), trackOf(u"Air"_s), trackOf(u"Daft Punk"_s)};
    QVERIFY(album.isCompilation());
    QCOMPARE(album.artist(), u"Various"_s);

    // Every file names the same album artist: that is the album's, guest artists or not.
    album.tracks = {trackOf(u"Moby"_s, u"Moby"_s), trackOf(u"Moby feat. Gwen"_s, u"moby"_s)};
    QVERIFY(album.isCompilation());
    QCOMPARE(album.artist(), u"Moby"_s);
    // One file without it: the files do not agree.
    album.tracks.append(trackOf(u"Moby"_s));
    QCOMPARE(album.artist(), u"Various"_s);

    QVERIFY(FolderAlbum().artist().isEmpty());
}

void TestFolderAlbum::albumFieldsFollowTheMajority()
{
    FolderAlbum album;
    for (const auto &[title, year, genre] :
         {std::tuple{u"Play"_s, 1999, u"Electronic"_s}, std::tuple{u"Play (Bonus)"_s, 2000, u""_s},
          std::tuple{u"play"_s, 1999, u"Ambient"_s}, std::tuple{u""_s, 0, u"Ambient"_s}}) {
        FolderTrack track;
        track.album = title;
        track.year = year;
        track.genre = genre;
        album.tracks.append(track);
    }
    album.tracks[2].releaseDate = makeDate(1999, 5, 17);
    QCOMPARE(album.title(), u"Play"_s);
    QCOMPARE(album.year(), 1999);
    QCOMPARE(album.releaseDate(), makeDate(1999, 5, 17));
    QCOMPARE(album.genre(), u"Ambient"_s);
}

void TestFolderAlbum::untaggedBrokenAndForeignFiles()
{
    test::Workspace workspace;
    QVERIFY(test::makeAudioFile(workspace.file(u"01 Intro.Theme.wav"_s), 61));
    QVERIFY(test::writeBytes(workspace.file(u"garbage.mp3"_s), QByteArray(5000, 'x')));
    QVERIFY(test::writeBytes(workspace.file(u"empty.flac"_s), {}));
    QVERIFY(test::writeBytes(workspace.file(u"not really.WAV"_s), QByteArray("RIFF\x10")));
    // A tag whose header claims more than the file holds, before valid audio frames.
    QByteArray badTag("ID3\x03\x00\x00\x7f\x7f\x7f\x7f", 10);
    badTag.append(QByteArray(40, char(0x55)));
    QVERIFY(test::writeBytes(workspace.file(u"bad tag.mp3"_s), badTag + test::mp3Bytes(200)));
    QVERIFY(test::writeBytes(workspace.file(u"cover.jpg"_s), QByteArray(100, 'j')));
    QVERIFY(QDir(workspace.path()).mkdir(u"Extras.mp3"_s));

    const FolderAlbum album = readWhole(workspace.path());
    const FolderTrack &intro = album.tracks.first();
    QCOMPARE(intro.fileName, u"01 Intro.Theme.wav"_s);
    QCOMPARE(intro.title, u"01 Intro.Theme"_s);
    QVERIFY(!intro.tagged);
    QCOMPARE(intro.time, makeTime(0, 1, 1));
    QVERIFY(album.unreadable.contains(u"garbage.mp3"_s));
    QVERIFY(album.unreadable.contains(u"empty.flac"_s));
    QVERIFY(album.unreadable.contains(u"not really.WAV"_s));
    // However its tag is read, the file is a track or reported: never lost without a word.
    QCOMPARE(int(fileNames(album).contains(u"bad tag.mp3"_s)) +
                 int(album.unreadable.contains(u"bad tag.mp3"_s)),
             1);
    QCOMPARE(album.tracks.size() + album.unreadable.size(), 5);
    QVERIFY(album.vanished.isEmpty());
    const QString message = leftOutMessage(album);
    QVERIFY(message.contains(u"garbage.mp3"_s));
    QVERIFY(!message.contains(u"cover.jpg"_s));
    QVERIFY(!message.contains(u"gone"_s));
}

void TestFolderAlbum::fileVanishedMidReading()
{
    test::Workspace workspace;
    for (const QString &name : {u"1.wav"_s, u"2.wav"_s, u"3.wav"_s})
        QVERIFY(test::makeAudioFile(workspace.file(name), 1, {{u"TITLE"_s, name}}));
    FolderReader reader(workspace.path());
    QCOMPARE(reader.fileCount(), 3);
    reader.readNext();
    QVERIFY(QFile::remove(workspace.file(u"2.wav"_s)));
    while (!reader.atEnd())
        reader.readNext();
    const FolderAlbum album = reader.album();
    QCOMPARE(titles(album), (QStringList{u"1.wav"_s, u"3.wav"_s}));
    QCOMPARE(album.vanished, QStringList{u"2.wav"_s});
    QVERIFY(album.unreadable.isEmpty());
    QVERIFY(leftOutMessage(album).contains(u"gone from the folder"_s));
}

void TestFolderAlbum::namesInAnyScript()
{
    test::Workspace workspace;
    const QString folder = workspace.file(u"Música 日本 Ωμέγα"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString tagged = u"Ёлка – 雪.flac"_s;
    QVERIFY(test::makeAudioFile(
        QDir(folder).filePath(tagged), 3,
        {{u"TITLE"_s, u"Χιόνι 雪 ❄"_s}, {u"ARTIST"_s, u"Björk"_s}, {u"TRACKNUMBER"_s, u"1"_s}}));
    QVERIFY(test::makeAudioFile(QDir(folder).filePath(u"שלום.wav"_s), 2));
    const FolderAlbum album = readWhole(folder);
    QCOMPARE(fileNames(album), (QStringList{tagged, u"שלום.wav"_s}));
    QCOMPARE(titles(album), (QStringList{u"Χιόνι 雪 ❄"_s, u"שלום"_s}));
    QCOMPARE(album.artist(), u"Björk"_s);
    QCOMPARE(album.folder, folder);
}

void TestFolderAlbum::readingEmptyFolderSaysSoAndReadsNothing()
{
    test::Workspace workspace;
    QVERIFY(test::writeBytes(workspace.file(u"readme.txt"_s), "hello"));
    QWidget parent;
    for (const QString &folder : {workspace.path(), workspace.file(u"missing"_s)}) {
        m_prompter->shown.clear();
        FolderReading *reading = FolderReading::start(folder, &parent);
        QSignalSpy finished(reading, &FolderReading::finished);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(m_prompter->shown.size(), 1);
        QVERIFY(m_prompter->shown.first().text.contains(QDir::toNativeSeparators(folder)));
        QVERIFY(progressWindows(&parent).isEmpty());
    }
    QVERIFY(m_prompter->shown.first().text.contains(u"is not there"_s));
}

void TestFolderAlbum::readingReportsLeftOutFilesOnce()
{
    test::Workspace workspace;
    for (int i = 1; i <= 40; ++i)
        QVERIFY(test::makeAudioFile(workspace.file(u"%1.wav"_s.arg(i)), 1,
                                    {{u"TRACKNUMBER"_s, QString::number(i)}}));
    for (int i = 1; i <= 20; ++i)
        QVERIFY(test::writeBytes(workspace.file(u"broken %1.mp3"_s.arg(i)), "not audio"));
    QWidget parent;
    FolderReading *reading = FolderReading::start(workspace.path(), &parent);
    QSignalSpy finished(reading, &FolderReading::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().toBool(), true);
    // The reading is done with by the time the signal is handled.
    QCOMPARE(reading->album().tracks.size(), 40);
    QCOMPARE(reading->album().tracks.last().track, 40);
    QCOMPARE(m_prompter->shown.size(), 1);
    const QString text = m_prompter->shown.first().text;
    QVERIFY(text.contains(u"broken 1.mp3"_s));
    QVERIFY(text.contains(u"and 5 more"_s));
    QPointer<FolderReading> gone(reading);
    QTRY_VERIFY(gone.isNull());
    QTRY_VERIFY(progressWindows(&parent).isEmpty());
}

void TestFolderAlbum::readingCancelledHandsNothingOn()
{
    test::Workspace workspace;
    for (int i = 1; i <= 30; ++i)
        QVERIFY(test::makeAudioFile(workspace.file(u"%1.wav"_s.arg(i)), 1));
    QWidget parent;
    // Cancel pressed while the first files are read.
    ProgressWatch watch(&parent, [](ProgressWindow *window) {
        connect(window, &ProgressWindow::progressTextChanged, window,
                [window] { window->findChild<QPushButton *>()->click(); });
    });
    FolderReading *reading = FolderReading::start(workspace.path(), &parent);
    QSignalSpy finished(reading, &FolderReading::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY(m_prompter->shown.isEmpty());
    QTRY_VERIFY(progressWindows(&parent).isEmpty());
}

void TestFolderAlbum::readingEndsWithItsParent()
{
    test::Workspace workspace;
    for (int i = 1; i <= 30; ++i)
        QVERIFY(test::makeAudioFile(workspace.file(u"%1.wav"_s.arg(i)), 1));
    auto *parent = new QWidget;
    bool shown = false;
    ProgressWatch watch(parent, [&shown, parent](ProgressWindow *) {
        shown = true;
        QTimer::singleShot(0, [parent] { delete parent; });
    });
    FolderReading *reading = FolderReading::start(workspace.path(), parent);
    QSignalSpy finished(reading, &FolderReading::finished);
    QVERIFY(finished.wait(5000));
    QVERIFY(shown);
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY(m_prompter->shown.isEmpty());
}

void TestFolderAlbum::dialogStartsBesideTheLastFolder()
{
    test::Workspace workspace;
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(workspace.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(workspace.file(u".config"_s)));
    const QString music = workspace.file(u"Music"_s);
    const QString other = workspace.file(u"Other"_s);
    QVERIFY(QDir().mkpath(music));
    QVERIFY(QDir().mkpath(other + u"/Album"_s));
    QWidget parent;
    QStringList chosen;
    const auto choose = [&](const QString &folder) {
        chooseAudioFolder(&parent, [&chosen](const QString &picked) { chosen.append(picked); });
        auto *dialog = parent.findChild<QFileDialog *>();
        if (!dialog)
            return QString();
        const QString start = dialog->directory().absolutePath();
        Q_EMIT dialog->fileSelected(folder);
        delete dialog;
        return start;
    };
    QCOMPARE(choose(other + u"/Album"_s), music);
    QCOMPARE(choose(music), other);
    QCOMPARE(chosen, (QStringList{other + u"/Album"_s, music}));
    qputenv("HOME", home);
    if (config.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", config);
}

QTEST_MAIN(TestFolderAlbum)
#include "tst_folderalbum.moc"
