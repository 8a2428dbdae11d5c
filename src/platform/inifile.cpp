#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sv {

namespace {

constexpr QByteArrayView utf8ByteOrderMark("\xEF\xBB\xBF");

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

QByteArrayView trimmedBytes(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(char16_t(bytes.front())))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(char16_t(bytes.back())))
        bytes.chop(1);
    return bytes;
}

// Trims exactly what the file reader trims, so a name asked for matches the name read.
QString trimmedBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin).unicode()))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1).unicode()))
        --end;
    return text.sliced(begin, end - begin);
}

QString fromWindows1252(QByteArrayView bytes)
{
    // The only range where Windows-1252 differs from Latin-1; undefined codes map to
    // themselves.
    static constexpr char16_t from0x80[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes.at(i));
        text[i] = QChar(byte >= 0x80 && byte < 0xA0 ? from0x80[byte - 0x80] : char16_t(byte));
    }
    return text;
}

QString decode(QByteArrayView bytes)
{
    // A value may begin with U+FEFF: it is text like any other, not a mark to drop.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(bytes);
    return utf8.hasError() ? fromWindows1252(bytes) : text;
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

enum class LineKind { Other, Section, Entry };

struct Line
{
    QByteArray text;      // without its line break
    QByteArray lineBreak; // "\r\n", "\n", or empty on an unterminated last line
    LineKind kind = LineKind::Other;
    QString name;
    qsizetype valueStart = 0;

    bool isBlank() const { return trimmedBytes(text).isEmpty(); }
    QString value() const { return decode(trimmedBytes(QByteArrayView(text).sliced(valueStart))); }
};

void classify(Line &line)
{
    const QByteArrayView content = trimmedBytes(line.text);
    if (content.isEmpty() || content.front() == ';' || content.front() == '#')
        return;
    if (content.front() == '[') {
        const qsizetype close = content.lastIndexOf(']');
        if (close > 0) {
            line.kind = LineKind::Section;
            line.name = decode(trimmedBytes(content.sliced(1, close - 1)));
        }
        return;
    }
    const qsizetype equals = line.text.indexOf('=');
    if (equals < 0)
        return;
    line.name = decode(trimmedBytes(QByteArrayView(line.text).first(equals)));
    if (line.name.isEmpty())
        return;
    line.kind = LineKind::Entry;
    line.valueStart = equals + 1;
    while (line.valueStart < line.text.size() && isBlank(char16_t(line.text.at(line.valueStart))))
        ++line.valueStart;
}

Line makeLine(const QByteArray &text, const QByteArray &lineBreak)
{
    Line line{text, lineBreak};
    classify(line);
    return line;
}

class Document
{
public:
    explicit Document(QByteArrayView bytes);
    QByteArray toBytes() const;

    const QList<Line> &lines() const { return m_lines; }
    qsizetype findSection(const QString &name) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findEntry(const QString &section, const QString &entry) const;

    void setValue(const QString &section, const QString &entry, const QByteArray &value);
    void removeLine(qsizetype at) { m_lines.removeAt(at); }

private:
    qsizetype lastNonBlankLine(qsizetype header) const;
    qsizetype appendSection(const QString &name);
    void insertLine(qsizetype at, const QByteArray &text);

    QByteArray m_byteOrderMark;
    QList<Line> m_lines;
    QByteArray m_lineBreak; // the file's own style, for the lines added
};

Document::Document(QByteArrayView bytes)
{
    if (bytes.startsWith(utf8ByteOrderMark)) {
        m_byteOrderMark = utf8ByteOrderMark.toByteArray();
        bytes = bytes.sliced(utf8ByteOrderMark.size());
    }
    while (!bytes.isEmpty()) {
        const qsizetype newline = bytes.indexOf('\n');
        if (newline < 0) {
            m_lines.append(makeLine(bytes.toByteArray(), {}));
            break;
        }
        QByteArrayView text = bytes.first(newline);
        const bool crlf = text.endsWith('\r');
        if (crlf)
            text.chop(1);
        const QByteArray lineBreak = crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
        if (m_lineBreak.isEmpty())
            m_lineBreak = lineBreak;
        m_lines.append(makeLine(text.toByteArray(), lineBreak));
        bytes = bytes.sliced(newline + 1);
    }
    if (m_lineBreak.isEmpty())
        m_lineBreak = QByteArrayLiteral("\n");
}

QByteArray Document::toBytes() const
{
    QByteArray bytes = m_byteOrderMark;
    for (const Line &line : m_lines)
        bytes += line.text + line.lineBreak;
    return bytes;
}

qsizetype Document::findSection(const QString &name) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines.at(i).kind == LineKind::Section && sameName(m_lines.at(i).name, name))
            return i;
    }
    return -1;
}

qsizetype Document::sectionEnd(qsizetype header) const
{
    qsizetype end = header + 1;
    while (end < m_lines.size() && m_lines.at(end).kind != LineKind::Section)
        ++end;
    return end;
}

// Only the first of duplicate sections is searched, so reads and writes agree on which
// entry is meant.
qsizetype Document::findEntry(const QString &section, const QString &entry) const
{
    const qsizetype header = findSection(section);
    if (header < 0)
        return -1;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (m_lines.at(i).kind == LineKind::Entry && sameName(m_lines.at(i).name, entry))
            return i;
    }
    return -1;
}

void Document::setValue(const QString &section, const QString &entry, const QByteArray &value)
{
    const qsizetype existing = findEntry(section, entry);
    if (existing >= 0) {
        Line &line = m_lines[existing];
        line.text = line.text.first(line.valueStart) + value;
        return;
    }
    qsizetype header = findSection(section);
    if (header < 0)
        header = appendSection(section);
    insertLine(lastNonBlankLine(header) + 1, entry.toUtf8() + '=' + value);
}

qsizetype Document::lastNonBlankLine(qsizetype header) const
{
    qsizetype last = header;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (!m_lines.at(i).isBlank())
            last = i;
    }
    return last;
}

qsizetype Document::appendSection(const QString &name)
{
    if (!m_lines.isEmpty() && !m_lines.last().isBlank())
        insertLine(m_lines.size(), {});
    insertLine(m_lines.size(), '[' + name.toUtf8() + ']');
    return m_lines.size() - 1;
}

void Document::insertLine(qsizetype at, const QByteArray &text)
{
    if (at > 0 && m_lines.at(at - 1).lineBreak.isEmpty())
        m_lines[at - 1].lineBreak = m_lineBreak;
    m_lines.insert(at, makeLine(text, m_lineBreak));
}

// A missing file reads as empty; nullopt means the file is there but cannot be read, in
// which case writing would destroy what it holds.
std::optional<QByteArray> readFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool writeAtomically(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

// Holds the lock that makes one writer's read, change and write of a file whole, against
// other writers in this process and in other processes: an exclusive flock on a side file
// beside it (the file itself is replaced by every write, so its own lock would not last).
class WriteLock
{
public:
    explicit WriteLock(const QString &path)
    {
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return;
        m_fd = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return;
        int result;
        do
            result = ::flock(m_fd, LOCK_EX);
        while (result != 0 && errno == EINTR);
        if (result != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~WriteLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // lets the lock go
    }
    WriteLock(const WriteLock &) = delete;
    WriteLock &operator=(const WriteLock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

template <typename Change> bool update(const QString &path, Change change)
{
    const WriteLock lock(path);
    if (!lock.held())
        return false;
    const std::optional<QByteArray> original = readFile(path);
    if (!original)
        return false;
    Document document(*original);
    change(document);
    const QByteArray bytes = document.toBytes();
    return bytes == *original || writeAtomically(path, bytes);
}

bool hasLineBreak(const QString &text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

bool isStorableSection(const QString &name)
{
    return !name.isEmpty() && !hasLineBreak(name);
}

// Anything else would read back as a different entry, a comment or a section header.
bool isStorableEntry(const QString &name)
{
    return !name.isEmpty() && !hasLineBreak(name) && !name.contains(u'=') &&
           !name.startsWith(u';') && !name.startsWith(u'#') && !name.startsWith(u'[');
}

std::optional<QString> lookup(const QString &section, const QString &entry, const QString &path)
{
    const std::optional<QByteArray> bytes = readFile(path);
    if (!bytes)
        return std::nullopt;
    const Document document(*bytes);
    const qsizetype at = document.findEntry(trimmedBlanks(section), trimmedBlanks(entry));
    if (at < 0)
        return std::nullopt;
    return document.lines().at(at).value();
}

QStringList firstOfEachName(const QList<Line> &lines, qsizetype begin, qsizetype end, LineKind kind)
{
    QStringList names;
    QSet<QString> seen;
    for (qsizetype i = begin; i < end; ++i) {
        const Line &line = lines.at(i);
        if (line.kind == kind && !seen.contains(line.name.toCaseFolded())) {
            seen.insert(line.name.toCaseFolded());
            names.append(line.name);
        }
    }
    return names;
}

} // namespace

QString IniFile::get(const QString &section, const QString &entry, const QString &defaultValue,
                     const QString &path)
{
    return lookup(section, entry, path).value_or(defaultValue);
}

qint64 IniFile::getNumber(const QString &section, const QString &entry, qint64 defaultValue,
                          const QString &path)
{
    const std::optional<QString> text = lookup(section, entry, path);
    if (!text)
        return defaultValue;
    if (text->isEmpty())
        return 0;
    bool isNumber = false;
    const qint64 number = text->toLongLong(&isNumber, 10);
    return isNumber ? number : defaultValue;
}

bool IniFile::put(const QString &section, const QString &entry, const QString &value,
                  const QString &path)
{
    const QString sectionName = trimmedBlanks(section);
    const QString entryName = trimmedBlanks(entry);
    if (!isStorableSection(sectionName) || !isStorableEntry(entryName) || hasLineBreak(value))
        return false;
    return update(path, [&](Document &document) {
        document.setValue(sectionName, entryName, value.toUtf8());
    });
}

bool IniFile::putNumber(const QString &section, const QString &entry, qint64 value,
                        const QString &path)
{
    return put(section, entry, QString::number(value), path);
}

bool IniFile::removeEntry(const QString &section, const QString &entry, const QString &path)
{
    if (!QFileInfo::exists(path))
        return true;
    return update(path, [&](Document &document) {
        const qsizetype at = document.findEntry(trimmedBlanks(section), trimmedBlanks(entry));
        if (at >= 0)
            document.removeLine(at);
    });
}

QStringList IniFile::sections(const QString &path)
{
    const Document document(readFile(path).value_or(QByteArray()));
    return firstOfEachName(document.lines(), 0, document.lines().size(), LineKind::Section);
}

QStringList IniFile::entries(const QString &section, const QString &path)
{
    const Document document(readFile(path).value_or(QByteArray()));
    const qsizetype header = document.findSection(trimmedBlanks(section));
    if (header < 0)
        return {};
    return firstOfEachName(document.lines(), header + 1, document.sectionEnd(header),
                           LineKind::Entry);
}

} // namespace sv
