#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

class QIODevice;

namespace sv::exchange {

// Appends `text` as a JSON string (quoted, escaped, UTF-8).
void appendJsonString(QByteArray &out, QStringView text);

// Reads JSON text one token at a time from a device, holding no more than one buffer of it
// and the token being read, so a file of any size is read in flat memory. The grammar is the
// caller's: it asks for the next token and says what it expected where it did not get it.
class JsonReader
{
public:
    enum class Token {
        BeginObject,
        EndObject,
        BeginArray,
        EndArray,
        Colon,
        Comma,
        String,
        Number,
        True,
        False,
        Null,
        End,   // nothing but blanks left
        Error, // error() says what is wrong; line() and column() say where
    };

    explicit JsonReader(QIODevice &device);

    Token next();
    // The text of the last String (decoded) or Number (as written).
    const QString &text() const { return m_text; }
    const QString &error() const { return m_error; }
    // Where the last token began, counted from 1; columns count bytes.
    qint64 line() const { return m_tokenLine; }
    qint64 column() const { return m_tokenColumn; }
    qint64 bytesRead() const { return m_offset; }

    // A text longer than this many bytes is refused rather than held.
    static constexpr qsizetype MaxTextBytes = 1 << 20;

private:
    int peekByte();
    int takeByte();
    bool fill();
    Token fail(const QString &error);
    Token readString();
    Token readNumber(char first);
    Token readWord(const char *rest, Token token);
    bool readHexQuad(char32_t &value);
    void appendCodePoint(QByteArray &out, char32_t code);

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_at = 0;
    qint64 m_offset = 0;
    qint64 m_line = 1;
    qint64 m_column = 1;
    qint64 m_tokenLine = 1;
    qint64 m_tokenColumn = 1;
    bool m_deviceFailed = false;
    QString m_text;
    QString m_error;
};

} // namespace sv::exchange
