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

QString foldText(const QString &text)
{
    return isPlainAscii(text) ? text.toUpper() : withoutMarks(text).toUpper();
}

} // namespace sv
