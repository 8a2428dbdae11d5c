#include "jsonstream.h"

#include <QIODevice>
#include <QStringDecoder>

namespace sv::exchange {

namespace {

constexpr qint64 ChunkBytes = 1 << 16;

bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

} // namespace

void appendJsonString(QByteArray &out, QStringView text)
{
    out.append('"');
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (byte < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out.append("\\u00");
                out.append(hex[byte >> 4]);
                out.append(hex[byte & 0xF]);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

JsonReader::JsonReader(QIODevice &device) : m_device(device) {}

bool JsonReader::fill()
{
    if (m_at < m_buffer.size())
        return true;
    if (m_deviceFailed)
        return false;
    m_buffer.resize(ChunkBytes);
    m_at = 0;
    const qint64 got = m_device.read(m_buffer.data(), ChunkBytes);
    if (got <= 0) {
        // A device that failed is not the end of the text: what follows is unknown.
        m_deviceFailed = got < 0;
        m_buffer.clear();
        return false;
    }
    m_buffer.resize(got);
    if (m_offset == 0 && m_buffer.startsWith("\xEF\xBB\xBF")) {
        m_at = 3; // an editor's byte-order mark says only that the text is UTF-8
        m_offset = 3;
    }
    return m_at < m_buffer.size() || fill();
}

int JsonReader::peekByte()
{
    if (!fill())
        return -1;
    return static_cast<unsigned char>(m_buffer.at(m_at));
}

int JsonReader::takeByte()
{
    const int c = peekByte();
    if (c < 0)
        return c;
    ++m_at;
    ++m_offset;
    if (c == '\n') {
        ++m_line;
        m_column = 1;
    } else {
        ++m_column;
    }
    return c;
}

JsonReader::Token JsonReader::fail(const QString &error)
{
    m_error = error;
    return Token::Error;
}

JsonReader::Token JsonReader::next()
{
    m_text.clear();
    int c = peekByte();
    while (c >= 0 && isBlank(c)) {
        takeByte();
        c = peekByte();
    }
    m_tokenLine = m_line;
    m_tokenColumn = m_column;
    if (c < 0) {
        if (m_deviceFailed)
            return fail(
                QStringLiteral("the file could not be read (%1)").arg(m_device.errorString()));
        return Token::End;
    }
    takeByte();
    switch (c) {
    case '{':
        return Token::BeginObject;
    case '}':
        return Token::EndObject;
    case '[':
        return Token::BeginArray;
    case ']':
        return Token::EndArray;
    case ':':
        return Token::Colon;
    case ',':
        return Token::Comma;
    case '"':
        return readString();
    case 't':
        return readWord("rue", Token::True);
    case 'f':
        return readWord("alse", Token::False);
    case 'n':
        return readWord("ull", Token::Null);
    default:
        if (c == '-' || isDigit(c))
            return readNumber(char(c));
        return fail(c < 0x20 || c >= 0x7F
                        ? QStringLiteral("an unexpected byte 0x%1").arg(c, 2, 16, QLatin1Char('0'))
                        : QStringLiteral("an unexpected '%1'").arg(QChar(c)));
    }
}

JsonReader::Token JsonReader::readWord(const char *rest, Token token)
{
    for (const char *p = rest; *p; ++p) {
        if (takeByte() != *p)
            return fail(QStringLiteral("a word that is not true, false or null"));
    }
    return token;
}

JsonReader::Token JsonReader::readNumber(char first)
{
    QByteArray number(1, first);
    const auto digits = [&] {
        int count = 0;
        while (isDigit(peekByte())) {
            number.append(char(takeByte()));
            ++count;
        }
        return count;
    };
    if (first == '-') {
        if (!isDigit(peekByte()))
            return fail(QStringLiteral("a '-' without a number"));
        number.append(char(takeByte()));
    }
    if (number.back() != '0')
        digits();
    else if (isDigit(peekByte()))
        return fail(QStringLiteral("a number with a leading zero"));
    if (peekByte() == '.') {
        number.append(char(takeByte()));
        if (digits() == 0)
            return fail(QStringLiteral("a number without digits after its point"));
    }
    if (peekByte() == 'e' || peekByte() == 'E') {
        number.append(char(takeByte()));
        if (peekByte() == '+' || peekByte() == '-')
            number.append(char(takeByte()));
        if (digits() == 0)
            return fail(QStringLiteral("a number without digits in its exponent"));
    }
    m_text = QString::fromLatin1(number);
    return Token::Number;
}

bool JsonReader::readHexQuad(char32_t &value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        const int c = takeByte();
        int digit;
        if (isDigit(c))
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * 16 + char32_t(digit);
    }
    return true;
}

void JsonReader::appendCodePoint(QByteArray &out, char32_t code)
{
    out.append(QString::fromUcs4(&code, 1).toUtf8());
}

JsonReader::Token JsonReader::readString()
{
    QByteArray bytes;
    for (;;) {
        if (bytes.size() > MaxTextBytes)
            return fail(QStringLiteral("a text longer than %1 bytes").arg(MaxTextBytes));
        const int c = takeByte();
        if (c < 0)
            return fail(
                m_deviceFailed
                    ? QStringLiteral("the file could not be read (%1)").arg(m_device.errorString())
                    : QStringLiteral("a text that does not end"));
        if (c == '"')
            break;
        if (c < 0x20)
            return fail(QStringLiteral("a line break or control character inside a text"));
        if (c != '\\') {
            bytes.append(char(c));
            continue;
        }
        const int escaped = takeByte();
        switch (escaped) {
        case '"':
        case '\\':
        case '/':
            bytes.append(char(escaped));
            break;
        case 'b':
            bytes.append('\b');
            break;
        case 'f':
            bytes.append('\f');
            break;
        case 'n':
            bytes.append('\n');
            break;
        case 'r':
            bytes.append('\r');
            break;
        case 't':
            bytes.append('\t');
            break;
        case 'u': {
            char32_t code = 0;
            if (!readHexQuad(code))
                return fail(QStringLiteral("a \\u escape without four hexadecimal digits"));
            if (code >= 0xD800 && code <= 0xDBFF) {
                char32_t low = 0;
                if (takeByte() != '\\' || takeByte() != 'u' || !readHexQuad(low) || low < 0xDC00 ||
                    low > 0xDFFF)
                    return fail(QStringLiteral("half of a surrogate pair"));
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else if (code >= 0xDC00 && code <= 0xDFFF) {
                return fail(QStringLiteral("half of a surrogate pair"));
            }
            appendCodePoint(bytes, code);
            break;
        }
        default:
            return fail(QStringLiteral("an unknown escape in a text"));
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    m_text = decoder.decode(bytes);
    if (decoder.hasError())
        return fail(QStringLiteral("a text that is not UTF-8"));
    return Token::String;
}

} // namespace sv::exchange
