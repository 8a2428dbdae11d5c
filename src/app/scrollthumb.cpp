#include "scrollthumb.h"

#include "store/keytext.h"

namespace sv::thumb {

namespace {

constexpr int TailLength = 4;

const QString &punctuationCharacters()
{
    static const QString characters = QStringLiteral("`!\"\u00a3$%^&*()'-=_+][#;~@:/.,?\\| ");
    return characters;
}

qint64 tailNumber(const QString &tail, const QString &alphabet)
{
    const qint64 base = alphabet.size() + 1;
    qint64 number = 0;
    for (int i = 0; i < TailLength; ++i) {
        const qsizetype digit = i < tail.size() ? alphabet.indexOf(tail.at(i)) + 1 : 0;
        number = number * base + digit;
    }
    return number;
}

QString tailText(qint64 number, const QString &alphabet)
{
    const qint64 base = alphabet.size() + 1;
    QString tail(TailLength, u' ');
    for (int i = TailLength - 1; i >= 0; --i) {
        const qint64 digit = number % base;
        number /= base;
        if (digit > 0)
            tail[i] = alphabet.at(digit - 1);
    }
    return tail;
}

} // namespace

QString alphabetCharacters(const Alphabet &alphabet)
{
    QString characters;
    for (char16_t code = 1; code <= 255; ++code) {
        const QChar c(code);
        const bool wanted =
            (alphabet.digits && c >= u'0' && c <= u'9') ||
            (alphabet.punctuation && punctuationCharacters().contains(c)) ||
            (alphabet.letters && c.isLetter() && (alphabet.lowerCase || !c.isLower()));
        if (wanted)
            characters.append(c);
    }
    return characters;
}

QList<QVariant> numericValues(qint64 lowest, qint64 highest)
{
    QList<QVariant> values;
    const double step = double(highest - lowest) / (Positions - 1);
    for (int k = 0; k < Positions; ++k)
        values.append(qint64(lowest + k * step));
    values.last() = highest;
    return values;
}

QList<QVariant> textValues(const QString &lowestText, const QString &highestText, int length,
                           const Alphabet &alphabet)
{
    const QString characters = alphabetCharacters(alphabet);
    QString lowest = lowestText.left(length);
    QString highest = highestText.left(length);
    while (highest.endsWith(u' '))
        highest.chop(1);
    if (highest.size() < length && !characters.isEmpty())
        highest = highest.leftJustified(length, characters.back());

    qsizetype differ = 0;
    while (differ < lowest.size() && differ < highest.size() &&
           lowest.at(differ) == highest.at(differ))
        ++differ;
    const QString prefix = highest.left(differ);
    const bool upperOnly = !alphabet.lowerCase;
    QString lowTail = lowest.mid(differ, TailLength);
    QString highTail = highest.mid(differ, TailLength);
    if (upperOnly) {
        lowTail = lowTail.toUpper();
        highTail = highTail.toUpper();
    }
    const qint64 low = tailNumber(lowTail, characters);
    const qint64 high = tailNumber(highTail, characters);
    const qint64 step = (high - low) / (Positions - 1);

    QList<QVariant> values;
    values.append(prefix + lowTail);
    for (int k = 1; k < Positions - 1; ++k)
        values.append(prefix + tailText(low + k * step, characters));
    values.append(prefix + highTail);
    return values;
}

int positionOf(const QList<QVariant> &values, const QVariant &value)
{
    const bool isText = value.typeId() == QMetaType::QString;
    int position = 0;
    for (int k = 0; k < values.size(); ++k) {
        const bool notAbove =
            isText ? keyText(values.at(k).toString().trimmed()) <= keyText(value.toString())
                   : values.at(k).toLongLong() <= value.toLongLong();
        if (notAbove)
            position = k;
    }
    return position;
}

} // namespace sv::thumb
