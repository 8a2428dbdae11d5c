#include "keytext.h"

namespace sv {

namespace {

QString withoutMarks(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString plain;
    plain.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            plain.append(c);
    }
    return plain;
}

bool isPlainAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

QString keyText(const QString &text)
{
    if (isPlainAscii(text))
        return text.toUpper();
    const QString upper = text.toUpper();
    const QString base = withoutMarks(text).toUpper();
    if (base == upper)
        return upper;
    // The plain spelling orders the word; the exact spelling keeps distinct accents apart.
    return base + QChar(1) + upper;
}

bool mapAsciiCase(const char *utf8, qsizetype bytes, bool upper, QByteArray &mapped)
{
    QByteArray result(utf8, bytes);
    for (char &c : result) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
        if (upper && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    mapped = std::move(result);
    return true;
}

QString foldText(const QString &text)
{
    return isPlainAscii(text) ? text.toUpper() : withoutMarks(text).toUpper();
}

} // namespace sv
