#pragma once

#include <QtGlobal>

namespace sv {

// The program's one source of chance: a uniform whole number from `low` to `high`, both
// included (low when high is below it). Tests seed it so that a draw repeats exactly.
qint64 random(qint64 low, qint64 high);

class RandomSource
{
public:
    static void seed(quint32 seed); // the same sequence after every seed with this value
    static void useSystemSource();  // seeded by the system, as the program runs
};

} // namespace sv
