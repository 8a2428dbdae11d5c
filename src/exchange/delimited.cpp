#include "delimited.h"

#include "store/errors.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace sv::exchange {

namespace {

bool isBlank(QStringView text)
{
    for (QChar c : text) {
        if (c != u' ' && c != u'\t')
            return false;
    }
    return true;
}

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unused codes stay as
// their Latin-1 control characters so that no byte is lost.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr qsizetype ChunkBytes = 1 << 16;

} // namespace

QList<Field> splitLine(QStringView line)
{
    QList<Field> fields;
    const qsizetype length = line.size();
    qsizetype position = 0;
    bool afterComma = false;
    while (true) {
        if (position >= length || isBlank(line.mid(position))) {
            // "a,b," holds three fields, the last one empty; "a,b" only two.
            if (afterComma)
                fields.append({line.mid(qMin(position, length)).toString(), false});
            break;
        }
        if (line[position] == u'"') {
            QString text;
            qsizetype i = position + 1;
            bool closed = false;
            while (i < length) {
                const qsizetype quote = line.indexOf(u'"', i);
                if (quote < 0) {
                    text += line.mid(i);
                    i = length;
                    break;
                }
                text += line.mid(i, quote - i);
                if (quote + 1 < length && line[quote + 1] == u'"') {
                    text += u'"';
                    i = quote + 2;
                    continue;
                }
                i = quote;
                closed = true;
                break;
            }
            fields.append({text, true});
            if (!closed)
                break;
            // The closing quote and the separator after it.
            afterComma = i + 1 < length && line[i + 1] == u',';
            position = i + 2;
            continue;
        }
        const qsizetype comma = line.indexOf(u',', position);
        if (comma < 0) {
            fields.append({line.mid(position).toString(), false});
            break;
        }
        fields.append({line.mid(position, comma - position).toString(), false});
        position = comma + 1;
        afterComma = true;
    }
    return fields;
}

QString quoted(QStringView text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    QString result;
    result.reserve(end + 2);
    result += u'"';
    for (QChar c : text.first(end)) {
        if (c == u'"')
            result += u'"';
        result += c;
    }
    result += u'"';
    return result;
}

PictureKind pictureKind(QStringView picture)
{
    const QChar kind = picture.size() > 1 ? picture[1].toLower() : QChar();
    if (kind == u's')
        return PictureKind::Text;
    if (kind == u'n')
        return PictureKind::Number;
    return PictureKind::Other;
}

QString pictureTypeText(QStringView picture, bool longForm)
{
    switch (pictureKind(picture)) {
    case PictureKind::Text:
        return longForm ? QStringLiteral("Alpha-numeric") : QStringLiteral("Alpha-num");
    case PictureKind::Number:
        return QStringLiteral("Numeric");
    case PictureKind::Other:
        break;
    }
    return picture.toString();
}

QString encodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Utf8WithBom:
        return QStringLiteral("UTF-8 with byte-order mark");
    case Encoding::Windows1252:
        return QStringLiteral("Windows-1252");
    }
    return QString();
}

QString decode(const QByteArray &bytes, Encoding encoding)
{
    if (encoding != Encoding::Windows1252)
        return QString::fromUtf8(bytes);
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        *out++ =
            (code >= 0x80 && code < 0xA0) ? QChar(cp1252High[code - 0x80]) : QChar(char16_t(code));
    }
    return text;
}

bool DelimitedReader::open(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    m_errorNumber = 0;
    m_errorText.clear();
    if (!m_file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(path);
        if (!info.exists())
            m_errorNumber = err::FileNotFound;
        else if (!info.isReadable())
            m_errorNumber = err::AccessDenied;
        else
            m_errorNumber = err::FileSystemError;
        m_errorText = m_errorNumber == err::FileSystemError ? m_file.errorString()
                                                            : standardErrorText(m_errorNumber);
        return false;
    }
    m_size = m_file.size();
    if (!detectEncoding())
        return false;
    return rewind();
}

bool DelimitedReader::detectEncoding()
{
    const QByteArray head = m_file.peek(3);
    m_start = head == QByteArrayLiteral("\xEF\xBB\xBF") ? 3 : 0;
    QStringDecoder utf8(QStringDecoder::Utf8);
    bool valid = true;
    while (valid && !m_file.atEnd()) {
        const QByteArray chunk = m_file.read(ChunkBytes);
        if (chunk.isEmpty() && m_file.error() != QFileDevice::NoError)
            break;
        const QString decoded = utf8.decode(chunk); // decoding happens on conversion
        valid = !utf8.hasError();
    }
    if (m_file.error() != QFileDevice::NoError) {
        m_errorNumber = err::FileSystemError;
        m_errorText = m_file.errorString();
        return false;
    }
    m_encoding = m_start ? Encoding::Utf8WithBom : (valid ? Encoding::Utf8 : Encoding::Windows1252);
    return true;
}

bool DelimitedReader::rewind()
{
    if (!m_file.seek(m_start)) {
        m_errorNumber = err::FileSystemError;
        m_errorText = m_file.errorString();
        return false;
    }
    m_consumed = m_start;
    m_buffer.clear();
    m_at = 0;
    m_nextLine = 1;
    m_recordLine = 0;
    return true;
}

bool DelimitedReader::fill()
{
    if (m_at > 0) {
        m_buffer.remove(0, m_at);
        m_at = 0;
    }
    const QByteArray more = m_file.read(ChunkBytes);
    if (more.isEmpty())
        return false;
    m_buffer += more;
    return true;
}

DelimitedReader::Read DelimitedReader::fail(const QString &message)
{
    m_message = message;
    return Read::Error;
}

DelimitedReader::Read DelimitedReader::next(QString &line)
{
    if (m_at >= m_buffer.size() && !fill())
        return Read::End;
    m_recordLine = m_nextLine;
    // A record's bytes are the file's bytes up to the line break that ends it, so they are
    // taken a stretch at a time rather than byte by byte.
    QByteArray &raw = m_raw;
    raw.resize(0);
    bool fieldStart = true;
    bool inQuotes = false;
    bool skipOne = false; // the separator after a closing quote
    bool ended = false;
    bool tooLong = false;
    while (!ended && !tooLong) {
        if (m_at >= m_buffer.size() && !fill())
            break;
        const char *data = m_buffer.constData();
        const qsizetype size = m_buffer.size();
        const qsizetype first = m_at;
        qsizetype i = first;
        bool refill = false;
        for (; i < size; ++i) {
            const char c = data[i];
            if (c == '\0') {
                m_consumed += i + 1 - first;
                m_at = i + 1;
                return fail(QStringLiteral("Line %1 holds characters that are not text: "
                                           "this is not a comma-delimited text file.")
                                .arg(m_nextLine));
            }
            if (c == '\n')
                ++m_nextLine;
            if (inQuotes) {
                if (c == '"') {
                    if (i + 1 >= size && !m_file.atEnd()) {
                        refill = true; // whether a second quote follows is in the next bytes
                        break;
                    }
                    if (i + 1 < size && data[i + 1] == '"') {
                        ++i; // a doubled quote: both stay in the record
                        continue;
                    }
                    inQuotes = false;
                    skipOne = true;
                }
            } else if (c == '\n') {
                ended = true;
                break;
            } else if (skipOne) {
                skipOne = false;
                fieldStart = true;
            } else {
                if (fieldStart && c == '"')
                    inQuotes = true;
                fieldStart = c == ',';
            }
            if (raw.size() + (i + 1 - first) > MaxLineLength * 4) {
                ++i;
                tooLong = true;
                break;
            }
        }
        raw.append(data + first, i - first);
        m_consumed += i - first + (ended ? 1 : 0);
        m_at = i + (ended ? 1 : 0);
        if (refill && !fill())
            break;
    }
    if (raw.endsWith('\r') && !inQuotes)
        raw.chop(1);
    line = decode(raw, m_encoding);
    if (line.size() > MaxLineLength)
        return fail(QStringLiteral("Line %1 is longer than %2 characters.")
                        .arg(m_recordLine)
                        .arg(MaxLineLength));
    if (inQuotes)
        return fail(QStringLiteral("Line %1 has a quoted field whose closing double quote is "
                                   "missing (the file ends inside it).")
                        .arg(m_recordLine));
    return Read::Record;
}

} // namespace sv::exchange
