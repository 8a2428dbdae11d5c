#pragma once

#include "folderalbum.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace sv {

class ProgressWindow;

// One reading of a folder of audio files behind a "Reading Folder" progress window whose
// Cancel stops it. Files are read from the event loop a few at a time, each turn kept
// short, so every other window keeps working. When the reading ends, one message names the
// files that were left out (unreadable, or gone before they were read); a folder that gave
// no track at all says so instead.
class FolderReading : public QObject
{
    Q_OBJECT

public:
    // Starts reading `folder`; nothing is read before control is back in the event loop.
    [[nodiscard]] static FolderReading *start(const QString &folder, QWidget *parent);
    ~FolderReading() override;

    // Once finished with true: what was read, at least one track.
    const FolderAlbum &album() const { return m_album; }

    // Stops the reading as its Cancel does: nothing is handed on.
    void cancel();

    // The longest time one turn of the event loop spends reading files.
    static constexpr int SliceMilliseconds = 30;

Q_SIGNALS:
    // Emitted once, from the event loop, after the messages: true when the folder gave at
    // least one track. The reading deletes itself afterwards.
    void finished(bool read);

private:
    FolderReading(const QString &folder, QWidget *parent);
    void begin();
    void end(bool completed);
    void report();
    void finish(bool read);

    std::unique_ptr<FolderReader> m_reader;
    QString m_folder;
    QPointer<QWidget> m_parent;
    const bool m_hadParent;
    QPointer<ProgressWindow> m_window;
    QElapsedTimer m_slice;
    int m_readInSlice = 0;
    FolderAlbum m_album;
    bool m_done = false;
};

// Asks for a folder of audio files with a file dialog that leaves every other window usable
// and calls `chosen` with the folder once one is picked; nothing happens on Cancel. Tests
// install an answer in its place; an empty answer is a cancelled dialog.
void chooseAudioFolder(QWidget *parent, std::function<void(const QString &folder)> chosen);
using FolderChooser = std::function<QString(QWidget *parent)>;
void setFolderChooser(FolderChooser chooser); // an empty chooser restores the dialog

// The message listing the files a reading left out; empty when it left out none.
QString leftOutMessage(const FolderAlbum &album);

} // namespace sv
