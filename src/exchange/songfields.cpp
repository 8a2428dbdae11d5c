#include "songfields.h"

#include "delimited.h"

#include "platform/picture.h"

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

QString exportValue(const Record &song, const ExportField &field, const QString &categoryName)
{
    const TableDef &def = song.definition();
    QVariant value;
    if (field.name.compare(CategoryNameField, Qt::CaseInsensitive) == 0)
        value = categoryName;
    else if (const int index = def.fieldIndex(field.name); index >= 0)
        value = song.value(index);
    else if (const int memo = def.memoIndex(field.name); memo >= 0)
        value = song.memo(memo);
    switch (pictureKind(field.picture)) {
    case PictureKind::Text:
        return quoted(value.toString());
    case PictureKind::Number:
        if (value.typeId() == QMetaType::QString)
            return value.toString().trimmed();
        return QString::number(value.toLongLong());
    case PictureKind::Other:
        break;
    }
    return quoted(format(value, field.picture));
}

QString exportLine(const QList<ExportField> &fields, const Record &song,
                   const QString &categoryName)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += u',';
        line += exportValue(song, fields.at(i), categoryName);
    }
    return line;
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
