#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// Comma-delimited text as songs are exchanged in: one record a line, fields split on
// commas, text between double quotes (a doubled quote inside stands for one). A quoted
// field may hold line breaks, as spreadsheet programs write them. Nothing here knows
// about windows, so the command line uses the same rules.
namespace sv::exchange {

inline constexpr int MaxLineLength = 16000; // characters of one record

struct Field
{
    QString text;
    bool quoted = false;
};

// The fields of one record. A record that ends before a column has no field for it; a
// record ending in a comma has a last, empty field.
QList<Field> splitLine(QStringView line);

// A text written as a quoted field: trailing blanks dropped, double quotes doubled.
QString quoted(QStringView text);

// What a picture's second character says a column holds.
enum class PictureKind { Text, Number, Other };
PictureKind pictureKind(QStringView picture);
// "Alpha-num"/"Alpha-numeric", "Numeric", or the picture itself.
QString pictureTypeText(QStringView picture, bool longForm);

enum class Encoding { Utf8, Utf8WithBom, Windows1252 };
QString encodingName(Encoding encoding);
QString decode(const QByteArray &bytes, Encoding encoding);

// Reads a delimited file record by record, with the file's size and the bytes read so
// far for progress. The encoding is found once when the file opens: UTF-8 when every byte
// sequence is valid UTF-8 (with or without a byte-order mark), else Windows-1252.
class DelimitedReader
{
public:
    enum class Read { Record, End, Error };

    // False with errorNumber()/errorText() set (2 not found, 5 denied, 90 other).
    [[nodiscard]] bool open(const QString &path);
    void close() { m_file.close(); }
    [[nodiscard]] bool rewind();

    // The next record in `line`; Error with message() naming the line for a record longer
    // than MaxLineLength, a quoted field never closed, or bytes that are not text.
    Read next(QString &line);

    Encoding encoding() const { return m_encoding; }
    qint64 size() const { return m_size; }
    qint64 bytesRead() const { return m_consumed; }
    int lineNumber() const { return m_recordLine; } // first line of the last record read
    int errorNumber() const { return m_errorNumber; }
    QString errorText() const { return m_errorText; }
    QString message() const { return m_message; }

private:
    bool detectEncoding();
    bool fill(); // more bytes into the buffer; false at the end of the file
    Read fail(const QString &message);

    QFile m_file;
    Encoding m_encoding = Encoding::Utf8;
    qint64 m_size = 0;
    qint64 m_consumed = 0;
    qint64 m_start = 0; // after a byte-order mark
    QByteArray m_buffer;
    QByteArray m_raw; // the record being read, kept for its room
    qsizetype m_at = 0;
    int m_nextLine = 1;
    int m_recordLine = 0;
    int m_errorNumber = 0;
    QString m_errorText;
    QString m_message;
};

} // namespace sv::exchange
