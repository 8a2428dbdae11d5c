#pragma once

#include "platform/picture.h"
#include "store/schema.h"

#include <QValidator>

#include <optional>

namespace sv {

// What a one-line entry field accepts, bound to the field's picture and to what its stored
// type can hold. While the user types it lets through only what can become a value of the
// picture (digits up to the picture's width in a numeric field, the characters of a date or
// a time); when the field is left, read() turns the text into the value to store or says,
// in a sentence for the status bar, why it cannot. Nothing typed is ever stored as 0, cut
// to fit a byte, or dropped as no date.
//
// Control characters (tabs, line breaks, NUL and the rest) never reach a one-line field:
// typed or pasted, a tab or line break becomes a blank and the others are left out.
class FieldEntry : public QValidator
{
    Q_OBJECT

public:
    enum class Kind { Text, Number, Date, Time, PlayingTime };

    // `playingTime`: a song's length rather than a time of day (see readPlayingTime).
    FieldEntry(const FieldDef &field, const QString &picture, bool playingTime = false,
               QObject *parent = nullptr);
    // A one-line text of at most `maxLength` characters that is not bound to a field.
    explicit FieldEntry(int maxLength, QObject *parent = nullptr);

    Kind kind() const { return m_kind; }
    State validate(QString &input, int &position) const override;

    struct Reading
    {
        bool ok = false;
        QVariant value;
        QString why; // when not ok: the sentence the user sees, naming the field
    };
    Reading read(const QString &text, const QString &fieldName) const;
    QString shown(const QVariant &value) const; // the text the field starts with

private:
    State check(QString &input, int &position) const;
    State validateNumber(const QString &input) const;

    Kind m_kind = Kind::Text;
    Picture m_picture;
    int m_maxLength = 0; // characters a text or a number may take
    qint64 m_lowest = 0;
    qint64 m_highest = 0;
};

// The text without control characters: tabs and line breaks become blanks, the rest go.
QString oneLineText(const QString &text);

// A playing time as a DJ types it, in hundredths plus one as times are stored (0 for
// blank); nullopt when it is no time. "4:33" and "63:10" are minutes and seconds (63:10 is
// 1 h 3 min 10 s) and "1:03:10" hours, minutes and seconds. Two numbers that make at most
// two hours read as hours and minutes ("1:59" is 1 h 59 min, "2:00" two hours): above two
// hours the form was meant as minutes and seconds, which is the song form's two-hour rule.
// Digits without separators are split from the right into pairs ("410" as 4:10).
std::optional<qint32> readPlayingTime(const QString &text);

} // namespace sv
