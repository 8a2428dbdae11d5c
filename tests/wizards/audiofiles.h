#pragma once

// Small valid audio files made in a test, tagged through TagLib, so that no test ships audio.

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QString>
#include <QtEndian>

#include <taglib/fileref.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>

namespace sv::test {

using Tags = QMap<QString, QString>; // "TITLE" -> "Song", as TagLib's property names

inline void appendLe(QByteArray &bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

// Silence, 8-bit mono at 1000 Hz: `seconds` of it are `seconds` kilobytes.
inline QByteArray wavBytes(int seconds)
{
    constexpr quint32 Rate = 1000;
    const quint32 data = Rate * quint32(seconds);
    QByteArray bytes("RIFF");
    appendLe(bytes, 36 + data, 4);
    bytes.append("WAVEfmt ");
    appendLe(bytes, 16, 4);
    appendLe(bytes, 1, 2); // PCM
    appendLe(bytes, 1, 2); // mono
    appendLe(bytes, Rate, 4);
    appendLe(bytes, Rate, 4); // bytes a second
    appendLe(bytes, 1, 2);    // block
    appendLe(bytes, 8, 2);    // bits
    bytes.append("data");
    appendLe(bytes, data, 4);
    bytes.append(QByteArray(int(data), char(0x80)));
    return bytes;
}

// MPEG-1 layer III frames of 32 kbit/s at 44.1 kHz, mono: 104 bytes, 1152 samples each.
inline QByteArray mp3Bytes(int frames)
{
    QByteArray frame(104, char(0));
    frame[0] = char(0xff);
    frame[1] = char(0xfb);
    frame[2] = char(0x10);
    frame[3] = char(0xc0);
    QByteArray bytes;
    for (int i = 0; i < frames; ++i)
        bytes.append(frame);
    return bytes;
}

// A FLAC stream of `seconds` at 44.1 kHz described by its STREAMINFO block alone.
inline QByteArray flacBytes(int seconds)
{
    QByteArray bytes("fLaC");
    bytes.append(char(0x80)); // last metadata block, STREAMINFO
    bytes.append(char(0));
    bytes.append(char(0));
    bytes.append(char(34));
    const quint64 samples = 44100ull * quint64(seconds);
    QByteArray info(34, char(0));
    qToBigEndian<quint16>(4096, info.data());
    qToBigEndian<quint16>(4096, info.data() + 2);
    // sample rate (20 bits), channels - 1 (3), bits - 1 (5), total samples (36)
    const quint64 packed = (quint64(44100) << 44) | (quint64(0) << 41) | (quint64(15) << 36) |
                           (samples & 0xfffffffffull);
    qToBigEndian<quint64>(packed, info.data() + 10);
    bytes.append(info);
    return bytes;
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Writes the tags into a file TagLib can read; false when it could not.
inline bool writeTags(const QString &path, const Tags &tags)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    if (file.isNull())
        return false;
    TagLib::PropertyMap map;
    for (auto it = tags.cbegin(); it != tags.cend(); ++it)
        map.insert(
            TagLib::String(it.key().toStdString()),
            TagLib::StringList(TagLib::String(it.value().toStdString(), TagLib::String::UTF8)));
    file.file()->setProperties(map);
    return file.save();
}

// An audio file of the kind its name says, `seconds` long (MP3s about that), with `tags`.
inline bool makeAudioFile(const QString &path, int seconds, const Tags &tags = {})
{
    QByteArray bytes;
    if (path.endsWith(QLatin1String(".mp3")))
        bytes = mp3Bytes(seconds * 44100 / 1152);
    else if (path.endsWith(QLatin1String(".flac")))
        bytes = flacBytes(seconds);
    else
        bytes = wavBytes(seconds);
    return writeBytes(path, bytes) && (tags.isEmpty() || writeTags(path, tags));
}

} // namespace sv::test
