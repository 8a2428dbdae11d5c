#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QAudioOutput;
class QMediaPlayer;

namespace sv {

// Why a file named for an album cannot serve: it is not there, cannot be read, or is not
// the kind of file its use needs (a sound, a picture). Empty when it can. An album read
// from a folder of audio files names that folder as its sound: a folder serves when it
// holds a sound file.
QString soundFileProblem(const QString &path);
QString imageFileProblem(const QString &path);
// What plays for an album's sound: the file itself, or for a folder its first track in
// album order; empty when there is none.
QString soundToPlay(const QString &path);

// The files of songs whose album names a folder of audio files as its sound, each folder
// read once. A song's file is the folder's track of the song's number and title, else the
// one track of its title; none when neither answers, rather than another song's file.
class FolderSongFiles
{
public:
    QString find(const QString &folder, qint64 track, const QString &title);

private:
    struct Track
    {
        int number;
        QString title; // as a song keeps it
        QString path;
    };
    QHash<QString, QList<Track>> m_folders;
};

// Opens a file or a web page with the desktop's own program for it. Tests put a recorder
// in its place; the default asks the desktop.
using DesktopOpener = std::function<bool(const QUrl &url)>;
void setDesktopOpener(DesktopOpener opener);
bool openOnDesktop(const QUrl &url);

// Plays an album's sound file through the program's own audio output. A file that cannot
// be played gives `failed`, at once when it cannot even start, or when the decoder gives up.
class SoundPlayer : public QObject
{
    Q_OBJECT

public:
    explicit SoundPlayer(QObject *parent = nullptr);
    ~SoundPlayer() override;

    void play(const QString &path);
    void stop();
    bool isPlaying() const;

Q_SIGNALS:
    void failed(const QString &path);

private:
    void reportFailure();

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    QString m_path;
    bool m_reported = false;
};

} // namespace sv
