#include "discimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace sv {

namespace {

constexpr qint64 LargestDescriptor = 1 << 20; // a cue or toc sheet is a few kilobytes
constexpr int MostNrgChunks = 4096;

bool refuse(QString *reason, const QString &why)
{
    if (reason)
        *reason = why;
    return false;
}

// The words of a line; a quoted text is one word, without its quotes.
QStringList words(const QString &line)
{
    QStringList result;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (const QChar c : line) {
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && c.isSpace()) {
            if (inWord)
                result.append(word);
            word.clear();
            inWord = false;
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (inWord)
        result.append(word);
    return result;
}

bool isTime(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,3}):(\\d{1,2}):(\\d{1,2})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() && match.captured(2).toInt() < 60 && match.captured(3).toInt() < 75;
}

bool isNumberIn(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high;
}

// A data file a sheet names must be a file beside it (or where its path says).
bool namesDataFile(const QFileInfo &sheet, const QString &name)
{
    if (name.isEmpty() || name.contains(u'"'))
        return false;
    const QFileInfo data(QDir::isAbsolutePath(name) ? name : sheet.dir().filePath(name));
    return data.isFile() && data.isReadable() && data.size() > 0;
}

bool readSheet(const QString &path, QStringList &lines, QString *reason)
{
    QFile file(path);
    if (file.size() == 0 || file.size() > LargestDescriptor)
        return refuse(reason, QStringLiteral("the file is empty or far too large for a sheet"));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(reason, QStringLiteral("the file cannot be read"));
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\0'))
        return refuse(reason, QStringLiteral("the file is not text"));
    lines = QString::fromUtf8(bytes).split(QRegularExpression(QStringLiteral("[\r\n]")),
                                           Qt::SkipEmptyParts);
    return true;
}

bool checkCue(const QString &path, QString *reason)
{
    static const QSet<QString> modes = {QStringLiteral("AUDIO"),      QStringLiteral("CDG"),
                                        QStringLiteral("MODE1/2048"), QStringLiteral("MODE1/2352"),
                                        QStringLiteral("MODE2/2336"), QStringLiteral("MODE2/2352"),
                                        QStringLiteral("CDI/2336"),   QStringLiteral("CDI/2352")};
    QStringList lines;
    if (!readSheet(path, lines, reason))
        return false;
    const QFileInfo sheet(path);
    bool haveFile = false;
    int tracks = 0;
    for (const QString &line : std::as_const(lines)) {
        const QStringList word = words(line);
        if (word.isEmpty())
            continue;
        const QString command = word.first().toUpper();
        if (command == u"FILE") {
            if (word.size() < 2 || !namesDataFile(sheet, word.at(1)))
                return refuse(reason, QStringLiteral("a FILE line names no data file"));
            haveFile = true;
        } else if (command == u"TRACK") {
            if (!haveFile || word.size() < 3 || !isNumberIn(word.at(1), 1, 99) ||
                !modes.contains(word.at(2).toUpper()))
                return refuse(reason,
                              QStringLiteral("a TRACK line without a file, number or mode"));
            ++tracks;
        } else if (command == u"INDEX") {
            if (tracks == 0 || word.size() < 3 || !isNumberIn(word.at(1), 0, 99) ||
                !isTime(word.at(2)))
                return refuse(reason,
                              QStringLiteral("an INDEX line outside a track or without a time"));
        } else if (command == u"PREGAP" || command == u"POSTGAP") {
            if (tracks == 0 || word.size() < 2 || !isTime(word.at(1)))
                return refuse(reason, QStringLiteral("a gap outside a track or without a time"));
        }
    }
    if (tracks == 0)
        return refuse(reason, QStringLiteral("no track"));
    return true;
}

bool checkToc(const QString &path, QString *reason)
{
    static const QSet<QString> modes = {
        QStringLiteral("AUDIO"),         QStringLiteral("MODE0"),
        QStringLiteral("MODE1"),         QStringLiteral("MODE1_RAW"),
        QStringLiteral("MODE2"),         QStringLiteral("MODE2_RAW"),
        QStringLiteral("MODE2_FORM1"),   QStringLiteral("MODE2_FORM2"),
        QStringLiteral("MODE2_FORM_MIX")};
    static const QSet<QString> dataFiles = {QStringLiteral("FILE"), QStringLiteral("AUDIOFILE"),
                                            QStringLiteral("DATAFILE")};
    QStringList lines;
    if (!readSheet(path, lines, reason))
        return false;
    const QFileInfo sheet(path);
    int tracks = 0;
    for (QString line : std::as_const(lines)) {
        if (const qsizetype comment = line.indexOf(QStringLiteral("//")); comment >= 0)
            line.truncate(comment);
        const QStringList word = words(line);
        if (word.isEmpty())
            continue;
        const QString command = word.first().toUpper();
        if (command == u"TRACK") {
            if (word.size() < 2 || !modes.contains(word.at(1).toUpper()))
                return refuse(reason, QStringLiteral("a TRACK line without a mode"));
            ++tracks;
        } else if (dataFiles.contains(command)) {
            if (tracks == 0 || word.size() < 2 || !namesDataFile(sheet, word.at(1)))
                return refuse(reason, QStringLiteral("a data file outside a track, or missing"));
        }
        for (const QString &value : word.mid(1)) {
            if (value.contains(u':') && !isTime(value) && command != u"CATALOG")
                return refuse(reason, QStringLiteral("a time that is no time"));
        }
    }
    if (tracks == 0)
        return refuse(reason, QStringLiteral("no track"));
    return true;
}

quint64 bigEndian(const QByteArray &bytes, qsizetype offset, int width)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | quint8(bytes.at(offset + i));
    return value;
}

// The lengths each kind of chunk is made of: whole entries after a fixed head.
bool chunkLengthFits(const QByteArray &id, quint64 length)
{
    struct Shape
    {
        const char *id;
        quint64 head;
        quint64 entry; // 0: exactly the head
    };
    static constexpr Shape shapes[] = {{"SINF", 4, 0},  {"MTYP", 4, 0},   {"CUEX", 0, 8},
                                       {"CUES", 0, 8},  {"DAOX", 22, 42}, {"DAOI", 22, 30},
                                       {"ETN2", 0, 32}, {"ETNF", 0, 20},  {"CDTX", 0, 18}};
    for (const Shape &shape : shapes) {
        if (id != shape.id)
            continue;
        if (shape.entry == 0)
            return length == shape.head;
        return length >= shape.head + shape.entry && (length - shape.head) % shape.entry == 0;
    }
    return true;
}

// The footer names where the chunks start; the chunks must follow one another up to "END!"
// without leaving the space before the footer.
bool checkNrg(const QString &path, QString *reason)
{
    static const QSet<QByteArray> known = {"CUEX", "CUES", "DAOX", "DAOI", "SINF", "ETN2", "ETNF",
                                           "MTYP", "CDTX", "AFNM", "RELO", "TOCT", "DINF", "END!"};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(reason, QStringLiteral("the file cannot be read"));
    const qint64 size = file.size();
    if (size < 12 + 8)
        return refuse(reason, QStringLiteral("too short for an image"));
    file.seek(size - 12);
    const QByteArray footer = file.read(12);
    quint64 chunks = 0;
    qint64 footerStart = 0;
    if (footer.left(4) == "NER5") {
        chunks = bigEndian(footer, 4, 8);
        footerStart = size - 12;
    } else if (footer.mid(4, 4) == "NERO") {
        chunks = bigEndian(footer, 8, 4);
        footerStart = size - 8;
    } else {
        return refuse(reason, QStringLiteral("no image signature at its end"));
    }
    if (chunks >= quint64(footerStart))
        return refuse(reason, QStringLiteral("the signature points outside the file"));
    QSet<QByteArray> seen;
    qint64 at = qint64(chunks);
    for (int count = 0; count < MostNrgChunks; ++count) {
        if (at + 8 > footerStart || !file.seek(at))
            return refuse(reason, QStringLiteral("a chunk runs past the end"));
        const QByteArray header = file.read(8);
        const QByteArray id = header.left(4);
        if (header.size() != 8 || !known.contains(id))
            return refuse(reason, QStringLiteral("an unknown chunk"));
        if (id == "END!")
            return seen.contains("DAOX") || seen.contains("DAOI") || seen.contains("CUEX") ||
                           seen.contains("CUES")
                       ? true
                       : refuse(reason, QStringLiteral("no track list"));
        seen.insert(id);
        const quint64 length = bigEndian(header, 4, 4);
        if (length > quint64(footerStart - at - 8))
            return refuse(reason, QStringLiteral("a chunk runs past the end"));
        if (!chunkLengthFits(id, length))
            return refuse(reason, QStringLiteral("a chunk of a length its kind never has"));
        at += 8 + qint64(length);
    }
    return refuse(reason, QStringLiteral("too many chunks"));
}

} // namespace

QByteArray tocWithFullPaths(const QString &path)
{
    QStringList lines;
    if (!readSheet(path, lines, nullptr))
        return {};
    static const QSet<QString> dataFiles = {QStringLiteral("FILE"), QStringLiteral("AUDIOFILE"),
                                            QStringLiteral("DATAFILE")};
    const QFileInfo sheet(path);
    QString text;
    for (const QString &line : std::as_const(lines)) {
        const QStringList word = words(line);
        if (word.size() >= 2 && dataFiles.contains(word.first().toUpper())) {
            const QString name = word.at(1);
            const QString full =
                QDir::isAbsolutePath(name) ? name : sheet.dir().absoluteFilePath(name);
            QStringList rest = word.mid(2);
            text += word.first() + QStringLiteral(" \"") + full + QStringLiteral("\" ") +
                    rest.join(u' ') + u'\n';
        } else {
            text += line + u'\n';
        }
    }
    return text.toUtf8();
}

DiscImageKind discImageKind(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"cue" || suffix == u"bin")
        return DiscImageKind::Cue;
    if (suffix == u"toc")
        return DiscImageKind::Toc;
    if (suffix == u"nrg")
        return DiscImageKind::Nrg;
    return DiscImageKind::None;
}

QString discImageDescriptor(const QString &path)
{
    const QFileInfo info(path);
    if (info.suffix().compare(QStringLiteral("bin"), Qt::CaseInsensitive) != 0)
        return path;
    for (const QString &suffix : {QStringLiteral("cue"), QStringLiteral("CUE")}) {
        const QString cue = info.dir().filePath(info.completeBaseName() + u'.' + suffix);
        if (QFileInfo(cue).isFile())
            return cue;
    }
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".cue"));
}

bool checkDiscImage(const QString &path, QString *reason)
{
    const QString descriptor = discImageDescriptor(path);
    if (!QFileInfo(descriptor).isFile())
        return refuse(reason, QStringLiteral("no such file"));
    switch (discImageKind(path)) {
    case DiscImageKind::Cue:
        return checkCue(descriptor, reason);
    case DiscImageKind::Toc:
        return checkToc(descriptor, reason);
    case DiscImageKind::Nrg:
        return checkNrg(descriptor, reason);
    case DiscImageKind::None:
        break;
    }
    return refuse(reason,
                  QStringLiteral("not a disc image the program reads (.cue, .bin, .toc, .nrg)"));
}

} // namespace sv
