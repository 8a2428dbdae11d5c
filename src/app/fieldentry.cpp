#include "fieldentry.h"

#include "platform/stddate.h"

#include <QApplication>
#include <QRegularExpression>

#include <limits>

namespace sv {

namespace {

constexpr int DayLength = 24 * 60 * 60; // seconds
constexpr int TwoHours = 2 * 60 * 60;
constexpr int DateTextLength = 40;
constexpr int TimeTextLength = 20;

qint64 powerOfTen(int digits)
{
    qint64 value = 1;
    for (int i = 0; i < digits; ++i)
        value *= 10;
    return value;
}

// What the stored type can hold: a byte 0..255, a long its 32 bits, a packed decimal
// 2 * bytes - 1 digits.
void storedRange(const FieldDef &field, qint64 &lowest, qint64 &highest)
{
    switch (field.type) {
    case FieldType::Byte:
        lowest = 0;
        highest = 255;
        return;
    case FieldType::Long:
        lowest = std::numeric_limits<qint32>::min();
        highest = std::numeric_limits<qint32>::max();
        return;
    case FieldType::Decimal:
        highest = powerOfTen(qMin(18, 2 * field.size - 1)) - 1;
        lowest = -highest;
        return;
    case FieldType::String:
        lowest = highest = 0;
        return;
    }
}

int digitCount(qint64 value)
{
    return int(QString::number(value).size());
}

bool isSeparatorOf(QChar ch, const QString &separators)
{
    return separators.contains(ch);
}

qint32 storedTime(int seconds)
{
    return seconds * 100 + 1;
}

// The sample a refused date or time is shown with, in the field's own picture.
QString sampleOf(const Picture &picture)
{
    if (picture.kind() == Picture::Kind::Date)
        return picture.format(makeDate(1959, 10, 31)).trimmed();
    return picture.format(makeTime(13, 45, 30)).trimmed();
}

} // namespace

QString oneLineText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (QChar ch : text) {
        if (ch == u'\t' || ch == u'\n' || ch == u'\r' || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator)
            clean += u' ';
        else if (ch.category() != QChar::Other_Control)
            clean += ch;
    }
    return clean;
}

std::optional<qint32> readPlayingTime(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return NoTime;
    static const QRegularExpression form(QStringLiteral("^(\\d+)(?:\\s*[:.]\\s*(\\d+))?"
                                                        "(?:\\s*[:.]\\s*(\\d+))?$"));
    const QRegularExpressionMatch match = form.match(trimmed);
    if (!match.hasMatch())
        return std::nullopt;
    QList<QString> parts;
    for (int i = 1; i <= 3; ++i) {
        if (!match.captured(i).isEmpty())
            parts.append(match.captured(i));
    }
    if (parts.size() == 1) {
        // A run of digits is split into pairs from the right: "410" is 4:10.
        const QString digits = parts.first();
        if (digits.size() > 6)
            return std::nullopt;
        parts.clear();
        for (qsizetype end = digits.size(); end > 0; end -= 2)
            parts.prepend(
                digits.mid(qMax<qsizetype>(0, end - 2), end - qMax<qsizetype>(0, end - 2)));
        if (parts.size() == 1)
            parts.append(QStringLiteral("00")); // "4" is 4:00
    }
    for (const QString &part : std::as_const(parts)) {
        if (part.size() > 4)
            return std::nullopt;
    }
    int seconds = 0;
    if (parts.size() == 3) {
        const int hours = parts[0].toInt();
        const int minutes = parts[1].toInt();
        const int secs = parts[2].toInt();
        if (minutes > 59 || secs > 59)
            return std::nullopt;
        seconds = hours * 3600 + minutes * 60 + secs;
    } else {
        const int first = parts[0].toInt();
        const int second = parts[1].toInt();
        if (second > 59)
            return std::nullopt;
        const int asHoursAndMinutes = first * 3600 + second * 60;
        seconds = asHoursAndMinutes <= TwoHours ? asHoursAndMinutes : first * 60 + second;
    }
    if (seconds >= DayLength)
        return std::nullopt;
    return storedTime(seconds);
}

FieldEntry::FieldEntry(const FieldDef &field, const QString &picture, bool playingTime,
                       QObject *parent)
    : QValidator(parent), m_picture(Picture::parse(picture))
{
    if (field.type == FieldType::String || !m_picture.isValid()) {
        m_kind = field.type == FieldType::String ? Kind::Text : Kind::Number;
        m_maxLength = field.type == FieldType::String ? field.size : 0;
    } else if (playingTime) {
        m_kind = Kind::PlayingTime;
    } else {
        switch (m_picture.kind()) {
        case Picture::Kind::Date:
            m_kind = Kind::Date;
            break;
        case Picture::Kind::Time:
            m_kind = Kind::Time;
            break;
        default:
            m_kind = Kind::Number;
            break;
        }
    }
    storedRange(field, m_lowest, m_highest);
    if (m_kind == Kind::Number) {
        // The picture's width and sign narrow what the type holds: "@n2b" on a byte takes
        // 0..99, and only a picture that shows a sign takes negative numbers.
        const int typeWidth = qMax(digitCount(m_highest), digitCount(m_lowest));
        m_maxLength = m_picture.isValid() ? qMin(m_picture.width(), typeWidth) : typeWidth;
        const QString text = m_picture.text();
        const bool signShown = text.contains(u'-') || text.contains(u'(');
        m_highest = qMin(m_highest, powerOfTen(m_maxLength) - 1);
        m_lowest = signShown ? qMax(m_lowest, -(powerOfTen(m_maxLength - 1) - 1)) : 0;
    }
}

FieldEntry::FieldEntry(int maxLength, QObject *parent)
    : QValidator(parent), m_kind(Kind::Text), m_maxLength(maxLength)
{}

QValidator::State FieldEntry::validate(QString &input, int &position) const
{
    const State state = check(input, position);
    if (state == Invalid && qobject_cast<QApplication *>(QCoreApplication::instance()))
        QApplication::beep(); // a key or a paste the field does not take
    return state;
}

QValidator::State FieldEntry::check(QString &input, int &position) const
{
    const QString clean = oneLineText(input);
    if (clean != input) {
        position = qMin(position, int(clean.size()));
        input = clean;
    }
    switch (m_kind) {
    case Kind::Text:
        return m_maxLength > 0 && input.size() > m_maxLength ? Invalid : Acceptable;
    case Kind::Number:
        return validateNumber(input);
    case Kind::Date:
        if (input.size() > DateTextLength)
            return Invalid;
        for (QChar ch : std::as_const(input)) {
            if (!ch.isLetterOrNumber() && !isSeparatorOf(ch, QStringLiteral(" /-.,'")))
                return Invalid;
        }
        return read(input, QString()).ok ? Acceptable : Intermediate;
    case Kind::Time:
    case Kind::PlayingTime:
        if (input.size() > TimeTextLength)
            return Invalid;
        for (QChar ch : std::as_const(input)) {
            const bool marker = m_kind == Kind::Time && QStringLiteral("apmAPM").contains(ch);
            if (!ch.isDigit() && !marker && !isSeparatorOf(ch, QStringLiteral(" :.")))
                return Invalid;
        }
        return read(input, QString()).ok ? Acceptable : Intermediate;
    }
    return Invalid;
}

QValidator::State FieldEntry::validateNumber(const QString &input) const
{
    const QString text = input.trimmed();
    if (text.size() > m_maxLength)
        return Invalid;
    const bool signAllowed = m_lowest < 0;
    for (int i = 0; i < text.size(); ++i) {
        const bool sign = i == 0 && text.at(i) == u'-' && signAllowed;
        if (!sign && !text.at(i).isDigit())
            return Invalid;
    }
    if (text == u"-")
        return Intermediate;
    return read(text, QString()).ok ? Acceptable : Intermediate;
}

FieldEntry::Reading FieldEntry::read(const QString &typed, const QString &fieldName) const
{
    const QString text = oneLineText(typed);
    Reading reading;
    switch (m_kind) {
    case Kind::Text:
        reading.ok = true;
        reading.value = m_maxLength > 0 ? text.left(m_maxLength) : text;
        return reading;
    case Kind::Number: {
        const QString digits = text.trimmed();
        bool isNumber = digits.isEmpty();
        const qint64 value = digits.isEmpty() ? 0 : digits.toLongLong(&isNumber);
        if (!isNumber) {
            reading.why = fieldName + QStringLiteral(" takes a whole number.");
            return reading;
        }
        if (value < m_lowest || value > m_highest) {
            reading.why =
                fieldName +
                QStringLiteral(" must be between %1 and %2.").arg(m_lowest).arg(m_highest);
            return reading;
        }
        reading.ok = true;
        reading.value = value;
        return reading;
    }
    case Kind::Date: {
        bool ok = false;
        qint32 date = m_picture.deformat(text, &ok).toInt();
        if (!ok && text.trimmed().size() == 4 && text.trimmed().toInt() > 0) {
            // A year alone names its first day.
            date = makeDate(text.trimmed().toInt(), 1, 1);
            ok = date != NoDate;
        }
        if (!ok) {
            reading.why = fieldName + QStringLiteral(": \"%1\" is not a date. Type it as %2.")
                                          .arg(text.trimmed(), sampleOf(m_picture));
            return reading;
        }
        reading.ok = true;
        reading.value = date;
        return reading;
    }
    case Kind::Time: {
        bool ok = false;
        const qint32 time = m_picture.deformat(text, &ok).toInt();
        if (!ok) {
            reading.why = fieldName + QStringLiteral(": \"%1\" is not a time. Type it as %2.")
                                          .arg(text.trimmed(), sampleOf(m_picture));
            return reading;
        }
        reading.ok = true;
        reading.value = time;
        return reading;
    }
    case Kind::PlayingTime: {
        const std::optional<qint32> time = readPlayingTime(text);
        if (!time) {
            reading.why =
                fieldName + QStringLiteral(": \"%1\" is not a playing time. Type minutes and "
                                           "seconds (4:33, 63:10) or hours, minutes and seconds "
                                           "(1:03:10).")
                                .arg(text.trimmed());
            return reading;
        }
        reading.ok = true;
        reading.value = *time;
        return reading;
    }
    }
    return reading;
}

QString FieldEntry::shown(const QVariant &value) const
{
    if (m_kind == Kind::Text || !m_picture.isValid())
        return value.toString();
    QString text = m_picture.format(value).trimmed();
    if (m_kind == Kind::Number) // grouping marks, fill and currency are not typed
        text.remove(QRegularExpression(QStringLiteral("[^0-9.\\-]")));
    return text;
}

} // namespace sv
