#pragma once

#include "delimited.h"

#include "platform/picture.h"
#include "store/record.h"

#include <QList>
#include <QString>
#include <QStringList>

// The song fields exchanged through delimited text: the fields an export may write with
// the picture each starts with, the fields an import may fill, and how one song becomes a
// line of text.
namespace sv::exchange {

struct ExportField
{
    QString name;
    QString picture;
};

// The 30 fields an export offers, "CAT:Category" (the song's category name) the last.
const QList<ExportField> &availableExportFields();
// The 29 song fields an import can fill, in the order the assignment window lists them.
const QStringList &importTargets();

inline const QString CategoryNameField = QStringLiteral("CAT:Category");

// Writes songs as lines of the export fields, each field worked out once (where its value
// is in a song, how its picture writes it) rather than looked up by name for every song.
// A field is written as quoted text, a plain number, or a quoted text formatted with the
// picture (dates, times).
class ExportLineWriter
{
public:
    ExportLineWriter(const TableDef &songs, const QList<ExportField> &fields);

    // Appends the song's line, in UTF-8 and without its end, to `out`.
    void append(const Record &song, const QString &categoryName, QByteArray &out) const;
    QString line(const Record &song, const QString &categoryName) const;

private:
    struct Column
    {
        enum class Source { Field, Memo, Category, None } source = Source::None;
        int index = -1;
        bool text = false; // a text field or memo, not a number
        PictureKind kind = PictureKind::Text;
        Picture picture; // for PictureKind::Other
    };
    QList<Column> m_columns;
};
// The field names as quoted texts; in a name holding '[', ',' and '[' become '_' and ']'
// a blank.
QString headerLine(const QList<ExportField> &fields);

// What is wrong with a picture typed for a field or column; "" when it can be used.
QString pictureProblem(const QString &picture);

// The three one-letter cassette codes some programs write, widened to media names.
QString widenedMedia(const QString &media);

} // namespace sv::exchange
