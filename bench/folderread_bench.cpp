// Reading an album from a folder of tagged audio files against bare TagLib reads:
//   folderread_bench [files=200] [FOLDER]
// Makes the files (MP3s with a full tag set and a 64 KB cover picture, a FLAC and a WAV in
// every ten) in FOLDER, or in a temporary folder, then times reading them: the reader alone,
// the whole reading behind its progress window until the rows can be filled, and bare
// FileRef opens of the same files reading the same properties, and the whole of "Read
// Folder..." in a compilation wizard on a new catalogue: from the button until the rows and
// the General tab are filled. Each is the median of 5 runs on files the system has cached.
#include "app/session.h"
#include "app/settings.h"
#include "audiofiles.h"
#include "platform/prompter.h"
#include "wizards/addalbumwizard.h"
#include "wizards/folderalbum.h"
#include "wizards/folderreading.h"
#include "wizards/tracklist.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWidget>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace sv;

namespace {

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

double median(const std::function<void()> &work)
{
    QList<double> times;
    for (int run = 0; run < 5; ++run)
        times.append(milliseconds(work));
    std::sort(times.begin(), times.end());
    return times.at(2);
}

bool addCover(const QString &path)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    auto *frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setMimeType("image/jpeg");
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setPicture(TagLib::ByteVector(64 * 1024, 'p'));
    file.ID3v2Tag(true)->addFrame(frame);
    return file.save();
}

bool makeFolder(const QString &folder, int count)
{
    for (int i = 1; i <= count; ++i) {
        const QString suffix = QLatin1String(i % 10 == 3 ? "flac" : i % 10 == 7 ? "wav" : "mp3");
        const QString path = QDir(folder).filePath(
            QStringLiteral("%1 Track number %1.").arg(i, 3, 10, QLatin1Char('0')) + suffix);
        const test::Tags tags = {
            {QStringLiteral("TITLE"), QStringLiteral("Song %1").arg(i)},
            {QStringLiteral("ARTIST"), QStringLiteral("Artist %1").arg(i % 7)},
            {QStringLiteral("ALBUMARTIST"), QStringLiteral("Various Artists")},
            {QStringLiteral("ALBUM"), QStringLiteral("A Long Compilation")},
            {QStringLiteral("TRACKNUMBER"), QString::number(i)},
            {QStringLiteral("DISCNUMBER"), QStringLiteral("1/1")},
            {QStringLiteral("DATE"), QStringLiteral("2001-04-01")},
            {QStringLiteral("GENRE"), QStringLiteral("Electronic")},
            {QStringLiteral("BPM"), QString::number(90 + i % 60)},
            {QStringLiteral("COMPOSER"), QStringLiteral("Composer %1").arg(i)}};
        if (!test::makeAudioFile(path, 20, tags) ||
            (suffix == QLatin1String("mp3") && !addCover(path)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    QDir().mkpath(folder);
    if (count < 1 || !makeFolder(folder, count)) {
        std::fprintf(stderr, "cannot make %d audio files in %s\n", count, qPrintable(folder));
        return 1;
    }

    int tracks = 0;
    const double reader = median([&] {
        FolderReader reading(folder);
        while (!reading.atEnd())
            reading.readNext();
        tracks = int(reading.album().tracks.size());
    });

    QWidget window;
    window.show();
    bool read = false;
    const double whole = median([&] {
        QEventLoop loop;
        FolderReading *reading = FolderReading::start(folder, &window);
        QObject::connect(reading, &FolderReading::finished, &loop, [&](bool ok) {
            read = ok;
            loop.quit();
        });
        loop.exec();
    });

    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    const double bare = median([&] {
        int found = 0;
        for (const QString &name : names) {
            const TagLib::FileRef file(QFile::encodeName(QDir(folder).filePath(name)).constData(),
                                       true, TagLib::AudioProperties::Fast);
            const TagLib::PropertyMap tags = file.file()->properties();
            found += file.audioProperties()->lengthInMilliseconds() > 0 && !tags.isEmpty();
        }
        if (found != names.size())
            std::fprintf(stderr, "bare reads found %d of %lld\n", found, qlonglong(names.size()));
    });

    // Into the wizard's rows: the answers are the questions' defaults (the rows of the run
    // before replaced, the genre added as a category once).
    QTemporaryDir catalogue;
    double wizard = -1;
    int rows = 0;
    {
        Session session(catalogue.path());
        session.announceTables();
        AddAlbumWizard *added =
            AddAlbumWizard::open(session, AddAlbumWizard::Kind::Compilation, Request::Insert, 1);
        if (added) {
            added->show();
            QPushButton *button = added->tracks()->button(QStringLiteral("Read &Folder..."));
            wizard = median([&] {
                QEventLoop loop;
                const QMetaObject::Connection done = QObject::connect(
                    added->tracks(), &TrackList::folderRead, &loop, [&] { loop.quit(); });
                queueChosenPath(folder);
                button->click();
                loop.exec();
                QObject::disconnect(done);
            });
            QList<TrackRow> written;
            if (added->tracks()->rows().read(written))
                rows = int(written.size());
            added->cancel();
            QCoreApplication::sendPostedEvents();
        }
    }

    std::printf("folder of %d tagged audio files, %d tracks read%s\n", count, tracks,
                read ? "" : " (the windowed reading failed)");
    std::printf("reader alone           %8.1f ms  (%.2f ms a file)\n", reader, reader / count);
    std::printf("with progress window   %8.1f ms  (bound 1000 ms)\n", whole);
    std::printf("bare TagLib reads      %8.1f ms  reader / bare = %.2f\n", bare, reader / bare);
    std::printf("into the wizard's rows %8.1f ms  (bound 1000 ms; %d rows written)\n", wizard,
                rows);
    return tracks == count && read && whole < 1000 && wizard >= 0 && wizard < 1000 && rows == count
               ? 0
               : 2;
}
