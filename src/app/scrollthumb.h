#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace sv {

// The 100 key values a browser's scroll thumb stands for, from the lowest to the highest
// value of the sort's first key field: dragging the thumb to position p shows the records
// from value p - 1 on.
namespace thumb {

inline constexpr int Positions = 100;

// Which characters a text key is spread over.
struct Alphabet
{
    bool digits = false;
    bool punctuation = false;
    bool letters = true;
    bool lowerCase = false;
};

QList<QVariant> numericValues(qint64 lowest, qint64 highest);
QList<QVariant> textValues(const QString &lowest, const QString &highest, int length,
                           const Alphabet &alphabet);
// The thumb position (0..99) of a value: the last of the values not above it.
int positionOf(const QList<QVariant> &values, const QVariant &value);

QString alphabetCharacters(const Alphabet &alphabet); // exposed for tests

} // namespace thumb
} // namespace sv
