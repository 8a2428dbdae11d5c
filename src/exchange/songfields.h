#pragma once

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

// The written form of a field of `song`: quoted text, a plain number, or a quoted text
// formatted with the picture (dates, times).
QString exportValue(const Record &song, const ExportField &field, const QString &categoryName);
QString exportLine(const QList<ExportField> &fields, const Record &song,
                   const QString &categoryName);
// The field names as quoted texts; in a name holding '[', ',' and '[' become '_' and ']'
// a blank.
QString headerLine(const QList<ExportField> &fields);

// What is wrong with a picture typed for a field or column; "" when it can be used.
QString pictureProblem(const QString &picture);

// The three one-letter cassette codes some programs write, widened to media names.
QString widenedMedia(const QString &media);

} // namespace sv::exchange
