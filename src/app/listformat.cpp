#include "listformat.h"

#include "platform/inifile.h"
#include "platform/paths.h"

#include <QHeaderView>

namespace sv {

namespace {

class Reader
{
public:
    explicit Reader(const QString &text) : m_text(text) {}
    bool atEnd() const { return m_at >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text.at(m_at); }
    QChar take() { return m_text.at(m_at++); }

    std::optional<int> number()
    {
        const qsizetype start = m_at;
        while (!atEnd() && peek().isDigit())
            ++m_at;
        if (m_at == start || m_at - start > 6)
            return std::nullopt;
        return m_text.mid(start, m_at - start).toInt();
    }

    // "(n)" after a justification letter, when present.
    bool indent(int &value)
    {
        if (peek() != u'(')
            return true;
        ++m_at;
        const std::optional<int> n = number();
        if (!n || peek() != u')')
            return false;
        ++m_at;
        value = *n;
        return true;
    }

    std::optional<QString> until(QChar end)
    {
        const qsizetype close = m_text.indexOf(end, m_at);
        if (close < 0)
            return std::nullopt;
        const QString part = m_text.mid(m_at, close - m_at);
        m_at = close + 1;
        return part;
    }

private:
    const QString &m_text;
    qsizetype m_at = 0;
};

bool isJustification(QChar c)
{
    return c == u'L' || c == u'R' || c == u'C' || c == u'D';
}

std::optional<ListColumn> parseColumn(Reader &reader)
{
    ListColumn column;
    const std::optional<int> width = reader.number();
    if (!width || !isJustification(reader.peek()))
        return std::nullopt;
    column.width = *width;
    column.justification = reader.take();
    if (!reader.indent(column.indent))
        return std::nullopt;
    while (!reader.atEnd() && reader.peek() != u'~' && reader.peek() != u'@')
        column.modifiers.append(reader.take());
    if (reader.peek() == u'~') {
        reader.take();
        const std::optional<QString> header = reader.until(u'~');
        if (!header)
            return std::nullopt;
        column.header = *header;
        column.hasHeader = true;
        while (!reader.atEnd() && reader.peek() != u'@' && reader.peek() != u'~')
            column.headerSuffix.append(reader.take());
    }
    if (reader.peek() != u'@')
        return std::nullopt;
    reader.take();
    const std::optional<QString> picture = reader.until(u'@');
    if (!picture || picture->isEmpty())
        return std::nullopt;
    column.picture = *picture;
    return column;
}

QString indentText(int indent)
{
    return indent < 0 ? QString() : u'(' + QString::number(indent) + u')';
}

QString entryName(const QString &stem, const QString &control, const QString &suffix)
{
    return stem + u'?' + control + suffix;
}

} // namespace

std::optional<ListFormat> ListFormat::parse(const QString &text)
{
    ListFormat format;
    Reader reader(text);
    while (!reader.atEnd()) {
        std::optional<ListColumn> column = parseColumn(reader);
        if (!column)
            return std::nullopt;
        format.columns.append(*column);
    }
    if (format.columns.isEmpty())
        return std::nullopt;
    return format;
}

QString ListFormat::toString() const
{
    QString text;
    for (const ListColumn &column : columns) {
        text += QString::number(column.width) + column.justification + indentText(column.indent) +
                column.modifiers;
        if (column.hasHeader)
            text += u'~' + column.header + u'~' + column.headerSuffix;
        text += u'@' + column.picture + u'@';
    }
    return text;
}

void ListFormat::useDatePicture(const QString &datePicture)
{
    if (datePicture.isEmpty())
        return;
    const QString bare = datePicture.startsWith(u'@') ? datePicture.mid(1) : datePicture;
    for (ListColumn &column : columns) {
        if (column.picture.startsWith(u'd', Qt::CaseInsensitive))
            column.picture = bare;
    }
}

QString restoredListFormat(const QString &section, const QString &control, const QString &suffix,
                           const QString &designed, const ListFormatKeys &keys)
{
    const QString file = Paths::positionFile();
    const QString original =
        IniFile::get(section, entryName(keys.original, control, suffix), QString(), file);
    if (original != designed) {
        IniFile::put(section, entryName(keys.original, control, suffix), designed, file);
        return designed;
    }
    const QString saved =
        IniFile::get(section, entryName(keys.saved, control, suffix), QString(), file);
    // A saved layout that cannot be read, or that has other columns, is ignored.
    const std::optional<ListFormat> savedFormat = ListFormat::parse(saved);
    const std::optional<ListFormat> designedFormat = ListFormat::parse(designed);
    if (!savedFormat || (keys.sameColumns && designedFormat &&
                         savedFormat->columns.size() != designedFormat->columns.size()))
        return designed;
    return saved;
}

namespace {

int dialogUnit(const QHeaderView *header)
{
    return qMax(1, header->fontMetrics().averageCharWidth());
}

} // namespace

void applyColumnWidths(const QString &format, QHeaderView *header)
{
    const std::optional<ListFormat> parsed = ListFormat::parse(format);
    if (!parsed)
        return;
    const int unit = dialogUnit(header);
    for (int column = 0; column < parsed->columns.size() && column < header->count(); ++column)
        header->resizeSection(column, parsed->columns.at(column).width * unit / 4);
}

QString withColumnWidths(const QString &format, const QHeaderView *header)
{
    std::optional<ListFormat> parsed = ListFormat::parse(format);
    if (!parsed)
        return format;
    const int unit = dialogUnit(header);
    for (int column = 0; column < parsed->columns.size() && column < header->count(); ++column)
        parsed->columns[column].width = header->sectionSize(column) * 4 / unit;
    return parsed->toString();
}

void saveListFormat(const QString &section, const QString &control, const QString &suffix,
                    const QString &current, const ListFormatKeys &keys)
{
    IniFile::put(section, entryName(keys.saved, control, suffix), current, Paths::positionFile());
}

QString ListColumn::fieldTag() const
{
    const qsizetype start = modifiers.indexOf(u'#');
    const qsizetype end = start < 0 ? -1 : modifiers.indexOf(u'#', start + 1);
    return end < 0 ? QString() : modifiers.mid(start + 1, end - start - 1);
}

void ListColumn::setFieldTag(const QString &field)
{
    const QString old = fieldTag();
    if (!old.isEmpty())
        modifiers.remove(u'#' + old + u'#');
    modifiers += u'#' + field + u'#';
}

bool ListColumn::hasFlag(QChar flag) const
{
    const QString tag = fieldTag();
    QString flags = modifiers;
    if (!tag.isEmpty())
        flags.remove(u'#' + tag + u'#');
    return flags.contains(flag);
}

void ListColumn::setFlag(QChar flag, bool on)
{
    const QString tag = fieldTag();
    if (!tag.isEmpty())
        modifiers.remove(u'#' + tag + u'#');
    modifiers.remove(flag);
    if (on)
        modifiers.prepend(flag);
    if (!tag.isEmpty())
        setFieldTag(tag);
}

} // namespace sv
