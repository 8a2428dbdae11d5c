#include "songfields.h"

#include "delimited.h"

#include "platform/picture.h"

#include <charconv>
#include <iterator>

namespace sv::exchange {

const QList<ExportField> &availableExportFields()
{
    static const QList<ExportField> fields = [] {
        const char *const table[][2] = {{"MUS:Artist", "@s50"},
                                        {"MUS:Title", "@s50"},
                                        {"MUS:Mix", "@s30"},
                                        {"MUS:Album", "@s50"},
                                        {"MUS:Media", "@s20"},
                                        {"MUS:FileNumber", "@s20"},
                                        {"MUS:ReleaseDate", "@d2"},
                                        {"MUS:CategoryID", "@n-13"},
                                        {"MUS:ChartNumber", "@n3"},
                                        {"MUS:TrackNumber", "@n3"},
                                        {"MUS:Side", "@n2b"},
                                        {"MUS:Time", "@t4"},
                                        {"MUS:UserDefinedKeyField", "@s30"},
                                        {"MUS:AdditionalInformation1", "@s80"},
                                        {"MUS:AdditionalInformation2", "@s80"},
                                        {"MUS:AdditionalInformation3", "@s80"},
                                        {"MUS:BeatsPerMinute", "@n_4b"},
                                        {"MUS:Style", "@s30"},
                                        {"MUS:Recording", "@s255"},
                                        {"MUS:Composer", "@s80"},
                                        {"MUS:PerformanceNotes", "@s255"},
                                        {"MUS:LastPlayed", "@d17-"},
                                        {"MUS:Skips", "@n3"},
                                        {"MUS:EndType", "@s6"},
                                        {"MUS:InOut", "@s20"},
                                        {"MUS:Notes", "@s255"},
                                        {"MUS:Rating", "@n2"},
                                        {"MUS:Live", "@n3"},
                                        {"MUS:DoNotPlay", "@n3"},
                                        {"CAT:Category", "@s30"}};
        QList<ExportField> list;
        for (const auto &row : table)
            list.append({QString::fromLatin1(row[0]), QString::fromLatin1(row[1])});
        return list;
    }();
    return fields;
}

const QStringList &importTargets()
{
    static const QStringList targets = [] {
        QStringList names;
        for (const ExportField &field : availableExportFields()) {
            if (field.name != CategoryNameField)
                names.append(field.name);
        }
        return names;
    }();
    return targets;
}

namespace {

// Appends a text as a quoted field in UTF-8: trailing blanks dropped, double quotes doubled.
// Written straight into the line's bytes, since an export writes millions of them.
void appendQuoted(QByteArray &out, QStringView text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    // At most three bytes for each UTF-16 unit (a doubled quote takes two, a surrogate
    // pair four for two units), and the two quotes.
    const qsizetype start = out.size();
    out.resize(start + 3 * end + 2);
    auto *w = reinterpret_cast<unsigned char *>(out.data() + start);
    const char16_t *units = text.utf16();
    *w++ = '"';
    for (qsizetype i = 0; i < end; ++i) {
        const char32_t c = units[i];
        if (c < 0x80) {
            if (c == u'"')
                *w++ = '"';
            *w++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *w++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *w++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && i + 1 < end &&
                   QChar::isLowSurrogate(units[i + 1])) {
            const char32_t u = QChar::surrogateToUcs4(char16_t(c), units[++i]);
            *w++ = static_cast<unsigned char>(0xF0 | (u >> 18));
            *w++ = static_cast<unsigned char>(0x80 | ((u >> 12) & 0x3F));
            *w++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *w++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else {
            // A surrogate without its other half is no character: the replacement
            // character stands for it, as in any other UTF-8 conversion.
            const char32_t u = QChar::isSurrogate(c) ? char32_t(QChar::ReplacementCharacter) : c;
            *w++ = static_cast<unsigned char>(0xE0 | (u >> 12));
            *w++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *w++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        }
    }
    *w++ = '"';
    out.truncate(reinterpret_cast<char *>(w) - out.constData());
}

QByteArray &appendNumber(QByteArray &out, qint64 number)
{
    char digits[24];
    const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), number);
    return out.append(digits, end - digits);
}

} // namespace

ExportLineWriter::ExportLineWriter(const TableDef &songs, const QList<ExportField> &fields)
{
    for (const ExportField &field : fields) {
        Column column;
        column.kind = pictureKind(field.picture);
        if (column.kind == PictureKind::Other)
            column.picture = Picture::parse(field.picture);
        if (field.name.compare(CategoryNameField, Qt::CaseInsensitive) == 0) {
            column.source = Column::Source::Category;
            column.text = true;
        } else if (const int index = songs.fieldIndex(field.name); index >= 0) {
            column.source = Column::Source::Field;
            column.index = index;
            column.text = songs.fields.at(index).type == FieldType::String;
        } else if (const int memo = songs.memoIndex(field.name); memo >= 0) {
            column.source = Column::Source::Memo;
            column.index = memo;
            column.text = true;
        }
        m_columns.append(column);
    }
}

void ExportLineWriter::append(const Record &song, const QString &categoryName,
                              QByteArray &out) const
{
    bool first = true;
    for (const Column &column : m_columns) {
        if (!first)
            out += ',';
        first = false;
        QString text;
        qint64 number = 0;
        switch (column.source) {
        case Column::Source::Field:
            if (column.text)
                text = song.value(column.index).toString();
            else
                number = song.number(column.index);
            break;
        case Column::Source::Memo:
            text = song.memo(column.index);
            break;
        case Column::Source::Category:
            text = categoryName;
            break;
        case Column::Source::None: // no such field: no value
            if (column.kind == PictureKind::Other)
                appendQuoted(out, column.picture.format(QVariant()));
            else if (column.kind == PictureKind::Text)
                out += "\"\"";
            else
                out += '0';
            continue;
        }
        switch (column.kind) {
        case PictureKind::Text:
            if (column.text)
                appendQuoted(out, text);
            else
                appendNumber(out.append('"'), number).append('"');
            break;
        case PictureKind::Number:
            if (column.text)
                out += QStringView(text).trimmed().toUtf8();
            else
                appendNumber(out, number);
            break;
        case PictureKind::Other:
            appendQuoted(out,
                         column.picture.format(column.text ? QVariant(text) : QVariant(number)));
            break;
        }
    }
}

QString ExportLineWriter::line(const Record &song, const QString &categoryName) const
{
    QByteArray bytes;
    append(song, categoryName, bytes);
    return QString::fromUtf8(bytes);
}

QString headerLine(const QList<ExportField> &fields)
{
    QStringList names;
    for (const ExportField &field : fields) {
        QString name = field.name;
        if (name.contains(u'['))
            name.replace(u',', u'_').replace(u'[', u'_').replace(u']', u' ');
        names.append(quoted(name));
    }
    return names.join(u',');
}

QString widenedMedia(const QString &media)
{
    if (media == u"D")
        return QStringLiteral("Cassette (DBX)");
    if (media == u"C")
        return QStringLiteral("Cassette (Dolby-C)");
    if (media == u"B")
        return QStringLiteral("Cassette (Dolby-B)");
    return media;
}

QString pictureProblem(const QString &picture)
{
    if (!picture.startsWith(u'@'))
        return QStringLiteral("Pictures must begin with \"@\"");
    if (const Picture parsed = Picture::parse(picture); !parsed.isValid())
        return parsed.errorString();
    return {};
}

} // namespace sv::exchange
