#include "folderreading.h"

#include "app/progresswindow.h"
#include "platform/prompter.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

namespace sv {

namespace {

const QString Caption = QStringLiteral("Read Folder");

// Enough names to recognise the problem without a message taller than the screen.
constexpr int NamesShown = 15;

QString nameList(const QStringList &names)
{
    QString text;
    for (qsizetype i = 0; i < names.size() && i < NamesShown; ++i)
        text += QStringLiteral("\n    ") + names.at(i);
    if (names.size() > NamesShown)
        text += QStringLiteral("\n    ... and %1 more").arg(names.size() - NamesShown);
    return text;
}

void tell(const QString &text)
{
    ask({Caption, text, Ok, Ok, Icon::Exclamation});
}

FolderChooser &installedChooser()
{
    static FolderChooser chooser;
    return chooser;
}

} // namespace

QString leftOutMessage(const FolderAlbum &album)
{
    QStringList parts;
    if (!album.unreadable.isEmpty())
        parts.append(QStringLiteral("These files could not be read as audio and were left out:") +
                     nameList(album.unreadable));
    if (!album.vanished.isEmpty())
        parts.append(QStringLiteral("These files were gone from the folder before they could be "
                                    "read and were left out:") +
                     nameList(album.vanished));
    return parts.join(QStringLiteral("\n\n"));
}

FolderReading *FolderReading::start(const QString &folder, QWidget *parent)
{
    auto *reading = new FolderReading(folder, parent);
    QTimer::singleShot(0, reading, &FolderReading::begin);
    return reading;
}

FolderReading::FolderReading(const QString &folder, QWidget *parent)
    : m_folder(QDir::toNativeSeparators(folder)), m_parent(parent), m_hadParent(parent != nullptr)
{
    m_album.folder = folder;
}

FolderReading::~FolderReading()
{
    m_done = true;
    delete m_window.data();
}

void FolderReading::begin()
{
    if (m_done)
        return;
    if (m_hadParent && !m_parent) {
        finish(false);
        return;
    }
    m_reader = std::make_unique<FolderReader>(m_album.folder);
    if (!m_reader->folderExists()) {
        tell(QStringLiteral("The folder ") + m_folder + QStringLiteral(" is not there."));
        finish(false);
        return;
    }
    if (m_reader->fileCount() == 0) {
        tell(QStringLiteral("The folder ") + m_folder +
             QStringLiteral(" holds no audio files (MP3, FLAC, Ogg Vorbis, Opus, M4A or WAV), "
                            "so nothing was read."));
        finish(false);
        return;
    }
    m_window =
        new ProgressWindow(QStringLiteral("Reading the audio files in\n") + m_folder, m_parent);
    m_window->setWindowTitle(QStringLiteral("Reading Folder"));
    // Each turn of the event loop reads until its time is up rather than a fixed number of
    // files: small files go fast, and a slow disk still leaves the windows answering.
    m_window->setRecordsPerTick(1000);
    m_window->run(
        m_reader->fileCount(), 1,
        [this] {
            if (m_reader->atEnd())
                return ProgressWindow::Step::Finished;
            if (m_readInSlice++ == 0)
                m_slice.start();
            m_reader->readNext();
            if (m_slice.elapsed() < SliceMilliseconds)
                return ProgressWindow::Step::Continue;
            m_readInSlice = 0;
            return ProgressWindow::Step::Yield;
        },
        [this](bool completed) { end(completed); });
}

void FolderReading::end(bool completed)
{
    if (m_done)
        return;
    m_window = nullptr;
    if (!completed) {
        finish(false);
        return;
    }
    // The progress window closes once this returns: what follows, the messages and what
    // the caller asks next, comes after it has gone rather than over it.
    QTimer::singleShot(0, this, &FolderReading::report);
}

void FolderReading::report()
{
    if (m_done)
        return;
    m_album = m_reader->album();
    QString text = leftOutMessage(m_album);
    if (m_album.tracks.isEmpty())
        text += QStringLiteral("\n\nNo track could be read from the folder ") + m_folder +
                QStringLiteral(", so nothing was changed.");
    if (!text.isEmpty())
        tell(text);
    finish(!m_album.tracks.isEmpty());
}

void FolderReading::cancel()
{
    if (m_window)
        m_window->cancel();
    else if (!m_done)
        finish(false);
}

void FolderReading::finish(bool read)
{
    if (m_done)
        return;
    m_done = true;
    Q_EMIT finished(read);
    deleteLater();
}

void chooseAudioFolder(QWidget *parent, std::function<void(const QString &folder)> chosen)
{
    if (const std::optional<QString> given = takeChosenPath()) {
        chosen(*given);
        return;
    }
    if (installedChooser()) {
        const QString folder = installedChooser()(parent);
        if (!folder.isEmpty())
            chosen(folder);
        return;
    }
    // Albums are usually folders side by side: the next is looked for beside the last one
    // read, the first in the user's music folder.
    static QString lastFolder;
    QString start = lastFolder.isEmpty() ? QString() : QFileInfo(lastFolder).absolutePath();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::homePath();
    auto *dialog = new QFileDialog(parent, QStringLiteral("Select a Folder of Audio Files"), start);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [chosen = std::move(chosen)](const QString &folder) {
                         lastFolder = folder;
                         chosen(folder);
                     });
    dialog->open();
}

void setFolderChooser(FolderChooser chooser)
{
    installedChooser() = std::move(chooser);
}

} // namespace sv
